// Function units behind the reader, seen from the units' side: antenna tuners
// (DAT) and antenna multiplexers (MUX) on the bus of the ISO transparent command
// 0xBF, one second-kind multiplexer (UMUX) behind the UHF transparent command
// 0xBB. The bus serves both commands as reader handlers; the README of this
// directory gives the requests, the answers and the reader's rules.
//
// Every function is thread-safe; the handlers hold the bus state themselves, so
// the bus object may go before the reader it is attached to.
#ifndef KRNSIM_FUNCTION_UNITS_H
#define KRNSIM_FUNCTION_UNITS_H

#include <krnsim/reader.h>

#include <map>
#include <memory>
#include <optional>

namespace krnsim {

// Counts of the commands a unit has carried out, by command byte (commands it
// refused, answered busy or lost to a fault are not counted).
using CommandCounts = std::map<std::uint8_t, int>;

// An antenna tuner. The first fields are settings a test may give; the unit
// keeps its state in the others.
struct DatUnit {
    Bytes version{0x44, 0x41, 0x54, 0x01, 0x02, 0x03, 0x04}; // 7 bytes
    Bytes values{0x10, 0x20, 0x30, 0x40, 0x50, 0x60};        // 6 bytes, answer of get values
    int busyAfterTuning = 0;  // commands answered busy (0x0F) after start tuning
    bool eepromError = false; // store settings answers 0x10

    std::uint8_t capacity1 = 0;
    std::uint8_t capacity2 = 0;
    std::uint8_t output = 0;
    std::uint8_t mode = 0;
    int busyLeft = 0;
    CommandCounts executed;
};

// An antenna multiplexer with channels 0 to channels - 1.
struct MuxUnit {
    Bytes version{0x4D, 0x55, 0x58, 0x01, 0x02, 0x03, 0x04}; // 7 bytes
    std::uint8_t channels = 4;

    std::uint8_t channel1 = 0;
    std::uint8_t channel2 = 0;
    CommandCounts executed;
};

// The second multiplexer kind.
struct UmuxUnit {
    Bytes version{0x55, 0x4D, 0x01, 0x02, 0x03, 0x04}; // 6 bytes
    Bytes power{0x00, 0x11, 0x22, 0x33, 0x44, 0x55};   // 6 bytes, answer of detect and get power

    Bytes selected;   // the three values of the last select
    Bytes lastValues; // the values of the last command carried out
    CommandCounts executed;
};

// What a unit does instead of its next command (which it does not carry out).
struct UnitFault {
    enum class Kind : std::uint8_t { Status, Short, Long, Silence };

    // Answers with this unit status and zero data.
    static UnitFault status(std::uint8_t unitStatus) { return {Kind::Status, unitStatus, 0}; }
    // The command's answer k bytes short (at least no bytes) or k bytes long.
    static UnitFault shortBy(std::size_t k) { return {Kind::Short, 0, k}; }
    static UnitFault longBy(std::size_t k) { return {Kind::Long, 0, k}; }
    // Does not answer: the reader reports status 1.
    static UnitFault silence() { return {Kind::Silence, 0, 0}; }

    Kind kind;
    std::uint8_t unitStatus;
    std::size_t count;
};

class FunctionUnitBus {
  public:
    // First byte of every DAT and MUX answer.
    static constexpr std::uint8_t kAnswerLead = 0x02;

    FunctionUnitBus();

    // Serves 0xBF and 0xBB on the reader (their handlers are replaced).
    void attach(Reader& reader);

    // DAT and MUX units by bus address; one unit per address, a new one replaces it.
    void addDat(std::uint8_t address, DatUnit unit = {});
    void addMux(std::uint8_t address, MuxUnit unit = {});
    void removeUnit(std::uint8_t address);
    // The UMUX unit, or none.
    void setUmux(std::optional<UmuxUnit> unit);

    // Copies of the units as they are now (none: no such unit at the address).
    std::optional<DatUnit> dat(std::uint8_t address) const;
    std::optional<MuxUnit> mux(std::uint8_t address) const;
    std::optional<UmuxUnit> umux() const;

    // One-shot faults for the next command of the unit at the address, or of the UMUX unit.
    void queueFault(std::uint8_t address, UnitFault fault);
    void queueUmuxFault(UnitFault fault);

    struct State;

  private:
    std::shared_ptr<State> state_;
};

// The units of the standalone simulator: a DAT at address 1, a MUX with four
// channels at address 2, and the UMUX unit.
void addDemoUnits(FunctionUnitBus& bus);

} // namespace krnsim

#endif

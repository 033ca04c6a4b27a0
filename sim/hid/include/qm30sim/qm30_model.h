// The QM30 dongle as its firmware sees the HID reports: a controller (report 2)
// in front of the QM30 transceiver (report 1), whose radio is a tag field
// (rfsim). Plug it into the simulated hidapi with plugQm30(); it answers each
// output report with one 64-byte input report (report id in byte 0) before
// hid_write returns.
//
// Written from the device's side: it shares no code with the library that
// drives the dongle, and keeps the ids and the manufacturer text by value.
#ifndef QM30SIM_QM30_MODEL_H
#define QM30SIM_QM30_MODEL_H

#include <hidsim/hidsim.h>
#include <rfsim/field.h>

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace qm30sim {

inline constexpr std::uint16_t kVendorId = 0x4B45;
inline constexpr std::uint16_t kProductId = 0xD0D0;
inline constexpr wchar_t kManufacturer[] = L"Kesto";

// Transceiver commands (report 1) and controller commands (report 2).
inline constexpr std::uint8_t kEcho = 0x55, kIdentify = 0x01, kProtocolSelect = 0x02, kSendReceive = 0x04,
                              kRegisterWrite = 0x09;
inline constexpr std::uint8_t kChunk = 0xA6, kAnswerPart = 0xA7, kAfterSelect = 0xA8, kRevision = 0xBC,
                              kInventory = 0xA0;

// What the transceiver answers to a frame: its result code, a length byte (by
// default the low byte of the payload and trailing bytes' count), the payload
// and bytes after it.
struct FrameAnswer {
    FrameAnswer(std::uint8_t resultCode = 0x87, std::vector<std::uint8_t> bytes = {},
                std::optional<std::uint8_t> length = std::nullopt, std::vector<std::uint8_t> after = {})
        : code(resultCode), payload(std::move(bytes)), lengthByte(length), trailing(std::move(after)) {}

    std::uint8_t code = 0x87;
    std::vector<std::uint8_t> payload;
    std::optional<std::uint8_t> lengthByte;
    std::vector<std::uint8_t> trailing;
};
using FrameHandler = std::function<FrameAnswer(const std::vector<std::uint8_t>& frame)>;

// One tag the firmware inventory reports: a leading byte, then the 8-byte UID
// least significant byte first.
using InventoryEntry = std::array<std::uint8_t, 9>;

class RfFront;

class Qm30Model : public hidsim::Model {
  public:
    Qm30Model();
    ~Qm30Model() override;

    std::vector<hidsim::Report> output(std::span<const std::uint8_t> report, std::size_t unread) override;

    // The tag field in front of the transceiver: frames go through it in the
    // protocol the last select chose (see qm30_rf_front.h for the layouts).
    // Touch it only while no report is being written.
    rfsim::Field& field();

    // Settings.
    void setFrameHandler(FrameHandler handler); // in place of the tag field
    // Answers served ahead of the model, in order, to frames (one report or
    // chunked, the end of frame included) and to the firmware inventory.
    void queueAnswer(FrameAnswer answer);
    // What the firmware inventory {2, 0xA0, 1, p} reports: result 0x80, the
    // number of entries, then as many entries as one report holds (6).
    void setInventoryEntries(std::vector<InventoryEntry> entries);
    void setIdentification(const std::string& text);
    void setRevision(std::vector<std::uint8_t> bytes); // 0xBC data; default 03 06 05
    // Data of the controller's simple commands 0xB2, 0xB8, 0xB9, 0xBA, 0xBD.
    void setControllerData(std::uint8_t command, std::vector<std::uint8_t> data);
    // The next protocol select answers `code` (0x82, 0x83) and stores nothing.
    void failNextSelect(std::uint8_t code);

    // Faults, one-shot unless said otherwise.
    void nextResultCode(std::uint8_t code);        // byte 1 of the next answer report
    void nextLengthByte(std::uint8_t length);      // byte 2 of the next answer report
    void ackLastChunk();                           // the last chunk answered 0xA6 (no answer follows)
    void foreignPart(int part, std::uint8_t code); // the part-th 0xA7 part (1-based) replaced by {2, code, 0}
    void endlessParts(bool on);                    // persistent: every answer part says more follow

    // Record.
    std::vector<std::uint8_t> selectedProtocol() const;
    std::vector<std::vector<std::uint8_t>> registerWrites() const;
    std::vector<std::vector<std::uint8_t>> frames() const; // every frame run, single-report or chunked
    std::vector<std::uint8_t> inventoryParameters() const; // parameter byte of each firmware inventory
    std::vector<std::string> violations() const;           // chunking rules the host broke
    int partsServed() const;

  private:
    using Report = hidsim::Report;
    Report answer(std::uint8_t id, std::uint8_t code, const std::vector<std::uint8_t>& data);
    Report answer(std::uint8_t id, const FrameAnswer& frameAnswer);
    std::optional<FrameAnswer> nextScripted();
    // The answer to a frame; `room` is the most payload bytes the transfer carries.
    FrameAnswer runFrame(const std::vector<std::uint8_t>& frame, std::size_t room);
    Report inventory(std::span<const std::uint8_t> report);
    Report transceiver(std::span<const std::uint8_t> report);
    Report controller(std::span<const std::uint8_t> report);
    Report chunk(std::span<const std::uint8_t> report);
    Report nextPart();
    Report chunkViolation(const std::string& what);

    mutable std::mutex mutex_; // guards everything below; taken by every public member but field()
    std::unique_ptr<RfFront> front_;
    FrameHandler handler_;
    std::deque<FrameAnswer> script_;
    std::vector<InventoryEntry> inventory_;
    std::vector<std::uint8_t> inventoryParameters_;
    std::string identification_ = "QM30 simulated 1.0";
    std::vector<std::uint8_t> revision_{0x03, 0x06, 0x05};
    std::map<std::uint8_t, std::vector<std::uint8_t>> controllerData_;
    int failSelect_ = -1;
    int nextCode_ = -1;
    int nextLength_ = -1;
    bool ackLast_ = false;
    int foreignPart_ = 0;
    std::uint8_t foreignCode_ = 0;
    bool endless_ = false;

    // Chunk collection.
    bool collecting_ = false;
    std::size_t total_ = 0;
    std::vector<std::uint8_t> frame_;
    // Answer parts not fetched yet.
    std::vector<std::uint8_t> pending_;
    std::size_t pendingAt_ = 0;
    bool serving_ = false;
    int partNumber_ = 0;
    int partsServed_ = 0;

    std::vector<std::uint8_t> selected_;
    std::vector<std::vector<std::uint8_t>> registerWrites_;
    std::vector<std::vector<std::uint8_t>> frames_;
    std::vector<std::string> violations_;
};

// The dongle's enumeration entry: numbered reports, the ids and manufacturer above.
hidsim::DeviceProfile qm30Profile();
// Plugs a dongle in; returns its hidsim device id.
int plugQm30(const std::shared_ptr<Qm30Model>& model);

} // namespace qm30sim

#endif

// Trace rows: a telegram or a register operation as a row of texts.
//
// Telegram row columns: operation ("Write" for a write, "Read" for an answer),
// kind, pid ("0x" and two hex digits), data, "OK" or "NOK". Kinds and their
// data: "Register" (address "=" value), "Block" ("{", "0x%1," per byte, "}"),
// "I2CConfig" ("Module=%1, Frequency=%2"), "Reset" ("Peripheral " for bit
// value 2, "MCU " for 1, then "0x" and the other bits in hex), "Version" (the
// firmware information text). Other telegrams give no row.
//
// Register row columns: operation ("Read Register %1", "Write Register %1",
// "Modify Register %1, mask %2"), register, mask (or "255" when the operation
// has none), value, status text. Hex fields are "0x" and two upper-case digits.
#ifndef BOARD_LINK_KESTO_TRACE_ROWS_H
#define BOARD_LINK_KESTO_TRACE_ROWS_H

#include "kesto_com_object.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <vector>

namespace board_link {

// Telegram kinds that only appear in trace rows; nothing sends them.
class I2cRegisterObject : public KestoComObject {
  public:
    I2cRegisterObject(std::uint8_t pid, std::uint8_t address, std::uint8_t value)
        : KestoComObject(pid, 0, 0, 0, 0), address(address), value(value) {}
    std::uint8_t address;
    std::uint8_t value;
};

class I2cBlockObject : public KestoComObject {
  public:
    I2cBlockObject(std::uint8_t pid, std::vector<std::uint8_t> data)
        : KestoComObject(pid, 0, 0, 0, 0), data(std::move(data)) {}
    std::vector<std::uint8_t> data;
};

class I2cConfigObject : public KestoComObject {
  public:
    I2cConfigObject(std::uint8_t pid, std::uint8_t module, std::uint8_t speed)
        : KestoComObject(pid, 0, 0, 0, 0), module(module), speed(speed) {}
    std::uint8_t module;
    std::uint8_t speed;
};

class ResetObject : public KestoComObject {
  public:
    ResetObject(std::uint8_t pid, std::uint8_t bits) : KestoComObject(pid, 0, 0, 0, 0), bits(bits) {}
    std::uint8_t bits;
};

enum class TraceDirection { Write, Read };
enum class RegisterAccess { Read, Write, Modify };

class KestoTraceInterface {
  public:
    virtual ~KestoTraceInterface() = default;
    // The five texts of a register operation.
    virtual bool registerRow(RegisterAccess access, std::uint8_t reg, std::uint8_t mask, std::uint8_t value,
                             const QString& status, QStringList& row) = 0;
    // False (row untouched) for a telegram kind that has no row.
    virtual bool telegramRow(TraceDirection direction, bool success, const KestoComObject* telegram,
                             QStringList& row);
};

class KestoTraceStandardDataProcessor : public KestoTraceInterface {
  public:
    bool registerRow(RegisterAccess access, std::uint8_t reg, std::uint8_t mask, std::uint8_t value,
                     const QString& status, QStringList& row) override;
};

// "100KHz", "400KHz", "1MHz", "3.4MHz", "custom speed" (255) or "unknown".
QString i2cSpeedName(std::uint8_t speed);

} // namespace board_link

#endif

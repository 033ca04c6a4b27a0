#include "kesto_trace_rows.h"

namespace board_link {

namespace {

QString hex(unsigned value) {
    return QStringLiteral("0x") + QStringLiteral("%1").arg(value, 2, 16, QLatin1Char('0')).toUpper();
}

} // namespace

QString i2cSpeedName(std::uint8_t speed) {
    switch (speed) {
    case 1: return QStringLiteral("100KHz");
    case 2: return QStringLiteral("400KHz");
    case 3: return QStringLiteral("1MHz");
    case 4: return QStringLiteral("3.4MHz");
    case 255: return QStringLiteral("custom speed");
    default: return QStringLiteral("unknown");
    }
}

bool KestoTraceInterface::telegramRow(TraceDirection direction, bool success, const KestoComObject* telegram,
                                      QStringList& row) {
    if (telegram == nullptr) return false;
    QString kind;
    QString data;
    if (const auto* r = dynamic_cast<const I2cRegisterObject*>(telegram)) {
        kind = QStringLiteral("Register");
        data = hex(r->address) + QLatin1Char('=') + hex(r->value);
    } else if (const auto* b = dynamic_cast<const I2cBlockObject*>(telegram)) {
        kind = QStringLiteral("Block");
        data = QStringLiteral("{");
        for (std::uint8_t byte : b->data)
            data += hex(byte) + QLatin1Char(',');
        data += QLatin1Char('}');
    } else if (const auto* c = dynamic_cast<const I2cConfigObject*>(telegram)) {
        kind = QStringLiteral("I2CConfig");
        data = QStringLiteral("Module=%1, Frequency=%2").arg(c->module).arg(i2cSpeedName(c->speed));
    } else if (const auto* reset = dynamic_cast<const ResetObject*>(telegram)) {
        kind = QStringLiteral("Reset");
        if ((reset->bits & 2) != 0) data += QStringLiteral("Peripheral ");
        if ((reset->bits & 1) != 0) data += QStringLiteral("MCU ");
        data += hex(reset->bits & ~3u);
    } else if (const auto* info = dynamic_cast<const GetFirmwareInfoObject*>(telegram)) {
        kind = QStringLiteral("Version");
        data = QString::fromLatin1(info->text());
    } else {
        return false;
    }
    row =
        QStringList{direction == TraceDirection::Write ? QStringLiteral("Write") : QStringLiteral("Read"),
                    kind, hex(telegram->pid()), data, success ? QStringLiteral("OK") : QStringLiteral("NOK")};
    return true;
}

bool KestoTraceStandardDataProcessor::registerRow(RegisterAccess access, std::uint8_t reg, std::uint8_t mask,
                                                  std::uint8_t value, const QString& status,
                                                  QStringList& row) {
    QString operation;
    switch (access) {
    case RegisterAccess::Read: operation = QStringLiteral("Read Register %1").arg(hex(reg)); break;
    case RegisterAccess::Write: operation = QStringLiteral("Write Register %1").arg(hex(reg)); break;
    case RegisterAccess::Modify:
        operation = QStringLiteral("Modify Register %1, mask %2").arg(hex(reg), hex(mask));
        break;
    }
    row =
        QStringList{operation, hex(reg), access == RegisterAccess::Modify ? hex(mask) : QStringLiteral("255"),
                    hex(value), status};
    return true;
}

} // namespace board_link

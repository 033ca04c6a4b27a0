#include "status_names.h"

#include <QStringList>

#include <array>

namespace board_link {

namespace {

constexpr std::array<const char*, 48> kStatusNames{"NoError",
                                                   "NoMemory",
                                                   "Busy",
                                                   "IOError",
                                                   "Timeout",
                                                   "RequestError",
                                                   "NoMessage",
                                                   "ParameterError",
                                                   "SystemError",
                                                   "FramingError",
                                                   "OverrunError",
                                                   "Prototocol",
                                                   "Internal",
                                                   "AgainError",
                                                   "Mem_corruptError",
                                                   "Not_implementedError",
                                                   "PC_corruptError",
                                                   "SendError",
                                                   "IgnoreError",
                                                   "SemanticError",
                                                   "SyntaxError",
                                                   "CrcError",
                                                   "NotFound",
                                                   "NotUnique",
                                                   "NotSupported",
                                                   "WriteError",
                                                   "FifoError",
                                                   "ParityError",
                                                   "DoneError",
                                                   "RF_collisionError",
                                                   "HW_overrunError",
                                                   "Release_reqError",
                                                   "Sleep_reqError",
                                                   "Wrong_stateError",
                                                   "Max_rerunsError",
                                                   "DisabledError",
                                                   "HW_mismatchError",
                                                   "Link_lossError",
                                                   "Invalid_handleError",
                                                   "UnknownError",
                                                   "Incomplete_byteError",
                                                   "Incomplete_byte_01Error",
                                                   "Incomplete_byte_02Error",
                                                   "Incomplete_byte_03Error",
                                                   "Incomplete_byte_04Error",
                                                   "Incomplete_byte_05Error",
                                                   "Incomplete_byte_06Error",
                                                   "Incomplete_byte_07Error"};

} // namespace

const char* statusNameText(int code) {
    if (code < 0 || code >= static_cast<int>(kStatusNames.size())) return "UnknownError";
    return kStatusNames[static_cast<std::size_t>(code)];
}

QString firmwareNumberToText(std::uint32_t number) {
    return QStringLiteral("%1.%2.%3").arg((number >> 16) & 0xFF).arg((number >> 8) & 0xFF).arg(number & 0xFF);
}

int parseFirmwareText(const QString& text, bool& ok) {
    ok = true;
    int result = 0;
    const QStringList parts = text.split(QLatin1Char('.'), Qt::KeepEmptyParts);
    for (int i = 0; i < parts.size() && i < 3 && ok; ++i) {
        const int part = parts[i].toInt(&ok, 10);
        result = result * 256 + (ok ? part : 0);
    }
    return result;
}

} // namespace board_link

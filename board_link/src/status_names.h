// Texts of the board: the firmware's status names and the firmware number.
#ifndef BOARD_LINK_STATUS_NAMES_H
#define BOARD_LINK_STATUS_NAMES_H

#include <QString>

#include <cstdint>

namespace board_link {

// The status-name table: codes 0 to 47, "UnknownError" for 39 and every other
// value.
const char* statusNameText(int code);
// major.minor.marker from bits 16..23, 8..15 and 0..7.
QString firmwareNumberToText(std::uint32_t number);
// The first three "."-separated parts as decimal bytes; a part that does not
// read clears `ok`. Fewer parts: those present count.
int parseFirmwareText(const QString& text, bool& ok);

} // namespace board_link

#endif

// The library's codes and texts: one error table, one unit status table.
#ifndef VKFU_CODES_H
#define VKFU_CODES_H

#include <cstddef>
#include <cstdint>

namespace vkfu {

inline constexpr int kNullPointer = -4102;
inline constexpr int kNoMemory = -4103;
inline constexpr int kWrongLength = -4130;
inline constexpr int kTimeout = -4132; // the reader reported that no unit answered
inline constexpr int kUnknownStatus = -4133;
inline constexpr int kNoAnswer = -4134;
inline constexpr int kUnknownCode = -4153;
// Codes of the reader protocol library the library hands on as its own.
inline constexpr int kReaderNullPointer = -4002;
inline constexpr int kReaderStatus2 = -4031;

// Text capacity the interface asks of callers; the longest text is 38 bytes
// with its terminating zero.
inline constexpr std::size_t kTextCapacity = 40;

// The English text of a code of the error table, or null.
const char* errorText(int code);
// The text of a unit status byte, or null.
const char* statusText(std::uint8_t status);

} // namespace vkfu

#endif

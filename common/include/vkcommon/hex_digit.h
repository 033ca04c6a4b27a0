// Hex digits: the value of one, either case, and the upper-case digits that
// hex text is written with.
#ifndef VKCOMMON_HEX_DIGIT_H
#define VKCOMMON_HEX_DIGIT_H

namespace vk {

// 0 to 15 for '0'-'9', 'A'-'F' and 'a'-'f'; -1 for anything else.
constexpr int hexDigitValue(int c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// "%02X" digits, indexed by a nibble.
inline constexpr char kHexDigits[] = "0123456789ABCDEF";

} // namespace vk

#endif

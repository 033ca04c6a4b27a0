#include "utils.h"

#include <vkcommon/hex_digit.h>

#include <cstring>

namespace vemlasdknative {

extern "C" {

int Hex2Asc(char* dest, const unsigned char* src, int n) {
    int i = 0;
    for (; i < n; ++i) {
        dest[2 * i] = vk::kHexDigits[src[i] >> 4];
        dest[2 * i + 1] = vk::kHexDigits[src[i] & 0x0F];
    }
    dest[2 * i] = '\0';
    return 1;
}

int Asc2Hex(unsigned char* dest, const char* src, int chars) {
    int pairs = chars > 0 ? chars / 2 : 0;
    for (int i = 0; i < pairs; ++i) {
        int high = vk::hexDigitValue(src[2 * i]);
        int low = high < 0 ? -1 : vk::hexDigitValue(src[2 * i + 1]);
        if (low < 0) {
            dest[i] = 0;
            return 0;
        }
        dest[i] = static_cast<unsigned char>(high << 4 | low);
    }
    dest[pairs] = 0;
    return 1;
}

int Asc2HexWithCursor(unsigned char* dest, const char* src, int chars, int start) {
    if (start < 1) return 0;
    return Asc2Hex(dest, src + 2 * (start - 1), chars);
}

int Hex2HexWithCursor(unsigned char* dest, const unsigned char* src, int n, int start) {
    if (n < 0 || start < 0) return 0;
    if (n > 0) std::memcpy(dest + start, src, static_cast<std::size_t>(n));
    return 1;
}

unsigned char ComputeXor(const unsigned char* buffer, int size) {
    unsigned char x = 0;
    for (int i = 0; i < size; ++i)
        x ^= buffer[i];
    return x;
}

} // extern "C"

} // namespace vemlasdknative

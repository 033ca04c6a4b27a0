// Text parameters: keys compared upper-cased in a bounded buffer, numbers read
// from texts without undefined overflow.
#ifndef VKCOMMON_PARAM_TEXT_H
#define VKCOMMON_PARAM_TEXT_H

#include <cstddef>
#include <cstdint>
#include <limits>

namespace vk {

// Size of the buffer a key is upper-cased into; a key of this many characters or
// more does not fit.
inline constexpr std::size_t kKeyBufferSize = 128;

// Length of `text` if it is shorter than `limit`, otherwise `limit` (never reads
// past the limit).
inline std::size_t boundedLength(const char* text, std::size_t limit) {
    std::size_t n = 0;
    while (n < limit && text[n] != '\0')
        ++n;
    return n;
}

// Upper-cases `key` (ASCII) into `out`. Returns false, leaving `out` empty, when
// the key has kKeyBufferSize characters or more.
inline bool upperCaseKey(const char* key, char (&out)[kKeyBufferSize]) {
    const std::size_t n = boundedLength(key, kKeyBufferSize);
    if (n >= kKeyBufferSize) {
        out[0] = '\0';
        return false;
    }
    for (std::size_t i = 0; i < n; ++i) {
        const char c = key[i];
        out[i] = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
    }
    out[n] = '\0';
    return true;
}

struct ParsedNumber {
    std::int64_t value; // saturated at the int64 bounds
    bool hasDigits;     // false: no digits after optional blanks and sign (value 0)
    std::size_t used;   // characters consumed, 0 when there were no digits
};

// strtol-style decimal read: leading blanks, an optional sign, then digits. The
// value saturates instead of overflowing; text without digits reads as 0.
inline ParsedNumber parseDecimal(const char* text) {
    ParsedNumber result{0, false, 0};
    if (text == nullptr) return result;
    std::size_t i = 0;
    while (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))
        ++i;
    bool negative = false;
    if (text[i] == '+' || text[i] == '-') {
        negative = text[i] == '-';
        ++i;
    }
    constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
    constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
    std::int64_t value = 0;
    bool saturated = false;
    while (text[i] >= '0' && text[i] <= '9') {
        const int digit = text[i] - '0';
        result.hasDigits = true;
        if (!saturated) {
            if (negative) {
                if (value < (kMin + digit) / 10)
                    saturated = true, value = kMin;
                else
                    value = value * 10 - digit;
            } else {
                if (value > (kMax - digit) / 10)
                    saturated = true, value = kMax;
                else
                    value = value * 10 + digit;
            }
        }
        ++i;
    }
    if (result.hasDigits) {
        result.value = value;
        result.used = i;
    }
    return result;
}

// The saturated value of `text` (0 without digits), like strtoll without errno.
inline std::int64_t readSaturated(const char* text) {
    return parseDecimal(text).value;
}

} // namespace vk

#endif

#include "sender_address.h"

#include <limits>

namespace nubokrn4j {

namespace {

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// One "%u" conversion from text[pos]: false when no digit follows.
bool readNumber(const char* text, std::size_t& pos, std::uint32_t& value) {
    while (pos < kSenderTextLimit && isSpace(text[pos]))
        ++pos;
    bool negative = false;
    if (pos < kSenderTextLimit && (text[pos] == '+' || text[pos] == '-')) {
        negative = text[pos] == '-';
        ++pos;
    }
    if (pos >= kSenderTextLimit || !isDigit(text[pos])) return false;
    constexpr std::uint32_t kMax = std::numeric_limits<std::uint32_t>::max();
    std::uint32_t n = 0;
    bool saturated = false;
    while (pos < kSenderTextLimit && isDigit(text[pos])) {
        const auto digit = static_cast<std::uint32_t>(text[pos] - '0');
        if (n > (kMax - digit) / 10) saturated = true;
        if (!saturated) n = n * 10 + digit;
        ++pos;
    }
    if (saturated) n = kMax;
    value = negative && !saturated ? static_cast<std::uint32_t>(0u - n) : n;
    return true;
}

} // namespace

std::array<std::uint8_t, 4> parseSenderAddress(const char* text) {
    std::array<std::uint8_t, 4> bytes{};
    if (text == nullptr) return bytes;
    std::size_t pos = 0;
    for (std::size_t k = 0; k < bytes.size(); ++k) {
        if (k > 0) {
            if (pos >= kSenderTextLimit || text[pos] != '.') break;
            ++pos;
        }
        std::uint32_t value = 0;
        if (!readNumber(text, pos, value)) break;
        bytes[k] = static_cast<std::uint8_t>(value & 0xFFu);
    }
    return bytes;
}

} // namespace nubokrn4j

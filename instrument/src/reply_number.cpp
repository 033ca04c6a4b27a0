#include "reply_number.h"

#include <climits>

namespace zrb {

namespace {

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

} // namespace

DecimalRead readDecimal(std::string_view text) {
    std::size_t pos = 0;
    while (pos < text.size() && isSpace(text[pos]))
        ++pos;
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
        negative = text[pos] == '-';
        ++pos;
    }
    const std::size_t digitsStart = pos;
    // Accumulate the magnitude, stopping at one past INT_MAX's magnitude limit.
    constexpr long long kLimit = static_cast<long long>(INT_MAX) + 1;
    long long magnitude = 0;
    while (pos < text.size() && isDigit(text[pos])) {
        if (magnitude < kLimit) magnitude = magnitude * 10 + (text[pos] - '0');
        ++pos;
    }
    if (pos == digitsStart) return {};
    DecimalRead read;
    read.consumed = pos;
    if (negative) {
        read.value = magnitude >= kLimit ? INT_MIN : static_cast<int>(-magnitude);
    } else {
        read.value = magnitude >= kLimit ? INT_MAX : static_cast<int>(magnitude);
    }
    return read;
}

} // namespace zrb

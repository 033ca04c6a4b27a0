#include "number_format.h"

#include <charconv>
#include <cmath>
#include <cstring>

namespace zrb {

namespace {

// Below this every double with a fractional part is exact to half a unit, so
// the rounding is done in double and the integer printed directly.
constexpr double kExactIntegerLimit = 9007199254740992.0; // 2^53

double roundHalfEven(double value) {
    const double floor = std::floor(value);
    const double fraction = value - floor;
    if (fraction > 0.5) return floor + 1.0;
    if (fraction < 0.5) return floor;
    return std::fmod(floor, 2.0) == 0.0 ? floor : floor + 1.0;
}

} // namespace

std::size_t formatUnsigned(std::uint64_t value, char* out) {
    char digits[20];
    std::size_t n = 0;
    do {
        digits[n++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    for (std::size_t i = 0; i < n; ++i)
        out[i] = digits[n - 1 - i];
    return n;
}

std::size_t formatRounded(double value, char* out) {
    if (std::isnan(value)) {
        const char* text = std::signbit(value) ? "-nan" : "nan";
        const std::size_t n = std::strlen(text);
        std::memcpy(out, text, n);
        return n;
    }
    const double magnitude = std::fabs(value);
    if (magnitude < kExactIntegerLimit) {
        const double rounded = roundHalfEven(magnitude);
        std::size_t n = 0;
        if (std::signbit(value)) out[n++] = '-';
        return n + formatUnsigned(static_cast<std::uint64_t>(rounded), out + n);
    }
    // Integral values beyond 2^53 (and the infinities) have an exact decimal
    // form that to_chars writes digit for digit, as printf does.
    const auto result = std::to_chars(out, out + kRoundedTextSize, value, std::chars_format::fixed, 0);
    return static_cast<std::size_t>(result.ptr - out);
}

} // namespace zrb

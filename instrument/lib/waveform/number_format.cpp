#include "number_format.h"

#include <cstring>

namespace zrb {

std::size_t formatRoundedLarge(double value, char* out) {
    if (std::isnan(value)) {
        const char* text = std::signbit(value) ? "-nan" : "nan";
        const std::size_t n = std::strlen(text);
        std::memcpy(out, text, n);
        return n;
    }
    // Integral values from 2^53 up (and the infinities) have an exact decimal
    // form that to_chars writes digit for digit, as printf does.
    const auto result = std::to_chars(out, out + kRoundedTextSize, value, std::chars_format::fixed, 0);
    return static_cast<std::size_t>(result.ptr - out);
}

} // namespace zrb

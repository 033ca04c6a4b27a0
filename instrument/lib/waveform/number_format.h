// Locale-free number texts for the element text and the VCD lines: the bytes of
// the C library's "%.0f" without its locale or its format parsing.
#ifndef ZRB_WAVEFORM_NUMBER_FORMAT_H
#define ZRB_WAVEFORM_NUMBER_FORMAT_H

#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>

namespace zrb {

// Room for any text formatRounded writes: a finite double below 2^1024 has at
// most 309 integer digits, plus the sign.
inline constexpr std::size_t kRoundedTextSize = 320;

// Writes `value` in decimal; no terminator. `out` must hold 20 characters.
inline std::size_t formatUnsigned(std::uint64_t value, char* out) {
    return static_cast<std::size_t>(std::to_chars(out, out + 20, value).ptr - out);
}

// The rare forms of formatRounded: magnitudes from 2^53 up, the infinities and
// the NaNs.
std::size_t formatRoundedLarge(double value, char* out);

// Writes `value` rounded to an integer (ties to even), as "%.0f" writes it in the
// C locale: "-0" for negative values that round to zero, "inf", "-inf", "nan",
// "-nan" for the non-finite ones. Returns the number of characters written; no
// terminator. `out` must hold kRoundedTextSize characters.
inline std::size_t formatRounded(double value, char* out) {
    // Below 2^53 every fraction is exact to half a unit, so the rounding works on
    // the integer part and the fraction directly.
    constexpr double kExactIntegerLimit = 9007199254740992.0;
    const double magnitude = std::fabs(value);
    if (!(magnitude < kExactIntegerLimit)) return formatRoundedLarge(value, out);
    auto integer = static_cast<std::uint64_t>(magnitude);
    const double fraction = magnitude - static_cast<double>(integer);
    if (fraction > 0.5 || (fraction == 0.5 && (integer & 1U) != 0)) ++integer;
    std::size_t n = 0;
    if (std::signbit(value)) out[n++] = '-';
    return n + formatUnsigned(integer, out + n);
}

} // namespace zrb

#endif

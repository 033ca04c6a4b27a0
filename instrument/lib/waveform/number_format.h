// Locale-free number texts for the element text and the VCD lines: the bytes of
// the C library's "%.0f" without its locale or its format parsing.
#ifndef ZRB_WAVEFORM_NUMBER_FORMAT_H
#define ZRB_WAVEFORM_NUMBER_FORMAT_H

#include <cstddef>
#include <cstdint>

namespace zrb {

// Room for any text formatRounded writes: a finite double below 2^1024 has at
// most 309 integer digits, plus the sign.
inline constexpr std::size_t kRoundedTextSize = 320;

// Writes `value` rounded to an integer (ties to even), as "%.0f" writes it in the
// C locale: "-0" for negative values that round to zero, "inf", "-inf", "nan",
// "-nan" for the non-finite ones. Returns the number of characters written; no
// terminator. `out` must hold kRoundedTextSize characters.
std::size_t formatRounded(double value, char* out);

// Writes `value` in decimal; no terminator. `out` must hold 20 characters.
std::size_t formatUnsigned(std::uint64_t value, char* out);

} // namespace zrb

#endif

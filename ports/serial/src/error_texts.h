// The library's error texts in English and German (German in ASCII spelling).
#ifndef VKCOM_ERROR_TEXTS_H
#define VKCOM_ERROR_TEXTS_H

#include <cstddef>

namespace vkcom {

// Longest text written, terminator excluded.
inline constexpr std::size_t kLongestErrorText = 73;

// Writes the text of `code` in `language` (7 or 9) to `text`; returns 0, or
// -1054 with the unknown-code text for a code outside the table, or -1050 for
// another language (nothing written).
int writeErrorText(int code, int language, char* text);

} // namespace vkcom

#endif

// Texts of the status bytes that KRN readers return, in English and German
// (ISO 8859-1).
#ifndef VKKRN_STATUS_TEXTS_H
#define VKKRN_STATUS_TEXTS_H

#include "reader/library_services.h"

#include <cstdint>

namespace vkkrn {

// Room for the longest status text (German 0x90, 68 characters) and its NUL;
// the unknown-status texts are shorter.
inline constexpr int kStatusTextSize = 69;

// The constant text of `status` in `language` (7 German, 9 English), or null
// when the byte has no text of its own or the language is neither.
const char* statusText(std::uint8_t status, int language);

// Writes the text of `status` into `out` (kStatusTextSize bytes): 0, -4033 for a
// byte without a text of its own (a text naming the byte is written), -4050 for
// a language other than 7 and 9 (nothing written).
int writeStatusText(std::uint8_t status, int language, char* out);

// writeStatusText in `library`'s language for a caller: also stores the result as
// `library`'s last error.
int copyStatusText(std::uint8_t status, char* out, LibraryServices& library);

} // namespace vkkrn

#endif

// Texts of the library's error codes (English and German, ISO 8859-1) and of
// the port libraries' codes, which their own text functions provide.
#ifndef VKKRN_ERROR_TEXTS_H
#define VKKRN_ERROR_TEXTS_H

#include "reader/library_services.h"

namespace vkkrn {

// Room for the longest text this function writes or a port library gives.
inline constexpr int kErrorTextSize = 256;

// The text of `code` in `library`'s language. Port codes (-1000 to -1299) are
// written by their library's text function (empty text when it cannot be bound);
// a code without a text of its own gets "Unknown Errorcode" and sets `library`'s
// last error to -4053. The pointer is a constant or a buffer of the calling
// thread that stays valid until that thread's next call.
const char* errorText(int code, LibraryServices& library);

// Copies the text of `code` into `out` (kErrorTextSize bytes): 0, or -4053 when
// the code has no text of its own. Sets `library`'s last error to 0 or -4053.
int copyErrorText(int code, char* out, LibraryServices& library);

} // namespace vkkrn

#endif

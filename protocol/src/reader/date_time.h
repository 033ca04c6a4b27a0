// Time stamps of the protocol log: the local date and time as strftime "%x %X"
// (in the C locale; the library never calls setlocale) followed by ".%03d", the
// milliseconds of the current second.
#ifndef VKKRN_DATE_TIME_H
#define VKKRN_DATE_TIME_H

#include <cstddef>

namespace vkkrn {

// Enough for "%x %X" (at most 31 characters kept) and ".999".
inline constexpr std::size_t kDateTimeSize = 40;

// Writes the time stamp into `out` (kDateTimeSize bytes); returns out.
char* formatDateTime(char* out);

} // namespace vkkrn

#endif

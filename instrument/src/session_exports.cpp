// The session's exported functions and data.
#include <Zorbel.h>

extern "C" {

ZRB_API int ZRB_Errno = 0;

} // extern "C"

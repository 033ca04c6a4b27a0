// The session's exported functions and data: thin calls into the process's
// session, with no exception crossing the boundary.
#include "result_code.h"
#include "session.h"

#include <Zorbel.h>

extern "C" {

ZRB_API int ZRB_Errno = 0;

ZRB_API int ZRB_Connect(int mode, const char* host) {
    try {
        return zrb::session().connect(mode, host);
    } catch (...) {
        return zrb::kNotConnected;
    }
}

ZRB_API int ZRB_Disconnect(void) {
    try {
        return zrb::session().disconnect();
    } catch (...) {
        return zrb::kDisconnectFailed;
    }
}

ZRB_API const char* ZRB_ErrorMessage(void) {
    return zrb::session().errorMessage();
}

} // extern "C"

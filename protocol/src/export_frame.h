// The frame every export goes through: argument and handle checks in the
// library's order, the reader held for the call, no exception across the
// boundary.
#ifndef VKKRN_EXPORT_FRAME_H
#define VKKRN_EXPORT_FRAME_H

#include "drv_hnd.h"
#include "error_codes.h"
#include "reader.h"

#include <new>

namespace vkkrn {

// Stores `code` as the library's last error and returns it.
inline int libraryFailure(int code) {
    g_LibVkKrnDrvHnd.SetLastError(code);
    return code;
}

// Runs `body`; an exception leaving it becomes `failureCode` (the library's last
// error too).
template <typename Body> int guarded(int failureCode, Body&& body) noexcept {
    try {
        return body();
    } catch (...) {
        return libraryFailure(failureCode);
    }
}

// The handle check: below 0 -4022, 0 -4021, a missing argument -4002 (when
// `missingArgument`), no reader -4001, not found -4023; each stored as the
// library's last error. Then the last error is 0 and `method` runs on the reader,
// which stays alive until it returns even if another thread deletes it.
template <typename Method> int withReader(int readerHnd, bool missingArgument, Method&& method) noexcept {
    return guarded(kErrNoMemory, [&]() -> int {
        if (readerHnd < 0) return libraryFailure(kErrReaderNegative);
        if (readerHnd == 0) return libraryFailure(kErrReaderZero);
        if (missingArgument) return libraryFailure(kErrNullPointer);
        if (g_LibVkKrnDrvHnd.EnumReader() == 0) return libraryFailure(kErrEmptyList);
        std::shared_ptr<VKKRNReader> reader = g_LibVkKrnDrvHnd.SearchReader(readerHnd);
        if (!reader) return libraryFailure(kErrNoReaderHandle);
        g_LibVkKrnDrvHnd.SetLastError(0);
        return method(*reader);
    });
}

} // namespace vkkrn

#endif

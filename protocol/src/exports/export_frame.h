// The frame every export goes through: argument and handle checks in the
// library's order, the reader held for the call, no exception across the
// boundary.
#ifndef VKKRN_EXPORT_FRAME_H
#define VKKRN_EXPORT_FRAME_H

#include "reader/reader.h"
#include "registry/drv_hnd.h"
#include "texts/error_codes.h"

#include <new>
#include <utility>

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

// The frame of the command exports: a missing pointer argument gives -4002
// before the handle is looked at (whatever the handle), then the handle check of
// withReader (-4022, -4021, -4001, -4023); each stored as the library's last
// error. Once the reader is found the library's last error is 0, whatever the
// command returns: the reader's own last error keeps the command's code.
template <typename Method>
int withCommandReader(int readerHnd, bool missingArgument, Method&& method) noexcept {
    if (missingArgument) return libraryFailure(kErrNullPointer);
    return withReader(readerHnd, false, std::forward<Method>(method));
}

// A byte argument that arrives as int: its low eight bits.
constexpr unsigned char byteArg(int value) {
    return static_cast<unsigned char>(value & 0xFF);
}

} // namespace vkkrn

#endif

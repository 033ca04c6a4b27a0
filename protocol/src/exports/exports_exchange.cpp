// Exports of the transparent exchange and of the event handlers: argument and
// handle checks in the library's order, then the reader method.
#include "exports/export_frame.h"

#include <vkkrn.h>
#include <vkkrn_jni.h>

using namespace vkkrn;

namespace {

constexpr int kMaxExportLength = 0x10001;

// The checks of these exports: handle below 0 -4022, 0 -4021, then
// `argumentFailure` (a null pointer -4002 or a length -4051) when not 0, no
// reader -4001, unknown handle -4023; each stored as the library's last error.
template <typename Method>
int withCheckedReader(int readerHnd, int argumentFailure, Method&& method) noexcept {
    return guarded(kErrNoMemory, [&]() -> int {
        if (readerHnd < 0) return libraryFailure(kErrReaderNegative);
        if (readerHnd == 0) return libraryFailure(kErrReaderZero);
        if (argumentFailure != 0) return libraryFailure(argumentFailure);
        return withReader(readerHnd, false, method);
    });
}

int lengthFailure(bool missing, int len) {
    if (missing) return kErrNullPointer;
    return len < 0 || len > kMaxExportLength ? kErrOutOfRange : 0;
}

} // namespace

extern "C" {

VKKRN_API int VKKRN_SendTransparent(int readerHnd, unsigned char* tx, int txLen, unsigned char* rx,
                                    int rxSize, int crc, int hex) {
    return withCheckedReader(
        readerHnd, lengthFailure(tx == nullptr || rx == nullptr, txLen),
        [&](VKKRNReader& r) { return r.Exe_SendTransparent(tx, txLen, rx, rxSize, crc, hex); });
}

VKKRN_API int VKKRN_Transmit(int readerHnd, unsigned char* tx, int txLen, int crc, int hex) {
    return withCheckedReader(readerHnd, lengthFailure(tx == nullptr, txLen),
                             [&](VKKRNReader& r) { return r.Exe_Transmit(tx, txLen, crc, hex); });
}

VKKRN_API int VKKRN_Receive(int readerHnd, unsigned char* rx, int rxSize, int hex) {
    return withCheckedReader(readerHnd, lengthFailure(rx == nullptr, rxSize),
                             [&](VKKRNReader& r) { return r.Exe_Receive(rx, rxSize, hex); });
}

VKKRN_API int VKKRN_AddEventHandler(int readerHnd, _VKKRN_EVENT_INIT* record) {
    return withReader(readerHnd, record == nullptr,
                      [&](VKKRNReader& r) { return r.AddEventHandler(record); });
}

VKKRN_API int VKKRN_DelEventHandler(int readerHnd, _VKKRN_EVENT_INIT* record) {
    return withReader(readerHnd, record == nullptr,
                      [&](VKKRNReader& r) { return r.DelEventHandler(record); });
}

VKKRN_API int VKKRN_AddEventHandlerEx(int readerHnd, _VKKRN_INTERNAL_EVENT_INIT* record) {
    return withReader(readerHnd, record == nullptr,
                      [&](VKKRNReader& r) { return r.AddEventHandlerEx(record); });
}

VKKRN_API int VKKRN_DelEventHandlerEx(int readerHnd, _VKKRN_INTERNAL_EVENT_INIT* record) {
    return withReader(readerHnd, record == nullptr,
                      [&](VKKRNReader& r) { return r.DelEventHandlerEx(record); });
}

} // extern "C"

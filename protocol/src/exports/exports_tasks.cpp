// Exports of the asynchronous tasks, the library-wide stop flag and the time
// stamps: a null record or data first, then the handle checks, then the test of
// the record's TCP port, then the reader method.
#include "exports/export_frame.h"
#include "reader/date_time.h"
#include "tasks/tcp_port_test.h"

#include <vkkrn.h>

#include <sys/time.h>

using namespace vkkrn;

namespace {

// The handle checks, the port test (-4086, the library's last error), then `method`.
template <typename Method>
int withTaskReader(int readerHnd, const _VKKRN_TASK_INIT* record, Method&& method) {
    return withReader(readerHnd, false, [&](VKKRNReader& reader) {
        if (VkkrnTestTcpPortStatus(record->uiTcpPort) != 0) return libraryFailure(kErrPortInUse);
        return method(reader);
    });
}

} // namespace

extern "C" {

VKKRN_API int VKKRN_StartAsyncTask(int readerHnd, int taskId, _VKKRN_TASK_INIT* record, void* reserved) {
    if (record == nullptr) return libraryFailure(kErrNullPointer);
    return withTaskReader(readerHnd, record,
                          [&](VKKRNReader& r) { return r.StartThreadAsyncTask(taskId, record, reserved); });
}

VKKRN_API int VKKRN_CancelAsyncTask(int readerHnd) {
    return withReader(readerHnd, false, [](VKKRNReader& r) { return r.RemoveThreadAsyncTask(); });
}

VKKRN_API int VKKRN_TriggerAsyncTask(int readerHnd) {
    return withReader(readerHnd, false, [](VKKRNReader& r) { return r.TriggerAsyncTask(); });
}

VKKRN_API int VKKRN_SetStopFlag(void) {
    return guarded(kErrNoMemory, [] { return g_LibVkKrnDrvHnd.SetAllStopFlags(true); });
}

VKKRN_API int VKKRN_ClearStopFlag(void) {
    return guarded(kErrNoMemory, [] { return g_LibVkKrnDrvHnd.SetAllStopFlags(false); });
}

VKKRN_API int VKKRN_IsLockReady(void) {
    return guarded(kErrNoMemory, [] { return g_LibVkKrnDrvHnd.AnyActiveFlag() ? 0 : 1; });
}

VKKRN_API int VKKRN_0xBC_CmdQueue(int readerHnd, int first, int second, unsigned char* data, int len,
                                  _VKKRN_TASK_INIT* record) {
    if (data == nullptr || record == nullptr) return libraryFailure(kErrNullPointer);
    return withTaskReader(readerHnd, record, [&](VKKRNReader& r) {
        return r.Exe_0xBC_CmdQueue(first, second, data, len, record);
    });
}

VKKRN_API int VKKRN_0xC0_SAMCmd(int readerHnd, int slot, unsigned char* data, int len,
                                _VKKRN_TASK_INIT* record) {
    if (data == nullptr || record == nullptr) return libraryFailure(kErrNullPointer);
    return withTaskReader(readerHnd, record,
                          [&](VKKRNReader& r) { return r.Exe_0xC0_SAMCmd(slot, data, len, record); });
}

VKKRN_API char* VKGetDateTime(char* out) {
    if (out == nullptr) return nullptr;
    return formatDateTime(out);
}

VKKRN_API unsigned long long VKGetUTCTimestamp(void) {
    timeval now{};
    ::gettimeofday(&now, nullptr);
    return static_cast<unsigned long long>(now.tv_sec) * 1000000ULL +
           static_cast<unsigned long long>(now.tv_usec);
}

} // extern "C"

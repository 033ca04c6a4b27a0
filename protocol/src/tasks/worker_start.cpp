#include "tasks/worker_start.h"

#include <atomic>
#include <system_error>

namespace vkkrn {

namespace {
std::atomic<bool> g_failStarts{false};
thread_local const void* tlWorkerOf = nullptr;
} // namespace

const void* currentWorkerOf() {
    return tlWorkerOf;
}

WorkerMark::WorkerMark(const void* reader) {
    tlWorkerOf = reader;
}

WorkerMark::~WorkerMark() {
    tlWorkerOf = nullptr;
}

bool startWorkerThread(std::thread& out, std::function<void()> body) {
    if (g_failStarts.load()) return false;
    try {
        out = std::thread(std::move(body));
    } catch (const std::system_error&) {
        return false;
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

void failWorkerStarts(bool fail) {
    g_failStarts.store(fail);
}

} // namespace vkkrn

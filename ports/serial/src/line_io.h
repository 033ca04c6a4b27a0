// Waiting, reading and writing on a line descriptor. The descriptor does not
// block; waits use ppoll (any descriptor number) against a monotonic deadline,
// beside a wake-up descriptor (an eventfd) whose signal ends them, and a read
// that must not wait asks first what has arrived. A signal resumes the wait
// with the time left, and reads and writes resume too.
#ifndef VKCOM_LINE_IO_H
#define VKCOM_LINE_IO_H

#include <sys/types.h>

#include <cstddef>
#include <cstdint>

namespace vkcom {

enum class WaitResult { Readable, Expired, Failed, Woken };

// Waits up to `microseconds` for input, a hang-up or an error on `fd` (the read
// that follows tells them apart); Woken as soon as `wakeFd` is signalled.
WaitResult waitReadable(int fd, int wakeFd, std::int64_t microseconds);
// Signals `wakeFd`: every wait on it ends, now and from now on.
void signalWake(int wakeFd);
// How many bytes have arrived on `fd` and wait to be read; 0 when none (or the
// line cannot say). A read of at most that many returns them without a wait.
std::size_t arrivedInput(int fd);
// One read: the count (> 0), 0 at end of input, -1 on failure.
ssize_t readSome(int fd, void* buffer, std::size_t size);
struct WriteResult {
    std::size_t written; // bytes written before a failure or the wake-up
    bool woken;          // `wakeFd` was signalled while the line took no more
};
// Writes all bytes, waiting as long as the line takes no more unless `wakeFd`
// is signalled.
WriteResult writeAll(int fd, int wakeFd, const void* data, std::size_t size);

} // namespace vkcom

#endif

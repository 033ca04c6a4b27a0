// Waiting, reading and writing on a line descriptor. The descriptor blocks;
// waits use ppoll (any descriptor number) against a monotonic deadline, and a
// read that must not wait asks first what has arrived. A signal resumes the
// wait with the time left, and reads and writes resume too.
#ifndef VKCOM_LINE_IO_H
#define VKCOM_LINE_IO_H

#include <sys/types.h>

#include <cstddef>
#include <cstdint>

namespace vkcom {

enum class WaitResult { Readable, Expired, Failed };

// Waits up to `microseconds` for input, a hang-up or an error on `fd` (the read
// that follows tells them apart).
WaitResult waitReadable(int fd, std::int64_t microseconds);
// How many bytes have arrived on `fd` and wait to be read; 0 when none (or the
// line cannot say). A read of at most that many returns them without a wait.
std::size_t arrivedInput(int fd);
// One read: the count (> 0), 0 at end of input, -1 on failure.
ssize_t readSome(int fd, void* buffer, std::size_t size);
// Writes all bytes; returns how many were written before a failure.
std::size_t writeAll(int fd, const void* data, std::size_t size);

} // namespace vkcom

#endif

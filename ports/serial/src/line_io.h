// Waiting, reading and writing on a line descriptor. Waits use ppoll (any
// descriptor number) against a monotonic deadline; a signal resumes the wait
// with the time left, and reads and writes resume too.
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
// One read: the count (> 0), 0 at end of input, -1 on failure.
ssize_t readSome(int fd, void* buffer, std::size_t size);
// Writes all bytes; returns how many were written before a failure.
std::size_t writeAll(int fd, const void* data, std::size_t size);

} // namespace vkcom

#endif

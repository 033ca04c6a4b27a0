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

// What a read of a non-blocking line gives when nothing came in time.
inline constexpr ssize_t kReadExpired = -2;

// One read of at most `size` bytes on the non-blocking line `fd`: what has
// already arrived, else the first bytes to arrive within `microseconds`. With
// `waitFirst` (input that cannot be there yet, such as the reply to a request
// just written) it waits before reading rather than trying first. The count
// (> 0), 0 at end of input, -1 when the wait or the read failed, kReadExpired.
ssize_t readArriving(int fd, void* buffer, std::size_t size, std::int64_t microseconds, bool waitFirst);

// Writes all bytes, waiting while the line takes no more; returns how many were
// written before a failure.
std::size_t writeAll(int fd, const void* data, std::size_t size);

} // namespace vkcom

#endif

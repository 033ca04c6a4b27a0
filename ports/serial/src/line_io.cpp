#include "line_io.h"

#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <ctime>

namespace vkcom {

WaitResult waitReadable(int fd, int wakeFd, std::int64_t microseconds) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::microseconds(microseconds);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(deadline - Clock::now());
        const std::int64_t ns = left.count() > 0 ? left.count() : 0;
        timespec wait{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
        pollfd entries[2] = {{fd, POLLIN, 0}, {wakeFd, POLLIN, 0}};
        const int ready = ::ppoll(entries, 2, &wait, nullptr);
        if (ready > 0) {
            if (entries[1].revents != 0) return WaitResult::Woken;
            if (entries[0].revents & POLLNVAL) return WaitResult::Failed;
            return WaitResult::Readable; // POLLIN, and POLLHUP/POLLERR: the read decides
        }
        if (ready == 0) return WaitResult::Expired;
        if (errno != EINTR) return WaitResult::Failed;
    }
}

void signalWake(int wakeFd) {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(wakeFd, &one, sizeof one);
}

std::size_t arrivedInput(int fd) {
    int queued = 0;
    if (::ioctl(fd, FIONREAD, &queued) != 0 || queued < 0) return 0;
    return static_cast<std::size_t>(queued);
}

ssize_t readSome(int fd, void* buffer, std::size_t size) {
    for (;;) {
        const ssize_t n = ::read(fd, buffer, size);
        if (n >= 0 || errno != EINTR) return n < 0 ? -1 : n;
    }
}

WriteResult writeAll(int fd, int wakeFd, const void* data, std::size_t size) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    std::size_t written = 0;
    while (written < size) {
        const ssize_t n = ::write(fd, bytes + written, size - written);
        if (n > 0) {
            written += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) break;
        // The line takes no more for now: wait for room, or for the wake-up.
        pollfd entries[2] = {{fd, POLLOUT, 0}, {wakeFd, POLLIN, 0}};
        const int ready = ::poll(entries, 2, -1);
        if (ready < 0 && errno == EINTR) continue;
        if (ready < 0) break;
        if (entries[1].revents != 0) return {written, true};
        if (entries[0].revents & POLLNVAL) break;
    }
    return {written, false};
}

} // namespace vkcom

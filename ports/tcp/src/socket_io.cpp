#include "socket_io.h"

#include "error_codes.h"

#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>

namespace vktcp {

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kScratchSize = 4096;
constexpr std::size_t kHeadSize = 3;
constexpr std::uint8_t kAdvancedFrameMark = 0x02;
constexpr std::size_t kShortestStandardFrame = 5;
constexpr std::size_t kShortestAdvancedFrame = 7;

// Waits for `events` on `fd` until `timeoutUs` has passed; EINTR resumes with
// the time that remains.
WaitOutcome waitFor(int fd, short events, std::int64_t timeoutUs, int& systemError) {
    const Clock::time_point deadline =
        Clock::now() + std::chrono::microseconds(std::max<std::int64_t>(timeoutUs, 0));
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(deadline - Clock::now());
        const std::int64_t ns = std::max<std::int64_t>(left.count(), 0);
        timespec wait{static_cast<std::time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
        pollfd entry{fd, events, 0};
        const int ready = ::ppoll(&entry, 1, &wait, nullptr);
        if (ready > 0) {
            if (entry.revents & POLLNVAL) {
                systemError = EBADF;
                return WaitOutcome::Failed;
            }
            return WaitOutcome::Ready;
        }
        if (ready == 0) return WaitOutcome::Expired;
        if (errno != EINTR) {
            systemError = errno;
            return WaitOutcome::Failed;
        }
        if (ns == 0) return WaitOutcome::Expired;
    }
}

enum class StepKind { Data, Expired, EndOfStream, Failed };

struct Step {
    StepKind kind;
    std::size_t count;
    int systemError;
};

// When a read waits for input: first, or only once nothing has arrived.
enum class WaitFirst { No, Yes };

// One read of at most `want` bytes, waiting at most `waitUs` for input. Reads
// what has already arrived without waiting, unless `waitFirst` says that the
// input cannot be there yet (a reply to a request just sent).
Step readOnce(int fd, std::uint8_t* target, std::size_t want, std::int64_t waitUs, WaitFirst waitFirst) {
    bool wait = waitFirst == WaitFirst::Yes;
    for (;;) {
        if (wait) {
            int systemError = 0;
            switch (waitReadable(fd, waitUs, systemError)) {
            case WaitOutcome::Expired: return {StepKind::Expired, 0, 0};
            case WaitOutcome::Failed: return {StepKind::Failed, 0, systemError};
            case WaitOutcome::Ready: break;
            }
        }
        const ssize_t n = ::recv(fd, target, want, MSG_DONTWAIT);
        if (n > 0) return {StepKind::Data, static_cast<std::size_t>(n), 0};
        if (n == 0) return {StepKind::EndOfStream, 0, 0};
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            wait = true;
            continue;
        }
        return {StepKind::Failed, 0, errno};
    }
}

// The result of a step that brought no data.
IoResult failureOf(const Step& step) {
    if (step.kind == StepKind::Expired) return {kErrReceiveTimeout, 0};
    return {kErrRead, step.kind == StepKind::Failed ? step.systemError : 0};
}

// Reads and drops `remaining` bytes of an overlong frame; stops early when a
// read waits longer than `charTimeoutUs`, at end of stream or on an error.
void dropRestOfFrame(int fd, std::size_t remaining, std::int64_t charTimeoutUs) {
    std::uint8_t scratch[kScratchSize];
    while (remaining > 0) {
        const Step step =
            readOnce(fd, scratch, std::min(remaining, sizeof scratch), charTimeoutUs, WaitFirst::No);
        if (step.kind != StepKind::Data) return;
        remaining -= step.count;
    }
}

} // namespace

bool connectBlocking(int fd, const sockaddr_in& peer) {
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&peer), sizeof peer) == 0) return true;
    if (errno != EINTR) return false;
    // The connection goes on in the kernel; wait for its outcome.
    pollfd entry{fd, POLLOUT, 0};
    int ready;
    do {
        ready = ::poll(&entry, 1, -1);
    } while (ready < 0 && errno == EINTR);
    if (ready <= 0) return false;
    int error = 0;
    socklen_t length = sizeof error;
    return ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0;
}

WaitOutcome waitReadable(int fd, std::int64_t timeoutUs, int& systemError) {
    return waitFor(fd, POLLIN, timeoutUs, systemError);
}

IoResult sendAll(int fd, const std::uint8_t* data, std::size_t length, std::int64_t timeoutUs) {
    std::size_t sent = 0;
    while (sent < length) {
        const ssize_t n = ::send(fd, data + sent, length - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            int systemError = 0;
            switch (waitFor(fd, POLLOUT, timeoutUs, systemError)) {
            case WaitOutcome::Ready: continue;
            case WaitOutcome::Expired: return {kErrTransmit, ETIMEDOUT};
            case WaitOutcome::Failed: return {kErrTransmit, systemError};
            }
        }
        return {kErrTransmit, n < 0 ? errno : 0};
    }
    return {kOk, 0};
}

void discardPendingInput(int fd, std::size_t limit) {
    std::uint8_t scratch[kScratchSize];
    std::size_t dropped = 0;
    while (dropped < limit) {
        const ssize_t n = ::recv(fd, scratch, std::min(limit - dropped, sizeof scratch), MSG_DONTWAIT);
        if (n > 0) {
            dropped += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        return;
    }
}

void dropLateReply(int fd, std::int64_t windowUs, std::int64_t charTimeoutUs, std::size_t limit) {
    using Clock = std::chrono::steady_clock;
    const auto end = Clock::now() + std::chrono::microseconds(windowUs);
    std::uint8_t scratch[kScratchSize];
    std::size_t dropped = 0;
    while (dropped < limit) {
        const std::int64_t left =
            std::chrono::duration_cast<std::chrono::microseconds>(end - Clock::now()).count();
        if (left <= 0) return;
        const Step step = readOnce(fd, scratch, std::min(limit - dropped, sizeof scratch),
                                   dropped == 0 ? left : std::min(left, charTimeoutUs), WaitFirst::Yes);
        if (step.kind != StepKind::Data) return;
        dropped += step.count;
    }
}

IoResult readLengthFramed(int fd, std::uint8_t* buffer, int size, std::int64_t timeoutUs,
                          std::int64_t charTimeoutUs, bool afterRequest) {
    buffer[0] = 0;
    // The head goes to a buffer of its own so that a caller's buffer of one or two
    // bytes never asks for a read of nothing.
    std::uint8_t head[kHeadSize];
    std::size_t have = 0;
    std::int64_t waitUs = timeoutUs;
    WaitFirst waitFirst = afterRequest ? WaitFirst::Yes : WaitFirst::No;
    while (have < kHeadSize) {
        const Step step = readOnce(fd, head + have, kHeadSize - have, waitUs, waitFirst);
        if (step.kind != StepKind::Data) return failureOf(step);
        have += step.count;
        waitUs = charTimeoutUs;
        waitFirst = WaitFirst::No;
    }

    std::size_t frameLength = 0;
    if (head[0] == kAdvancedFrameMark) {
        frameLength = static_cast<std::size_t>(head[1]) * 256 + head[2];
        if (frameLength < kShortestAdvancedFrame) return {kErrRead, 0};
    } else if (head[0] < kShortestStandardFrame) {
        return {kErrRead, 0};
    } else {
        frameLength = head[0];
    }

    const std::size_t capacity = static_cast<std::size_t>(size);
    if (frameLength > capacity) {
        dropRestOfFrame(fd, frameLength - kHeadSize, charTimeoutUs);
        std::memset(buffer, 0, capacity);
        return {kErrBufferTooSmall, 0};
    }

    std::memcpy(buffer, head, kHeadSize);
    std::size_t count = kHeadSize;
    // The rest has mostly arrived with the head: read before waiting.
    while (count < frameLength) {
        const Step step = readOnce(fd, buffer + count, frameLength - count, charTimeoutUs, WaitFirst::No);
        if (step.kind != StepKind::Data) return failureOf(step);
        count += step.count;
    }
    return {static_cast<int>(count), 0};
}

IoResult readUntilQuiet(int fd, std::uint8_t* buffer, int size, std::int64_t timeoutUs,
                        std::int64_t charTimeoutUs) {
    int count = 0;
    std::int64_t waitUs = timeoutUs;
    for (;;) {
        const Step step = readOnce(fd, buffer + count, 1, waitUs, WaitFirst::Yes);
        if (step.kind == StepKind::Expired) {
            if (count > 0) return {count, 0, true};
            return {kErrReceiveTimeout, 0};
        }
        if (step.kind != StepKind::Data) return failureOf(step);
        ++count;
        if (count == size) return {count, 0};
        waitUs = charTimeoutUs;
    }
}

} // namespace vktcp

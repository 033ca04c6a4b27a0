// Raw clients of the simulator's endpoints for the tests: blocking descriptors
// read with poll and a deadline.
#ifndef KRNSIM_TESTS_CLIENT_H
#define KRNSIM_TESTS_CLIENT_H

#include "hex.h"

#include <vktesting/loopback_listener.h>
#include <vktesting/unique_fd.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

namespace krnsim::test {

using namespace std::chrono_literals;

// Generous: the machine may be loaded; a passing test never waits this long.
inline constexpr Millis kPatience{5000};

inline vktesting::UniqueFd connectTcp(std::uint16_t port) {
    return vktesting::connectLoopback(port);
}

inline void writeAll(int fd, ByteView bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n < 0 && errno == ENOTSOCK) {
            const ssize_t w = ::write(fd, bytes.data() + done, bytes.size() - done);
            if (w <= 0) return;
            done += static_cast<std::size_t>(w);
            continue;
        }
        if (n <= 0) return;
        done += static_cast<std::size_t>(n);
    }
}

// How a read ended.
struct ReadResult {
    Bytes bytes;
    bool eof = false;
    int error = 0; // errno of a failed read
    bool timedOut = false;
};

// Reads until `count` bytes arrived, the stream ended or failed, or `timeout` passed.
inline ReadResult readBytes(int fd, std::size_t count, Millis timeout = kPatience) {
    ReadResult result;
    const auto deadline = Clock::now() + timeout;
    std::uint8_t buffer[4096];
    while (result.bytes.size() < count) {
        const auto left = std::chrono::duration_cast<Millis>(deadline - Clock::now()).count();
        if (left <= 0) {
            result.timedOut = true;
            break;
        }
        pollfd entry{fd, POLLIN, 0};
        if (::poll(&entry, 1, static_cast<int>(left)) <= 0) continue;
        const ssize_t n = ::read(fd, buffer, std::min(sizeof buffer, count - result.bytes.size()));
        if (n == 0) {
            result.eof = true;
            break;
        }
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN) continue;
            result.error = errno;
            break;
        }
        result.bytes.insert(result.bytes.end(), buffer, buffer + n);
    }
    return result;
}

// Reads one reply frame by its length field; empty when none came in time.
inline Bytes readFrame(int fd, Millis timeout = kPatience) {
    ReadResult head = readBytes(fd, 1, timeout);
    if (head.bytes.empty()) return {};
    std::size_t length = head.bytes[0];
    if (head.bytes[0] == 0x02) {
        const ReadResult more = readBytes(fd, 2, timeout);
        head.bytes.insert(head.bytes.end(), more.bytes.begin(), more.bytes.end());
        if (head.bytes.size() < 3) return {};
        length = std::size_t{head.bytes[1]} << 8 | head.bytes[2];
    }
    if (length <= head.bytes.size()) return head.bytes;
    const ReadResult rest = readBytes(fd, length - head.bytes.size(), timeout);
    head.bytes.insert(head.bytes.end(), rest.bytes.begin(), rest.bytes.end());
    return head.bytes;
}

// Sends a request and reads one reply frame.
inline Bytes exchange(int fd, ByteView frame, Millis timeout = kPatience) {
    writeAll(fd, frame);
    return readFrame(fd, timeout);
}

} // namespace krnsim::test

#endif

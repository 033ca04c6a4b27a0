// The listener's sockets.
#include "listener/listener_socket.h"

#include <vkkrn.h>

#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vkkrn::listener {

namespace {

constexpr int kStepMs = 10;

int secondsUp(unsigned int milliseconds) {
    return static_cast<int>((static_cast<unsigned long long>(milliseconds) + 999ULL) / 1000ULL);
}

void keepAliveOption(int fd, int option, int value, const char* failure, const LineSink& line) {
    if (setsockopt(fd, IPPROTO_TCP, option, &value, sizeof value) != 0) line(failure, errno);
}

void enableKeepAlive(int fd, const _VKKRN_TASK_INIT& record, const LineSink& line) {
    const int on = 1;
    if (setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on) == 0)
        line("KeepAlive option enabled", std::nullopt);
    else
        line("Enable KeepAlive option with setsockopt failed: ", errno);
    keepAliveOption(fd, TCP_KEEPIDLE, secondsUp(record.uiKeepAliveIdle),
                    "Set KeepAlive option TCP_KEEPIDLE with setsockopt failed: ", line);
    keepAliveOption(fd, TCP_KEEPCNT, static_cast<int>(record.uiKeepAliveProbes),
                    "Set KeepAlive option TCP_KEEPCNT with setsockopt failed: ", line);
    keepAliveOption(fd, TCP_KEEPINTVL, secondsUp(record.uiKeepAliveInterval),
                    "Set KeepAlive option TCP_KEEPINTVL with setsockopt failed: ", line);
}

} // namespace

int openListeningSocket(const _VKKRN_TASK_INIT& record, const LineSink& line) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return -1;
    const int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (record.ucKeepAlive != 0) enableKeepAlive(fd, record, line);

    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(record.uiTcpPort));
    char text[sizeof record.cAddress + 1] = {};
    for (std::size_t i = 0; i < sizeof record.cAddress; ++i)
        text[i] = record.cAddress[i];
    bool usable = true;
    if (text[0] == '\0')
        address.sin_addr.s_addr = htonl(INADDR_ANY);
    else
        usable = inet_pton(AF_INET, text, &address.sin_addr) == 1; // bad text: as a failing bind
    if (!usable || bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        listen(fd, 1) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

int sendWithin(int fd, std::span<const std::uint8_t> bytes, std::chrono::milliseconds limit,
               const std::atomic<unsigned char>& stop) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!bytes.empty()) {
        const ssize_t sent = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (sent > 0) {
            bytes = bytes.subspan(static_cast<std::size_t>(sent));
            continue;
        }
        if (sent < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) return errno;
        if (stop.load() != 0) return ECANCELED;
        if (std::chrono::steady_clock::now() >= deadline) return ETIMEDOUT;
        pollfd p{fd, POLLOUT, 0};
        if (poll(&p, 1, kStepMs) < 0 && errno != EINTR) return errno;
    }
    return 0;
}

void formatPeer(std::uint32_t networkOrderAddress, char* out) {
    const auto* b = reinterpret_cast<const unsigned char*>(&networkOrderAddress);
    std::snprintf(out, 16, "%u.%u.%u.%u", b[0], b[1], b[2], b[3]);
}

} // namespace vkkrn::listener

#include "transport.h"

#include "log_categories.h"
#include "reply_framer.h"

#include <vkplatform/socket_services.h>

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/types.h>

#include <cerrno>
#include <cstddef>

namespace zrb {

namespace sockets = vkplatform::sockets;

namespace {

constexpr const char* kService = "5000";
constexpr std::size_t kReceiveChunk = 2000;

// Completes a connect that a signal interrupted: waits until the socket is
// writable and reads the connect's own result.
bool finishInterruptedConnect(int socket) {
    pollfd entry{socket, POLLOUT, 0};
    int ready;
    do {
        ready = ::poll(&entry, 1, -1);
    } while (ready == -1 && errno == EINTR);
    if (ready != 1) return false;
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(socket, SOL_SOCKET, SO_ERROR, &error, &length) != 0) return false;
    errno = error;
    return error == 0;
}

bool connectSocket(int socket, const sockaddr* address, socklen_t length) {
    if (::connect(socket, address, length) == 0) return true;
    return errno == EINTR && finishInterruptedConnect(socket);
}

} // namespace

Transport::~Transport() {
    if (socket_ >= 0) release();
}

void Transport::release() {
    sockets::closeSocket(socket_);
    socket_ = sockets::kInvalidSocket;
    sockets::stop();
}

bool Transport::open(const char* host) {
    if (const int error = sockets::start(); error != 0) {
        ZRB_LOG(kScpiLog, ZLOG_LEVEL_ERROR, "WSAStartup failed with error: %d\n", error);
        return false;
    }
    ZRB_LOG(kScpiLog, ZLOG_LEVEL_INFO, "Connecting with %s:%s", host != nullptr ? host : "(null)", kService);

    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    addrinfo* addresses = nullptr;
    if (const int error = ::getaddrinfo(host, kService, &hints, &addresses); error != 0) {
        ZRB_LOG(kScpiLog, ZLOG_LEVEL_ERROR, "Getaddrinfo failed with error: %d\n", error);
        sockets::stop();
        return false;
    }

    int socket = sockets::kInvalidSocket;
    for (const addrinfo* address = addresses; address != nullptr; address = address->ai_next) {
        socket = ::socket(address->ai_family, address->ai_socktype | SOCK_CLOEXEC, address->ai_protocol);
        if (socket == sockets::kInvalidSocket) {
            const long error = sockets::lastError();
            ZRB_LOG(kScpiLog, ZLOG_LEVEL_ERROR, "Socket failed with error: %ld\n", error);
            ::freeaddrinfo(addresses);
            sockets::stop();
            return false;
        }
        if (connectSocket(socket, address->ai_addr, address->ai_addrlen)) break;
        sockets::closeSocket(socket);
        socket = sockets::kInvalidSocket;
    }
    ::freeaddrinfo(addresses);
    if (socket == sockets::kInvalidSocket) {
        ZRB_LOG(kScpiLog, ZLOG_LEVEL_ERROR, "Unable to connect to server!\n");
        sockets::stop();
        return false;
    }

    const int noDelay = 1;
    (void)::setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &noDelay, sizeof noDelay);
    socket_ = socket;
    return true;
}

bool Transport::send(const std::string& line) {
    // The trace shows the line up to its last CR.
    const std::size_t cr = line.rfind('\r');
    const std::string trace = cr == std::string::npos ? line : line.substr(0, cr);
    ZRB_LOG_UNCACHED(kTxTrace, ZLOG_LEVEL_TRACE, "%s", trace.c_str());

    std::size_t sent = 0;
    while (sent < line.size()) {
        const ssize_t result = ::send(socket_, line.data() + sent, line.size() - sent, sockets::kSendFlags);
        if (result >= 0) {
            sent += static_cast<std::size_t>(result);
            continue;
        }
        const int error = sockets::lastError();
        if (error == EINTR) continue;
        ZRB_LOG(kScpiLog, ZLOG_LEVEL_ERROR, "Send failed with error: %d\n", error);
        release();
        return false;
    }
    return true;
}

std::optional<std::string> Transport::receive() {
    ReplyFramer framer;
    char chunk[kReceiveChunk];
    do {
        const ssize_t received = ::recv(socket_, chunk, sizeof chunk, 0);
        if (received > 0) {
            framer.append(chunk, static_cast<std::size_t>(received));
        } else if (received == 0) {
            ZRB_LOG(kScpiLog, ZLOG_LEVEL_ERROR, "Connection has been closed\n");
            return std::nullopt;
        } else if (const int error = sockets::lastError(); error != EINTR) {
            ZRB_LOG(kScpiLog, ZLOG_LEVEL_ERROR, "Recv failed with error: %d\n", error);
            return std::nullopt;
        }
    } while (!framer.complete());

    std::string text = framer.take();
    ZRB_LOG_UNCACHED(kRxTrace, ZLOG_LEVEL_TRACE, "%s", text.c_str());
    if (text.find("ERR") != std::string::npos) {
        ZRB_LOG(kScpiLog, ZLOG_LEVEL_ERROR, "Error code from SCPI server has been received\n");
        return std::nullopt;
    }
    return text;
}

bool Transport::close() {
    const bool shutDown = ::shutdown(socket_, SHUT_WR) == 0;
    if (!shutDown) {
        const int error = sockets::lastError();
        ZRB_LOG(kScpiLog, ZLOG_LEVEL_ERROR, "Close socket failed with error: %d\n", error);
    }
    release();
    if (shutDown) ZRB_LOG(kScpiLog, ZLOG_LEVEL_INFO, "Disconnected socket");
    return shutDown;
}

} // namespace zrb

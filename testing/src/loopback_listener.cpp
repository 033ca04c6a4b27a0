#include <vktesting/loopback_listener.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <stdexcept>

namespace vktesting {

LoopbackListener::LoopbackListener(std::uint16_t port) {
    fd_.reset(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!fd_) throw std::runtime_error("socket failed");
    const int yes = 1;
    ::setsockopt(fd_.get(), SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(fd_.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd_.get(), 16) != 0)
        throw std::runtime_error("bind/listen on loopback failed");
    socklen_t length = sizeof address;
    ::getsockname(fd_.get(), reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
}

UniqueFd LoopbackListener::accept(std::chrono::milliseconds timeout) {
    pollfd entry{fd_.get(), POLLIN, 0};
    if (::poll(&entry, 1, static_cast<int>(timeout.count())) <= 0) return UniqueFd{};
    return UniqueFd(::accept4(fd_.get(), nullptr, nullptr, SOCK_CLOEXEC));
}

UniqueFd connectLoopback(std::uint16_t port) {
    UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!fd) return fd;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) return {};
    return fd;
}

} // namespace vktesting

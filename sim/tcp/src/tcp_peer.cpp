#include <vksim/tcp_peer.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

namespace vksim {

namespace {

std::uint16_t bindLoopback(int fd) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        throw std::runtime_error("cannot bind 127.0.0.1");
    return ntohs(address.sin_port);
}

} // namespace

RequestFramer fixedRequestLength(std::size_t length) {
    return [length](const Bytes& pending) -> std::size_t {
        if (length == 0) return pending.size();
        return pending.size() >= length ? length : 0;
    };
}

TcpPeer::TcpPeer(TcpPeerOptions options)
    : options_(std::move(options)),
      listener_(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0)),
      wake_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
    if (!listener_ || !wake_) throw std::runtime_error("TcpPeer: no socket");
    port_ = bindLoopback(listener_.get());
    if (::listen(listener_.get(), 16) != 0) throw std::runtime_error("TcpPeer: listen failed");
    thread_ = std::thread([this] { run(); });
}

TcpPeer::~TcpPeer() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(wake_.get(), &one, sizeof one);
    thread_.join();
    std::lock_guard lock(mutex_);
    connections_.clear();
}

std::size_t TcpPeer::acceptCount() const {
    std::lock_guard lock(mutex_);
    return connections_.size();
}

bool TcpPeer::waitForAccepts(std::size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return connections_.size() >= count; });
}

FdPeer& TcpPeer::connection(std::size_t index) {
    std::unique_lock lock(mutex_);
    if (!changed_.wait_for(lock, std::chrono::seconds(5), [&] { return connections_.size() > index; }))
        throw std::runtime_error("TcpPeer: no such connection");
    return *connections_[index];
}

void TcpPeer::expect(Script script) {
    std::lock_guard lock(mutex_);
    if (connections_.empty())
        pendingExpects_.push_back(std::move(script));
    else
        connections_.back()->expect(std::move(script));
}

void TcpPeer::respond(FdPeer::Responder responder) {
    std::lock_guard lock(mutex_);
    responder_ = responder;
    if (!connections_.empty()) connections_.back()->respond(std::move(responder));
}

void TcpPeer::run() {
    for (;;) {
        pollfd entries[2] = {{wake_.get(), POLLIN, 0}, {listener_.get(), POLLIN, 0}};
        if (::poll(entries, 2, -1) < 0 && errno != EINTR) return;
        if (entries[0].revents & POLLIN) return;
        if (!(entries[1].revents & POLLIN)) continue;
        vktesting::UniqueFd fd(::accept4(listener_.get(), nullptr, nullptr, SOCK_CLOEXEC));
        if (fd) accepted(std::move(fd));
    }
}

void TcpPeer::accepted(vktesting::UniqueFd fd) {
    if (options_.resetOnClose) {
        const linger reset{1, 0};
        ::setsockopt(fd.get(), SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
    }
    // The peer starts reading only once its answers are in place.
    auto peer = std::make_unique<FdPeer>(std::move(fd), options_.framer, FdPeer::Start::Later);
    peer->closeWhenInputEnds(options_.onClientClose == OnClientClose::Close);
    std::lock_guard lock(mutex_);
    for (Script& script : pendingExpects_)
        peer->expect(std::move(script));
    pendingExpects_.clear();
    if (responder_) peer->respond(responder_);
    if (!options_.onAccept.empty()) peer->play(options_.onAccept);
    peer->start();
    connections_.push_back(std::move(peer));
    changed_.notify_all();
}

RefusingPort::RefusingPort() : fd_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
    if (!fd_) throw std::runtime_error("RefusingPort: no socket");
    port_ = bindLoopback(fd_.get());
}

} // namespace vksim

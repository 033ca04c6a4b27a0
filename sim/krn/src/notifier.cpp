#include <krnsim/notifier.h>

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace krnsim {

namespace {

// The length the bytes so far state for their frame, 0 while unknown.
std::size_t statedLength(const Bytes& bytes) {
    if (bytes.empty()) return 0;
    if (bytes[0] != kAdvancedMark) return bytes[0] < 5 ? 1 : bytes[0];
    if (bytes.size() < 3) return 0;
    const std::size_t n = static_cast<std::size_t>(bytes[1]) << 8 | bytes[2];
    return n < 7 ? 3 : n;
}

} // namespace

Notifier::Notifier(std::uint16_t port, std::uint8_t busAddress, const std::string& host, int receiveBuffer)
    : fd_(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)), busAddress_(busAddress) {
    if (!fd_) throw std::runtime_error("socket failed");
    if (receiveBuffer > 0) setsockopt(fd_.get(), SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    if (inet_pton(AF_INET, host.c_str(), &address.sin_addr) != 1)
        throw std::runtime_error("bad host address");
    if (connect(fd_.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        throw std::runtime_error("connect refused");
}

bool Notifier::authenticate(std::uint8_t keyType, Bytes key, const HandshakeFaults& faults, Millis timeout) {
    channel_.emplace(keyType, std::move(key), busAddress_);
    Bytes step = channel_->step1();
    if (faults.keyTypeByte)
        step = buildReply(Form::Advanced, busAddress_, 0xAE, 0, Bytes{*faults.keyTypeByte, 1});
    send(step);
    const auto first = waitFrame(timeout);
    if (!first || !channel_->takeAnswer1(*first)) return false;
    send(channel_->step2(faults));
    const auto second = waitFrame(timeout);
    return second && channel_->takeAnswer2(*second);
}

Bytes Notifier::notification(std::uint8_t command, ByteView data, Form form, std::uint8_t status) {
    const Bytes inner = buildReply(form, busAddress_, command, status, data);
    if (!channel_ || !channel_->authenticated()) return inner;
    return channel_->wrap(inner, Form::Advanced);
}

void Notifier::send(ByteView bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::send(fd_.get(), bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR) continue;
            throw std::runtime_error("send failed");
        }
        bytes = bytes.subspan(static_cast<std::size_t>(n));
    }
}

void Notifier::sendChunks(ByteView bytes, std::size_t chunk, Millis gap) {
    if (chunk == 0) throw std::invalid_argument("empty chunk");
    for (std::size_t at = 0; at < bytes.size(); at += chunk) {
        if (at > 0) std::this_thread::sleep_for(gap);
        send(bytes.subspan(at, std::min(chunk, bytes.size() - at)));
    }
}

std::optional<HostFrame> Notifier::waitFrame(Millis timeout) {
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        const std::size_t n = statedLength(pending_);
        if (n > 0 && pending_.size() >= n) {
            HostFrame frame = splitHostFrame(ByteView(pending_).first(n));
            pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(n));
            if (channel_ && channel_->authenticated() && frame.command == 0xAF) channel_->unwrap(frame);
            received_.push_back(frame);
            return frame;
        }
        const auto left = std::chrono::duration_cast<Millis>(deadline - Clock::now()).count();
        if (left <= 0 || closedByHost_) return std::nullopt;
        pollfd p{fd_.get(), POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left)) <= 0) continue;
        std::uint8_t buffer[4096];
        const ssize_t got = read(fd_.get(), buffer, sizeof buffer);
        if (got <= 0) {
            if (got < 0 && errno == EINTR) continue;
            closedByHost_ = true;
            continue;
        }
        pending_.insert(pending_.end(), buffer, buffer + got);
    }
}

void Notifier::reset() {
    const linger hard{1, 0};
    setsockopt(fd_.get(), SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    fd_.reset();
}

} // namespace krnsim

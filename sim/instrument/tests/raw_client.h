// A plain TCP client for talking to the simulator byte by byte in tests.
#ifndef ZRBSIM_TESTS_RAW_CLIENT_H
#define ZRBSIM_TESTS_RAW_CLIENT_H

#include <vktesting/unique_fd.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <chrono>
#include <string>

namespace zrbsim::testing {

class RawClient {
  public:
    RawClient(const std::string& address, unsigned short port) {
        fd_.reset(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
        sockaddr_in peer{};
        peer.sin_family = AF_INET;
        peer.sin_port = htons(port);
        ::inet_pton(AF_INET, address.c_str(), &peer.sin_addr);
        connected_ = ::connect(fd_.get(), reinterpret_cast<const sockaddr*>(&peer), sizeof peer) == 0;
    }

    bool connected() const { return connected_; }
    int fd() const { return fd_.get(); }

    bool send(const std::string& bytes) {
        std::size_t sent = 0;
        while (sent < bytes.size()) {
            const ssize_t n = ::send(fd_.get(), bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) return false;
            sent += static_cast<std::size_t>(n);
        }
        return true;
    }

    // Reads until `count` bytes arrived, the peer closed or failed, or the
    // deadline passed. `end` tells which.
    enum class End { kCount, kClosed, kReset, kTimeout };
    std::string read(std::size_t count, End* end = nullptr,
                     std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
        std::string bytes;
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        End how = End::kCount;
        while (bytes.size() < count) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) {
                how = End::kTimeout;
                break;
            }
            pollfd entry{fd_.get(), POLLIN, 0};
            if (::poll(&entry, 1, static_cast<int>(left.count())) <= 0) continue;
            char buffer[65536];
            const std::size_t want = std::min(sizeof buffer, count - bytes.size());
            const ssize_t n = ::recv(fd_.get(), buffer, want, 0);
            if (n > 0) {
                bytes.append(buffer, static_cast<std::size_t>(n));
            } else if (n == 0) {
                how = End::kClosed;
                break;
            } else if (errno != EINTR) {
                how = errno == ECONNRESET ? End::kReset : End::kClosed;
                break;
            }
        }
        if (end != nullptr) *end = how;
        return bytes;
    }

    // One reply line: reads until CR LF (or the end).
    std::string readLine(End* end = nullptr) {
        std::string line;
        while (line.size() < 2 || line.compare(line.size() - 2, 2, "\r\n") != 0) {
            End how;
            const std::string byte = read(1, &how);
            if (byte.empty()) {
                if (end != nullptr) *end = how;
                return line;
            }
            line += byte;
        }
        if (end != nullptr) *end = End::kCount;
        return line;
    }

  private:
    vktesting::UniqueFd fd_;
    bool connected_ = false;
};

} // namespace zrbsim::testing

#endif

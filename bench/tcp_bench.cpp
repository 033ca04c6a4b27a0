// VKTCP_Transceive round trips (a short standard reply and the largest advanced
// reply) against the same exchange done with raw send/recv on a socket of its
// own, both against an in-process reply thread on 127.0.0.1, in the same run.
#include "ratio_reporter.h"

#include <vktcp.h>
#include <vktesting/loopback_listener.h>

#include <arpa/inet.h>
#include <dlfcn.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include <cstdint>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

constexpr std::uint8_t kShortCommand = 0x01;
constexpr std::size_t kRequestLength = 9;
constexpr std::size_t kShortReplyLength = 9;
constexpr std::size_t kLargestReplyLength = 65535; // advanced frame, 65,527 data bytes

std::vector<std::uint8_t> reply(std::size_t length) {
    std::vector<std::uint8_t> frame(length, 0x5A);
    if (length > 255) {
        frame[0] = 0x02;
        frame[1] = static_cast<std::uint8_t>(length >> 8);
        frame[2] = static_cast<std::uint8_t>(length);
    } else {
        frame[0] = static_cast<std::uint8_t>(length);
    }
    return frame;
}

std::vector<std::uint8_t> request(std::uint8_t command) {
    std::vector<std::uint8_t> frame(kRequestLength, 0);
    frame[0] = kRequestLength;
    frame[2] = command;
    return frame;
}

bool readExactly(int fd, std::uint8_t* data, std::size_t length) {
    std::size_t got = 0;
    while (got < length) {
        const ssize_t n = ::recv(fd, data + got, length - got, 0);
        if (n <= 0) return false;
        got += static_cast<std::size_t>(n);
    }
    return true;
}

void sendAll(int fd, const std::uint8_t* data, std::size_t length) {
    std::size_t sent = 0;
    while (sent < length) {
        const ssize_t n = ::send(fd, data + sent, length - sent, MSG_NOSIGNAL);
        if (n <= 0) return;
        sent += static_cast<std::size_t>(n);
    }
}

// Answers each 9-byte request on one accepted connection: command 1 with the
// short reply, anything else with the largest one. Ends when the client hangs up.
class ReplyServer {
  public:
    ReplyServer() : listener_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            ::listen(listener_, 1) != 0 ||
            ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
            throw std::runtime_error("cannot listen on loopback");
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] { serve(); });
    }
    ~ReplyServer() {
        ::shutdown(listener_, SHUT_RDWR);
        thread_.join();
        ::close(listener_);
    }
    int port() const { return port_; }

  private:
    void serve() {
        const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) return;
        const int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        const std::vector<std::uint8_t> shortReply = reply(kShortReplyLength);
        const std::vector<std::uint8_t> largestReply = reply(kLargestReplyLength);
        std::uint8_t request[kRequestLength];
        while (readExactly(fd, request, sizeof request)) {
            const auto& answer = request[2] == kShortCommand ? shortReply : largestReply;
            sendAll(fd, answer.data(), answer.size());
        }
        ::close(fd);
    }

    int listener_;
    int port_ = 0;
    std::thread thread_;
};

std::size_t replyLengthFor(std::uint8_t command) {
    return command == kShortCommand ? kShortReplyLength : kLargestReplyLength;
}

void BM_RawPingPong(benchmark::State& state) {
    const auto command = static_cast<std::uint8_t>(state.range(0));
    ReplyServer server;
    const vktesting::UniqueFd fd = vktesting::connectLoopback(static_cast<std::uint16_t>(server.port()));
    if (!fd) {
        state.SkipWithError("connect failed");
        return;
    }
    const std::vector<std::uint8_t> frame = request(command);
    std::vector<std::uint8_t> buffer(65536);
    const std::size_t expected = replyLengthFor(command);
    for (auto _ : state) {
        sendAll(fd.get(), frame.data(), frame.size());
        if (!readExactly(fd.get(), buffer.data(), expected)) state.SkipWithError("short reply");
    }
}
BENCHMARK(BM_RawPingPong)->Arg(kShortCommand)->Arg(2)->UseRealTime();

void BM_Transceive(benchmark::State& state) {
    void* library = ::dlopen("libvktcp.so", RTLD_NOW | RTLD_GLOBAL);
    if (library == nullptr) {
        state.SkipWithError("libvktcp.so not found");
        return;
    }
    auto connect = reinterpret_cast<VKTCP_Connect_Fn>(::dlsym(library, "VKTCP_Connect"));
    auto transceive = reinterpret_cast<VKTCP_Transceive_Fn>(::dlsym(library, "VKTCP_Transceive"));
    auto disconnect = reinterpret_cast<VKTCP_DisConnect_Fn>(::dlsym(library, "VKTCP_DisConnect"));
    const auto command = static_cast<std::uint8_t>(state.range(0));
    ReplyServer server;
    const int handle = connect("127.0.0.1", server.port());
    if (handle <= 0) {
        state.SkipWithError("VKTCP_Connect failed");
        return;
    }
    const std::vector<std::uint8_t> frame = request(command);
    std::vector<std::uint8_t> buffer(65536);
    const int expected = static_cast<int>(replyLengthFor(command));
    for (auto _ : state) {
        const int n = transceive(handle, frame.data(), static_cast<int>(frame.size()), buffer.data(),
                                 static_cast<int>(buffer.size()));
        if (n != expected) state.SkipWithError("unexpected reply");
    }
    disconnect(handle);
}
BENCHMARK(BM_Transceive)->Arg(kShortCommand)->Arg(2)->UseRealTime();

} // namespace

int main(int argc, char** argv) {
    return vkbench::runWithRatios(argc, argv,
                                  {
                                      {"BM_RawPingPong/1/real_time", "BM_Transceive/1/real_time", 0.7},
                                      {"BM_RawPingPong/2/real_time", "BM_Transceive/2/real_time", 0.8},
                                  });
}

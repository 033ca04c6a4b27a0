// The loopback peer itself, seen from a plain client socket.
#include <vksim/tcp_peer.h>
#include <vktesting/wait_until.h>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

namespace {

using namespace std::chrono_literals;
using vksim::Bytes;
using vksim::Script;
using vktesting::UniqueFd;

UniqueFd connectTo(std::uint16_t port, int* error = nullptr) {
    UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        if (error != nullptr) *error = errno;
        return UniqueFd{};
    }
    return fd;
}

void sendBytes(int fd, const Bytes& bytes) {
    ASSERT_EQ(::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL), static_cast<ssize_t>(bytes.size()));
}

// Reads until `count` bytes came, the stream ended or 2 s passed; `error` gets
// the read's error number when it failed.
Bytes readBytes(int fd, std::size_t count, int* error = nullptr, bool* ended = nullptr) {
    Bytes bytes;
    while (bytes.size() < count) {
        pollfd entry{fd, POLLIN, 0};
        if (::poll(&entry, 1, 2000) <= 0) break;
        std::uint8_t chunk[4096];
        const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
        if (n < 0 && error != nullptr) *error = errno;
        if (n == 0 && ended != nullptr) *ended = true;
        if (n <= 0) break;
        bytes.insert(bytes.end(), chunk, chunk + n);
    }
    return bytes;
}

TEST(TcpPeer, CountsAcceptsAndRecordsEachConnection) {
    vksim::TcpPeer peer;
    UniqueFd a = connectTo(peer.port());
    ASSERT_TRUE(peer.waitForAccepts(1, 5s));
    UniqueFd b = connectTo(peer.port());
    ASSERT_TRUE(peer.waitForAccepts(2, 5s));
    EXPECT_EQ(peer.acceptCount(), 2u);
    sendBytes(a.get(), {5, 1, 2, 3, 4});
    sendBytes(b.get(), {6, 9, 9, 9, 9, 9});
    ASSERT_TRUE(peer.connection(0).waitForRequests(1, 5s));
    ASSERT_TRUE(peer.connection(1).waitForRequests(1, 5s));
    EXPECT_EQ(peer.connection(0).received(), (Bytes{5, 1, 2, 3, 4}));
    EXPECT_EQ(peer.connection(1).received(), (Bytes{6, 9, 9, 9, 9, 9}));
}

TEST(TcpPeer, AnswersQueuedBeforeTheAcceptGoToTheNewConnection) {
    vksim::TcpPeer peer;
    peer.expect(Script().pause(10ms).send({1, 2}).send({3}));
    UniqueFd client = connectTo(peer.port());
    sendBytes(client.get(), {5, 0, 0, 0, 0});
    EXPECT_EQ(readBytes(client.get(), 3), (Bytes{1, 2, 3}));
    peer.respond([](const Bytes& request) { return Script::reply({request[1]}); });
    sendBytes(client.get(), {5, 0x42, 0, 0, 0});
    EXPECT_EQ(readBytes(client.get(), 1), (Bytes{0x42}));
}

TEST(TcpPeer, FixedLengthRequests) {
    vksim::TcpPeerOptions options;
    options.framer = vksim::fixedRequestLength(3);
    vksim::TcpPeer peer(std::move(options));
    UniqueFd client = connectTo(peer.port());
    sendBytes(client.get(), {1, 2, 3, 4, 5, 6, 7});
    ASSERT_TRUE(peer.connection().waitForRequests(2, 5s));
    EXPECT_EQ(peer.connection().requests(), (std::vector<Bytes>{{1, 2, 3}, {4, 5, 6}}));
}

TEST(TcpPeer, HangsUpWithFinOrReset) {
    for (bool reset : {false, true}) {
        vksim::TcpPeerOptions options;
        options.resetOnClose = reset;
        options.onAccept = Script().send({7, 7}).close();
        vksim::TcpPeer peer(std::move(options));
        UniqueFd client = connectTo(peer.port());
        ASSERT_TRUE(vktesting::waitUntil([&] { return peer.connection().hungUp(); }));
        int error = 0;
        bool ended = false;
        const Bytes got = readBytes(client.get(), 3, &error, &ended);
        if (reset) {
            EXPECT_EQ(error, ECONNRESET);
        } else {
            EXPECT_EQ(got, (Bytes{7, 7}));
            EXPECT_TRUE(ended);
        }
    }
}

TEST(TcpPeer, OnTheClientsCloseHangsUpOrStaysOpen) {
    for (auto mode : {vksim::OnClientClose::Close, vksim::OnClientClose::StayOpen}) {
        vksim::TcpPeerOptions options;
        options.onClientClose = mode;
        vksim::TcpPeer peer(std::move(options));
        UniqueFd client = connectTo(peer.port());
        ASSERT_TRUE(peer.waitForAccepts(1, 5s));
        ::shutdown(client.get(), SHUT_WR);
        if (mode == vksim::OnClientClose::Close) {
            EXPECT_TRUE(vktesting::waitUntil([&] { return peer.connection().hungUp(); }));
            bool ended = false;
            readBytes(client.get(), 1, nullptr, &ended);
            EXPECT_TRUE(ended);
        } else {
            EXPECT_FALSE(vktesting::waitUntil([&] { return peer.connection().hungUp(); }, 100ms));
        }
    }
}

TEST(RefusingPort, RefusesConnections) {
    vksim::RefusingPort refusing;
    int error = 0;
    EXPECT_FALSE(connectTo(refusing.port(), &error));
    EXPECT_EQ(error, ECONNREFUSED);
}

} // namespace

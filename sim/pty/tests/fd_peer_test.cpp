#include <vksim/host_frame.h>
#include <vksim/pty_peer.h>

#include <gtest/gtest.h>

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

namespace {

using namespace std::chrono_literals;
using vksim::Bytes;
using vksim::Script;

// Reads from `fd` until `count` bytes came or nothing more arrives for 2 s.
Bytes readBytes(int fd, std::size_t count) {
    Bytes bytes;
    while (bytes.size() < count) {
        pollfd entry{fd, POLLIN, 0};
        if (::poll(&entry, 1, 2000) <= 0) break;
        std::uint8_t chunk[4096];
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n <= 0) break;
        bytes.insert(bytes.end(), chunk, chunk + n);
    }
    return bytes;
}

// A connected socket pair: one end for the peer, one for the test.
struct SocketEnds {
    int test = -1;
    vktesting::UniqueFd peer;
    SocketEnds() {
        int fds[2];
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) == 0) {
            test = fds[0];
            peer.reset(fds[1]);
        }
    }
    ~SocketEnds() { ::close(test); }
};

TEST(HostFraming, CutsRequestsByTheirFirstBytes) {
    struct Case {
        Bytes pending;
        std::size_t length;
    } const cases[] = {
        {{}, 0},
        {{0x06, 0xFF, 0x52}, 0},
        {{0x06, 0xFF, 0x52, 0x00, 0x11, 0x22}, 6},
        {{0x06, 0xFF, 0x52, 0x00, 0x11, 0x22, 0x07}, 6},
        {{0x02, 0x00}, 0},
        {{0x02, 0x00, 0x04, 0xFF}, 4},
        {{0x04, 0x01}, 2},
    };
    for (const Case& c : cases)
        EXPECT_EQ(vksim::hostRequestLength(c.pending), c.length) << c.pending.size();
}

TEST(HostFrame, RepliesCarryTheirLengthAndAZeroRemainderCrc) {
    const Bytes standard = vksim::standardReply(0xFF, 0x52, 0x00, {1, 2, 3});
    ASSERT_EQ(standard.size(), 9u);
    EXPECT_EQ(standard[0], 9);
    EXPECT_EQ(vksim::hostCrc16(standard.data(), standard.size()), 0);
    const Bytes advanced = vksim::advancedReply(0xFF, 0x52, 0x00, Bytes(300, 7));
    ASSERT_EQ(advanced.size(), 308u);
    EXPECT_EQ((advanced[1] << 8) | advanced[2], 308);
    EXPECT_EQ(vksim::hostCrc16(advanced.data(), advanced.size()), 0);
}

TEST(PtyPeer, AnswersEachRequestWithItsScript) {
    vksim::PtyPeer pty;
    int slave = pty.slave();
    pty->expect(Script().sendInChunks({1, 2, 3, 4}, 2, 5ms));
    pty->respond([](const Bytes& request) { return Script::reply(request); });
    const Bytes first{5, 0xFF, 0x10, 0xAA, 0xBB};
    ASSERT_EQ(::write(slave, first.data(), first.size()), 5);
    EXPECT_EQ(readBytes(slave, 4), (Bytes{1, 2, 3, 4}));
    const Bytes second{6, 0xFF, 0x11, 0xAA, 0xBB, 0xCC};
    ASSERT_EQ(::write(slave, second.data(), second.size()), 6);
    EXPECT_EQ(readBytes(slave, 6), second);
    ASSERT_TRUE(pty->waitForRequests(2, 2s));
    EXPECT_EQ(pty->requests()[0], first);
    Bytes all = first;
    all.insert(all.end(), second.begin(), second.end());
    EXPECT_EQ(pty->received(), all);
}

TEST(PtyPeer, DrainsALargeWrite) {
    vksim::PtyPeer pty(vksim::arrivalRequestLength);
    const Bytes big(200000, 0x5A);
    ASSERT_EQ(::write(pty.slave(), big.data(), big.size()), static_cast<ssize_t>(big.size()));
    EXPECT_TRUE(pty->waitForReceived(big.size(), 5s));
}

TEST(FdPeer, PlaysOnCueAndHangsUpOverASocket) {
    SocketEnds ends;
    ASSERT_GE(ends.test, 0);
    vksim::FdPeer peer(std::move(ends.peer));
    peer.play(Script().send({9, 8}).pause(10ms).send({7}).close());
    EXPECT_EQ(readBytes(ends.test, 3), (Bytes{9, 8, 7}));
    EXPECT_TRUE(peer.waitIdle(2s));
    EXPECT_TRUE(peer.hungUp());
    std::uint8_t byte = 0;
    EXPECT_EQ(::read(ends.test, &byte, 1), 0);
}

TEST(FdPeer, SilenceLeavesTheLineQuiet) {
    SocketEnds ends;
    vksim::FdPeer peer(std::move(ends.peer));
    peer.expect(Script::silence());
    const Bytes request{5, 0, 0, 0, 0};
    ASSERT_EQ(::write(ends.test, request.data(), request.size()), 5);
    ASSERT_TRUE(peer.waitForRequests(1, 2s));
    pollfd entry{ends.test, POLLIN, 0};
    EXPECT_EQ(::poll(&entry, 1, 30), 0);
}

} // namespace

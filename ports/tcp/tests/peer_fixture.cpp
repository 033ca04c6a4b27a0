#include "peer_fixture.h"

#include <algorithm>
#include <chrono>

namespace vktcp_test {

Bytes standardFrame(std::size_t length, std::uint8_t fill) {
    Bytes frame(length, fill);
    frame[0] = static_cast<std::uint8_t>(length);
    frame[1] = 0;
    frame[2] = 0x52;
    frame[3] = 0;
    return frame;
}

Bytes advancedFrame(std::size_t length, std::uint8_t fill) {
    Bytes frame(length, fill);
    frame[0] = 0x02;
    frame[1] = static_cast<std::uint8_t>(length >> 8);
    frame[2] = static_cast<std::uint8_t>(length);
    frame[3] = 0;
    frame[4] = 0x52;
    frame[5] = 0;
    return frame;
}

Bytes request(std::uint8_t tag) {
    return Bytes{7, 0, 0x52, tag, 0, 0xAA, 0xBB};
}

GuardedBuffer::GuardedBuffer(std::size_t size) : size_(size), bytes_(size + 2 * kGuard, kGuardByte) {
    std::fill(bytes_.begin() + kGuard, bytes_.begin() + static_cast<std::ptrdiff_t>(kGuard + size), 0x3C);
}

Bytes GuardedBuffer::first(std::size_t n) const {
    n = std::min(n, size_);
    return Bytes(bytes_.begin() + kGuard, bytes_.begin() + static_cast<std::ptrdiff_t>(kGuard + n));
}

bool GuardedBuffer::allZero() const {
    return std::all_of(bytes_.begin() + kGuard, bytes_.begin() + static_cast<std::ptrdiff_t>(kGuard + size_),
                       [](std::uint8_t b) { return b == 0; });
}

bool GuardedBuffer::guardsIntact() const {
    auto guard = [](std::uint8_t b) { return b == kGuardByte; };
    return std::all_of(bytes_.begin(), bytes_.begin() + kGuard, guard) &&
           std::all_of(bytes_.end() - kGuard, bytes_.end(), guard);
}

void PeerTest::open(vksim::TcpPeerOptions options, const char* host, bool keepDefaults) {
    peer = std::make_unique<vksim::TcpPeer>(std::move(options));
    handle = api.Connect(host, peer->port());
    ASSERT_GT(handle, 0);
    ASSERT_TRUE(peer->waitForAccepts(1, std::chrono::seconds(5)));
    if (keepDefaults) return;
    set("TIMEOUT", "200");
    set("CHARTIMEOUT", "40");
}

void PeerTest::TearDown() {
    if (handle > 0) {
        EXPECT_EQ(api.DisConnect(handle), 0);
    }
    peer.reset();
    TcpTest::TearDown();
}

void PeerTest::set(const char* key, const char* value) {
    ASSERT_EQ(api.SetSocketPara(handle, key, value), 0) << key << "=" << value;
}

int PeerTest::lastError() {
    int code = 1;
    char text[256];
    api.GetLastError(handle, &code, text);
    return code;
}

int PeerTest::transceive(const Bytes& frame, GuardedBuffer& buffer) {
    const int n =
        api.Transceive(handle, frame.data(), static_cast<int>(frame.size()), buffer.data(), buffer.size());
    EXPECT_TRUE(buffer.guardsIntact());
    return n;
}

int PeerTest::receive(GuardedBuffer& buffer) {
    const int n = api.Receive(handle, buffer.data(), buffer.size());
    EXPECT_TRUE(buffer.guardsIntact());
    return n;
}

} // namespace vktcp_test

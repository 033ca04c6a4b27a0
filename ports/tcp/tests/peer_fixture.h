// A connected socket against a scripted loopback peer, and a buffer between
// guard bytes.
#ifndef VKTCP_TESTS_PEER_FIXTURE_H
#define VKTCP_TESTS_PEER_FIXTURE_H

#include "tcp_api.h"

#include <vksim/tcp_peer.h>

#include <cstdint>
#include <memory>
#include <vector>

namespace vktcp_test {

using vksim::Bytes;
using vksim::Script;

// A standard frame of `length` bytes (5 or more): [length][0][0x52][0][payload...].
Bytes standardFrame(std::size_t length, std::uint8_t fill = 0x11);
// An advanced frame of `length` bytes (7 or more): [0x02][length high][low][0][0x52][0][payload...].
Bytes advancedFrame(std::size_t length, std::uint8_t fill = 0x22);
// A request the peer cuts by its length field.
Bytes request(std::uint8_t tag = 0x01);

class GuardedBuffer {
  public:
    explicit GuardedBuffer(std::size_t size);
    std::uint8_t* data() { return bytes_.data() + kGuard; }
    int size() const { return static_cast<int>(size_); }
    Bytes first(std::size_t n) const;
    bool allZero() const;
    // True while no byte before or after the buffer has been written.
    bool guardsIntact() const;

  private:
    static constexpr std::size_t kGuard = 32;
    static constexpr std::uint8_t kGuardByte = 0xA5;
    std::size_t size_;
    std::vector<std::uint8_t> bytes_;
};

class PeerTest : public TcpTest {
  protected:
    // Starts a peer and connects to it; short time-outs (TIMEOUT 200 ms,
    // CHARTIMEOUT 40 ms) unless `keepDefaults`.
    void open(vksim::TcpPeerOptions options = {}, const char* host = "127.0.0.1", bool keepDefaults = false);
    void TearDown() override;
    void set(const char* key, const char* value);
    vksim::FdPeer& connection(std::size_t index = 0) { return peer->connection(index); }
    int lastError();
    int transceive(const Bytes& frame, GuardedBuffer& buffer);
    int receive(GuardedBuffer& buffer);

    std::unique_ptr<vksim::TcpPeer> peer;
    int handle = 0;
};

} // namespace vktcp_test

#endif

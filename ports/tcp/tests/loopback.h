// Small loopback helpers for tests that need no scripted peer.
#ifndef VKTCP_TESTS_LOOPBACK_H
#define VKTCP_TESTS_LOOPBACK_H

#include <vktesting/unique_fd.h>

#include <cstdint>

namespace vktcp_test {

// A port on 127.0.0.1 that refuses connections: bound, never listening.
class RefusingPort {
  public:
    RefusingPort();
    std::uint16_t port() const { return port_; }

  private:
    vktesting::UniqueFd fd_;
    std::uint16_t port_ = 0;
};

// True when `fd` has input waiting (bytes or end of stream) within `ms`.
bool hasInput(int fd, int ms);

} // namespace vktcp_test

#endif

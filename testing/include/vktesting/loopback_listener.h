// A TCP listener on 127.0.0.1 with a port the kernel picks, and a client's
// blocking connection to a port there.
#ifndef VKTESTING_LOOPBACK_LISTENER_H
#define VKTESTING_LOOPBACK_LISTENER_H

#include <vktesting/unique_fd.h>

#include <chrono>
#include <cstdint>

namespace vktesting {

class LoopbackListener {
  public:
    // Binds 127.0.0.1:0 (or the given port) and listens; the descriptor is
    // non-blocking and close-on-exec.
    explicit LoopbackListener(std::uint16_t port = 0);

    int fd() const { return fd_.get(); }
    std::uint16_t port() const { return port_; }
    // Waits up to `timeout` for a connection; an empty UniqueFd when none came.
    UniqueFd accept(std::chrono::milliseconds timeout);
    void close() { fd_.reset(); }

  private:
    UniqueFd fd_;
    std::uint16_t port_ = 0;
};

// A blocking, close-on-exec connection to 127.0.0.1:port; empty when refused.
UniqueFd connectLoopback(std::uint16_t port);

} // namespace vktesting

#endif

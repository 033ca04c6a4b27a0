// A simulated serial device: a pseudo-terminal pair whose master end is played
// by an FdPeer. The slave is the device a port library opens; the pair keeps one
// slave descriptor open (master reads fail without one), for inspecting the
// line settings only.
#ifndef VKSIM_PTY_PEER_H
#define VKSIM_PTY_PEER_H

#include <vksim/fd_peer.h>
#include <vktesting/pty_pair.h>

#include <memory>
#include <string>

namespace vksim {

class PtyPeer {
  public:
    explicit PtyPeer(RequestFramer framer = hostRequestLength);

    FdPeer& peer() { return *peer_; }
    FdPeer* operator->() { return peer_.get(); }
    const std::string& slavePath() const { return pty_.slavePath(); }
    // N of "/dev/pts/N", -1 when the slave lives elsewhere.
    int slaveNumber() const { return pty_.slaveNumber(); }
    // The inspection descriptor of the slave.
    int slave() const { return pty_.slave(); }

  private:
    vktesting::PtyPair pty_;
    std::unique_ptr<FdPeer> peer_;
};

} // namespace vksim

#endif

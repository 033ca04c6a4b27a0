#include <vksim/pty_peer.h>

#include <fcntl.h>
#include <unistd.h>

#include <stdexcept>

namespace vksim {

PtyPeer::PtyPeer(RequestFramer framer) {
    // The peer gets the only master descriptor, so that its hang-up really ends
    // the line.
    vktesting::UniqueFd master(::fcntl(pty_.master(), F_DUPFD_CLOEXEC, 0));
    if (!master) throw std::runtime_error("dup of the pseudo-terminal master failed");
    pty_.closeMaster();
    peer_ = std::make_unique<FdPeer>(std::move(master), std::move(framer));
}

} // namespace vksim

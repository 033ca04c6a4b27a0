// Simulated serial devices for the library: pseudo-terminals with a scripted
// peer each, reachable by port number under one port prefix. The prefix is
// "/dev/pts/" (port N+1 is /dev/pts/N) unless a slave number is above 255; then
// the slaves are linked into a short private directory (device paths stay
// within 15 characters) and that directory is the prefix.
#ifndef VKCOM_TESTS_PTY_LINES_H
#define VKCOM_TESTS_PTY_LINES_H

#include "vizer_api.h"

#include <vksim/pty_peer.h>

#include <termios.h>

#include <memory>
#include <string>
#include <vector>

namespace vkcom_test {

class PtyLines {
  public:
    // Creates `count` lines and sets the library's PORTPREFIX through `api`.
    PtyLines(const VizerApi& api, int count, vksim::RequestFramer framer = vksim::hostRequestLength);
    ~PtyLines();
    PtyLines(const PtyLines&) = delete;
    PtyLines& operator=(const PtyLines&) = delete;

    vksim::PtyPeer& line(int index) { return *lines_.at(static_cast<std::size_t>(index)); }
    vksim::FdPeer& peer(int index) { return line(index).peer(); }
    int portNumber(int index) const { return numbers_.at(static_cast<std::size_t>(index)); }
    std::string portText(int index) const { return std::to_string(portNumber(index)); }
    const std::string& prefix() const { return prefix_; }
    // Waits until bytes the peer wrote have reached the slave (pseudo-terminals
    // pass them on asynchronously).
    bool waitSlaveReadable(int index);

  private:
    std::vector<std::unique_ptr<vksim::PtyPeer>> lines_;
    std::vector<int> numbers_;
    std::string prefix_;
    std::string linkDir_; // empty when the slaves are used directly
};

// Makes the slave raw at `speed` (a pseudo-terminal keeps speeds), so that the
// library's own settings on opening change something.
void makeSlaveRaw(int slave, speed_t speed);

} // namespace vkcom_test

#endif

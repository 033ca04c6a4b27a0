// A pseudo-terminal pair: the slave stands in for a serial device, the master is
// the far end (a simulated reader).
#ifndef VKTESTING_PTY_PAIR_H
#define VKTESTING_PTY_PAIR_H

#include <vktesting/unique_fd.h>

#include <string>

namespace vktesting {

class PtyPair {
  public:
    // Opens a pair with the master in raw mode and non-blocking, both close-on-exec.
    // The slave descriptor stays open for the pair's lifetime (master reads fail
    // once no slave descriptor is open) and is only for inspection.
    PtyPair();

    int master() const { return master_.get(); }
    int slave() const { return slave_.get(); }
    // Path of the slave device, for example "/dev/pts/3".
    const std::string& slavePath() const { return slavePath_; }
    // Number N of "/dev/pts/N" (-1 when the slave lives elsewhere).
    int slaveNumber() const;
    // Closes the master: the far end hangs up.
    void closeMaster() { master_.reset(); }

  private:
    UniqueFd master_;
    UniqueFd slave_;
    std::string slavePath_;
};

} // namespace vktesting

#endif

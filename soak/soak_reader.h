// One reader of the soak: its own simulated reader (own event loop) and a
// libvkkrn reader on a port of the real port library to it, reconnected the
// way an application reconnects after the connection went away.
#ifndef VKSOAK_SOAK_READER_H
#define VKSOAK_SOAK_READER_H

#include "fault_draw.h"

#include <krnsim/simulator.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>

namespace vksoak {

class SoakReader {
  public:
    // `ptyDir`: the directory the serial library's "PORTPREFIX" names; reader
    // `index` uses its entry "<index>", port number index + 1.
    SoakReader(Link link, int index, const std::string& ptyDir, std::chrono::milliseconds timeout);
    ~SoakReader();
    SoakReader(const SoakReader&) = delete;
    SoakReader& operator=(const SoakReader&) = delete;

    krnsim::Reader& sim() { return sim_->reader(); }
    // The libvkkrn reader handle; 0 when the last (re)connection failed.
    int reader() const { return reader_; }
    // Deletes the reader, closes the port and opens both again on a fresh
    // connection (for a pty, a new endpoint in place of the hung-up one).
    // 0, or the code of the step that failed.
    int reconnect();
    // Requests the simulator has received so far.
    std::size_t requestsReceived() const { return received_.load(); }
    // Drops the simulator's stored log entries (they are counted as they come).
    void trimLog() { sim_->reader().log().clear(); }

  private:
    int open();
    void close();

    Link link_;
    int index_;
    std::string ptyDir_;
    std::chrono::milliseconds timeout_;
    std::atomic<std::size_t> received_{0};
    std::unique_ptr<krnsim::Simulator> sim_ = std::make_unique<krnsim::Simulator>();
    std::uint16_t tcpPort_ = 0;
    int port_ = 0;
    int reader_ = 0;
};

} // namespace vksoak

#endif

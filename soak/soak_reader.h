// One reader of the soak: its own simulated reader (own event loop) and a
// libvkkrn reader on a port of the real port library to it, reconnected the
// way an application reconnects after the connection went away. With a key, the
// reader authenticates (0xAE) on every connection, and every request frame the
// simulator receives is checked: after the handshake only 0xAE and 0xAF frames,
// and never the plain frame or data of the exchange under way.
#ifndef VKSOAK_SOAK_READER_H
#define VKSOAK_SOAK_READER_H

#include "fault_draw.h"

#include <krnsim/simulator.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace vksoak {

class SoakReader {
  public:
    // `ptyDir`: the directory the serial library's "PORTPREFIX" names; reader
    // `index` uses its entry "<index>", port number index + 1.
    // `key`: empty for the plain channel, else 16, 24 or 32 bytes.
    SoakReader(Link link, int index, const std::string& ptyDir, std::chrono::milliseconds timeout,
               krnsim::Bytes key = {});
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
    // Authenticates with the key (key type by its length): 0, or the code of
    // VKKRN_0xAE_ReaderAuthent.
    int authenticate();
    // The plain request frame and data of the exchange under way, which must
    // not show on the wire once the reader has authenticated.
    void watchPlain(krnsim::Bytes frame, krnsim::Bytes data);
    // The first request frame seen in plain after authentication, if any.
    std::optional<std::string> plainSeen() const;
    // Requests the simulator has received so far.
    std::size_t requestsReceived() const { return received_.load(); }
    // Drops the simulator's stored log entries (they are counted as they come).
    void trimLog() { sim_->reader().log().clear(); }

  private:
    int open();
    void close();
    void checkWire(const krnsim::LogEntry& entry);

    Link link_;
    int index_;
    std::string ptyDir_;
    std::chrono::milliseconds timeout_;
    krnsim::Bytes key_;
    mutable std::mutex wireMutex_; // guards the watched bytes and the finding; taken alone
    krnsim::Bytes plainFrame_;
    krnsim::Bytes plainData_;
    std::optional<std::string> plainSeen_;
    std::atomic<std::size_t> received_{0};
    std::unique_ptr<krnsim::Simulator> sim_ = std::make_unique<krnsim::Simulator>();
    std::uint16_t tcpPort_ = 0;
    int port_ = 0;
    int reader_ = 0;
};

} // namespace vksoak

#endif

// A scripted TCP far end on 127.0.0.1: the stand-in for a KRN reader on the
// network, at byte level (frame heads only; no CRC, no reader model).
//
// The peer listens on 127.0.0.1 with a port the kernel picks (port()) and owns a
// thread, joined by its destructor, that accepts connections. Every accepted
// connection is played by an FdPeer (sim/pty's transport-neutral script model),
// so a connection:
//   - records every byte it receives (connection(i).received()) and cuts requests
//     with the peer's framer: by the host-protocol length field (first byte, or
//     0x02 and a 16-bit big-endian length; hostRequestLength) or as N bytes
//     (fixedRequestLength(N));
//   - answers each request with the next queued Script (expect), or else with
//     the Script its responder returns (respond): the reader model of the KRN
//     simulator plugs in here, with its own frame and CRC code;
//   - plays scripts on cue (connection(i).play): bytes, bytes in chunks with
//     pauses, and a hang-up (Script::close() or hangUp()).
// Scripts (see vksim/peer_script.h):
//   Script().send(bytes)                      one chunk
//   Script().sendInChunks(bytes, n, gap)      chunks of n bytes, `gap` apart
//   Script().pause(d)                         nothing for d, then the next step
//   Script().close()                          hang up after what came before
// Close modes (TcpPeerOptions):
//   resetOnClose       a hang-up sends RST (SO_LINGER 0) instead of FIN
//   onClientClose      on the client's FIN: Close (hang up, so the client ends in
//                      time-wait) or StayOpen (the client stays in FIN-wait-2)
//   onAccept           a script played right after every accept (for example
//                      Script().close(): the peer hangs up at once)
#ifndef VKSIM_TCP_PEER_H
#define VKSIM_TCP_PEER_H

#include <vksim/fd_peer.h>
#include <vksim/peer_script.h>
#include <vksim/request_framing.h>
#include <vktesting/unique_fd.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace vksim {

enum class OnClientClose { Close, StayOpen };

struct TcpPeerOptions {
    RequestFramer framer = hostRequestLength;
    OnClientClose onClientClose = OnClientClose::Close;
    bool resetOnClose = false;
    Script onAccept;
};

// Requests of exactly `length` bytes each.
RequestFramer fixedRequestLength(std::size_t length);

class TcpPeer {
  public:
    explicit TcpPeer(TcpPeerOptions options = {});
    // Stops and joins the accept thread, then ends every connection.
    ~TcpPeer();
    TcpPeer(const TcpPeer&) = delete;
    TcpPeer& operator=(const TcpPeer&) = delete;

    std::uint16_t port() const { return port_; }

    std::size_t acceptCount() const;
    bool waitForAccepts(std::size_t count, std::chrono::milliseconds timeout) const;
    // The `index`-th accepted connection (0: the first); waits up to 5 s for it
    // and throws when it does not come.
    FdPeer& connection(std::size_t index = 0);

    // Queue an answer, or set the responder, for the newest connection, or for
    // the next one accepted when none is open yet.
    void expect(Script script);
    void respond(FdPeer::Responder responder);

  private:
    void run();
    void accepted(vktesting::UniqueFd fd);

    TcpPeerOptions options_;
    vktesting::UniqueFd listener_;
    vktesting::UniqueFd wake_; // eventfd: stops the accept thread
    std::uint16_t port_ = 0;

    // Guards everything below; waiters sleep on changed_.
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::vector<std::unique_ptr<FdPeer>> connections_;
    std::vector<Script> pendingExpects_; // for the next connection
    FdPeer::Responder responder_;        // for every connection accepted from now on
    std::thread thread_;
};

// A port on 127.0.0.1 that refuses connections: bound, never listening.
class RefusingPort {
  public:
    RefusingPort();
    std::uint16_t port() const { return port_; }

  private:
    vktesting::UniqueFd fd_;
    std::uint16_t port_ = 0;
};

} // namespace vksim

#endif

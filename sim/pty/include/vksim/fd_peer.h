// A scripted far end over one plain file descriptor: a pseudo-terminal master
// today, a connected socket just as well. A thread owned by the peer reads
// everything that arrives (it always drains, so a large write on the other side
// never stalls), records it, cuts it into requests with a framer, and answers
// each request with the next queued script or, when none is queued, with the
// script a responder callback returns. Scripts can also be played on cue,
// without a request (unsolicited frames, noise, a hang-up).
//
// Typical use: queue the answers, run the code under test, then wait for the
// requests and look at them.
//
//   FdPeer peer(std::move(fd));
//   peer.expect(Script().pause(5ms).send(frame));      // answer to request 1
//   peer.respond([](const Bytes& request) { return Script::reply(request); });
//   ... code under test talks to the other end ...
//   ASSERT_TRUE(peer.waitForRequests(1, 2s));
#ifndef VKSIM_FD_PEER_H
#define VKSIM_FD_PEER_H

#include <vksim/peer_script.h>
#include <vksim/request_framing.h>
#include <vktesting/unique_fd.h>

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace vksim {

class FdPeer {
  public:
    using Responder = std::function<Script(const Bytes& request)>;

    enum class Start { Now, Later };

    // Takes ownership of `fd` (made non-blocking) and starts the peer's thread,
    // or, with Start::Later, leaves it to start() so that answers can be queued
    // before a single byte is read.
    explicit FdPeer(vktesting::UniqueFd fd, RequestFramer framer = hostRequestLength,
                    Start start = Start::Now);
    // Starts the peer's thread (once; a peer started already is left alone).
    void start();
    // Stops and joins the thread, then closes the descriptor if still open.
    ~FdPeer();
    FdPeer(const FdPeer&) = delete;
    FdPeer& operator=(const FdPeer&) = delete;

    // Queues the answer to the next request that has none yet.
    void expect(Script script);
    // Answers requests for which nothing is queued (an empty script is silence).
    void respond(Responder responder);
    // Plays a script now, without waiting for a request.
    void play(Script script);
    // Hangs up once everything scheduled before has been written.
    void hangUp();
    // Whether the peer hangs up as soon as its input ends (the other side closed
    // or shut down its sending side); off by default: the peer stays open.
    void closeWhenInputEnds(bool close);

    // Every byte received so far, and the requests cut from them.
    Bytes received() const;
    std::vector<Bytes> requests() const;
    std::size_t requestCount() const;
    // Forgets what was received (bytes not yet framed included).
    void clearReceived();

    bool waitForRequests(std::size_t count, std::chrono::milliseconds timeout) const;
    bool waitForReceived(std::size_t bytes, std::chrono::milliseconds timeout) const;
    // Waits until every scheduled step has been carried out and written.
    bool waitIdle(std::chrono::milliseconds timeout) const;
    // True once the peer has hung up.
    bool hungUp() const;

  private:
    using Clock = std::chrono::steady_clock;
    struct Action {
        Clock::time_point due;
        bool close;
        Bytes bytes;
    };

    void run();
    void schedule(const Script& script, Clock::time_point start); // with mutex_ held
    void wake();
    void readAvailable();
    void dispatchRequests(std::unique_lock<std::mutex>& lock);
    bool writeOutput();     // false: the far end is gone
    void closeDescriptor(); // with mutex_ held

    int fd_;                     // owned; -1 once hung up
    vktesting::UniqueFd wakeFd_; // eventfd that interrupts the thread's poll
    RequestFramer framer_;

    // Guards everything below; waiters sleep on changed_.
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    bool stopping_ = false;
    bool readable_ = true; // false after end of input
    bool closeWhenInputEnds_ = false;
    std::deque<Script> expected_;
    Responder responder_;
    std::deque<Action> actions_; // in due order
    Bytes output_;               // due bytes not yet written
    Bytes received_;
    Bytes pending_; // received, not yet framed
    std::vector<Bytes> requests_;

    std::thread thread_;
};

} // namespace vksim

#endif

// A reader served on real endpoints: TCP on 127.0.0.1, pseudo-terminals and
// local socket pairs. One event-loop thread per simulator polls every
// descriptor and a wake-up eventfd; replies are sent from there in request
// order per connection, with their delays as timers of the loop.
//
// Control functions may be called from any thread, also from a handler on the
// loop thread (they then take effect before the loop goes on).
#ifndef KRNSIM_SIMULATOR_H
#define KRNSIM_SIMULATOR_H

#include <krnsim/reader.h>

#include <vktesting/unique_fd.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace krnsim {

using EndpointId = std::uint64_t;

enum class LinkKind : std::uint8_t { Tcp, Pty, Local };

struct ConnectionInfo {
    ConnectionId id = 0;
    LinkKind kind = LinkKind::Tcp;
    EndpointId endpoint = 0; // the TCP listener it came through, else 0 (also for connections made out)
};

struct TcpEndpoint {
    EndpointId id = 0;
    std::uint16_t port = 0;
};

struct PtyEndpoint {
    ConnectionId connection = 0;
    std::string slavePath; // for example "/dev/pts/4"
    std::string linkPath;  // the symlink to the slave, when one was asked for
};

struct LocalLink {
    ConnectionId connection = 0;
    vktesting::UniqueFd fd; // the caller's end of the socket pair (blocking)
};

class Simulator {
  public:
    Simulator();
    // Stops and joins the loop, closes every connection and removes the links.
    ~Simulator();
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    Reader& reader() { return reader_; }

    // Listens on 127.0.0.1 (port 0: one the kernel picks); std::runtime_error when it cannot.
    TcpEndpoint listenTcp(std::uint16_t port = 0);
    // Stops listening (connects are refused) or listens again on the same port;
    // open connections stay. Unknown endpoint: std::invalid_argument.
    void stopListening(EndpointId endpoint);
    void resumeListening(EndpointId endpoint);
    std::size_t acceptCount(EndpointId endpoint);
    // Keep a TCP or local connection open after the client's FIN (default: close at once).
    void setKeepOpenAfterFin(bool on) { keepOpenAfterFin_ = on; }

    // Connects out to 127.0.0.1:port, as a reader that calls its host does; the
    // connection is served like an accepted one. std::runtime_error when refused.
    ConnectionId connectTcp(std::uint16_t port);

    // Opens a pseudo-terminal whose raw slave stands in for a serial device; with a
    // link path a symlink to the slave is placed there (an old symlink is replaced).
    PtyEndpoint openPty(const std::string& linkPath = {});
    // A socket pair served like a connection.
    LocalLink openLocal();

    std::vector<ConnectionInfo> connections();
    // Unsolicited sends, queued behind the replies already planned on that
    // connection. Unknown connection: std::invalid_argument.
    void send(ConnectionId connection, Plan plan);
    void send(ConnectionId connection, Bytes bytes);
    void sendFrame(ConnectionId connection, std::uint8_t command, std::uint8_t status, Bytes data = {},
                   Form form = Form::Standard);

  private:
    struct Connection;
    struct Listener;

    void run();
    void wake();
    void post(std::function<void()> command);
    // Runs `command` on the loop thread and returns its result (at once when
    // already there); exceptions reach the caller.
    template <typename Result> Result call(std::function<Result()> command);
    bool onLoopThread() const;

    void runCommands();
    void serviceTimers(TimePoint now);
    void acceptAll(Listener& listener);
    void readInput(ConnectionId id);
    void dispatch(Connection& connection, std::vector<Unit>& units);
    void advance(ConnectionId id);
    void finish(ConnectionId id, EndAction action);
    ConnectionId addConnection(std::unique_ptr<Connection> connection);
    Connection& connection(ConnectionId id);

    Reader reader_;
    std::atomic<bool> keepOpenAfterFin_{false};
    std::atomic<bool> stopping_{false};
    vktesting::UniqueFd wakeFd_;

    // Guards `commands_` only; taken by no one while holding another lock of the simulator.
    std::mutex commandsMutex_;
    std::vector<std::function<void()>> commands_;

    // Owned by the loop thread.
    std::map<EndpointId, std::unique_ptr<Listener>> listeners_;
    std::map<ConnectionId, std::unique_ptr<Connection>> connections_;
    EndpointId nextEndpoint_ = 1;
    ConnectionId nextConnection_ = 1;
    Bytes readBuffer_;

    std::thread thread_; // last: starts once everything above exists
};

} // namespace krnsim

#endif

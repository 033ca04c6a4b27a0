// An RF instrument peer on 127.0.0.N:5000: reads request lines, records them
// with a verdict, and answers with scripted, registered or default replies.
// One event-loop thread per simulator, owned and joined by it.
#ifndef ZRBSIM_SIMULATOR_H
#define ZRBSIM_SIMULATOR_H

#include <zrbsim/reply_plan.h>
#include <zrbsim/request.h>

#include <any>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace zrbsim {

inline constexpr unsigned short kPort = 5000;
// Code and message prefix of the reply to a request that breaks the grammar in
// strict mode.
inline constexpr int kViolationCode = 90;

using ConnectionId = int; // 1, 2, ... in order of acceptance

struct Verdict {
    int code = 0;        // 0: well-formed
    std::string message; // why not
    bool ok() const { return code == 0; }
};

struct LoggedRequest {
    ConnectionId connection = 0;
    std::string raw;     // the bytes of the line, CR LF included
    std::string command; // "Group:Name", empty when unreadable
    Verdict verdict;
    // When the line's last byte was read, on the steady clock.
    std::chrono::steady_clock::time_point received{};
};

struct ConnectionEvent {
    enum class Kind { kAccepted, kClosed };
    Kind kind;
    ConnectionId connection;
    std::string reason; // for kClosed: "peer", "fin", "rst", "watchdog", "error"
};

// What a handler sees: the request and the models it may keep state in.
struct HandlerContext {
    ConnectionId connection;
    const Request& request;
    std::any& connectionModel; // one per connection, empty at accept
    std::any& simulatorModel;  // one per simulator
};

// Returns the reply text, without CR LF.
using Handler = std::function<std::string(HandlerContext&)>;

struct CommandDefinition {
    std::string group;
    std::string name;
    std::string signature;          // see checkSignature; checked in strict mode
    std::string defaultReply = "0"; // used when there is no handler
    Handler handler;
};

class Simulator {
  public:
    struct Options {
        std::string address; // bind exactly this address; empty: walk 127.0.0.0/8
        bool strict = false;
        std::chrono::milliseconds watchdog{5000};
        bool verbose = false; // echo requests and replies to stderr
    };

    // Binds and starts serving. Throws std::system_error when it cannot bind.
    explicit Simulator(Options options);
    Simulator() : Simulator(Options{}) {}
    ~Simulator();
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    const std::string& address() const { return address_; }
    unsigned short port() const { return kPort; }

    // One-shot reply for the next request (of `command` "Group:Name" only, when given).
    void script(ReplyPlan plan, const std::string& command = "");
    void scriptLine(const std::string& text, const std::string& command = "") {
        script(ReplyPlan::line(text), command);
    }
    void registerCommand(CommandDefinition definition);
    // In strict mode, a command that is not registered breaks the grammar too.
    void setUnknownCommandsViolate(bool violate);
    void setWatchdog(std::chrono::milliseconds timeout);

    std::vector<LoggedRequest> requests() const;
    std::vector<LoggedRequest> violations() const;
    std::vector<ConnectionEvent> events() const;
    // Wait until at least `count` requests (events) are recorded; false at the deadline.
    bool waitForRequests(std::size_t count,
                         std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;
    bool waitForEvents(std::size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;
    std::size_t openConnections() const;

    // Runs `f` on the simulator model under the simulator's lock.
    template <typename F> auto withModel(F&& f) {
        std::lock_guard lock(mutex_);
        return f(simulatorModel_);
    }

  private:
    struct Connection;
    void run();
    void bindListener();
    void acceptConnections();
    void readFrom(Connection& connection);
    void startNextReply(Connection& connection);
    ReplyPlan answer(Connection& connection, const std::string& raw,
                     std::chrono::steady_clock::time_point received);
    void advance(Connection& connection, std::chrono::steady_clock::time_point now);
    void closeConnection(Connection& connection, const char* reason, bool reset);
    void wake();

    Options options_;
    std::string address_;
    int listener_ = -1;
    int wakeFd_ = -1;

    // Guards everything below; the loop holds it while it handles a ready
    // descriptor or a due timer, callers while they script or read. Only lock.
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    bool stopping_ = false;
    ConnectionId nextId_ = 1;
    std::vector<std::unique_ptr<Connection>> connections_;
    std::deque<std::pair<std::string, ReplyPlan>> scripts_;
    std::map<std::string, CommandDefinition> commands_;
    bool unknownViolates_ = false;
    std::vector<LoggedRequest> requests_;
    std::vector<ConnectionEvent> events_;
    std::any simulatorModel_;

    std::thread thread_;
};

} // namespace zrbsim

#endif

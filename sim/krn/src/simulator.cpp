#include <krnsim/simulator.h>

#include <vktesting/loopback_listener.h>
#include <vktesting/pty_pair.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <deque>
#include <filesystem>
#include <future>
#include <map>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <system_error>

namespace krnsim {

namespace {

constexpr std::size_t kReadChunk = 65536;
// A pty hang-up discards what the client has not read yet, so after a partial
// reply the master stays open until the client has read it, within a grace time.
constexpr Millis kHangUpGrace{250};
constexpr Millis kHangUpPoll{5};

thread_local const Simulator* tLoopOwner = nullptr;

// A symlink the simulator placed; removed again unless a newer guard has placed
// its own link at the same path since. Placing and removing are one step under
// one lock, so a pty ending on one thread never removes the link another thread
// has just placed for a new pty (as a client reconnecting after a hang-up does).
class SymlinkGuard {
  public:
    SymlinkGuard(std::string path, std::string target) : path_(std::move(path)), target_(std::move(target)) {
        std::lock_guard lock(ownersMutex());
        std::error_code error;
        const auto status = std::filesystem::symlink_status(path_, error);
        if (!error && std::filesystem::exists(status)) {
            if (!std::filesystem::is_symlink(status))
                throw std::runtime_error("link path exists and is not a symlink: " + path_);
            std::filesystem::remove(path_, error);
        }
        std::filesystem::create_symlink(target_, path_, error);
        if (error) throw std::runtime_error("cannot create link " + path_ + ": " + error.message());
        owners()[path_] = this;
    }
    SymlinkGuard(const SymlinkGuard&) = delete;
    SymlinkGuard& operator=(const SymlinkGuard&) = delete;
    ~SymlinkGuard() {
        if (path_.empty()) return;
        std::lock_guard lock(ownersMutex());
        const auto owner = owners().find(path_);
        if (owner == owners().end() || owner->second != this) return;
        owners().erase(owner);
        std::error_code error;
        if (std::filesystem::read_symlink(path_, error) == target_ && !error)
            std::filesystem::remove(path_, error);
    }
    const std::string& path() const { return path_; }

  private:
    // Which guard placed the link now at each path; the mutex is taken alone.
    // Both live as long as the process, for simulators that outlive main.
    static std::mutex& ownersMutex() {
        static auto* mutex = new std::mutex;
        return *mutex;
    }
    static std::map<std::string, const SymlinkGuard*>& owners() {
        static auto* map = new std::map<std::string, const SymlinkGuard*>;
        return *map;
    }

    std::string path_;
    std::string target_;
};

void setNonBlocking(int fd, bool on) {
    const int flags = ::fcntl(fd, F_GETFL);
    ::fcntl(fd, F_SETFL, on ? flags | O_NONBLOCK : flags & ~O_NONBLOCK);
}

int millisUntil(TimePoint due, TimePoint now) {
    if (due <= now) return 0;
    const auto wait = std::chrono::ceil<Millis>(due - now).count();
    return static_cast<int>(std::min<long long>(wait, 60000));
}

} // namespace

struct Simulator::Listener {
    EndpointId id = 0;
    std::uint16_t port = 0;
    std::optional<vktesting::LoopbackListener> socket;
    std::size_t accepted = 0;
};

struct Simulator::Connection {
    Connection(LinkKind kind, Millis gap) : kind(kind), reassembler(gap) {}

    int fd() const { return kind == LinkKind::Pty ? pty->master() : socket.get(); }

    ConnectionId id = 0;
    LinkKind kind;
    EndpointId endpoint = 0;
    vktesting::UniqueFd socket;              // TCP and local links
    std::unique_ptr<vktesting::PtyPair> pty; // pty links: the reader's own slave stays open in it
    std::unique_ptr<SymlinkGuard> link;
    Reassembler reassembler;
    std::unique_ptr<ConnectionContext> context;

    // Output: plans in order; the head is sent step by step.
    std::deque<Plan> plans;
    std::size_t step = 0;
    std::size_t offset = 0;
    std::optional<TimePoint> due; // when the current step may go out
    bool wantWrite = false;
    bool readClosed = false; // the client sent FIN and the connection is kept
    bool finSent = false;    // we sent FIN or hang up: input is dropped until the end
    bool sentInPlan = false; // the head plan has sent bytes
    // Pty hang-up waiting for the client to read what was sent.
    std::optional<TimePoint> hangUpBy;
    bool hangUpSawQueued = false;
};

Simulator::Simulator() : readBuffer_(kReadChunk) {
    wakeFd_.reset(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC));
    if (!wakeFd_) throw std::system_error(errno, std::generic_category(), "eventfd");
    thread_ = std::thread([this] { run(); });
}

Simulator::~Simulator() {
    stopping_ = true;
    wake();
    thread_.join();
}

bool Simulator::onLoopThread() const {
    return tLoopOwner == this;
}

void Simulator::wake() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto written = ::write(wakeFd_.get(), &one, sizeof one);
}

void Simulator::post(std::function<void()> command) {
    {
        std::lock_guard lock(commandsMutex_);
        commands_.push_back(std::move(command));
    }
    wake();
}

template <typename Result> Result Simulator::call(std::function<Result()> command) {
    if (onLoopThread()) return command();
    std::packaged_task<Result()> task(std::move(command));
    auto result = task.get_future();
    post([&task] { task(); });
    return result.get();
}

void Simulator::runCommands() {
    std::vector<std::function<void()>> commands;
    {
        std::lock_guard lock(commandsMutex_);
        commands.swap(commands_);
    }
    for (auto& command : commands)
        command();
}

// ---------------------------------------------------------------- control

TcpEndpoint Simulator::listenTcp(std::uint16_t port) {
    auto listener = std::make_unique<Listener>();
    listener->socket.emplace(port);
    listener->port = listener->socket->port();
    return call<TcpEndpoint>([&] {
        listener->id = nextEndpoint_++;
        const TcpEndpoint endpoint{listener->id, listener->port};
        listeners_[endpoint.id] = std::move(listener);
        return endpoint;
    });
}

void Simulator::stopListening(EndpointId endpoint) {
    call<void>([&] {
        const auto it = listeners_.find(endpoint);
        if (it == listeners_.end()) throw std::invalid_argument("no such TCP endpoint");
        it->second->socket.reset();
    });
}

void Simulator::resumeListening(EndpointId endpoint) {
    call<void>([&] {
        const auto it = listeners_.find(endpoint);
        if (it == listeners_.end()) throw std::invalid_argument("no such TCP endpoint");
        if (!it->second->socket) it->second->socket.emplace(it->second->port);
    });
}

std::size_t Simulator::acceptCount(EndpointId endpoint) {
    return call<std::size_t>([&] {
        const auto it = listeners_.find(endpoint);
        if (it == listeners_.end()) throw std::invalid_argument("no such TCP endpoint");
        return it->second->accepted;
    });
}

ConnectionId Simulator::connectTcp(std::uint16_t port) {
    vktesting::UniqueFd socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!socket) throw std::system_error(errno, std::generic_category(), "socket");
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(socket.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
        throw std::runtime_error("cannot connect to 127.0.0.1:" + std::to_string(port));
    setNonBlocking(socket.get(), true);
    auto connection = std::make_unique<Connection>(LinkKind::Tcp, reader_.interByteGap());
    connection->socket = std::move(socket);
    return call<ConnectionId>([&] { return addConnection(std::move(connection)); });
}

PtyEndpoint Simulator::openPty(const std::string& linkPath) {
    auto connection = std::make_unique<Connection>(LinkKind::Pty, reader_.interByteGap());
    connection->pty = std::make_unique<vktesting::PtyPair>();
    PtyEndpoint endpoint{0, connection->pty->slavePath(), linkPath};
    if (!linkPath.empty()) connection->link = std::make_unique<SymlinkGuard>(linkPath, endpoint.slavePath);
    endpoint.connection = call<ConnectionId>([&] { return addConnection(std::move(connection)); });
    return endpoint;
}

LocalLink Simulator::openLocal() {
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0)
        throw std::system_error(errno, std::generic_category(), "socketpair");
    LocalLink link;
    link.fd.reset(fds[1]);
    auto connection = std::make_unique<Connection>(LinkKind::Local, reader_.interByteGap());
    connection->socket.reset(fds[0]);
    setNonBlocking(fds[0], true);
    link.connection = call<ConnectionId>([&] { return addConnection(std::move(connection)); });
    return link;
}

std::vector<ConnectionInfo> Simulator::connections() {
    return call<std::vector<ConnectionInfo>>([&] {
        std::vector<ConnectionInfo> list;
        for (const auto& [id, connection] : connections_)
            list.push_back(ConnectionInfo{id, connection->kind, connection->endpoint});
        return list;
    });
}

void Simulator::send(ConnectionId id, Plan plan) {
    call<void>([&] {
        connection(id).plans.push_back(std::move(plan));
        advance(id);
    });
}

void Simulator::send(ConnectionId id, Bytes bytes) {
    send(id, Plan{{Step{Millis(0), std::move(bytes)}}, EndAction::None});
}

void Simulator::sendFrame(ConnectionId id, std::uint8_t command, std::uint8_t status, Bytes data, Form form) {
    send(id, buildReply(form, reader_.busAddress(), command, status, data));
}

// ---------------------------------------------------------------- loop

ConnectionId Simulator::addConnection(std::unique_ptr<Connection> connection) {
    const ConnectionId id = nextConnection_++;
    connection->id = id;
    connection->context = std::make_unique<ConnectionContext>(id);
    connections_[id] = std::move(connection);
    return id;
}

Simulator::Connection& Simulator::connection(ConnectionId id) {
    const auto it = connections_.find(id);
    if (it == connections_.end()) throw std::invalid_argument("no such connection");
    return *it->second;
}

void Simulator::run() {
    tLoopOwner = this;
    std::vector<pollfd> fds;
    std::vector<std::pair<bool, std::uint64_t>> owners; // (is listener, id) per pollfd after the first
    while (!stopping_) {
        runCommands();
        const TimePoint now = Clock::now();
        serviceTimers(now);

        fds.clear();
        owners.clear();
        fds.push_back(pollfd{wakeFd_.get(), POLLIN, 0});
        std::optional<TimePoint> next;
        auto earliest = [&](std::optional<TimePoint> due) {
            if (due && (!next || *due < *next)) next = due;
        };
        for (const auto& [id, listener] : listeners_) {
            if (!listener->socket) continue;
            fds.push_back(pollfd{listener->socket->fd(), POLLIN, 0});
            owners.emplace_back(true, id);
        }
        for (const auto& [id, connection] : connections_) {
            short events = 0;
            if (!connection->readClosed) events |= POLLIN;
            if (connection->wantWrite) events |= POLLOUT;
            fds.push_back(pollfd{connection->fd(), events, 0});
            owners.emplace_back(false, id);
            earliest(connection->reassembler.deadline());
            if (!connection->wantWrite) earliest(connection->due);
            if (connection->hangUpBy) earliest(Clock::now() + kHangUpPoll);
        }
        const int timeout = next ? millisUntil(*next, Clock::now()) : -1;
        if (::poll(fds.data(), fds.size(), timeout) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (fds[0].revents) {
            std::uint64_t count;
            [[maybe_unused]] const auto got = ::read(wakeFd_.get(), &count, sizeof count);
        }
        for (std::size_t i = 1; i < fds.size(); ++i) {
            if (!fds[i].revents) continue;
            const auto [isListener, id] = owners[i - 1];
            if (isListener) {
                const auto it = listeners_.find(id);
                if (it != listeners_.end() && it->second->socket) acceptAll(*it->second);
                continue;
            }
            if (!connections_.count(id)) continue;
            if (connections_[id]->readClosed && (fds[i].revents & (POLLHUP | POLLERR))) {
                connections_.erase(id); // kept after the client's FIN, now gone altogether
                continue;
            }
            if (fds[i].revents & POLLOUT) {
                connections_[id]->wantWrite = false;
                advance(id);
            }
            if (connections_.count(id) && (fds[i].revents & (POLLIN | POLLHUP | POLLERR))) readInput(id);
        }
    }
    connections_.clear();
    listeners_.clear();
    tLoopOwner = nullptr;
}

void Simulator::serviceTimers(TimePoint now) {
    std::vector<ConnectionId> ids;
    for (const auto& [id, connection] : connections_)
        ids.push_back(id);
    for (const ConnectionId id : ids) {
        const auto it = connections_.find(id);
        if (it == connections_.end()) continue;
        Connection& connection = *it->second;
        if (connection.hangUpBy) {
            int queued = 0;
            ::ioctl(connection.pty->slave(), FIONREAD, &queued);
            if (queued > 0) connection.hangUpSawQueued = true;
            if ((connection.hangUpSawQueued && queued == 0) || now >= *connection.hangUpBy)
                connections_.erase(id);
            continue;
        }
        std::vector<Unit> units;
        connection.reassembler.expire(now, units);
        if (!units.empty()) dispatch(connection, units);
        if (!connection.wantWrite) advance(id);
    }
}

void Simulator::acceptAll(Listener& listener) {
    for (;;) {
        vktesting::UniqueFd socket = listener.socket->accept(Millis(0));
        if (!socket) return;
        setNonBlocking(socket.get(), true);
        ++listener.accepted;
        auto connection = std::make_unique<Connection>(LinkKind::Tcp, reader_.interByteGap());
        connection->socket = std::move(socket);
        connection->endpoint = listener.id;
        addConnection(std::move(connection));
    }
}

void Simulator::readInput(ConnectionId id) {
    Connection& connection = *connections_.at(id);
    const ssize_t got = ::read(connection.fd(), readBuffer_.data(), readBuffer_.size());
    if (got < 0 && (errno == EAGAIN || errno == EINTR)) return;
    if (got <= 0) {
        // End of stream or a failed link. A pty keeps its own slave open, so this
        // only happens when the pty itself failed.
        if (connection.kind != LinkKind::Pty && got == 0 && keepOpenAfterFin_ && !connection.finSent) {
            connection.readClosed = true;
            return;
        }
        connections_.erase(id);
        return;
    }
    if (connection.finSent) return; // drained: the reader has hung up
    std::vector<Unit> units;
    connection.reassembler.setGap(reader_.interByteGap());
    connection.reassembler.feed(ByteView(readBuffer_.data(), static_cast<std::size_t>(got)), Clock::now(),
                                units);
    dispatch(connection, units);
    if (connections_.count(id) && !connection.wantWrite) advance(id);
}

void Simulator::dispatch(Connection& connection, std::vector<Unit>& units) {
    for (Unit& unit : units) {
        Plan plan = reader_.handle(std::move(unit), *connection.context);
        if (!plan.empty()) connection.plans.push_back(std::move(plan));
    }
}

void Simulator::advance(ConnectionId id) {
    const auto it = connections_.find(id);
    if (it == connections_.end()) return;
    Connection& connection = *it->second;
    if (connection.finSent) return;
    while (!connection.plans.empty()) {
        Plan& plan = connection.plans.front();
        if (connection.step < plan.steps.size()) {
            const Step& step = plan.steps[connection.step];
            const TimePoint now = Clock::now();
            if (!connection.due) connection.due = now + step.delay;
            if (now < *connection.due) return;
            while (connection.offset < step.bytes.size()) {
                const std::uint8_t* data = step.bytes.data() + connection.offset;
                const std::size_t size = step.bytes.size() - connection.offset;
                const ssize_t sent = connection.kind == LinkKind::Pty
                                         ? ::write(connection.fd(), data, size)
                                         : ::send(connection.fd(), data, size, MSG_NOSIGNAL);
                if (sent < 0 && errno == EINTR) continue;
                if (sent < 0 && errno == EAGAIN) {
                    connection.wantWrite = true;
                    return;
                }
                if (sent <= 0) { // the client is gone
                    connections_.erase(id);
                    return;
                }
                connection.offset += static_cast<std::size_t>(sent);
                connection.sentInPlan = true;
            }
            ++connection.step;
            connection.offset = 0;
            connection.due.reset();
            continue;
        }
        if (plan.end != EndAction::None) {
            finish(id, plan.end);
            return;
        }
        connection.plans.pop_front();
        connection.step = 0;
        connection.sentInPlan = false;
    }
}

void Simulator::finish(ConnectionId id, EndAction action) {
    Connection& connection = *connections_.at(id);
    if (connection.kind == LinkKind::Pty) { // hang up: master closed, the pty ends
        if (!connection.sentInPlan) {
            connections_.erase(id);
            return;
        }
        connection.finSent = true;
        connection.plans.clear();
        connection.hangUpBy = Clock::now() + kHangUpGrace;
        return;
    }
    if (action == EndAction::Reset) {
        if (connection.kind == LinkKind::Tcp) {
            const linger hard{1, 0};
            ::setsockopt(connection.fd(), SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
        }
        connections_.erase(id);
        return;
    }
    ::shutdown(connection.fd(), SHUT_WR);
    connection.finSent = true;
    connection.plans.clear();
    connection.readClosed = false; // read on until the client closes
}

} // namespace krnsim

#include <zrbsim/simulator.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <system_error>

namespace zrbsim {

namespace {

using Clock = std::chrono::steady_clock;

// A request line that grows past this without LF is dropped with its connection.
constexpr std::size_t kMaxPendingRequest = 16u << 20;

// Walks start here, spread by process id so that parallel test processes rarely
// meet; 127.0.0.1 is left to the programs and tests that need it.
std::uint32_t walkStart() {
    static std::atomic<std::uint32_t> simulatorsStarted{0};
    const std::uint32_t spread = static_cast<std::uint32_t>(::getpid()) * 4099u + simulatorsStarted++ * 7u;
    return spread % 0x00FF0000u;
}

std::string addressText(std::uint32_t address) {
    in_addr in{htonl(address)};
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &in, text, sizeof text);
    return text;
}

// A listening socket on address:5000, or -1 with errno set.
int listenOn(std::uint32_t address) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(kPort);
    local.sin_addr.s_addr = htonl(address);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0 || ::listen(fd, 64) != 0) {
        const int error = errno;
        ::close(fd);
        errno = error;
        return -1;
    }
    return fd;
}

std::string withoutLineEnd(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    return text;
}

} // namespace

struct Simulator::Connection {
    ConnectionId id = 0;
    int fd = -1;
    std::string input; // bytes of a line still without LF
    struct Line {
        std::string raw;
        Clock::time_point received;
    };
    std::deque<Line> lines; // complete lines waiting for their reply
    bool replying = false;  // a reply is owed
    Clock::time_point owedSince;
    ReplyPlan plan;
    std::size_t nextChunk = 0;
    std::size_t bytesQueued = 0;
    Clock::time_point nextDue;
    std::string output; // bytes handed over but not yet sent
    std::any model;
};

Simulator::Simulator(Options options) : options_(std::move(options)) {
    bindListener();
    wakeFd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wakeFd_ < 0) {
        const int error = errno;
        ::close(listener_);
        throw std::system_error(error, std::generic_category(), "eventfd");
    }
    thread_ = std::thread([this] { run(); });
}

Simulator::~Simulator() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake();
    thread_.join();
    for (auto& connection : connections_) {
        if (connection->fd >= 0) ::close(connection->fd);
    }
    ::close(listener_);
    ::close(wakeFd_);
}

void Simulator::bindListener() {
    if (!options_.address.empty()) {
        in_addr in{};
        if (::inet_pton(AF_INET, options_.address.c_str(), &in) != 1) {
            throw std::system_error(EINVAL, std::generic_category(),
                                    "not an IPv4 address: " + options_.address);
        }
        listener_ = listenOn(ntohl(in.s_addr));
        if (listener_ < 0) {
            throw std::system_error(errno, std::generic_category(), "bind " + options_.address + ":5000");
        }
        address_ = options_.address;
        return;
    }
    // 127.0.1.0 up to 127.255.255.254, skipping .0 and .255 host bytes.
    constexpr std::uint32_t kBase = 0x7F000100u;
    constexpr std::uint32_t kSpan = 0x00FFFEFFu;
    const std::uint32_t start = walkStart();
    int lastError = EADDRINUSE;
    for (std::uint32_t step = 0; step < 65536; ++step) {
        const std::uint32_t address = kBase + (start + step) % kSpan;
        const std::uint32_t hostByte = address & 0xFF;
        if (hostByte == 0 || hostByte == 255) continue;
        listener_ = listenOn(address);
        if (listener_ >= 0) {
            address_ = addressText(address);
            return;
        }
        lastError = errno;
        if (lastError != EADDRINUSE) break;
    }
    throw std::system_error(lastError, std::generic_category(), "no free loopback address for port 5000");
}

void Simulator::wake() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(wakeFd_, &one, sizeof one);
}

void Simulator::script(ReplyPlan plan, const std::string& command) {
    std::lock_guard lock(mutex_);
    scripts_.emplace_back(command, std::move(plan));
}

void Simulator::registerCommand(CommandDefinition definition) {
    std::lock_guard lock(mutex_);
    const std::string key = definition.group + ":" + definition.name;
    commands_[key] = std::move(definition);
}

void Simulator::setUnknownCommandsViolate(bool violate) {
    std::lock_guard lock(mutex_);
    unknownViolates_ = violate;
}

void Simulator::setWatchdog(std::chrono::milliseconds timeout) {
    {
        std::lock_guard lock(mutex_);
        options_.watchdog = timeout;
    }
    wake();
}

std::vector<LoggedRequest> Simulator::requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

std::vector<LoggedRequest> Simulator::violations() const {
    std::lock_guard lock(mutex_);
    std::vector<LoggedRequest> found;
    std::copy_if(requests_.begin(), requests_.end(), std::back_inserter(found),
                 [](const LoggedRequest& request) { return !request.verdict.ok(); });
    return found;
}

std::vector<ConnectionEvent> Simulator::events() const {
    std::lock_guard lock(mutex_);
    return events_;
}

bool Simulator::waitForRequests(std::size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return requests_.size() >= count; });
}

bool Simulator::waitForEvents(std::size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return events_.size() >= count; });
}

std::size_t Simulator::openConnections() const {
    std::lock_guard lock(mutex_);
    return static_cast<std::size_t>(
        std::count_if(connections_.begin(), connections_.end(),
                      [](const auto& connection) { return connection->fd >= 0; }));
}

void Simulator::run() {
    std::vector<pollfd> entries;
    for (;;) {
        int timeout = -1;
        {
            std::lock_guard lock(mutex_);
            if (stopping_) return;
            entries.clear();
            entries.push_back({wakeFd_, POLLIN, 0});
            entries.push_back({listener_, POLLIN, 0});
            const auto now = Clock::now();
            auto until = [&](Clock::time_point due) {
                const auto left = std::chrono::ceil<std::chrono::milliseconds>(due - now).count();
                const int ms = static_cast<int>(std::clamp<long long>(left, 0, 60000));
                timeout = timeout < 0 ? ms : std::min(timeout, ms);
            };
            for (const auto& connection : connections_) {
                const short events = static_cast<short>(POLLIN | (connection->output.empty() ? 0 : POLLOUT));
                entries.push_back({connection->fd, events, 0});
                if (!connection->replying) continue;
                until(connection->owedSince + options_.watchdog);
                if (connection->nextChunk < connection->plan.chunks.size()) until(connection->nextDue);
            }
        }
        int ready;
        do {
            ready = ::poll(entries.data(), entries.size(), timeout);
        } while (ready < 0 && errno == EINTR);

        std::lock_guard lock(mutex_);
        if (stopping_) return;
        if (entries[0].revents != 0) {
            std::uint64_t count;
            [[maybe_unused]] const ssize_t drained = ::read(wakeFd_, &count, sizeof count);
        }
        // Connections first, so that a close is seen before an accept that follows it.
        for (std::size_t i = 2; i < entries.size(); ++i) {
            Connection& connection = *connections_[i - 2];
            if (connection.fd < 0) continue;
            if ((entries[i].revents & (POLLIN | POLLHUP | POLLERR)) != 0) readFrom(connection);
        }
        for (auto& connection : connections_) {
            if (connection->fd >= 0) advance(*connection, Clock::now());
        }
        if ((entries[1].revents & POLLIN) != 0) acceptConnections();
        std::erase_if(connections_, [](const auto& connection) { return connection->fd < 0; });
        changed_.notify_all();
    }
}

void Simulator::acceptConnections() {
    for (;;) {
        const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED) continue;
            return;
        }
        const int on = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        auto connection = std::make_unique<Connection>();
        connection->id = nextId_++;
        connection->fd = fd;
        events_.push_back({ConnectionEvent::Kind::kAccepted, connection->id, {}});
        connections_.push_back(std::move(connection));
    }
}

void Simulator::readFrom(Connection& connection) {
    char buffer[4096];
    for (;;) {
        const ssize_t received = ::recv(connection.fd, buffer, sizeof buffer, 0);
        if (received > 0) {
            connection.input.append(buffer, static_cast<std::size_t>(received));
            continue;
        }
        if (received < 0 && errno == EINTR) continue;
        if (received < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
        closeConnection(connection, received == 0 ? "peer" : "error", false);
        return;
    }
    std::size_t lineEnd;
    const Clock::time_point received = Clock::now();
    while ((lineEnd = connection.input.find('\n')) != std::string::npos) {
        connection.lines.push_back({connection.input.substr(0, lineEnd + 1), received});
        connection.input.erase(0, lineEnd + 1);
    }
    if (connection.input.size() > kMaxPendingRequest) {
        requests_.push_back(
            {connection.id, connection.input.substr(0, 64), {}, {1, "request line too long"}, received});
        closeConnection(connection, "error", false);
        return;
    }
    advance(connection, Clock::now());
}

void Simulator::startNextReply(Connection& connection) {
    if (connection.lines.empty()) return;
    const Connection::Line line = std::move(connection.lines.front());
    connection.lines.pop_front();
    connection.plan = answer(connection, line.raw, line.received);
    connection.replying = true;
    connection.owedSince = Clock::now();
    connection.nextChunk = 0;
    connection.bytesQueued = 0;
    connection.nextDue =
        connection.owedSince + (connection.plan.chunks.empty() ? std::chrono::milliseconds(0)
                                                               : connection.plan.chunks.front().gapBefore);
}

ReplyPlan Simulator::answer(Connection& connection, const std::string& raw, Clock::time_point received) {
    ParsedLine parsed = parseRequestLine(std::string_view(raw).substr(0, raw.size() - 1));
    LoggedRequest logged{
        connection.id, raw, parsed.request ? parsed.request->command() : std::string(), {}, received};
    const CommandDefinition* definition = nullptr;
    if (parsed.request) {
        auto found = commands_.find(logged.command);
        if (found != commands_.end()) definition = &found->second;
    }
    if (parsed.violation.empty() && parsed.request) {
        if (definition != nullptr) {
            parsed.violation = checkSignature(*parsed.request, definition->signature);
        } else if (unknownViolates_) {
            parsed.violation = "unknown command " + logged.command;
        }
    }
    if (!parsed.violation.empty()) logged.verdict = {kViolationCode, parsed.violation};
    requests_.push_back(logged);
    if (options_.verbose) std::fprintf(stderr, "< %s\n", withoutLineEnd(raw).c_str());

    ReplyPlan plan;
    if (options_.strict && !logged.verdict.ok()) {
        plan =
            ReplyPlan::line(std::to_string(kViolationCode) + ",\"strict: " + logged.verdict.message + "\"");
    } else if (auto scripted = std::find_if(
                   scripts_.begin(), scripts_.end(),
                   [&](const auto& entry) { return entry.first.empty() || entry.first == logged.command; });
               scripted != scripts_.end()) {
        plan = std::move(scripted->second);
        scripts_.erase(scripted);
    } else if (definition != nullptr && definition->handler && parsed.request) {
        HandlerContext context{connection.id, *parsed.request, connection.model, simulatorModel_};
        plan = ReplyPlan::line(definition->handler(context));
    } else {
        plan = ReplyPlan::line(definition != nullptr ? definition->defaultReply : "0");
    }
    if (options_.verbose) {
        std::string shown;
        for (const auto& chunk : plan.chunks)
            shown += chunk.bytes;
        std::fprintf(stderr, "> %s\n", withoutLineEnd(shown).c_str());
    }
    return plan;
}

void Simulator::advance(Connection& connection, Clock::time_point now) {
    for (;;) {
        // Send what is pending.
        while (!connection.output.empty()) {
            const ssize_t sent = ::send(connection.fd, connection.output.data(), connection.output.size(),
                                        MSG_NOSIGNAL | MSG_DONTWAIT);
            if (sent >= 0) {
                connection.output.erase(0, static_cast<std::size_t>(sent));
            } else if (errno == EINTR) {
                continue;
            } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
                return;
            } else {
                closeConnection(connection, "error", false);
                return;
            }
        }
        if (!connection.replying) {
            if (connection.lines.empty()) return;
            startNextReply(connection);
            continue;
        }
        ReplyPlan& plan = connection.plan;

        const bool owed =
            plan.ending == ReplyPlan::Ending::kSilence || connection.nextChunk < plan.chunks.size();
        if (owed && now - connection.owedSince >= options_.watchdog) {
            closeConnection(connection, "watchdog", false);
            return;
        }
        if (plan.ending == ReplyPlan::Ending::kSilence) return;

        // Hand over the next chunk once the previous one is sent and its gap has passed.
        if (connection.nextChunk < plan.chunks.size()) {
            if (now < connection.nextDue) return;
            std::string bytes = plan.chunks[connection.nextChunk].bytes;
            if (plan.ending == ReplyPlan::Ending::kFinAfter) {
                const std::size_t left =
                    plan.finAfterBytes - std::min(plan.finAfterBytes, connection.bytesQueued);
                if (bytes.size() > left) bytes.resize(left);
            }
            connection.bytesQueued += bytes.size();
            connection.output += bytes;
            ++connection.nextChunk;
            if (connection.nextChunk < plan.chunks.size()) {
                connection.nextDue = now + plan.chunks[connection.nextChunk].gapBefore;
            }
            continue;
        }

        // Every byte is out: end the reply.
        switch (plan.ending) {
        case ReplyPlan::Ending::kFin:
        case ReplyPlan::Ending::kFinAfter: closeConnection(connection, "fin", false); return;
        case ReplyPlan::Ending::kRst: closeConnection(connection, "rst", true); return;
        case ReplyPlan::Ending::kKeepOpen:
        case ReplyPlan::Ending::kSilence: break;
        }
        connection.replying = false;
    }
}

void Simulator::closeConnection(Connection& connection, const char* reason, bool reset) {
    if (connection.fd < 0) return;
    if (reset) {
        const linger abortive{1, 0};
        ::setsockopt(connection.fd, SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
    } else {
        ::shutdown(connection.fd, SHUT_WR);
    }
    ::close(connection.fd);
    connection.fd = -1;
    connection.replying = false;
    connection.output.clear();
    events_.push_back({ConnectionEvent::Kind::kClosed, connection.id, reason});
    if (options_.verbose) std::fprintf(stderr, "connection %d closed (%s)\n", connection.id, reason);
}

} // namespace zrbsim

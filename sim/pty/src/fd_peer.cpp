#include <vksim/fd_peer.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <stdexcept>

namespace vksim {

FdPeer::FdPeer(vktesting::UniqueFd fd, RequestFramer framer, Start start)
    : fd_(fd.release()), wakeFd_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)), framer_(std::move(framer)) {
    if (fd_ < 0 || !wakeFd_) {
        if (fd_ >= 0) ::close(fd_);
        throw std::runtime_error("FdPeer needs an open descriptor");
    }
    ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) | O_NONBLOCK);
    if (!framer_) framer_ = hostRequestLength;
    if (start == Start::Now) this->start();
}

void FdPeer::start() {
    if (!thread_.joinable()) thread_ = std::thread([this] { run(); });
}

FdPeer::~FdPeer() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake();
    if (thread_.joinable()) thread_.join();
    if (fd_ >= 0) ::close(fd_);
}

void FdPeer::expect(Script script) {
    std::lock_guard lock(mutex_);
    expected_.push_back(std::move(script));
}

void FdPeer::respond(Responder responder) {
    std::lock_guard lock(mutex_);
    responder_ = std::move(responder);
}

void FdPeer::play(Script script) {
    {
        std::lock_guard lock(mutex_);
        schedule(script, Clock::now());
    }
    wake();
}

void FdPeer::hangUp() {
    {
        std::lock_guard lock(mutex_);
        Clock::time_point due = Clock::now();
        if (!actions_.empty()) due = std::max(due, actions_.back().due);
        actions_.push_back(Action{due, true, {}});
    }
    wake();
}

void FdPeer::closeWhenInputEnds(bool close) {
    std::lock_guard lock(mutex_);
    closeWhenInputEnds_ = close;
}

Bytes FdPeer::received() const {
    std::lock_guard lock(mutex_);
    return received_;
}

std::vector<Bytes> FdPeer::requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

std::size_t FdPeer::requestCount() const {
    std::lock_guard lock(mutex_);
    return requests_.size();
}

void FdPeer::clearReceived() {
    std::lock_guard lock(mutex_);
    received_.clear();
    pending_.clear();
    requests_.clear();
}

bool FdPeer::waitForRequests(std::size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return requests_.size() >= count; });
}

bool FdPeer::waitForReceived(std::size_t bytes, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return received_.size() >= bytes; });
}

bool FdPeer::waitIdle(std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return actions_.empty() && (output_.empty() || fd_ < 0); });
}

bool FdPeer::hungUp() const {
    std::lock_guard lock(mutex_);
    return fd_ < 0;
}

void FdPeer::schedule(const Script& script, Clock::time_point start) {
    Clock::time_point at = start;
    for (const Script::Step& step : script.steps()) {
        if (step.kind == Script::Step::Kind::Pause) {
            at += step.pause;
            continue;
        }
        Action action{at, step.kind == Script::Step::Kind::Close, step.bytes};
        // Keep the actions in due order; equal times stay in scheduling order.
        auto place = std::upper_bound(actions_.begin(), actions_.end(), at,
                                      [](Clock::time_point due, const Action& a) { return due < a.due; });
        actions_.insert(place, std::move(action));
    }
}

void FdPeer::wake() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(wakeFd_.get(), &one, sizeof one);
}

void FdPeer::closeDescriptor() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    output_.clear();
    actions_.clear();
}

void FdPeer::readAvailable() {
    std::uint8_t chunk[65536];
    for (;;) {
        const ssize_t n = ::read(fd_, chunk, sizeof chunk);
        if (n > 0) {
            std::lock_guard lock(mutex_);
            received_.insert(received_.end(), chunk, chunk + n);
            pending_.insert(pending_.end(), chunk, chunk + n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
        std::lock_guard lock(mutex_);
        readable_ = false; // end of input: the other side is gone
        if (closeWhenInputEnds_) {
            closeDescriptor();
            changed_.notify_all();
        }
        return;
    }
}

void FdPeer::dispatchRequests(std::unique_lock<std::mutex>& lock) {
    for (;;) {
        const std::size_t length = framer_(pending_);
        if (length == 0 || length > pending_.size()) return;
        Bytes request(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(length));
        pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(length));
        requests_.push_back(request);
        changed_.notify_all();
        Script answer;
        if (!expected_.empty()) {
            answer = std::move(expected_.front());
            expected_.pop_front();
        } else if (responder_) {
            Responder responder = responder_;
            lock.unlock();
            answer = responder(request);
            lock.lock();
        }
        schedule(answer, Clock::now());
    }
}

bool FdPeer::writeOutput() {
    while (!output_.empty() && fd_ >= 0) {
        ssize_t n = ::send(fd_, output_.data(), output_.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0 && errno == ENOTSOCK) n = ::write(fd_, output_.data(), output_.size());
        if (n > 0) {
            output_.erase(output_.begin(), output_.begin() + n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return true;
        output_.clear(); // the far end is gone: nothing more can be delivered
        return false;
    }
    return true;
}

void FdPeer::run() {
    std::unique_lock lock(mutex_);
    while (!stopping_) {
        // Carry out what is due: bytes join the output in order, a hang-up
        // waits until the output before it is written.
        const Clock::time_point now = Clock::now();
        while (!actions_.empty() && actions_.front().due <= now) {
            Action& action = actions_.front();
            if (action.close) {
                if (!output_.empty() && fd_ >= 0) break;
                closeDescriptor();
                changed_.notify_all();
                break;
            }
            output_.insert(output_.end(), action.bytes.begin(), action.bytes.end());
            actions_.pop_front();
        }
        if (fd_ >= 0) writeOutput();
        changed_.notify_all();

        int timeoutMs = -1;
        if (!actions_.empty() && (output_.empty() || fd_ < 0)) {
            const auto left =
                std::chrono::ceil<std::chrono::milliseconds>(actions_.front().due - Clock::now());
            timeoutMs = static_cast<int>(std::max<std::chrono::milliseconds::rep>(0, left.count()));
        }
        pollfd entries[2] = {{wakeFd_.get(), POLLIN, 0}, {-1, 0, 0}};
        if (fd_ >= 0) {
            short events = 0;
            if (readable_) events |= POLLIN;
            if (!output_.empty()) events |= POLLOUT;
            if (events != 0) entries[1] = {fd_, events, 0};
        }
        lock.unlock();
        const int ready = ::poll(entries, 2, timeoutMs);
        if (ready > 0 && (entries[0].revents & POLLIN)) {
            std::uint64_t count = 0;
            [[maybe_unused]] const ssize_t n = ::read(wakeFd_.get(), &count, sizeof count);
        }
        const bool input =
            ready > 0 && entries[1].fd >= 0 && (entries[1].revents & (POLLIN | POLLHUP | POLLERR));
        if (input && (entries[1].events & POLLIN)) readAvailable();
        lock.lock();
        if (input) {
            if (!(entries[1].events & POLLIN) && !output_.empty()) output_.clear();
            dispatchRequests(lock);
        }
        changed_.notify_all();
    }
}

} // namespace vksim

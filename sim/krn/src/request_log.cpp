#include <krnsim/request_log.h>

namespace krnsim {

void RequestLog::append(LogEntry entry) {
    Observer observer;
    {
        std::lock_guard lock(mutex_);
        observer = observer_;
        if (entries_.size() == kCapacity) entries_.pop_front();
        entries_.push_back(entry);
    }
    changed_.notify_all();
    if (observer) observer(entry);
}

std::vector<LogEntry> RequestLog::entries() const {
    std::lock_guard lock(mutex_);
    return {entries_.begin(), entries_.end()};
}

std::size_t RequestLog::size() const {
    std::lock_guard lock(mutex_);
    return entries_.size();
}

bool RequestLog::waitFor(std::size_t count, Millis timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return entries_.size() >= count; });
}

void RequestLog::clear() {
    std::lock_guard lock(mutex_);
    entries_.clear();
}

void RequestLog::setObserver(Observer observer) {
    std::lock_guard lock(mutex_);
    observer_ = std::move(observer);
}

} // namespace krnsim

// What the reader received and what it sent back, one entry per received unit.
#ifndef KRNSIM_REQUEST_LOG_H
#define KRNSIM_REQUEST_LOG_H

#include <krnsim/reassembler.h>

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>

namespace krnsim {

struct LogEntry {
    TimePoint time{};
    ConnectionId connection = 0;
    Verdict verdict = Verdict::Ok;
    Bytes raw;                  // the bytes received
    Form form = Form::Standard; // for frames
    std::uint8_t address = 0;
    std::uint8_t command = 0;
    Bytes data;
    Bytes reply;       // every byte planned in answer, faults applied
    std::string fault; // the fault applied, empty when none
    std::string note;  // why nothing was sent, when a frame got no reply
    bool secured =
        false; // a 0xAF request deciphered: form, address, command and data are the inner request's
};

// Thread-safe. Keeps the latest kCapacity entries.
class RequestLog {
  public:
    static constexpr std::size_t kCapacity = 65536;
    using Observer = std::function<void(const LogEntry&)>;

    void append(LogEntry entry);
    std::vector<LogEntry> entries() const;
    std::size_t size() const;
    // Waits until at least `count` entries are held; false when the timeout passed first.
    bool waitFor(std::size_t count, Millis timeout) const;
    void clear();
    // Called with every new entry, on the thread that appends it, outside the lock.
    void setObserver(Observer observer);

  private:
    // Guards everything below. Innermost lock: nothing else is taken while it is held.
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::deque<LogEntry> entries_;
    Observer observer_;
};

} // namespace krnsim

#endif

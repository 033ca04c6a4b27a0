// The machinery every family of vk_stress shares: the run (options, its end,
// the broken promises), one worker per thread with its own random sequence, a
// watchdog over every library call, the documented-code check, a book of the
// handles the libraries handed out, and the process's descriptors and threads.
#ifndef VKSTRESS_HARNESS_H
#define VKSTRESS_HARNESS_H

#include "codes.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace vkstress {

using Clock = std::chrono::steady_clock;
using Millis = std::chrono::milliseconds;

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
inline constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
inline constexpr bool kSanitized = true;
#else
inline constexpr bool kSanitized = false;
#endif
#else
inline constexpr bool kSanitized = false;
#endif

struct Options {
    Family family = Family::Com;
    std::uint64_t seed = 1;
    int threads = 4;
    double seconds = 3.0;
    long operations = 0;  // per thread; 0: until the time is up
    bool verbose = false; // a table of the calls after the summary
    // Added to every call's own time-out before the watchdog calls it hung.
    Millis margin{kSanitized ? 5000 : 2000};
};

class Run;

// The watchdog: every worker announces the call it is in; a call still running
// past its limit (its own time-out plus the margin) is reported with its
// context, and the program aborts.
class Watchdog {
  public:
    static constexpr std::size_t kSlots = 72;

    explicit Watchdog(const Run& run);
    ~Watchdog();
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

    void enter(std::size_t slot, const char* call, int handle, Millis limit, int worker, long operation);
    void leave(std::size_t slot);

  private:
    struct Slot {
        std::atomic<const char*> call{nullptr};
        std::atomic<int> handle{0};
        std::atomic<int> worker{0};
        std::atomic<long> operation{0};
        std::atomic<long long> startNs{0};
        std::atomic<long long> limitNs{0};
    };
    void watch();

    const Run& run_;
    std::array<Slot, kSlots> slots_;
    std::mutex mutex_; // guards stop_; taken alone
    std::condition_variable wake_;
    bool stop_ = false;
    std::thread thread_; // last: starts once the slots exist
};

class Worker;

// One run of one family.
class Run {
  public:
    Run(const Options& options, CodeBook codes);
    ~Run();
    Run(const Run&) = delete;
    Run& operator=(const Run&) = delete;

    const Options& options() const { return options_; }
    const CodeBook& codes() const { return codes_; }
    // The error-text function of a library loaded during the run (libvkusb).
    void setCodeText(CodeBook::TextFn text) { codes_.text = text; }

    // Reports a broken promise with the seed and the context of the calling
    // thread, and ends the run.
    void broken(const std::string& message);
    long brokenCount() const { return broken_.load(); }
    // The time is up or a promise was broken.
    bool ending() const;
    // Runs `body` on options().threads workers and joins them.
    void parallel(const std::function<void(Worker&)>& body);
    // The worker of the calling thread, or null on a library's thread.
    static Worker* current();
    bool onMainThread() const { return std::this_thread::get_id() == mainThread_; }

    // `result` of `call` on `handle`: a documented code of the family, else a
    // broken promise. True when it is documented.
    bool expectDocumented(const char* call, int handle, int result);

    Watchdog& watchdog() { return *watchdog_; }
    std::size_t reserveSlot() { return nextSlot_.fetch_add(1); }
    void countCall() { calls_.fetch_add(1, std::memory_order_relaxed); }
    long calls() const { return calls_.load(); }
    long operations() const { return operations_.load(); }
    void countOperation() { operations_.fetch_add(1, std::memory_order_relaxed); }
    // The codes every call gave, for the summary.
    std::map<int, long> failures() const;

    // How often each call was made, how often it failed and how long it took.
    struct CallStats {
        long calls = 0;
        long failures = 0;
        long long totalNs = 0;
        long long longestNs = 0;
        void add(const CallStats& other);
    };
    void addStats(const std::map<const char*, CallStats>& stats);
    std::map<std::string, CallStats> stats() const;

  private:
    const Options options_;
    CodeBook codes_;
    const std::thread::id mainThread_ = std::this_thread::get_id();
    const Clock::time_point deadline_;
    std::atomic<long> broken_{0};
    std::atomic<long> calls_{0};
    std::atomic<long> operations_{0};
    std::atomic<std::size_t> nextSlot_{0};
    mutable std::mutex codesMutex_; // guards the three code sets; taken alone
    std::set<int> documented_;      // codes whose text the library gave
    std::set<int> refused_;         // codes already reported
    std::map<int, long> failures_;  // negative code -> count
    mutable std::mutex statsMutex_; // guards stats_; taken alone
    std::map<std::string, CallStats> stats_;
    std::unique_ptr<Watchdog> watchdog_;
};

// One thread of a run: its random sequence (from the seed and its index), its
// watchdog slot and its operation count.
class Worker {
  public:
    // `index`: 0 to threads - 1 for the workers; threads for the main thread.
    Worker(Run& run, int index);
    ~Worker();
    Worker(const Worker&) = delete;
    Worker& operator=(const Worker&) = delete;

    Run& run() { return run_; }
    int index() const { return index_; }
    long operation() const { return operation_; }
    // Counts the next operation: false once the run ends or this worker has
    // made its share.
    bool next();

    int uniform(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random_); }
    bool chance(double p) { return std::bernoulli_distribution(p)(random_); }
    // An index drawn with the given weights.
    template <std::size_t N> std::size_t pick(const std::array<int, N>& weights) {
        return std::discrete_distribution<std::size_t>(weights.begin(), weights.end())(random_);
    }
    std::mt19937_64& random() { return random_; }

    // Runs one library call under the watchdog and checks that its result is
    // documented. `limit` is the call's own time-out; as the libraries carry
    // out the calls on one handle one at a time, a call may first wait for one
    // call of every other thread, and the run's margin is added. Calls made
    // inside a call (from a handler on this thread) run under the outer call's
    // watch.
    template <typename Call> int call(const char* name, int handle, Millis limit, Call&& body) {
        const bool outer = depth_++ == 0;
        if (outer)
            run_.watchdog().enter(slot_, name, handle, limit * run_.options().threads + run_.options().margin,
                                  index_, operation_);
        const auto start = Clock::now();
        const int result = body();
        const long long took =
            std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - start).count();
        if (outer) run_.watchdog().leave(slot_);
        --depth_;
        run_.countCall();
        Run::CallStats& s = stats_[name];
        ++s.calls;
        s.failures += result < 0 ? 1 : 0;
        s.totalNs += took;
        s.longestNs = std::max(s.longestNs, took);
        run_.expectDocumented(name, handle, result);
        return result;
    }

  private:
    Run& run_;
    int index_;
    std::size_t slot_;
    std::mt19937_64 random_;
    long operation_ = 0;
    int depth_ = 0;
    std::map<const char*, Run::CallStats> stats_; // by the name's address; handed to the run at the end
};

// The handles the libraries handed out, what each was handed out for, and when
// its close returned or its end was announced. A call that began after that
// must not hand the handle out again, nor a handle listed for another resource.
class HandleBook {
  public:
    using Stamp = std::uint64_t;

    // `reopenKeepsHandle`: a resource opened again after its close may get the
    // handle it had (libvkusb keeps one handle per reader it scanned).
    explicit HandleBook(Run& run, bool reopenKeepsHandle = false)
        : run_(run), reopenKeepsHandle_(reopenKeepsHandle) {}

    // Taken right before a call that may hand a handle out.
    Stamp stamp() { return clock_.fetch_add(1) + 1; }
    // `call`, begun at `before`, handed out `handle` for `resource` (a name
    // that outlives the book: it is kept by address). `fresh`:
    // the call opens a new connection, so the handle must not be in use.
    void handedOut(const char* call, int handle, const std::string& resource, Stamp before, bool fresh);
    void handedOut(const char* call, int handle, std::string&& resource, Stamp before, bool fresh) = delete;
    // `call`, begun at `before`, named `handle` in a list of open handles.
    void listed(const char* call, int handle, Stamp before);
    // The close of `handle` returned success.
    void closed(int handle);
    // The library announced the end of `handle` (a handler of its end runs).
    void endAnnounced(int handle);

  private:
    struct Entry {
        const std::string* resource;
        Stamp closed = 0;    // 0: not closed
        Stamp announced = 0; // 0: no end announced
        bool opened = false; // a call that opens a new connection handed it out
    };
    Run& run_;
    const bool reopenKeepsHandle_;
    std::atomic<Stamp> clock_{0};
    mutable std::mutex mutex_; // guards entries_; taken alone (a report is made after it is released)
    std::map<int, Entry> entries_;
};

// What the process holds: open descriptors and threads, with their names.
struct Holdings {
    std::multiset<std::string> descriptors; // the targets of /proc/self/fd
    std::multiset<std::string> threads;     // the names of /proc/self/task
    static Holdings now();
};

// Waits (polling, up to `limit`) until the process holds no more than `before`;
// a broken promise names what is left over.
void expectReturned(Run& run, const Holdings& before, Millis limit);

std::string hex(int value);

// Drives one family's stress object through the run: its start(), when it has
// one, on a worker numbered after the threads; work() on every thread at once;
// then finish() on the next worker.
template <class Stress>
void drive(Run& run, Stress& stress) {
    int index = run.options().threads;
    if constexpr (requires(Worker& w) { stress.start(w); }) {
        Worker first(run, index++);
        stress.start(first);
    }
    run.parallel([&](Worker& w) { stress.work(w); });
    Worker last(run, index);
    stress.finish(last);
}

} // namespace vkstress

#endif

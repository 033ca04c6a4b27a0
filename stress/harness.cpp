#include "harness.h"

#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>

namespace vkstress {
namespace {

thread_local Worker* tWorker = nullptr;

long long nowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
}

std::string context(const Run& run) {
    std::string text = "seed " + std::to_string(run.options().seed);
    if (const Worker* w = Run::current())
        text += ", thread " + std::to_string(w->index()) + ", operation " + std::to_string(w->operation());
    else if (run.onMainThread())
        text += ", after the workers";
    else
        text += ", on a thread of the library";
    return text;
}

// The entries of a /proc directory, not counting "." and "..".
std::vector<std::string> entries(const char* path) {
    std::vector<std::string> names;
    if (DIR* dir = ::opendir(path)) {
        while (const dirent* entry = ::readdir(dir)) {
            if (entry->d_name[0] != '.') names.emplace_back(entry->d_name);
        }
        ::closedir(dir);
    }
    return names;
}

} // namespace

std::string hex(int value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", static_cast<unsigned>(value));
    return text;
}

// ---- Watchdog ------------------------------------------------------------------

Watchdog::Watchdog(const Run& run) : run_(run), thread_([this] { watch(); }) {}

Watchdog::~Watchdog() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

void Watchdog::enter(std::size_t slot, const char* call, int handle, Millis limit, int worker,
                     long operation) {
    Slot& s = slots_.at(slot);
    s.handle.store(handle, std::memory_order_relaxed);
    s.worker.store(worker, std::memory_order_relaxed);
    s.operation.store(operation, std::memory_order_relaxed);
    s.limitNs.store(std::chrono::duration_cast<std::chrono::nanoseconds>(limit).count(),
                    std::memory_order_relaxed);
    s.startNs.store(nowNs(), std::memory_order_relaxed);
    s.call.store(call, std::memory_order_release);
}

void Watchdog::leave(std::size_t slot) {
    slots_.at(slot).call.store(nullptr, std::memory_order_release);
}

void Watchdog::watch() {
    std::unique_lock lock(mutex_);
    while (!wake_.wait_for(lock, Millis(100), [this] { return stop_; })) {
        const long long now = nowNs();
        for (const Slot& s : slots_) {
            const char* call = s.call.load(std::memory_order_acquire);
            if (call == nullptr) continue;
            const long long took = now - s.startNs.load(std::memory_order_relaxed);
            const long long limit = s.limitNs.load(std::memory_order_relaxed);
            if (took <= limit) continue;
            // The same call may have ended and another begun meanwhile.
            if (s.call.load(std::memory_order_acquire) != call) continue;
            std::printf(
                "stress: BROKEN PROMISE: %s(%s) has not returned after %lld ms; its limit (its time-out, "
                "a call of every other thread before it, and the margin) is %lld ms (seed %llu, thread %d, "
                "operation %ld); aborting\n",
                call, hex(s.handle.load()).c_str(), took / 1000000, limit / 1000000,
                static_cast<unsigned long long>(run_.options().seed), s.worker.load(), s.operation.load());
            std::fflush(stdout);
            std::abort();
        }
    }
}

// ---- Run -----------------------------------------------------------------------

Run::Run(const Options& options, CodeBook codes)
    : options_(options), codes_(std::move(codes)),
      deadline_(Clock::now() +
                std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(options.seconds))),
      watchdog_(std::make_unique<Watchdog>(*this)) {}

Run::~Run() = default;

Worker* Run::current() {
    return tWorker;
}

void Run::broken(const std::string& message) {
    broken_.fetch_add(1);
    std::printf("stress: BROKEN PROMISE: %s (%s)\n", message.c_str(), context(*this).c_str());
    std::fflush(stdout);
}

bool Run::ending() const {
    return broken_.load() != 0 || Clock::now() >= deadline_;
}

void Run::parallel(const std::function<void(Worker&)>& body) {
    std::vector<std::thread> threads;
    for (int i = 0; i < options_.threads; ++i) {
        threads.emplace_back([this, &body, i] {
            Worker worker(*this, i);
            body(worker);
        });
    }
    for (std::thread& t : threads)
        t.join();
}

bool Run::expectDocumented(const char* call, int handle, int result) {
    if (result >= 0) return true;
    {
        std::lock_guard lock(codesMutex_);
        ++failures_[result];
        if (documented_.count(result) != 0) return true;
        if (refused_.count(result) != 0) return false;
    }
    char text[512] = {};
    const bool known = codes_.inRange(result) && codes_.text != nullptr && codes_.text(result, text) == 0;
    {
        std::lock_guard lock(codesMutex_);
        (known ? documented_ : refused_).insert(result);
    }
    if (!known) {
        broken(std::string(call) + "(" + hex(handle) + ") returned " + std::to_string(result) +
               ", not a code " + std::string(codes_.library) + " documents" +
               (text[0] != '\0' ? " (its text: \"" + std::string(text) + "\")" : ""));
    }
    return known;
}

std::map<int, long> Run::failures() const {
    std::lock_guard lock(codesMutex_);
    return failures_;
}

void Run::CallStats::add(const CallStats& other) {
    calls += other.calls;
    failures += other.failures;
    totalNs += other.totalNs;
    longestNs = std::max(longestNs, other.longestNs);
}

void Run::addStats(const std::map<const char*, CallStats>& stats) {
    std::lock_guard lock(statsMutex_);
    for (const auto& [name, s] : stats)
        stats_[name].add(s);
}

std::map<std::string, Run::CallStats> Run::stats() const {
    std::lock_guard lock(statsMutex_);
    return stats_;
}

// ---- Worker --------------------------------------------------------------------

Worker::Worker(Run& run, int index) : run_(run), index_(index), slot_(run.reserveSlot()) {
    // Each thread's sequence depends on the seed and its index alone.
    std::seed_seq seq{static_cast<std::uint32_t>(run.options().seed),
                      static_cast<std::uint32_t>(run.options().seed >> 32),
                      static_cast<std::uint32_t>(index)};
    random_.seed(seq);
    tWorker = this;
}

Worker::~Worker() {
    run_.addStats(stats_);
    tWorker = nullptr;
}

bool Worker::next() {
    if (run_.ending()) return false;
    if (run_.options().operations > 0 && operation_ >= run_.options().operations) return false;
    ++operation_;
    run_.countOperation();
    return true;
}

// ---- HandleBook ----------------------------------------------------------------

void HandleBook::handedOut(const char* call, int handle, const std::string& resource, Stamp before,
                           bool fresh) {
    std::string problem;
    {
        std::lock_guard lock(mutex_);
        auto [it, added] = entries_.try_emplace(handle, Entry{&resource});
        Entry& entry = it->second;
        if (!added && reopenKeepsHandle_ && *entry.resource == resource && entry.closed != 0 && !fresh) {
            entry.closed = 0; // opened again under its old handle
        } else if (!added) {
            if (*entry.resource != resource) {
                problem = "which is the handle of " + *entry.resource;
            } else if (entry.closed != 0 && entry.closed < before) {
                problem = "whose close had returned before the call began";
            } else if (entry.announced != 0 && entry.announced < before) {
                problem =
                    "whose end the library had announced (its disconnection handler ran) before the call "
                    "began";
            } else if (fresh && entry.opened && entry.closed == 0) {
                problem = "which an earlier open handed out and no close has ended";
            }
        }
        entry.opened = entry.opened || fresh;
    }
    if (!problem.empty())
        run_.broken(std::string(call) + "(" + resource + ") handed out " + hex(handle) + ", " + problem);
}

void HandleBook::listed(const char* call, int handle, Stamp before) {
    std::string problem;
    {
        std::lock_guard lock(mutex_);
        const auto it = entries_.find(handle);
        // A handle not booked yet may come from an open whose caller has not booked it.
        if (it != entries_.end() && !reopenKeepsHandle_ && it->second.closed != 0 &&
            it->second.closed < before)
            problem = "whose close had returned before the call began (" + *it->second.resource + ")";
    }
    if (!problem.empty()) run_.broken(std::string(call) + " listed " + hex(handle) + ", " + problem);
}

void HandleBook::closed(int handle) {
    std::lock_guard lock(mutex_);
    const auto it = entries_.find(handle);
    if (it != entries_.end() && it->second.closed == 0) it->second.closed = clock_.fetch_add(1) + 1;
}

void HandleBook::endAnnounced(int handle) {
    std::lock_guard lock(mutex_);
    const auto it = entries_.find(handle);
    if (it != entries_.end() && it->second.announced == 0) it->second.announced = clock_.fetch_add(1) + 1;
}

// ---- Holdings ------------------------------------------------------------------

Holdings Holdings::now() {
    Holdings h;
    const std::string fdDir = "/proc/self/fd/";
    for (const std::string& fd : entries("/proc/self/fd")) {
        char target[512];
        const ssize_t n = ::readlink((fdDir + fd).c_str(), target, sizeof target - 1);
        if (n <= 0) continue; // the directory this listing used, closed by now
        h.descriptors.insert(std::string(target, static_cast<std::size_t>(n)));
    }
    for (const std::string& task : entries("/proc/self/task")) {
        std::ifstream comm("/proc/self/task/" + task + "/comm");
        std::string name;
        std::getline(comm, name);
        h.threads.insert(name.empty() ? "?" : name);
    }
    return h;
}

namespace {

std::vector<std::string> leftOver(const std::multiset<std::string>& before,
                                  const std::multiset<std::string>& after) {
    std::vector<std::string> extra;
    std::set_difference(after.begin(), after.end(), before.begin(), before.end(), std::back_inserter(extra));
    return extra;
}

std::string joined(const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& name : names)
        text += (text.empty() ? "" : ", ") + name;
    return text;
}

} // namespace

void expectReturned(Run& run, const Holdings& before, Millis limit) {
    const auto deadline = Clock::now() + limit;
    Holdings after = Holdings::now();
    while (after.descriptors.size() > before.descriptors.size() ||
           after.threads.size() > before.threads.size()) {
        if (Clock::now() >= deadline) break;
        std::this_thread::sleep_for(Millis(10));
        after = Holdings::now();
    }
    if (after.descriptors.size() > before.descriptors.size())
        run.broken("descriptors did not come back: " + std::to_string(before.descriptors.size()) +
                   " at the start, " + std::to_string(after.descriptors.size()) +
                   " after everything was closed (" +
                   joined(leftOver(before.descriptors, after.descriptors)) + ")");
    if (after.threads.size() > before.threads.size())
        run.broken("threads did not come back: " + std::to_string(before.threads.size()) + " at the start, " +
                   std::to_string(after.threads.size()) + " after everything was closed (" +
                   joined(leftOver(before.threads, after.threads)) + ")");
}

} // namespace vkstress

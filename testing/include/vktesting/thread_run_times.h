// Where a process's time went, thread by thread: the nanoseconds each of its
// threads has run on a core and waited for one, as the scheduler counts them
// (/proc/.../schedstat), and the calling thread's context switches. Benchmarks
// take two readings around a series of calls and split its wall time into the
// caller's own work, the work of the other threads (simulators) and the time in
// which none of them ran.
#ifndef VKTESTING_THREAD_RUN_TIMES_H
#define VKTESTING_THREAD_RUN_TIMES_H

#include <dirent.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <string>

namespace vktesting {

struct ThreadRunTimes {
    long long callerRunNs = 0;       // the calling thread on a core
    long long callerQueuedNs = 0;    // the calling thread ready but waiting for a core
    long long othersRunNs = 0;       // every other thread of the process on a core
    long long callerVoluntary = 0;   // the calling thread gave up its core (it waited)
    long long callerInvoluntary = 0; // the calling thread was made to give it up
};

namespace detail {

// Reads "run queued slices" from a schedstat file; false when it cannot.
inline bool readSchedstat(const std::string& path, long long& runNs, long long& queuedNs) {
    std::FILE* file = std::fopen(path.c_str(), "re");
    if (file == nullptr) return false;
    const bool read = std::fscanf(file, "%lld %lld", &runNs, &queuedNs) == 2;
    std::fclose(file);
    return read;
}

} // namespace detail

// A reading for this process now. The other threads' time includes that of
// threads which have ended only up to their end.
inline ThreadRunTimes threadRunTimes() {
    ThreadRunTimes times;
    detail::readSchedstat("/proc/thread-self/schedstat", times.callerRunNs, times.callerQueuedNs);
    const std::string caller = std::to_string(::gettid());
    if (DIR* tasks = ::opendir("/proc/self/task")) {
        while (const dirent* task = ::readdir(tasks)) {
            if (task->d_name[0] == '.' || caller == task->d_name) continue;
            long long runNs = 0;
            long long queuedNs = 0;
            if (detail::readSchedstat(std::string("/proc/self/task/") + task->d_name + "/schedstat", runNs,
                                      queuedNs))
                times.othersRunNs += runNs;
        }
        ::closedir(tasks);
    }
    rusage usage{};
    if (::getrusage(RUSAGE_THREAD, &usage) == 0) {
        times.callerVoluntary = usage.ru_nvcsw;
        times.callerInvoluntary = usage.ru_nivcsw;
    }
    return times;
}

} // namespace vktesting

#endif

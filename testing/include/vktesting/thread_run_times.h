// Where a process's time went: the nanoseconds the calling thread and all the
// other threads of the process have run on a core, as the scheduler counts
// them, the time the calling thread was ready but waited for a core, and its
// context switches. Benchmarks take readings around a series of calls and split
// its wall time into the caller's own work, the other threads' (simulators')
// and the time in which none of them ran. A reading costs a few system calls.
#ifndef VKTESTING_THREAD_RUN_TIMES_H
#define VKTESTING_THREAD_RUN_TIMES_H

#include <sys/resource.h>

#include <cstdio>
#include <ctime>

namespace vktesting {

struct ThreadRunTimes {
    long long callerRunNs = 0;    // the calling thread on a core
    long long othersRunNs = 0;    // every other thread of the process on a core, ended ones included
    long long callerQueuedNs = 0; // the calling thread ready but waiting for a core
    long long callerSwitches = 0; // the calling thread's context switches, voluntary or not

    // What was spent since `earlier`, a reading on the same thread.
    ThreadRunTimes since(const ThreadRunTimes& earlier) const {
        return {callerRunNs - earlier.callerRunNs, othersRunNs - earlier.othersRunNs,
                callerQueuedNs - earlier.callerQueuedNs, callerSwitches - earlier.callerSwitches};
    }
    ThreadRunTimes& operator+=(const ThreadRunTimes& more) {
        callerRunNs += more.callerRunNs;
        othersRunNs += more.othersRunNs;
        callerQueuedNs += more.callerQueuedNs;
        callerSwitches += more.callerSwitches;
        return *this;
    }
};

namespace detail {

inline long long nanoseconds(clockid_t clock) {
    timespec now{};
    ::clock_gettime(clock, &now);
    return static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

// The second field of the calling thread's schedstat: its time waiting on a run queue.
inline long long callerQueuedNs() {
    long long runNs = 0;
    long long queuedNs = 0;
    if (std::FILE* file = std::fopen("/proc/thread-self/schedstat", "re")) {
        if (std::fscanf(file, "%lld %lld", &runNs, &queuedNs) != 2) queuedNs = 0;
        std::fclose(file);
    }
    return queuedNs;
}

} // namespace detail

// A reading for this process now, taken on the calling thread.
inline ThreadRunTimes threadRunTimes() {
    ThreadRunTimes times;
    times.callerRunNs = detail::nanoseconds(CLOCK_THREAD_CPUTIME_ID);
    times.othersRunNs = detail::nanoseconds(CLOCK_PROCESS_CPUTIME_ID) - times.callerRunNs;
    times.callerQueuedNs = detail::callerQueuedNs();
    rusage usage{};
    if (::getrusage(RUSAGE_THREAD, &usage) == 0) times.callerSwitches = usage.ru_nvcsw + usage.ru_nivcsw;
    return times;
}

} // namespace vktesting

#endif

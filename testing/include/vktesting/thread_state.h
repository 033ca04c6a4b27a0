// Whether another thread of this process has gone to sleep in the kernel, read
// from /proc: a test that must act while a call on that thread is blocked (in a
// write that cannot proceed, a wait for input) waits for this first.
#ifndef VKTESTING_THREAD_STATE_H
#define VKTESTING_THREAD_STATE_H

#include <sys/syscall.h>
#include <sys/types.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

namespace vktesting {

// The calling thread's id, as /proc names it.
inline pid_t currentThreadId() {
    return static_cast<pid_t>(::syscall(SYS_gettid));
}

// True while thread `tid` of this process sleeps (state S or D): it waits in a
// system call. A thread that runs, or is ready to, gives false.
inline bool threadSleeps(pid_t tid) {
    char path[64];
    std::snprintf(path, sizeof path, "/proc/self/task/%d/stat", static_cast<int>(tid));
    std::FILE* file = std::fopen(path, "re");
    if (file == nullptr) return false;
    char line[512] = {};
    const bool read = std::fgets(line, sizeof line, file) != nullptr;
    std::fclose(file);
    if (!read) return false;
    // "tid (name) state ...": the name may hold blanks and parentheses.
    const char* close = std::strrchr(line, ')');
    if (close == nullptr || close[1] != ' ') return false;
    return close[2] == 'S' || close[2] == 'D';
}

} // namespace vktesting

#endif

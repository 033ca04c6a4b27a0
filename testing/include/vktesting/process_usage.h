// What this process holds right now: resident memory and open descriptors,
// read from /proc for soak runs and benchmarks.
#ifndef VKTESTING_PROCESS_USAGE_H
#define VKTESTING_PROCESS_USAGE_H

#include <dirent.h>
#include <unistd.h>

#include <fstream>

namespace vktesting {

// Resident memory in kB.
inline long residentKb() {
    std::ifstream statm("/proc/self/statm");
    long size = 0;
    long resident = 0;
    statm >> size >> resident;
    return resident * (::sysconf(_SC_PAGESIZE) / 1024);
}

// Open descriptors, not counting the one this count uses.
inline int openDescriptors() {
    int count = 0;
    if (DIR* dir = ::opendir("/proc/self/fd")) {
        while (const dirent* entry = ::readdir(dir)) {
            if (entry->d_name[0] != '.') ++count;
        }
        ::closedir(dir);
        --count;
    }
    return count;
}

} // namespace vktesting

#endif

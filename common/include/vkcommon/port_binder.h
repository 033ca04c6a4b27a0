// Run-time binding of the port libraries: each port function is opened by file
// name and looked up by name under its PortFunctionId on first use, then cached.
#ifndef VKCOMMON_PORT_BINDER_H
#define VKCOMMON_PORT_BINDER_H

#include <vkcommon/port_function_id.h>

#include <array>
#include <atomic>
#include <mutex>
#include <span>
#include <string>

namespace vk {

class PortBinder {
  public:
    // `onLibraryOpened` runs (under the binder lock) after a library was opened
    // for the first time; null for none. `bound` names the ids this binder binds
    // (every other id gives null without opening anything); empty: every row.
    explicit PortBinder(void (*onLibraryOpened)() = nullptr, std::span<const int> bound = {})
        : onLibraryOpened_(onLibraryOpened), bound_(bound) {}
    ~PortBinder() { closeAll(); }
    PortBinder(const PortBinder&) = delete;
    PortBinder& operator=(const PortBinder&) = delete;

    // The address of the function with this id, or null: an id outside 1000 to
    // 1299 opens nothing; an id without a row gives null; a library that cannot
    // be opened, or a name it lacks, gives null and is tried again next time.
    void* function(int id);

    // The library's handle, opening it if needed; null when it cannot be opened.
    void* library(vk::PortLibrary which);

    // Closes every library opened; cached addresses are forgotten.
    void closeAll();

    // The loader's reason (dlerror) why the library could not be opened at the
    // last attempt; empty when it is open or was never tried.
    std::string openFailure(vk::PortLibrary which);

  private:
    static constexpr std::size_t kMaxRows = 19;
    static constexpr std::size_t kFailureSize = 256;
    struct Library {
        std::atomic<void*> handle{nullptr};
        std::array<std::atomic<void*>, kMaxRows> slots{};
        char failure[kFailureSize] = {}; // guarded by mutex_
    };

    Library& entry(vk::PortLibrary which);
    void* openLocked(vk::PortLibrary which);

    bool binds(int id) const;

    void (*onLibraryOpened_)();
    std::span<const int> bound_;
    // Guards opening, lookup and closing (dlopen/dlsym/dlclose and the stores into
    // the slots) and the failure texts. A leaf: nothing else is locked while it is held, except what
    // onLibraryOpened_ takes. Readers of a filled slot take no lock.
    std::mutex mutex_;
    Library serial_;
    Library usb_;
    Library tcp_;
};

} // namespace vk

#endif

// The process-wide registry of transponders: handles, the library-wide last
// error, the port libraries bound at run time, and worker threads handed over
// by transponders destroyed on their own worker.
#ifndef VKTCL_MANAGER_H
#define VKTCL_MANAGER_H

#include <vkcommon/port_binder.h>

#include <atomic>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace vktcl {

class VKTransponder;

// Starts `body` on a new thread into `thread`; false when no thread could start.
using ThreadStarter = std::function<bool(std::thread& thread, std::function<void()> body)>;
bool startThread(std::thread& thread, std::function<void()> body);

class VKManager {
  public:
    // `counterStart`: the handle counter's first value (the first transponder
    // gets the next one). `onFirstUse` runs once at the first creation and after
    // each first opening of a port library.
    explicit VKManager(int counterStart = 0, void (*onFirstUse)() = nullptr,
                       ThreadStarter starter = startThread);
    // Deletes every transponder left, joins the workers handed over, closes the
    // port libraries.
    ~VKManager();
    VKManager(const VKManager&) = delete;
    VKManager& operator=(const VKManager&) = delete;

    // Creation holds the registry mutex throughout (the reader is asked there).
    int createNewVKTransponder(int readerHandle, unsigned char busAddress, unsigned char cid,
                               unsigned char nad, bool useCid, bool useNad);
    // Unlinks under the registry mutex and destroys after it: 0, or -4223.
    int deleteVKTransponder(int handle);
    int getVKTransponderList(int handle);
    int enumVKTransponder();
    // The transponder, held for the caller's call, or null.
    std::shared_ptr<VKTransponder> searchVKTransponder(int handle);
    // Destroys every transponder (exit and unload).
    void deleteAll();

    [[nodiscard]] std::unique_lock<std::mutex> Lock() { return std::unique_lock<std::mutex>(mutex_); }
    void setLastError(int code) { lastError_.store(code, std::memory_order_relaxed); }
    int getLastError() const { return lastError_.load(std::memory_order_relaxed); }
    int getLanguage() const { return 9; }

    // The port function bound under `id`, or null.
    void* portFunction(int id) { return binder_.function(id); }
    const ThreadStarter& threadStarter() const { return starter_; }
    // Takes a worker thread that cannot be joined where it is (its own
    // transponder was destroyed on it); joined once `done` is set, or at the end.
    // Without memory to keep it, it is detached. Throws nothing.
    void adoptWorker(std::thread thread, std::shared_ptr<std::atomic<bool>> done);
    // Joins the handed-over workers that have finished (all of them: every one).
    // Throws nothing.
    void reapWorkers(bool all);

  private:
    bool inUse(int handle) const;

    void (*onFirstUse_)();
    ThreadStarter starter_;
    std::atomic<int> lastError_{0};
    std::mutex mutex_; // guards list_ and counter_
    std::vector<std::shared_ptr<VKTransponder>> list_;
    int counter_;
    bool used_ = false;

    struct Adopted {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> done;
    };
    std::mutex workersMutex_; // guards workers_; a leaf
    std::list<Adopted> workers_;
    vk::PortBinder binder_;
};

extern VKManager g_LibVkTclManager;

} // namespace vktcl

#endif

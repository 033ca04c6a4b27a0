// The library's registry of readers and binder of the port libraries.
#ifndef VKKRN_DRV_HND_H
#define VKKRN_DRV_HND_H

#include "reader/library_services.h"

#include <vkcommon/port_binder.h>

#include <vkcommon/language_id.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <unordered_set>
#include <vector>

class VKKRNReader;
class VKKRN_PlugIn;

namespace vkkrn {

// The reader handle that follows `counter`: counting up, 1 after 0x0FFFFFFF,
// skipping every value `inUse` names.
template <typename InUse> int nextReaderHandle(int counter, InUse&& inUse) {
    do {
        counter = (counter >= 0x0FFFFFFF || counter < 0) ? 1 : counter + 1;
    } while (inUse(counter));
    return counter;
}

// Called once a cipher library has been opened and keyed: it registers its own
// exit-time clean-up then, after this library's, so the readers' teardown is
// registered again to run before it (once per process).
void cipherLibraryOpened();

} // namespace vkkrn

// Library-wide scratch buffer of the frame exports, guarded by the buffer lock.
extern unsigned char g_ucVkKrnTmp[0x20002];

class VKKRNDrvHnd : public vkkrn::LibraryServices {
  public:
    // `counterStart`: the handle counter's first value (the first reader gets the
    // next one).
    explicit VKKRNDrvHnd(int counterStart = 0, void (*onPortLibraryOpened)() = nullptr);
    // Destroys the readers left, then closes the port libraries. Takes no lock
    // that a reader's destruction needs.
    ~VKKRNDrvHnd() override;
    VKKRNDrvHnd(const VKKRNDrvHnd&) = delete;
    VKKRNDrvHnd& operator=(const VKKRNDrvHnd&) = delete;

    // The registry lock, held only to look a reader up, add or remove one.
    [[nodiscard]] std::unique_lock<std::mutex> Lock() { return std::unique_lock<std::mutex>(registryMutex_); }
    // The buffer lock around g_ucVkKrnTmp.
    [[nodiscard]] std::unique_lock<std::mutex> LockBuffer() {
        return std::unique_lock<std::mutex>(bufferMutex_);
    }

    // A new reader for `portHnd`: its handle, -4024 for a negative port handle,
    // -4000 when no reader could be made. The counter advances on every call; the
    // handle skips values still in use after the wrap. Sets the last error.
    int CreateNewReader(int portHnd);
    // Unlinks the reader; it is destroyed when the last call using it returns
    // (here, when none does). 0, or -4023. Sets the last error.
    int DeleteReader(int readerHnd);
    // Destroys every reader left (library unload and process exit).
    void DeleteAllReaders();
    // The number of readers.
    int EnumReader();
    // The reader with this handle, held for the caller's call, or null.
    std::shared_ptr<VKKRNReader> SearchReader(int readerHnd);
    // Enumeration: 0 -> first handle (-4001 when empty), a handle -> the next one
    // (0 after the last, -4020 when not listed), negative -> -4022. Sets the last
    // error.
    int GetReaderList(int readerHnd);

    // One pass over the readers under the registry lock: sets or clears every
    // stop flag (0), or tells whether any reader is writing a log line or
    // delivering an event.
    int SetAllStopFlags(bool stop);
    bool AnyActiveFlag();

    // The port function bound under `id`, or null.
    void* GetFunctionPtr(unsigned int id) { return binder_.function(static_cast<int>(id)); }
    void* BoundPortFunction(int id) override { return binder_.function(id); }
    // dlsym in an open library.
    void* GetFunctionPtr(void* library, const char* name);
    void* LoadViZerLib() { return binder_.library(vk::PortLibrary::Serial); }
    void* LoadVkUsbLib() { return binder_.library(vk::PortLibrary::Usb); }
    void* LoadVkTcpLib() { return binder_.library(vk::PortLibrary::Tcp); }

    // Marks a plug-in installed on some reader; false when it already is, so that
    // one object never serves (and is released by) two readers.
    bool ClaimPlugIn(const VKKRN_PlugIn* plugIn) override;
    void ReleasePlugInClaim(const VKKRN_PlugIn* plugIn) override;
    void CipherLibraryOpened() override { vkkrn::cipherLibraryOpened(); }

    void SetLastError(int code) override { lastError_.store(code, std::memory_order_relaxed); }
    int GetLastError() const { return lastError_.load(std::memory_order_relaxed); }
    void SetLanguage(int language) { language_.store(language, std::memory_order_relaxed); }
    int GetLanguage() const override { return language_.load(std::memory_order_relaxed); }

  private:
    // The next handle after counter_, skipping handles in use. Registry lock held.
    int nextHandleLocked();

    // Lock order of the library: registry, a reader's command lock, the buffer
    // lock, a reader's event-list lock, the port libraries' locks. The binder's
    // lock, a reader's cipher slot and the installed plug-in set are leaves.
    std::vector<std::shared_ptr<VKKRNReader>> readers_; // creation order; guarded by registryMutex_
    int counter_;                                       // last handle given; guarded by registryMutex_
    std::atomic<int> lastError_{0};
    std::atomic<int> language_{vk::kLanguageEnglish};
    std::mutex registryMutex_; // guards readers_ and counter_
    std::mutex bufferMutex_;   // guards g_ucVkKrnTmp
    // Guards installedPlugIns_. A leaf, taken under a reader's command lock.
    std::mutex installedMutex_;
    std::unordered_set<const VKKRN_PlugIn*> installedPlugIns_;
    vk::PortBinder binder_;
};

extern VKKRNDrvHnd g_LibVkKrnDrvHnd;

#endif

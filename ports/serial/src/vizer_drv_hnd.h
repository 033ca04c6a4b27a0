// The registry of open ports: handle numbering, the port list, the library's
// last error, language and port prefix, and the library-wide operations.
#ifndef VKCOM_VIZER_DRV_HND_H
#define VKCOM_VIZER_DRV_HND_H

#include "handle_counter.h"
#include "vk_port.h"

#include <vkcommon/handle_table.h>

#include <atomic>
#include <memory>
#include <mutex>

namespace vkcom {

class VIZERDrvHnd {
  public:
    static constexpr std::size_t kPrefixCapacity = 255;
    static constexpr std::size_t kMaxDevicePath = 15;

    VIZERDrvHnd();
    // Restores and closes every port still open.
    virtual ~VIZERDrvHnd();
    VIZERDrvHnd(const VIZERDrvHnd&) = delete;
    VIZERDrvHnd& operator=(const VIZERDrvHnd&) = delete;

    int lastError() const { return lastError_.load(std::memory_order_relaxed); }
    void setLastError(int code) { lastError_.store(code, std::memory_order_relaxed); }
    // Stores `code` as the library's last error and returns it.
    int fail(int code) {
        setLastError(code);
        return code;
    }

    // Result of looking a handle up: the port, shared with the caller so that it
    // outlives a close while the caller is inside it, or why there is none.
    struct Lookup {
        std::shared_ptr<VKPort> port;
        bool listEmpty;
    };
    Lookup find(int handle) const;

    int OpenPort(const char* portNumberText);
    int ClosePort(int handle); // handle checks done by the caller
    int GetPortList(int handle);
    int GetPortHnd(const char* portNumberText);
    int DetectPort(int portNumber);
    int GetErrorText(int code, char* text);
    int GetLastError(int handle, int* code, char* text);

    // The library-wide keys; `upperKey` is already upper-cased. Returns false
    // when the key is not one of them.
    bool libraryGet(const char* upperKey, char* value, int& result);
    bool librarySet(const char* upperKey, const char* value, int& result);

  private:
    // Builds prefix + (portNumber - 1); false when it would exceed kMaxDevicePath.
    bool devicePath(int portNumber, char (&path)[kMaxDevicePath + 1]) const;
    bool hasPortNumber(int portNumber) const; // with registryMutex_ held

    // Guards prefix_, ports_ and counter_, held only to look up, add, remove or
    // copy; never held together with a port's locks.
    mutable std::mutex registryMutex_;
    char prefix_[kPrefixCapacity + 1];
    std::atomic<int> lastError_{0};
    vk::HandleTable<std::shared_ptr<VKPort>> ports_; // in the order of opening
    HandleCounter counter_;
    std::atomic<int> language_;
};

} // namespace vkcom

#endif

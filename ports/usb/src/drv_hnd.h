// VKDrvHnd: the library's registry of readers. It keeps the scan list (the
// readers the last scan found) and the open-device list (the readers opened
// under a handle), owns every VKDevice, and answers the flat interface.
//
// Ownership: an object is in the scan list, the open-device list or both; its
// owner flag names the list that deletes it. Opening moves ownership to the
// open-device list; closing hands it back to the scan list when that still holds
// the object, and deletes it otherwise.
//
// Lock order: event-handler mutex, scan mutex, list mutex, device mutex.
// Handlers run holding the event-handler mutex and no registry mutex, and may
// call the library; nothing takes the event-handler mutex under another. The watch
// mutex guards only the watch thread's wake-ups and the queue of libusb hot-plug
// events; nothing else is taken while it is held.
#ifndef VKUSB_DRV_HND_H
#define VKUSB_DRV_HND_H

#include "config_file.h"
#include "device.h"
#include "device_handle_counter.h"

#include <vkcommon/handle_table.h>
#include <vkusb/vkusb.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

namespace vkusb {

class VKDrvHnd {
  public:
    // Loading: reads the configuration, starts libusb, sets the trace up.
    VKDrvHnd();
    // Unloading: empties the handler list and both device lists, ends libusb.
    virtual ~VKDrvHnd();
    VKDrvHnd(const VKDrvHnd&) = delete;
    VKDrvHnd& operator=(const VKDrvHnd&) = delete;

    int LastError() const { return lastError_.load(); }
    void SetLastError(int code) { lastError_.store(code); }

    int Scan(int option, const _VKUSB_SCANSEARCH* filter, bool open);
    int GetScanListPara(int index, const char* key, char* value);
    int GetScanListSize();
    int ClearScanList();
    int OpenDevice(std::uint32_t deviceId);
    int CloseDevice(int handle);
    int IsDevicePresent(int handle);
    int GetDeviceList(int handle);
    int GetDevicePara(int handle, const char* key, char* value);
    int SetDevicePara(int handle, const char* key, const char* value);
    int GetDeviceHnd(std::uint32_t deviceId);
    // The last error of the open device `handle` (-1123 when there is none).
    int GetDeviceLastError(int handle);
    int Transceive(int handle, const char* interfaceName, const std::uint8_t* tx, int txLength,
                   std::uint8_t* rx, int rxLength);
    int Transmit(int handle, const char* interfaceName, const std::uint8_t* tx, int length);
    int Receive(int handle, const char* interfaceName, std::uint8_t* rx, int length);

    // A libusb hot-plug event, queued for the watch thread (mode 2).
    void QueueHotplugEvent(libusb_device* device, libusb_hotplug_event event);

  private:
    struct HotplugEvent {
        libusb_hotplug_event event;
        libusb_device* device; // referenced for arrivals, null for departures
    };

    // The watch thread: waits an interval, then runs a pass unless suspended;
    // handles queued libusb events as they come.
    void WatchThread();
    // Wakes the watch thread to start its wait anew (or to leave when stopping).
    void WakeWatcher();
    // One watcher pass over the bus, reporting readers that came and went.
    void UpdateDevices();
    void HandleHotplugEvent(const HotplugEvent& event);
    void RegisterHotplug();
    void DeregisterHotplug();
    void ReleaseHotplugQueue();

    // Library keys (handle -1).
    int GetLibraryPara(const char* key, char* value);
    int SetLibraryPara(const char* key, const char* value);

    // Rebuilds the scan list; the scan mutex is held. Returns its size.
    int Enumerate(const _VKUSB_SCANSEARCH* filter);
    int OpenByIndex(int index);
    int OpenAll();
    // Opens a scan-list entry and moves it to the open-device list; list mutex held.
    int OpenScanEntry(VKDevice* device);
    // Lists an opened device in the open-device list under a handle that no other
    // open device has (a clash needs a wrap of the count); list mutex held.
    void ListOpen(VKDevice* device);
    // Offers a newly listed object to the open-device list: an open reader with
    // the same id is replaced by it. `building` is the list being added.
    bool DL_ReplaceDevice(VKDevice* device, std::vector<VKDevice*>& building);

    // With the list mutex held:
    VKDevice* FindOpen(int handle) const;
    VKDevice* FindOpenById(std::uint32_t deviceId) const;
    VKDevice* FindOpenByUsbDevice(const libusb_device* device) const;
    void EmptyScanList();
    void EmptyOpenList();
    void TraceList(const char* tag, const std::vector<VKDevice*>& list) const;
    void TraceList(const char* tag, const vk::HandleTable<VKDevice*>& list) const;

    void Load();
    void TraceLoad(const libusb_version* version) const;

    std::atomic<int> lastError_{0};
    DeviceHandleCounter handleCounter_;
    int scanIndex_ = -1; // guarded by the scan mutex
    std::vector<VKDevice*> scanList_;
    vk::HandleTable<VKDevice*> openList_; // in the order of opening
    std::mutex listMutex_;                // both lists; second in the lock order
    std::mutex scanMutex_;                // whole scans and watcher passes; first in the lock order
    std::atomic<bool> suspend_{true};
    std::atomic<std::int64_t> intervalUs_{kDefaultIntervalUs};
    std::vector<std::uint32_t> presentIds_; // guarded by the scan mutex
    std::vector<std::uint32_t> goneIds_;    // guarded by the scan mutex
    int libusbDebugLevel_ = 0;
    bool hasHotplug_ = false;
    int traceLevel_ = 0;
    int hotplugMode_ = kDefaultHotplugMode;
    bool libusbReady_ = false; // libusb_init succeeded

    std::mutex watchMutex_;
    std::condition_variable watchWake_;
    bool stop_ = false;              // guarded by the watch mutex
    bool restartWait_ = false;       // guarded by the watch mutex
    std::deque<HotplugEvent> queue_; // guarded by the watch mutex
    std::thread watcher_;
    // libusb hot-plug registrations; only those that succeeded are deregistered.
    bool arrivalRegistered_ = false;
    bool departureRegistered_ = false;
    libusb_hotplug_callback_handle arrivalHandle_ = 0;
    libusb_hotplug_callback_handle departureHandle_ = 0;
};

// libusb's device list; a failure is traced and gives an empty list (null).
ssize_t getDeviceList(int traceLevel, const char* tag, libusb_device**& devices);

// A device of the maker with one of the readers' product ids (1 to 4).
bool isUsableReader(const libusb_device_descriptor& descriptor);

// The registry, constructed when the library loads.
extern VKDrvHnd g_VkUsbMan;

} // namespace vkusb

#endif

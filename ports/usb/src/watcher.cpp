// The watch thread: polling passes over the bus (mode 1) and the libusb
// hot-plug events it handles for mode 2, and the reports to the handlers.
#include "drv_hnd.h"

#include "error_text.h"
#include "event_handlers.h"
#include "trace.h"

#include <algorithm>
#include <chrono>
#include <cinttypes>
#include <utility>

namespace vkusb {

namespace {

using Lock = std::lock_guard<std::mutex>;
using Clock = std::chrono::steady_clock;

// `intervalUs` from now, saturated at the clock's end.
Clock::time_point deadlineAfter(std::int64_t intervalUs) {
    const Clock::time_point now = Clock::now();
    const auto room = std::chrono::duration_cast<std::chrono::microseconds>(Clock::time_point::max() - now);
    if (intervalUs >= room.count()) return Clock::time_point::max();
    return now + std::chrono::microseconds(intervalUs);
}

// Adds `id` unless present; true when it was added.
bool addOnce(std::vector<std::uint32_t>& ids, std::uint32_t id) {
    if (std::find(ids.begin(), ids.end(), id) != ids.end()) return false;
    ids.push_back(id);
    return true;
}

int hotplugCallback(libusb_context* /*context*/, libusb_device* device, libusb_hotplug_event event,
                    void* registry) {
    static_cast<VKDrvHnd*>(registry)->QueueHotplugEvent(device, event);
    return 0;
}

} // namespace

void VKDrvHnd::WakeWatcher() {
    Lock lock(watchMutex_);
    restartWait_ = true;
    watchWake_.notify_all();
}

void VKDrvHnd::WatchThread() {
    trace(kTraceWatcher, "thread", "start");
    std::unique_lock lock(watchMutex_);
    while (!stop_) {
        Clock::time_point deadline = deadlineAfter(intervalUs_.load());
        restartWait_ = false;
        // Wait out the interval; queued libusb events are handled meanwhile, a
        // wake-up starts the wait anew.
        while (!stop_) {
            watchWake_.wait_until(lock, deadline,
                                  [this] { return stop_ || restartWait_ || !queue_.empty(); });
            if (stop_) break;
            if (!queue_.empty()) {
                const HotplugEvent event = queue_.front();
                queue_.pop_front();
                lock.unlock();
                HandleHotplugEvent(event);
                lock.lock();
                continue;
            }
            if (restartWait_) {
                restartWait_ = false;
                deadline = deadlineAfter(intervalUs_.load());
                continue;
            }
            if (Clock::now() >= deadline) break;
        }
        if (stop_) break;
        if (suspend_) continue;
        trace(kTraceWatcher, "thread", "next update");
        lock.unlock();
        UpdateDevices();
        lock.lock();
    }
    trace(kTraceWatcher, "thread", "stop");
}

void VKDrvHnd::UpdateDevices() {
    if (!libusbReady_) return; // no context: nothing to look at
    std::vector<std::pair<std::uint32_t, int>> disconnects;
    std::vector<std::uint32_t> connects;
    {
        std::lock_guard scan(scanMutex_);
        {
            Lock list(listMutex_);
            for (VKDevice* device : scanList_) {
                if (device != nullptr) device->SetMarker(0);
            }
        }
        libusb_device** devices = nullptr;
        const ssize_t count = getDeviceList(kTraceWatcher, "update", devices);
        std::vector<std::uint32_t> newIds;
        for (ssize_t i = 0; i < count; ++i) {
            libusb_device* usbDevice = devices[i];
            libusb_device_descriptor descriptor{};
            if (libusb_get_device_descriptor(usbDevice, &descriptor) < 0 || !isUsableReader(descriptor))
                continue;
            {
                Lock list(listMutex_);
                const auto known =
                    std::find_if(scanList_.begin(), scanList_.end(), [usbDevice](const VKDevice* d) {
                        return d != nullptr && d->GetLibUsbDevice() == usbDevice;
                    });
                if (known != scanList_.end()) {
                    (*known)->SetMarker(1);
                    addOnce(presentIds_, (*known)->GetDeviceId());
                    trace(kTraceWatcher, "update", "known device in scan-list: devId=0x%X usbDevPtr=%s",
                          (*known)->GetDeviceId(), (*known)->GetUsbDevPtr().text);
                    continue;
                }
            }
            // A reader without an object: its id is read without the list mutex.
            trace(kTraceWatcher, "update", "read device id");
            const std::uint32_t id = readDeviceId(usbDevice);
            if (id == 0) {
                trace(kTraceWatcher, "update", "new device: reading devId failed");
                continue;
            }
            Lock list(listMutex_);
            const auto listed = std::find_if(scanList_.begin(), scanList_.end(), [id](const VKDevice* d) {
                return d != nullptr && d->GetDeviceId() == id;
            });
            if (listed == scanList_.end()) {
                addOnce(newIds, id);
                trace(kTraceWatcher, "update", "new device: devId=0x%X", id);
                continue;
            }
            // A scanned reader back under a new bus connection.
            auto* device = new VKDevice(handleCounter_.draw(), usbDevice);
            const int identified = device->IdentifyDevice();
            if (identified < 0) {
                delete device;
                trace(kTraceWatcher, "update", "reconnected device: devId=0x%X Identify return-code=%d", id,
                      identified);
                continue;
            }
            VKDevice* old = *listed;
            // The open entry the replacement deletes, if any; the old object dies
            // once, by whichever list owns it.
            VKDevice* replacedOpen = FindOpenById(id);
            *listed = device; // the old entry's position, before the replacement
            std::vector<VKDevice*> none;
            DL_ReplaceDevice(device, none);
            if (old != replacedOpen && old->IsOwnerScanList()) delete old;
            trace(kTraceWatcher, "update", "reconnected device: devId=0x%X", id);
        }
        if (devices != nullptr) libusb_free_device_list(devices, 1);

        std::vector<std::pair<std::uint32_t, int>> unseen;
        {
            Lock list(listMutex_);
            for (const VKDevice* device : scanList_) {
                if (device != nullptr && device->GetMarker() == 0)
                    unseen.emplace_back(device->GetDeviceId(), device->GetDeviceHnd());
            }
        }
        for (const auto& [id, handle] : unseen) {
            if (!addOnce(goneIds_, id)) continue;
            trace(kTraceLibrary, "update", "MESSAGE \"disconnect\": devId=0x%X devHnd=0x%X", id,
                  static_cast<unsigned>(handle));
            disconnects.emplace_back(id, handle);
        }
        for (const std::uint32_t id : newIds) {
            if (!addOnce(presentIds_, id)) continue;
            trace(kTraceLibrary, "update", "MESSAGE \"connect\": devId=0x%X", id);
            connects.push_back(id);
        }
    }
    for (const auto& [id, handle] : disconnects)
        ExecEventInitListCallbacks(VKUSB_EVENT_DISCONNECT, handle, id);
    for (const std::uint32_t id : connects)
        ExecEventInitListCallbacks(VKUSB_EVENT_CONNECT, 0, id);
}

// libusb forbids synchronous calls inside its hot-plug callbacks, and handlers
// may call the library: the callback only queues the event for the watch thread.
void VKDrvHnd::QueueHotplugEvent(libusb_device* device, libusb_hotplug_event event) {
    Lock lock(watchMutex_);
    if (stop_) return;
    const bool arrival = event == LIBUSB_HOTPLUG_EVENT_DEVICE_ARRIVED;
    queue_.push_back({event, arrival && device != nullptr ? libusb_ref_device(device) : nullptr});
    watchWake_.notify_all();
}

void VKDrvHnd::HandleHotplugEvent(const HotplugEvent& event) {
    if (event.event == LIBUSB_HOTPLUG_EVENT_DEVICE_ARRIVED) {
        if (event.device == nullptr) return;
        const std::uint32_t id = readDeviceId(event.device);
        libusb_unref_device(event.device);
        if (id == 0) return;
        trace(kTraceLibrary, "from libusb", "MESSAGE \"connect\": devId=0x%X", id);
        ExecEventInitListCallbacks(VKUSB_EVENT_CONNECT, 0, id);
        return;
    }
    trace(kTraceLibrary, "from libusb", "MESSAGE \"disconnect\": devHnd=0x%X devId=0x%X", 0u, 0u);
    ExecEventInitListCallbacks(VKUSB_EVENT_DISCONNECT, 0, 0);
}

void VKDrvHnd::RegisterHotplug() {
    if (!libusbReady_) return;
    arrivalRegistered_ = libusb_hotplug_register_callback(
                             nullptr, LIBUSB_HOTPLUG_EVENT_DEVICE_ARRIVED, LIBUSB_HOTPLUG_NO_FLAGS,
                             VKUSB_VENDOR_ID, LIBUSB_HOTPLUG_MATCH_ANY, LIBUSB_HOTPLUG_MATCH_ANY,
                             hotplugCallback, this, &arrivalHandle_) == LIBUSB_SUCCESS;
    departureRegistered_ =
        libusb_hotplug_register_callback(nullptr, LIBUSB_HOTPLUG_EVENT_DEVICE_LEFT, LIBUSB_HOTPLUG_NO_FLAGS,
                                         VKUSB_VENDOR_ID, LIBUSB_HOTPLUG_MATCH_ANY, LIBUSB_HOTPLUG_MATCH_ANY,
                                         hotplugCallback, this, &departureHandle_) == LIBUSB_SUCCESS;
    trace(kTraceLibrary, "init", "libUSB callbacks registered");
}

void VKDrvHnd::DeregisterHotplug() {
    if (arrivalRegistered_) libusb_hotplug_deregister_callback(nullptr, arrivalHandle_);
    if (departureRegistered_) libusb_hotplug_deregister_callback(nullptr, departureHandle_);
    arrivalRegistered_ = false;
    departureRegistered_ = false;
}

void VKDrvHnd::ReleaseHotplugQueue() {
    Lock lock(watchMutex_);
    for (const HotplugEvent& event : queue_) {
        if (event.device != nullptr) libusb_unref_device(event.device);
    }
    queue_.clear();
}

} // namespace vkusb

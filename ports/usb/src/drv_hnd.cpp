// The registry's scan, its two lists and the routing of per-device calls.
#include "drv_hnd.h"

#include "error_text.h"
#include "trace.h"

#include <vkcommon/param_text.h>

#include <algorithm>

namespace vkusb {

namespace {

using Lock = std::lock_guard<std::mutex>;

int fieldLength(const char* field, std::size_t size) {
    return static_cast<int>(vk::boundedLength(field, size));
}

void traceFilter(const _VKUSB_SCANSEARCH* filter) {
    if (filter == nullptr) {
        trace(kTraceLibrary, "search-opt", "all");
        return;
    }
    trace(kTraceLibrary, "search-opt", "mask=%d devId=0x%.*s devName=%.*s famName=%.*s", filter->mask,
          fieldLength(filter->deviceId, sizeof filter->deviceId), filter->deviceId,
          fieldLength(filter->deviceName, sizeof filter->deviceName), filter->deviceName,
          fieldLength(filter->familyName, sizeof filter->familyName), filter->familyName);
}

void traceUnwanted(VKDevice& device) {
    trace(kTraceLibrary, "scan", "Don't want: devId=0x%X devName=%s famName=%s", device.GetDeviceId(),
          device.GetDeviceName(), device.GetFamilyName());
}

void traceObject(const char* tag, const VKDevice& device) {
    trace(kTraceLibrary, tag, "devHnd=0x%X devId=0x%X usbDevPtr=%s owner=%d",
          static_cast<unsigned>(device.GetDeviceHnd()), device.GetDeviceId(), device.GetUsbDevPtr().text,
          device.IsOwnerScanList() ? 1 : 0);
}

void remove(std::vector<VKDevice*>& list, const VKDevice* device) {
    list.erase(std::remove(list.begin(), list.end(), device), list.end());
}

} // namespace

ssize_t getDeviceList(int traceLevel, const char* tag, libusb_device**& devices) {
    devices = nullptr;
    const ssize_t count = libusb_get_device_list(nullptr, &devices);
    if (count >= 0) return count;
    trace(traceLevel, tag, "libusb_get_device_list returned %d", static_cast<int>(count));
    devices = nullptr;
    return 0;
}

bool isUsableReader(const libusb_device_descriptor& descriptor) {
    constexpr std::uint16_t kFirstProduct = 1;
    constexpr std::uint16_t kLastProduct = 4;
    return descriptor.idVendor == VKUSB_VENDOR_ID && descriptor.idProduct >= kFirstProduct &&
           descriptor.idProduct <= kLastProduct;
}

int VKDrvHnd::Scan(int option, const _VKUSB_SCANSEARCH* filter, bool open) {
    if (g_bVkUsbAndroidUnroot) return kOk;
    if (!libusbReady_) return kErrLibUsbUnavailable;
    if ((option & VKUSB_SCAN_FILTER) == 0) filter = nullptr;
    option &= ~VKUSB_SCAN_FILTER;

    std::lock_guard scan(scanMutex_);
    switch (option) {
    case VKUSB_SCAN_FIRST: {
        if (Enumerate(filter) == 0) {
            scanIndex_ = -1;
            return kErrNoDeviceFound;
        }
        lastError_ = kOk;
        scanIndex_ = 0;
        if (open) {
            const int result = OpenByIndex(0);
            if (result < 0) return result;
        }
        return scanIndex_;
    }
    case VKUSB_SCAN_NEXT: {
        if (scanIndex_ < 0) return kErrNoScanIndex;
        ++scanIndex_;
        {
            Lock list(listMutex_);
            if (scanIndex_ >= static_cast<int>(scanList_.size())) {
                scanIndex_ = -1;
                return kErrNoDeviceFound;
            }
        }
        if (open) {
            const int result = OpenByIndex(scanIndex_);
            if (result < 0) return result;
        }
        return scanIndex_;
    }
    case VKUSB_SCAN_ALL:
    case VKUSB_SCAN_ALL_EX: {
        scanIndex_ = -1;
        if (Enumerate(filter) == 0) return kErrNoDeviceFound;
        lastError_ = kOk;
        if (open) {
            const int result = OpenAll();
            if (result < 0) return result;
        }
        return kOk;
    }
    default: trace(kTraceLibrary, "scan", "unknown scan option"); return kErrUnknownScanOption;
    }
}

int VKDrvHnd::Enumerate(const _VKUSB_SCANSEARCH* filter) {
    traceFilter(filter);
    {
        Lock list(listMutex_);
        presentIds_.clear();
        goneIds_.clear();
        EmptyScanList();
    }
    libusb_device** devices = nullptr;
    const ssize_t count = getDeviceList(kTraceLibrary, "scan", devices);
    trace(kTraceLibrary, "scan", "numDev=%d", static_cast<int>(count));

    std::vector<VKDevice*> found;
    for (ssize_t i = 0; i < count; ++i) {
        libusb_device* usbDevice = devices[i];
        libusb_device_descriptor descriptor{};
        if (libusb_get_device_descriptor(usbDevice, &descriptor) < 0) continue;
        const bool ours = descriptor.idVendor == VKUSB_VENDOR_ID;
        trace(kTraceLibrary, "scan", "device: vendor=0x%04X prod=%d bus=%d busAddr=%d%s", descriptor.idVendor,
              descriptor.idProduct, libusb_get_bus_number(usbDevice), libusb_get_device_address(usbDevice),
              ours ? "   VAREK" : "");
        if (!isUsableReader(descriptor)) continue;

        {
            Lock list(listMutex_);
            if (VKDevice* open = FindOpenByUsbDevice(usbDevice)) {
                if (open->IsDevice(filter)) {
                    found.push_back(open);
                    trace(kTraceLibrary, "scan", "usbDev allready in device list. devId=0x%X",
                          open->GetDeviceId());
                } else {
                    traceUnwanted(*open);
                }
                continue;
            }
        }
        // A new reader is identified without the list mutex.
        auto* device = new VKDevice(handleCounter_.draw(), usbDevice);
        const int identified = device->IdentifyDevice();
        if (identified < 0) {
            trace(kTraceLibrary, "scan", "Identify return-code=%d", identified);
            delete device;
            continue;
        }
        if (!device->IsDevice(filter)) {
            traceUnwanted(*device);
            delete device;
            continue;
        }
        trace(kTraceLibrary, "scan", "New device: devHnd=0x%X devId=0x%X",
              static_cast<unsigned>(device->GetDeviceHnd()), device->GetDeviceId());
        found.push_back(device);
    }

    int size = 0;
    {
        Lock list(listMutex_);
        for (std::size_t i = 0; i < found.size(); ++i) {
            VKDevice* device = found[i];
            if (device == nullptr) continue; // deleted by an earlier replacement
            scanList_.push_back(device);
            if (DL_ReplaceDevice(device, found))
                trace(kTraceLibrary, "scan", "Replace in device list: devId=0x%X", device->GetDeviceId());
        }
        TraceList("scan-list", scanList_);
        size = static_cast<int>(scanList_.size());
    }
    if (devices != nullptr) libusb_free_device_list(devices, 1);
    return size;
}

bool VKDrvHnd::DL_ReplaceDevice(VKDevice* device, std::vector<VKDevice*>& building) {
    for (auto& [handle, entry] : openList_) {
        if (entry == device || entry->GetDeviceId() != device->GetDeviceId()) continue;
        VKDevice* old = entry;
        const bool wasOpen = old->IsOpen();
        traceObject("replace", *device);
        traceObject("to ... ", *old);
        // The old object leaves every list before it is deleted.
        remove(scanList_, old);
        std::replace(building.begin(), building.end(), old, static_cast<VKDevice*>(nullptr));
        delete old;
        entry = device;
        device->SetDeviceHnd(handle);
        if (wasOpen) device->OpenDevice();
        device->SetOwnerScanList(false);
        return true;
    }
    return false;
}

int VKDrvHnd::OpenScanEntry(VKDevice* device) {
    const int result = device->OpenDevice();
    if (result < 0) {
        trace(kTraceLibrary, "open device", "devId=0x%X: return-code=%d", device->GetDeviceId(), result);
        lastError_ = result;
        return result;
    }
    ListOpen(device);
    device->SetOwnerScanList(false);
    trace(kTraceLibrary, "open device", "devId=0x%X: ok", device->GetDeviceId());
    TraceList("device-list", openList_);
    lastError_ = kOk;
    return device->GetDeviceHnd();
}

void VKDrvHnd::ListOpen(VKDevice* device) {
    while (openList_.contains(device->GetDeviceHnd()))
        device->SetDeviceHnd(handleCounter_.draw());
    openList_.add(device->GetDeviceHnd(), device);
}

int VKDrvHnd::OpenByIndex(int index) {
    Lock list(listMutex_);
    if (index < 0 || index >= static_cast<int>(scanList_.size())) return kErrIndexOutOfRange;
    VKDevice* device = scanList_[static_cast<std::size_t>(index)];
    if (device == nullptr) return kErrUnknownCode;
    if (VKDevice* open = FindOpenById(device->GetDeviceId())) return open->GetDeviceHnd();
    return OpenScanEntry(device);
}

int VKDrvHnd::OpenDevice(std::uint32_t deviceId) {
    Lock list(listMutex_);
    const auto it = std::find_if(scanList_.begin(), scanList_.end(), [deviceId](const VKDevice* device) {
        return device != nullptr && device->GetDeviceId() == deviceId;
    });
    if (it == scanList_.end()) {
        trace(kTraceLibrary, "open device", "devId=0x%X not scanned", deviceId);
        return kErrNotScanned;
    }
    if (VKDevice* open = FindOpenById(deviceId)) return open->GetDeviceHnd();
    return OpenScanEntry(*it);
}

int VKDrvHnd::OpenAll() {
    Lock list(listMutex_);
    lastError_ = kOk;
    for (VKDevice* device : scanList_) {
        if (device == nullptr || FindOpenById(device->GetDeviceId()) != nullptr) continue;
        const int result = device->OpenDevice();
        if (result < 0) {
            trace(kTraceLibrary, "open device", "devId=0x%X: return-code=%d", device->GetDeviceId(), result);
            lastError_ = result;
            continue;
        }
        ListOpen(device);
        device->SetOwnerScanList(false);
        trace(kTraceLibrary, "open device", "devId=0x%X: ok", device->GetDeviceId());
    }
    TraceList("device-list", openList_);
    return lastError_.load();
}

int VKDrvHnd::CloseDevice(int handle) {
    // The scan mutex first: a running enumeration may hold this object in the list
    // it is building.
    std::lock_guard scan(scanMutex_);
    Lock list(listMutex_);
    const std::optional<VKDevice*> taken = openList_.take(handle);
    if (!taken) {
        trace(kTraceLibrary, "close device", "devHnd=0x%X not in device list", static_cast<unsigned>(handle));
        return kErrNoDeviceHandle;
    }
    VKDevice* device = *taken;
    device->CloseDevice();
    lastError_ = kOk;
    if (std::find(scanList_.begin(), scanList_.end(), device) != scanList_.end()) {
        device->SetOwnerScanList(true);
        trace(kTraceLibrary, "close device", "devHnd=0x%X:done - device still in scan list",
              static_cast<unsigned>(handle));
    } else {
        delete device;
        trace(kTraceLibrary, "close device", "devHnd=0x%X:done - device object destroyed",
              static_cast<unsigned>(handle));
    }
    TraceList("device-list", openList_);
    return kOk;
}

int VKDrvHnd::ClearScanList() {
    Lock list(listMutex_);
    EmptyScanList();
    return kOk;
}

void VKDrvHnd::EmptyScanList() {
    for (VKDevice* device : scanList_) {
        if (device != nullptr && device->IsOwnerScanList()) delete device;
    }
    scanList_.clear();
}

void VKDrvHnd::EmptyOpenList() {
    for (const auto& [handle, device] : openList_.release()) {
        if (device != nullptr && !device->IsOwnerScanList()) delete device;
    }
}

int VKDrvHnd::GetScanListPara(int index, const char* key, char* value) {
    Lock list(listMutex_);
    if (index < 0 || index >= static_cast<int>(scanList_.size()) ||
        scanList_[static_cast<std::size_t>(index)] == nullptr) {
        value[0] = '\0';
        return kScanListIndexOutside;
    }
    return scanList_[static_cast<std::size_t>(index)]->GetDevicePara(key, value);
}

int VKDrvHnd::GetScanListSize() {
    Lock list(listMutex_);
    const int size = static_cast<int>(scanList_.size());
    trace(kTraceLibrary, "scan-list", "size=%d", size);
    return size;
}

int VKDrvHnd::GetDeviceList(int handle) {
    Lock list(listMutex_);
    const std::optional<int> next = handle > 0 ? openList_.next(handle) : openList_.first();
    return next.value_or(0);
}

int VKDrvHnd::GetDevicePara(int handle, const char* key, char* value) {
    if (handle == -1) return GetLibraryPara(key, value);
    Lock list(listMutex_);
    VKDevice* device = nullptr;
    if (handle == 0) {
        if (openList_.empty()) return kErrEmptyDeviceList;
        device = openList_.begin()->ref;
    } else {
        device = FindOpen(handle);
        if (device == nullptr) return kErrNoDeviceHandle;
    }
    return device->GetDevicePara(key, value);
}

int VKDrvHnd::SetDevicePara(int handle, const char* key, const char* value) {
    if (handle == -1) return SetLibraryPara(key, value);
    Lock list(listMutex_);
    if (handle != 0) {
        VKDevice* device = FindOpen(handle);
        return device != nullptr ? device->SetDevicePara(key, value) : kErrNoDeviceHandle;
    }
    if (openList_.empty()) return kErrEmptyDeviceList;
    for (const auto& [handle, device] : openList_) {
        const int result = device->SetDevicePara(key, value);
        if (result != kOk) return result;
    }
    return kOk;
}

int VKDrvHnd::GetDeviceHnd(std::uint32_t deviceId) {
    Lock list(listMutex_);
    VKDevice* device = FindOpenById(deviceId);
    return device != nullptr ? device->GetDeviceHnd() : kErrNotOpened;
}

int VKDrvHnd::GetDeviceLastError(int handle) {
    Lock list(listMutex_);
    const VKDevice* device = FindOpen(handle);
    return device != nullptr ? device->GetLastError() : kErrNoDeviceHandle;
}

int VKDrvHnd::IsDevicePresent(int handle) {
    Lock list(listMutex_);
    VKDevice* device = FindOpen(handle);
    if (device == nullptr) return kErrNoDeviceHandle;
    return device->IsPresent();
}

int VKDrvHnd::Transceive(int handle, const char* interfaceName, const std::uint8_t* tx, int txLength,
                         std::uint8_t* rx, int rxLength) {
    Lock list(listMutex_);
    VKDevice* device = FindOpen(handle);
    if (device == nullptr) return kErrNoDeviceHandle;
    return device->Transceive(interfaceName, tx, txLength, rx, rxLength);
}

int VKDrvHnd::Transmit(int handle, const char* interfaceName, const std::uint8_t* tx, int length) {
    Lock list(listMutex_);
    VKDevice* device = FindOpen(handle);
    if (device == nullptr) return kErrNoDeviceHandle;
    return device->Transmit(interfaceName, tx, length);
}

int VKDrvHnd::Receive(int handle, const char* interfaceName, std::uint8_t* rx, int length) {
    Lock list(listMutex_);
    VKDevice* device = FindOpen(handle);
    if (device == nullptr) return kErrNoDeviceHandle;
    return device->Receive(interfaceName, rx, length);
}

VKDevice* VKDrvHnd::FindOpen(int handle) const {
    VKDevice* const* device = openList_.find(handle);
    return device != nullptr ? *device : nullptr;
}

VKDevice* VKDrvHnd::FindOpenById(std::uint32_t deviceId) const {
    for (const auto& [handle, device] : openList_) {
        if (device->GetDeviceId() == deviceId) return device;
    }
    return nullptr;
}

VKDevice* VKDrvHnd::FindOpenByUsbDevice(const libusb_device* usbDevice) const {
    for (const auto& [handle, device] : openList_) {
        if (device->GetLibUsbDevice() == usbDevice) return device;
    }
    return nullptr;
}

namespace {

void traceListed(const char* tag, std::size_t i, const VKDevice* device) {
    if (device == nullptr) {
        trace(kTraceLibrary, tag, "dev%zu is NULL", i);
        return;
    }
    trace(kTraceLibrary, tag, "dev%zu: devHnd=0x%X devId=0x%X usbDevPtr=%s owner=%d", i,
          static_cast<unsigned>(device->GetDeviceHnd()), device->GetDeviceId(), device->GetUsbDevPtr().text,
          device->IsOwnerScanList() ? 1 : 0);
}

} // namespace

void VKDrvHnd::TraceList(const char* tag, const std::vector<VKDevice*>& list) const {
    if (!traceOn(kTraceLibrary)) return;
    if (list.empty()) trace(kTraceLibrary, tag, "no devices");
    for (std::size_t i = 0; i < list.size(); ++i)
        traceListed(tag, i, list[i]);
}

void VKDrvHnd::TraceList(const char* tag, const vk::HandleTable<VKDevice*>& list) const {
    if (!traceOn(kTraceLibrary)) return;
    if (list.empty()) trace(kTraceLibrary, tag, "no devices");
    std::size_t i = 0;
    for (const auto& [handle, device] : list)
        traceListed(tag, i++, device);
}

} // namespace vkusb

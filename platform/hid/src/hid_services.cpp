// HID services over hidapi. hidapi is shared with the rest of the host process,
// so it is initialised on first use and never shut down here.
#include <vkplatform/hid_services.h>

#include <hidapi/hidapi.h>

#include <climits>
#include <mutex>
#include <set>

namespace vkplatform::hid {

struct Device {
    hid_device* handle = nullptr;
    std::string path;
    std::uint16_t inputBuffers = kInputBuffers;
};

namespace {

// Paths this process holds open. Guards only `openPaths`; no other lock is
// taken while it is held.
std::mutex openPathsMutex;
std::set<std::string> openPaths;

bool start() {
    return hid_init() == 0;
}

} // namespace

int hidapiTimeout(std::uint32_t timeoutMs) {
    if (timeoutMs == UINT32_MAX) return -1;
    if (timeoutMs > static_cast<std::uint32_t>(INT_MAX)) return INT_MAX;
    return static_cast<int>(timeoutMs);
}

std::vector<Interface> enumerate(std::size_t limit) {
    std::vector<Interface> found;
    if (limit == 0 || !start()) return found;
    hid_device_info* list = hid_enumerate(0, 0);
    for (const hid_device_info* info = list; info != nullptr && found.size() < limit; info = info->next)
        found.push_back({info->path != nullptr ? info->path : "", info->vendor_id, info->product_id});
    hid_free_enumeration(list);
    return found;
}

Device* open(const char* path) {
    if (path == nullptr || !start()) return nullptr;
    std::lock_guard lock(openPathsMutex);
    if (openPaths.count(path) != 0) return nullptr;
    hid_device* handle = hid_open_path(path);
    if (handle == nullptr) return nullptr;
    openPaths.insert(path);
    return new Device{handle, path};
}

void close(Device* device) {
    if (device == nullptr) return;
    hid_close(device->handle);
    {
        std::lock_guard lock(openPathsMutex);
        openPaths.erase(device->path);
    }
    delete device;
}

ReportLengths reportLengths(const Device* device) {
    if (device == nullptr) return {};
    return {kReportLength, kReportLength, 0};
}

std::uint16_t inputBuffers(const Device* device) {
    return device != nullptr ? device->inputBuffers : 0;
}

bool setInputBuffers(Device* device, std::uint16_t count) {
    if (device == nullptr || count == 0) return false;
    device->inputBuffers = count;
    return true;
}

Transfer readReport(Device* device, std::uint8_t* buffer, std::size_t length, std::uint32_t timeoutMs,
                    std::size_t& received) {
    received = 0;
    if (device == nullptr || buffer == nullptr || length < 2) return Transfer::Failed;
    buffer[0] = 0;
    const int got = hid_read_timeout(device->handle, buffer + 1, length - 1, hidapiTimeout(timeoutMs));
    if (got < 0) return Transfer::Failed;
    if (got == 0) return Transfer::TimedOut;
    received = static_cast<std::size_t>(got) + 1;
    return Transfer::Done;
}

Transfer writeReport(Device* device, const std::uint8_t* data, std::size_t length,
                     std::uint32_t /*timeoutMs*/) {
    if (device == nullptr || data == nullptr || length == 0) return Transfer::Failed;
    const int written = hid_write(device->handle, data, length);
    return written >= 0 && static_cast<std::size_t>(written) == length ? Transfer::Done : Transfer::Failed;
}

} // namespace vkplatform::hid

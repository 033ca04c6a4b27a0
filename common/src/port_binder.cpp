#include <vkcommon/port_binder.h>

#include <dlfcn.h>

#include <cstdio>
#include <string>

namespace vk {

namespace {

// Index of `id` among its library's rows, or -1 when the id has no row.
int rowIndex(int id) {
    auto find = [id](const auto& rows) {
        for (std::size_t i = 0; i < rows.size(); ++i) {
            if (rows[i].id == id) return static_cast<int>(i);
        }
        return -1;
    };
    switch (vk::portLibraryOf(id)) {
    case vk::PortLibrary::Serial: return find(vk::kSerialPortFunctions);
    case vk::PortLibrary::Usb: return find(vk::kUsbPortFunctions);
    case vk::PortLibrary::Tcp: return find(vk::kTcpPortFunctions);
    case vk::PortLibrary::None: break;
    }
    return -1;
}

} // namespace

PortBinder::Library& PortBinder::entry(vk::PortLibrary which) {
    switch (which) {
    case vk::PortLibrary::Usb: return usb_;
    case vk::PortLibrary::Tcp: return tcp_;
    default: return serial_;
    }
}

void* PortBinder::openLocked(vk::PortLibrary which) {
    Library& lib = entry(which);
    void* handle = lib.handle.load(std::memory_order_acquire);
    if (handle != nullptr) return handle;
    const std::string file(vk::portLibraryFile(which));
    handle = ::dlopen(file.c_str(), RTLD_NOW | RTLD_GLOBAL);
    if (handle == nullptr) {
        const char* reason = ::dlerror();
        std::snprintf(lib.failure, sizeof lib.failure, "%s", reason != nullptr ? reason : file.c_str());
        return nullptr;
    }
    lib.failure[0] = '\0';
    lib.handle.store(handle, std::memory_order_release);
    if (onLibraryOpened_ != nullptr) onLibraryOpened_();
    return handle;
}

void* PortBinder::library(vk::PortLibrary which) {
    if (which == vk::PortLibrary::None) return nullptr;
    void* handle = entry(which).handle.load(std::memory_order_acquire);
    if (handle != nullptr) return handle;
    std::lock_guard<std::mutex> lock(mutex_);
    return openLocked(which);
}

bool PortBinder::binds(int id) const {
    if (bound_.empty()) return true;
    for (const int b : bound_) {
        if (b == id) return true;
    }
    return false;
}

void* PortBinder::function(int id) {
    const vk::PortLibrary which = vk::portLibraryOf(id);
    if (which == vk::PortLibrary::None || !binds(id)) return nullptr;
    Library& lib = entry(which);
    const int row = rowIndex(id);
    if (row >= 0) {
        void* cached = lib.slots[static_cast<std::size_t>(row)].load(std::memory_order_acquire);
        if (cached != nullptr) return cached;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    void* handle = openLocked(which);
    if (handle == nullptr || row < 0) return nullptr;
    auto& slot = lib.slots[static_cast<std::size_t>(row)];
    void* address = slot.load(std::memory_order_acquire);
    if (address == nullptr) {
        const std::string name(vk::portFunctionName(id));
        address = ::dlsym(handle, name.c_str());
        slot.store(address, std::memory_order_release);
    }
    return address;
}

std::string PortBinder::openFailure(vk::PortLibrary which) {
    if (which == vk::PortLibrary::None) return {};
    std::lock_guard<std::mutex> lock(mutex_);
    return entry(which).failure;
}

void PortBinder::closeAll() {
    std::lock_guard<std::mutex> lock(mutex_);
    for (Library* lib : {&serial_, &usb_, &tcp_}) {
        for (auto& slot : lib->slots)
            slot.store(nullptr, std::memory_order_release);
        void* handle = lib->handle.exchange(nullptr, std::memory_order_acq_rel);
        if (handle != nullptr) ::dlclose(handle);
    }
}

} // namespace vk

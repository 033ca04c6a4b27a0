#include "vizer_drv_hnd.h"

#include "error_codes.h"
#include "error_texts.h"

#include <vkcommon/language_id.h>
#include <vkcommon/param_text.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

namespace vkcom {

VIZERDrvHnd::VIZERDrvHnd() : language_(vk::kLanguageEnglish) {
    std::strcpy(prefix_, "/dev/ttyS");
}

VIZERDrvHnd::~VIZERDrvHnd() {
    decltype(ports_)::List ports;
    {
        std::lock_guard lock(registryMutex_);
        ports = ports_.release();
    }
    // Each close waits for the calls inside its port; the registry lock is not
    // held meanwhile.
    for (const auto& entry : ports)
        entry.ref->ClosePort();
}

VIZERDrvHnd::Lookup VIZERDrvHnd::find(int handle) const {
    std::lock_guard lock(registryMutex_);
    const std::shared_ptr<VKPort>* port = ports_.find(handle);
    return {port != nullptr ? *port : nullptr, ports_.empty()};
}

bool VIZERDrvHnd::hasPortNumber(int portNumber) const {
    return std::any_of(ports_.begin(), ports_.end(),
                       [portNumber](const auto& entry) { return entry.ref->portNumber() == portNumber; });
}

bool VIZERDrvHnd::devicePath(int portNumber, char (&path)[kMaxDevicePath + 1]) const {
    char prefix[kPrefixCapacity + 1];
    {
        std::lock_guard lock(registryMutex_);
        std::memcpy(prefix, prefix_, sizeof prefix);
    }
    char full[kPrefixCapacity + 16];
    const int length = std::snprintf(full, sizeof full, "%s%d", prefix, portNumber - 1);
    if (length < 0 || static_cast<std::size_t>(length) > kMaxDevicePath) return false;
    std::memcpy(path, full, static_cast<std::size_t>(length) + 1);
    return true;
}

int VIZERDrvHnd::OpenPort(const char* portNumberText) {
    if (portNumberText == nullptr) return fail(kErrNullPointer);
    const std::int64_t number = vk::readSaturated(portNumberText);
    setLastError(kOk);
    int handle = 0;
    {
        std::lock_guard lock(registryMutex_);
        handle = counter_.advance([this](int candidate) { return ports_.contains(candidate); });
    }
    if (number < 1 || number > 256) return fail(kErrPortNumberRange);
    const int portNumber = static_cast<int>(number);
    {
        std::lock_guard lock(registryMutex_);
        if (hasPortNumber(portNumber)) return fail(kErrAlreadyOpen);
    }
    char path[kMaxDevicePath + 1];
    if (!devicePath(portNumber, path)) return fail(kErrCreatePort);

    std::shared_ptr<VKPort> port;
    try {
        port = std::make_shared<VKPort>();
    } catch (const std::bad_alloc&) {
        return fail(kErrCreatePort);
    }
    const int opened = port->OpenPort(portNumber, path);
    if (opened != kOk) return fail(opened);
    port->SetPortHnd(handle);

    std::lock_guard lock(registryMutex_);
    // Another thread may have opened the same number meanwhile.
    int result = handle;
    if (hasPortNumber(portNumber)) {
        result = kErrAlreadyOpen;
    } else {
        try {
            // The handle was drawn free; a port opened since under the same
            // handle (only after a full wrap of the counter) refuses this one.
            if (!ports_.add(handle, port)) result = kErrCreatePort;
        } catch (const std::bad_alloc&) {
            result = kErrCreatePort;
        }
    }
    if (result < 0) {
        port->ClosePort();
        return fail(result);
    }
    return result;
}

int VIZERDrvHnd::ClosePort(int handle) {
    std::shared_ptr<VKPort> port;
    {
        // Unlisted first: no call finds the port any more. Calls already inside
        // share it; its ClosePort ends them and waits until they have left.
        std::lock_guard lock(registryMutex_);
        std::optional<std::shared_ptr<VKPort>> found = ports_.take(handle);
        if (!found) return fail(ports_.empty() ? kErrEmptyList : kErrNoHandle);
        port = std::move(*found);
    }
    setLastError(kOk);
    return port->ClosePort();
}

int VIZERDrvHnd::GetPortList(int handle) {
    if (handle < 0) return fail(kErrHandleNegative);
    int result = 0;
    {
        std::lock_guard lock(registryMutex_);
        if (handle == 0) {
            result = ports_.empty() ? kErrEmptyList : *ports_.first();
        } else {
            const std::optional<int> next = ports_.next(handle);
            result = next ? *next : kErrUnknownListHandle;
        }
    }
    if (result < 0) return fail(result);
    setLastError(kOk);
    return result;
}

int VIZERDrvHnd::GetPortHnd(const char* portNumberText) {
    if (portNumberText == nullptr) return fail(kErrNullPointer);
    const std::int64_t number = vk::readSaturated(portNumberText);
    if (number < 1 || number > 255) return fail(kErrOutOfRange);
    setLastError(kOk);
    for (int handle = GetPortList(0); handle > 0; handle = GetPortList(handle)) {
        char portNr[32] = {};
        const Lookup lookup = find(handle);
        if (lookup.port == nullptr) return fail(lookup.listEmpty ? kErrEmptyList : kErrNoHandle);
        setLastError(kOk);
        const int read = lookup.port->GetPortPara("PORTNR", portNr);
        if (read != kOk) return fail(read);
        if (std::strcmp(portNr, portNumberText) == 0) return handle;
    }
    const int last = lastError();
    return last < 0 ? last : 0;
}

int VIZERDrvHnd::DetectPort(int portNumber) {
    if (portNumber < 1 || portNumber > 256) return fail(kErrPortNumberRange);
    char path[kMaxDevicePath + 1];
    if (!devicePath(portNumber, path)) return kErrPortNotFound;
    const int fd = ::open(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return kErrPortNotFound;
    ::close(fd);
    return kOk;
}

int VIZERDrvHnd::GetErrorText(int code, char* text) {
    if (text == nullptr) return fail(kErrNullPointer);
    return fail(writeErrorText(code, language_.load(std::memory_order_relaxed), text));
}

int VIZERDrvHnd::GetLastError(int handle, int* code, char* text) {
    if (code == nullptr || text == nullptr) return fail(kErrNullPointer);
    if (handle == 0) {
        *code = lastError();
    } else {
        const Lookup lookup = find(handle);
        if (lookup.port == nullptr) return fail(lookup.listEmpty ? kErrEmptyList : kErrNoHandle);
        *code = lookup.port->GetLastError();
    }
    return GetErrorText(*code, text);
}

bool VIZERDrvHnd::libraryGet(const char* upperKey, char* value, int& result) {
    if (std::strcmp(upperKey, "LANGUAGE") == 0) {
        std::snprintf(value, 12, "%d", language_.load(std::memory_order_relaxed));
    } else if (std::strcmp(upperKey, "PORTPREFIX") == 0) {
        std::lock_guard lock(registryMutex_);
        std::strcpy(value, prefix_);
    } else {
        return false;
    }
    result = kOk;
    return true;
}

bool VIZERDrvHnd::librarySet(const char* upperKey, const char* value, int& result) {
    if (std::strcmp(upperKey, "LANGUAGE") == 0) {
        const std::int64_t language = vk::readSaturated(value);
        if (!vk::isLanguageId(static_cast<long>(std::clamp<std::int64_t>(language, -1, 100)))) {
            result = fail(kErrOutOfRange);
        } else {
            language_.store(static_cast<int>(language), std::memory_order_relaxed);
            result = kOk;
        }
        return true;
    }
    if (std::strcmp(upperKey, "PORTPREFIX") == 0) {
        const std::size_t length = vk::boundedLength(value, kPrefixCapacity + 1);
        if (length > kPrefixCapacity) {
            result = fail(kErrOutOfRange);
        } else {
            std::lock_guard lock(registryMutex_);
            std::memcpy(prefix_, value, length);
            prefix_[length] = '\0';
            result = kOk;
        }
        return true;
    }
    return false;
}

} // namespace vkcom

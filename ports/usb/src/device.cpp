#include "device.h"

#include "error_text.h"
#include "trace.h"

#include <vkcommon/hex_digit.h>
#include <vkcommon/param_text.h>

#include <climits>
#include <cstdio>
#include <cstring>

namespace vkusb {

namespace {

constexpr int kInterface = 0;
constexpr std::uint8_t kStringDeviceId = 1;
constexpr std::uint8_t kStringFamilyName = 3;
constexpr std::uint8_t kStringDeviceName = 5;
constexpr std::uint8_t kStringInterfaceType = 6;
constexpr std::uint8_t kStringTypeNumber = 10;
constexpr int kWantedConfiguration = 1;
constexpr std::uint8_t kVendorOut = 0x40;
constexpr std::uint8_t kVendorIn = 0xC0;

int readString(libusb_device_handle* handle, std::uint8_t index, char* buffer) {
    return libusb_get_string_descriptor_ascii(handle, index, reinterpret_cast<unsigned char*>(buffer),
                                              kTextFieldSize);
}

// True when `name` equals the filter field, read up to its size.
bool fieldEquals(const char* name, const char* field, std::size_t fieldSize) {
    const std::size_t length = vk::boundedLength(field, fieldSize);
    return std::strlen(name) == length && std::memcmp(name, field, length) == 0;
}

} // namespace

bool parseHexId(const char* text, std::size_t limit, std::uint32_t& id) {
    std::size_t i = 0;
    while (i < limit && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r')))
        ++i;
    bool negative = false;
    if (i < limit && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    if (i + 2 < limit && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X') &&
        vk::hexDigitValue(text[i + 2]) >= 0)
        i += 2;
    std::uint64_t value = 0;
    bool digits = false;
    for (; i < limit && vk::hexDigitValue(text[i]) >= 0; ++i) {
        digits = true;
        value = value * 16 + static_cast<unsigned>(vk::hexDigitValue(text[i]));
        if (value > UINT32_MAX) value = UINT32_MAX + std::uint64_t{1}; // saturates below
    }
    if (!digits) return false;
    const std::uint32_t magnitude = value > UINT32_MAX ? UINT32_MAX : static_cast<std::uint32_t>(value);
    id = negative ? 0u - magnitude : magnitude;
    return true;
}

bool g_ToUpperString(const char* source, char (&destination)[128]) {
    return vk::upperCaseKey(source, destination);
}

int g_libusb_open(libusb_device* device, libusb_device_handle** handle, int /*unused*/) {
    return libusb_open(device, handle);
}

std::uint32_t readDeviceId(libusb_device* device) {
    libusb_device_handle* handle = nullptr;
    if (g_libusb_open(device, &handle, 0) < 0) return 0;
    char idText[kTextFieldSize] = {};
    const int result = readString(handle, kStringDeviceId, idText);
    libusb_close(handle);
    std::uint32_t id = 0;
    if (result < 0 || !parseHexId(idText, sizeof idText, id)) return 0;
    return id;
}

VKDevice::VKDevice(int deviceHandle, libusb_device* device)
    : device_(device != nullptr ? libusb_ref_device(device) : nullptr), deviceHandle_(deviceHandle) {}

VKDevice::~VKDevice() {
    CloseDev();
    if (device_ != nullptr) libusb_unref_device(device_);
}

PointerText VKDevice::GetUsbDevPtr() const {
    PointerText text{};
    std::snprintf(text.text, sizeof text.text, "%p", static_cast<void*>(device_));
    return text;
}

void VKDevice::CloseDev() {
    if (handle_ == nullptr) return;
    libusb_release_interface(handle_, kInterface);
    libusb_close(handle_);
    handle_ = nullptr;
    transferMode_ = kTransferModeUnknown;
    inEndpoint_ = kNoEndpoint;
    outEndpoint_ = kNoEndpoint;
}

int VKDevice::IdentifyDevice() {
    std::lock_guard lock(mutex_);
    int result = g_libusb_open(device_, &handle_, 0);
    if (result < 0) {
        handle_ = nullptr;
        lastError_ = kErrCannotOpen;
        return kErrCannotOpen;
    }
    char idText[kTextFieldSize] = {};
    result = readString(handle_, kStringDeviceId, idText);
    if (result < 0) {
        trace(kTraceDevice, "ident", "libusb_get_string_descriptor_ascii(devId) returned %d", result);
        CloseDev();
        lastError_ = kErrDeviceDescriptorRead;
        return kErrDeviceDescriptorRead;
    }
    trace(kTraceDevice, "ident", "devIdStr=%s", idText);
    std::uint32_t id = 0;
    if (!parseHexId(idText, sizeof idText, id)) {
        CloseDev();
        lastError_ = kErrDeviceDescriptorRead;
        return kErrDeviceDescriptorRead;
    }
    deviceId_ = id;
    trace(kTraceDevice, "ident", "devId=0x%X", deviceId_);
    const struct {
        std::uint8_t index;
        char* field;
        const char* name;
    } texts[] = {{kStringFamilyName, familyName_, "famName"},
                 {kStringDeviceName, deviceName_, "devName"},
                 {kStringInterfaceType, interfaceType_, "devName"}};
    for (const auto& text : texts) {
        result = readString(handle_, text.index, text.field);
        if (result < 0) {
            text.field[0] = '\0';
            trace(kTraceDevice, "ident", "libusb_get_string_descriptor_ascii(%s) returned %d", text.name,
                  result);
            CloseDev();
            lastError_ = kErrStringDescriptorRead;
            return kErrStringDescriptorRead;
        }
    }
    for (char& c : interfaceType_) {
        if (c == ' ') c = '-';
    }
    trace(kTraceDevice, "ident", "famName=%s", familyName_);
    trace(kTraceDevice, "ident", "devName=%s", deviceName_);
    trace(kTraceDevice, "ident", "intType=%s", interfaceType_);
    CloseDev();
    trace(kTraceDevice, "ident", "ok");
    lastError_ = kOk;
    return kOk;
}

int VKDevice::OpenDevice() {
    std::lock_guard lock(mutex_);
    if (device_ == nullptr) {
        trace(kTraceDevice, "open", "no usbdev-structure");
        lastError_ = kErrCannotOpen;
        return kErrCannotOpen;
    }
    if (handle_ != nullptr) {
        trace(kTraceDevice, "open", "allready opened");
        lastError_ = kOk;
        return kOk;
    }
    const int opened = g_libusb_open(device_, &handle_, 0);
    if (opened < 0) {
        handle_ = nullptr;
        trace(kTraceDevice, "open", "libusb_open returned %d", opened);
        lastError_ = kErrCannotOpen;
        return kErrCannotOpen;
    }
    const int configured = SetConfiguration();
    if (configured < 0) {
        // An unconfigured handle must not pass for an open device later.
        CloseDev();
        lastError_ = configured;
        return configured;
    }
    trace(kTraceDevice, "open", "devHnd=0x%X devId=0x%X: ok", static_cast<unsigned>(deviceHandle_),
          deviceId_);
    lastError_ = kOk;
    return kOk;
}

int VKDevice::SetConfiguration() {
    libusb_config_descriptor* config = nullptr;
    const int result = libusb_get_config_descriptor(device_, 0, &config);
    if (result < 0 || config == nullptr) {
        trace(kTraceDevice, "set config", "libusb_get_config_descriptor(0) returned %d", result);
        return kErrConfigDescriptorRead;
    }
    int status = kOk;
    if (config->bConfigurationValue != kWantedConfiguration) {
        const int set = libusb_set_configuration(handle_, kWantedConfiguration);
        if (set < 0) {
            trace(kTraceDevice, "set config", "libusb_set_configuration(%d) returned %d",
                  kWantedConfiguration, set);
            status = kErrSetConfiguration;
        }
    }
    libusb_free_config_descriptor(config);
    return status;
}

int VKDevice::CloseDevice() {
    std::lock_guard lock(mutex_);
    if (handle_ != nullptr) {
        CloseDev();
        trace(kTraceDevice, "close", "devHnd=0x%X devId=0x%X: ok", static_cast<unsigned>(deviceHandle_),
              deviceId_);
    }
    return kOk;
}

int VKDevice::IsPresent() {
    std::lock_guard lock(mutex_);
    return IsPresentLocked();
}

int VKDevice::IsPresentLocked() {
    if (handle_ == nullptr) {
        trace(kTraceDevice, "is present", "device not open error");
        lastError_ = kErrNotOpened;
        return 0;
    }
    char idText[kTextFieldSize];
    const int result = readString(handle_, kStringDeviceId, idText);
    if (result < 0) {
        trace(kTraceDevice, "is present", "libusb_get_string_descriptor_ascii(devId) returned %d", result);
        lastError_ = kErrNotPresent;
        return 0;
    }
    trace(kTraceDevice, "is present", "ok");
    lastError_ = kOk;
    return 1;
}

bool VKDevice::IsDevice(const _VKUSB_SCANSEARCH* filter) {
    std::lock_guard lock(mutex_);
    if (filter == nullptr) return true;
    if (filter->mask & VKUSB_SEARCH_FAMILYNAME)
        return fieldEquals(familyName_, filter->familyName, sizeof filter->familyName);
    if (filter->mask & VKUSB_SEARCH_DEVICENAME)
        return fieldEquals(deviceName_, filter->deviceName, sizeof filter->deviceName);
    if (filter->mask & VKUSB_SEARCH_DEVICEID) {
        std::uint32_t id = 0;
        return parseHexId(filter->deviceId, sizeof filter->deviceId, id) && id == deviceId_;
    }
    return false;
}

int VKDevice::GetDevicePara(const char* key, char* value) {
    std::unique_lock lock(mutex_);
    const int result = GetDeviceParaLocked(lock, key, value);
    lastError_ = result;
    return result;
}

int VKDevice::GetDeviceParaLocked(std::unique_lock<std::mutex>& lock, const char* key, char* value) {
    lastError_ = kOk;
    char upper[vk::kKeyBufferSize];
    if (!g_ToUpperString(key, upper)) return kErrUnknownParameter;
    if (std::strcmp(upper, "TIMEOUT") == 0) {
        std::snprintf(value, kTextFieldSize, "%u", timeoutMs_);
    } else if (std::strcmp(upper, "DEVICEHND") == 0) {
        std::snprintf(value, kTextFieldSize, "%d", handle_ != nullptr ? deviceHandle_ : 0);
    } else if (std::strcmp(upper, "DEVICE-ID") == 0) {
        std::snprintf(value, kTextFieldSize, "%X", deviceId_);
    } else if (std::strcmp(upper, "DEVICENAME") == 0) {
        std::snprintf(value, kTextFieldSize, "%s", deviceName_);
    } else if (std::strcmp(upper, "FAMILYNAME") == 0) {
        std::snprintf(value, kTextFieldSize, "%s", familyName_);
    } else if (std::strcmp(upper, "INTERFACE") == 0) {
        std::snprintf(value, kTextFieldSize, "%s", interfaceType_);
    } else if (std::strcmp(upper, "TYPENUMBER") == 0) {
        if (handle_ == nullptr) return kErrNotOpened;
        value[0] = '\0';
        if (readString(handle_, kStringTypeNumber, value) < 0) {
            value[0] = '\0';
            return kErrStringDescriptorRead;
        }
    } else if (std::strcmp(upper, "PRESENT") == 0) {
        // IsPresent takes the device mutex itself.
        lock.unlock();
        const int present = IsPresent();
        lock.lock();
        std::snprintf(value, kTextFieldSize, "%d", present);
        return lastError_.load();
    } else {
        return kErrUnknownParameter;
    }
    return kOk;
}

int VKDevice::SetDevicePara(const char* key, const char* value) {
    std::lock_guard lock(mutex_);
    const int result = SetDeviceParaLocked(key, value);
    lastError_ = result;
    return result;
}

int VKDevice::SetDeviceParaLocked(const char* key, const char* value) {
    lastError_ = kOk;
    char upper[vk::kKeyBufferSize];
    if (!g_ToUpperString(key, upper)) return kErrUnknownParameter;
    if (std::strcmp(upper, "TIMEOUT") == 0) {
        const std::int64_t timeout = vk::readSaturated(value);
        if (timeout < 1 || timeout > UINT_MAX) return kErrOutOfRange;
        timeoutMs_ = static_cast<unsigned>(timeout);
        return kOk;
    }
    if (std::strcmp(upper, "RESETPIPE") == 0) {
        if (handle_ == nullptr) return kErrNotOpened;
        ResetBulkEndPoints();
        return kOk;
    }
    if (std::strcmp(upper, "RESETDEVICE") == 0) {
        if (handle_ == nullptr) return kErrNotOpened;
        return libusb_reset_device(handle_) < 0 ? kErrParameterNotAvailable : kOk;
    }
    return kErrUnknownParameter;
}

int VKDevice::GetBulkEndPoints() {
    transferMode_ = kTransferModeUnknown;
    inEndpoint_ = kNoEndpoint;
    outEndpoint_ = kNoEndpoint;
    if (device_ == nullptr || handle_ == nullptr) {
        trace(kTraceDevice, "get bulk end points", "usbdev=NULL or usbdev_hnd=NULL");
        return kErrNotOpened;
    }
    // From here on a failure leaves the device in control mode until it closes.
    transferMode_ = kTransferModeControl;
    libusb_device_descriptor descriptor{};
    if (libusb_get_device_descriptor(device_, &descriptor) < 0) return kErrDeviceDescriptorRead;
    if (descriptor.bNumConfigurations == 0) {
        trace(kTraceDevice, "get bulk end points", "no configurations");
        return kErrNoConfiguration;
    }
    libusb_config_descriptor* config = nullptr;
    const int result = libusb_get_config_descriptor(device_, 0, &config);
    if (result < 0 || config == nullptr) {
        trace(kTraceDevice, "get bulk end points", "libusb_get_config_descriptor(0) returned %d", result);
        return kErrConfigDescriptorRead;
    }
    if (config->bNumInterfaces > 0 && config->interface != nullptr &&
        config->interface[0].num_altsetting > 0 && config->interface[0].altsetting != nullptr) {
        const libusb_interface_descriptor& setting = config->interface[0].altsetting[0];
        for (int i = 0; i < setting.bNumEndpoints && setting.endpoint != nullptr; ++i) {
            const libusb_endpoint_descriptor& endpoint = setting.endpoint[i];
            if ((endpoint.bmAttributes & 0x03) != LIBUSB_TRANSFER_TYPE_BULK) continue;
            if (endpoint.bEndpointAddress & LIBUSB_ENDPOINT_IN)
                inEndpoint_ = endpoint.bEndpointAddress;
            else
                outEndpoint_ = endpoint.bEndpointAddress;
        }
    }
    trace(kTraceDevice, "get bulk end points", "addrIn=%d addrOut=%d", inEndpoint_, outEndpoint_);
    const bool bulk = inEndpoint_ != kNoEndpoint && outEndpoint_ != kNoEndpoint;
    libusb_free_config_descriptor(config);
    trace(kTraceDevice, "get bulk end points", "detach driver returned: %d",
          libusb_detach_kernel_driver(handle_, kInterface));
    const int claimed = libusb_claim_interface(handle_, kInterface);
    if (claimed < 0) {
        trace(kTraceDevice, "get bulk end points", "libusb_claim_interface(0) returned %d", claimed);
        return kErrClaim;
    }
    // Bulk mode only once the interface is ours; a failed claim leaves control mode.
    if (bulk) transferMode_ = kTransferModeBulk;
    return kOk;
}

void VKDevice::ResetBulkEndPoints() {
    if (transferMode_ != kTransferModeBulk) return;
    libusb_clear_halt(handle_, outEndpoint_);
    libusb_clear_halt(handle_, inEndpoint_);
}

void VKDevice::logBuffer(const char* tag, bool written, const std::uint8_t* data, int count) const {
    traceHexDump(tag, written, data, count);
}

int VKDevice::Transmit_Bulk(const std::uint8_t* data, int length) {
    logBuffer("bulkTransmit", true, data, length);
    int transferred = 0;
    // libusb takes the buffer as non-const for both directions; an OUT transfer only reads it.
    const int result = libusb_bulk_transfer(handle_, outEndpoint_, const_cast<std::uint8_t*>(data), length,
                                            &transferred, timeoutMs_);
    if (result < 0) {
        trace(kTraceDevice, "bulkTransmit", "returned %d", result);
        if (result == LIBUSB_ERROR_TIMEOUT) {
            ResetBulkEndPoints();
            return kErrTimeout;
        }
        return result == LIBUSB_ERROR_NO_DEVICE ? kErrNotPresent : kErrBulkTransfer;
    }
    return kOk;
}

int VKDevice::Receive_Bulk(std::uint8_t* data, int length) {
    std::memset(data, 0, static_cast<std::size_t>(length));
    int transferred = 0;
    const int result = libusb_bulk_transfer(handle_, inEndpoint_, data, length, &transferred, timeoutMs_);
    if (result < 0) {
        trace(kTraceDevice, "bulkReceive", "returned %d", result);
        if (result == LIBUSB_ERROR_TIMEOUT) {
            ResetBulkEndPoints();
            return kErrTimeout;
        }
        return result == LIBUSB_ERROR_NO_DEVICE ? kErrNotPresent : kErrBulkTransfer;
    }
    logBuffer("bulkReceive ", false, data, transferred);
    return transferred;
}

int VKDevice::Transmit_Ctrl(const std::uint8_t* data, int length) {
    if (length > kControlLengthLimit) return kErrSendLength;
    logBuffer("ctrlTransmit", true, data, length);
    const int result = libusb_control_transfer(handle_, kVendorOut, 0, 0, 0, const_cast<std::uint8_t*>(data),
                                               static_cast<std::uint16_t>(length), timeoutMs_);
    if (result < 0) {
        trace(kTraceDevice, "ctrlTransmit", "returned %d", result);
        if (result == LIBUSB_ERROR_TIMEOUT) return kErrTimeout;
        return result == LIBUSB_ERROR_NO_DEVICE ? kErrNotPresent : kErrControlTransfer;
    }
    return kOk;
}

int VKDevice::Receive_Ctrl(std::uint8_t* data, int length) {
    std::memset(data, 0, static_cast<std::size_t>(length));
    const int asked = length > kControlLengthLimit ? kControlLengthLimit : length;
    const int result = libusb_control_transfer(handle_, kVendorIn, 0, 0, 0, data,
                                               static_cast<std::uint16_t>(asked), timeoutMs_);
    if (result < 0) {
        trace(kTraceDevice, "ctrlReceive", "returned %d", result);
        if (result == LIBUSB_ERROR_TIMEOUT) return kErrTimeout;
        return result == LIBUSB_ERROR_NO_DEVICE ? kErrNotPresent : kErrControlTransfer;
    }
    logBuffer("ctrlReceive ", false, data, result);
    return result;
}

int VKDevice::Exchange(const char* tag, Transfer transfer, const char* interfaceName, const std::uint8_t* tx,
                       int txLength, std::uint8_t* rx, int rxLength) {
    char upper[vk::kKeyBufferSize];
    const bool fits = g_ToUpperString(interfaceName, upper);
    std::lock_guard lock(mutex_);
    if (handle_ == nullptr) {
        trace(kTraceDevice, tag, "device not open error");
        lastError_ = kErrNotOpened;
        return kErrNotOpened;
    }
    if (!fits || std::strcmp(upper, VKUSB_INTERFACE_NUBO_RCI2) != 0) {
        lastError_ = kErrUnknownInterface;
        return kErrUnknownInterface;
    }
    int result = kOk;
    if (transferMode_ == kTransferModeUnknown) result = GetBulkEndPoints();
    if (result >= 0) {
        const bool bulk = transferMode_ == kTransferModeBulk;
        if (transfer != Transfer::Read)
            result = bulk ? Transmit_Bulk(tx, txLength) : Transmit_Ctrl(tx, txLength);
        if (result >= 0 && transfer != Transfer::Write)
            result = bulk ? Receive_Bulk(rx, rxLength) : Receive_Ctrl(rx, rxLength);
    }
    if (result < 0) {
        trace(kTraceDevice, tag, "returned %d", result);
        lastError_ = result;
    } else {
        lastError_ = kOk;
    }
    return result;
}

int VKDevice::Transceive(const char* interfaceName, const std::uint8_t* tx, int txLength, std::uint8_t* rx,
                         int rxLength) {
    return Exchange("transceive", Transfer::Both, interfaceName, tx, txLength, rx, rxLength);
}

int VKDevice::Transmit(const char* interfaceName, const std::uint8_t* tx, int length) {
    const int result = Exchange("transmit", Transfer::Write, interfaceName, tx, length, nullptr, 0);
    return result < 0 ? result : kOk;
}

int VKDevice::Receive(const char* interfaceName, std::uint8_t* rx, int length) {
    return Exchange("receive", Transfer::Read, interfaceName, nullptr, 0, rx, length);
}

} // namespace vkusb

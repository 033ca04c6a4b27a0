// The libusb-1.0 functions, answered by the simulated bus from the readers' side.
// Results follow libusb's conventions: LIBUSB_ERROR_NO_DEVICE once a reader is
// unplugged, LIBUSB_ERROR_PIPE for a request the reader stalls, a time-out for an
// IN transfer without data, an overflow for more data than the buffer holds.
#include "bus.h"

#include <algorithm>
#include <cstring>

using namespace usbsim;
using namespace usbsim::detail;

namespace {

using Lock = std::unique_lock<std::mutex>;

// A USB string descriptor holds at most 126 UTF-16 characters.
constexpr std::size_t kMaxStringChars = 126;

Call makeCall(Fn fn, int reader = 0) {
    Call call;
    call.fn = fn;
    call.reader = reader;
    return call;
}

int recordCall(Call call) {
    bus().record.push_back(std::move(call));
    bus().changed.notify_all(); // waitForCalls
    return bus().record.back().result;
}

int handleReader(const libusb_device_handle* handle) {
    return handle != nullptr ? readerOf(handle->device) : 0;
}

bool hasEndpoint(const ReaderProfile& profile, unsigned char address) {
    if (!profile.hasInterface) return false;
    return std::any_of(profile.endpoints.begin(), profile.endpoints.end(),
                       [address](const Endpoint& ep) { return ep.address == address; });
}

bool isBulkEndpoint(const ReaderProfile& profile, unsigned char address) {
    if (!profile.hasInterface) return false;
    return std::any_of(profile.endpoints.begin(), profile.endpoints.end(), [address](const Endpoint& ep) {
        return ep.address == address && (ep.attributes & 3) == LIBUSB_TRANSFER_TYPE_BULK;
    });
}

// Hands the OUT bytes to the reader: its handler may queue the reply. The
// handler is test code, so it runs without the bus lock.
void deliverOut(Lock& lock, Reader& reader, const std::vector<std::uint8_t>& out) {
    Handler handler = reader.handler;
    if (!handler) return;
    lock.unlock();
    std::vector<std::uint8_t> reply = handler(out);
    lock.lock();
    if (!reply.empty()) reader.replies.push_back(std::move(reply));
}

const libusb_version kVersion{1, 0, 26, 0, "", "usbsim"};

} // namespace

extern "C" {

int libusb_init(libusb_context** ctx) {
    Lock lock(bus().mutex);
    Call call = makeCall(Fn::Init);
    int result = enter(lock, 0, Fn::Init).value_or(bus().initResult);
    if (result == 0) {
        if (ctx != nullptr)
            *ctx = new libusb_context;
        else
            ++bus().counts.inits;
    }
    call.value = ctx != nullptr ? 1 : 0;
    call.result = result;
    return recordCall(call);
}

void libusb_exit(libusb_context* ctx) {
    Lock lock(bus().mutex);
    enter(lock, 0, Fn::Exit);
    if (ctx != nullptr) {
        delete ctx;
    } else {
        ++bus().counts.exits;
        // The default context's hot-plug callbacks end with it.
        bus().counts.hotplugRegistrations -= static_cast<int>(bus().hotplugs.size());
        bus().hotplugs.clear();
    }
    Call call = makeCall(Fn::Exit);
    call.value = ctx != nullptr ? 1 : 0;
    recordCall(call);
}

void libusb_set_debug(libusb_context*, int level) {
    Lock lock(bus().mutex);
    enter(lock, 0, Fn::SetDebug);
    Call call = makeCall(Fn::SetDebug);
    call.value = level;
    recordCall(call);
}

const libusb_version* libusb_get_version(void) {
    return &kVersion;
}

int libusb_has_capability(uint32_t capability) {
    Lock lock(bus().mutex);
    Call call = makeCall(Fn::HasCapability);
    call.value = static_cast<int>(capability);
    const auto it = bus().capabilities.find(capability);
    call.result = enter(lock, 0, Fn::HasCapability).value_or(it != bus().capabilities.end() ? it->second : 0);
    return recordCall(call);
}

ssize_t libusb_get_device_list(libusb_context*, libusb_device*** list) {
    Lock lock(bus().mutex);
    Call call = makeCall(Fn::GetDeviceList);
    if (auto injected = enter(lock, 0, Fn::GetDeviceList)) {
        call.result = *injected;
        return recordCall(call);
    }
    std::vector<libusb_device*> attached;
    for (const auto& reader : bus().readers) {
        if (reader->device != nullptr) attached.push_back(reader->device);
    }
    std::sort(attached.begin(), attached.end(), [](const libusb_device* a, const libusb_device* b) {
        return a->bus != b->bus ? a->bus < b->bus : a->address < b->address;
    });
    auto** out = new libusb_device*[attached.size() + 1];
    for (std::size_t i = 0; i < attached.size(); ++i) {
        addReference(attached[i]);
        out[i] = attached[i];
    }
    out[attached.size()] = nullptr;
    *list = out;
    ++bus().counts.deviceLists;
    call.result = static_cast<int>(attached.size());
    return recordCall(call);
}

void libusb_free_device_list(libusb_device** list, int unref_devices) {
    if (list == nullptr) return;
    Lock lock(bus().mutex);
    enter(lock, 0, Fn::FreeDeviceList);
    if (unref_devices) {
        for (libusb_device** it = list; *it != nullptr; ++it)
            dropReference(*it);
    }
    delete[] list;
    --bus().counts.deviceLists;
    Call call = makeCall(Fn::FreeDeviceList);
    call.value = unref_devices;
    recordCall(call);
}

libusb_device* libusb_ref_device(libusb_device* dev) {
    Lock lock(bus().mutex);
    addReference(dev);
    return dev;
}

void libusb_unref_device(libusb_device* dev) {
    if (dev == nullptr) return;
    Lock lock(bus().mutex);
    dropReference(dev);
}

int libusb_get_device_descriptor(libusb_device* dev, libusb_device_descriptor* desc) {
    Lock lock(bus().mutex);
    Call call = makeCall(Fn::GetDeviceDescriptor, readerOf(dev));
    if (auto injected = enter(lock, call.reader, Fn::GetDeviceDescriptor)) {
        call.result = *injected;
        return recordCall(call);
    }
    const ReaderProfile& profile = dev->reader->profile;
    std::memset(desc, 0, sizeof *desc);
    desc->bLength = LIBUSB_DT_DEVICE_SIZE;
    desc->bDescriptorType = LIBUSB_DT_DEVICE;
    desc->bcdUSB = 0x0200;
    desc->bDeviceClass = profile.deviceClass;
    desc->bMaxPacketSize0 = 64;
    desc->idVendor = profile.vendor;
    desc->idProduct = profile.product;
    desc->iManufacturer = profile.strings.count(3) ? 3 : 0;
    desc->iProduct = profile.strings.count(5) ? 5 : 0;
    desc->iSerialNumber = profile.strings.count(1) ? 1 : 0;
    desc->bNumConfigurations = profile.numConfigurations;
    return recordCall(call);
}

int libusb_get_config_descriptor(libusb_device* dev, uint8_t config_index,
                                 libusb_config_descriptor** config) {
    Lock lock(bus().mutex);
    Call call = makeCall(Fn::GetConfigDescriptor, readerOf(dev));
    call.value = config_index;
    if (auto injected = enter(lock, call.reader, Fn::GetConfigDescriptor)) {
        call.result = *injected;
        return recordCall(call);
    }
    const ReaderProfile& profile = dev->reader->profile;
    if (config_index >= profile.numConfigurations) {
        call.result = LIBUSB_ERROR_NOT_FOUND;
        return recordCall(call);
    }
    auto block = std::make_unique<ConfigBlock>();
    for (const Endpoint& ep : profile.endpoints) {
        libusb_endpoint_descriptor d{};
        d.bLength = LIBUSB_DT_ENDPOINT_SIZE;
        d.bDescriptorType = LIBUSB_DT_ENDPOINT;
        d.bEndpointAddress = ep.address;
        d.bmAttributes = ep.attributes;
        d.wMaxPacketSize = 64;
        block->endpoints.push_back(d);
    }
    block->altsetting.bLength = LIBUSB_DT_INTERFACE_SIZE;
    block->altsetting.bDescriptorType = LIBUSB_DT_INTERFACE;
    block->altsetting.bInterfaceClass = LIBUSB_CLASS_VENDOR_SPEC;
    block->altsetting.bNumEndpoints = static_cast<uint8_t>(block->endpoints.size());
    block->altsetting.endpoint = block->endpoints.empty() ? nullptr : block->endpoints.data();
    block->interface.altsetting = &block->altsetting;
    block->interface.num_altsetting = 1;
    block->config.bLength = LIBUSB_DT_CONFIG_SIZE;
    block->config.bDescriptorType = LIBUSB_DT_CONFIG;
    block->config.bNumInterfaces = profile.hasInterface ? 1 : 0;
    block->config.bConfigurationValue = profile.configurationValue;
    block->config.interface = profile.hasInterface ? &block->interface : nullptr;
    *config = &block->config;
    bus().configs.emplace(&block->config, std::move(block));
    return recordCall(call);
}

void libusb_free_config_descriptor(libusb_config_descriptor* config) {
    if (config == nullptr) return;
    Lock lock(bus().mutex);
    enter(lock, 0, Fn::FreeConfigDescriptor);
    if (bus().configs.erase(config) == 0) {
        std::fprintf(stderr, "usbsim: free of an unknown configuration descriptor %p\n",
                     static_cast<void*>(config));
        std::abort();
    }
    recordCall(makeCall(Fn::FreeConfigDescriptor));
}

uint8_t libusb_get_bus_number(libusb_device* dev) {
    Lock lock(bus().mutex);
    return dev->bus;
}

uint8_t libusb_get_device_address(libusb_device* dev) {
    Lock lock(bus().mutex);
    return dev->address;
}

int libusb_open(libusb_device* dev, libusb_device_handle** dev_handle) {
    Lock lock(bus().mutex);
    Call call = makeCall(Fn::Open, readerOf(dev));
    if (auto injected = enter(lock, call.reader, Fn::Open)) {
        call.result = *injected;
        return recordCall(call);
    }
    if (!dev->onBus) {
        call.result = LIBUSB_ERROR_NO_DEVICE;
        return recordCall(call);
    }
    auto* handle = new libusb_device_handle;
    handle->device = dev;
    addReference(dev);
    ++bus().counts.liveHandles;
    *dev_handle = handle;
    return recordCall(call);
}

void libusb_close(libusb_device_handle* dev_handle) {
    if (dev_handle == nullptr) return;
    Lock lock(bus().mutex);
    Call call = makeCall(Fn::Close, handleReader(dev_handle));
    enter(lock, call.reader, Fn::Close);
    // The kernel lets go of interfaces still claimed when a handle closes.
    bus().counts.claims -= static_cast<int>(dev_handle->claimed.size());
    call.value = static_cast<int>(dev_handle->claimed.size());
    dropReference(dev_handle->device);
    delete dev_handle;
    --bus().counts.liveHandles;
    recordCall(call);
}

int libusb_get_string_descriptor_ascii(libusb_device_handle* dev_handle, uint8_t desc_index,
                                       unsigned char* data, int length) {
    Lock lock(bus().mutex);
    Call call = makeCall(Fn::GetStringDescriptor, handleReader(dev_handle));
    call.value = desc_index;
    call.length = length;
    if (auto injected = enter(lock, call.reader, Fn::GetStringDescriptor)) {
        call.result = *injected;
        return recordCall(call);
    }
    const Reader& reader = *dev_handle->device->reader;
    const auto it = reader.profile.strings.find(desc_index);
    if (!dev_handle->device->onBus)
        call.result = LIBUSB_ERROR_NO_DEVICE;
    else if (desc_index == 0 || length < 1)
        call.result = LIBUSB_ERROR_INVALID_PARAM;
    else if (it == reader.profile.strings.end())
        call.result = LIBUSB_ERROR_PIPE;
    else {
        const std::size_t n =
            std::min({it->second.size(), kMaxStringChars, static_cast<std::size_t>(length - 1)});
        std::memcpy(data, it->second.data(), n);
        data[n] = 0;
        call.result = static_cast<int>(n);
    }
    return recordCall(call);
}

int libusb_set_configuration(libusb_device_handle* dev_handle, int configuration) {
    Lock lock(bus().mutex);
    Call call = makeCall(Fn::SetConfiguration, handleReader(dev_handle));
    call.value = configuration;
    if (auto injected = enter(lock, call.reader, Fn::SetConfiguration)) {
        call.result = *injected;
        return recordCall(call);
    }
    Reader& reader = *dev_handle->device->reader;
    if (!dev_handle->device->onBus)
        call.result = LIBUSB_ERROR_NO_DEVICE;
    else if (configuration != -1 && (configuration < 1 || configuration > reader.profile.numConfigurations))
        call.result = LIBUSB_ERROR_NOT_FOUND;
    else if (!dev_handle->claimed.empty())
        call.result = LIBUSB_ERROR_BUSY;
    else
        reader.activeConfiguration = configuration;
    return recordCall(call);
}

int libusb_claim_interface(libusb_device_handle* dev_handle, int interface_number) {
    Lock lock(bus().mutex);
    Call call = makeCall(Fn::ClaimInterface, handleReader(dev_handle));
    call.value = interface_number;
    if (auto injected = enter(lock, call.reader, Fn::ClaimInterface)) {
        call.result = *injected;
        return recordCall(call);
    }
    const ReaderProfile& profile = dev_handle->device->reader->profile;
    if (!dev_handle->device->onBus)
        call.result = LIBUSB_ERROR_NO_DEVICE;
    else if (interface_number != 0 || !profile.hasInterface)
        call.result = LIBUSB_ERROR_NOT_FOUND;
    else if (dev_handle->claimed.insert(interface_number).second)
        ++bus().counts.claims;
    return recordCall(call);
}

int libusb_release_interface(libusb_device_handle* dev_handle, int interface_number) {
    Lock lock(bus().mutex);
    Call call = makeCall(Fn::ReleaseInterface, handleReader(dev_handle));
    call.value = interface_number;
    if (auto injected = enter(lock, call.reader, Fn::ReleaseInterface)) {
        call.result = *injected;
        return recordCall(call);
    }
    if (dev_handle->claimed.erase(interface_number) == 0)
        call.result = LIBUSB_ERROR_NOT_FOUND;
    else {
        --bus().counts.claims;
        if (!dev_handle->device->onBus) call.result = LIBUSB_ERROR_NO_DEVICE;
    }
    return recordCall(call);
}

int libusb_detach_kernel_driver(libusb_device_handle* dev_handle, int interface_number) {
    Lock lock(bus().mutex);
    Call call = makeCall(Fn::DetachKernelDriver, handleReader(dev_handle));
    call.value = interface_number;
    // No kernel driver is bound to a reader's vendor interface.
    call.result = enter(lock, call.reader, Fn::DetachKernelDriver).value_or(LIBUSB_ERROR_NOT_FOUND);
    if (!dev_handle->device->onBus) call.result = LIBUSB_ERROR_NO_DEVICE;
    return recordCall(call);
}

int libusb_bulk_transfer(libusb_device_handle* dev_handle, unsigned char endpoint, unsigned char* data,
                         int length, int* actual_length, unsigned int timeout) {
    Lock lock(bus().mutex);
    Call call = makeCall(Fn::BulkTransfer, handleReader(dev_handle));
    call.endpoint = endpoint;
    call.length = length;
    call.timeout = timeout;
    if (actual_length != nullptr) *actual_length = 0;
    if (auto injected = enter(lock, call.reader, Fn::BulkTransfer)) {
        call.result = *injected;
        return recordCall(call);
    }
    Reader& reader = *dev_handle->device->reader;
    if (!dev_handle->device->onBus) {
        call.result = LIBUSB_ERROR_NO_DEVICE;
    } else if (length < 0 || (length > 0 && data == nullptr)) {
        call.result = LIBUSB_ERROR_INVALID_PARAM;
    } else if (!isBulkEndpoint(reader.profile, endpoint)) {
        call.result = LIBUSB_ERROR_IO;
    } else if ((endpoint & LIBUSB_ENDPOINT_IN) == 0) {
        call.data.assign(data, data + length);
        if (actual_length != nullptr) *actual_length = length;
        const std::vector<std::uint8_t> out = call.data;
        deliverOut(lock, reader, out);
    } else if (reader.replies.empty()) {
        call.result = LIBUSB_ERROR_TIMEOUT;
    } else {
        std::vector<std::uint8_t> reply = std::move(reader.replies.front());
        reader.replies.pop_front();
        const std::size_t n = std::min(reply.size(), static_cast<std::size_t>(length));
        if (n > 0) std::memcpy(data, reply.data(), n);
        if (actual_length != nullptr) *actual_length = static_cast<int>(n);
        if (reply.size() > n) call.result = LIBUSB_ERROR_OVERFLOW;
    }
    return recordCall(call);
}

int libusb_control_transfer(libusb_device_handle* dev_handle, uint8_t request_type, uint8_t bRequest,
                            uint16_t wValue, uint16_t wIndex, unsigned char* data, uint16_t wLength,
                            unsigned int timeout) {
    Lock lock(bus().mutex);
    Call call = makeCall(Fn::ControlTransfer, handleReader(dev_handle));
    call.requestType = request_type;
    call.request = bRequest;
    call.length = wLength;
    call.timeout = timeout;
    if (auto injected = enter(lock, call.reader, Fn::ControlTransfer)) {
        call.result = *injected;
        return recordCall(call);
    }
    Reader& reader = *dev_handle->device->reader;
    const bool vendorRequest = bRequest == 0 && wValue == 0 && wIndex == 0;
    if (!dev_handle->device->onBus) {
        call.result = LIBUSB_ERROR_NO_DEVICE;
    } else if (wLength > 0 && data == nullptr) {
        call.result = LIBUSB_ERROR_INVALID_PARAM;
    } else if (request_type == 0x40 && vendorRequest) {
        call.data.assign(data, data + wLength);
        call.result = wLength;
        const std::vector<std::uint8_t> out = call.data;
        deliverOut(lock, reader, out);
    } else if (request_type == 0xC0 && vendorRequest) {
        if (reader.replies.empty()) {
            call.result = LIBUSB_ERROR_TIMEOUT;
        } else {
            std::vector<std::uint8_t> reply = std::move(reader.replies.front());
            reader.replies.pop_front();
            // The reader sends at most what the request's length field asks for.
            const std::size_t n = std::min(reply.size(), static_cast<std::size_t>(wLength));
            if (n > 0) std::memcpy(data, reply.data(), n);
            call.result = static_cast<int>(n);
        }
    } else {
        call.result = LIBUSB_ERROR_PIPE;
    }
    return recordCall(call);
}

int libusb_clear_halt(libusb_device_handle* dev_handle, unsigned char endpoint) {
    Lock lock(bus().mutex);
    Call call = makeCall(Fn::ClearHalt, handleReader(dev_handle));
    call.endpoint = endpoint;
    if (auto injected = enter(lock, call.reader, Fn::ClearHalt)) {
        call.result = *injected;
        return recordCall(call);
    }
    if (!dev_handle->device->onBus)
        call.result = LIBUSB_ERROR_NO_DEVICE;
    else if (!hasEndpoint(dev_handle->device->reader->profile, endpoint))
        call.result = LIBUSB_ERROR_NOT_FOUND;
    return recordCall(call);
}

int libusb_reset_device(libusb_device_handle* dev_handle) {
    Lock lock(bus().mutex);
    Call call = makeCall(Fn::ResetDevice, handleReader(dev_handle));
    if (auto injected = enter(lock, call.reader, Fn::ResetDevice)) {
        call.result = *injected;
        return recordCall(call);
    }
    if (!dev_handle->device->onBus) call.result = LIBUSB_ERROR_NO_DEVICE;
    return recordCall(call);
}

int libusb_hotplug_register_callback(libusb_context*, int events, int flags, int vendor_id, int product_id,
                                     int dev_class, libusb_hotplug_callback_fn cb_fn, void* user_data,
                                     libusb_hotplug_callback_handle* callback_handle) {
    Lock lock(bus().mutex);
    Call call = makeCall(Fn::HotplugRegister);
    call.value = events;
    call.flags = flags;
    call.vendor = vendor_id;
    call.product = product_id;
    call.deviceClass = dev_class;
    call.userData = user_data;
    if (auto injected = enter(lock, 0, Fn::HotplugRegister)) {
        call.result = *injected;
        return recordCall(call);
    }
    if (cb_fn == nullptr || events == 0 ||
        (events & ~(LIBUSB_HOTPLUG_EVENT_DEVICE_ARRIVED | LIBUSB_HOTPLUG_EVENT_DEVICE_LEFT)) != 0) {
        call.result = LIBUSB_ERROR_INVALID_PARAM;
        return recordCall(call);
    }
    Hotplug hotplug;
    hotplug.handle = ++bus().lastHotplugHandle;
    hotplug.events = events;
    hotplug.vendor = vendor_id;
    hotplug.product = product_id;
    hotplug.deviceClass = dev_class;
    hotplug.callback = cb_fn;
    hotplug.userData = user_data;
    bus().hotplugs.push_back(hotplug);
    ++bus().counts.hotplugRegistrations;
    if (callback_handle != nullptr) *callback_handle = hotplug.handle;
    call.handle = hotplug.handle;
    return recordCall(call);
}

void libusb_hotplug_deregister_callback(libusb_context*, libusb_hotplug_callback_handle callback_handle) {
    Lock lock(bus().mutex);
    enter(lock, 0, Fn::HotplugDeregister);
    auto& hotplugs = bus().hotplugs;
    const auto it = std::find_if(hotplugs.begin(), hotplugs.end(),
                                 [callback_handle](const Hotplug& h) { return h.handle == callback_handle; });
    if (it != hotplugs.end()) {
        hotplugs.erase(it);
        --bus().counts.hotplugRegistrations;
    }
    Call call = makeCall(Fn::HotplugDeregister);
    call.handle = callback_handle;
    recordCall(call);
}

} // extern "C"

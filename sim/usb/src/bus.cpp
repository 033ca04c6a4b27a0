// The bus state and the control API that scripts it.
#include "bus.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace usbsim::detail {

Bus& bus() {
    // Built on first use, so the bus works before any other library's static
    // initialisation has run.
    static Bus* instance = new Bus;
    return *instance;
}

namespace {

thread_local bool t_inHotplugCallback = false;

bool isSynchronousIo(Fn fn) {
    return fn == Fn::Open || fn == Fn::GetStringDescriptor || fn == Fn::BulkTransfer ||
           fn == Fn::ControlTransfer;
}

bool matches(const Hotplug& hotplug, const ReaderProfile& profile, libusb_hotplug_event event) {
    auto match = [](int wanted, int actual) {
        return wanted == LIBUSB_HOTPLUG_MATCH_ANY || wanted == actual;
    };
    return (hotplug.events & event) != 0 && match(hotplug.vendor, profile.vendor) &&
           match(hotplug.product, profile.product) && match(hotplug.deviceClass, profile.deviceClass);
}

} // namespace

bool inHotplugCallback() {
    return t_inHotplugCallback;
}

void fireHotplug(std::unique_lock<std::mutex>& lock, libusb_device* device, libusb_hotplug_event event) {
    Bus& b = bus();
    std::vector<Hotplug> due;
    for (const Hotplug& hotplug : b.hotplugs) {
        if (matches(hotplug, device->reader->profile, event)) due.push_back(hotplug);
    }
    if (due.empty()) return;
    addReference(device); // valid for the callbacks whatever they do
    for (const Hotplug& hotplug : due) {
        auto live = [&b, &hotplug] {
            return std::find_if(b.hotplugs.begin(), b.hotplugs.end(),
                                [&hotplug](const Hotplug& h) { return h.handle == hotplug.handle; });
        };
        if (live() == b.hotplugs.end()) continue; // deregistered meanwhile
        lock.unlock();
        t_inHotplugCallback = true;
        const int result = hotplug.callback(nullptr, device, event, hotplug.userData);
        t_inHotplugCallback = false;
        lock.lock();
        if (result != 0) {
            const auto it = live();
            if (it != b.hotplugs.end()) {
                b.hotplugs.erase(it);
                --b.counts.hotplugRegistrations;
            }
        }
    }
    dropReference(device);
}

std::optional<int> enter(std::unique_lock<std::mutex>& lock, int reader, Fn fn) {
    Bus& b = bus();
    if (t_inHotplugCallback && isSynchronousIo(fn)) ++b.counts.callsInHotplugCallback;
    if (b.blockTarget && b.blockTarget->first == reader && b.blockTarget->second == fn) {
        b.blockTarget.reset();
        b.blocked = true;
        b.changed.notify_all();
        b.changed.wait(lock, [&b] { return !b.blocked; });
    }
    for (auto it = b.injections.begin(); it != b.injections.end(); ++it) {
        if (it->reader != reader || it->fn != fn) continue;
        if (--it->remaining == 0) {
            const int result = it->result;
            b.injections.erase(it);
            return result;
        }
    }
    return std::nullopt;
}

int readerOf(const libusb_device* device) {
    return device != nullptr && device->reader ? device->reader->id : 0;
}

void addReference(libusb_device* device) {
    if (bus().devices.count(device) == 0) {
        std::fprintf(stderr, "usbsim: reference to a freed libusb_device %p\n", static_cast<void*>(device));
        std::abort();
    }
    ++device->refs;
}

void dropReference(libusb_device* device) {
    Bus& b = bus();
    if (b.devices.count(device) == 0 || device->refs <= 0) {
        std::fprintf(stderr, "usbsim: unreference of a freed libusb_device %p\n", static_cast<void*>(device));
        std::abort();
    }
    if (--device->refs == 0) {
        b.devices.erase(device);
        delete device;
    }
}

void detach(Reader& reader) {
    libusb_device* device = reader.device;
    if (device == nullptr) return;
    reader.device = nullptr;
    device->onBus = false;
    dropReference(device);
}

void attach(Reader& reader) {
    Bus& b = bus();
    auto* device = new libusb_device;
    device->bus = reader.profile.bus;
    std::uint8_t& last = b.lastAddress[reader.profile.bus];
    last = static_cast<std::uint8_t>(last >= 127 ? 1 : last + 1);
    device->address = last;
    for (const auto& other : b.readers) {
        if (other->id == reader.id) device->reader = other;
    }
    b.devices.insert(device);
    reader.device = device;
}

namespace {

std::shared_ptr<Reader> findReader(int id) {
    for (const auto& reader : bus().readers) {
        if (reader->id == id) return reader;
    }
    std::fprintf(stderr, "usbsim: no reader %d\n", id);
    std::abort();
}

} // namespace

} // namespace usbsim::detail

namespace usbsim {

using namespace detail;

const char* fnName(Fn fn) {
    switch (fn) {
    case Fn::Init: return "libusb_init";
    case Fn::Exit: return "libusb_exit";
    case Fn::SetDebug: return "libusb_set_debug";
    case Fn::HasCapability: return "libusb_has_capability";
    case Fn::GetDeviceList: return "libusb_get_device_list";
    case Fn::FreeDeviceList: return "libusb_free_device_list";
    case Fn::GetDeviceDescriptor: return "libusb_get_device_descriptor";
    case Fn::GetConfigDescriptor: return "libusb_get_config_descriptor";
    case Fn::FreeConfigDescriptor: return "libusb_free_config_descriptor";
    case Fn::Open: return "libusb_open";
    case Fn::Close: return "libusb_close";
    case Fn::GetStringDescriptor: return "libusb_get_string_descriptor_ascii";
    case Fn::SetConfiguration: return "libusb_set_configuration";
    case Fn::ClaimInterface: return "libusb_claim_interface";
    case Fn::ReleaseInterface: return "libusb_release_interface";
    case Fn::DetachKernelDriver: return "libusb_detach_kernel_driver";
    case Fn::BulkTransfer: return "libusb_bulk_transfer";
    case Fn::ControlTransfer: return "libusb_control_transfer";
    case Fn::ClearHalt: return "libusb_clear_halt";
    case Fn::ResetDevice: return "libusb_reset_device";
    case Fn::HotplugRegister: return "libusb_hotplug_register_callback";
    case Fn::HotplugDeregister: return "libusb_hotplug_deregister_callback";
    }
    return "?";
}

void reset() {
    Bus& b = bus();
    std::lock_guard lock(b.mutex);
    for (const auto& reader : b.readers)
        detach(*reader);
    b.readers.clear();
    b.lastAddress.clear();
    b.injections.clear();
    b.initResult = 0;
    b.capabilities = {{0, 1}, {1, 1}};
    b.blockTarget.reset();
    b.blocked = false;
    b.changed.notify_all();
    b.record.clear();
    b.hotplugs.clear();
    b.counts.inits = 0;
    b.counts.exits = 0;
    b.counts.hotplugRegistrations = 0;
    b.counts.callsInHotplugCallback = 0;
}

namespace {

void unplugLocked(std::unique_lock<std::mutex>& lock, Reader& reader) {
    libusb_device* device = reader.device;
    if (device == nullptr) return;
    addReference(device);
    detach(reader);
    fireHotplug(lock, device, LIBUSB_HOTPLUG_EVENT_DEVICE_LEFT);
    dropReference(device);
}

void plugLocked(std::unique_lock<std::mutex>& lock, Reader& reader) {
    attach(reader);
    fireHotplug(lock, reader.device, LIBUSB_HOTPLUG_EVENT_DEVICE_ARRIVED);
}

} // namespace

int plug(const ReaderProfile& profile) {
    Bus& b = bus();
    std::unique_lock lock(b.mutex);
    auto reader = std::make_shared<Reader>();
    reader->id = static_cast<int>(b.readers.size()) + 1;
    reader->profile = profile;
    b.readers.push_back(reader);
    plugLocked(lock, *reader);
    return reader->id;
}

void unplug(int id) {
    Bus& b = bus();
    std::unique_lock lock(b.mutex);
    unplugLocked(lock, *findReader(id));
}

void replug(int id) {
    Bus& b = bus();
    std::unique_lock lock(b.mutex);
    const auto reader = findReader(id);
    unplugLocked(lock, *reader);
    plugLocked(lock, *reader);
}

int address(int id) {
    std::lock_guard lock(bus().mutex);
    const auto reader = findReader(id);
    return reader->device != nullptr ? reader->device->address : 0;
}

void queueReply(int id, std::vector<std::uint8_t> reply) {
    std::lock_guard lock(bus().mutex);
    findReader(id)->replies.push_back(std::move(reply));
}

void setHandler(int id, Handler handler) {
    std::lock_guard lock(bus().mutex);
    findReader(id)->handler = std::move(handler);
}

void injectResult(int reader, Fn fn, int nth, int result) {
    std::lock_guard lock(bus().mutex);
    bus().injections.push_back({reader, fn, nth < 1 ? 1 : nth, result});
}

void setInitResult(int result) {
    std::lock_guard lock(bus().mutex);
    bus().initResult = result;
}

void setCapability(std::uint32_t capability, int answer) {
    std::lock_guard lock(bus().mutex);
    bus().capabilities[capability] = answer;
}

void blockNext(int reader, Fn fn) {
    std::lock_guard lock(bus().mutex);
    bus().blockTarget = std::make_pair(reader, fn);
}

bool isBlocked() {
    std::lock_guard lock(bus().mutex);
    return bus().blocked;
}

void release() {
    Bus& b = bus();
    std::lock_guard lock(b.mutex);
    b.blockTarget.reset();
    b.blocked = false;
    b.changed.notify_all();
}

std::vector<Call> calls() {
    std::lock_guard lock(bus().mutex);
    return bus().record;
}

std::vector<Call> calls(Fn fn) {
    std::lock_guard lock(bus().mutex);
    std::vector<Call> result;
    std::copy_if(bus().record.begin(), bus().record.end(), std::back_inserter(result),
                 [fn](const Call& call) { return call.fn == fn; });
    return result;
}

void clearCalls() {
    std::lock_guard lock(bus().mutex);
    bus().record.clear();
}

namespace {

std::size_t countCalls(Fn fn) {
    const auto& record = bus().record;
    return static_cast<std::size_t>(
        std::count_if(record.begin(), record.end(), [fn](const Call& call) { return call.fn == fn; }));
}

} // namespace

bool waitForCalls(Fn fn, std::size_t n, std::chrono::milliseconds timeout) {
    Bus& b = bus();
    std::unique_lock lock(b.mutex);
    return b.changed.wait_for(lock, timeout, [fn, n] { return countCalls(fn) >= n; });
}

std::size_t callCount(Fn fn) {
    std::lock_guard lock(bus().mutex);
    return countCalls(fn);
}

Counters counters() {
    Bus& b = bus();
    std::lock_guard lock(b.mutex);
    Counters result = b.counts;
    result.extraReferences = 0;
    for (const libusb_device* device : b.devices)
        result.extraReferences += device->refs - (device->onBus ? 1 : 0);
    result.configDescriptors = static_cast<int>(b.configs.size());
    return result;
}

} // namespace usbsim

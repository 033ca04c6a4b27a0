// State of the simulated bus: readers, the libusb objects handed out for them,
// faults, held calls and the call record. Shared by the control API and the
// libusb entry points; everything is guarded by Bus::mutex.
#ifndef USBSIM_BUS_H
#define USBSIM_BUS_H

#include <usbsim/usbsim.h>

#pragma GCC visibility push(default)
#include <libusb-1.0/libusb.h>
#pragma GCC visibility pop

#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <vector>

namespace usbsim::detail {

// The device side of one reader; it survives replugging.
struct Reader {
    int id = 0;
    ReaderProfile profile;
    std::deque<std::vector<std::uint8_t>> replies;
    Handler handler;
    libusb_device* device = nullptr; // the device now on the bus, null when unplugged
    int activeConfiguration = 1;
};

} // namespace usbsim::detail

// The opaque libusb types, as the bus defines them.
struct libusb_device {
    int refs = 1; // the bus's own reference while attached
    bool onBus = true;
    std::uint8_t bus = 1;
    std::uint8_t address = 1;
    std::shared_ptr<usbsim::detail::Reader> reader;
};

struct libusb_device_handle {
    libusb_device* device = nullptr;
    std::set<int> claimed;
};

struct libusb_context {
    int unused = 0;
};

namespace usbsim::detail {

struct Injection {
    int reader;
    Fn fn;
    int remaining;
    int result;
};

// A configuration descriptor with the storage its pointers refer to.
struct ConfigBlock {
    libusb_config_descriptor config{};
    libusb_interface interface {};
    libusb_interface_descriptor altsetting{};
    std::vector<libusb_endpoint_descriptor> endpoints;
};

struct Hotplug {
    int handle = 0;
    int events = 0;
    int vendor = LIBUSB_HOTPLUG_MATCH_ANY;
    int product = LIBUSB_HOTPLUG_MATCH_ANY;
    int deviceClass = LIBUSB_HOTPLUG_MATCH_ANY;
    libusb_hotplug_callback_fn callback = nullptr;
    void* userData = nullptr;
};

struct Bus {
    std::mutex mutex;
    std::condition_variable changed;

    std::vector<std::shared_ptr<Reader>> readers; // in plug order, plugged or not
    std::set<libusb_device*> devices;             // every live device object
    std::map<const libusb_config_descriptor*, std::unique_ptr<ConfigBlock>> configs;
    std::map<std::uint8_t, std::uint8_t> lastAddress; // per bus

    std::vector<Injection> injections;
    int initResult = 0;
    std::map<std::uint32_t, int> capabilities{{0, 1}, {1, 1}};

    std::optional<std::pair<int, Fn>> blockTarget;
    bool blocked = false;

    std::vector<Hotplug> hotplugs; // live registrations, in registration order
    int lastHotplugHandle = 0;

    std::vector<Call> record;
    Counters counts;
};

Bus& bus();

// Called at the start of every libusb entry point with the bus locked: holds the
// call back when it is the blocked target, then returns an injected result if
// one is due.
std::optional<int> enter(std::unique_lock<std::mutex>& lock, int reader, Fn fn);

int readerOf(const libusb_device* device);
void addReference(libusb_device* device);
void dropReference(libusb_device* device); // frees the object at zero
void detach(Reader& reader);               // takes the reader's device off the bus
void attach(Reader& reader);               // puts a new device for it on the bus

// Calls the matching hot-plug callbacks for `device` with the bus unlocked;
// `lock` is held on entry and on return.
void fireHotplug(std::unique_lock<std::mutex>& lock, libusb_device* device, libusb_hotplug_event event);
// True on a thread that is running a hot-plug callback.
bool inHotplugCallback();

} // namespace usbsim::detail

#endif

// Control side of the simulated USB bus. The library that carries this header
// also exports the libusb-1.0 functions (as <libusb-1.0/libusb.h> declares
// them), so a program linked against it sees these scripted readers where it
// would otherwise see the machine's bus.
//
// Everything here may be called before any libusb function runs, from any
// thread. One mutex guards the bus; it is never held while a call is held back
// by blockNext().
#ifndef USBSIM_USBSIM_H
#define USBSIM_USBSIM_H

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#define USBSIM_API __attribute__((visibility("default")))

namespace usbsim {

// The libusb functions the bus answers, for fault injection, holding calls
// back and reading the call record.
enum class Fn {
    Init,
    Exit,
    SetDebug,
    HasCapability,
    GetDeviceList,
    FreeDeviceList,
    GetDeviceDescriptor,
    GetConfigDescriptor,
    FreeConfigDescriptor,
    Open,
    Close,
    GetStringDescriptor,
    SetConfiguration,
    ClaimInterface,
    ReleaseInterface,
    DetachKernelDriver,
    BulkTransfer,
    ControlTransfer,
    ClearHalt,
    ResetDevice,
    HotplugRegister,
    HotplugDeregister,
};

USBSIM_API const char* fnName(Fn fn);

// An endpoint of interface 0, alternate setting 0. Attributes bits 0-1: 0
// control, 1 isochronous, 2 bulk, 3 interrupt.
struct Endpoint {
    std::uint8_t address;
    std::uint8_t attributes;
};

inline constexpr Endpoint kBulkIn{0x81, 2};
inline constexpr Endpoint kBulkOut{0x02, 2};

// What a reader looks like on the bus.
struct ReaderProfile {
    std::uint16_t vendor = 0;
    std::uint16_t product = 1;
    std::uint8_t numConfigurations = 1;  // device descriptor
    std::uint8_t configurationValue = 1; // configuration descriptor index 0
    bool hasInterface = true;            // false: configuration without interfaces
    std::vector<Endpoint> endpoints{kBulkIn, kBulkOut};
    // String descriptors by index; an index not listed stalls when read.
    std::map<int, std::string> strings;
    std::uint8_t bus = 1;
    std::uint8_t deviceClass = 0; // bDeviceClass, matched by hot-plug registrations
};

// Answers an OUT transfer with the IN data the reader will send next (an empty
// reply queues nothing).
using Handler = std::function<std::vector<std::uint8_t>(const std::vector<std::uint8_t>& out)>;

// One recorded libusb call. `reader` is 0 for calls that concern no reader.
struct Call {
    Fn fn = Fn::Init;
    int reader = 0;
    int endpoint = -1;    // bulk transfers, clear halt
    int requestType = -1; // control transfers
    int request = -1;
    int length = -1; // bytes asked for or offered
    unsigned timeout = 0;
    int value = -1; // configuration, interface, string index or debug level
    int result = 0;
    std::vector<std::uint8_t> data; // bytes written (OUT transfers)
    // Hot-plug registrations: `value` holds the events, `result` the result;
    // `handle` is the handle handed out (register) or given (deregister).
    int flags = -1;
    int vendor = -1;
    int product = -1;
    int deviceClass = -1;
    void* userData = nullptr;
    int handle = -1;
};

struct Counters {
    int liveHandles = 0;          // opened and not closed
    int claims = 0;               // interfaces claimed and not released
    int configDescriptors = 0;    // handed out and not freed
    int deviceLists = 0;          // handed out and not freed
    int extraReferences = 0;      // device references beyond the bus's own
    int inits = 0;                // successful libusb_init on the default context
    int exits = 0;                // libusb_exit on the default context
    int hotplugRegistrations = 0; // hot-plug callbacks registered and not deregistered
    // Synchronous calls (open, string descriptors, transfers) made inside a
    // hot-plug callback, where libusb forbids them.
    int callsInHotplugCallback = 0;
};

// Removes every reader, fault, script, held call and record and sets the init
// and exit counts to zero. Objects a program still holds (devices, handles,
// descriptors) stay valid until it releases them and keep counting.
USBSIM_API void reset();

// Plugs a reader in; returns its id (1, 2, ...). Each plug gets the next free
// address on its bus.
USBSIM_API int plug(const ReaderProfile& profile);
// Plugging, unplugging and replugging call, on the caller's thread and without
// the bus lock, the hot-plug callbacks whose events, vendor, product and device
// class match the reader (arrival after plugging; departure before the device
// leaves). A callback that returns non-zero is deregistered.
//
// Pulls the reader out: its libusb device leaves the bus; open handles stay but
// every transfer and string read on them fails with LIBUSB_ERROR_NO_DEVICE.
USBSIM_API void unplug(int reader);
// Unplugs and plugs the same reader again: a new libusb device and a new address,
// the same strings, scripts and handler.
USBSIM_API void replug(int reader);
USBSIM_API int address(int reader);

// IN data the reader sends, one transfer per queued reply, in order. Without a
// queued reply an IN transfer times out.
USBSIM_API void queueReply(int reader, std::vector<std::uint8_t> reply);
USBSIM_API void setHandler(int reader, Handler handler);

// The n-th (1-based, counted from now) call of `fn` concerning `reader` (0: a
// call that concerns no reader) returns `result` and does nothing else.
USBSIM_API void injectResult(int reader, Fn fn, int nth, int result);
// Result of the next libusb_init calls (0 succeeds).
USBSIM_API void setInitResult(int result);
// Answer of libusb_has_capability for `capability` (defaults: 0 and 1 answer 1).
USBSIM_API void setCapability(std::uint32_t capability, int answer);

// Holds the next call of `fn` concerning `reader` back until release(); the
// bus stays usable meanwhile.
USBSIM_API void blockNext(int reader, Fn fn);
USBSIM_API bool isBlocked();
USBSIM_API void release();

USBSIM_API std::vector<Call> calls();
USBSIM_API std::vector<Call> calls(Fn fn);
USBSIM_API void clearCalls();
// Waits until the record holds at least `n` calls of `fn`; false on time-out.
USBSIM_API bool waitForCalls(Fn fn, std::size_t n, std::chrono::milliseconds timeout);
// Number of recorded calls of `fn`.
USBSIM_API std::size_t callCount(Fn fn);
USBSIM_API Counters counters();

} // namespace usbsim

#endif

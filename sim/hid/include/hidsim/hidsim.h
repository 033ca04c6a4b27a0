// Control side of the simulated hidapi. The library that carries this header
// also defines every hid_* function of <hidapi/hidapi.h> with C linkage, so a
// program linked against it sees the devices plugged here where it would
// otherwise see the machine's hidraw nodes.
//
// Everything here may be called before any hid_* function runs, from any
// thread. One mutex guards the whole simulator; no thread of its own runs: a
// device model is handed each output report on the writer's thread (without the
// mutex held) and queues its answer before hid_write returns.
#ifndef HIDSIM_HIDSIM_H
#define HIDSIM_HIDSIM_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#define HIDSIM_API __attribute__((visibility("default")))

namespace hidsim {

using Report = std::vector<std::uint8_t>;

// The hidapi functions the simulator answers, for fault injection and the call
// record. hid_open and hid_open_path are both Open; hid_read and
// hid_read_timeout are both Read (hid_read records the time-out it stands for:
// -1 blocking, 0 non-blocking).
enum class Fn {
    Init,
    Exit,
    Enumerate,
    FreeEnumeration,
    Open,
    Write,
    Read,
    SetNonblocking,
    SendFeatureReport,
    GetFeatureReport,
    GetInputReport,
    Close,
    GetManufacturerString,
    GetProductString,
    GetSerialNumberString,
    GetIndexedString,
    GetDeviceInfo,
};

HIDSIM_API const char* fnName(Fn fn);

// The device's side of its reports. `output` receives each output report the
// program writes: on a device with numbered reports the whole report, report id
// in byte 0; on one without, the bytes after hidapi's leading 0. It returns the
// input reports the device sends next, in order, each as hidraw hands it to the
// program (a numbered report begins with its id). `unread` is the number of
// input reports queued before and not read yet. Called without the simulator's
// mutex, on the writing thread; it may use this control API.
class Model {
  public:
    virtual ~Model() = default;
    virtual std::vector<Report> output(std::span<const std::uint8_t> report, std::size_t unread) = 0;
};

// What a device looks like in the enumeration.
struct DeviceProfile {
    std::uint16_t vendor = 0;
    std::uint16_t product = 0;
    std::wstring manufacturer;
    std::wstring productName;
    std::wstring serial;
    std::string path; // empty: "/dev/hidraw<n>" with the next free n
    bool numberedReports = false;
    std::uint16_t release = 0x0100;
    std::uint16_t usagePage = 0xFF00;
    std::uint16_t usage = 1;
    int interfaceNumber = 0;
};

// One recorded hid_* call. `device` is 0 for a call that concerns no device.
struct Call {
    Fn fn = Fn::Init;
    int device = 0;
    int timeout = 0;        // reads: the time-out asked (ms; -1 blocks)
    int value = 0;          // hid_set_nonblocking: the mode; enumerate/open: vendor << 16 | product
    std::size_t length = 0; // bytes offered (writes) or room given (reads, strings)
    int result = 0;
    std::string path;               // hid_open_path
    std::vector<std::uint8_t> data; // bytes written, or bytes a read delivered
};

// A report on the wire, in the order written and read.
struct Traffic {
    bool out = true; // true: written by the program; false: read by it
    Report bytes;    // as hid_write took them / as the read delivered them
};

struct Counters {
    int inits = 0;             // hid_init calls that succeeded
    int exits = 0;             // hid_exit calls
    int openAttempts = 0;      // hid_open and hid_open_path calls
    int opens = 0;             // of them, the ones that returned a handle
    int closes = 0;            // hid_close with a handle
    int liveHandles = 0;       // opened and not closed
    int enumerations = 0;      // lists handed out and not freed
    int manufacturerReads = 0; // hid_get_manufacturer_string calls
    int blockingSets = 0;      // hid_set_nonblocking(dev, 0)
    int nonblockingSets = 0;   // hid_set_nonblocking(dev, non-zero)
};

// Removes every device, fault, queued report, record and violation and sets the
// counters to zero. Handles a program still holds stay valid until closed (every
// call on them fails) and keep counting as live.
HIDSIM_API void reset();

// Plugs a device in (it joins the end of the enumeration); returns its id (1,
// 2, ...). `model` may be null: the device then answers only from its raw queue.
HIDSIM_API int plug(const DeviceProfile& profile, std::shared_ptr<Model> model);
// Pulls the device out: it leaves the enumeration, and every call on a handle
// open on it fails (-1) until the handle is closed.
HIDSIM_API void unplug(int device);
HIDSIM_API std::string path(int device);

// Input reports served ahead of the model's, in order (the raw queue). With a
// raw report queued, a read takes it, whatever the model queued.
HIDSIM_API void queueInput(int device, Report report);
// Silence: the device still takes output reports (and its model sees them),
// but everything the model answers is dropped.
HIDSIM_API void setSilent(int device, bool silent);
HIDSIM_API void setManufacturer(int device, const std::wstring& text);
// Input reports queued and not read (raw and model).
HIDSIM_API std::size_t unread(int device);

// The n-th (1-based, counted from now) call of `fn` returns `result` and does
// nothing else (an open returns null whatever `result` is; a write or read with
// a non-negative result moves no bytes).
HIDSIM_API void failNth(Fn fn, int nth, int result = -1);
// The n-th read from now delivers at most `bytes` bytes of its report (the rest
// of that report is lost, as a truncated transfer).
HIDSIM_API void shortRead(int nth, std::size_t bytes);

HIDSIM_API std::vector<Call> calls();
HIDSIM_API std::vector<Call> calls(Fn fn);
HIDSIM_API std::vector<Traffic> traffic(int device);
HIDSIM_API void clearCalls();
HIDSIM_API Counters counters();

// Misuse the simulator caught: a read that would block for ever with nothing
// queued (it returns -1 instead), a report id other than 0 written to a device
// without numbered reports. A clean fixture ends with none.
HIDSIM_API std::vector<std::string> violations();

} // namespace hidsim

#endif

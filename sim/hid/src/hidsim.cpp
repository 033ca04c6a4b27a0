// The simulated hidapi: the device registry, the control API and the hid_*
// functions, answered from the devices' side as the hidraw backend answers them.
// Results follow hidapi: -1 and a text for hid_error on failure; a read with
// nothing queued returns 0 after its time-out, which here passes at once.
#include <hidsim/hidsim.h>

// The hid_* declarations leave this library: they are what it is for.
#pragma GCC visibility push(default)
#include <hidapi/hidapi.h>
#pragma GCC visibility pop

#include <algorithm>
#include <array>
#include <cstring>
#include <cwchar>
#include <deque>
#include <mutex>
#include <optional>

using namespace hidsim;

namespace {

struct Device {
    int id = 0;
    DeviceProfile profile;
    std::shared_ptr<Model> model;
    std::deque<Report> raw;
    std::deque<Report> answers;
    bool silent = false;
    bool plugged = true;
    std::vector<Traffic> traffic;
};

struct Fault {
    Fn fn;
    long at; // the call count of fn at which it strikes
    int result;
};

struct ShortRead {
    long at;
    std::size_t bytes;
};

constexpr std::size_t kFnCount = static_cast<std::size_t>(Fn::GetDeviceInfo) + 1;

struct Simulator {
    // Guards everything below; the only lock of the simulator. Never held while
    // a model runs.
    std::mutex mutex;
    std::vector<std::shared_ptr<Device>> devices; // plugged and unplugged, by id
    int nextHidraw = 0;
    std::array<long, kFnCount> seen{};
    std::vector<Fault> faults;
    std::vector<ShortRead> shortReads;
    std::vector<Call> record;
    Counters counts;
    std::vector<std::string> violations;
    std::wstring globalError;
};

Simulator& sim() {
    static Simulator* instance = new Simulator; // outlives every static destructor
    return *instance;
}

using Lock = std::unique_lock<std::mutex>;

// Counts the call and returns the injected result if a fault strikes it.
std::optional<int> enter(Fn fn) {
    Simulator& s = sim();
    long n = ++s.seen[static_cast<std::size_t>(fn)];
    for (auto it = s.faults.begin(); it != s.faults.end(); ++it) {
        if (it->fn == fn && it->at == n) {
            int result = it->result;
            s.faults.erase(it);
            return result;
        }
    }
    return std::nullopt;
}

std::shared_ptr<Device> deviceById(int id) {
    Simulator& s = sim();
    if (id < 1 || static_cast<std::size_t>(id) > s.devices.size()) return nullptr;
    return s.devices[static_cast<std::size_t>(id) - 1];
}

bool matches(const Device& d, unsigned short vendor, unsigned short product) {
    return d.plugged && (vendor == 0 || d.profile.vendor == vendor) &&
           (product == 0 || d.profile.product == product);
}

int record(Call call) {
    sim().record.push_back(std::move(call));
    return sim().record.back().result;
}

char* copyText(const std::string& text) {
    char* copy = new char[text.size() + 1];
    std::memcpy(copy, text.c_str(), text.size() + 1);
    return copy;
}

wchar_t* copyText(const std::wstring& text) {
    wchar_t* copy = new wchar_t[text.size() + 1];
    std::wmemcpy(copy, text.c_str(), text.size() + 1);
    return copy;
}

hid_device_info* makeInfo(const Device& d) {
    auto* info = new hid_device_info{};
    info->path = copyText(d.profile.path);
    info->vendor_id = d.profile.vendor;
    info->product_id = d.profile.product;
    info->serial_number = copyText(d.profile.serial);
    info->release_number = d.profile.release;
    info->manufacturer_string = copyText(d.profile.manufacturer);
    info->product_string = copyText(d.profile.productName);
    info->usage_page = d.profile.usagePage;
    info->usage = d.profile.usage;
    info->interface_number = d.profile.interfaceNumber;
    info->next = nullptr;
    info->bus_type = HID_API_BUS_USB;
    return info;
}

void freeInfo(hid_device_info* info) {
    while (info != nullptr) {
        hid_device_info* next = info->next;
        delete[] info->path;
        delete[] info->serial_number;
        delete[] info->manufacturer_string;
        delete[] info->product_string;
        delete info;
        info = next;
    }
}

} // namespace

// The handle hidapi hands out; freed by hid_close.
struct hid_device_ {
    std::shared_ptr<Device> device;
    bool nonblocking = false;
    std::wstring error;
    hid_device_info* info = nullptr;
};

namespace {

// A handle whose device is gone fails every call; sets the handle's error.
bool usable(hid_device* dev) {
    if (dev->device->plugged) return true;
    dev->error = L"device unplugged";
    return false;
}

Call makeCall(Fn fn, const hid_device* dev) {
    Call call;
    call.fn = fn;
    call.device = dev != nullptr ? dev->device->id : 0;
    return call;
}

// Counts an open attempt; false (recorded) when an injected fault fails it.
// Called with the mutex held, as is openDevice.
bool openAttempt(Call& call) {
    ++sim().counts.openAttempts;
    if (!enter(Fn::Open)) return true;
    sim().globalError = L"open failed";
    call.result = -1;
    record(call);
    return false;
}

hid_device* openDevice(Call& call, const std::shared_ptr<Device>& device) {
    Simulator& s = sim();
    if (!device) {
        s.globalError = L"no such device";
        call.result = -1;
        record(call);
        return nullptr;
    }
    auto* dev = new hid_device_;
    dev->device = device;
    ++s.counts.opens;
    ++s.counts.liveHandles;
    call.device = device->id;
    call.result = 0;
    record(call);
    return dev;
}

int readString(Fn fn, hid_device* dev, wchar_t* string, std::size_t maxlen,
               const std::wstring DeviceProfile::*field) {
    Lock lock(sim().mutex);
    Call call = makeCall(fn, dev);
    call.length = maxlen;
    if (fn == Fn::GetManufacturerString) ++sim().counts.manufacturerReads;
    std::optional<int> injected = enter(fn);
    if (injected) {
        call.result = *injected;
    } else if (dev == nullptr || string == nullptr || maxlen == 0) {
        call.result = -1;
    } else if (!usable(dev)) {
        call.result = -1;
    } else {
        const std::wstring& text = dev->device->profile.*field;
        std::size_t n = std::min(text.size(), maxlen - 1);
        std::wmemcpy(string, text.data(), n);
        string[n] = L'\0';
        call.result = 0;
    }
    return record(call);
}

int unsupported(Fn fn, hid_device* dev, std::size_t length) {
    Lock lock(sim().mutex);
    Call call = makeCall(fn, dev);
    call.length = length;
    call.result = enter(fn).value_or(-1);
    if (dev != nullptr && call.result < 0) dev->error = L"not supported by the simulated device";
    return record(call);
}

} // namespace

namespace hidsim {

const char* fnName(Fn fn) {
    switch (fn) {
    case Fn::Init: return "hid_init";
    case Fn::Exit: return "hid_exit";
    case Fn::Enumerate: return "hid_enumerate";
    case Fn::FreeEnumeration: return "hid_free_enumeration";
    case Fn::Open: return "hid_open";
    case Fn::Write: return "hid_write";
    case Fn::Read: return "hid_read";
    case Fn::SetNonblocking: return "hid_set_nonblocking";
    case Fn::SendFeatureReport: return "hid_send_feature_report";
    case Fn::GetFeatureReport: return "hid_get_feature_report";
    case Fn::GetInputReport: return "hid_get_input_report";
    case Fn::Close: return "hid_close";
    case Fn::GetManufacturerString: return "hid_get_manufacturer_string";
    case Fn::GetProductString: return "hid_get_product_string";
    case Fn::GetSerialNumberString: return "hid_get_serial_number_string";
    case Fn::GetIndexedString: return "hid_get_indexed_string";
    case Fn::GetDeviceInfo: return "hid_get_device_info";
    }
    return "?";
}

void reset() {
    Simulator& s = sim();
    Lock lock(s.mutex);
    for (auto& d : s.devices)
        d->plugged = false;
    s.devices.clear();
    s.nextHidraw = 0;
    s.seen.fill(0);
    s.faults.clear();
    s.shortReads.clear();
    s.record.clear();
    int live = s.counts.liveHandles;
    s.counts = Counters{};
    s.counts.liveHandles = live;
    s.violations.clear();
    s.globalError.clear();
}

int plug(const DeviceProfile& profile, std::shared_ptr<Model> model) {
    Simulator& s = sim();
    Lock lock(s.mutex);
    auto d = std::make_shared<Device>();
    d->id = static_cast<int>(s.devices.size()) + 1;
    d->profile = profile;
    if (d->profile.path.empty()) d->profile.path = "/dev/hidraw" + std::to_string(s.nextHidraw++);
    d->model = std::move(model);
    s.devices.push_back(d);
    return d->id;
}

void unplug(int device) {
    Lock lock(sim().mutex);
    if (auto d = deviceById(device)) d->plugged = false;
}

std::string path(int device) {
    Lock lock(sim().mutex);
    auto d = deviceById(device);
    return d ? d->profile.path : std::string();
}

void queueInput(int device, Report report) {
    Lock lock(sim().mutex);
    if (auto d = deviceById(device)) d->raw.push_back(std::move(report));
}

void setSilent(int device, bool silent) {
    Lock lock(sim().mutex);
    if (auto d = deviceById(device)) d->silent = silent;
}

void setManufacturer(int device, const std::wstring& text) {
    Lock lock(sim().mutex);
    if (auto d = deviceById(device)) d->profile.manufacturer = text;
}

std::size_t unread(int device) {
    Lock lock(sim().mutex);
    auto d = deviceById(device);
    return d ? d->raw.size() + d->answers.size() : 0;
}

void failNth(Fn fn, int nth, int result) {
    Simulator& s = sim();
    Lock lock(s.mutex);
    s.faults.push_back({fn, s.seen[static_cast<std::size_t>(fn)] + nth, result});
}

void shortRead(int nth, std::size_t bytes) {
    Simulator& s = sim();
    Lock lock(s.mutex);
    s.shortReads.push_back({s.seen[static_cast<std::size_t>(Fn::Read)] + nth, bytes});
}

std::vector<Call> calls() {
    Lock lock(sim().mutex);
    return sim().record;
}

std::vector<Call> calls(Fn fn) {
    Lock lock(sim().mutex);
    std::vector<Call> result;
    std::copy_if(sim().record.begin(), sim().record.end(), std::back_inserter(result),
                 [fn](const Call& call) { return call.fn == fn; });
    return result;
}

std::vector<Traffic> traffic(int device) {
    Lock lock(sim().mutex);
    auto d = deviceById(device);
    return d ? d->traffic : std::vector<Traffic>{};
}

void clearCalls() {
    Lock lock(sim().mutex);
    sim().record.clear();
    for (auto& d : sim().devices)
        d->traffic.clear();
}

Counters counters() {
    Lock lock(sim().mutex);
    return sim().counts;
}

std::vector<std::string> violations() {
    Lock lock(sim().mutex);
    return sim().violations;
}

} // namespace hidsim

extern "C" {

int hid_init(void) {
    Lock lock(sim().mutex);
    Call call = makeCall(Fn::Init, nullptr);
    call.result = enter(Fn::Init).value_or(0);
    if (call.result == 0) ++sim().counts.inits;
    return record(call);
}

int hid_exit(void) {
    Lock lock(sim().mutex);
    Call call = makeCall(Fn::Exit, nullptr);
    call.result = enter(Fn::Exit).value_or(0);
    ++sim().counts.exits;
    return record(call);
}

hid_device_info* hid_enumerate(unsigned short vendor_id, unsigned short product_id) {
    Lock lock(sim().mutex);
    Call call = makeCall(Fn::Enumerate, nullptr);
    call.value = vendor_id << 16 | product_id;
    if (enter(Fn::Enumerate)) {
        call.result = -1;
        record(call);
        return nullptr;
    }
    hid_device_info* head = nullptr;
    hid_device_info** tail = &head;
    int count = 0;
    for (const auto& d : sim().devices) {
        if (!matches(*d, vendor_id, product_id)) continue;
        *tail = makeInfo(*d);
        tail = &(*tail)->next;
        ++count;
    }
    if (head != nullptr) ++sim().counts.enumerations;
    call.result = count;
    record(call);
    return head;
}

void hid_free_enumeration(hid_device_info* devs) {
    Lock lock(sim().mutex);
    Call call = makeCall(Fn::FreeEnumeration, nullptr);
    enter(Fn::FreeEnumeration);
    if (devs != nullptr) --sim().counts.enumerations;
    freeInfo(devs);
    record(call);
}

hid_device* hid_open(unsigned short vendor_id, unsigned short product_id, const wchar_t* serial_number) {
    Lock lock(sim().mutex);
    Call call = makeCall(Fn::Open, nullptr);
    call.value = vendor_id << 16 | product_id;
    if (!openAttempt(call)) return nullptr;
    std::shared_ptr<Device> found;
    for (const auto& d : sim().devices) {
        if (!matches(*d, vendor_id, product_id)) continue;
        if (serial_number != nullptr && d->profile.serial != serial_number) continue;
        found = d;
        break;
    }
    return openDevice(call, found);
}

hid_device* hid_open_path(const char* path) {
    Lock lock(sim().mutex);
    Call call = makeCall(Fn::Open, nullptr);
    call.path = path != nullptr ? path : "";
    if (!openAttempt(call)) return nullptr;
    std::shared_ptr<Device> found;
    if (path != nullptr) {
        for (const auto& d : sim().devices) {
            if (d->plugged && d->profile.path == path) {
                found = d;
                break;
            }
        }
    }
    return openDevice(call, found);
}

int hid_write(hid_device* dev, const unsigned char* data, size_t length) {
    Lock lock(sim().mutex);
    Call call = makeCall(Fn::Write, dev);
    call.length = length;
    if (std::optional<int> injected = enter(Fn::Write)) {
        call.result = *injected;
        return record(call);
    }
    if (dev == nullptr || data == nullptr || length == 0) {
        if (dev != nullptr) dev->error = L"nothing to write";
        call.result = -1;
        return record(call);
    }
    if (!usable(dev)) {
        call.result = -1;
        return record(call);
    }
    std::shared_ptr<Device> device = dev->device;
    call.data.assign(data, data + length);
    call.result = static_cast<int>(length);
    device->traffic.push_back({true, call.data});
    std::span<const std::uint8_t> report(data, length);
    if (!device->profile.numberedReports) {
        if (data[0] != 0)
            sim().violations.push_back("report id " + std::to_string(data[0]) + " written to " +
                                       device->profile.path + ", which has no numbered reports");
        report = report.subspan(1);
    }
    int result = record(call);
    std::shared_ptr<Model> model = device->model;
    if (!model) return result;
    std::size_t pending = device->raw.size() + device->answers.size();
    std::vector<std::uint8_t> copy(report.begin(), report.end());
    lock.unlock();
    std::vector<Report> answers = model->output(copy, pending);
    lock.lock();
    if (!device->silent && device->plugged)
        for (auto& answer : answers)
            device->answers.push_back(std::move(answer));
    return result;
}

int hid_read_timeout(hid_device* dev, unsigned char* data, size_t length, int milliseconds) {
    Simulator& s = sim();
    Lock lock(s.mutex);
    Call call = makeCall(Fn::Read, dev);
    call.length = length;
    call.timeout = milliseconds;
    long n = s.seen[static_cast<std::size_t>(Fn::Read)] + 1;
    if (std::optional<int> injected = enter(Fn::Read)) {
        call.result = *injected;
        return record(call);
    }
    if (dev == nullptr || data == nullptr) {
        call.result = -1;
        return record(call);
    }
    if (!usable(dev)) {
        call.result = -1;
        return record(call);
    }
    Device& device = *dev->device;
    std::deque<Report>& queue = !device.raw.empty() ? device.raw : device.answers;
    if (queue.empty()) {
        if (milliseconds < 0) {
            s.violations.push_back("a read on " + device.profile.path +
                                   " would block for ever: nothing is queued");
            dev->error = L"read would block for ever";
            call.result = -1;
        } else {
            call.result = 0;
        }
        return record(call);
    }
    Report report = std::move(queue.front());
    queue.pop_front();
    std::size_t count = std::min(length, report.size());
    for (auto it = s.shortReads.begin(); it != s.shortReads.end(); ++it) {
        if (it->at == n) {
            count = std::min(count, it->bytes);
            s.shortReads.erase(it);
            break;
        }
    }
    if (count > 0) std::memcpy(data, report.data(), count);
    call.data.assign(report.begin(), report.begin() + static_cast<std::ptrdiff_t>(count));
    call.result = static_cast<int>(count);
    device.traffic.push_back({false, call.data});
    return record(call);
}

int hid_read(hid_device* dev, unsigned char* data, size_t length) {
    bool nonblocking;
    {
        Lock lock(sim().mutex);
        nonblocking = dev != nullptr && dev->nonblocking;
    }
    return hid_read_timeout(dev, data, length, nonblocking ? 0 : -1);
}

int hid_set_nonblocking(hid_device* dev, int nonblock) {
    Lock lock(sim().mutex);
    Call call = makeCall(Fn::SetNonblocking, dev);
    call.value = nonblock;
    if (std::optional<int> injected = enter(Fn::SetNonblocking)) {
        call.result = *injected;
    } else if (dev == nullptr || !usable(dev)) {
        call.result = -1;
    } else {
        dev->nonblocking = nonblock != 0;
        ++(nonblock != 0 ? sim().counts.nonblockingSets : sim().counts.blockingSets);
        call.result = 0;
    }
    return record(call);
}

int hid_send_feature_report(hid_device* dev, const unsigned char*, size_t length) {
    return unsupported(Fn::SendFeatureReport, dev, length);
}

int hid_get_feature_report(hid_device* dev, unsigned char*, size_t length) {
    return unsupported(Fn::GetFeatureReport, dev, length);
}

int hid_get_input_report(hid_device* dev, unsigned char*, size_t length) {
    return unsupported(Fn::GetInputReport, dev, length);
}

void hid_close(hid_device* dev) {
    Lock lock(sim().mutex);
    Call call = makeCall(Fn::Close, dev);
    enter(Fn::Close);
    record(call);
    if (dev == nullptr) return;
    ++sim().counts.closes;
    --sim().counts.liveHandles;
    freeInfo(dev->info);
    delete dev;
}

int hid_get_manufacturer_string(hid_device* dev, wchar_t* string, size_t maxlen) {
    return readString(Fn::GetManufacturerString, dev, string, maxlen, &DeviceProfile::manufacturer);
}

int hid_get_product_string(hid_device* dev, wchar_t* string, size_t maxlen) {
    return readString(Fn::GetProductString, dev, string, maxlen, &DeviceProfile::productName);
}

int hid_get_serial_number_string(hid_device* dev, wchar_t* string, size_t maxlen) {
    return readString(Fn::GetSerialNumberString, dev, string, maxlen, &DeviceProfile::serial);
}

int hid_get_indexed_string(hid_device* dev, int, wchar_t*, size_t maxlen) {
    return unsupported(Fn::GetIndexedString, dev, maxlen);
}

hid_device_info* hid_get_device_info(hid_device* dev) {
    Lock lock(sim().mutex);
    Call call = makeCall(Fn::GetDeviceInfo, dev);
    if (enter(Fn::GetDeviceInfo) || dev == nullptr || !usable(dev)) {
        call.result = -1;
        record(call);
        return nullptr;
    }
    if (dev->info == nullptr) dev->info = makeInfo(*dev->device);
    record(call);
    return dev->info;
}

const wchar_t* hid_error(hid_device* dev) {
    Lock lock(sim().mutex);
    const std::wstring& text = dev != nullptr ? dev->error : sim().globalError;
    return text.empty() ? L"Success" : text.c_str();
}

const hid_api_version* hid_version(void) {
    static const hid_api_version version{HID_API_VERSION_MAJOR, HID_API_VERSION_MINOR, HID_API_VERSION_PATCH};
    return &version;
}

const char* hid_version_str(void) {
    return HID_API_VERSION_STR;
}

} // extern "C"

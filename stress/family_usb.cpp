// libvkusb over the simulated bus: three readers that echo what they are sent.
// Every thread scans, opens, sets up, transfers on, closes and reopens any of
// them with the handle it last saw, while readers are pulled out and plugged
// in again, the library's watch thread passes over the bus every few
// milliseconds and its connect and disconnect handlers call the library. The
// library is loaded for the run and unloaded at its end: the bus must then
// hold nothing the library took from it.
#include "families.h"

#include <usbsim/usbsim.h>
#include <vkusb_api.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace vkstress {
namespace {

using vkusbtest::VkUsbApi;

constexpr int kReaders = 3;
constexpr std::uint32_t kFirstId = 0x5101;
constexpr char kSimLibrary[] = "libvkusb_sim.so";
// VKUSB_OpenDevice for a reader the last scan did not find.
constexpr int kNotScanned = -1140;
// The simulated bus answers at once; a transfer's own time-out ("TIMEOUT") is
// at most this long.
constexpr int kLongestTimeoutMs = 200;
constexpr Millis kTransferLimit{2 * kLongestTimeoutMs};
// A scan or a close waits for a watcher pass over the bus.
constexpr Millis kCallLimit{1000};

struct Reader {
    std::uint32_t id = 0;
    std::string resource; // "USB reader <id>"
    std::atomic<int> handle{0};
    // Held by the thread that pulls the reader out or plugs it in; guards
    // `simId` and `plugged`. Taken before the simulated bus's own lock, never
    // under another lock of the program.
    std::mutex bus;
    int simId = 0;
    bool plugged = true;
};

usbsim::ReaderProfile profile(std::uint32_t id) {
    usbsim::ReaderProfile p;
    p.vendor = VKUSB_VENDOR_ID;
    p.product = 2;
    char text[16];
    std::snprintf(text, sizeof text, "%X", id);
    p.strings = {{1, text}, {3, "KRN-SIM"}, {5, "ID KRN.SIM200-U"}, {6, "NUBO RCI2"}, {10, "TN-4711"}};
    return p;
}

class UsbStress;
UsbStress* g_stress = nullptr; // the run's, for the handlers (which get no context)

class UsbStress {
  public:
    UsbStress(Run& run, VkUsbApi& api) : run_(run), book_(run, true), api_(api) {
        for (int i = 0; i < kReaders; ++i) {
            Reader& r = readers_[static_cast<std::size_t>(i)];
            r.id = kFirstId + static_cast<std::uint32_t>(i);
            char text[32];
            std::snprintf(text, sizeof text, "USB reader %X", r.id);
            r.resource = text;
            r.simId = usbsim::plug(profile(r.id));
            usbsim::setHandler(r.simId, [](const std::vector<std::uint8_t>& out) { return out; });
        }
        // The watch thread passes over the bus every 20 ms while the threads work.
        para(-1, "HOTPLUG-UPDATERATE", "20000");
        para(-1, "HOTPLUG-SUSPEND", "0");
        g_stress = this;
    }
    ~UsbStress() { g_stress = nullptr; }

    void work(Worker& w) {
        while (w.next()) {
            Reader& r = readers_[static_cast<std::size_t>(w.uniform(0, kReaders - 1))];
            // Mostly, what an application does first without a handle: open the reader.
            if (r.handle.load() == 0 && w.chance(0.8)) {
                if (!plugged(r))
                    plug(w, r);
                else
                    open(w, r);
                continue;
            }
            enum {
                Transceive,
                TransmitReceive,
                Open,
                Close,
                Scan,
                ScanAndOpen,
                DeviceHandle,
                DeviceId,
                SetPara,
                Present,
                List,
                ScanList,
                ClearScanList,
                Plug,
                Handler
            };
            static constexpr std::array<int, 15> kWeights = {25, 5, 10, 6, 6, 3, 6, 5, 4, 3, 3, 3, 1, 2, 2};
            switch (w.pick(kWeights)) {
            case Transceive: transceive(w, r); break;
            case TransmitReceive: transmitReceive(w, r); break;
            case Open: open(w, r); break;
            case Close: close(w, r, r.handle.load()); break;
            case Scan:
                w.call("VKUSB_Scan", 0, kCallLimit, [&] { return api_.Scan(VKUSB_SCAN_ALL, nullptr); });
                break;
            case ScanAndOpen: scanAndOpen(w); break;
            case DeviceHandle: deviceHandle(w, r); break;
            case DeviceId: deviceId(w, r); break;
            case SetPara: setPara(w, r); break;
            case Present: present(w, r); break;
            case List: list(w); break;
            case ScanList: scanList(w); break;
            case ClearScanList:
                w.call("VKUSB_ClearScanList", 0, kCallLimit, [&] { return api_.ClearScanList(); });
                break;
            case Plug: plug(w, r); break;
            case Handler: handler(w); break;
            }
        }
    }

    // Removes the handlers, closes every device still open; the list must then be empty.
    void finish(Worker& w) {
        for (bool connect : {true, false}) {
            _VKUSB_EVENT_INIT r = record(connect);
            w.call("VKUSB_DelEventHandler", 0, kCallLimit, [&] { return api_.DelEventHandler(0, &r); });
        }
        para(-1, "HOTPLUG-SUSPEND", "1");
        for (int h = api_.GetDeviceList(0); h > 0; h = api_.GetDeviceList(0)) {
            if (w.call("VKUSB_CloseDevice", h, kCallLimit, [&] { return api_.CloseDevice(h); }) != 0) {
                run_.broken("VKUSB_CloseDevice(" + hex(h) + ") failed for a device the list names");
                break;
            }
        }
        w.call("VKUSB_ClearScanList", 0, kCallLimit, [&] { return api_.ClearScanList(); });
    }

    static void onConnect(int handle, std::uint32_t id) { g_stress->event("connect", handle, id); }
    static void onDisconnect(int handle, std::uint32_t id) { g_stress->event("disconnect", handle, id); }

  private:
    int para(int handle, const char* key, const char* value) {
        return api_.SetDevicePara(handle, const_cast<char*>(key), const_cast<char*>(value));
    }

    // On the watch thread: what an application asks when a reader comes or goes.
    void event(const char* what, int handle, std::uint32_t id) {
        if (handle != 0) run_.expectDocumented("VKUSB_IsDevicePresent", handle, api_.IsDevicePresent(handle));
        if (id != 0) run_.expectDocumented("VKUSB_GetDeviceHnd", 0, api_.GetDeviceHnd(id));
        if (handle < 0)
            run_.broken(std::string("the ") + what + " handler was called with handle " + hex(handle));
    }

    void transceive(Worker& w, Reader& r) {
        const int h = r.handle.load();
        std::uint8_t tx[16];
        for (auto& b : tx)
            b = static_cast<std::uint8_t>(w.uniform(0, 255));
        std::uint8_t rx[64];
        char iface[] = VKUSB_INTERFACE_NUBO_RCI2;
        const int n = w.call("VKUSB_Transceive", h, kTransferLimit,
                             [&] { return api_.Transceive(h, iface, 0, tx, sizeof tx, rx, sizeof rx); });
        if (n > static_cast<int>(sizeof rx))
            run_.broken("VKUSB_Transceive(" + hex(h) + ") returned " + std::to_string(n) +
                        " for a buffer of " + std::to_string(sizeof rx));
    }

    void transmitReceive(Worker& w, Reader& r) {
        const int h = r.handle.load();
        std::uint8_t tx[8] = {1, 2, 3, 4, 5, 6, 7, static_cast<std::uint8_t>(w.uniform(0, 255))};
        char iface[] = VKUSB_INTERFACE_NUBO_RCI2;
        if (w.call("VKUSB_Transmit", h, kTransferLimit,
                   [&] { return api_.Transmit(h, iface, tx, sizeof tx); }) < 0)
            return;
        std::uint8_t rx[64];
        w.call("VKUSB_Receive", h, kTransferLimit, [&] { return api_.Receive(h, iface, rx, sizeof rx); });
    }

    void opened(Worker& w, Reader& r, const char* call, int h, HandleBook::Stamp before) {
        book_.handedOut(call, h, r.resource, before, false);
        r.handle.store(h);
        const std::string timeout = std::to_string(w.uniform(10, kLongestTimeoutMs));
        w.call("VKUSB_SetDevicePara", h, kCallLimit, [&] { return para(h, "TIMEOUT", timeout.c_str()); });
    }

    void open(Worker& w, Reader& r) {
        const HandleBook::Stamp before = book_.stamp();
        int h = w.call("VKUSB_OpenDevice", 0, kCallLimit, [&] { return api_.OpenDevice(r.id); });
        if (h == kNotScanned) {
            // What an application does: scan, then open.
            w.call("VKUSB_Scan", 0, kCallLimit, [&] { return api_.Scan(VKUSB_SCAN_ALL, nullptr); });
            h = w.call("VKUSB_OpenDevice", 0, kCallLimit, [&] { return api_.OpenDevice(r.id); });
        }
        if (h > 0) opened(w, r, "VKUSB_OpenDevice", h, before);
    }

    void scanAndOpen(Worker& w) {
        if (w.call("VKUSB_ScanAndOpen", 0, kCallLimit,
                   [&] { return api_.ScanAndOpen(VKUSB_SCAN_ALL, nullptr); }) < 0)
            return;
        for (Reader& r : readers_)
            deviceHandle(w, r);
    }

    void close(Worker& w, Reader& r, int h) {
        if (w.call("VKUSB_CloseDevice", h, kCallLimit, [&] { return api_.CloseDevice(h); }) == 0) {
            book_.closed(h);
            r.handle.compare_exchange_strong(h, 0);
        }
    }

    void deviceHandle(Worker& w, Reader& r) {
        const HandleBook::Stamp before = book_.stamp();
        const int h = w.call("VKUSB_GetDeviceHnd", 0, kCallLimit, [&] { return api_.GetDeviceHnd(r.id); });
        if (h > 0) {
            book_.handedOut("VKUSB_GetDeviceHnd", h, r.resource, before, false);
            r.handle.store(h);
        }
    }

    // A handle answers for the reader it was handed out for.
    void deviceId(Worker& w, Reader& r) {
        const int h = r.handle.load();
        if (h <= 0) return; // 0 names the first open device
        char value[256] = {};
        char key[] = "DEVICE-ID";
        if (w.call("VKUSB_GetDevicePara", h, kCallLimit, [&] { return api_.GetDevicePara(h, key, value); }) !=
            0)
            return;
        if (std::strtoul(value, nullptr, 16) != r.id)
            run_.broken("VKUSB_GetDevicePara(" + hex(h) + ", \"DEVICE-ID\") gave " + value +
                        " for a handle of " + r.resource);
    }

    void setPara(Worker& w, Reader& r) {
        const int h = r.handle.load();
        const std::string timeout = std::to_string(w.uniform(10, kLongestTimeoutMs));
        if (w.chance(0.5)) {
            w.call("VKUSB_SetDevicePara", h, kCallLimit, [&] { return para(h, "TIMEOUT", timeout.c_str()); });
        } else {
            char value[256] = {};
            char key[] = "TYPENUMBER";
            w.call("VKUSB_GetDevicePara", h, kCallLimit, [&] { return api_.GetDevicePara(h, key, value); });
        }
    }

    void present(Worker& w, Reader& r) {
        const int h = r.handle.load();
        w.call("VKUSB_IsDevicePresent", h, kCallLimit, [&] { return api_.IsDevicePresent(h); });
    }

    void list(Worker& w) {
        int h = 0;
        for (int i = 0; i <= 2 * kReaders; ++i) {
            h = w.call("VKUSB_GetDeviceList", h, kCallLimit, [&] { return api_.GetDeviceList(h); });
            if (h <= 0) return;
        }
        run_.broken("VKUSB_GetDeviceList walked more than " + std::to_string(2 * kReaders) + " handles for " +
                    std::to_string(kReaders) + " readers");
    }

    void scanList(Worker& w) {
        const int size =
            w.call("VKUSB_GetScanListSize", 0, kCallLimit, [&] { return api_.GetScanListSize(); });
        if (size < 0) return;
        const int index = w.uniform(0, size);
        char value[256] = {};
        char key[] = "DEVICEHND";
        w.call("VKUSB_GetScanListPara", index, kCallLimit,
               [&] { return api_.GetScanListPara(index, key, value); });
    }

    static bool plugged(Reader& r) {
        std::lock_guard lock(r.bus);
        return r.plugged;
    }

    // A reader pulled out, or plugged in again (as a new device on the bus).
    void plug(Worker& w, Reader& r) {
        // The bus records every libusb call: keep the record short through a long run.
        usbsim::clearCalls();
        std::lock_guard lock(r.bus);
        if (!r.plugged) {
            usbsim::replug(r.simId);
            r.plugged = true;
        } else if (w.chance(0.5)) {
            usbsim::unplug(r.simId);
            r.plugged = false;
        } else {
            usbsim::replug(r.simId);
        }
    }

    static _VKUSB_EVENT_INIT record(bool connect) {
        _VKUSB_EVENT_INIT r{};
        r.eventId = connect ? VKUSB_EVENT_CONNECT : VKUSB_EVENT_DISCONNECT;
        r.flag = VKUSB_EVENT_FLAG;
        r.callback = connect ? &UsbStress::onConnect : &UsbStress::onDisconnect;
        return r;
    }

    void handler(Worker& w) {
        _VKUSB_EVENT_INIT r = record(w.chance(0.5));
        if (w.chance(0.6))
            w.call("VKUSB_AddEventHandler", 0, kCallLimit, [&] { return api_.AddEventHandler(0, &r); });
        else
            w.call("VKUSB_DelEventHandler", 0, kCallLimit, [&] { return api_.DelEventHandler(0, &r); });
    }

    Run& run_;
    HandleBook book_;
    VkUsbApi& api_;
    std::array<Reader, kReaders> readers_;
};

// What the library must have given back to the bus once unloaded.
void expectBusReleased(Run& run) {
    const usbsim::Counters c = usbsim::counters();
    const std::pair<const char*, int> held[] = {{"open device handles", c.liveHandles},
                                                {"claimed interfaces", c.claims},
                                                {"configuration descriptors", c.configDescriptors},
                                                {"device lists", c.deviceLists},
                                                {"device references", c.extraReferences},
                                                {"hot-plug registrations", c.hotplugRegistrations},
                                                {"libusb starts without an end", c.inits - c.exits}};
    for (const auto& [what, count] : held) {
        if (count != 0)
            run.broken("after unloading libvkusb the bus still holds " + std::to_string(count) + " " + what);
    }
}

} // namespace

void runUsb(Run& run) {
    usbsim::reset();
    VkUsbApi api;
    if (const std::string error = vkusbtest::loadApi(kSimLibrary, api); !error.empty()) {
        run.broken(std::string("cannot load ") + kSimLibrary + ": " + error);
        return;
    }
    run.setCodeText(api.GetErrorText);
    {
        auto stress = std::make_unique<UsbStress>(run, api);
        drive(run, *stress);
    }
    if (const std::string error = vkusbtest::unloadApi(kSimLibrary, api); !error.empty())
        run.broken("unloading libvkusb: " + error);
    expectBusReleased(run);
    usbsim::reset();
}

} // namespace vkstress

// The watch thread: readers plugged and unplugged, found by polling passes
// (mode 1) or by libusb's hot-plug callbacks (mode 2), reported to the
// registered handlers.
//
// No sleeps: after a change a test waits until the device-list calls rose by
// two, so one whole pass ran after the change and reported what it found
// (which also proves that it reported nothing else).
#include "vkusb_fixture.h"

#include <gtest/gtest.h>
#include <vktesting/wait_until.h>

#include <libusb-1.0/libusb.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

namespace vkusbtest {
namespace {

using namespace std::chrono_literals;
using usbsim::Fn;

// --- What the handlers heard -------------------------------------------------------

struct Event {
    int type; // VKUSB_EVENT_CONNECT or VKUSB_EVENT_DISCONNECT
    int handle;
    std::uint32_t id;
    bool operator==(const Event& other) const {
        return type == other.type && handle == other.handle && id == other.id;
    }
};

void PrintTo(const Event& e, std::ostream* os) {
    *os << (e.type == VKUSB_EVENT_CONNECT ? "connect(" : "disconnect(") << std::hex << "0x" << e.handle
        << ", 0x" << e.id << ")";
}

Event connect(std::uint32_t id) {
    return {VKUSB_EVENT_CONNECT, 0, id};
}
Event disconnect(int handle, std::uint32_t id) {
    return {VKUSB_EVENT_DISCONNECT, handle, id};
}

std::mutex g_eventsMutex;
std::vector<Event> g_events;
std::vector<std::thread::id> g_eventThreads;

void record(int type, int handle, std::uint32_t id) {
    std::lock_guard lock(g_eventsMutex);
    g_events.push_back({type, handle, id});
    g_eventThreads.push_back(std::this_thread::get_id());
}

void onConnect(int handle, std::uint32_t id) {
    record(VKUSB_EVENT_CONNECT, handle, id);
}
void onDisconnect(int handle, std::uint32_t id) {
    record(VKUSB_EVENT_DISCONNECT, handle, id);
}

std::vector<Event> events() {
    std::lock_guard lock(g_eventsMutex);
    return g_events;
}

_VKUSB_EVENT_INIT handler(std::uint32_t eventId, VKUSB_EVENT_CALLBACK callback) {
    _VKUSB_EVENT_INIT init{};
    init.eventId = eventId;
    init.flag = VKUSB_EVENT_FLAG;
    init.callback = callback;
    return init;
}

class WatcherTest : public VkUsbLoadTest {
  protected:
    void SetUp() override {
        VkUsbLoadTest::SetUp();
        std::lock_guard lock(g_eventsMutex);
        g_events.clear();
        g_eventThreads.clear();
    }

    // Loads with `config` as the configuration file, registers the recording
    // handlers and sets a 2 ms interval.
    void loadWatching(const std::string& config = "") {
        writeFile("vkusb.conf", config);
        load();
        addHandlers();
        ASSERT_EQ(api.setPara(-1, "HOTPLUG-UPDATERATE", "2000"), 0);
    }

    // The same with the readers plugged so far scanned before the first pass:
    // polling starts after the scan.
    void loadScanned(const std::string& config = "") {
        loadWatching("nopnp\n" + config);
        ASSERT_EQ(api.Scan(VKUSB_SCAN_ALL, nullptr), 0);
        usbsim::clearCalls();
        resume();
    }

    void addHandlers() {
        auto c = handler(VKUSB_EVENT_CONNECT, onConnect);
        auto d = handler(VKUSB_EVENT_DISCONNECT, onDisconnect);
        ASSERT_EQ(api.AddEventHandler(0, &c), 0);
        ASSERT_EQ(api.AddEventHandler(0, &d), 0);
    }

    // A whole pass ran (and reported) after this call began.
    void waitPass() {
        const std::size_t now = usbsim::callCount(Fn::GetDeviceList);
        ASSERT_TRUE(usbsim::waitForCalls(Fn::GetDeviceList, now + 2, 10s)) << "no watcher pass";
    }

    void waitEvents(std::size_t n) {
        ASSERT_TRUE(vktesting::waitUntil([n] { return events().size() >= n; }, 10s))
            << "only " << events().size() << " events";
    }

    // Suspends the watcher and waits until a pass that may be running is over:
    // closing an unknown handle takes the scan mutex, which a pass holds.
    void suspend() {
        ASSERT_EQ(api.setPara(-1, "HOTPLUG-SUSPEND", "1"), 0);
        EXPECT_EQ(api.CloseDevice(0x7FFFFFFF), -1123);
    }
    void resume() { ASSERT_EQ(api.setPara(-1, "HOTPLUG-SUSPEND", "0"), 0); }

    // Unloads on another thread while the watch thread is held in a libusb call
    // (blockNext): unloading stops and joins the thread, so it waits for the
    // release.
    void unloadWhileHeld() {
        std::atomic<bool> unloaded{false};
        std::thread unloader([&] {
            unload();
            unloaded = true;
        });
        EXPECT_FALSE(vktesting::waitUntil([&] { return unloaded.load(); }, 50ms));
        usbsim::release();
        unloader.join();
        EXPECT_TRUE(unloaded);
    }

    std::size_t opensOf(int reader) {
        const auto opens = usbsim::calls(Fn::Open);
        return static_cast<std::size_t>(std::count_if(
            opens.begin(), opens.end(), [reader](const usbsim::Call& c) { return c.reader == reader; }));
    }
};

// --- Mode 1: polling passes -------------------------------------------------------

TEST_F(WatcherTest, AnUnscannedReaderIsReportedOnceUntilTheNextScan) {
    loadWatching();
    const int reader = plug(0xA);
    waitEvents(1);
    usbsim::unplug(reader);
    waitPass();
    usbsim::replug(reader);
    waitPass();
    EXPECT_EQ(events(), std::vector<Event>{connect(0xA)});

    usbsim::unplug(reader);
    EXPECT_EQ(api.Scan(VKUSB_SCAN_ALL, nullptr), -1112) << "an enumeration without it empties the sets";
    usbsim::replug(reader);
    waitEvents(2);
    waitPass();
    EXPECT_EQ(events(), (std::vector<Event>{connect(0xA), connect(0xA)}));
}

TEST_F(WatcherTest, AScannedReaderIsReportedGoneOnceAndReplacedSilentlyWhenBack) {
    const int reader = plug(0xA);
    loadScanned();
    waitPass();
    EXPECT_EQ(opensOf(reader), 0u) << "a pass over scanned readers opens nothing";

    usbsim::unplug(reader);
    waitEvents(1);
    const std::vector<Event> gone = events();
    ASSERT_EQ(gone.size(), 1u);
    EXPECT_EQ(gone[0].type, VKUSB_EVENT_DISCONNECT);
    EXPECT_EQ(gone[0].id, 0xAu);

    usbsim::clearCalls();
    usbsim::replug(reader);
    waitPass();
    EXPECT_EQ(opensOf(reader), 2u) << "the id read and the new object's identification";
    EXPECT_EQ(api.GetScanListSize(), 1);
    EXPECT_EQ(api.scanListPara(0, "DEVICE-ID"), "A");
    usbsim::unplug(reader);
    waitPass();
    EXPECT_EQ(events(), gone) << "nothing more until the next scan";
}

TEST_F(WatcherTest, AnOpenReaderThatComesBackIsOpenAgainUnderItsHandle) {
    const int reader = plug(0xA);
    loadScanned();
    const int handle = api.OpenDevice(0xA);
    ASSERT_GT(handle, 0);
    usbsim::unplug(reader);
    waitEvents(1);
    EXPECT_EQ(events(), std::vector<Event>{disconnect(handle, 0xA)});
    usbsim::replug(reader);
    waitPass();
    waitPass();
    EXPECT_EQ(events().size(), 1u);
    EXPECT_EQ(api.GetDeviceHnd(0xA), handle);
    EXPECT_EQ(api.GetDeviceList(0), handle);
    EXPECT_EQ(api.IsDevicePresent(handle), 1);
    usbsim::queueReply(reader, {0x42});
    std::uint8_t tx[] = {1, 2, 3};
    std::uint8_t rx[8] = {};
    EXPECT_EQ(api.Transceive(handle, const_cast<char*>(kInterface), 0, tx, 3, rx, 8), 1);
    EXPECT_EQ(rx[0], 0x42);
    EXPECT_EQ(api.CloseDevice(handle), 0);
}

TEST_F(WatcherTest, AMixedPassReportsDisconnectsInScanListOrderBeforeConnectsInBusOrder) {
    const int a = plug(0xA);
    const int b = plug(0xB);
    loadScanned();
    const int handleA = api.OpenDevice(0xA);
    ASSERT_GT(handleA, 0);
    suspend();
    usbsim::replug(b); // both back under new connections before the next pass
    usbsim::replug(a);
    plug(0xD);
    plug(0xC);
    resume();
    waitEvents(4);
    waitPass();
    const std::vector<Event> seen = events();
    ASSERT_EQ(seen.size(), 4u) << testing::PrintToString(seen);
    EXPECT_EQ(seen[0], disconnect(handleA, 0xA)) << "the open one keeps its handle";
    EXPECT_EQ(seen[1].type, VKUSB_EVENT_DISCONNECT);
    EXPECT_EQ(seen[1].id, 0xBu);
    EXPECT_EQ(seen[2], connect(0xD));
    EXPECT_EQ(seen[3], connect(0xC));
    EXPECT_EQ(api.GetDeviceHnd(0xA), handleA);
    EXPECT_EQ(api.scanListPara(0, "DEVICE-ID"), "A");
    EXPECT_EQ(api.scanListPara(1, "DEVICE-ID"), "B");
}

TEST_F(WatcherTest, UnreadableIdsAreRetriedAndForeignDevicesNeverOpened) {
    loadWatching();
    usbsim::ReaderProfile foreign = readerProfile(0xF);
    foreign.vendor = 0x1234;
    const int foreignVendor = usbsim::plug(foreign);
    usbsim::ReaderProfile product0 = readerProfile(0xF0);
    product0.product = 0;
    const int noProduct = usbsim::plug(product0);
    usbsim::ReaderProfile product5 = readerProfile(0xF5);
    product5.product = 5;
    const int highProduct = usbsim::plug(product5);
    usbsim::ReaderProfile notHex = readerProfile(0);
    notHex.strings[1] = "xyz";
    const int bad = usbsim::plug(notHex);

    suspend();
    const int late = plug(0xE);
    usbsim::injectResult(late, Fn::GetStringDescriptor, 1, LIBUSB_ERROR_IO);
    resume();
    waitEvents(1);
    waitPass();
    EXPECT_EQ(events(), std::vector<Event>{connect(0xE)});
    EXPECT_GE(opensOf(late), 2u) << "read again after the failed read";
    EXPECT_GE(opensOf(bad), 2u) << "a text that is not hex is read each pass";
    EXPECT_EQ(opensOf(foreignVendor) + opensOf(noProduct) + opensOf(highProduct), 0u);
}

TEST_F(WatcherTest, AReconnectedReaderFailingIdentificationKeepsItsOldEntry) {
    const int reader = plug(0xA);
    loadScanned();
    suspend();
    usbsim::replug(reader);
    usbsim::injectResult(reader, Fn::Open, 2, LIBUSB_ERROR_ACCESS); // the id reads, identification fails
    usbsim::clearCalls();
    resume();
    waitEvents(1);
    const std::vector<Event> seen = events();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].type, VKUSB_EVENT_DISCONNECT);
    EXPECT_EQ(seen[0].id, 0xAu);
    EXPECT_EQ(api.GetScanListSize(), 1);
    EXPECT_EQ(api.scanListPara(0, "DEVICE-ID"), "A");
}

// --- Handlers ------------------------------------------------------------------------

std::vector<int> g_order;
VkUsbApi* g_api = nullptr;
std::atomic<int> g_addResult{1};
std::atomic<int> g_delResult{1};
std::atomic<int> g_scanResult{1};

void first(int, std::uint32_t) {
    std::lock_guard lock(g_eventsMutex);
    g_order.push_back(1);
}
void second(int, std::uint32_t) {
    std::lock_guard lock(g_eventsMutex);
    g_order.push_back(2);
}
void removed(int, std::uint32_t) {
    std::lock_guard lock(g_eventsMutex);
    g_order.push_back(3);
}
void changesHandlers(int, std::uint32_t) {
    auto init = handler(VKUSB_EVENT_CONNECT, removed);
    g_addResult = g_api->AddEventHandler(0, &init);
    auto mine = handler(VKUSB_EVENT_CONNECT, changesHandlers);
    g_delResult = g_api->DelEventHandler(0, &mine);
}
void scansAndCloses(int, std::uint32_t id) {
    g_scanResult = g_api->Scan(VKUSB_SCAN_ALL, nullptr);
    g_api->CloseDevice(g_api->GetDeviceHnd(id));
    record(VKUSB_EVENT_CONNECT, 0, id);
}

TEST_F(WatcherTest, HandlersRunInRegistrationOrderAndARemovedOneIsNotCalled) {
    loadWatching();
    g_order.clear();
    auto h1 = handler(VKUSB_EVENT_CONNECT, first);
    auto h2 = handler(VKUSB_EVENT_CONNECT, second);
    auto h3 = handler(VKUSB_EVENT_CONNECT, removed);
    ASSERT_EQ(api.AddEventHandler(0, &h1), 0);
    ASSERT_EQ(api.AddEventHandler(0, &h3), 0);
    ASSERT_EQ(api.AddEventHandler(0, &h2), 0);
    ASSERT_EQ(api.DelEventHandler(0, &h3), 0);
    plug(0xA);
    waitEvents(1);
    waitPass(); // the handlers after the recording one ran too
    std::lock_guard lock(g_eventsMutex);
    EXPECT_EQ(g_order, (std::vector<int>{1, 2}));
}

TEST_F(WatcherTest, AHandlerCannotChangeHandlersButMayScanAndClose) {
    loadWatching();
    g_api = &api;
    g_addResult = 1;
    g_delResult = 1;
    auto changer = handler(VKUSB_EVENT_CONNECT, changesHandlers);
    auto scanner = handler(VKUSB_EVENT_CONNECT, scansAndCloses);
    ASSERT_EQ(api.AddEventHandler(0, &changer), 0);
    ASSERT_EQ(api.AddEventHandler(0, &scanner), 0);
    plug(0xA);
    waitEvents(2); // the recording handler and scansAndCloses
    EXPECT_EQ(g_addResult, -1107);
    EXPECT_EQ(g_delResult, -1107);
    EXPECT_EQ(g_scanResult, 0);
    EXPECT_EQ(api.GetScanListSize(), 1);
    auto mine = handler(VKUSB_EVENT_CONNECT, changesHandlers);
    EXPECT_EQ(api.DelEventHandler(0, &mine), 0) << "still registered: the call inside changed nothing";
    auto other = handler(VKUSB_EVENT_CONNECT, removed);
    EXPECT_EQ(api.DelEventHandler(0, &other), -1150);
    g_api = nullptr;
}

// --- Suspending, the interval, unloading ----------------------------------------------

TEST_F(WatcherTest, ModeZeroPollsOnlyWhileSuspendIsCleared) {
    loadWatching("nopnp\n");
    plug(0xA);
    EXPECT_FALSE(usbsim::waitForCalls(Fn::GetDeviceList, 1, 50ms));
    resume();
    waitEvents(1);
    suspend();
    const std::size_t passes = usbsim::callCount(Fn::GetDeviceList);
    EXPECT_FALSE(usbsim::waitForCalls(Fn::GetDeviceList, passes + 1, 50ms));
}

TEST_F(WatcherTest, AnIntervalPast32BitsIsWaitedInFull) {
    loadWatching();
    waitPass();
    ASSERT_EQ(api.setPara(-1, "HOTPLUG-UPDATERATE", "4294967306"), 0);
    const std::size_t passes = usbsim::callCount(Fn::GetDeviceList);
    EXPECT_FALSE(usbsim::waitForCalls(Fn::GetDeviceList, passes + 2, 200ms)) << "at most one pass";
}

TEST_F(WatcherTest, UnloadDoesNotWaitOutALongInterval) {
    loadWatching();
    ASSERT_EQ(api.setPara(-1, "HOTPLUG-UPDATERATE", "3600000000"), 0);
    const auto start = std::chrono::steady_clock::now();
    unload();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
}

TEST_F(WatcherTest, UnloadWaitsForAPassHeldInOpen) {
    loadWatching();
    const int reader = plug(0xA);
    usbsim::blockNext(reader, Fn::Open);
    ASSERT_TRUE(vktesting::waitUntil([] { return usbsim::isBlocked(); }, 10s));
    unloadWhileHeld();
    expectBusReleased();
}

// --- Trace --------------------------------------------------------------------------

std::vector<std::string> linesWith(const std::string& text, const std::string& part) {
    std::vector<std::string> result;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(start, end - start);
        if (line.find(part) != std::string::npos) result.push_back(line);
        start = end + 1;
    }
    return result;
}

TEST_F(WatcherTest, TraceLevelOneShowsOnlyTheReports) {
    loadWatching("vkusb_debuglevel=1\n");
    StdoutCapture capture;
    plug(0xA);
    waitEvents(1);
    waitPass();
    const std::string out = capture.stop();
    const auto update = linesWith(out, "[update]");
    ASSERT_EQ(update.size(), 1u) << out;
    EXPECT_NE(update[0].find("[update] MESSAGE \"connect\": devId=0xA"), std::string::npos) << update[0];
    EXPECT_TRUE(linesWith(out, "[thread]").empty()) << out;
}

TEST_F(WatcherTest, TraceLevelThreeShowsThePass) {
    const int reader = plug(0xA);
    loadScanned("vkusb_debuglevel=3\n");
    const int handle = api.OpenDevice(0xA);
    StdoutCapture capture;
    waitPass();
    usbsim::unplug(reader);
    waitEvents(1);
    const std::string out = capture.stop();
    EXPECT_FALSE(linesWith(out, "[thread] next update").empty()) << out;
    EXPECT_FALSE(linesWith(out, "[update] known device in scan-list: devId=0xA usbDevPtr=0x").empty()) << out;
    char expected[96];
    std::snprintf(expected, sizeof expected, "[update] MESSAGE \"disconnect\": devId=0xA devHnd=0x%X",
                  static_cast<unsigned>(handle));
    EXPECT_EQ(linesWith(out, expected).size(), 1u) << out;
}

// --- Mode 2: libusb's hot-plug callbacks -------------------------------------------

class HotplugTest : public WatcherTest {
  protected:
    void loadHotplug() { loadWatching("vkusb_hotplug=2\n"); }
};

TEST_F(HotplugTest, TwoRegistrationsAndNoPasses) {
    loadHotplug();
    EXPECT_EQ(api.para(-1, "HOTPLUG-MODE"), "2");
    const auto registered = usbsim::calls(Fn::HotplugRegister);
    ASSERT_EQ(registered.size(), 2u);
    EXPECT_EQ(registered[0].value, LIBUSB_HOTPLUG_EVENT_DEVICE_ARRIVED);
    EXPECT_EQ(registered[1].value, LIBUSB_HOTPLUG_EVENT_DEVICE_LEFT);
    for (const auto& call : registered) {
        EXPECT_EQ(call.flags, 0);
        EXPECT_EQ(call.vendor, VKUSB_VENDOR_ID);
        EXPECT_EQ(call.product, LIBUSB_HOTPLUG_MATCH_ANY);
        EXPECT_EQ(call.deviceClass, LIBUSB_HOTPLUG_MATCH_ANY);
        EXPECT_NE(call.userData, nullptr);
        EXPECT_EQ(call.userData, registered[0].userData);
    }
    EXPECT_EQ(usbsim::counters().hotplugRegistrations, 2);
    EXPECT_FALSE(usbsim::waitForCalls(Fn::GetDeviceList, 1, 50ms));
}

TEST_F(HotplugTest, ArrivalsAndDeparturesAreReportedOnTheWatchThreadInOrder) {
    loadHotplug();
    usbsim::ReaderProfile unreadable = readerProfile(0xB);
    unreadable.strings.erase(1);
    usbsim::plug(unreadable);
    usbsim::ReaderProfile foreign = readerProfile(0xF);
    foreign.vendor = 0x1234;
    const int foreignReader = usbsim::plug(foreign);
    const int reader = plug(0xA);
    waitEvents(1); // unplugged at once, it could not be read
    usbsim::unplug(reader);
    waitEvents(2);
    EXPECT_EQ(events(), (std::vector<Event>{connect(0xA), disconnect(0, 0)}));
    EXPECT_EQ(usbsim::counters().callsInHotplugCallback, 0);
    EXPECT_EQ(opensOf(foreignReader), 0u);
    std::lock_guard lock(g_eventsMutex);
    for (const auto& thread : g_eventThreads)
        EXPECT_NE(thread, std::this_thread::get_id());
}

TEST_F(HotplugTest, UnloadDeregistersBothAndReleasesTheQueue) {
    loadHotplug();
    const auto registered = usbsim::calls(Fn::HotplugRegister);
    ASSERT_EQ(registered.size(), 2u);
    usbsim::blockNext(1, Fn::Open); // the watch thread is held reading the first reader's id
    ASSERT_EQ(plug(0xA), 1);
    ASSERT_TRUE(vktesting::waitUntil([] { return usbsim::isBlocked(); }, 10s));
    plug(0xB); // queued behind it, with a device reference
    plug(0xC);
    unloadWhileHeld();
    const auto deregistered = usbsim::calls(Fn::HotplugDeregister);
    ASSERT_EQ(deregistered.size(), 2u);
    EXPECT_EQ(deregistered[0].handle, registered[0].handle);
    EXPECT_EQ(deregistered[1].handle, registered[1].handle);
    plug(0xD); // no callback left to call
    EXPECT_EQ(events(), std::vector<Event>{connect(0xA)}) << "the queued arrivals were dropped";
    EXPECT_EQ(usbsim::counters().extraReferences, 0);
}

TEST_F(HotplugTest, OnlyTheRegistrationThatSucceededIsDeregistered) {
    usbsim::injectResult(0, Fn::HotplugRegister, 1, LIBUSB_ERROR_NO_MEM);
    loadHotplug();
    const auto registered = usbsim::calls(Fn::HotplugRegister);
    ASSERT_EQ(registered.size(), 2u);
    unload();
    const auto deregistered = usbsim::calls(Fn::HotplugDeregister);
    ASSERT_EQ(deregistered.size(), 1u);
    EXPECT_EQ(deregistered[0].handle, registered[1].handle);
}

TEST_F(HotplugTest, NothingIsRegisteredWithoutCapabilityOrContext) {
    usbsim::setCapability(LIBUSB_CAP_HAS_HOTPLUG, 0);
    loadHotplug();
    EXPECT_EQ(api.para(-1, "HOTPLUG-MODE"), "0");
    EXPECT_TRUE(usbsim::calls(Fn::HotplugRegister).empty());
    unload();
    expectBusReleased();
    usbsim::reset();
    usbsim::setInitResult(LIBUSB_ERROR_OTHER);
    loadHotplug();
    resume(); // even polling touches no libusb without a context
    EXPECT_FALSE(usbsim::waitForCalls(Fn::GetDeviceList, 1, 50ms));
    unload();
    EXPECT_TRUE(usbsim::calls(Fn::HotplugRegister).empty());
}

// --- Threads ----------------------------------------------------------------------

TEST_F(WatcherTest, PassesRaceWithCallersOnOtherThreads) {
    loadWatching();
    ASSERT_EQ(api.setPara(-1, "HOTPLUG-UPDATERATE", "100"), 0);
    const int a = plug(0xA);
    const int b = plug(0xB);
    usbsim::setHandler(a, [](const std::vector<std::uint8_t>& out) { return out; });
    std::atomic<bool> done{false};
    std::thread churn([&] {
        for (int i = 0; i < 40; ++i)
            usbsim::replug(i % 2 == 0 ? a : b);
    });
    std::thread caller([&] {
        std::uint8_t tx[] = {1};
        std::uint8_t rx[4] = {};
        while (!done) {
            api.Scan(VKUSB_SCAN_ALL, nullptr);
            const int handle = api.OpenDevice(0xA);
            if (handle > 0) {
                api.Transceive(handle, const_cast<char*>(kInterface), 0, tx, 1, rx, 4);
                api.CloseDevice(handle);
            }
        }
    });
    std::thread handlers([&] {
        auto h = handler(VKUSB_EVENT_CONNECT, removed);
        while (!done) {
            api.AddEventHandler(0, &h);
            api.DelEventHandler(0, &h);
        }
    });
    churn.join();
    waitPass();
    done = true;
    caller.join();
    handlers.join();
}

} // namespace
} // namespace vkusbtest

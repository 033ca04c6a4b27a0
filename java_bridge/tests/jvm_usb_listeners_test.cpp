// USB listeners from a real JVM: the USB library is its simulated build (first
// on the library path), whose bus the test scripts; its watch thread reports
// readers plugged in and scanned readers pulled out.
#include "core_calls.h"
#include "task_fixture.h"

#include <usbsim/usbsim.h>
#include <vktesting/test_jvm.h>
#include <vktesting/wait_until.h>
#include <vkusb/vkusb.h>

#include <dlfcn.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>

namespace {

using namespace std::chrono_literals;
using nubokrn4j::ListenerKind;
using nubokrn4j::Slot;
using ::testing::HasSubstr;
using ::testing::MatchesRegex;
using ::testing::StartsWith;
using vkbridge::callReader;
using vkbridge::I;
using vkbridge::L;
using vkbridge::Outcome;

constexpr char kListener[] = "(ILjava/lang/Object;I)I";

usbsim::ReaderProfile reader(std::uint32_t id) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "%X", id);
    usbsim::ReaderProfile profile;
    profile.vendor = VKUSB_VENDOR_ID;
    profile.product = 2;
    profile.strings = {{1, hex}, {3, "KRN-SIM"}, {5, "ID KRN.SIM200-U"}, {6, "NUBO RCI2"}, {10, "TN-4711"}};
    return profile;
}

class UsbListenerJvmTest : public vkbridge::TaskJvmTest {
  protected:
    void SetUp() override {
        usbsim::reset();
        TaskJvmTest::SetUp();
    }
    Outcome add(jobject l, int event, int h = 0) { return add(env, l, event, h); }
    Outcome add(JNIEnv* e, jobject l, int event, int h = 0) {
        return callReader(e, "AddUSBEventListener", kListener, {I(h != 0 ? h : handle), L(l), I(event)});
    }
    Outcome remove(jobject l, int event, int h = 0) { return remove(env, l, event, h); }
    Outcome remove(JNIEnv* e, jobject l, int event, int h = 0) {
        return callReader(e, "RemoveUSBEventListener", kListener, {I(h != 0 ? h : handle), L(l), I(event)});
    }
    // The USB library the core loaded (by name, from the simulated build's directory).
    template <typename Fn> Fn* usbFunction(const char* name) {
        void* library = ::dlopen("libvkusb.so", RTLD_NOW | RTLD_NOLOAD);
        if (library == nullptr) return nullptr;
        void* symbol = ::dlsym(library, name);
        ::dlclose(library);
        return reinterpret_cast<Fn*>(symbol);
    }
};

TEST_F(UsbListenerJvmTest, PlugAndUnplugReachEveryModulesListener) {
    jobject first = listener();
    jobject second = listener();
    const int other = addModule(false);
    ASSERT_GT(other, 0);
    for (const int event : {1, 2}) {
        ASSERT_EQ(add(first, event).value.i, 0);
        ASSERT_EQ(add(second, event, other).value.i, 0);
    }
    EXPECT_EQ(uses(Slot::Reader), 2);
    // An id with its top bit set arrives as a positive long.
    const int plugged = usbsim::plug(reader(0x80000001));
    for (jobject l : {first, second}) {
        const auto got = calls(l, 1);
        ASSERT_EQ(got.size(), 1u);
        EXPECT_THAT(got[0], StartsWith("onVkdmUsbEvent(1, 0, 2147483649) on "));
        EXPECT_THAT(got[0], ::testing::Not(HasSubstr(" on main")));
    }
    auto* scan = usbFunction<decltype(VKUSB_Scan)>("VKUSB_Scan");
    ASSERT_NE(scan, nullptr);
    ASSERT_GE(scan(VKUSB_SCAN_ALL, nullptr), 0);
    usbsim::unplug(plugged);
    for (jobject l : {first, second}) {
        const auto got = calls(l, 2);
        ASSERT_EQ(got.size(), 2u);
        EXPECT_THAT(got[1], MatchesRegex("onVkdmUsbEvent\\(2, -?[0-9]+, 2147483649\\) on .*"));
    }
    for (const int event : {1, 2}) {
        ASSERT_EQ(remove(first, event).value.i, 0);
        ASSERT_EQ(remove(second, event, other).value.i, 0);
    }
    EXPECT_EQ(uses(Slot::Reader), 0);
    EXPECT_EQ(uses(Slot::Reader, other), 0);
}

TEST_F(UsbListenerJvmTest, AfterTheLastRemovalNothingIsCalled) {
    jobject l = listener();
    ASSERT_EQ(add(l, 1).value.i, 0);
    ASSERT_EQ(add(l, 1).value.i, 0);
    ASSERT_EQ(remove(l, 1).value.i, 0);
    usbsim::plug(reader(0xA));
    ASSERT_EQ(calls(l, 1).size(), 1u);
    ASSERT_EQ(remove(l, 1).value.i, 0);
    const Outcome again = remove(l, 1);
    ASSERT_TRUE(again.thrown);
    EXPECT_EQ(again.thrown->code, -138);
    usbsim::plug(reader(0xB));
    // Two passes of the watcher at its default rate.
    EXPECT_EQ(calls(l, 2, 1000).size(), 1u);
}

// A second connect handler of the USB library, beside the bridge's: once armed,
// it holds the watch thread inside the library's pass over its handlers (the
// handler list stays locked) until released.
struct WatchHold {
    std::mutex mutex;
    std::condition_variable changed;
    bool armed = false;
    bool held = false;
    bool released = false;

    static WatchHold& instance() {
        static WatchHold hold;
        return hold;
    }
    static void handler(int, std::uint32_t) {
        WatchHold& h = instance();
        std::unique_lock lock(h.mutex);
        if (!std::exchange(h.armed, false)) return;
        h.held = true;
        h.changed.notify_all();
        h.changed.wait(lock, [&] { return h.released; });
    }
    void arm() {
        std::lock_guard lock(mutex);
        armed = true;
        held = false;
        released = false;
    }
    bool waitHeld() {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, 10s, [&] { return held; });
    }
    void release() {
        std::lock_guard lock(mutex);
        armed = false;
        released = true;
        changed.notify_all();
    }
};

// Runs a native on a thread of its own, attached to the JVM while it runs.
class NativeThread {
  public:
    template <typename Call>
    explicit NativeThread(Call call)
        : thread_([this, call] {
              JNIEnv* threadEnv = vktesting::testJniEnv();
              result_ = call(threadEnv).value.i;
              vktesting::testJvm()->DetachCurrentThread();
              done_ = true;
          }) {}
    ~NativeThread() { join(); }
    void join() {
        if (thread_.joinable()) thread_.join();
    }
    bool done() const { return done_.load(); }
    int result() const { return result_.load(); }

  private:
    std::atomic<bool> done_{false};
    std::atomic<int> result_{1};
    std::thread thread_;
};

// One module removes the last listener of the connect event while an add of it
// comes, from another module or from the same one (with the object that holds
// its reader slot). The watch thread is held inside the library's pass over its
// handlers, so taking the bridge's callback from the library waits meanwhile.
TEST_F(UsbListenerJvmTest, AnAddWhileTheLastListenerIsRemovedIsCalledOnTheNextEvent) {
    const int other = addModule(false);
    ASSERT_GT(other, 0);
    const struct {
        const char* name;
        int adding; // the module that adds
        bool sameObject;
    } cases[] = {
        {"another module", other, false},
        {"the same module", 0, true},
    };
    std::uint32_t id = 0x10;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        jobject leaving = env->NewGlobalRef(listener());
        jobject joining = c.sameObject ? env->NewGlobalRef(leaving) : env->NewGlobalRef(listener());
        ASSERT_EQ(add(leaving, 1).value.i, 0);
        auto* addHandler = usbFunction<decltype(VKUSB_AddEventHandler)>("VKUSB_AddEventHandler");
        auto* delHandler = usbFunction<decltype(VKUSB_DelEventHandler)>("VKUSB_DelEventHandler");
        ASSERT_NE(addHandler, nullptr);
        ASSERT_NE(delHandler, nullptr);
        _VKUSB_EVENT_INIT holder{VKUSB_EVENT_CONNECT, 0, VKUSB_EVENT_FLAG, 0, nullptr, &WatchHold::handler};
        ASSERT_EQ(addHandler(0, &holder), 0);
        WatchHold& hold = WatchHold::instance();
        hold.arm();
        usbsim::plug(reader(id++));
        ASSERT_TRUE(hold.waitHeld());
        {
            vkbridge::startCoreLog();
            NativeThread removal([&](JNIEnv* e) { return remove(e, leaving, 1); });
            // The removal has gone for the library's handler removal.
            EXPECT_TRUE(vktesting::waitUntil(
                [] { return !vkbridge::coreCalls("GetVkUsbFunction() id=1121").empty(); }));
            NativeThread addition([&](JNIEnv* e) { return add(e, joining, 1, c.adding); });
            // It cannot be answered before the library holds the callback again.
            EXPECT_FALSE(vktesting::waitUntil([&] { return addition.done(); }, 50ms));
            hold.release();
            removal.join();
            addition.join();
            vkbridge::stopCoreLog();
            EXPECT_EQ(removal.result(), 0);
            EXPECT_EQ(addition.result(), 0);
        }
        EXPECT_EQ(delHandler(0, &holder), 0);
        const std::size_t before = calls(joining, 0, 0).size();
        usbsim::plug(reader(id));
        const auto got = calls(joining, static_cast<int>(before) + 1);
        EXPECT_EQ(got.size(), before + 1);
        if (got.size() == before + 1) {
            EXPECT_THAT(got.back(), StartsWith("onVkdmUsbEvent(1, 0, " + std::to_string(id) + ") on "));
        }
        ++id;
        if (!c.sameObject) {
            EXPECT_EQ(calls(leaving, 2, 0).size(), 1u);
        }
        EXPECT_EQ(remove(joining, 1, c.adding).value.i, 0);
        env->DeleteGlobalRef(leaving);
        env->DeleteGlobalRef(joining);
    }
}

TEST_F(UsbListenerJvmTest, Refusals) {
    jobject l = listener();
    for (const int event : {0, 3, 4}) {
        const Outcome o = add(l, event);
        ASSERT_TRUE(o.thrown);
        EXPECT_EQ(o.thrown->code, -106);
    }
    // The reader slot held by another object.
    jobject tags = listener();
    ASSERT_EQ(callReader(env, "AddReaderEventListener", kListener, {I(handle), L(tags), I(3)}).value.i, 0);
    Outcome o = add(l, 1);
    ASSERT_TRUE(o.thrown);
    EXPECT_EQ(o.thrown->code, -142);
    EXPECT_EQ(add(tags, 1).value.i, 0);
    EXPECT_EQ(remove(tags, 1).value.i, 0);
    o = add(queueListener(), 1);
    ASSERT_TRUE(o.thrown);
    EXPECT_EQ(o.thrown->code, -121);
    o = remove(l, 2);
    ASSERT_TRUE(o.thrown);
    EXPECT_EQ(o.thrown->code, -138);
    EXPECT_EQ(uses(Slot::Reader), 1);
}

TEST_F(UsbListenerJvmTest, DestroyingAModuleRemovesItsListeners) {
    jobject l = listener();
    const int other = addModule(false);
    ASSERT_EQ(add(l, 1, other).value.i, 0);
    ASSERT_EQ(callReader(env, "Destroy", "(I)I", {I(other)}).value.i, 0);
    usbsim::plug(reader(0xC));
    EXPECT_EQ(calls(l, 1, 1000).size(), 0u);
}

} // namespace

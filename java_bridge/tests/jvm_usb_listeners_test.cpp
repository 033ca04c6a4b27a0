// USB listeners from a real JVM: the USB library is its simulated build (first
// on the library path), whose bus the test scripts; its watch thread reports
// readers plugged in and scanned readers pulled out.
#include "task_fixture.h"

#include <usbsim/usbsim.h>
#include <vkusb/vkusb.h>

#include <dlfcn.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>

namespace {

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
    Outcome add(jobject l, int event, int h = 0) {
        return callReader(env, "AddUSBEventListener", kListener, {I(h != 0 ? h : handle), L(l), I(event)});
    }
    Outcome remove(jobject l, int event, int h = 0) {
        return callReader(env, "RemoveUSBEventListener", kListener, {I(h != 0 ? h : handle), L(l), I(event)});
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

// Reader-event listeners from a real JVM against the simulated reader: the
// reader library calls Java itself, on the thread that raises the event.
#include "task_fixture.h"

#include <algorithm>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

using nubokrn4j::ListenerKind;
using nubokrn4j::Slot;
using ::testing::HasSubstr;
using ::testing::StartsWith;
using vkbridge::callReader;
using vkbridge::I;
using vkbridge::L;
using vkbridge::Outcome;

constexpr char kListener[] = "(ILjava/lang/Object;I)I";

class ReaderEventJvmTest : public vkbridge::TaskJvmTest {
  protected:
    Outcome add(jobject l, int event, int h = 0) {
        return callReader(env, "AddReaderEventListener", kListener, {I(h != 0 ? h : handle), L(l), I(event)});
    }
    Outcome remove(jobject l, int event, int h = 0) {
        return callReader(env, "RemoveReaderEventListener", kListener,
                          {I(h != 0 ? h : handle), L(l), I(event)});
    }
    int registrations(int event) {
        return module4j()->Listeners().registrations(ListenerKind::Reader, event);
    }
};

TEST_F(ReaderEventJvmTest, TextAndByteEventsReachJavaOnTheCallersThread) {
    setLogProt(true);
    jobject l = listener();
    for (const int event : {2, 3, 5, 6, 101})
        ASSERT_EQ(add(l, event).value.i, 0) << event;
    EXPECT_EQ(uses(Slot::Reader), 5);
    ASSERT_GE(core()->SendProtocol(0x65), 0);
    const auto got = calls(l, 4);
    ASSERT_GE(got.size(), 4u);
    bool text2 = false, text3 = false, bytes5 = false, bytes6 = false;
    for (const std::string& c : got) {
        EXPECT_THAT(c, HasSubstr(" on main"));
        text2 |= c.rfind("onVkKrnEvent(2, text)", 0) == 0;
        text3 |= c.rfind("onVkKrnEvent(3, text)", 0) == 0;
        bytes5 |= c.rfind("onVkKrnEvent(5, [", 0) == 0;
        bytes6 |= c.rfind("onVkKrnEvent(6, [", 0) == 0;
    }
    EXPECT_TRUE(text2 && text3 && bytes5 && bytes6);
    for (const int event : {2, 3, 5, 6, 101})
        ASSERT_EQ(remove(l, event).value.i, 0) << event;
    EXPECT_EQ(uses(Slot::Reader), 0);
}

TEST_F(ReaderEventJvmTest, RefusalsInTheirOrder) {
    jobject l = listener();
    // Event 7: -106, nothing taken.
    Outcome o = add(l, 7);
    ASSERT_TRUE(o.thrown);
    EXPECT_EQ(o.thrown->code, -106);
    EXPECT_THAT(o.thrown->message, HasSubstr("VkdmKrnReader_AddReaderEventListener"));
    // Event 4 on a TCP reader: the reader library's -4054, the use given back.
    o = add(l, 4);
    ASSERT_TRUE(o.thrown);
    EXPECT_EQ(o.thrown->code, -4054);
    // Null or foreign listener: -121.
    o = add(nullptr, 2);
    ASSERT_TRUE(o.thrown);
    EXPECT_EQ(o.thrown->code, -121);
    o = add(queueListener(), 2);
    ASSERT_TRUE(o.thrown);
    EXPECT_EQ(o.thrown->code, -121);
    EXPECT_EQ(uses(Slot::Reader), 0);
    // Unconnected: -110 before the event is looked at.
    const int other = addModule(false);
    ASSERT_GT(other, 0);
    for (const int event : {2, 7}) {
        o = add(l, event, other);
        ASSERT_TRUE(o.thrown);
        EXPECT_EQ(o.thrown->code, -110);
        o = remove(l, event, other);
        ASSERT_TRUE(o.thrown);
        EXPECT_EQ(o.thrown->code, -110);
    }
    o = callReader(env, "AddReaderEventListener", kListener, {I(0x10FFFFFF), L(l), I(2)});
    ASSERT_TRUE(o.thrown);
    EXPECT_EQ(o.thrown->code, -141);
}

TEST_F(ReaderEventJvmTest, RemovingWhatWasNeverAddedTakesNoOnesUse) {
    // One object for both: a take of the held reader slot reuses its reference.
    setLogProt(true);
    jobject l = listener();
    ASSERT_EQ(add(l, 5).value.i, 0);
    ASSERT_EQ(start(handle, l, {.kind = 2}).value.i, 0);
    const auto countTags = [&] {
        const auto got = calls(l, 0, 0);
        return std::count_if(got.begin(), got.end(),
                             [](const std::string& c) { return c.rfind("onVkdmNewTag(", 0) == 0; });
    };
    ASSERT_TRUE(vktesting::waitUntil([&] { return countTags() == 1; }));
    EXPECT_EQ(uses(Slot::Reader), 2);
    const Outcome o = remove(l, 3);
    ASSERT_TRUE(o.thrown);
    EXPECT_EQ(o.thrown->code, -4050);
    EXPECT_EQ(uses(Slot::Reader), 2);
    EXPECT_EQ(registrations(5), 1);
    // Both still deliver: the running inventory, and the listener of event 5.
    EXPECT_EQ(callReader(env, "TriggerAsyncTask", "(I)I", {I(handle)}).value.i, 0);
    EXPECT_TRUE(vktesting::waitUntil([&] { return countTags() == 2; }));
    EXPECT_THAT(cancelOutsideCallbacks(handle), ::testing::AnyOf(0, -4081));
    EXPECT_EQ(uses(Slot::Reader), 1);
    const std::size_t before = calls(l, 0, 0).size();
    (void)core()->SendProtocol(0x65);
    EXPECT_GT(calls(l, static_cast<int>(before) + 1).size(), before);
    ASSERT_EQ(remove(l, 5).value.i, 0);
    EXPECT_EQ(uses(Slot::Reader), 0);
}

TEST_F(ReaderEventJvmTest, AddAddRemoveRemoveBalances) {
    setLogProt(true);
    jobject l = listener();
    ASSERT_EQ(add(l, 5).value.i, 0);
    ASSERT_EQ(add(l, 5).value.i, 0);
    EXPECT_EQ(uses(Slot::Reader), 2);
    ASSERT_EQ(remove(l, 5).value.i, 0);
    // One registration left: still delivered.
    (void)core()->SendProtocol(0x65);
    EXPECT_FALSE(calls(l, 1).empty());
    ASSERT_EQ(remove(l, 5).value.i, 0);
    EXPECT_EQ(uses(Slot::Reader), 0);
    EXPECT_EQ(registrations(5), 0);
    const std::size_t before = calls(l, 0, 0).size();
    (void)core()->SendProtocol(0x65);
    EXPECT_EQ(calls(l, 0, 0).size(), before);
    const Outcome again = remove(l, 5);
    ASSERT_TRUE(again.thrown);
    EXPECT_EQ(again.thrown->code, -4050);
}

TEST_F(ReaderEventJvmTest, ANativeInsideTheEventGetsTheReadersBusyCode) {
    setLogProt(true);
    jobject l = listener();
    setInt(l, "addInEventHandle", handle);
    ASSERT_EQ(add(l, 2).value.i, 0);
    ASSERT_GE(core()->SendProtocol(0x65), 0);
    const auto got = calls(l, 2);
    ASSERT_GE(got.size(), 2u);
    EXPECT_THAT(got[0], StartsWith("added(-4032)"));
    EXPECT_EQ(uses(Slot::Reader), 1);
    EXPECT_EQ(registrations(5), 0);
    ASSERT_EQ(remove(l, 2).value.i, 0);
}

TEST_F(ReaderEventJvmTest, ScanEventsAreTakenOnASerialReader) {
    const auto pty = simulator.openPty();
    const std::string prefix = "/dev/pts/";
    ASSERT_EQ(pty.slavePath.rfind(prefix, 0), 0u);
    const int serial = addModule(false);
    ASSERT_GT(serial, 0);
    ASSERT_EQ(coreModule(serial)->SetPortPara("PORTPREFIX", prefix.c_str()), 0);
    const int number = std::stoi(pty.slavePath.substr(prefix.size())) + 1;
    ASSERT_EQ(callReader(env, "ConnectCOMM", "(II)I", {I(serial), I(number)}).value.i, 0);
    jobject l = listener();
    const Outcome o = add(l, 4, serial);
    ASSERT_FALSE(o.thrown) << o.thrown->message;
    EXPECT_EQ(o.value.i, 0);
    EXPECT_EQ(uses(Slot::Reader, serial), 1);
    ASSERT_EQ(remove(l, 4, serial).value.i, 0);
    EXPECT_EQ(uses(Slot::Reader, serial), 0);
}

} // namespace

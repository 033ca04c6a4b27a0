// Asynchronous tasks from a real JVM against the simulated reader: inventories
// once and per trigger, SAM commands and command queues with late replies,
// cancelling, the refusals of the starts, and what keeps one listener's
// failure or task from reaching another's.
#include "task_fixture.h"

#include <vkdm/vkdm_core.h>
#include <vktesting/test_jvm.h>
#include <vktesting/wait_until.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;
using nubokrn4j::Slot;
using ::testing::HasSubstr;
using ::testing::StartsWith;
using vkbridge::B;
using vkbridge::callReader;
using vkbridge::I;
using vkbridge::L;
using vkbridge::Outcome;
using vkbridge::StartArgs;
using vkbridge::TaskJvmTest;
using vkbridge::Z;

// ---- inventories ------------------------------------------------------------------

TEST_F(TaskJvmTest, OneInventoryReportsOnceStoresTheTagsAndEnds) {
    jobject l = listener();
    const Outcome o = start(handle, l);
    ASSERT_FALSE(o.thrown) << o.thrown->message;
    EXPECT_EQ(o.value.i, 0);
    const auto got = calls(l, 1);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_THAT(got[0], StartsWith("onVkdmNewTag(0, 0xB0) on "));
    EXPECT_THAT(got[0], ::testing::Not(HasSubstr(" on main")));
    EXPECT_TRUE(vktesting::waitUntil([&] { return uses(Slot::Reader) == 0 && flag() == 0; }));
    EXPECT_EQ(core()->GetTableLength(VKDM_TABLE_ISO), 2);
    const Outcome c = cancel(handle);
    EXPECT_FALSE(c.thrown);
    EXPECT_EQ(c.value.i, 0);
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(calls(l, 1, 0).size(), 1u);
}

TEST_F(TaskJvmTest, RepeatedInventoryReportsPerTriggerUntilCancelled) {
    jobject l = listener();
    ASSERT_EQ(start(handle, l, {.kind = 2}).value.i, 0);
    ASSERT_EQ(calls(l, 1).size(), 1u);
    for (int k = 2; k <= 3; ++k) {
        EXPECT_EQ(callReader(env, "TriggerAsyncTask", "(I)I", {I(handle)}).value.i, 0);
        ASSERT_EQ(calls(l, k).size(), static_cast<std::size_t>(k));
    }
    EXPECT_EQ(uses(Slot::Reader), 1);
    EXPECT_EQ(flag(), 1);
    EXPECT_THAT(cancelOutsideCallbacks(handle), ::testing::AnyOf(0, -4081));
    EXPECT_EQ(uses(Slot::Reader), 0);
    EXPECT_EQ(flag(), 0);
    EXPECT_LT(callReader(env, "TriggerAsyncTask", "(I)I", {I(handle)}).value.i, 0);
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(calls(l, 3, 0).size(), 3u);
}

TEST_F(TaskJvmTest, StatusesOfTheInventoryReachJava) {
    // 0x95 stores the status and the first data byte; an error status stores nothing.
    simulator.reader().setHandler(0xB0, [](const krnsim::Request&, krnsim::ConnectionContext&) {
        return krnsim::Reply::frame(0x95, {0x07});
    });
    jobject l = listener();
    ASSERT_EQ(start(handle, l).value.i, 0);
    ASSERT_EQ(calls(l, 1).size(), 1u);
    EXPECT_THAT(calls(l, 1)[0], StartsWith("onVkdmNewTag(149, 0xB0)"));
    unsigned char value = 0;
    EXPECT_EQ(core()->GetData("03 10 11 25 01 00 00", &value), 0);
    EXPECT_EQ(value, 0x07);
    EXPECT_EQ(core()->GetData("03 10 00 00 01 00 00", &value), 0);
    EXPECT_EQ(value, 0x95);
}

TEST_F(TaskJvmTest, CancelInsideTheCallbackIsRefusedAndWorksAfterIt) {
    jobject l = listener();
    setInt(l, "cancelHandle", handle);
    ASSERT_EQ(start(handle, l, {.kind = 2}).value.i, 0);
    const auto got = calls(l, 2);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_THAT(got[1], StartsWith("cancel(-4084)"));
    EXPECT_EQ(flag(), 1);
    EXPECT_THAT(cancelOutsideCallbacks(handle), ::testing::AnyOf(0, -4081));
    EXPECT_EQ(uses(Slot::Reader), 0);
}

int javaThreads(JNIEnv* env) {
    jclass thread = env->FindClass("java/lang/Thread");
    const jint n = env->CallStaticIntMethod(thread, env->GetStaticMethodID(thread, "activeCount", "()I"));
    const bool failed = env->ExceptionCheck() == JNI_TRUE;
    env->DeleteLocalRef(thread);
    return failed ? -1 : n;
}

TEST_F(TaskJvmTest, AThrowingListenerGetsTheNextReportAndTheWorkerIsDetachedAfterEach) {
    const int threadsBefore = javaThreads(env);
    jobject l = listener();
    setInt(l, "throwCount", 1);
    ASSERT_EQ(start(handle, l, {.kind = 2}).value.i, 0);
    ASSERT_EQ(calls(l, 1).size(), 1u);
    EXPECT_EQ(callReader(env, "TriggerAsyncTask", "(I)I", {I(handle)}).value.i, 0);
    ASSERT_EQ(calls(l, 2).size(), 2u);
    EXPECT_THAT(cancelOutsideCallbacks(handle), ::testing::AnyOf(0, -4081));
    EXPECT_EQ(uses(Slot::Reader), 0);
    // The task thread was attached for its callbacks only.
    EXPECT_TRUE(vktesting::waitUntil([&] { return javaThreads(env) == threadsBefore; }));
}

TEST_F(TaskJvmTest, ARunningRepeatedInventoryKeepsItsListenerAgainstOtherStarts) {
    jobject first = listener();
    jobject second = listener();
    ASSERT_EQ(start(handle, first, {.kind = 2}).value.i, 0);
    ASSERT_EQ(calls(first, 1).size(), 1u);
    const Outcome once = start(handle, second);
    ASSERT_TRUE(once.thrown);
    EXPECT_EQ(once.thrown->code, -4080);
    const Outcome refusedSam = sam(second, {0x01});
    ASSERT_TRUE(refusedSam.thrown);
    EXPECT_EQ(refusedSam.thrown->code, -4080);
    EXPECT_EQ(uses(Slot::Reader), 1);
    EXPECT_EQ(flag(), 1);
    EXPECT_EQ(callReader(env, "TriggerAsyncTask", "(I)I", {I(handle)}).value.i, 0);
    ASSERT_EQ(calls(first, 2).size(), 2u);
    EXPECT_THAT(calls(first, 2)[1], StartsWith("onVkdmNewTag("));
    EXPECT_EQ(calls(second, 0, 0).size(), 0u);
    EXPECT_THAT(cancelOutsideCallbacks(handle), ::testing::AnyOf(0, -4081));
}

// ---- SAM commands and command queues -------------------------------------------------

TEST_F(TaskJvmTest, SamReplyComesOnceAndLeavesTheFlagSet) {
    answerSlowly(0xC0, 0x00, {0x90, 0x00});
    jobject l = listener();
    const Outcome o = sam(l, {0x00, 0x24});
    ASSERT_FALSE(o.thrown) << o.thrown->message;
    const auto got = calls(l, 1);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_THAT(got[0], StartsWith("onVkdmNewSAMResponse(0, [9000]) on "));
    EXPECT_TRUE(vktesting::waitUntil([&] { return uses(Slot::Reader) == 0; }));
    EXPECT_EQ(flag(), 1);
    EXPECT_TRUE(vktesting::waitUntil([&] { return cancel(handle).value.i == -4081; }));
    EXPECT_EQ(flag(), 1);
}

TEST_F(TaskJvmTest, ReaderErrorsReachTheListenersWithAnEmptyArray) {
    simulator.reader().setHandler(
        0xC0, [](const krnsim::Request&, krnsim::ConnectionContext&) { return krnsim::Reply::frame(0x84); });
    jobject l = listener();
    ASSERT_EQ(sam(l, {0x01}).value.i, 0);
    ASSERT_EQ(calls(l, 1).size(), 1u);
    EXPECT_THAT(calls(l, 1)[0], StartsWith("onVkdmNewSAMResponse(132, []) on "));

    simulator.reader().setHandler(
        0xBC, [](const krnsim::Request&, krnsim::ConnectionContext&) { return krnsim::Reply::nothing(); });
    jobject q = queueListener();
    EXPECT_TRUE(vktesting::waitUntil([&] { return uses(Slot::Reader) == 0; }));
    const Outcome o = queue(q, {0x01, 0x02}, 2);
    ASSERT_FALSE(o.thrown) << o.thrown->message;
    const auto got = calls(q, 1);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_THAT(got[0], StartsWith("onVkdmQueueResponse(-4082, 0xBC, []) on "));
    EXPECT_TRUE(vktesting::waitUntil([&] { return uses(Slot::Queue) == 0; }));
}

TEST_F(TaskJvmTest, QueueReplyAndItsRefusals) {
    answerSlowly(0xBC, 0x00, {0x01, 0x02, 0x03});
    jobject q = queueListener();
    ASSERT_EQ(queue(q, {0x11, 0x22, 0x33}, 2).value.i, 0);
    EXPECT_EQ(uses(Slot::Queue), 1);
    ASSERT_EQ(calls(q, 1).size(), 1u);
    EXPECT_THAT(calls(q, 1)[0], StartsWith("onVkdmQueueResponse(0, 0xBC, [010203]) on "));
    EXPECT_TRUE(vktesting::waitUntil([&] { return uses(Slot::Queue) == 0; }));

    // A length past the array, a negative one; a reader listener for a queue.
    for (const int length : {4, -1}) {
        const Outcome o = queue(q, {0x11, 0x22, 0x33}, length);
        ASSERT_TRUE(o.thrown);
        EXPECT_EQ(o.thrown->code, -105);
    }
    const Outcome wrong = queue(listener(), {0x11}, 1);
    ASSERT_TRUE(wrong.thrown);
    EXPECT_EQ(wrong.thrown->code, -121);
    EXPECT_EQ(uses(Slot::Queue), 0);
}

TEST_F(TaskJvmTest, CancellingARunningQueueGivesBackTheQueueSlotOnly) {
    simulator.reader().setHandler(0xBC, [](const krnsim::Request&, krnsim::ConnectionContext&) {
        return krnsim::Reply::frame(0x00, {0x01});
    });
    simulator.reader().queueFault(krnsim::Fault::delay(2000ms).onlyCommand(0xBC));
    setLogProt(true);
    jobject events = listener();
    ASSERT_EQ(
        callReader(env, "AddReaderEventListener", "(ILjava/lang/Object;I)I", {I(handle), L(events), I(5)})
            .value.i,
        0);
    jobject q = queueListener();
    ASSERT_EQ(queue(q, {0x11}, 1).value.i, 0);
    EXPECT_EQ(uses(Slot::Queue), 1);
    EXPECT_EQ(uses(Slot::Reader), 1);
    EXPECT_EQ(cancel(handle).value.i, 0);
    EXPECT_EQ(uses(Slot::Queue), 0);
    EXPECT_EQ(uses(Slot::Reader), 1);
    // The event listener keeps receiving (event 5: each request frame).
    (void)core()->SendProtocol(0x65);
    EXPECT_FALSE(calls(events, 1).empty());
    EXPECT_EQ(
        callReader(env, "RemoveReaderEventListener", "(ILjava/lang/Object;I)I", {I(handle), L(events), I(5)})
            .value.i,
        0);
}

// ---- refusals --------------------------------------------------------------------

TEST_F(TaskJvmTest, StartRefusalsTakeNothing) {
    struct Case {
        const char* name;
        StartArgs args;
        bool nullListener;
        int code;
    } cases[] = {
        {"kind 0", {.kind = 0}, false, -106},
        {"kind 4", {.kind = 4}, false, -106},
        {"null listener", {}, true, -121},
        {"cipher, null key", {.kind = 3, .cipher = true}, false, -121},
        {"40-character key",
         {.kind = 3, .cipher = true, .key = "00112233445566778899AABBCCDDEEFF00112233"},
         false,
         -106},
        {"one-character key", {.kind = 3, .cipher = true, .key = "A"}, false, -106},
        {"non-hex key", {.kind = 3, .cipher = true, .key = "00112233445566778899AABBCCDDEEXX"}, false, -106},
        {"keep-alive 3 zero",
         {.kind = 3, .keepAlive = true, .keepAlive1 = 1000, .keepAlive3 = 0},
         false,
         -106},
        {"keep-alive 1 zero", {.kind = 3, .keepAlive = true, .keepAlive1 = 0, .keepAlive3 = 10}, false, -106},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Outcome o = start(handle, c.nullListener ? nullptr : listener(), c.args);
        ASSERT_TRUE(o.thrown);
        EXPECT_EQ(o.thrown->className, "de.varek.VkdmException");
        EXPECT_EQ(o.thrown->code, c.code);
        EXPECT_THAT(o.thrown->message, HasSubstr("VkdmKrnReader_StartAsyncTask"));
        EXPECT_EQ(uses(Slot::Reader), 0);
        EXPECT_EQ(flag(), 0);
    }
    // An object of another class as the listener.
    const Outcome wrong = start(handle, queueListener());
    ASSERT_TRUE(wrong.thrown);
    EXPECT_EQ(wrong.thrown->code, -121);
    const Outcome wrongSam = sam(queueListener(), {0x01});
    ASSERT_TRUE(wrongSam.thrown);
    EXPECT_EQ(wrongSam.thrown->code, -121);
    EXPECT_EQ(uses(Slot::Reader), 0);
}

TEST_F(TaskJvmTest, AnUnconnectedModuleThrowsTheReaderLibrarysCode) {
    const int other = addModule(false);
    ASSERT_GT(other, 0);
    jobject l = listener();
    for (const Outcome& o : {start(other, l), sam(l, {0x01}, other)}) {
        ASSERT_TRUE(o.thrown);
        EXPECT_LT(o.thrown->code, -4000);
        EXPECT_EQ(uses(Slot::Reader, other), 0);
        EXPECT_EQ(flag(other), 0);
    }
    EXPECT_EQ(cancel(other).value.i, 0);
    const Outcome missing = cancel(0x10FFFFFF);
    ASSERT_TRUE(missing.thrown);
    EXPECT_EQ(missing.thrown->code, -141);
}

} // namespace

// Asynchronous tasks from a real JVM against the simulated reader: inventories
// once and per trigger, SAM commands and command queues with late replies,
// cancelling, the refusals of the starts, and what keeps one listener's
// failure or task from reaching another's.
#include "task_fixture.h"

#include <krnsim/notifier.h>
#include <vkdm/vkdm_core.h>
#include <vktesting/loopback_listener.h>
#include <vktesting/memory_search.h>
#include <vktesting/test_jvm.h>
#include <vktesting/wait_until.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <ostream>
#include <span>
#include <stdexcept>
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

// ---- the notification listener ---------------------------------------------------

// What the core holds under an identifier after a message.
struct Stored {
    const char* id;
    std::vector<std::uint8_t> bytes;                   // read as a byte string of this length...
    std::optional<std::uint32_t> value = std::nullopt; // ...or as an unsigned int
};

// One message of the notifying reader and what the listener makes of it: the
// Java call (none: no call) and the core's data afterwards.
struct Message {
    const char* name;
    std::uint8_t command;
    std::uint8_t status;
    krnsim::Bytes data;
    const char* call;
    std::vector<Stored> stored;
    int records = -1; // BRM records of the last notification (-1: not looked at)
};

constexpr std::uint8_t kBusAddress = 7;

// [TR-DATA 1][count high, low] then one record [type][UID length 8][UID]; with
// bit 7 [TR-DATA 1][TR-DATA 2][count] and the record ends with [input][state].
const krnsim::Bytes kOneRecord = {0x01, 0x00, 0x01, 0x03, 0x08, 0xE0, 0x04,
                                  0x01, 0x00, 0x00, 0x00, 0x00, 0x09};
const krnsim::Bytes kOneRecordWithInput = {0x81, 0x01, 0x00, 0x01, 0x03, 0x08, 0xE0, 0x04,
                                           0x01, 0x00, 0x00, 0x00, 0x00, 0x09, 0x02, 0x01};

// The 31 bytes of a diagnostic: its first two data bytes, then zeros.
std::vector<std::uint8_t> diagnosticBytes(std::uint8_t first, std::uint8_t second) {
    std::vector<std::uint8_t> b(31, 0);
    b[0] = first;
    b[1] = second;
    return b;
}

constexpr char kFirst[] = "03 10 18 02 01 00 00";
constexpr char kSecond[] = "03 10 18 03 01 00 00";
constexpr char kCount[] = "03 10 18 05 02 00 00";
constexpr char kDiagnosticFlag[] = "03 10 07 00 01 00 00";
constexpr char kDiagnostic[] = "03 10 07 01 31 00 00";
constexpr char kCounters[4][21] = {"03 10 38 00 04 00 00", "03 10 38 04 04 00 00", "03 10 38 08 04 00 00",
                                   "03 10 38 12 04 00 00"};
constexpr char kCounterByte[] = "03 10 38 16 01 00 00";

// In this order: a row may show that an earlier row's values were left alone.
std::vector<Message> messages() {
    return {
        {"0x22, one record",
         0x22,
         0x00,
         kOneRecord,
         "onVkdmNewNotification(0, 0x22)",
         {{kFirst, {0x01}}, {kCount, {}, 1}},
         1},
        {"0x22, status outside the list", 0x22, 0x01, kOneRecord, nullptr, {}, 0},
        {"0x22, TR-DATA 2 behind bit 7",
         0x22,
         0x84,
         kOneRecordWithInput,
         "onVkdmNewNotification(132, 0x22)",
         {{kFirst, {0x81}}, {kSecond, {0x01}}, {kCount, {}, 1}},
         1},
        {"0x22, shorter than its header",
         0x22,
         0x00,
         {0x85, 0x05, 0x00},
         nullptr,
         {{kFirst, {0x81}}, {kSecond, {0x01}}, {kCount, {}, 1}},
         0},
        {"0x22, count 0", 0x22, 0x00, {0x01, 0x00, 0x00}, nullptr, {{kFirst, {0x01}}, {kCount, {}, 0}}, 0},
        {"0x22, two records announced, one sent",
         0x22,
         0x00,
         {0x01, 0x00, 0x02, 0x03, 0x08, 0xE0, 0x04, 0x01, 0x00, 0x00, 0x00, 0x00, 0x09},
         "onVkdmNewNotification(-129, 0x22)",
         {{kCount, {}, 2}}},
        {"0x22, no data", 0x22, 0x00, {}, "onVkdmNewNotification(0, 0x22)", {}, 0},
        {"0x1F, not for Java", 0x1F, 0x00, {0x01}, nullptr, {}},
        {"0x6E, three bytes",
         0x6E,
         0x00,
         {0x12, 0x34, 0x56},
         "onVkdmNewNotification(0, 0x6E)",
         {{kDiagnosticFlag, {0x01}}, {kDiagnostic, diagnosticBytes(0x12, 0x34)}}},
        {"0x6E, one byte",
         0x6E,
         0x84,
         {0x56},
         "onVkdmNewNotification(132, 0x6E)",
         {{kDiagnostic, diagnosticBytes(0x56, 0x00)}}},
        {"0x6E, an error status reaches Java, nothing stored",
         0x6E,
         0x01,
         {0x99},
         "onVkdmNewNotification(1, 0x6E)",
         {{kDiagnostic, diagnosticBytes(0x56, 0x00)}}},
        {"0x74, input event",
         0x74,
         0x00,
         {0x05, 0x01},
         "onVkdmNewNotification(0, 0x22)",
         {{kFirst, {0x80}}, {kSecond, {0x01}}, {kCount, {}, 1}},
         1},
        {"0x74, an error status", 0x74, 0x02, {0x05, 0x01}, nullptr, {}, 0},
        {"0x74, no data", 0x74, 0x00, {}, "onVkdmNewNotification(0, 0x22)", {}, 0},
        // The listener appends the reader's bus address: 15 data bytes make 16, too short.
        {"0x77, one byte short", 0x77, 0x00, krnsim::Bytes(15, 0xFF), nullptr, {}},
        {"0x77, four counters and the bus address",
         0x77,
         0x00,
         {0, 0, 0, 1, 0, 0, 1, 0, 0, 1, 0, 0, 1, 0, 0, 0},
         "onVkdmNewNotification(0, 0x77)",
         {{kCounters[0], {}, 1u},
          {kCounters[1], {}, 0x100u},
          {kCounters[2], {}, 0x10000u},
          {kCounters[3], {}, 0x1000000u},
          {kCounterByte, {kBusAddress}}}},
        {"0x77, one byte more",
         0x77,
         0x00,
         {0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 2, 0, 0, 0, 3, 0, 0, 0, 4, 0x42},
         "onVkdmNewNotification(0, 0x77)",
         {{kCounters[0], {}, 0xFFFFFFFFu}, {kCounters[3], {}, 4u}, {kCounterByte, {0x42}}}},
    };
}

struct Channel {
    const char* name;
    bool cipher;
    std::uint8_t keyType;
    const char* key;
};

void PrintTo(const Channel& c, std::ostream* os) {
    *os << c.name;
}

krnsim::Bytes keyBytes(const char* hex) {
    krnsim::Bytes out;
    for (const char* p = hex; p[0] != '\0' && p[1] != '\0'; p += 2)
        out.push_back(static_cast<std::uint8_t>(std::stoi(std::string(p, 2), nullptr, 16)));
    return out;
}

std::uint16_t freePort() {
    vktesting::LoopbackListener probe;
    return probe.port(); // closed unconnected: no TIME_WAIT holds it
}

class NotificationJvmTest : public TaskJvmTest, public ::testing::WithParamInterface<Channel> {
  protected:
    void expectStored(const Message& m) {
        for (const Stored& s : m.stored) {
            SCOPED_TRACE(s.id);
            if (s.value) {
                unsigned int v = 0xDEADBEEF;
                EXPECT_EQ(core()->GetData(s.id, &v), 0);
                EXPECT_EQ(v, *s.value);
            } else {
                std::vector<std::uint8_t> v(s.bytes.size(), 0xEE);
                EXPECT_EQ(core()->GetData(s.id, v.data(), static_cast<int>(v.size())), 0);
                EXPECT_EQ(v, s.bytes);
            }
        }
        if (m.records >= 0) {
            EXPECT_EQ(core()->m_BrmRecordCount.load(), m.records);
        }
    }
};

TEST_P(NotificationJvmTest, TheReadersMessagesReachJavaAndTheCoreAndCancelEndsTheListener) {
    const Channel& channel = GetParam();
    const std::uint16_t port = freePort();
    jobject l = listener();
    const Outcome o = start(handle, l,
                            {.kind = 3,
                             .port = port,
                             .acknowledge = 1,
                             .timeout = 1,
                             .cipher = channel.cipher,
                             .key = channel.key});
    ASSERT_FALSE(o.thrown) << o.thrown->message;
    ASSERT_EQ(o.value.i, 0);
    EXPECT_EQ(uses(Slot::Reader), 1);
    EXPECT_EQ(flag(), 1);

    std::unique_ptr<krnsim::Notifier> reader;
    ASSERT_TRUE(vktesting::waitUntil([&] {
        try {
            reader = std::make_unique<krnsim::Notifier>(port, kBusAddress);
            return true;
        } catch (const std::runtime_error&) {
            return false;
        }
    }));
    if (channel.cipher) {
        // Before the handshake a plain message is refused (an error report,
        // which reaches no Java method) and not acknowledged; the handshake
        // then goes on as usual.
        reader->notify(0x22, kOneRecord);
        EXPECT_FALSE(reader->waitFrame(50ms));
        ASSERT_TRUE(reader->authenticate(channel.keyType, keyBytes(channel.key)));
    }

    std::vector<std::string> expected;
    for (const Message& m : messages()) {
        SCOPED_TRACE(m.name);
        reader->notify(m.command, m.data, krnsim::Form::Standard, m.status);
        // Acknowledged once the message's callback has returned.
        const bool acknowledged = channel.cipher || m.command == 0x22 || m.command == 0x1F;
        if (acknowledged) {
            const auto ack = reader->waitFrame(5000ms);
            ASSERT_TRUE(ack);
            EXPECT_EQ(ack->command, 0x32);
            EXPECT_EQ(ack->verdict, "ok");
        }
        if (m.call != nullptr) {
            expected.push_back(m.call);
            ASSERT_EQ(calls(l, static_cast<int>(expected.size())).size(), expected.size());
        }
        if (acknowledged || m.call != nullptr) expectStored(m);
    }
    const auto got = calls(l, static_cast<int>(expected.size()), 0);
    ASSERT_EQ(got.size(), expected.size());
    for (std::size_t i = 0; i < got.size(); ++i) {
        EXPECT_THAT(got[i], StartsWith(expected[i] + " on "));
        EXPECT_THAT(got[i], ::testing::Not(HasSubstr(" on main")));
    }
    // The peer's address and the listener's own port.
    std::uint8_t address[4] = {};
    EXPECT_EQ(core()->GetData("03 10 36 00 04 00 00", address, 4), 0);
    EXPECT_THAT(address, ::testing::ElementsAre(127, 0, 0, 1));
    unsigned int storedPort = 0;
    EXPECT_EQ(core()->GetData("03 10 36 04 02 00 00", &storedPort), 0);
    EXPECT_EQ(storedPort, port);

    // The reader hangs up first (no TIME_WAIT on the listener's port), then the task ends.
    reader.reset();
    EXPECT_EQ(cancelOutsideCallbacks(handle), 0);
    EXPECT_EQ(uses(Slot::Reader), 0);
    EXPECT_EQ(flag(), 0);
    EXPECT_THROW(krnsim::Notifier(port, kBusAddress), std::runtime_error);
    EXPECT_EQ(calls(l, static_cast<int>(expected.size()), 0).size(), expected.size());
}

INSTANTIATE_TEST_SUITE_P(
    Channels, NotificationJvmTest,
    ::testing::Values(Channel{"Plain", false, 0, nullptr},
                      Channel{"Aes128", true, 0, "00112233445566778899AABBCCDDEEFF"},
                      Channel{"Aes192", true, 1, "000102030405060708090A0B0C0D0E0F1011121314151617"},
                      Channel{"Aes256", true, 2,
                              "000102030405060708090A0B0C0D0E0F101112131415161718191A1B1C1D1E1F"}),
    [](const ::testing::TestParamInfo<Channel>& info) { return std::string(info.param.name); });

// ---- the listener key ---------------------------------------------------------------

// The bytes of a key given as hex text, parsed in place (no copy elsewhere).
struct KeyBytes {
    explicit KeyBytes(const char* hex) {
        for (; hex[0] != '\0' && hex[1] != '\0' && size < bytes.size(); hex += 2)
            bytes[size++] = static_cast<std::uint8_t>(std::stoi(std::string(hex, 2), nullptr, 16));
    }
    // Where its first or its last 16 bytes lie in the process's memory, but
    // here: the addresses as hex text.
    std::vector<std::string> copies() const {
        const auto key = std::span(bytes).first(size);
        std::vector<std::string> found;
        for (const auto part : {key.first(16), key.last(16)}) {
            for (const std::uintptr_t at : vktesting::findInMemory(part, bytes.data(), bytes.size())) {
                char text[24];
                std::snprintf(text, sizeof text, "%#jx", static_cast<std::uintmax_t>(at));
                found.emplace_back(text);
            }
        }
        return found;
    }
    std::array<std::uint8_t, 32> bytes{};
    std::size_t size = 0;
};

class ListenerKeyJvmTest : public TaskJvmTest {
  protected:
    Outcome startListener(int moduleHandle, const char* key) {
        return start(moduleHandle, listener(),
                     {.kind = 3, .port = freePort(), .timeout = 1, .cipher = true, .key = key});
    }
};

TEST_F(ListenerKeyJvmTest, NoCopyOfTheKeyOutlivesItsTask) {
    constexpr char kRunning[] = "3C0FA5E19B2D4876C1F05A3E8D6B2947E8A4C3B2D1F0E9D8";
    enum class Way { Cancelled, RefusedWhileOneRuns, LengthRefused, ModuleDestroyed };
    const struct {
        const char* name;
        const char* key;
        Way way;
    } cases[] = {
        {"a listener cancelled", "5AC3961EF00D4B27C8A13E6F9D2B7405E19C3A86D4F02B7768AD13C59E0F42B1",
         Way::Cancelled},
        {"a start the reader library refuses while a listener runs", "97E2B04C6A1D53F8E0C92B7A461D3E5F",
         Way::RefusedWhileOneRuns},
        {"a key length the module refuses", "D42A7C19E5B38F60A1C7E29D4B8F3A6C5E1D7B90", Way::LengthRefused},
        {"a module destroyed while its listener runs", "B81E6D3A0F5C92E74A1B8D3C6F0E5A29",
         Way::ModuleDestroyed},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const KeyBytes key(c.key);
        switch (c.way) {
        case Way::Cancelled:
            ASSERT_EQ(startListener(handle, c.key).value.i, 0);
            EXPECT_EQ(cancelOutsideCallbacks(handle), 0);
            break;
        case Way::RefusedWhileOneRuns: {
            ASSERT_EQ(startListener(handle, kRunning).value.i, 0);
            const Outcome refused = startListener(handle, c.key);
            ASSERT_TRUE(refused.thrown);
            EXPECT_EQ(refused.thrown->code, -4080);
            EXPECT_EQ(cancelOutsideCallbacks(handle), 0);
            break;
        }
        case Way::LengthRefused: {
            const Outcome refused = startListener(handle, c.key);
            ASSERT_TRUE(refused.thrown);
            EXPECT_EQ(refused.thrown->code, -106);
            break;
        }
        case Way::ModuleDestroyed: {
            const int other = addModule();
            ASSERT_GT(other, 0);
            ASSERT_EQ(startListener(other, c.key).value.i, 0);
            EXPECT_EQ(callReader(env, "Destroy", "(I)I", {I(other)}).value.i, 0);
            break;
        }
        }
        EXPECT_THAT(key.copies(), ::testing::IsEmpty());
    }
    EXPECT_THAT(KeyBytes(kRunning).copies(), ::testing::IsEmpty());
}

} // namespace

// T=CL sessions and APDUs from a real JVM, against the simulated reader's
// T=CL card over loopback TCP.
#include "core_calls.h"
#include "tcl_fixture.h"

#include <vktcl.h>

#include <gmock/gmock.h>

#include <thread>

namespace {

using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;
using vkbridge::B;
using vkbridge::callReader;
using vkbridge::hexText;
using vkbridge::I;
using vkbridge::L;
using vkbridge::newObject;
using vkbridge::Outcome;
using vkbridge::Session;
using vkbridge::TclJvmTest;
using vkbridge::Z;
using namespace std::chrono_literals;

TEST_F(TclJvmTest, ASessionIsReusedWhileItsParametersHold) {
    const Session first{1, 0x21, true, true};
    card->setCid(1);
    EXPECT_EQ(sync(apduOf(4), 300, 1, first).outcome.value.i, 0);
    EXPECT_EQ(sync(apduOf(5), 300, 1, first).outcome.value.i, 0);
    EXPECT_EQ(requests(0x66), 1u);
    // Another NAD: a new session.
    EXPECT_EQ(sync(apduOf(4), 300, 1, {1, 0x22, true, true}).outcome.value.i, 0);
    EXPECT_EQ(requests(0x66), 2u);
    // A ping compares CID and use-CID only: the same session.
    EXPECT_EQ(ping(true, 1).value.i, 0);
    EXPECT_EQ(requests(0x66), 2u);
    // A ping with another CID makes one with the stored NAD and use-NAD.
    card->setCid(2);
    EXPECT_EQ(ping(true, 2).value.i, 0);
    EXPECT_EQ(requests(0x66), 3u);
    auto* m = module4j();
    EXPECT_EQ(m->m_TclCid, 2);
    EXPECT_EQ(m->m_TclNad, 0x22);
    EXPECT_EQ(m->m_TclUseNad, 1);
    const auto air = card->airLog();
    ASSERT_FALSE(air.empty());
    EXPECT_EQ(air.back().kind, krnsim::AirBlock::Kind::Presence);
    EXPECT_EQ(air.back().cid, std::optional<std::uint8_t>(2));
    // Deselect halts the card.
    EXPECT_EQ(deselect(true, 2).value.i, 0);
    EXPECT_TRUE(card->halted());
    EXPECT_EQ(requests(0x66), 3u);
}

TEST_F(TclJvmTest, ARefusedCreationLeavesNoSessionAndTheNextRequestCreates) {
    setBuffers(8, 256); // a receive size below 10: no session
    const vkbridge::SyncAnswer a = sync(apduOf(4));
    ASSERT_TRUE(a.outcome.thrown);
    EXPECT_EQ(a.outcome.thrown->className, "de.varek.VkdmException");
    EXPECT_EQ(a.outcome.thrown->code, -4200);
    EXPECT_THAT(a.outcome.thrown->message, HasSubstr("VkdmKrnReader_SendTclApdu_Sync"));
    EXPECT_EQ(module4j()->m_TclSession.load(), 0);
    EXPECT_EQ(core()->GetLastError(), -4200);
    const Outcome p = ping(false, 0);
    ASSERT_TRUE(p.thrown);
    EXPECT_THAT(p.thrown->message, HasSubstr("VkdmKrnReader_SendTclPing"));
    setBuffers(256, 256);
    EXPECT_EQ(sync(apduOf(4)).outcome.value.i, 0);
    EXPECT_GT(module4j()->m_TclSession.load(), 0);
}

TEST_F(TclJvmTest, DestroyingTheModuleDeletesItsSession) {
    EXPECT_EQ(sync(apduOf(4)).outcome.value.i, 0);
    EXPECT_GT(VKTCL_GetTransponderList(0), 0);
    EXPECT_FALSE(callReader(env, "Destroy", "(I)I", {I(handle)}).thrown);
    EXPECT_EQ(VKTCL_GetTransponderList(0), -4201);
}

TEST_F(TclJvmTest, SynchronousAnswers) {
    const krnsim::Bytes small = apduOf(4, 0x10);
    vkbridge::SyncAnswer a = sync(small, 10);
    EXPECT_FALSE(a.outcome.thrown);
    EXPECT_EQ(a.outcome.value.i, 0);
    EXPECT_EQ(a.length, std::vector<jint>{6});
    EXPECT_EQ(krnsim::Bytes(a.response.begin(), a.response.begin() + 6), echoed(small));
    EXPECT_EQ(a.response[6], 0xEE);

    // Chained answers after waiting-time requests.
    card->setChainingSize(30);
    card->setWaitingTimes({{1, 1, krnsim::Millis(0)}});
    const krnsim::Bytes big = apduOf(200);
    a = sync(big, 300);
    EXPECT_EQ(a.outcome.value.i, 0);
    ASSERT_EQ(a.length, std::vector<jint>{202});
    EXPECT_EQ(krnsim::Bytes(a.response.begin(), a.response.begin() + 202), echoed(big));
}

TEST_F(TclJvmTest, SynchronousRefusals) {
    struct Row {
        const char* name;
        int room;
        int lengths;
        int code;
        std::vector<jint> length; // after the call
    } rows[] = {
        {"response longer than the array", 5, 1, -105, {6}},
        {"empty response array", 0, 1, -105, {6}},
        {"null response array", -1, 1, -121, {-7}},
        {"null length array", 10, -1, -121, {}},
    };
    for (const Row& row : rows) {
        const vkbridge::SyncAnswer a = sync(apduOf(4), row.room, row.lengths);
        ASSERT_TRUE(a.outcome.thrown) << row.name;
        EXPECT_EQ(a.outcome.thrown->code, row.code) << row.name;
        EXPECT_EQ(a.length, row.length) << row.name;
        for (std::uint8_t b : a.response)
            EXPECT_EQ(b, 0xEE) << row.name;
    }
    // An empty length array: the JVM's own exception, nothing written past it.
    vkbridge::SyncAnswer a = sync(apduOf(4), 10, 0);
    ASSERT_TRUE(a.outcome.thrown);
    EXPECT_EQ(a.outcome.thrown->className, "java.lang.ArrayIndexOutOfBoundsException");
    // An empty APDU.
    jbyteArray empty = env->NewByteArray(0);
    jbyteArray response = env->NewByteArray(10);
    jintArray length = env->NewIntArray(1);
    const Outcome o =
        callReader(env, "SendTclApdu", vkbridge::kApduSync,
                   {I(handle), L(empty), B(0), B(0), Z(false), Z(false), L(response), L(length)});
    ASSERT_TRUE(o.thrown);
    EXPECT_EQ(o.thrown->code, -105);
    env->DeleteLocalRef(empty);
    env->DeleteLocalRef(response);
    env->DeleteLocalRef(length);
}

TEST_F(TclJvmTest, EmptyCardResponsesAndReaderStatuses) {
    card->setModel([](const krnsim::Bytes&) { return krnsim::Bytes{}; });
    vkbridge::SyncAnswer a = sync(apduOf(4));
    ASSERT_TRUE(a.outcome.thrown);
    EXPECT_EQ(a.outcome.thrown->code, -109);
    EXPECT_EQ(a.length, std::vector<jint>{-7});
    // No card: the reader's status 0x01 is returned, the arrays untouched.
    card->setPresent(false);
    a = sync(apduOf(4));
    EXPECT_FALSE(a.outcome.thrown);
    EXPECT_EQ(a.outcome.value.i, 1);
    EXPECT_EQ(a.length, std::vector<jint>{-7});
    EXPECT_EQ(a.response[0], 0xEE);
}

TEST_F(TclJvmTest, AsynchronousAnswerOnTheWorker) {
    jobject l = apduListener();
    const krnsim::Bytes apdu = apduOf(4, 0x30);
    const Outcome o = async(apdu, l);
    ASSERT_FALSE(o.thrown) << o.thrown->message;
    EXPECT_EQ(o.value.i, 0);
    const auto got = calls(l, 1);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_THAT(got[0], StartsWith("onVkdmApduResponse(0, [" + hexText(echoed(apdu)) + "]) on "));
    EXPECT_THAT(got[0], Not(HasSubstr(" on main")));
    EXPECT_TRUE(vktesting::waitUntil([&] { return apduUses() == 0 && flag() == 0; }));
    EXPECT_FALSE(module4j()->Listeners().taskRunning(nubokrn4j::TaskId::Apdu));
}

TEST_F(TclJvmTest, AsynchronousEmptyAnswersAndStatuses) {
    jobject l = apduListener();
    card->setModel([](const krnsim::Bytes&) { return krnsim::Bytes{}; });
    ASSERT_EQ(async(apduOf(4), l).value.i, 0);
    ASSERT_EQ(calls(l, 1).size(), 1u);
    EXPECT_TRUE(vktesting::waitUntil([&] { return apduUses() == 0 && flag() == 0; }));
    card->setPresent(false);
    ASSERT_EQ(async(apduOf(4), l).value.i, 0);
    const auto got = calls(l, 2);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_THAT(got[0], StartsWith("onVkdmApduResponse(0, null) on "));
    EXPECT_THAT(got[1], StartsWith("onVkdmApduResponse(1, null) on "));
    EXPECT_TRUE(vktesting::waitUntil([&] { return apduUses() == 0 && flag() == 0; }));
}

TEST_F(TclJvmTest, ASecondApduWhileOneRunsIsRefusedAndChangesNothing) {
    jobject l = apduListener();
    jobject other = apduListener();
    card->setResponseTime(krnsim::Millis(300));
    ASSERT_EQ(async(apduOf(4), l).value.i, 0);
    EXPECT_EQ(apduUses(), 1);
    EXPECT_EQ(flag(), nubokrn4j::kApduTaskBit);
    const Outcome o = async(apduOf(4), other);
    ASSERT_TRUE(o.thrown);
    EXPECT_EQ(o.thrown->code, -4209);
    EXPECT_THAT(o.thrown->message, HasSubstr("VkdmKrnReader_SendTclApdu_Async"));
    EXPECT_EQ(apduUses(), 1);
    EXPECT_EQ(flag(), nubokrn4j::kApduTaskBit);
    ASSERT_EQ(calls(l, 1).size(), 1u);
    EXPECT_TRUE(vktesting::waitUntil([&] { return apduUses() == 0 && flag() == 0; }));
    EXPECT_EQ(calls(other, 0, 0).size(), 0u);
}

TEST_F(TclJvmTest, NullListenerAndNullApdu) {
    Outcome o = async(apduOf(4), nullptr);
    ASSERT_TRUE(o.thrown);
    EXPECT_EQ(o.thrown->code, -121);
    o = callReader(env, "SendTclApdu", vkbridge::kApduAsync,
                   {I(handle), L(nullptr), B(0), B(0), Z(false), Z(false), L(apduListener())});
    ASSERT_TRUE(o.thrown);
    EXPECT_EQ(o.thrown->code, -121);
    // The null listener is refused before the lookup.
    o = async(apduOf(4), nullptr, {}, 0x10000FFF);
    ASSERT_TRUE(o.thrown);
    EXPECT_EQ(o.thrown->code, -121);
    EXPECT_EQ(apduUses(), 0);
    EXPECT_EQ(flag(), 0);
    EXPECT_EQ(requests(0x66), 0u);
}

TEST_F(TclJvmTest, ACollectedListenerIsNotCalledAndItsSlotGoesBack) {
    card->setResponseTime(krnsim::Millis(200));
    jobject l = newObject(env, "vkbridge/RecordingApdu");
    ASSERT_EQ(async(apduOf(4), l).value.i, 0);
    env->DeleteLocalRef(l);
    ASSERT_FALSE(vkbridge::callStatic(env, "java/lang/System", "gc", "()V").thrown);
    EXPECT_TRUE(vktesting::waitUntil([&] { return apduUses() == 0 && flag() == 0; }));
}

TEST_F(TclJvmTest, ApdusBesideARepeatedInventoryKeepTheirOwnRecordAndBit) {
    jobject tags = listener();
    jobject apdus = apduListener();
    ASSERT_EQ(start(handle, tags, {.kind = 2}).value.i, 0);
    ASSERT_EQ(calls(tags, 1).size(), 1u);
    // Each APDU runs while the inventory task waits for its trigger; the trigger follows the
    // APDU's answer, because the APDU goes to the socket past the reader library, and an
    // exchange of each on the line at once could take each other's reply.
    for (int k = 1; k <= 2; ++k) {
        ASSERT_EQ(async(apduOf(4, static_cast<std::uint8_t>(k)), apdus).value.i, 0);
        ASSERT_EQ(calls(apdus, k).size(), static_cast<std::size_t>(k));
        EXPECT_EQ(callReader(env, "TriggerAsyncTask", "(I)I", {I(handle)}).value.i, 0);
        ASSERT_EQ(calls(tags, k + 1).size(), static_cast<std::size_t>(k + 1));
    }
    for (const std::string& c : calls(apdus, 2))
        EXPECT_THAT(c, StartsWith("onVkdmApduResponse(0, ["));
    for (const std::string& c : calls(tags, 3))
        EXPECT_THAT(c, StartsWith("onVkdmNewTag("));
    // The APDUs ended: the inventory still runs and is still cancelled.
    EXPECT_TRUE(vktesting::waitUntil([&] { return flag() == nubokrn4j::kReaderTaskBit; }));
    EXPECT_EQ(cancelOutsideCallbacks(handle), 0);
    EXPECT_EQ(flag(), 0);
    EXPECT_EQ(uses(nubokrn4j::Slot::Reader), 0);
    EXPECT_EQ(apduUses(), 0);
}

} // namespace

namespace {

// The serial route: the module on a pseudo-terminal.
TEST_F(TclJvmTest, ApdusOnASerialLine) {
    const krnsim::PtyEndpoint pty = simulator.openPty();
    const int module = addModule(false);
    vkbridge::JavaString key(env, "PORTPREFIX");
    vkbridge::JavaString prefix(env, "/dev/pts/");
    ASSERT_EQ(callReader(env, "SetPortPara", "(ILjava/lang/String;Ljava/lang/String;)I",
                         {I(module), L(key.get()), L(prefix.get())})
                  .value.i,
              0);
    const int number = std::stoi(pty.slavePath.substr(pty.slavePath.rfind('/') + 1));
    const Outcome c = callReader(env, "ConnectCOMM", "(II)I", {I(module), I(number + 1)});
    ASSERT_FALSE(c.thrown) << c.thrown->message;
    handle = module; // the helpers send on `handle`
    card->setChainingSize(30);
    const krnsim::Bytes apdu = apduOf(100);
    vkbridge::SyncAnswer a = sync(apdu, 200);
    ASSERT_FALSE(a.outcome.thrown) << a.outcome.thrown->message;
    EXPECT_EQ(a.length, std::vector<jint>{102});
    EXPECT_EQ(krnsim::Bytes(a.response.begin(), a.response.begin() + 102), echoed(apdu));
    jobject l = apduListener();
    ASSERT_EQ(async(apduOf(3), l).value.i, 0);
    const auto got = calls(l, 1);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_THAT(got[0], StartsWith("onVkdmApduResponse(0, [" + hexText(echoed(apduOf(3))) + "]) on "));
    EXPECT_EQ(ping(false, 0).value.i, 0);
    EXPECT_TRUE(vktesting::waitUntil([&] { return apduUses() == 0 && flag() == 0; }));
}

} // namespace

namespace {

TEST_F(TclJvmTest, ReplacingTheSessionUnderARunningApduStillAnswersItOnce) {
    jobject l = apduListener();
    card->setResponseTime(krnsim::Millis(200));
    ASSERT_EQ(async(apduOf(4), l).value.i, 0);
    // Another NAD: the running exchange is stopped and the session replaced.
    card->setResponseTime(krnsim::Millis(0));
    const vkbridge::SyncAnswer a = sync(apduOf(5), 300, 1, {0, 0x33, false, true});
    EXPECT_FALSE(a.outcome.thrown) << a.outcome.thrown->message;
    ASSERT_EQ(calls(l, 1).size(), 1u);
    EXPECT_TRUE(vktesting::waitUntil([&] { return apduUses() == 0 && flag() == 0; }));
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(calls(l, 1, 0).size(), 1u);
    EXPECT_EQ(module4j()->m_TclNad, 0x33);
}

} // namespace

// The instrument command set through the real exports of libZorbel_dll.so,
// against a strict simulator that knows every command's signature.
#include "session_fixture.h"
#include "waveform_test_support.h"

#include <vkplatform/zlog_capture.h>
#include <zrbsim/reply_plan.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

using zrb::testing::SessionTest;
using zrbsim::ReplyPlan;
using zrbtest::makeWaveform;
using zrbtest::WaveformPtr;

// Everything a command may store, with a sentinel in every place.
struct Outputs {
    int values[4] = {-1, -1, -1, -1};
    std::uint8_t data[4] = {0xEE, 0xEE, 0xEE, 0xEE};
    int count = -1;
    std::uint8_t value = 0xEE;
    Waveform* capture = nullptr;

    Outputs() = default;
    Outputs(const Outputs&) = delete;
    Outputs& operator=(const Outputs&) = delete;
    ~Outputs() { ZRB_WaveformDelete(capture); }
};

std::string hex(const std::uint8_t* bytes, std::size_t count) {
    std::string text;
    char digits[3];
    for (std::size_t i = 0; i < count; ++i) {
        std::snprintf(digits, sizeof digits, "%02X", bytes[i]);
        text += digits;
    }
    return text;
}

// What a row shows of the outputs, one text per value field in reply order.
using Observe = std::function<std::vector<std::string>(const Outputs&)>;

std::vector<std::string> nothing(const Outputs&) {
    return {};
}

std::vector<std::string> threeValues(const Outputs& out) {
    return {std::to_string(out.values[0]), std::to_string(out.values[1]), std::to_string(out.values[2])};
}

enum class Kind {
    kPlain, // a code, no value fields
    kValues,
    kFlag, // returns a byte
};

// One command: how to call it, the line it must send (written out here, apart
// from the library's and the simulator's tables), a reply with distinct values
// and what the outputs hold after it. `nulls` call it with each required
// pointer NULL in turn.
struct Row {
    const char* command;
    Kind kind;
    std::function<int(Outputs&)> call;
    const char* request;
    const char* reply;
    int result;
    Observe observe = nothing;
    std::vector<std::string> observed = {};
    std::vector<std::function<int(Outputs&)>> nulls = {};
};

const std::uint8_t kTwentyBits[] = {0xAB, 0xCD, 0xE0};
const std::uint8_t kOneByte[] = {0x12};
const std::uint8_t kTwelveBits[] = {0xAB, 0xC0};

// One waveform argument for every row: 1 for 40 ns, then 0 for 60 ns.
const Waveform* pulse() {
    static const WaveformPtr waveform = makeWaveform({{1, 40}, {0, 60}});
    return waveform.get();
}

const std::vector<Row>& rows() {
    static const std::vector<Row> table = {
        {"Reset:ToIdle", Kind::kPlain, [](Outputs&) { return ZRB_ResetToIdle(); }, "ZRB:Reset:ToIdle \r\n",
         "0", 0},
        {"Trigger:Loopback", Kind::kPlain, [](Outputs&) { return ZRB_TriggerLoopback(); },
         "ZRB:Trigger:Loopback \r\n", "0", 0},
        {"Trigger:Set", Kind::kPlain, [](Outputs&) { return ZRB_TriggerSet(2, 3, 4, 2500.0); },
         "ZRB:Trigger:Set 2,3,4,2.500000000000e+003\r\n", "0", 0},
        {"Trigger:HasTriggered", Kind::kFlag, [](Outputs&) { return int{ZRB_TriggerHasTriggered(5)}; },
         "ZRB:Trigger:HasTriggered 5\r\n", "0,1", 1},
        {"Trigger:ClearAllScheduled", Kind::kPlain, [](Outputs&) { return ZRB_TriggerClearAllScheduled(); },
         "ZRB:Trigger:ClearAllScheduled \r\n", "0", 0},
        {"Rf:LaunchSpy",
         Kind::kPlain,
         [](Outputs&) { return ZRB_RfLaunchSpy("spy", 1, -2, 3); },
         "ZRB:Rf:LaunchSpy \"spy\",1,-2,3\r\n",
         "0",
         0,
         nothing,
         {},
         {[](Outputs&) { return ZRB_RfLaunchSpy(nullptr, 1, -2, 3); }}},
        {"Rf:StopSpy", Kind::kPlain, [](Outputs&) { return ZRB_RfStopSpy(); }, "ZRB:Rf:StopSpy \r\n", "0", 0},
        {"Rf:FieldOn", Kind::kPlain, [](Outputs&) { return ZRB_RfFieldOn(1); }, "ZRB:Rf:FieldOn 1\r\n", "0",
         0},
        {"Rf:FieldOff", Kind::kPlain, [](Outputs&) { return ZRB_RfFieldOff(2); }, "ZRB:Rf:FieldOff 2\r\n",
         "0", 0},
        {"Rf:CancelOutput", Kind::kPlain, [](Outputs&) { return ZRB_RfCancelOutput(); },
         "ZRB:Rf:CancelOutput \r\n", "0", 0},
        {"Rf:SetTechnology", Kind::kPlain, [](Outputs&) { return ZRB_RfSetTechnology(3); },
         "ZRB:Rf:SetTechnology 3\r\n", "0", 0},
        {"Rf:SetPowerLevel", Kind::kPlain, [](Outputs&) { return ZRB_RfSetPowerLevel(-4); },
         "ZRB:Rf:SetPowerLevel -4\r\n", "0", 0},
        {"Rf:SetIso15693Modes", Kind::kPlain, [](Outputs&) { return ZRB_RfSetIso15693Modes(1, 2, 3, 4); },
         "ZRB:Rf:SetIso15693Modes 1,2,3,4\r\n", "0", 0},
        {"Rf:SetRxTimeOut", Kind::kPlain, [](Outputs&) { return ZRB_RfSetRxTimeOut(0.001); },
         "ZRB:Rf:SetRxTimeOut 1.000000000000e-003\r\n", "0", 0},
        {"Rf:SetRxIgnoreDurationNs", Kind::kPlain,
         [](Outputs&) { return ZRB_RfSetRxIgnoreDurationNs(-1500.5); },
         "ZRB:Rf:SetRxIgnoreDurationNs -1.500500000000e+003\r\n", "0", 0},
        {"Rf:ScheduleRequest",
         Kind::kValues,
         [](Outputs& out) { return ZRB_RfScheduleRequest(kTwentyBits, 20, 3, out.values); },
         "ZRB:Rf:ScheduleRequest \"ABCDE0\",20,3\r\n",
         "0,101,102,103",
         0,
         threeValues,
         {"101", "102", "103"},
         {[](Outputs& out) { return ZRB_RfScheduleRequest(nullptr, 20, 3, out.values); }}},
        {"Rf:AppendScheduledRequest",
         Kind::kValues,
         [](Outputs& out) { return ZRB_RfAppendScheduledRequest(kOneByte, 8, -1, out.values); },
         "ZRB:Rf:AppendScheduledRequest \"12\",8,-1\r\n",
         "0,201,202,203",
         0,
         threeValues,
         {"201", "202", "203"},
         {[](Outputs& out) { return ZRB_RfAppendScheduledRequest(nullptr, 8, -1, out.values); }}},
        {"Rf:ScheduleEof", Kind::kPlain, [](Outputs&) { return ZRB_RfScheduleEof(6); },
         "ZRB:Rf:ScheduleEof 6\r\n", "0", 0},
        {"Rf:GetResponse",
         Kind::kValues,
         [](Outputs& out) { return ZRB_RfGetResponse(1, out.data, 2, &out.count, out.values); },
         "ZRB:Rf:GetResponse 1,2\r\n",
         "0,A1B2,2,301,302,303,304",
         0,
         [](const Outputs& out) -> std::vector<std::string> {
             return {hex(out.data, 4),
                     std::to_string(out.count),
                     std::to_string(out.values[0]),
                     std::to_string(out.values[1]),
                     std::to_string(out.values[2]),
                     std::to_string(out.values[3])};
         },
         {"A1B2EEEE", "2", "301", "302", "303", "304"}},
        {"Gpio:CfgOpenDrain", Kind::kPlain, [](Outputs&) { return ZRB_GpioCfgOpenDrain(7, 200); },
         "ZRB:Gpio:CfgOpenDrain 7,200\r\n", "0", 0},
        {"Gpio:UseAsExternalTrigger", Kind::kPlain, [](Outputs&) { return ZRB_GpioUseAsExternalTrigger(8); },
         "ZRB:Gpio:UseAsExternalTrigger 8\r\n", "0", 0},
        {"Gpio:OutputTriggerSrc", Kind::kPlain, [](Outputs&) { return ZRB_GpioOutputTriggerSrc(9, 10); },
         "ZRB:Gpio:OutputTriggerSrc 9,10\r\n", "0", 0},
        {"Gpio:ScheduleWaveformOutput",
         Kind::kPlain,
         [](Outputs&) { return ZRB_GpioScheduleWaveformOutput(11, pulse(), 12, 13); },
         "ZRB:Gpio:ScheduleWaveformOutput 11,\"1;40;0;60\",12,13\r\n",
         "0",
         0,
         nothing,
         {},
         {[](Outputs&) { return ZRB_GpioScheduleWaveformOutput(11, nullptr, 12, 13); }}},
        {"Gpio:WaveformOutputDone", Kind::kFlag,
         [](Outputs&) { return int{ZRB_GpioWaveformOutputDone(14, 15)}; },
         "ZRB:Gpio:WaveformOutputDone 14,15\r\n", "0,1", 1},
        {"Gpio:ScheduleStaticOutput", Kind::kPlain,
         [](Outputs&) { return ZRB_GpioScheduleStaticOutput(16, 255, 17); },
         "ZRB:Gpio:ScheduleStaticOutput 16,255,17\r\n", "0", 0},
        {"Gpio:CancelOutput", Kind::kPlain, [](Outputs&) { return ZRB_GpioCancelOutput(18); },
         "ZRB:Gpio:CancelOutput 18\r\n", "0", 0},
        {"Gpio:ScheduleCapture", Kind::kPlain, [](Outputs&) { return ZRB_GpioScheduleCapture(19, 1e6, 20); },
         "ZRB:Gpio:ScheduleCapture 19,1.000000000000e+006,20\r\n", "0", 0},
        {"Gpio:GetCapture",
         Kind::kValues,
         [](Outputs& out) { return ZRB_GpioGetCapture(21, 22, &out.capture); },
         "ZRB:Gpio:GetCapture 21,22\r\n",
         "0,1;40;0;60",
         0,
         [](const Outputs& out) -> std::vector<std::string> {
             return {out.capture == nullptr ? "none" : zrbtest::elementText(out.capture)};
         },
         {"1;40;0;60"}},
        {"Gpio:GetValue",
         Kind::kValues,
         [](Outputs& out) { return ZRB_GpioGetValue(23, &out.value); },
         "ZRB:Gpio:GetValue 23\r\n",
         "0,2",
         0,
         [](const Outputs& out) -> std::vector<std::string> { return {std::to_string(out.value)}; },
         {"1"}},
        {"Gpio:ScheduleClockOutput", Kind::kPlain,
         [](Outputs&) { return ZRB_GpioScheduleClockOutput(24, 13.56e6, 25); },
         "ZRB:Gpio:ScheduleClockOutput 24,1.356000000000e+007,25\r\n", "0", 0},
        {"Gpio:ScheduleBaseband",
         Kind::kPlain,
         [](Outputs&) { return ZRB_GpioScheduleBaseband(26, kTwelveBits, 12, 27); },
         "ZRB:Gpio:ScheduleBaseband 26,\"ABC0\",12,27\r\n",
         "0",
         0,
         nothing,
         {},
         {[](Outputs&) { return ZRB_GpioScheduleBaseband(26, nullptr, 12, 27); }}},
        {"Gpio:DecodeModulationState",
         Kind::kValues,
         [](Outputs& out) { return ZRB_GpioDecodeModulationState(pulse(), out.data, 3, &out.count); },
         "ZRB:Gpio:DecodeModulationState \"1;40;0;60\",3\r\n",
         "0,D1E2F3,24",
         0,
         [](const Outputs& out) -> std::vector<std::string> {
             return {hex(out.data, 4), std::to_string(out.count)};
         },
         {"D1E2F3EE", "24"},
         {[](Outputs& out) { return ZRB_GpioDecodeModulationState(nullptr, out.data, 3, &out.count); }}},
        {"Gpio:EnableDecoderProbing",
         Kind::kPlain,
         [](Outputs&) { return ZRB_GpioEnableDecoderProbing("probe"); },
         "ZRB:Gpio:EnableDecoderProbing \"probe\"\r\n",
         "0",
         0,
         nothing,
         {},
         {[](Outputs&) { return ZRB_GpioEnableDecoderProbing(nullptr); }}},
        {"Gpio:DisableDecoderProbing", Kind::kPlain, [](Outputs&) { return ZRB_GpioDisableDecoderProbing(); },
         "ZRB:Gpio:DisableDecoderProbing \r\n", "0", 0},
        {"Gpio:SetTechnology", Kind::kPlain, [](Outputs&) { return ZRB_GpioSetTechnology(28); },
         "ZRB:Gpio:SetTechnology 28\r\n", "0", 0},
        {"Gpio:SetIso15693Modes", Kind::kPlain, [](Outputs&) { return ZRB_GpioSetIso15693Modes(5, 6, 7, 8); },
         "ZRB:Gpio:SetIso15693Modes 5,6,7,8\r\n", "0", 0},
        {"Gpio:CancelAllOutputs", Kind::kPlain, [](Outputs&) { return ZRB_GpioCancelAllOutputs(); },
         "ZRB:Gpio:CancelAllOutputs \r\n", "0", 0},
    };
    return table;
}

// The reply with its last value field dropped.
std::string withoutLastField(const std::string& reply) {
    return reply.substr(0, reply.rfind(','));
}

// The reply with a failing code and a message in front of its value fields.
std::string withFailingCode(const std::string& reply) {
    return "7,\"busy, sorry\"" + reply.substr(1);
}

class Commands : public SessionTest {
  protected:
    // The requests the simulator received, as sent.
    std::vector<std::string> sent() {
        std::vector<std::string> lines;
        for (const auto& request : simulator().requests())
            lines.push_back(request.raw);
        return lines;
    }
};

TEST_F(Commands, TheTableCoversEveryCommandOnce) {
    std::vector<std::string> commands;
    for (const Row& row : rows())
        commands.push_back(row.command);
    std::vector<std::string> known;
    for (const auto& definition : zrbsim::instrumentCommands())
        known.push_back(definition.group + ":" + definition.name);
    EXPECT_EQ(commands, known);
    EXPECT_EQ(commands.size(), 37u);
}

TEST_F(Commands, EachSendsItsLineAndStoresItsReply) {
    connect();
    for (const Row& row : rows()) {
        SCOPED_TRACE(row.command);
        simulator().scriptLine(row.reply, row.command);
        const std::size_t before = simulator().requests().size();
        ZRB_Errno = 1234;
        Outputs out;
        EXPECT_EQ(row.call(out), row.result);
        EXPECT_EQ(ZRB_Errno, 0);
        ASSERT_EQ(simulator().requests().size(), before + 1);
        EXPECT_EQ(simulator().requests().back().raw, row.request);
        EXPECT_EQ(row.observe(out), row.observed);
    }
}

TEST_F(Commands, EachAnswersZeroToItsDefaultReply) {
    connect();
    for (const Row& row : rows()) {
        SCOPED_TRACE(row.command);
        Outputs out;
        const int result = row.call(out);
        EXPECT_EQ(ZRB_Errno, 0);
        if (row.kind != Kind::kFlag) {
            EXPECT_EQ(result, 0);
        }
    }
    EXPECT_EQ(simulator().requests().size(), rows().size());
}

TEST_F(Commands, NotConnectedGivesEightAndSendsNothing) {
    ZRB_Errno = 1234;
    for (const Row& row : rows()) {
        SCOPED_TRACE(row.command);
        Outputs out;
        EXPECT_EQ(row.call(out), 8);
        for (const auto& call : row.nulls)
            EXPECT_EQ(call(out), 8) << "8 comes before the NULL check";
        EXPECT_EQ(row.observe(out), row.observe(Outputs{}));
    }
    EXPECT_EQ(ZRB_Errno, 1234);
    EXPECT_TRUE(simulator().events().empty());
}

TEST_F(Commands, ANullRequiredPointerGivesThreeAndSendsNothing) {
    connect();
    ZRB_Errno = 1234;
    std::size_t checked = 0;
    for (const Row& row : rows()) {
        for (const auto& call : row.nulls) {
            SCOPED_TRACE(row.command);
            Outputs out;
            EXPECT_EQ(call(out), 3);
            ++checked;
        }
    }
    EXPECT_EQ(checked, 7u);
    EXPECT_EQ(ZRB_Errno, 1234);
    EXPECT_TRUE(simulator().requests().empty());
}

TEST_F(Commands, AReplyWithoutItsLastFieldGivesElevenAndKeepsEarlierValues) {
    connect();
    for (const Row& row : rows()) {
        if (row.kind == Kind::kPlain) continue;
        SCOPED_TRACE(row.command);
        simulator().scriptLine(withoutLastField(row.reply), row.command);
        Outputs out;
        EXPECT_EQ(row.call(out), 11);
        EXPECT_EQ(ZRB_Errno, 11);
        std::vector<std::string> expected = row.observed;
        if (!expected.empty()) expected.back() = row.observe(Outputs{}).back();
        EXPECT_EQ(row.observe(out), expected);
    }
}

TEST_F(Commands, AFailingCodeStillStoresTheValuesThatFollowItsMessage) {
    connect();
    for (const Row& row : rows()) {
        SCOPED_TRACE(row.command);
        simulator().scriptLine(withFailingCode(row.reply), row.command);
        Outputs out;
        // A flag command returns its flag; the code is in ZRB_Errno.
        EXPECT_EQ(row.call(out), row.kind == Kind::kFlag ? row.result : 7);
        EXPECT_EQ(ZRB_Errno, 7);
        EXPECT_STREQ(ZRB_ErrorMessage(), "busy, sorry");
        EXPECT_EQ(row.observe(out), row.observed);
    }
}

// Byte data -------------------------------------------------------------------

TEST_F(Commands, BitCountsSendTheHexOfEveryStartedByte) {
    const std::uint8_t data[8] = {0x80, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0xFF};
    struct Case {
        unsigned bits;
        const char* request;
    };
    const Case cases[] = {
        {0, "ZRB:Rf:ScheduleRequest \"\",0,3\r\n"},
        {1, "ZRB:Rf:ScheduleRequest \"80\",1,3\r\n"},
        {8, "ZRB:Rf:ScheduleRequest \"80\",8,3\r\n"},
        {9, "ZRB:Rf:ScheduleRequest \"8001\",9,3\r\n"},
        {64, "ZRB:Rf:ScheduleRequest \"80010203040506FF\",64,3\r\n"},
    };
    connect();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bits);
        EXPECT_EQ(ZRB_RfScheduleRequest(data, c.bits, 3, nullptr), 0);
        EXPECT_EQ(sent().back(), c.request);
    }
}

// Value fields ------------------------------------------------------------------

TEST_F(Commands, IntegersBeforeTheLastFieldRefuseTrailingCharacters) {
    struct Case {
        const char* reply;
        int result;
        int values[3];
    };
    const Case cases[] = {
        {"0,4,5,6", 0, {4, 5, 6}},
        {"0,4x,5,6", 11, {4, -1, -1}},
        {"0,4,5x,6", 11, {4, 5, -1}},
        {"0,4,5,6x", 0, {4, 5, 6}},
    };
    connect();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reply);
        simulator().scriptLine(c.reply);
        int values[3] = {-1, -1, -1};
        EXPECT_EQ(ZRB_RfScheduleRequest(kOneByte, 8, 0, values), c.result);
        EXPECT_EQ(ZRB_Errno, c.result);
        EXPECT_EQ(std::vector<int>(values, values + 3), std::vector<int>(c.values, c.values + 3));
    }
}

TEST_F(Commands, HexFieldsFitTheCallersBuffer) {
    connect();
    vkplatform::ZlogCapture capture;
    // Size 1: the second byte does not fit.
    simulator().scriptLine("0,A1B2,2,1,2,3,4");
    std::uint8_t one[1] = {0};
    int count = -1;
    EXPECT_EQ(ZRB_RfGetResponse(0, one, 1, &count, nullptr), 11);
    EXPECT_EQ(one[0], 0xA1);
    EXPECT_EQ(count, -1);
    const auto records = capture.records("ZRB_CLIENT");
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].message, "destination storage (1 bytes) can't hold value 'A1B2' passed by server");
    EXPECT_EQ(records[0].level, ZLOG_LEVEL_ERROR);

    // A negative size goes out as given and stores nothing.
    struct Guarded {
        std::uint8_t before[8];
        std::uint8_t buffer[4];
        std::uint8_t after[8];
    } guarded;
    std::memset(&guarded, 0x5A, sizeof guarded);
    simulator().scriptLine("0,A1B2,2,1,2,3,4");
    EXPECT_EQ(ZRB_GpioDecodeModulationState(pulse(), guarded.buffer, -1, &count), 11);
    EXPECT_EQ(sent().back(), "ZRB:Gpio:DecodeModulationState \"1;40;0;60\",-1\r\n");
    simulator().scriptLine("0,A1B2,2,1,2,3,4");
    EXPECT_EQ(ZRB_RfGetResponse(0, guarded.buffer, -1, &count, nullptr), 11);
    EXPECT_EQ(sent().back(), "ZRB:Rf:GetResponse 0,-1\r\n");
    for (std::size_t i = 0; i < sizeof guarded; ++i)
        ASSERT_EQ(reinterpret_cast<const std::uint8_t*>(&guarded)[i], 0x5A) << i;

    // A NULL buffer stores nothing, but the reply still needs the field.
    int values[4] = {};
    simulator().scriptLine("0,A1B2,2,1,2,3,4");
    EXPECT_EQ(ZRB_RfGetResponse(0, nullptr, 2, &count, values), 0);
    EXPECT_EQ(count, 2);
    EXPECT_EQ(values[3], 4);
    simulator().scriptLine("0,2,1,2,3,4");
    EXPECT_EQ(ZRB_RfGetResponse(0, nullptr, 2, &count, values), 11);
    // So do the other outputs.
    simulator().scriptLine("0,A1B2,2,1,2,3,4");
    EXPECT_EQ(ZRB_RfGetResponse(0, nullptr, 2, nullptr, nullptr), 0);
    simulator().scriptLine("0,A1B2,2,1,2,3");
    EXPECT_EQ(ZRB_RfGetResponse(0, nullptr, 2, nullptr, nullptr), 11);
}

// Flags -------------------------------------------------------------------------

TEST_F(Commands, FlagsAreReadAsAtoiCutToAByte) {
    struct Case {
        const char* reply;
        int flag;
        int errnoAfter;
    };
    const Case cases[] = {
        {"0,1", 1, 0}, {"0,0", 0, 0}, {"0,256", 0, 0}, {"0,258x", 2, 0}, {"12,\"late\",0", 0, 12},
        {"0", 11, 11}, {"5", 11, 11},
    };
    connect();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reply);
        simulator().scriptLine(c.reply);
        EXPECT_EQ(ZRB_TriggerHasTriggered(1), c.flag);
        EXPECT_EQ(ZRB_Errno, c.errnoAfter);
        simulator().scriptLine(c.reply);
        EXPECT_EQ(ZRB_GpioWaveformOutputDone(1, 2), c.flag);
        EXPECT_EQ(ZRB_Errno, c.errnoAfter);
    }
}

TEST_F(Commands, AFlagPollOverALostConnectionEnds) {
    connect();
    simulator().script(ReplyPlan::rst());
    EXPECT_EQ(ZRB_TriggerHasTriggered(1), 11);
    EXPECT_EQ(ZRB_TriggerHasTriggered(1), 10);
    EXPECT_EQ(ZRB_Errno, 10);
    EXPECT_EQ(ZRB_TriggerHasTriggered(1), 8);
    EXPECT_EQ(ZRB_Errno, 10);
}

TEST_F(Commands, GetValueStoresOneForAnyNonZeroNumber) {
    struct Case {
        const char* reply;
        int value;
    };
    const Case cases[] = {{"0,7", 1}, {"0,-1", 1}, {"0,0", 0}, {"0,0z", 0}, {"0,3z", 1}};
    connect();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reply);
        simulator().scriptLine(c.reply);
        std::uint8_t value = 0xEE;
        EXPECT_EQ(ZRB_GpioGetValue(1, &value), 0);
        EXPECT_EQ(value, c.value);
    }
}

// Captures ----------------------------------------------------------------------

TEST_F(Commands, ACaptureBecomesAWaveformTheCallerOwns) {
    connect();
    simulator().scriptLine("0,1;40;0;60");
    Waveform* capture = nullptr;
    ASSERT_EQ(ZRB_GpioGetCapture(1, 2, &capture), 0);
    ASSERT_NE(capture, nullptr);
    EXPECT_EQ(zrbtest::elementsOf(capture), (std::vector<zrbtest::Element>{{0, 40, 1}, {40, 60, 0}}));
    ZRB_WaveformDelete(capture);

    // Without a place to store it, no waveform outlives the call (LeakSanitizer
    // checks at exit).
    simulator().scriptLine("0,1;40;0;60");
    EXPECT_EQ(ZRB_GpioGetCapture(1, 2, nullptr), 0);
    simulator().scriptLine("0");
    EXPECT_EQ(ZRB_GpioGetCapture(1, 2, nullptr), 11);

    // Beside a failing code the capture is stored as well.
    simulator().scriptLine("9,\"m\",1;5");
    capture = nullptr;
    EXPECT_EQ(ZRB_GpioGetCapture(1, 2, &capture), 9);
    ASSERT_NE(capture, nullptr);
    EXPECT_EQ(zrbtest::elementsOf(capture), (std::vector<zrbtest::Element>{{0, 5, 1}}));
    ZRB_WaveformDelete(capture);
}

// Arguments ---------------------------------------------------------------------

TEST_F(Commands, AnEmptyWaveformGoesOutAsAnEmptyText) {
    connect();
    const WaveformPtr empty = makeWaveform({});
    EXPECT_EQ(ZRB_GpioScheduleWaveformOutput(1, empty.get(), 2, 3), 0);
    EXPECT_EQ(sent().back(), "ZRB:Gpio:ScheduleWaveformOutput 1,\"\",2,3\r\n");
}

TEST_F(Commands, TextsGoOutAsGivenUnlessTheyHoldALineEnd) {
    connect();
    EXPECT_EQ(ZRB_RfLaunchSpy("a\"b,c", 1, 2, 3), 0);
    EXPECT_EQ(sent().back(), "ZRB:Rf:LaunchSpy \"a\"b,c\",1,2,3\r\n");
    ASSERT_TRUE(simulator().requests().back().verdict.ok()) << "the simulator read three integers after it";

    ZRB_Errno = 0;
    EXPECT_EQ(ZRB_GpioEnableDecoderProbing("a\nb"), 10);
    EXPECT_EQ(ZRB_Errno, 10);
    EXPECT_EQ(ZRB_RfLaunchSpy("a\rb", 1, 2, 3), 10);
    EXPECT_EQ(simulator().requests().size(), 1u);
}

} // namespace

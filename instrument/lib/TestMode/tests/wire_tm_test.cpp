// The wire test mode through the real exports of libZorbel_dll.so, against the
// strict simulator with its pin model: the requests each step sends, in order
// and as written on the line, the polls of TSTOUT, the judgement of captured
// responses and the lifetimes of the stimuli and its responses.
#include "session_fixture.h"
#include "waveform_test_support.h"

#include <vkplatform/zlog_capture.h>
#include <zrbsim/pins.h>
#include <zrbsim/reply_plan.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

using zrbtest::Element;
using zrbtest::elementsOf;

constexpr int kTstck = 21;
constexpr int kTstin = 22;
constexpr int kTsten = 23;
constexpr int kTstout = 24;
constexpr int kAux = 25;
constexpr int kSupply = 26;

// Doubles as the request lines write them.
const std::string kZero = "0.000000000000e+000";
const std::string kChainDelay = "1.000000000000e+004";

const std::uint8_t kRequest[] = {0xC5, 0x80};

struct StimuliDeleter {
    void operator()(ZRB_WireTMStimuli* stimuli) const { ZRB_WireTMStimuliFree(stimuli); }
};
using StimuliPtr = std::unique_ptr<ZRB_WireTMStimuli, StimuliDeleter>;

class WireTmTest : public zrb::testing::SessionTest {
  protected:
    void SetUp() override {
        SessionTest::SetUp();
        zrbsim::registerPinModel(simulator());
        stimuli_.reset(ZRB_WireTMStimuliAllocate());
        ASSERT_NE(stimuli_, nullptr);
    }

    // A new simulator and stimuli, for the next case of a table.
    void fresh() {
        TearDown();
        SetUp();
    }

    ZRB_WireTMStimuli* stimuli() { return stimuli_.get(); }
    // The stimuli passed to a call that frees it on success.
    ZRB_WireTMStimuli* releaseStimuli() { return stimuli_.release(); }

    int entry(int fieldMode, int timeoutMs = 10, int trigger = 9) {
        return ZRB_WireTMEntry(stimuli(), kTstck, kTstin, kTsten, kTstout, kAux, kSupply, trigger, timeoutMs,
                               fieldMode);
    }
    int sendRequest(int timeoutMs = 4) {
        return ZRB_WireTMSendRequest(stimuli(), kTstck, kTstin, kTsten, kTstout, 1.5e6, kRequest, 9,
                                     timeoutMs, 11, 12, 13, 14);
    }
    int getResponse(Waveform** response) {
        return ZRB_WireTMGetResponse(stimuli(), kTstck, kTstin, kTsten, kTstout, 77, 11, 12, 13, response);
    }
    int stop(ZRB_WireTMStimuli* stimuli, int fieldMode) {
        return ZRB_WireTMStop(stimuli, kTstck, kTstin, kTsten, kTstout, kAux, kSupply, fieldMode);
    }

    // The levels the simulator's TSTOUT reads, in order; the last one repeats.
    void tstoutReads(std::vector<int> levels) {
        zrbsim::withPins(simulator(),
                         [&](zrbsim::PinModel& pins) { pins.values[kTstout] = std::move(levels); });
    }
    void scriptCapture(const std::string& reply) { simulator().scriptLine(reply, "Gpio:GetCapture"); }

    // The request lines from the `from`-th on, without "ZRB:" and CR LF.
    std::vector<std::string> lines(std::size_t from = 0) {
        std::vector<std::string> sent;
        const auto requests = simulator().requests();
        for (std::size_t i = from; i < requests.size(); ++i)
            sent.push_back(requests[i].raw.substr(4, requests[i].raw.size() - 6));
        return sent;
    }
    std::size_t sent() { return simulator().requests().size(); }

    // The wire test mode's records with this message.
    static std::vector<vkplatform::CapturedRecord> traced(const vkplatform::ZlogCapture& capture,
                                                          const std::string& message) {
        std::vector<vkplatform::CapturedRecord> found;
        for (const auto& record : capture.records("ZRB_WireTM"))
            if (record.message == message) found.push_back(record);
        return found;
    }
    // The failure trace of `code`, naming the source file.
    static bool failureTraced(const vkplatform::ZlogCapture& capture, int code) {
        for (const auto& record : capture.records("ZRB_WireTM"))
            if (record.level == ZLOG_LEVEL_ERROR && record.file.find("ZRB_WireTM") != std::string::npos &&
                record.message.find("failure #" + std::to_string(code) + "\n\r") != std::string::npos)
                return true;
        return false;
    }

  private:
    StimuliPtr stimuli_;
};

std::vector<std::string> repeated(const std::string& line, std::size_t count) {
    return std::vector<std::string>(count, line);
}

std::vector<std::string> operator+(std::vector<std::string> first, const std::vector<std::string>& second) {
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

// What entry sends up to and including the release of TSTOUT.
const std::vector<std::string> kEntryHead = {
    "Gpio:CancelOutput 21",
    "Gpio:CancelOutput 22",
    "Gpio:CancelOutput 23",
    "Gpio:CancelOutput 24",
    "Gpio:CancelOutput 25",
    "Gpio:CancelOutput 26",
    "Gpio:CfgOpenDrain 21,0",
    "Gpio:CfgOpenDrain 22,0",
    "Gpio:CfgOpenDrain 23,0",
    "Gpio:CfgOpenDrain 24,0",
    "Gpio:CfgOpenDrain 25,0",
    "Gpio:CfgOpenDrain 26,0",
    "Rf:FieldOff 0",
    "Gpio:ScheduleWaveformOutput 21,\"0;16\",9,1",
    "Gpio:ScheduleWaveformOutput 23,\"1;16\",9,1",
    "Gpio:ScheduleWaveformOutput 22,\"1;16\",9,1",
    "Trigger:Set 9,0,3," + kZero,
    "Gpio:ScheduleStaticOutput 25,1,0",
    "Gpio:CancelOutput 24",
};

TEST_F(WireTmTest, EntryWithTheFieldSendsItsRequestsInOrder) {
    connect();
    EXPECT_EQ(entry(1), 0);
    EXPECT_EQ(lines(), kEntryHead + std::vector<std::string>{"Rf:FieldOn 0"});

    // The 1 ms sleep lies between raising the auxiliary pin and releasing TSTOUT.
    const auto requests = simulator().requests();
    ASSERT_EQ(requests.size(), kEntryHead.size() + 1);
    const auto aux = requests[kEntryHead.size() - 2].received;
    const auto release = requests[kEntryHead.size() - 1].received;
    EXPECT_GE(release - aux, std::chrono::milliseconds(1));
}

// Entry with the supply pin waits for TSTOUT to rise; a request waits for it to
// fall. Both read TSTOUT once per 1 ms sleep and give up after timeoutMs + 1
// sleeps, with one time-out text.
TEST_F(WireTmTest, PollsOfTstout) {
    struct Case {
        const char* name;
        bool request; // false: entry
        std::vector<int> levels;
        int timeoutMs;
        int result;
        std::size_t reads;
    };
    const Case cases[] = {
        {"rises on the third read", false, {0, 0, 1}, 10, 0, 3},
        {"never rises", false, {0}, 3, 2, 5},
        {"never rises, no time", false, {0}, 0, 2, 2},
        // -1 is the largest unsigned time-out, not an immediate one.
        {"negative time-out waits on", false, {0, 0, 0, 0, 0, 1}, -1, 0, 6},
        {"falls on the third read", true, {1, 1, 0}, 4, 0, 3},
        {"never falls", true, {1}, 1, 2, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fresh();
        connect();
        tstoutReads(c.levels);
        vkplatform::ZlogCapture capture;
        const int result = c.request ? sendRequest(c.timeoutMs) : entry(0, c.timeoutMs);
        EXPECT_EQ(result, c.result);

        const std::vector<std::string> reads = repeated("Gpio:GetValue 24", c.reads);
        const std::vector<std::string> sent = lines();
        if (c.request) {
            ASSERT_GE(sent.size(), c.reads);
            EXPECT_EQ(std::vector<std::string>(sent.end() - static_cast<std::ptrdiff_t>(c.reads), sent.end()),
                      reads);
            EXPECT_EQ(sent.size(), 9 + c.reads);
        } else {
            EXPECT_EQ(sent,
                      kEntryHead + std::vector<std::string>{"Gpio:ScheduleStaticOutput 26,1,0"} + reads);
        }
        const auto timeOuts =
            traced(capture, "Time-out (" + std::to_string(c.timeoutMs) + "ms) while waiting TstOut to raise");
        EXPECT_EQ(timeOuts.size(), c.result == 2 ? 1u : 0u);
        for (const auto& record : timeOuts)
            EXPECT_EQ(record.level, ZLOG_LEVEL_ERROR);
    }
}

TEST_F(WireTmTest, EntryEndsAtAFailingStep) {
    connect();
    simulator().scriptLine("0", "Gpio:CfgOpenDrain");
    simulator().scriptLine("0", "Gpio:CfgOpenDrain");
    simulator().scriptLine("33,\"pin locked\"", "Gpio:CfgOpenDrain");
    vkplatform::ZlogCapture capture;
    EXPECT_EQ(entry(1), 33);
    EXPECT_EQ(lines(), std::vector<std::string>(kEntryHead.begin(), kEntryHead.begin() + 9));
    EXPECT_TRUE(failureTraced(capture, 33));

    // A time-out is a failing step too.
    capture.clear();
    EXPECT_EQ(entry(0, 0), 2);
    EXPECT_TRUE(failureTraced(capture, 2));
}

TEST_F(WireTmTest, SendRequestChainsItsTriggers) {
    connect();
    tstoutReads({1, 1, 0});
    EXPECT_EQ(sendRequest(4), 0);
    const std::vector<std::string> expected = {
        "Gpio:ScheduleClockOutput 21,1.500000000000e+006,11",
        "Trigger:Set 12,4,0," + kZero,
        "Gpio:ScheduleWaveformOutput 23,\"0;16\",12,1",
        "Gpio:ScheduleBaseband 22,\"C580\",9,13",
        "Gpio:ScheduleWaveformOutput 22,\"1;16\",14,1",
        "Trigger:Set 12,14,1," + kChainDelay,
        "Trigger:Set 13,15,1," + kChainDelay,
        "Trigger:Set 14,-2146041843,2," + kZero,
        "Trigger:Set 11,0,3," + kZero,
    };
    EXPECT_EQ(lines(), expected + repeated("Gpio:GetValue 24", 3));
}

TEST_F(WireTmTest, GetResponseSendsItsRequestsInOrder) {
    connect();
    ASSERT_EQ(entry(1), 0);
    // TSTCK's low level grows by 16 ns with every response.
    for (const char* tstck : {"0;32", "0;48", "0;64"}) {
        SCOPED_TRACE(tstck);
        const std::size_t from = sent();
        scriptCapture("0,0;800;1;3000;0;200");
        Waveform* response = nullptr;
        EXPECT_EQ(getResponse(&response), 0);
        const std::vector<std::string> expected = {
            "Gpio:ScheduleWaveformOutput 22,\"0;10000;1;5500000;0;10000\",11,0",
            "Gpio:ScheduleWaveformOutput 22,\"1;16\",12,1",
            "Trigger:Set 12,-2146041845,2," + kZero,
            "Gpio:ScheduleWaveformOutput 23,\"1;16\",12,1",
            "Trigger:Set 13,15,2," + kChainDelay,
            "Gpio:ScheduleWaveformOutput 21,\"" + std::string(tstck) + "\",13,1",
            "Gpio:ScheduleCapture 24,5.520000000000e+006,11",
            "Trigger:Set 11,0,3," + kZero,
            "Gpio:GetCapture 24,11",
        };
        EXPECT_EQ(lines(from), expected);
    }
}

// The shape of a capture decides; a command that fails ends the call first.
TEST_F(WireTmTest, ResponsesAreJudgedByTheirShape) {
    const std::string highPulse = "Test mode response doesn't end with high pulse. Response: ";
    const std::string lowLevel = "Test mode response doesn't end with low level. Response: ";
    struct Case {
        std::string reply;
        int result;
        std::string trace; // "" for none
    };
    const Case cases[] = {
        {"0,0;800;1;3000;0;200", 0, ""},
        {"0,0;800;1;2999;0;200", 1,
         highPulse +
             "[amp: 0; dur: 800; abs: 0] [amp: 1; dur: 2999; abs: 800] [amp: 0; dur: 200; abs: 3799] "},
        {"0,1;5520000", 1, "No answer on TSTOUT: [amp: 1; dur: 5520000; abs: 0] "},
        {"0,7", 1, highPulse},
        {"0,1;4000;0;3500;2;10", 1,
         highPulse +
             "[amp: 1; dur: 4000; abs: 0] [amp: 0; dur: 3500; abs: 4000] [amp: 2; dur: 10; abs: 7500] "},
        {"0,0;700;1;4000;2;300", 1,
         lowLevel +
             "[amp: 0; dur: 700; abs: 0] [amp: 1; dur: 4000; abs: 700] [amp: 2; dur: 300; abs: 4700] "},
        {"21,\"busy\"", 11, ""},
        {"21,\"busy\",1;100", 21, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reply);
        fresh();
        connect();
        scriptCapture(c.reply);
        vkplatform::ZlogCapture capture;
        static char marker;
        Waveform* const untouched = reinterpret_cast<Waveform*>(&marker);
        Waveform* response = untouched;
        EXPECT_EQ(getResponse(&response), c.result);
        if (c.result == 0) {
            EXPECT_EQ(elementsOf(response),
                      (std::vector<Element>{{0, 800, 0}, {800, 3000, 1}, {3800, 200, 0}}));
        } else {
            EXPECT_EQ(response, untouched);
        }
        if (!c.trace.empty()) {
            const auto records = traced(capture, c.trace);
            ASSERT_EQ(records.size(), 1u);
            EXPECT_EQ(records[0].level, ZLOG_LEVEL_ERROR);
        }
        if (c.result > 1) {
            EXPECT_TRUE(failureTraced(capture, c.result));
        }
    }
}

// Every capture stays with the stimuli until it is freed, so earlier response
// pointers stay readable; the stimuli releases all of them, and each response
// its own request pulse (LeakSanitizer sees the rest).
TEST_F(WireTmTest, ResponsesLiveAsLongAsTheStimuli) {
    connect();
    ASSERT_EQ(entry(1), 0);
    scriptCapture("0,0;800;1;3000;0;200");
    Waveform* first = nullptr;
    ASSERT_EQ(getResponse(&first), 0);
    scriptCapture("0,0;100;1;5000;0;300");
    Waveform* second = nullptr;
    ASSERT_EQ(getResponse(&second), 0);
    EXPECT_NE(first, second);
    EXPECT_EQ(elementsOf(first), (std::vector<Element>{{0, 800, 0}, {800, 3000, 1}, {3800, 200, 0}}));
    EXPECT_EQ(elementsOf(second), (std::vector<Element>{{0, 100, 0}, {100, 5000, 1}, {5100, 300, 0}}));

    for (int i = 0; i < 40; ++i) {
        scriptCapture(i % 2 == 0 ? "0,0;10;1;3000;0;10" : "21,\"busy\",1;100");
        Waveform* response = nullptr;
        EXPECT_EQ(getResponse(&response), i % 2 == 0 ? 0 : 21);
    }
    vkplatform::ZlogCapture capture;
    ZRB_WireTMStimuli* stimuli = releaseStimuli();
    EXPECT_EQ(stop(stimuli, 1), 0);
    char freed[32];
    std::snprintf(freed, sizeof freed, "Free stimuli %p", static_cast<void*>(stimuli));
    const auto records = traced(capture, freed);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].level, ZLOG_LEVEL_DEBUG);
}

TEST_F(WireTmTest, StopLowersThePinsAndFreesTheStimuli) {
    struct Case {
        int fieldMode;
        const char* power;
    };
    for (const Case& c : {Case{1, "Rf:FieldOff 0"}, Case{0, "Gpio:ScheduleStaticOutput 26,0,0"}}) {
        SCOPED_TRACE(c.fieldMode);
        fresh();
        connect();
        vkplatform::ZlogCapture capture;
        EXPECT_EQ(stop(releaseStimuli(), c.fieldMode), 0);
        const std::vector<std::string> expected = {
            "Gpio:ScheduleStaticOutput 21,0,0", "Gpio:ScheduleStaticOutput 22,0,0",
            "Gpio:ScheduleStaticOutput 23,0,0", c.power, "Gpio:ScheduleStaticOutput 25,0,0"};
        EXPECT_EQ(lines(), expected);
        EXPECT_EQ(capture.records("ZRB_WireTM").size(), 1u);
    }
}

TEST_F(WireTmTest, AFailedStopKeepsTheStimuli) {
    connect();
    simulator().scriptLine("0", "Gpio:ScheduleStaticOutput");
    simulator().scriptLine("35,\"overload\"", "Gpio:ScheduleStaticOutput");
    vkplatform::ZlogCapture capture;
    EXPECT_EQ(stop(stimuli(), 1), 35);
    EXPECT_EQ(lines(), (std::vector<std::string>{"Gpio:ScheduleStaticOutput 21,0,0",
                                                 "Gpio:ScheduleStaticOutput 22,0,0"}));
    EXPECT_TRUE(failureTraced(capture, 35));
    // Still usable; the fixture frees it.
    scriptCapture("0,0;800;1;3000;0;200");
    Waveform* response = nullptr;
    EXPECT_EQ(getResponse(&response), 0);
}

TEST_F(WireTmTest, StopWithoutAStimuliStillLowersThePins) {
    connect();
    vkplatform::ZlogCapture capture;
    EXPECT_EQ(stop(nullptr, 0), 0);
    EXPECT_EQ(lines().size(), 5u);
    EXPECT_TRUE(capture.records("ZRB_WireTM").empty());
}

TEST_F(WireTmTest, RefusedCallsSendNothing) {
    struct Case {
        const char* name;
        bool connected;
        std::function<int(ZRB_WireTMStimuli*)> call;
        int result;
    };
    Waveform* response = nullptr;
    const Case cases[] = {
        {"entry, NULL stimuli", true,
         [](ZRB_WireTMStimuli*) { return ZRB_WireTMEntry(nullptr, 21, 22, 23, 24, 25, 26, 9, 10, 1); }, 3},
        {"request, NULL stimuli", true,
         [](ZRB_WireTMStimuli*) {
             return ZRB_WireTMSendRequest(nullptr, 21, 22, 23, 24, 1.5e6, kRequest, 9, 4, 11, 12, 13, 14);
         },
         3},
        {"request, NULL request", true,
         [](ZRB_WireTMStimuli* stimuli) {
             return ZRB_WireTMSendRequest(stimuli, 21, 22, 23, 24, 1.5e6, nullptr, 9, 4, 11, 12, 13, 14);
         },
         3},
        {"response, NULL stimuli", true,
         [&](ZRB_WireTMStimuli*) {
             return ZRB_WireTMGetResponse(nullptr, 21, 22, 23, 24, 0, 11, 12, 13, &response);
         },
         3},
        {"entry, not connected", false,
         [](ZRB_WireTMStimuli* stimuli) {
             return ZRB_WireTMEntry(stimuli, 21, 22, 23, 24, 25, 26, 9, 10, 1);
         },
         8},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fresh();
        if (c.connected) connect();
        vkplatform::ZlogCapture capture;
        EXPECT_EQ(c.call(stimuli()), c.result);
        EXPECT_TRUE(failureTraced(capture, c.result));
        EXPECT_EQ(sent(), 0u);
    }
    EXPECT_EQ(response, nullptr);
}

} // namespace

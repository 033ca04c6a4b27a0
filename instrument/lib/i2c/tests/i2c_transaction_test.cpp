// I2C transactions through the library's exports against the strict
// simulator. The captures the simulator answers are made here from the
// scheduled stimuli: SCL as played, SDA as played with the device's levels
// where the stimuli leaves the line to the device (level 2).
#include "i2c_bus_decoder.h"
#include "i2c_internal.h"
#include "i2c_test_support.h"
#include "session_fixture.h"
#include "vcd_reader.h"
#include "waveform_test_support.h"

#include <zrbsim/pins.h>

#include <vkplatform/zlog_capture.h>
#include <vktesting/temp_dir.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

using zrbtest::elementText;
using zrbtest::StimuliPtr;
using zrbtest::TransactionPtr;

constexpr int kScl = 4;
constexpr int kSda = 5;
constexpr int kTrigger = 2;

// A level over time, written as element text from time 0 to `end`, cut at
// every time in `breaks`.
std::string render(std::set<double> breaks, double end, const std::function<int(double)>& level) {
    zrbtest::WaveformPtr waveform(ZRB_WaveformNew("capture"));
    breaks.insert(0.0);
    breaks.insert(end);
    double previous = 0.0;
    for (const double time : breaks) {
        if (time <= previous || time > end) continue;
        ZRB_WaveformAppend(waveform.get(), level((previous + time) / 2), time - previous, 0);
        previous = time;
    }
    return elementText(waveform.get());
}

std::set<double> boundariesOf(const Waveform* waveform) {
    std::set<double> breaks;
    for (const auto& element : zrbtest::elementsOf(waveform))
        breaks.insert(element.absTime + element.duration);
    return breaks;
}

int levelAt(const Waveform* waveform, double time) {
    int level = 1;
    ZRB_WaveformGetAtTime(waveform, time, &level, nullptr, nullptr, nullptr);
    return level;
}

// A short pulse of `level` over [start, start + width) on top of a capture.
struct Glitch {
    int level = 0;
    double start = 0;
    double width = 0;
};

struct Device {
    std::vector<int> acks;          // per written byte: 0 ACK, 1 NACK
    std::vector<uint8_t> readBytes; // per read byte
};

// What the bus carried for `stimuli` with `device` on it.
struct Bus {
    std::string scl;
    std::string sda;
};

Bus busOf(const ZRB_I2cStimuli* stimuli, const Device& device, const Glitch* sclGlitch = nullptr,
          const Glitch* sdaGlitch = nullptr) {
    const double period = 1e9 / stimuli->frequencyHz;
    const Waveform* scl = stimuli->scl.get();
    const Waveform* sda = stimuli->sda.get();
    auto withGlitch = [](const Glitch* glitch, std::set<double> breaks, std::function<int(double)> level) {
        if (glitch == nullptr) return std::make_pair(breaks, level);
        breaks.insert(glitch->start);
        breaks.insert(glitch->start + glitch->width);
        const Glitch g = *glitch;
        return std::make_pair(breaks, std::function<int(double)>([g, level](double t) {
                                  return t >= g.start && t < g.start + g.width ? g.level : level(t);
                              }));
    };

    auto [sclBreaks, sclLevel] =
        withGlitch(sclGlitch, boundariesOf(scl), [scl](double t) { return levelAt(scl, t); });

    std::set<double> sdaBreaks = boundariesOf(sda);
    for (const auto& window : stimuli->readWindows)
        for (int bit = 0; bit <= 8; ++bit)
            sdaBreaks.insert(window.BeginNs + bit * period);
    const auto deviceLevel = [stimuli, device, period](double t) {
        for (std::size_t i = 0; i < stimuli->writeWindows.size(); ++i)
            if (t >= stimuli->writeWindows[i].BeginNs && t < stimuli->writeWindows[i].EndNs)
                return i < device.acks.size() ? device.acks[i] : 1;
        for (std::size_t i = 0; i < stimuli->readWindows.size(); ++i) {
            const auto& window = stimuli->readWindows[i];
            if (t < window.BeginNs || t >= window.EndNs) continue;
            const int bit = static_cast<int>(std::floor((t - window.BeginNs) / period));
            const uint8_t byte = i < device.readBytes.size() ? device.readBytes[i] : 0xFF;
            return (byte >> (7 - bit)) & 1;
        }
        return 1;
    };
    auto [sdaBreaks2, sdaLevel] = withGlitch(sdaGlitch, sdaBreaks, [sda, deviceLevel](double t) {
        const int level = levelAt(sda, t);
        return level == 2 ? deviceLevel(t) : level;
    });
    const double end = ZRB_WaveformGetEndTime(scl);
    return {render(sclBreaks, end, sclLevel), render(sdaBreaks2, ZRB_WaveformGetEndTime(sda), sdaLevel)};
}

// S, A0, 10, Sr, A1, read ack 0, read ack 1, P.
StimuliPtr memoryRead(uint32_t frequency) {
    StimuliPtr stimuli(ZRB_I2cStimuliAllocate(frequency));
    const uint8_t address[] = {0xA0, 0x10};
    const int32_t acks[] = {0, 1};
    EXPECT_EQ(ZRB_I2cStimuliAppendStart(stimuli.get(), 0), 0);
    EXPECT_EQ(ZRB_I2cStimuliAppendWriteBytes(stimuli.get(), address, 2), 0);
    EXPECT_EQ(ZRB_I2cStimuliAppendStart(stimuli.get(), 1), 0);
    EXPECT_EQ(ZRB_I2cStimuliAppendWriteByte(stimuli.get(), 0xA1), 0);
    EXPECT_EQ(ZRB_I2cStimuliAppendReadBytes(stimuli.get(), acks, 2, nullptr, 0), 0);
    EXPECT_EQ(ZRB_I2cStimuliAppendStop(stimuli.get()), 0);
    return stimuli;
}

// S, A1, read ack 1, P.
StimuliPtr singleRead(uint32_t frequency) {
    StimuliPtr stimuli(ZRB_I2cStimuliAllocate(frequency));
    EXPECT_EQ(ZRB_I2cStimuliAppendStart(stimuli.get(), 0), 0);
    EXPECT_EQ(ZRB_I2cStimuliAppendWriteByte(stimuli.get(), 0xA1), 0);
    EXPECT_EQ(ZRB_I2cStimuliAppendReadByte(stimuli.get(), 1, nullptr, 0), 0);
    EXPECT_EQ(ZRB_I2cStimuliAppendStop(stimuli.get()), 0);
    return stimuli;
}

std::vector<uint8_t> bytesOf(const uint8_t* data, uint32_t count) {
    return data == nullptr ? std::vector<uint8_t>{} : std::vector<uint8_t>(data, data + count);
}

class I2cTransactionTest : public zrb::testing::SessionTest {
  protected:
    void SetUp() override {
        SessionTest::SetUp();
        ZRB_I2cEnableCaptureFilter(0);
    }
    void TearDown() override {
        ZRB_I2cEnableCaptureFilter(0);
        SessionTest::TearDown();
    }

    std::vector<std::string> commands() {
        std::vector<std::string> sent;
        for (const auto& request : simulator().requests())
            sent.push_back(request.command);
        return sent;
    }
    std::size_t count(const std::string& command) {
        const auto sent = commands();
        return static_cast<std::size_t>(std::count(sent.begin(), sent.end(), command));
    }

    // Schedules `stimuli`; the transaction then holds it.
    TransactionPtr schedule(StimuliPtr& stimuli) {
        TransactionPtr transaction(ZRB_I2cSchedule(stimuli.get(), kScl, kSda, kTrigger));
        if (transaction != nullptr) (void)stimuli.release();
        return transaction;
    }

    // The next two captures the instrument gives: SCL, then SDA.
    void scriptCaptures(const Bus& bus) {
        simulator().scriptLine("0," + bus.scl, "Gpio:GetCapture");
        simulator().scriptLine("0," + bus.sda, "Gpio:GetCapture");
    }

    // Schedules `stimuli`, answers its captures with what `device` gives on the
    // bus (with the glitches) and processes them.
    int run(StimuliPtr& stimuli, const Device& device, TransactionPtr& transaction,
            const Glitch* sclGlitch = nullptr, const Glitch* sdaGlitch = nullptr) {
        const Bus bus = busOf(stimuli.get(), device, sclGlitch, sdaGlitch);
        transaction = schedule(stimuli);
        if (transaction == nullptr) return -1;
        scriptCaptures(bus);
        return ZRB_I2cProcessResponse(transaction.get());
    }

    static bool traced(const vkplatform::ZlogCapture& capture, const std::string& text) {
        for (const auto& record : capture.records("ZRB_I2C"))
            if (record.message.find(text) != std::string::npos) return true;
        return false;
    }
};

TEST_F(I2cTransactionTest, MemoryReadEndToEnd) {
    connect();
    StimuliPtr stimuli = memoryRead(400000);
    TransactionPtr transaction;
    ASSERT_EQ(run(stimuli, {{0, 0, 0}, {0xC3, 0x5A}}, transaction), 0);
    EXPECT_EQ(bytesOf(transaction->pReadBytes, transaction->NbReadBytes), (std::vector<uint8_t>{0xC3, 0x5A}));
    EXPECT_EQ(bytesOf(transaction->pAcks, transaction->NbAcks), (std::vector<uint8_t>{0, 0, 0}));
    EXPECT_EQ(transaction->DurationNs, 118750);
    EXPECT_EQ(ZRB_I2cTransactionIsDone(transaction.get()), 1);
}

TEST_F(I2cTransactionTest, ScheduleSendsItsRequestsInOrder) {
    connect();
    StimuliPtr stimuli = memoryRead(400000);
    const std::string sdaText = elementText(stimuli->sda.get());
    const std::string sclText = elementText(stimuli->scl.get());
    TransactionPtr transaction = schedule(stimuli);
    ASSERT_NE(transaction, nullptr);
    const auto requests = simulator().requests();
    ASSERT_EQ(requests.size(), 6u);
    const std::vector<std::string> expected = {
        "ZRB:Gpio:WaveformOutputDone 4,2\r\n",
        "ZRB:Gpio:CfgOpenDrain 5,1\r\n",
        "ZRB:Gpio:ScheduleCapture 4,1.187500000000e+005,2\r\n",
        "ZRB:Gpio:ScheduleCapture 5,1.187500000000e+005,2\r\n",
        "ZRB:Gpio:ScheduleWaveformOutput 5,\"" + sdaText + "\",2,0\r\n",
        "ZRB:Gpio:ScheduleWaveformOutput 4,\"" + sclText + "\",2,0\r\n",
    };
    for (std::size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(requests[i].raw, expected[i]);
}

TEST_F(I2cTransactionTest, DeviceFaults) {
    struct Case {
        const char* name;
        Device device;
        std::vector<uint8_t> acks;
        std::vector<uint8_t> bytes;
    };
    const Case cases[] = {
        {"absent", {{1, 1, 1}, {0xFF, 0xFF}}, {1, 1, 1}, {0xFF, 0xFF}},
        {"NACK of the 2nd byte", {{0, 1, 0}, {0x12, 0x34}}, {0, 1, 0}, {0x12, 0x34}},
    };
    connect();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StimuliPtr stimuli = memoryRead(400000);
        TransactionPtr transaction;
        ASSERT_EQ(run(stimuli, c.device, transaction), 0);
        EXPECT_EQ(bytesOf(transaction->pAcks, transaction->NbAcks), c.acks);
        EXPECT_EQ(bytesOf(transaction->pReadBytes, transaction->NbReadBytes), c.bytes);
    }
}

TEST_F(I2cTransactionTest, ReadsOnlyAndWritesOnly) {
    connect();
    StimuliPtr reads(ZRB_I2cStimuliAllocate(1000000));
    const int32_t acks[] = {0, 1};
    ASSERT_EQ(ZRB_I2cStimuliAppendReadBytes(reads.get(), acks, 2, nullptr, 0), 0);
    TransactionPtr transaction;
    ASSERT_EQ(run(reads, {{}, {0x80, 0x01}}, transaction), 0);
    EXPECT_EQ(transaction->NbAcks, 0u);
    EXPECT_EQ(bytesOf(transaction->pReadBytes, transaction->NbReadBytes), (std::vector<uint8_t>{0x80, 0x01}));

    StimuliPtr writes(ZRB_I2cStimuliAllocate(100000));
    ASSERT_EQ(ZRB_I2cStimuliAppendWriteByte(writes.get(), 0x33), 0);
    ASSERT_EQ(run(writes, {{0}, {}}, transaction), 0);
    EXPECT_EQ(transaction->NbReadBytes, 0u);
    EXPECT_EQ(bytesOf(transaction->pAcks, transaction->NbAcks), (std::vector<uint8_t>{0}));
}

TEST_F(I2cTransactionTest, SclHighAtTheSecondReadWindowKeepsTheFirstByte) {
    connect();
    vkplatform::ZlogCapture capture;
    StimuliPtr stimuli = memoryRead(400000);
    const Glitch high{1, stimuli->readWindows[1].BeginNs, 100};
    TransactionPtr transaction;
    EXPECT_EQ(run(stimuli, {{0, 0, 0}, {0xC3, 0x5A}}, transaction, &high), 1);
    EXPECT_EQ(bytesOf(transaction->pReadBytes, transaction->NbReadBytes), (std::vector<uint8_t>{0xC3, 0x00}));
    char text[64];
    std::snprintf(text, sizeof text, "SCL @%.0fns should be 0 (bit start)", high.start);
    EXPECT_TRUE(traced(capture, text));
}

TEST_F(I2cTransactionTest, CaptureShorterThanTheWindowsGives14) {
    connect();
    StimuliPtr stimuli = singleRead(400000);
    Bus bus = busOf(stimuli.get(), {{0}, {0x5A}});
    bus.scl = "1;625;0;1250;1;1250"; // ends long before the read window
    TransactionPtr transaction = schedule(stimuli);
    ASSERT_NE(transaction, nullptr);
    scriptCaptures(bus);
    EXPECT_EQ(ZRB_I2cProcessResponse(transaction.get()), 14);
}

TEST_F(I2cTransactionTest, SdaLevel2IsAOneBitAndAcksKeepRawLevels) {
    connect();
    StimuliPtr stimuli = singleRead(400000);
    const Bus bus{elementText(stimuli->scl.get()), elementText(stimuli->sda.get())};
    TransactionPtr transaction = schedule(stimuli);
    ASSERT_NE(transaction, nullptr);
    scriptCaptures(bus);
    ASSERT_EQ(ZRB_I2cProcessResponse(transaction.get()), 0);
    EXPECT_EQ(bytesOf(transaction->pReadBytes, transaction->NbReadBytes), (std::vector<uint8_t>{0xFF}));
    EXPECT_EQ(bytesOf(transaction->pAcks, transaction->NbAcks), (std::vector<uint8_t>{2}));
}

TEST_F(I2cTransactionTest, FailedFetchIsFetchedAgain) {
    connect();
    StimuliPtr stimuli = singleRead(400000);
    const Bus bus = busOf(stimuli.get(), {{0}, {0x5A}});
    TransactionPtr transaction = schedule(stimuli);
    ASSERT_NE(transaction, nullptr);
    simulator().scriptLine("31,\"late\"", "Gpio:GetCapture");
    EXPECT_EQ(ZRB_I2cProcessResponse(transaction.get()), 11);
    // A capture that comes with a failing code is not kept.
    simulator().scriptLine("31,\"late\",1;100", "Gpio:GetCapture");
    EXPECT_EQ(ZRB_I2cProcessResponse(transaction.get()), 31);
    EXPECT_EQ(std::string(ZRB_ErrorMessage()), "late");
    scriptCaptures(bus);
    EXPECT_EQ(ZRB_I2cProcessResponse(transaction.get()), 0);
    EXPECT_EQ(bytesOf(transaction->pReadBytes, transaction->NbReadBytes), (std::vector<uint8_t>{0x5A}));
    EXPECT_EQ(count("Gpio:GetCapture"), 4u);
}

TEST_F(I2cTransactionTest, CaptureFilter) {
    connect();
    struct Case {
        const char* name;
        bool onScl; // glitch on SCL (else SDA)
        int level;
        double offset;   // from the window named below
        bool readWindow; // the read window's start (else the write window's)
        double width;
        int filterOff;   // result without the filter
        uint8_t byteOff; // read byte without the filter (when the result is 0)
        uint8_t byteOn;
    };
    // At 400 kHz the filter drops levels shorter than 250 ns.
    const Case cases[] = {
        {"SCL pulse across the ack window's start", true, 1, -50, false, 100, 1, 0, 0x5A},
        {"SCL pulse before a read byte's first rise", true, 1, 200, true, 100, 0, 0x2D, 0x5A},
        {"SDA low across the 2nd rising edge", false, 0, 2500 + 625 - 75, true, 150, 0, 0x1A, 0x5A},
        {"SDA low of exactly 250 ns stays", false, 0, 2500 + 625 - 125, true, 250, 0, 0x1A, 0x1A},
    };
    for (const Case& c : cases) {
        for (const bool filter : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (filter ? ", filter on" : ", filter off"));
            EXPECT_EQ(ZRB_I2cEnableCaptureFilter(filter ? 0x101 : 0x100), filter ? 0x101 : 0x100);
            vkplatform::ZlogCapture capture;
            StimuliPtr stimuli = singleRead(400000);
            const double base =
                c.readWindow ? stimuli->readWindows[0].BeginNs : stimuli->writeWindows[0].BeginNs;
            const Glitch glitch{c.level, base + c.offset, c.width};
            TransactionPtr transaction;
            const int result = run(stimuli, {{0}, {0x5A}}, transaction, c.onScl ? &glitch : nullptr,
                                   c.onScl ? nullptr : &glitch);
            if (!filter && c.filterOff != 0) {
                EXPECT_EQ(result, c.filterOff);
                EXPECT_TRUE(traced(capture, "should be 0 (ack bit start)"));
                continue;
            }
            ASSERT_EQ(result, 0);
            EXPECT_EQ(transaction->pReadBytes[0], filter ? c.byteOn : c.byteOff);
            EXPECT_EQ(transaction->pAcks[0], 0);
        }
    }
}

TEST_F(I2cTransactionTest, ProcessTwiceFetchesOnce) {
    connect();
    StimuliPtr stimuli = memoryRead(400000);
    TransactionPtr transaction;
    ASSERT_EQ(run(stimuli, {{0, 0, 0}, {0xC3, 0x5A}}, transaction), 0);
    const uint8_t* firstBytes = transaction->pReadBytes;
    ASSERT_NE(firstBytes, nullptr);
    ASSERT_EQ(ZRB_I2cProcessResponse(transaction.get()), 0);
    EXPECT_EQ(bytesOf(transaction->pReadBytes, transaction->NbReadBytes), (std::vector<uint8_t>{0xC3, 0x5A}));
    EXPECT_EQ(bytesOf(transaction->pAcks, transaction->NbAcks), (std::vector<uint8_t>{0, 0, 0}));
    EXPECT_EQ(count("Gpio:GetCapture"), 2u);
}

TEST_F(I2cTransactionTest, WithoutConnection) {
    connect();
    StimuliPtr stimuli = singleRead(400000);
    TransactionPtr transaction = schedule(stimuli);
    ASSERT_NE(transaction, nullptr);
    ZRB_Disconnect();
    EXPECT_EQ(ZRB_I2cTransactionIsDone(transaction.get()), 8);
    EXPECT_EQ(ZRB_I2cProcessResponse(transaction.get()), 8);
}

TEST_F(I2cTransactionTest, ScheduleWithoutConnectionKeepsTheStimuli) {
    StimuliPtr stimuli = singleRead(400000);
    EXPECT_EQ(ZRB_I2cSchedule(stimuli.get(), kScl, kSda, kTrigger), nullptr);
    EXPECT_EQ(stimuli->references, 0u);
    EXPECT_EQ(ZRB_I2cStimuliAppendStop(stimuli.get()), 0);
    double time = 0.0;
    EXPECT_EQ(ZRB_I2cGetBitTiming(stimuli.get(), 17, &time), 0);
}

TEST_F(I2cTransactionTest, RefusalsSendNothing) {
    connect();
    vkplatform::ZlogCapture capture;
    StimuliPtr stimuli = singleRead(400000);
    StimuliPtr empty(ZRB_I2cStimuliAllocate(400000));
    ASSERT_EQ(ZRB_I2cStimuliAppendSteady(empty.get(), 1, 1, 0), 0);
    struct Case {
        ZRB_I2cStimuli* stimuli;
        int scl, sda, trigger;
        const char* trace;
    };
    const Case cases[] = {
        {nullptr, kScl, kSda, kTrigger, "Invalid NULL pI2cStimuli parameter"},
        {stimuli.get(), kScl, kSda, ZRB_TRGID_IMMEDIATE, "Invalid ZRB_TRGID_IMMEDIATE Trigger parameter"},
        {stimuli.get(), kScl, kScl, kTrigger, "parameters PinScl PinSda shouldn't be same"},
        {empty.get(), kScl, kSda, kTrigger, "Cowardly refuse to schedule an empty I2C Stimuli"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.trace);
        capture.clear();
        EXPECT_EQ(ZRB_I2cSchedule(c.stimuli, c.scl, c.sda, c.trigger), nullptr);
        EXPECT_TRUE(traced(capture, c.trace));
    }
    EXPECT_TRUE(simulator().requests().empty());
    EXPECT_EQ(stimuli->references, 0u);
    EXPECT_EQ(empty->references, 0u);
}

TEST_F(I2cTransactionTest, NullTransaction) {
    double time = 0.0;
    EXPECT_EQ(ZRB_I2cTransactionIsDone(nullptr), 3);
    EXPECT_EQ(ZRB_I2cProcessResponse(nullptr), 3);
    EXPECT_EQ(ZRB_I2cDumpVcd(nullptr, "x.vcd"), 3);
    EXPECT_EQ(ZRB_I2cGetBitTiming2(nullptr, 0, &time), 3);
    ZRB_I2cTransactionFree(nullptr);
}

TEST_F(I2cTransactionTest, TwoTransactionsHoldOneStimuli) {
    connect();
    vkplatform::ZlogCapture capture;
    StimuliPtr stimuli = singleRead(400000);
    ZRB_I2cStimuli* raw = stimuli.release();
    TransactionPtr first(ZRB_I2cSchedule(raw, kScl, kSda, kTrigger));
    TransactionPtr second(ZRB_I2cSchedule(raw, kScl, kSda, 3));
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(raw->references, 2u);
    ZRB_I2cStimuliFree(raw);
    EXPECT_TRUE(traced(capture, "is still referenced by a transaction; hence it is NOT freed."));
    first.reset();
    EXPECT_EQ(raw->references, 1u);
    double time = 0.0;
    EXPECT_EQ(ZRB_I2cGetBitTiming2(second.get(), 8, &time), 0);
    EXPECT_EQ(time, 1250 + 8 * 2500 + 625);
    EXPECT_EQ(ZRB_I2cGetBitTiming2(second.get(), 18, &time), 1);
    second.reset(); // frees the stimuli too (the sanitizer sees a leak otherwise)
}

struct Wait {
    double sclNs;
    int notDone; // questions answered "not done"
    int result;
    std::size_t questions;
};

TEST_F(I2cTransactionTest, WaitCountsQuestions) {
    const Wait cases[] = {
        {3000000, 4, 2, 4}, // 3 sleeps
        {3000001, 5, 2, 5}, // 4 sleeps
        {3000000, 2, 0, 3}, // done at the third question
    };
    connect();
    for (const Wait& c : cases) {
        SCOPED_TRACE(c.sclNs);
        StimuliPtr stimuli(ZRB_I2cStimuliAllocate(400000));
        ASSERT_EQ(ZRB_I2cStimuliAppendSteady(stimuli.get(), 1, 1, c.sclNs), 0);
        TransactionPtr transaction = schedule(stimuli);
        ASSERT_NE(transaction, nullptr);
        const std::size_t before = count("Gpio:WaveformOutputDone");
        for (int i = 0; i < c.notDone; ++i)
            simulator().scriptLine("0,0", "Gpio:WaveformOutputDone");
        simulator().scriptLine("0,1;100", "Gpio:GetCapture"); // no window to decode
        simulator().scriptLine("0,1;100", "Gpio:GetCapture");
        const int result = ZRB_I2cProcessResponse(transaction.get());
        EXPECT_EQ(count("Gpio:WaveformOutputDone") - before, c.questions);
        EXPECT_EQ(result, c.result);
        if (c.result != 0) {
            // The captures scripted above stay unused; take them off the queue.
            EXPECT_EQ(ZRB_GpioGetCapture(kScl, kTrigger, nullptr), 0);
            EXPECT_EQ(ZRB_GpioGetCapture(kSda, kTrigger, nullptr), 0);
        }
    }
}

TEST_F(I2cTransactionTest, IsDoneAsksOnce) {
    connect();
    StimuliPtr stimuli = singleRead(400000);
    TransactionPtr transaction = schedule(stimuli);
    ASSERT_NE(transaction, nullptr);
    simulator().scriptLine("0,0", "Gpio:WaveformOutputDone");
    EXPECT_EQ(ZRB_I2cTransactionIsDone(transaction.get()), 0);
    EXPECT_EQ(ZRB_I2cTransactionIsDone(transaction.get()), 1);
    EXPECT_EQ(count("Gpio:WaveformOutputDone"), 3u);
}

class I2cVcdTest : public I2cTransactionTest {
  protected:
    vktesting::TempDir dir_;
};

TEST_F(I2cVcdTest, DumpBeforeAndAfterProcessing) {
    connect();
    StimuliPtr stimuli = singleRead(400000);
    const Bus bus = busOf(stimuli.get(), {{0}, {0x5A}});
    TransactionPtr transaction = schedule(stimuli);
    ASSERT_NE(transaction, nullptr);
    const std::string file = (dir_.path() / "i2c.vcd").string();
    EXPECT_EQ(ZRB_I2cDumpVcd(transaction.get(), file.c_str()), 14);
    EXPECT_FALSE(std::filesystem::exists(file));
    scriptCaptures(bus);
    ASSERT_EQ(ZRB_I2cProcessResponse(transaction.get()), 0);
    ASSERT_EQ(ZRB_I2cDumpVcd(transaction.get(), file.c_str()), 0);
    std::ifstream in(file);
    std::stringstream text;
    text << in.rdbuf();
    const zrbtest::VcdFile vcd = zrbtest::readVcd(text.str());
    ASSERT_EQ(vcd.variables.size(), 2u);
    EXPECT_EQ(vcd.variables[0], (std::pair<char, std::string>{'#', "WaveformOut"}));
    EXPECT_EQ(vcd.variables[1], (std::pair<char, std::string>{'$', "WaveformOut"}));
}

} // namespace

namespace {

// The simulator plays the outputs on its pins with a memory device on the bus.
class I2cBusTest : public I2cTransactionTest {
  protected:
    void SetUp() override {
        I2cTransactionTest::SetUp();
        zrbsim::registerPinModel(simulator());
        zrbsim::I2cDevice device;
        device.pinScl = kScl;
        device.pinSda = kSda;
        device.memory[0x10] = 0xC3;
        device.memory[0x11] = 0x5A;
        zrbsim::withPins(simulator(), [&](zrbsim::PinModel& pins) { pins.device = device; });
    }
    void device(const std::function<void(zrbsim::I2cDevice&)>& change) {
        zrbsim::withPins(simulator(), [&](zrbsim::PinModel& pins) { change(*pins.device); });
    }
    static void fire() { ASSERT_EQ(ZRB_TriggerSet(kTrigger, 0, 3, 0.0), 0); }
};

TEST_F(I2cBusTest, MemoryReadThroughTheDevice) {
    connect();
    StimuliPtr stimuli = memoryRead(400000);
    TransactionPtr transaction = schedule(stimuli);
    ASSERT_NE(transaction, nullptr);
    EXPECT_EQ(ZRB_I2cTransactionIsDone(transaction.get()), 0);
    fire();
    EXPECT_EQ(ZRB_I2cTransactionIsDone(transaction.get()), 1);
    ASSERT_EQ(ZRB_I2cProcessResponse(transaction.get()), 0);
    EXPECT_EQ(bytesOf(transaction->pReadBytes, transaction->NbReadBytes), (std::vector<uint8_t>{0xC3, 0x5A}));
    EXPECT_EQ(bytesOf(transaction->pAcks, transaction->NbAcks), (std::vector<uint8_t>{0, 0, 0}));
    EXPECT_EQ(transaction->DurationNs, 118750);
}

TEST_F(I2cBusTest, WriteThenReadBackAtEachFrequency) {
    connect();
    for (const uint32_t frequency : {100000u, 400000u, 1000000u}) {
        SCOPED_TRACE(frequency);
        StimuliPtr stimuli(ZRB_I2cStimuliAllocate(frequency));
        const uint8_t write[] = {0xA0, 0x20, 0x11, 0xEE};
        const uint8_t read[] = {0xA0, 0x20};
        const int32_t acks[] = {0, 1};
        const ZRB_I2cClockStretch stretch[] = {{4, 0, 1.0}, {8, 1, 0.5}};
        ASSERT_EQ(ZRB_I2cStimuliAppendStart(stimuli.get(), 0), 0);
        ASSERT_EQ(ZRB_I2cStimuliAppendWriteBytes(stimuli.get(), write, 4), 0);
        ASSERT_EQ(ZRB_I2cStimuliAppendStop(stimuli.get()), 0);
        ASSERT_EQ(ZRB_I2cStimuliAppendSteady(stimuli.get(), 1, 1, 5000), 0);
        ASSERT_EQ(ZRB_I2cStimuliAppendStart(stimuli.get(), 0), 0);
        ASSERT_EQ(ZRB_I2cStimuliAppendWriteBytes(stimuli.get(), read, 2), 0);
        ASSERT_EQ(ZRB_I2cStimuliAppendStart(stimuli.get(), 1), 0);
        ASSERT_EQ(ZRB_I2cStimuliAppendWriteByte(stimuli.get(), 0xA1), 0);
        ASSERT_EQ(ZRB_I2cStimuliAppendReadBytes(stimuli.get(), acks, 2, stretch, 2), 0);
        ASSERT_EQ(ZRB_I2cStimuliAppendStop(stimuli.get()), 0);
        TransactionPtr transaction = schedule(stimuli);
        ASSERT_NE(transaction, nullptr);
        fire();
        ASSERT_EQ(ZRB_I2cProcessResponse(transaction.get()), 0);
        EXPECT_EQ(bytesOf(transaction->pReadBytes, transaction->NbReadBytes),
                  (std::vector<uint8_t>{0x11, 0xEE}));
        EXPECT_EQ(bytesOf(transaction->pAcks, transaction->NbAcks), (std::vector<uint8_t>(7, 0)));
    }
}

TEST_F(I2cBusTest, DeviceFaults) {
    struct Case {
        const char* name;
        std::function<void(zrbsim::I2cDevice&)> fault;
        std::vector<uint8_t> acks;
        std::vector<uint8_t> bytes; // empty: not checked
    };
    const Case cases[] = {
        {"absent", [](zrbsim::I2cDevice& d) { d.present = false; }, {1, 1, 1}, {0xFF, 0xFF}},
        {"NACK of the 2nd byte", [](zrbsim::I2cDevice& d) { d.nackByte = 2; }, {0, 1, 0}, {}},
        {"other address", [](zrbsim::I2cDevice& d) { d.address = 0x51; }, {1, 1, 1}, {0xFF, 0xFF}},
    };
    connect();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        device([&](zrbsim::I2cDevice& d) {
            d = zrbsim::I2cDevice{};
            d.pinScl = kScl;
            d.pinSda = kSda;
            c.fault(d);
        });
        StimuliPtr stimuli = memoryRead(400000);
        TransactionPtr transaction = schedule(stimuli);
        ASSERT_NE(transaction, nullptr);
        fire();
        ASSERT_EQ(ZRB_I2cProcessResponse(transaction.get()), 0);
        EXPECT_EQ(bytesOf(transaction->pAcks, transaction->NbAcks), c.acks);
        if (!c.bytes.empty()) {
            EXPECT_EQ(bytesOf(transaction->pReadBytes, transaction->NbReadBytes), c.bytes);
        }
    }
}

TEST_F(I2cBusTest, GlitchedCaptureAndTheFilter) {
    connect();
    device([](zrbsim::I2cDevice& d) { d.memory[0] = 0x5A; });
    for (const bool filter : {false, true}) {
        SCOPED_TRACE(filter ? "filter on" : "filter off");
        ZRB_I2cEnableCaptureFilter(filter ? 1 : 0);
        device([](zrbsim::I2cDevice& d) { d.pointer = 0; });
        StimuliPtr stimuli = singleRead(400000);
        // 150 ns low across the second data bit's rising edge.
        const long long rise = static_cast<long long>(stimuli->readWindows[0].BeginNs) + 2500 + 625;
        zrbsim::withPins(simulator(), [&](zrbsim::PinModel& pins) {
            pins.slots[{kSda, kTrigger}].glitches = {{0, rise - 75, 150}};
        });
        TransactionPtr transaction = schedule(stimuli);
        ASSERT_NE(transaction, nullptr);
        fire();
        ASSERT_EQ(ZRB_I2cProcessResponse(transaction.get()), 0);
        EXPECT_EQ(transaction->pReadBytes[0], filter ? 0x5A : 0x1A);
        EXPECT_EQ(transaction->pAcks[0], 0);
    }
}

TEST_F(I2cBusTest, ScriptedCaptureComesFirst) {
    connect();
    StimuliPtr stimuli(ZRB_I2cStimuliAllocate(400000));
    ASSERT_EQ(ZRB_I2cStimuliAppendSteady(stimuli.get(), 1, 1, 1000), 0);
    zrbsim::withPins(simulator(), [&](zrbsim::PinModel& pins) {
        pins.slots[{kScl, kTrigger}].scriptedCapture = "0;10;1;990";
    });
    TransactionPtr transaction = schedule(stimuli);
    ASSERT_NE(transaction, nullptr);
    fire();
    ASSERT_EQ(ZRB_I2cProcessResponse(transaction.get()), 0);
    Waveform* capture = nullptr;
    ASSERT_EQ(ZRB_GpioGetCapture(kScl, kTrigger, &capture), 0);
    EXPECT_EQ(elementText(capture), "0;10;1;990");
    ZRB_WaveformDelete(capture);
    ASSERT_EQ(ZRB_GpioGetCapture(kSda, kTrigger, &capture), 0);
    EXPECT_EQ(elementText(capture), "1;1000");
    ZRB_WaveformDelete(capture);
}

TEST_F(I2cBusTest, OutputDoneKnob) {
    connect();
    struct Case {
        int doneAfter;
        int result;
    };
    // The wait for 45000 ns asks twice.
    for (const Case c : {Case{1, 0}, Case{-1, 2}}) {
        SCOPED_TRACE(c.doneAfter);
        StimuliPtr stimuli = singleRead(400000);
        TransactionPtr transaction = schedule(stimuli);
        ASSERT_NE(transaction, nullptr);
        zrbsim::withPins(simulator(), [&](zrbsim::PinModel& pins) {
            pins.slots[{kScl, kTrigger}].doneAfter = c.doneAfter;
        });
        fire();
        EXPECT_EQ(ZRB_I2cProcessResponse(transaction.get()), c.result);
    }
}

TEST_F(I2cBusTest, UnfiredCaptureIsAFailingCommand) {
    connect();
    StimuliPtr stimuli = singleRead(400000);
    TransactionPtr transaction = schedule(stimuli);
    ASSERT_NE(transaction, nullptr);
    zrbsim::withPins(simulator(), [&](zrbsim::PinModel& pins) {
        pins.slots[{kScl, kTrigger}].doneAfter = 0;
    });
    simulator().scriptLine("0,1", "Gpio:WaveformOutputDone");
    // A failing code without the capture field is no usable reply.
    EXPECT_EQ(ZRB_I2cProcessResponse(transaction.get()), 11);
}

} // namespace

namespace {

// The outside check: the test decoder reads the frames back, from what the
// simulator was told to play (no device: written acknowledges read NACK, read
// bytes 0xFF) and from the library's dump of the captures (device on the bus).
class I2cBusRoutesTest : public I2cBusTest {
  protected:
    // The element text of the last output scheduled on `pin`.
    std::string recordedOutput(int pin) {
        const std::string prefix = "ZRB:Gpio:ScheduleWaveformOutput " + std::to_string(pin) + ",\"";
        std::string text;
        for (const auto& request : simulator().requests())
            if (request.raw.starts_with(prefix))
                text =
                    request.raw.substr(prefix.size(), request.raw.find('"', prefix.size()) - prefix.size());
        return text;
    }
    zrbtest::BusDecode decodeFile(const std::string& file) {
        std::ifstream in(file);
        std::stringstream text;
        text << in.rdbuf();
        return zrbtest::decodeBus(zrbtest::readVcd(text.str()));
    }
    // Route (a): the recorded outputs as a pair VCD, decoded.
    zrbtest::BusDecode played() {
        zrbtest::WaveformPtr scl(ZRB_WaveformNewFromStr("WaveformOut", recordedOutput(kScl).c_str()));
        zrbtest::WaveformPtr sda(ZRB_WaveformNewFromStr("WaveformOut", recordedOutput(kSda).c_str()));
        const std::string file = (dir_.path() / "played.vcd").string();
        EXPECT_EQ(ZRB_WaveformsDumpVcd2(scl.get(), sda.get(), file.c_str()), 0);
        return decodeFile(file);
    }
    // Route (b): the transaction's captures as the library dumps them, decoded.
    zrbtest::BusDecode captured(const ZRB_I2cTransaction* transaction) {
        const std::string file = (dir_.path() / "captured.vcd").string();
        EXPECT_EQ(ZRB_I2cDumpVcd(transaction, file.c_str()), 0);
        return decodeFile(file);
    }
    static std::vector<double> edgesOf(const zrbtest::BusDecode& decoded) {
        std::vector<double> edges;
        for (const auto& event : decoded.events)
            edges.insert(edges.end(), event.bitEdges.begin(), event.bitEdges.end());
        return edges;
    }
    static std::vector<double> timingsOf(const ZRB_I2cTransaction* transaction) {
        std::vector<double> timings;
        double time = 0;
        for (uint32_t i = 0; ZRB_I2cGetBitTiming2(transaction, i, &time) == 0; ++i)
            timings.push_back(time);
        return timings;
    }

    vktesting::TempDir dir_;
};

TEST_F(I2cBusRoutesTest, MemoryReadBothRoutes) {
    connect();
    StimuliPtr stimuli = memoryRead(400000);
    TransactionPtr transaction = schedule(stimuli);
    ASSERT_NE(transaction, nullptr);
    fire();
    ASSERT_EQ(ZRB_I2cProcessResponse(transaction.get()), 0);

    const auto a = played();
    EXPECT_EQ(a.error, "");
    EXPECT_EQ(zrbtest::frameText(a.events), "S A0- 10- Sr A1- FF+ FF- P");
    EXPECT_EQ(edgesOf(a), timingsOf(transaction.get()));

    const auto b = captured(transaction.get());
    EXPECT_EQ(b.error, "");
    EXPECT_EQ(zrbtest::frameText(b.events), "S A0+ 10+ Sr A1+ C3+ 5A- P");
    EXPECT_EQ(edgesOf(b), timingsOf(transaction.get()));
}

// A register write and, sometimes, a read back: S A0 reg data... [Sr A1 reads] P.
struct RandomFrame {
    std::vector<uint8_t> writes; // address byte included
    std::vector<int32_t> readAcks;
    std::vector<ZRB_I2cClockStretch> stretches;
};

TEST_F(I2cBusRoutesTest, RandomFramesAgreeWithTheLibrary) {
    connect();
    std::mt19937 random(20261210);
    for (const uint32_t frequency : {100000u, 400000u, 1000000u}) {
        for (int round = 0; round < 6; ++round) {
            SCOPED_TRACE(std::to_string(frequency) + " Hz, round " + std::to_string(round));
            device([&](zrbsim::I2cDevice& d) {
                for (auto& byte : d.memory)
                    byte = static_cast<uint8_t>(random());
            });
            RandomFrame frame;
            frame.writes = {0xA0, static_cast<uint8_t>(random())};
            for (int i = static_cast<int>(random() % 3); i > 0; --i)
                frame.writes.push_back(static_cast<uint8_t>(random()));
            for (int i = static_cast<int>(random() % 4); i > 0; --i)
                frame.readAcks.push_back(0);
            if (!frame.readAcks.empty()) frame.readAcks.back() = 1;
            for (int i = static_cast<int>(random() % 3); i > 0; --i)
                frame.stretches.push_back({static_cast<uint8_t>(random() % 9),
                                           static_cast<uint8_t>(random() % 2),
                                           0.25 * static_cast<double>(random() % 8)});

            StimuliPtr stimuli(ZRB_I2cStimuliAllocate(frequency));
            ASSERT_EQ(ZRB_I2cStimuliAppendStart(stimuli.get(), 0), 0);
            ASSERT_EQ(ZRB_I2cStimuliAppendWriteBytes(stimuli.get(), frame.writes.data(),
                                                     static_cast<uint32_t>(frame.writes.size())),
                      0);
            std::string expected = "S";
            for (const uint8_t byte : frame.writes) {
                char text[8];
                std::snprintf(text, sizeof text, " %02X-", byte);
                expected += text;
            }
            if (!frame.readAcks.empty()) {
                ASSERT_EQ(ZRB_I2cStimuliAppendStart(stimuli.get(), 1), 0);
                ASSERT_EQ(ZRB_I2cStimuliAppendWriteByte(stimuli.get(), 0xA1), 0);
                ASSERT_EQ(ZRB_I2cStimuliAppendReadBytes(stimuli.get(), frame.readAcks.data(),
                                                        static_cast<uint32_t>(frame.readAcks.size()),
                                                        frame.stretches.data(),
                                                        static_cast<uint32_t>(frame.stretches.size())),
                          0);
                expected += " Sr A1-";
                for (const int32_t ack : frame.readAcks)
                    expected += ack == 0 ? " FF+" : " FF-";
            }
            ASSERT_EQ(ZRB_I2cStimuliAppendStop(stimuli.get()), 0);
            expected += " P";

            TransactionPtr transaction = schedule(stimuli);
            ASSERT_NE(transaction, nullptr);
            fire();
            ASSERT_EQ(ZRB_I2cProcessResponse(transaction.get()), 0);

            const auto a = played();
            EXPECT_EQ(a.error, "");
            EXPECT_EQ(zrbtest::frameText(a.events), expected);
            EXPECT_EQ(edgesOf(a), timingsOf(transaction.get()));

            const auto b = captured(transaction.get());
            EXPECT_EQ(b.error, "");
            EXPECT_EQ(edgesOf(b), timingsOf(transaction.get()));
            std::vector<uint8_t> acks;
            std::vector<uint8_t> reads;
            // Written bytes (the read address included) give acknowledges; the
            // bytes after the read address are read.
            std::size_t bytes = 0;
            for (const auto& event : b.events) {
                if (event.kind != zrbtest::BusEvent::Kind::kByte) continue;
                if (++bytes > frame.writes.size() + 1)
                    reads.push_back(event.byte);
                else
                    acks.push_back(event.acknowledged ? 0 : 1);
            }
            EXPECT_EQ(bytesOf(transaction->pAcks, transaction->NbAcks), acks);
            EXPECT_EQ(bytesOf(transaction->pReadBytes, transaction->NbReadBytes), reads);
        }
    }
}

} // namespace

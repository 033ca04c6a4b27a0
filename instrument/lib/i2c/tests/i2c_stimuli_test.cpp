// I2C stimuli through the library's exports; the waveforms, windows and
// timings are read through the internal header.
#include "i2c_internal.h"
#include "i2c_test_support.h"
#include "waveform_test_support.h"

#include <vkplatform/zlog_capture.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using zrbtest::elementText;
using zrbtest::StimuliPtr;

std::string repeat(const std::string& text, int times) {
    std::string result;
    for (int i = 0; i < times; ++i)
        result += text;
    return result;
}

std::vector<double> timingsOf(const ZRB_I2cStimuli* stimuli) {
    std::vector<double> timings;
    double time = 0.0;
    for (uint32_t i = 0; ZRB_I2cGetBitTiming(stimuli, i, &time) == 0; ++i)
        timings.push_back(time);
    return timings;
}

TEST(I2cStimuli, StartWriteByteStopAt400kHz) {
    StimuliPtr stimuli(ZRB_I2cStimuliAllocate(400000));
    ASSERT_NE(stimuli, nullptr);
    EXPECT_EQ(ZRB_I2cStimuliAppendStart(stimuli.get(), 0), 0);
    EXPECT_EQ(ZRB_I2cStimuliAppendWriteByte(stimuli.get(), 0x5A), 0);
    EXPECT_EQ(ZRB_I2cStimuliAppendStop(stimuli.get()), 0);

    EXPECT_EQ(elementText(stimuli->scl.get()), "1;625;0;1250" + repeat(";1;1250;0;1250", 9) + ";1;1875");
    EXPECT_EQ(elementText(stimuli->sda.get()),
              "0;3750;1;2500;0;2500;1;5000;0;2500;1;2500;0;2500;2;2500;0;1250;1;1250");
    std::vector<double> expected;
    for (int k = 0; k < 9; ++k)
        expected.push_back(1875 + 2500 * k);
    EXPECT_EQ(timingsOf(stimuli.get()), expected);
    ASSERT_EQ(stimuli->writeWindows.size(), 1u);
    EXPECT_EQ(stimuli->writeWindows[0].BeginNs, 21250);
    EXPECT_EQ(stimuli->writeWindows[0].EndNs, 23750);
    EXPECT_TRUE(stimuli->readWindows.empty());
}

TEST(I2cStimuli, ReadByteWithClockStretching) {
    StimuliPtr stimuli(ZRB_I2cStimuliAllocate(400000));
    // Bit 5 low: the later 0.25 us wins; ack high 2 us; phase 2 and a 0 us
    // entry change nothing.
    const ZRB_I2cClockStretch stretches[] = {
        {5, 0, 0.5}, {8, 1, 2.0}, {5, 0, 0.25}, {2, 2, 9.0}, {3, 0, 0.0}};
    ASSERT_EQ(ZRB_I2cStimuliAppendReadByte(stimuli.get(), 0, stretches, 5), 0);

    EXPECT_EQ(elementText(stimuli->sda.get()), "2;20250;0;4500");
    double time = 0.0;
    ASSERT_EQ(ZRB_I2cGetBitTiming(stimuli.get(), 5, &time), 0);
    EXPECT_EQ(time, 13375);
    // The acknowledge bit's SCL: low T/4, high T/2 + 2000, low T/4.
    const auto scl = zrbtest::elementsOf(stimuli->scl.get());
    ASSERT_GE(scl.size(), 3u);
    EXPECT_EQ(scl[scl.size() - 2].amplitude, 1);
    EXPECT_EQ(scl[scl.size() - 2].duration, 3250);
    ASSERT_EQ(stimuli->readWindows.size(), 1u);
    EXPECT_EQ(stimuli->readWindows[0].BeginNs, 0);
    EXPECT_EQ(stimuli->readWindows[0].EndNs, 20250);
    EXPECT_TRUE(stimuli->writeWindows.empty());
    EXPECT_EQ(timingsOf(stimuli.get()).size(), 9u);
}

TEST(I2cStimuli, MoreThan255StretchEntriesAreAllWalked) {
    StimuliPtr stimuli(ZRB_I2cStimuliAllocate(400000));
    std::vector<ZRB_I2cClockStretch> stretches(300, ZRB_I2cClockStretch{9, 0, 0.0});
    stretches.back() = {0, 0, 1.0};
    ASSERT_EQ(ZRB_I2cStimuliAppendReadByte(stimuli.get(), 1, stretches.data(),
                                           static_cast<uint32_t>(stretches.size())),
              0);
    double time = 0.0;
    ASSERT_EQ(ZRB_I2cGetBitTiming(stimuli.get(), 0, &time), 0);
    EXPECT_EQ(time, 625 + 1000);
}

struct OtherAppend {
    const char* name;
    int (*append)(ZRB_I2cStimuli*);
    const char* scl;
    const char* sda;
};

TEST(I2cStimuli, OtherAppends) {
    const OtherAppend cases[] = {
        {"repeated start", [](ZRB_I2cStimuli* s) { return ZRB_I2cStimuliAppendStart(s, 1); },
         "0;625;1;1250;0;625", "1;1250;0;1250"},
        {"start", [](ZRB_I2cStimuli* s) { return ZRB_I2cStimuliAppendStart(s, 0); }, "1;625;0;625", "0;1250"},
        {"stop", [](ZRB_I2cStimuli* s) { return ZRB_I2cStimuliAppendStop(s); }, "0;625;1;1875",
         "0;1250;1;1250"},
        {"steady", [](ZRB_I2cStimuli* s) { return ZRB_I2cStimuliAppendSteady(s, 1, 2, 700); }, "1;700",
         "2;700"},
        {"test mode", [](ZRB_I2cStimuli* s) { return ZRB_I2cStimuliAppendTestMode(s); },
         "0;3750;1;3750;0;3750;1;41250", "0;15000;1;3750;0;7500;1;3750;0;7500;1;3750;0;7500"},
    };
    for (const OtherAppend& c : cases) {
        SCOPED_TRACE(c.name);
        StimuliPtr stimuli(ZRB_I2cStimuliAllocate(400000));
        ASSERT_EQ(c.append(stimuli.get()), 0);
        EXPECT_EQ(elementText(stimuli->scl.get()), c.scl);
        EXPECT_EQ(elementText(stimuli->sda.get()), c.sda);
        EXPECT_TRUE(timingsOf(stimuli.get()).empty());
        EXPECT_TRUE(stimuli->writeWindows.empty() && stimuli->readWindows.empty());
    }
}

TEST(I2cStimuli, TestModeLeavesSclOneStepLonger) {
    StimuliPtr stimuli(ZRB_I2cStimuliAllocate(400000));
    ASSERT_EQ(ZRB_I2cStimuliAppendTestMode(stimuli.get()), 0);
    EXPECT_EQ(ZRB_WaveformGetEndTime(stimuli->scl.get()), 52500);
    EXPECT_EQ(ZRB_WaveformGetEndTime(stimuli->sda.get()), 48750);
}

TEST(I2cStimuli, ManyBytesAndTheirTimings) {
    StimuliPtr stimuli(ZRB_I2cStimuliAllocate(100000));
    const uint8_t bytes[] = {0xA0, 0x10};
    const int32_t acks[] = {0x100, 0x101}; // low 8 bits: 0, 1
    ASSERT_EQ(ZRB_I2cStimuliAppendWriteBytes(stimuli.get(), bytes, 2), 0);
    ASSERT_EQ(ZRB_I2cStimuliAppendReadBytes(stimuli.get(), acks, 2, nullptr, 0), 0);
    EXPECT_EQ(stimuli->writeWindows.size(), 2u);
    ASSERT_EQ(stimuli->readWindows.size(), 2u);
    EXPECT_EQ(timingsOf(stimuli.get()).size(), 36u);
    // The last read byte's acknowledge bit is the master's NACK.
    EXPECT_TRUE(elementText(stimuli->sda.get()).ends_with(";0;10000;2;80000;1;10000"))
        << elementText(stimuli->sda.get());
    EXPECT_EQ(ZRB_I2cStimuliAppendWriteBytes(stimuli.get(), nullptr, 0), 0);
    EXPECT_EQ(ZRB_I2cStimuliAppendReadBytes(stimuli.get(), nullptr, 0, nullptr, 0), 0);
    EXPECT_EQ(timingsOf(stimuli.get()).size(), 36u);
}

TEST(I2cStimuli, BitTimingPastTheEndLeavesTheOutput) {
    StimuliPtr stimuli(ZRB_I2cStimuliAllocate(400000));
    ASSERT_EQ(ZRB_I2cStimuliAppendWriteByte(stimuli.get(), 1), 0);
    double time = -7.0;
    EXPECT_EQ(ZRB_I2cGetBitTiming(stimuli.get(), 9, &time), 1);
    EXPECT_EQ(time, -7.0);
    EXPECT_EQ(ZRB_I2cGetBitTiming(stimuli.get(), 8, nullptr), 0);
    EXPECT_EQ(ZRB_I2cGetBitTiming(stimuli.get(), UINT32_MAX, &time), 1);
}

TEST(I2cStimuli, NullArgumentsGive3) {
    double time = 0.0;
    const uint8_t byte = 0;
    const int32_t ack = 0;
    EXPECT_EQ(ZRB_I2cStimuliAppendStart(nullptr, 0), 3);
    EXPECT_EQ(ZRB_I2cStimuliAppendStop(nullptr), 3);
    EXPECT_EQ(ZRB_I2cStimuliAppendWriteByte(nullptr, 1), 3);
    EXPECT_EQ(ZRB_I2cStimuliAppendWriteBytes(nullptr, &byte, 1), 3);
    EXPECT_EQ(ZRB_I2cStimuliAppendReadByte(nullptr, 0, nullptr, 0), 3);
    EXPECT_EQ(ZRB_I2cStimuliAppendReadBytes(nullptr, &ack, 1, nullptr, 0), 3);
    EXPECT_EQ(ZRB_I2cStimuliAppendSteady(nullptr, 1, 1, 10), 3);
    EXPECT_EQ(ZRB_I2cStimuliAppendTestMode(nullptr), 3);
    EXPECT_EQ(ZRB_I2cGetBitTiming(nullptr, 0, &time), 3);
    ZRB_I2cStimuliFree(nullptr);

    StimuliPtr stimuli(ZRB_I2cStimuliAllocate(400000));
    EXPECT_EQ(ZRB_I2cStimuliAppendWriteBytes(stimuli.get(), nullptr, 1), 3);
    EXPECT_EQ(ZRB_I2cStimuliAppendReadByte(stimuli.get(), 0, nullptr, 1), 3);
    EXPECT_EQ(ZRB_I2cStimuliAppendReadBytes(stimuli.get(), nullptr, 1, nullptr, 0), 3);
    EXPECT_EQ(ZRB_I2cStimuliAppendReadBytes(stimuli.get(), &ack, 1, nullptr, 1), 3);
    EXPECT_EQ(ZRB_WaveformElements(stimuli->scl.get()), 0);
    EXPECT_EQ(ZRB_WaveformElements(stimuli->sda.get()), 0);
}

TEST(I2cStimuli, ZeroHertzHasNoBitPeriod) {
    vkplatform::ZlogCapture capture;
    StimuliPtr stimuli(ZRB_I2cStimuliAllocate(0));
    ASSERT_NE(stimuli, nullptr);
    const uint8_t byte = 1;
    const int32_t ack = 0;
    EXPECT_EQ(ZRB_I2cStimuliAppendStart(stimuli.get(), 0), 1);
    EXPECT_EQ(ZRB_I2cStimuliAppendStart(stimuli.get(), 1), 1);
    EXPECT_EQ(ZRB_I2cStimuliAppendStop(stimuli.get()), 1);
    EXPECT_EQ(ZRB_I2cStimuliAppendWriteByte(stimuli.get(), 1), 1);
    EXPECT_EQ(ZRB_I2cStimuliAppendWriteBytes(stimuli.get(), &byte, 1), 1);
    EXPECT_EQ(ZRB_I2cStimuliAppendReadByte(stimuli.get(), 0, nullptr, 0), 1);
    EXPECT_EQ(ZRB_I2cStimuliAppendReadBytes(stimuli.get(), &ack, 1, nullptr, 0), 1);
    EXPECT_EQ(ZRB_I2cStimuliAppendTestMode(stimuli.get()), 1);
    EXPECT_EQ(ZRB_WaveformElements(stimuli->scl.get()), 0);
    EXPECT_EQ(ZRB_WaveformElements(stimuli->sda.get()), 0);
    EXPECT_TRUE(stimuli->writeWindows.empty() && stimuli->readWindows.empty());
    EXPECT_EQ(ZRB_I2cStimuliAppendSteady(stimuli.get(), 1, 0, 500), 0);
    EXPECT_EQ(elementText(stimuli->scl.get()), "1;500");
    bool traced = false;
    for (const auto& record : capture.records("ZRB_I2C"))
        traced =
            traced || (record.level == ZLOG_LEVEL_ERROR && record.message.find("0Hz") != std::string::npos);
    EXPECT_TRUE(traced);
}

TEST(I2cStimuli, TracesNameTheI2cFile) {
    vkplatform::ZlogCapture capture;
    StimuliPtr stimuli(ZRB_I2cStimuliAllocate(400000));
    ASSERT_EQ(ZRB_I2cStimuliAppendWriteByte(stimuli.get(), 0x5A), 0);
    const auto records = capture.records("ZRB_I2C");
    ASSERT_FALSE(records.empty());
    std::vector<std::string> messages;
    for (const auto& record : records) {
        EXPECT_TRUE(record.file.ends_with("lib/i2c/I2c.cpp")) << record.file;
        messages.push_back(record.message);
    }
    const void* address = stimuli.get();
    char allocated[64];
    std::snprintf(allocated, sizeof allocated, "Allocated stimuli %p at 400000Hz", address);
    EXPECT_EQ(messages.front(), allocated);
    EXPECT_NE(std::find(messages.begin(), messages.end(), "Append I2C Write byte 0x5a at 0"), messages.end());
    EXPECT_NE(std::find(messages.begin(), messages.end(), "Added I2C Write Byte 0x5a from 0 to 20000"),
              messages.end());
    EXPECT_NE(std::find(messages.begin(), messages.end(), "Append I2C ACK at 20000ns"), messages.end());
}

} // namespace

namespace {

// The caller reads these records directly: their layout is part of the interface.
static_assert(sizeof(ZRB_I2cClockStretch) == 16);
static_assert(offsetof(ZRB_I2cClockStretch, BitIndex) == 0);
static_assert(offsetof(ZRB_I2cClockStretch, Phase) == 1);
static_assert(offsetof(ZRB_I2cClockStretch, DurationUs) == 8);
static_assert(sizeof(ZRB_I2cTransaction) == 48);
static_assert(offsetof(ZRB_I2cTransaction, pReadBytes) == 0);
static_assert(offsetof(ZRB_I2cTransaction, NbReadBytes) == 8);
static_assert(offsetof(ZRB_I2cTransaction, pAcks) == 16);
static_assert(offsetof(ZRB_I2cTransaction, NbAcks) == 24);
static_assert(offsetof(ZRB_I2cTransaction, DurationNs) == 32);
static_assert(offsetof(ZRB_I2cTransaction, pPrivate) == 40);
static_assert(ZRB_TRGID_IMMEDIATE == 0);

} // namespace

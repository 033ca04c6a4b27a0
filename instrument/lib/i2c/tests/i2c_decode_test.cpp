// The decode and the contiguity step through the I2C part's internal header.
#include "element_text.h"
#include "i2c_internal.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using zrb::i2c::AckWindow;

std::unique_ptr<Waveform> fromText(const std::string& text) {
    return zrb::readElementText("w", text);
}

// Elements as "absTime:duration:amplitude" separated by blanks.
std::string layout(const Waveform& waveform) {
    std::string text;
    for (const auto& element : waveform.Elements())
        text += std::to_string(static_cast<long>(element.absTime)) + ":" +
                std::to_string(static_cast<long>(element.duration)) + ":" +
                std::to_string(element.amplitude) + " ";
    return text;
}

TEST(I2cContiguity, Table) {
    struct Case {
        const char* name;
        std::vector<Waveform::Element> elements; // absTime, duration, amplitude
        const char* expected;
    };
    const Case cases[] = {
        {"empty", {}, ""},
        {"already contiguous", {{0, 10, 1}, {10, 5, 0}}, "0:10:1 10:5:0 "},
        {"gap between different levels", {{0, 10, 1}, {20, 5, 0}}, "0:20:1 20:5:0 "},
        {"gap between equal levels merges",
         {{0, 10, 0}, {20, 5, 1}, {40, 5, 1}, {50, 10, 0}},
         "0:20:0 20:30:1 50:10:0 "},
        {"first element from the start time", {{30, 10, 1}, {40, 5, 0}}, "0:40:1 40:5:0 "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto waveform = Waveform::create("w");
        // Build the elements with their times by appending and removing.
        double end = 0;
        std::vector<long long> removals;
        for (const auto& element : c.elements) {
            if (element.absTime > end) {
                waveform->AppendBase(99, element.absTime - end);
                removals.push_back(static_cast<long long>(waveform->Count()) - 1);
            }
            waveform->AppendBase(element.amplitude, element.duration);
            end = element.absTime + element.duration;
        }
        for (auto it = removals.rbegin(); it != removals.rend(); ++it)
            waveform->Remove(*it);
        zrb::i2c::makeContiguous(*waveform);
        EXPECT_EQ(layout(*waveform), c.expected);
    }
}

TEST(I2cCaptureFilterFrequency, SaturatesIn64Bits) {
    EXPECT_EQ(zrb::i2c::captureFilterFrequency(400000), 4000000u);
    EXPECT_EQ(zrb::i2c::captureFilterFrequency(429496729), 4294967290u);
    EXPECT_EQ(zrb::i2c::captureFilterFrequency(429496730), 4294967295u);
    EXPECT_EQ(zrb::i2c::captureFilterFrequency(UINT32_MAX), 4294967295u);
}

// One read byte 0x5A at 400 kHz from t = 0: SCL low 625, high 1250, low 625 per bit.
struct DecodeCase {
    const char* name;
    std::string scl;
    std::string sda;
    int result;
    uint8_t byte;
};

TEST(I2cDecode, ReadByteTable) {
    const std::string scl = [] {
        std::string text = "0;625";
        for (int i = 0; i < 8; ++i)
            text += ";1;1250;0;" + std::string(i == 7 ? "625" : "1250");
        return text;
    }();
    const DecodeCase cases[] = {
        {"0x5A", scl, "0;2500;1;2500;0;2500;1;5000;0;2500;1;2500;0;2500", 0, 0x5A},
        {"level 2 is a one bit", scl, "2;20000", 0, 0xFF},
        {"SCL high at the start", "1;625;0;19375", "0;20000", 1, 0},
        {"SCL ends early", "0;625;1;1250;0;1250", "0;20000", 14, 0},
        {"SDA ends early", scl, "0;1000", 14, 0},
    };
    const std::vector<AckWindow> windows = {{0, 20000}};
    for (const DecodeCase& c : cases) {
        SCOPED_TRACE(c.name);
        uint8_t byte = 0;
        EXPECT_EQ(zrb::i2c::decodeReadBytes(*fromText(c.scl), *fromText(c.sda), windows, &byte), c.result);
        EXPECT_EQ(byte, c.byte);
    }
}

TEST(I2cDecode, AcksTable) {
    // Two acknowledge bits at [0, 2500) and [2500, 5000).
    const std::string scl = "0;625;1;1250;0;1250;1;1250;0;625";
    const std::vector<AckWindow> windows = {{0, 2500}, {2500, 5000}};
    struct Case {
        const char* name;
        std::string scl;
        std::string sda;
        int result;
        std::vector<uint8_t> acks;
    };
    const Case cases[] = {
        {"ACK NACK", scl, "0;2500;1;2500", 0, {0, 1}},
        {"raw levels", scl, "2;2500;0;2500", 0, {2, 0}},
        {"SCL high at a window start", "0;625;1;2500;0;1875", "0;5000", 1, {0, 0}},
        {"SDA too short", scl, "0;1000", 14, {0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<uint8_t> acks(2, 0);
        EXPECT_EQ(zrb::i2c::decodeAcks(*fromText(c.scl), *fromText(c.sda), windows, acks.data()), c.result);
        EXPECT_EQ(acks, c.acks);
    }
}

} // namespace

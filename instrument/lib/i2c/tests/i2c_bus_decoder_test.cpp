// The test decoder itself, on hand-written pair VCD texts.
#include "i2c_bus_decoder.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using zrbtest::decodeBus;
using zrbtest::frameText;

std::string vcd(const std::string& changes) {
    return "$timescale\n1ns\n$end\n$var reg 8 # WaveformOut $end\n$var reg 8 $ WaveformOut $end\n"
           "$enddefinitions $end\n$dumpvars\n" +
           changes;
}

// SCL low-high-low per bit (10 ns each phase), SDA set while SCL is low.
std::string bits(double& t, const std::string& values) {
    std::string text;
    for (const char value : values) {
        const std::string level = value == '0' ? "b00000000" : "b00000001";
        text += "#" + std::to_string(static_cast<long>(t)) + " " + level + " $\n";
        text += "#" + std::to_string(static_cast<long>(t + 10)) + " b00000001 #\n";
        text += "#" + std::to_string(static_cast<long>(t + 20)) + " b00000000 #\n";
        t += 30;
    }
    return text;
}

TEST(I2cBusDecoder, Table) {
    struct Case {
        const char* name;
        std::string changes;
        const char* frame;
        const char* error; // a prefix; "" when none
    };
    double t = 10;
    // Start at 0 (SDA falls, SCL high since before), SCL falls at 5.
    const std::string start = "#0 b00000000 $\n#5 b00000000 #\n";
    t = 10;
    const std::string byteA5Ack = bits(t, "101001010");
    // Stop: SDA low, SCL rises, SDA rises.
    const std::string stop = "#" + std::to_string(static_cast<long>(t)) + " b00000000 $\n#" +
                             std::to_string(static_cast<long>(t + 10)) + " b00000001 #\n#" +
                             std::to_string(static_cast<long>(t + 20)) + " b00000001 $\n";
    const double afterByte = t;
    double t2 = 10;
    const std::string byte3CNack = bits(t2, "001111001");
    // Repeated start: SDA high, SCL rises, SDA falls, SCL falls.
    const auto at = [](double time) { return "#" + std::to_string(static_cast<long>(time)) + " "; };
    const std::string repeated = at(afterByte) + "b00000001 $\n" + at(afterByte + 10) + "b00000001 #\n" +
                                 at(afterByte + 20) + "b00000000 $\n" + at(afterByte + 30) + "b00000000 #\n";
    double t3 = afterByte + 40;
    const std::string afterRepeated = bits(t3, "111111111");
    const Case cases[] = {
        {"start, byte, stop", start + byteA5Ack + stop, "S A5+ P", ""},
        {"NACK", start + byte3CNack, "S 3C-", ""},
        {"repeated start", start + byteA5Ack + repeated + afterRepeated, "S A5+ Sr FF-", ""},
        {"a value other than 0 is high", "#0 b00000000 $\n#5 b00000000 #\n#10 b00000010 $\n#20 b00000011 #\n",
         "S", ""},
        {"the first bx ends", start + "#7 bx #\n" + byteA5Ack, "S", ""},
        {"unfinished byte before a stop",
         start + "#10 b00000001 #\n#20 b00000000 #\n#30 b00000000 $\n" + "#40 b00000001 #\n#50 b00000001 $\n",
         "S", "unfinished byte"},
        {"SDA changes with an SCL rise", start + "#10 b00000001 $\n#10 b00000001 #\n", "S",
         "SDA changes with SCL"},
        {"SDA changes with an SCL fall", "#0 b00000000 $\n#0 b00000000 #\n", "", "SDA changes with SCL"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto decoded = decodeBus(zrbtest::readVcd(vcd(c.changes)));
        EXPECT_EQ(frameText(decoded.events), c.frame);
        EXPECT_TRUE(decoded.error.starts_with(c.error)) << decoded.error;
        EXPECT_EQ(decoded.error.empty(), std::string(c.error).empty());
    }
}

TEST(I2cBusDecoder, ByteEdgesAreTheNineRises) {
    double t = 10;
    const auto decoded =
        decodeBus(zrbtest::readVcd(vcd("#0 b00000000 $\n#5 b00000000 #\n" + bits(t, "000000000"))));
    ASSERT_EQ(decoded.events.size(), 2u);
    EXPECT_EQ(decoded.events[1].bitEdges, (std::vector<double>{20, 50, 80, 110, 140, 170, 200, 230, 260}));
    EXPECT_EQ(decoded.events[0].time, 0);
}

} // namespace

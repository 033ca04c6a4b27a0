#include "hex.h"

#include <krnsim/fault.h>

#include <gtest/gtest.h>

namespace krnsim {
namespace {

using test::hex;
using test::toHex;

// "delay:bytes|delay:bytes...|end" for a plan.
std::string show(const Plan& plan) {
    std::string text;
    for (const Step& step : plan.steps)
        text += std::to_string(step.delay.count()) + ":" + toHex(step.bytes) + "|";
    text += plan.end == EndAction::None ? "-" : plan.end == EndAction::Close ? "close" : "reset";
    return text;
}

TEST(KrnSimFault, TurnsAReplyFrameIntoWhatIsSent) {
    const Bytes standard = hex("06 01 65 00 8A 09");
    const Bytes advanced = hex("02 00 08 01 65 00 CF A4");
    struct Case {
        Fault fault;
        bool advanced;
        std::string expected;
    };
    const Case cases[] = {
        {Fault::badCrc(), false, "0:06 01 65 00 75 09|-"},
        {Fault::wrongCommand(0x66), false, "0:06 01 66 00 E2 23|-"},
        {Fault::wrongAddress(0x05), false, "0:06 05 65 00 EB 6A|-"},
        {Fault::lengthDelta(1), false, "0:07 01 65 00 31 15|-"},
        {Fault::lengthDelta(-2), false, "0:04 01 65 00 FC 30|-"},
        {Fault::lengthDelta(1), true, "0:02 00 09 01 65 00 74 B8|-"},
        {Fault::lengthDelta(-3), true, "0:02 00 05 01 65 00 40 2F|-"},
        {Fault::truncate(2), false, "0:06 01 65 00|-"},
        {Fault::truncate(100), false, "-"},
        {Fault::surplus(hex("AA BB")), false, "0:06 01 65 00 8A 09 AA BB|-"},
        {Fault::split({2, 1}, {Millis(10), Millis(20)}), false, "0:06 01|10:65|20:00 8A 09|-"},
        {Fault::split({4, 9}, {Millis(10), Millis(20)}), false, "0:06 01 65 00|10:8A 09|-"},
        {Fault::delay(Millis(50)), false, "50:06 01 65 00 8A 09|-"},
        {Fault::silence(), false, "-"},
        {Fault::raw(hex("01 02")), false, "0:01 02|-"},
        {Fault::noise(hex("00 03")), false, "0:00 03 06 01 65 00 8A 09|-"},
        {Fault::close(), false, "close"},
        {Fault::closeAfter(3), false, "0:06 01 65|close"},
        {Fault::closeAfter(0), false, "close"},
        {Fault::reset(), false, "reset"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(show(c.fault.apply(c.advanced ? advanced : standard,
                                     c.advanced ? Form::Advanced : Form::Standard)),
                  c.expected)
            << c.fault.describe();
}

TEST(KrnSimFault, FiltersByCommandAndConnection) {
    Fault any = Fault::badCrc();
    EXPECT_TRUE(any.matches(0x65, 3));
    Fault command = Fault::badCrc().onlyCommand(0x80);
    EXPECT_TRUE(command.matches(0x80, 3));
    EXPECT_FALSE(command.matches(0x65, 3));
    Fault both = Fault::badCrc().onlyCommand(0x80).onlyConnection(4);
    EXPECT_TRUE(both.matches(0x80, 4));
    EXPECT_FALSE(both.matches(0x80, 3));
}

TEST(KrnSimFault, RefusesBadArguments) {
    EXPECT_THROW(Fault::delay(Millis(-1)), std::invalid_argument);
    EXPECT_THROW(Fault::split({}, {}), std::invalid_argument);
    EXPECT_THROW(Fault::split({2}, {}), std::invalid_argument);
    EXPECT_THROW(Fault::split({0}, {Millis(1)}), std::invalid_argument);
    EXPECT_THROW(Fault::split({2}, {Millis(-1)}), std::invalid_argument);
    EXPECT_THROW(Fault::lengthDelta(0), std::invalid_argument);
    EXPECT_THROW(Fault::truncate(0), std::invalid_argument);
    EXPECT_THROW(Fault::surplus({}), std::invalid_argument);
    EXPECT_THROW(Fault::raw({}), std::invalid_argument);
    EXPECT_THROW(Fault::noise({}), std::invalid_argument);
}

} // namespace
} // namespace krnsim

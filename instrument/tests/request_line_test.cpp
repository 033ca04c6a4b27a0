#include "request_line.h"

#include <gtest/gtest.h>

#include <climits>
#include <clocale>
#include <cmath>
#include <limits>

namespace {

using zrb::formatReal;
using zrb::RequestLine;

TEST(RequestLine, IntegersBytesAndTheBlankBeforeCrLf) {
    EXPECT_EQ(RequestLine("Reset", "ToIdle").finish(), "ZRB:Reset:ToIdle \r\n");
    EXPECT_EQ(RequestLine("Rf", "FieldOn").integer(INT_MIN).finish(), "ZRB:Rf:FieldOn -2147483648\r\n");
    EXPECT_EQ(RequestLine("Gpio", "CfgOpenDrain").integer(3).byte(255).finish(),
              "ZRB:Gpio:CfgOpenDrain 3,255\r\n");
}

void expectReals() {
    struct Case {
        double value;
        const char* text;
    };
    const Case cases[] = {
        {-0.0, "-0.000000000000e+000"},
        {12.5, "1.250000000000e+001"},
        {-1e-9, "-1.000000000000e-009"},
        {1e100, "1.000000000000e+100"},
        {4.9e-324, "4.940656458412e-324"},
        {9.9999999999999, "1.000000000000e+001"},
        {0.001, "1.000000000000e-003"},
        {2500.0, "2.500000000000e+003"},
        {std::numeric_limits<double>::infinity(), "inf"},
        {-std::numeric_limits<double>::infinity(), "-inf"},
        {std::numeric_limits<double>::quiet_NaN(), "nan"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(formatReal(c.value), c.text);
    }
    EXPECT_EQ(RequestLine("Trigger", "Set").integer(1).integer(2).integer(3).real(12.5).finish(),
              "ZRB:Trigger:Set 1,2,3,1.250000000000e+001\r\n");
}

TEST(RequestLine, DoublesHaveTwelveDigitsAndAThreeDigitExponent) {
    expectReals();
}

TEST(RequestLine, DoublesIgnoreADecimalCommaLocale) {
    bool found = false;
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "de_DE"}) {
        if (std::setlocale(LC_ALL, name) != nullptr) {
            found = true;
            break;
        }
    }
    if (!found) GTEST_SKIP() << "no decimal-comma locale installed";
    expectReals();
    std::setlocale(LC_ALL, "C");
}

TEST(RequestLine, TextsGoBetweenQuotesUnchangedUnlessTheyBreakTheLine) {
    const RequestLine quoted = RequestLine("Rf", "LaunchSpy").text("say \"hi\", now").integer(1);
    EXPECT_TRUE(quoted.sendable());
    EXPECT_EQ(quoted.finish(), "ZRB:Rf:LaunchSpy \"say \"hi\", now\",1\r\n");
    EXPECT_FALSE(RequestLine("Gpio", "EnableDecoderProbing").text("a\nb").sendable());
    EXPECT_FALSE(RequestLine("Gpio", "EnableDecoderProbing").text("a\rb").sendable());
}

TEST(RequestLine, HexBitsCarryWholeBytesThenTheBitCount) {
    const std::uint8_t data[] = {0xAB, 0xC0, 0xFF};
    EXPECT_EQ(RequestLine("Rf", "ScheduleRequest").hexBits(data, 12).integer(0).finish(),
              "ZRB:Rf:ScheduleRequest \"ABC0\",12,0\r\n");
    EXPECT_EQ(RequestLine("Rf", "ScheduleRequest").hexBits(data, 0).integer(0).finish(),
              "ZRB:Rf:ScheduleRequest \"\",0,0\r\n");
    EXPECT_EQ(RequestLine("Gpio", "ScheduleBaseband").integer(2).hexBits(data, 17).integer(1).finish(),
              "ZRB:Gpio:ScheduleBaseband 2,\"ABC0FF\",17,1\r\n");
}

} // namespace

#include <zrbsim/request.h>

#include <gtest/gtest.h>

namespace {

using zrbsim::checkSignature;
using zrbsim::parseRequestLine;

TEST(RequestCheck, WellFormedLinesHaveNoViolation) {
    struct Case {
        const char* line;
        const char* command;
        std::size_t arguments;
    };
    const Case cases[] = {
        {"ZRB:Reset:ToIdle \r", "Reset:ToIdle", 0},
        {"ZRB:Rf:FieldOn 1\r", "Rf:FieldOn", 1},
        {"ZRB:Trigger:Set 1,-2,3,2.500000000000e+003\r", "Trigger:Set", 4},
        {"ZRB:Rf:SetRxTimeOut -1.000000000000e-009\r", "Rf:SetRxTimeOut", 1},
        {"ZRB:Rf:LaunchSpy \"a b, \"c\",1,2,3\r", "Rf:LaunchSpy", 4},
        {"ZRB:Rf:ScheduleRequest \"ABC0\",12,0\r", "Rf:ScheduleRequest", 3},
        {"ZRB:Gpio:EnableDecoderProbing \"\"\r", "Gpio:EnableDecoderProbing", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        const auto parsed = parseRequestLine(c.line);
        EXPECT_EQ(parsed.violation, "");
        ASSERT_TRUE(parsed.request);
        EXPECT_EQ(parsed.request->command(), c.command);
        EXPECT_EQ(parsed.request->arguments.size(), c.arguments);
    }
    const auto quoted = parseRequestLine("ZRB:Rf:LaunchSpy \"a b, \"c\",1,2,3\r");
    EXPECT_EQ(quoted.request->arguments[0].text, "a b, \"c");
    EXPECT_TRUE(quoted.request->arguments[0].quoted);
}

TEST(RequestCheck, MalformedLinesGetAViolation) {
    const char* cases[] = {
        "ZRB:Reset:ToIdle\r",                       // no blank
        "ZRB:Reset:ToIdle \n",                      // LF without CR (CR missing)
        "ZRX:Reset:ToIdle \r",                      // prefix
        "ZRB:Power:On \r",                          // group
        "ZRB:Rf: 1\r",                              // no name
        "ZRB:Rf:FieldOn  1\r",                      // blank outside quotes
        "ZRB:Rf:FieldOn 1,\r",                      // empty argument
        "ZRB:Rf:FieldOn 1,,2\r",                    // empty argument
        "ZRB:Rf:FieldOn abc\r",                     // neither integer nor double
        "ZRB:Rf:SetRxTimeOut 2.5e+003\r",           // short mantissa
        "ZRB:Rf:SetRxTimeOut 2.500000000000e+03\r", // two-digit exponent
        "ZRB:Rf:SetRxTimeOut inf\r",                // not a number form
        "ZRB:Rf:LaunchSpy \"open,1\r",              // unterminated quote
        "ZRB:Rf:LaunchSpy \"a\"x,1\r",              // text after a closing quote
        "ZRB:Rf:FieldOn 1 \r",                      // trailing blank
    };
    for (const char* line : cases) {
        SCOPED_TRACE(line);
        EXPECT_NE(parseRequestLine(line).violation, "");
    }
}

TEST(RequestCheck, SignaturesCheckCountAndKinds) {
    const auto parsed = parseRequestLine("ZRB:Rf:ScheduleRequest \"ABC0\",12,1.000000000000e+000\r");
    ASSERT_TRUE(parsed.request);
    EXPECT_EQ(checkSignature(*parsed.request, "hid"), "");
    EXPECT_EQ(checkSignature(*parsed.request, "qid"), "");
    EXPECT_NE(checkSignature(*parsed.request, "hii"), "");
    EXPECT_NE(checkSignature(*parsed.request, "hi"), "");
    EXPECT_NE(checkSignature(*parsed.request, "iid"), "");
    const auto notHex = parseRequestLine("ZRB:Rf:ScheduleRequest \"XY\",8,0\r");
    EXPECT_NE(checkSignature(*notHex.request, "hii"), "");
}

} // namespace

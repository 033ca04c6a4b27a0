#include <zrbsim/request.h>

#include <gtest/gtest.h>

#include <string>

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

TEST(RequestCheck, ByteElementTextAndHexKinds) {
    struct Case {
        const char* arguments;
        const char* signature;
        bool matches;
    };
    const Case cases[] = {
        {"0", "b", true},
        {"255", "b", true},
        {"256", "b", false},
        {"-1", "b", false},
        {"\"\"", "w", true},
        {"\"1;40;0;60\"", "w", true},
        {"\"4294967295;-3;0;0\"", "w", true},
        {"\"-1;40\"", "w", false},  // only a duration may be negative
        {"\"1;40;0\"", "w", false}, // an amplitude without its duration
        {"\"1;4a\"", "w", false},
        {"\"1;;0;5\"", "w", false},
        {"\"1;inf\"", "w", false},
        {"\"\",0", "hi", true},
        {"\"80\",1", "hi", true},
        {"\"8001\",9", "hi", true},
        {"\"80010203040506FF\",64", "hi", true},
        {"\"ab\",8", "hi", false},     // lower case
        {"\"ABCD\",8", "hi", false},   // too many digits for the bits
        {"\"AB\",9", "hi", false},     // too few
        {"\"AB\",8,1", "hii", true},   // the count is the next argument
        {"\"AB\"", "h", false},        // no count after it
        {"\"AB\",\"8\"", "hq", false}, // a quoted count
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.arguments) + " as " + c.signature);
        const auto parsed = parseRequestLine(std::string("ZRB:Gpio:Test ") + c.arguments + "\r");
        ASSERT_EQ(parsed.violation, "");
        EXPECT_EQ(checkSignature(*parsed.request, c.signature).empty(), c.matches);
    }
    // A bit count is the signed decimal of a 32-bit count.
    const auto huge = parseRequestLine("ZRB:Gpio:Test \"\",-8\r");
    EXPECT_NE(checkSignature(*huge.request, "hi"), "");
}

} // namespace

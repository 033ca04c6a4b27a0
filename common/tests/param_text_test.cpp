#include <vkcommon/param_text.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

namespace {

TEST(ParamText, UpperCasesKeysShorterThanTheBuffer) {
    char out[vk::kKeyBufferSize];
    ASSERT_TRUE(vk::upperCaseKey("UseNUBO", out));
    EXPECT_STREQ(out, "USENUBO");
    const std::string longest(127, 'k');
    ASSERT_TRUE(vk::upperCaseKey(longest.c_str(), out));
    EXPECT_EQ(std::string(out), std::string(127, 'K'));
    const std::string tooLong(128, 'k');
    EXPECT_FALSE(vk::upperCaseKey(tooLong.c_str(), out));
    EXPECT_STREQ(out, "");
}

TEST(ParamText, ReadsDecimalsWithSaturation) {
    constexpr auto kMax = std::numeric_limits<std::int64_t>::max();
    constexpr auto kMin = std::numeric_limits<std::int64_t>::min();
    struct Case {
        const char* text;
        std::int64_t value;
        bool digits;
    };
    const Case cases[] = {
        {"1000", 1000, true},
        {"  42x", 42, true},
        {"-5", -5, true},
        {"+7", 7, true},
        {"abc", 0, false},
        {"", 0, false},
        {"-", 0, false},
        {"9223372036854775807", kMax, true},
        {"99999999999999999999", kMax, true},
        {"-9223372036854775808", kMin, true},
        {"-99999999999999999999", kMin, true},
    };
    for (const auto& c : cases) {
        const auto parsed = vk::parseDecimal(c.text);
        EXPECT_EQ(parsed.value, c.value) << c.text;
        EXPECT_EQ(parsed.hasDigits, c.digits) << c.text;
    }
    EXPECT_EQ(vk::readSaturated(nullptr), 0);
}

} // namespace

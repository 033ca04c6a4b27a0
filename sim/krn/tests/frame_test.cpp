#include "hex.h"

#include <gtest/gtest.h>

#include <random>

namespace krnsim {
namespace {

using test::hex;

TEST(KrnSimCrc16, MatchesTheCatalogueCheckValue) {
    const std::string digits = "123456789";
    const ByteView view(reinterpret_cast<const std::uint8_t*>(digits.data()), digits.size());
    EXPECT_EQ(crc16(view), 0x6F91);
    EXPECT_EQ(crc16Bitwise(view), 0x6F91);
}

TEST(KrnSimCrc16, TableFormEqualsBitwiseFormOnRandomData) {
    std::mt19937 random(7);
    for (int round = 0; round < 200; ++round) {
        Bytes data(random() % 300);
        for (auto& byte : data)
            byte = static_cast<std::uint8_t>(random());
        ASSERT_EQ(crc16(data), crc16Bitwise(data)) << "length " << data.size();
    }
}

TEST(KrnSimFrames, BuildTheGoldenFrames) {
    const Bytes version = hex("01 02 03 4B 00 10 00 10 00");
    EXPECT_EQ(buildRequest(Form::Standard, 1, 0x65, {}), hex("05 01 65 FD 2D"));
    EXPECT_EQ(buildRequest(Form::Advanced, 1, 0x65, {}), hex("02 00 07 01 65 76 87"));
    EXPECT_EQ(buildReply(Form::Standard, 1, 0x65, 0, version),
              hex("0F 01 65 00 01 02 03 4B 00 10 00 10 00 19 33"));
    EXPECT_EQ(buildReply(Form::Advanced, 1, 0x65, 0, {}), hex("02 00 08 01 65 00 CF A4"));
    EXPECT_EQ(buildReply(Form::Standard, 1, 0x80, 0x81, {}), hex("06 01 80 81 2A 0B"));
}

TEST(KrnSimFrames, ChooseTheReplyFormAtTheStandardLimit) {
    struct Case {
        std::size_t data;
        Form request;
        bool force;
        Form expected;
    };
    const Case cases[] = {
        {0, Form::Standard, false, Form::Standard},   {249, Form::Standard, false, Form::Standard},
        {250, Form::Standard, false, Form::Advanced}, {0, Form::Advanced, false, Form::Advanced},
        {0, Form::Standard, true, Form::Advanced},    {65527, Form::Standard, false, Form::Advanced},
    };
    for (const Case& c : cases)
        EXPECT_EQ(replyForm(c.request, c.data, c.force), c.expected) << c.data;
}

TEST(KrnSimFrames, RefuseDataBeyondTheirForm) {
    struct Case {
        Form form;
        std::size_t data;
        bool reply;
        std::size_t length; // 0: refused
    };
    const Case cases[] = {
        {Form::Standard, 249, true, 255},      {Form::Standard, 250, true, 0},
        {Form::Standard, 250, false, 255},     {Form::Standard, 251, false, 0},
        {Form::Advanced, 65527, true, 65535},  {Form::Advanced, 65528, true, 0},
        {Form::Advanced, 65528, false, 65535}, {Form::Advanced, 65529, false, 0},
    };
    for (const Case& c : cases) {
        const Bytes data(c.data, 0x5A);
        auto build = [&] {
            return c.reply ? buildReply(c.form, 1, 0xB0, 0, data) : buildRequest(c.form, 1, 0xB0, data);
        };
        if (c.length == 0) {
            EXPECT_THROW(build(), std::invalid_argument) << c.data;
            continue;
        }
        const Bytes frame = build();
        EXPECT_EQ(frame.size(), c.length) << c.data;
        EXPECT_EQ(crc16(frame), 0) << c.data;
        if (c.form == Form::Advanced) {
            EXPECT_EQ(frame[0], 0x02);
            EXPECT_EQ(std::size_t{frame[1]} << 8 | frame[2], c.length);
        } else {
            EXPECT_EQ(frame[0], c.length);
        }
    }
}

} // namespace
} // namespace krnsim

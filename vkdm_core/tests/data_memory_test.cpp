// Data memory by parameter identifier, the configuration image by number, and
// the hex-text functions.
#include <vkdm/vkdm_core.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

class DataMemoryTest : public ::testing::Test {
  protected:
    VKDM_KRNReaderModule module;
};

TEST_F(DataMemoryTest, EveryFormRoundTrips) {
    ASSERT_EQ(module.SetData("03 10 00 00 01 00 00", static_cast<unsigned char>(0x95)), 0);
    unsigned char byte = 0;
    EXPECT_EQ(module.GetData("03 10 00 00 01 00 00", &byte), 0);
    EXPECT_EQ(byte, 0x95);

    ASSERT_EQ(module.SetData("03 10 08 00 01 00 00", true), 0);
    bool flag = false;
    EXPECT_EQ(module.GetData("03 10 08 00 01 00 00", &flag), 0);
    EXPECT_TRUE(flag);

    ASSERT_EQ(module.SetData("03 10 00 01 04 00 00", static_cast<unsigned int>(-4051)), 0);
    unsigned int word = 0;
    EXPECT_EQ(module.GetData("03 10 00 01 04 00 00", &word), 0);
    EXPECT_EQ(static_cast<int>(word), -4051);

    unsigned char uid[8] = {0xE0, 0x04, 1, 0, 0x12, 0x34, 0x56, 0x78};
    ASSERT_EQ(module.SetData("03 10 110 00 96 00 00", uid, 8), 0);
    unsigned char back[8] = {};
    EXPECT_EQ(module.GetData("03 10 110 00 96 00 00", back, 8), 0);
    EXPECT_EQ(std::memcmp(uid, back, 8), 0);

    ASSERT_EQ(module.SetData("03 10 50 00 16 00 00", std::string("reader A")), 0);
    std::string text;
    EXPECT_EQ(module.GetData("03 10 50 00 16 00 00", text), 0);
    EXPECT_EQ(text, "reader A");
}

TEST_F(DataMemoryTest, ScalarsAreBigEndianInTheirField) {
    // memSize-like: a 2-byte field written as 32 bits reads back when it fits.
    ASSERT_EQ(module.SetData("03 10 20 00 02 00 00", 256u), 0);
    unsigned char bytes[2] = {};
    EXPECT_EQ(module.GetData("03 10 20 00 02 00 00", bytes, 2), 0);
    EXPECT_EQ(bytes[0], 0x01);
    EXPECT_EQ(bytes[1], 0x00);
    unsigned int value = 0;
    EXPECT_EQ(module.GetData("03 10 20 00 02 00 00", &value), 0);
    EXPECT_EQ(value, 256u);
    // A number wider than the requested type is refused, the target untouched.
    unsigned char byte = 7;
    EXPECT_EQ(module.GetData("03 10 20 00 02 00 00", &byte), -103);
    EXPECT_EQ(byte, 7);
    // Low bytes only: 0x12345 in two bytes keeps 23 45.
    ASSERT_EQ(module.SetData("03 10 20 00 02 00 00", 0x12345u), 0);
    EXPECT_EQ(module.GetData("03 10 20 00 02 00 00", &value), 0);
    EXPECT_EQ(value, 0x2345u);
    // Bounds of the types.
    ASSERT_EQ(module.SetData("03 10 21 00 04 00 00", 0xFFFFFFFFu), 0);
    EXPECT_EQ(module.GetData("03 10 21 00 04 00 00", &value), 0);
    EXPECT_EQ(value, 0xFFFFFFFFu);
    ASSERT_EQ(module.SetData("03 10 22 00 01 00 00", static_cast<unsigned char>(0xFF)), 0);
    EXPECT_EQ(module.GetData("03 10 22 00 01 00 00", &byte), 0);
    EXPECT_EQ(byte, 0xFF);
    // A 6-byte field holding more than 32 bits does not fit an unsigned int.
    unsigned char six[6] = {1, 0, 0, 0, 0, 0};
    ASSERT_EQ(module.SetData("03 10 06 02 06 00 00", six, 6), 0);
    EXPECT_EQ(module.GetData("03 10 06 02 06 00 00", &value), -103);
}

TEST_F(DataMemoryTest, UnwrittenFieldsReadZeros) {
    unsigned char bytes[31];
    std::memset(bytes, 0xAA, sizeof bytes);
    EXPECT_EQ(module.GetData("03 10 07 01 31 00 00", bytes, 31), 0);
    for (unsigned char b : bytes)
        EXPECT_EQ(b, 0);
    std::string text = "x";
    EXPECT_EQ(module.GetData("03 10 07 01 31 00 00", text), 0);
    EXPECT_EQ(text, "");
}

TEST_F(DataMemoryTest, TooLongWritesNothing) {
    unsigned char two[2] = {1, 2};
    ASSERT_EQ(module.SetData("03 10 30 00 02 00 00", two, 2), 0);
    unsigned char three[3] = {9, 9, 9};
    EXPECT_EQ(module.SetData("03 10 30 00 02 00 00", three, 3), -102);
    EXPECT_EQ(module.SetData("03 10 30 00 02 00 00", std::string("abc")), -102);
    unsigned char back[2] = {};
    EXPECT_EQ(module.GetData("03 10 30 00 02 00 00", back, 2), 0);
    EXPECT_EQ(back[0], 1);
    EXPECT_EQ(back[1], 2);
    // A read longer than the field, or of nothing, is refused.
    unsigned char big[3];
    EXPECT_EQ(module.GetData("03 10 30 00 02 00 00", big, 3), -105);
    EXPECT_EQ(module.GetData("03 10 30 00 02 00 00", big, 0), -105);
}

TEST_F(DataMemoryTest, MalformedIdentifiersAreRefused) {
    const char* const bad[] = {
        "",                         // empty
        "03 10 00 00 01 00",        // six fields
        "03 10 00 00 01 00 00 00",  // eight fields
        "03 10 0A 00 01 00 00",     // a letter
        "03 10 00 00 00 00 00",     // count 0
        "03 10 00 00 65536 00 00",  // count above 65,535
        "03 10 00 00 123456 00 00", // six digits
        "03\t10 00 00 01 00 00",    // not a blank
        "03 10 00 00 -1 00 00",     // a sign
    };
    for (const char* id : bad) {
        SCOPED_TRACE(id);
        unsigned char byte = 0;
        EXPECT_EQ(module.SetData(id, static_cast<unsigned char>(1)), -101);
        EXPECT_EQ(module.GetData(id, &byte), -101);
        EXPECT_EQ(VKDM_GetByteCntOfID(id), -101);
    }
    EXPECT_EQ(module.SetData(static_cast<const char*>(nullptr), true), -121);
    EXPECT_EQ(VKDM_GetByteCntOfID("03 10 07 01 31 00 00"), 31);
    EXPECT_EQ(VKDM_GetByteCntOfID("03 10 00 00 65535 00 00"), 65535);
    unsigned char big[65535] = {};
    big[65534] = 0x5A;
    EXPECT_EQ(module.SetData("03 10 00 00 65535 00 00", big, 65535), 0);
}

TEST_F(DataMemoryTest, ConfigurationImageByNumber) {
    unsigned char block[3] = {0xC0, 0xA8, 0x0A};
    ASSERT_EQ(module.SetData("02 40 00 00 03 00 00", block, 3), 0);
    unsigned char back[3] = {};
    EXPECT_EQ(module.GetData(1, back, 40 * 14, 3), 0);
    EXPECT_EQ(std::memcmp(block, back, 3), 0);
    // The range must lie inside the image of 64 blocks of 14 bytes.
    EXPECT_EQ(module.GetData(1, back, 64 * 14 - 3, 3), 0);
    EXPECT_EQ(module.GetData(1, back, 64 * 14 - 2, 3), -104);
    EXPECT_EQ(module.GetData(1, back, -1, 1), -104);
    EXPECT_EQ(module.GetData(2, back, 0, 1), -106);
    // An image identifier outside the image is refused.
    EXPECT_EQ(module.SetData("02 63 13 00 02 00 00", back, 2), -104);
    EXPECT_EQ(module.SetData("02 64 00 00 01 00 00", back, 1), -104);
}

TEST(HexText, ConvertsAndCleans) {
    unsigned char out[40] = {};
    EXPECT_EQ(VKDM_ConvHexStrToHexUChar("00112233445566778899aabbccddeeff", out, 32), 16);
    EXPECT_EQ(out[10], 0xAA);
    EXPECT_EQ(VKDM_ConvHexStrToHexUChar("0G", out, 32), -101);
    EXPECT_EQ(VKDM_ConvHexStrToHexUChar("012", out, 32), -101);
    const std::string longKey(80, 'F');
    EXPECT_EQ(VKDM_ConvHexStrToHexUChar(longKey.c_str(), out, 40), 32); // at most 32 bytes
    EXPECT_EQ(out[32], 0);

    char text[16] = {};
    const unsigned char bytes[3] = {0x0A, 0xFF, 0x00};
    EXPECT_EQ(VKDM_ConvHexUCharToHexStr(bytes, 3, text), 6);
    EXPECT_STREQ(text, "0AFF00");

    char frame[] = "05 FF-65 zz\n12";
    EXPECT_EQ(VKDM_RemNoHexChar(frame), 8);
    EXPECT_STREQ(frame, "05FF6512");
}

} // namespace

// The hex-text conversions.
#include "utils.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

using namespace vemlasdknative;

TEST(Hex2Asc, WritesUpperCaseDigitsAndAZero) {
    const unsigned char bytes[] = {0x00, 0x9F, 0xA5, 0xFF};
    char text[16];
    std::memset(text, 'X', sizeof text);
    EXPECT_EQ(Hex2Asc(text, bytes, 4), 1);
    EXPECT_STREQ(text, "009FA5FF");
    EXPECT_EQ(Hex2Asc(text, bytes, 0), 1);
    EXPECT_STREQ(text, "");
    EXPECT_EQ(Hex2Asc(text, bytes, -3), 1);
    EXPECT_STREQ(text, "");
}

struct Asc2HexCase {
    const char* text;
    int chars;
    int result;
    std::vector<unsigned char> bytes; // then a zero byte
};

TEST(Asc2Hex, PairsOfHexDigits) {
    const Asc2HexCase cases[] = {
        {"0A1b", 4, 1, {0x0A, 0x1B}},
        {"aBcDeF", 6, 1, {0xAB, 0xCD, 0xEF}},
        {"123", 3, 1, {0x12}}, // an odd last digit is dropped
        {"1", 1, 1, {}},
        {"", 0, 1, {}},
        {"12", -2, 1, {}},
        {"12G4", 4, 0, {0x12}}, // stops at the bad pair
        {"+1", 2, 0, {}},
        {" 1", 2, 0, {}},
        {"0x12", 4, 0, {}},
        {"1-", 2, 0, {}},
        {"8700 : text", 11, 0, {0x87, 0x00}}, // an error text: its code survives
    };
    for (const Asc2HexCase& c : cases) {
        unsigned char out[16];
        std::memset(out, 0xEE, sizeof out);
        EXPECT_EQ(Asc2Hex(out, c.text, c.chars), c.result) << c.text;
        for (std::size_t i = 0; i < c.bytes.size(); ++i)
            EXPECT_EQ(out[i], c.bytes[i]) << c.text << " " << i;
        EXPECT_EQ(out[c.bytes.size()], 0) << c.text;
        EXPECT_EQ(out[c.bytes.size() + 1], 0xEE) << c.text;
    }
}

TEST(Asc2HexWithCursor, StartsAtAOneBasedPair) {
    unsigned char out[8] = {};
    EXPECT_EQ(Asc2HexWithCursor(out, "00112233", 4, 2), 1);
    EXPECT_EQ(out[0], 0x11);
    EXPECT_EQ(out[1], 0x22);
    EXPECT_EQ(out[2], 0);
    EXPECT_EQ(Asc2HexWithCursor(out, "00112233", 2, 1), 1);
    EXPECT_EQ(out[0], 0x00);
    EXPECT_EQ(Asc2HexWithCursor(out, "00112233", 2, 0), 0);
}

TEST(Hex2HexWithCursor, CopiesToTheOffset) {
    unsigned char out[6] = {9, 9, 9, 9, 9, 9};
    const unsigned char src[] = {1, 2, 3};
    EXPECT_EQ(Hex2HexWithCursor(out, src, 3, 2), 1);
    EXPECT_EQ(std::memcmp(out, "\x09\x09\x01\x02\x03\x09", 6), 0);
    EXPECT_EQ(Hex2HexWithCursor(out, src, 0, 6), 1);
    EXPECT_EQ(Hex2HexWithCursor(out, src, -1, 0), 0);
    EXPECT_EQ(Hex2HexWithCursor(out, src, 1, -1), 0);
}

TEST(ComputeXor, XorOfAllBytes) {
    const unsigned char uid[] = {0x88, 0x04, 0x5A, 0x3B};
    EXPECT_EQ(ComputeXor(uid, 4), 0x88 ^ 0x04 ^ 0x5A ^ 0x3B);
    EXPECT_EQ(ComputeXor(uid, 1), 0x88);
    EXPECT_EQ(ComputeXor(uid, 0), 0);
    EXPECT_EQ(ComputeXor(uid, -5), 0);
}

} // namespace

#include "report.h"

#include <gtest/gtest.h>

namespace vkexample {
namespace {

std::vector<std::uint8_t> bytes(std::initializer_list<int> values) {
    std::vector<std::uint8_t> out;
    for (const int v : values)
        out.push_back(static_cast<std::uint8_t>(v));
    return out;
}

TEST(ExampleReport, HexDumpRows) {
    EXPECT_EQ(hexDump({}, "  "), "  (no data)\n");
    std::vector<std::uint8_t> data;
    for (int i = 0; i < 18; ++i)
        data.push_back(static_cast<std::uint8_t>(0x3E + i));
    data[1] = 0x00;
    EXPECT_EQ(hexDump(data, "  "),
              "  0000  3E 00 40 41 42 43 44 45 46 47 48 49 4A 4B 4C 4D  |>.@ABCDEFGHIJKLM|\n"
              "  0010  4E 4F                                            |NO|\n");
}

TEST(ExampleReport, ReaderInfoAndVersion) {
    const auto info = bytes({0x01, 0x02, 0x03, 0x4B, 0x50, 0x00, 0x03, 0x10, 0x00, 0x08, 0x00, 0x00, 0x01});
    const auto lines = describeReaderInfo(info);
    ASSERT_EQ(lines.size(), 8u);
    EXPECT_EQ(lines[0], "RF controller software: 01.02");
    EXPECT_EQ(lines[3], "reader type: 80");
    EXPECT_EQ(lines[5], "receive buffer: 4096 bytes");
    EXPECT_EQ(lines[6], "transmit buffer: 2048 bytes");
    EXPECT_EQ(lines[7], "UHF transponder types: 00 01");
    EXPECT_EQ(describeReaderInfo(std::span(info).first(11)).size(), 7u);
    EXPECT_TRUE(describeReaderInfo(std::span(info).first(10)).empty());
    EXPECT_EQ(describeSoftwareVersion(info), "01.02.03");
    EXPECT_EQ(describeSoftwareVersion(std::span(info).first(2)), "");
}

TEST(ExampleReport, BytesFromHexText) {
    EXPECT_EQ(bytesFromHexText("0102AB"), (std::vector<std::uint8_t>{0x01, 0x02, 0xAB}));
    EXPECT_EQ(bytesFromHexText(""), std::vector<std::uint8_t>{});
    EXPECT_EQ(bytesFromHexText("01A"), std::vector<std::uint8_t>{0x01}) << "a lone digit is dropped";
    EXPECT_EQ(bytesFromHexText("01G0"), std::vector<std::uint8_t>{0x01});
}

TEST(ExampleReport, InventoryOnlyWhenItFitsTheLayout) {
    struct Case {
        std::vector<std::uint8_t> data;
        int count; // -1: not decoded
    };
    const auto one = bytes({1, 0x03, 0xE0, 0x04, 0x01, 0x00, 0x12, 0x34, 0x56, 0x78});
    auto two = one;
    two[0] = 2;
    two.insert(two.end(), one.begin() + 1, one.end());
    const Case cases[] = {
        {{}, -1},
        {bytes({0}), 0},
        {one, 1},
        {two, 2},
        {std::vector<std::uint8_t>(one.begin(), one.end() - 1), -1},
        {bytes({0, 0}), -1},
        {bytes({2, 0x03, 0xE0, 0x04, 0x01, 0x00, 0x12, 0x34, 0x56, 0x78}), -1},
    };
    for (const Case& c : cases) {
        const auto decoded = decodeInventory(c.data);
        EXPECT_EQ(decoded ? static_cast<int>(decoded->size()) : -1, c.count) << c.data.size();
    }
    const auto decoded = decodeInventory(one);
    ASSERT_TRUE(decoded);
    EXPECT_EQ((*decoded)[0].type, 0x03);
    EXPECT_EQ(uidText((*decoded)[0]), "E0 04 01 00 12 34 56 78");
}

} // namespace
} // namespace vkexample

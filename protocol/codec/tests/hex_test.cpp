#include "vkkrn_codec/hex.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

namespace vkkrn::codec {
namespace {

std::span<const std::uint8_t> text(std::string_view s) {
    return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

struct DecodeCase {
    const char* text;
    std::vector<std::uint8_t> bytes; // empty with `ok` false: refused
    bool ok;
};

using Decoder = std::optional<std::size_t> (*)(std::span<const std::uint8_t>,
                                               std::span<std::uint8_t>) noexcept;

void expectDecodes(Decoder decode, std::span<const DecodeCase> cases) {
    for (const auto& c : cases) {
        std::vector<std::uint8_t> out(8, 0xEE);
        const auto n = decode(text(c.text), out);
        EXPECT_EQ(n.has_value(), c.ok) << c.text;
        if (n) {
            ASSERT_EQ(*n, c.bytes.size());
            EXPECT_TRUE(std::equal(c.bytes.begin(), c.bytes.end(), out.begin())) << c.text;
        }
    }
}

TEST(Hex, DecodeAcceptsOnlyPairsOfHexDigits) {
    const DecodeCase cases[] = {
        {"", {}, true},
        {"0A0B", {0x0A, 0x0B}, true},
        {"ff00aB", {0xFF, 0x00, 0xAB}, true},
        {"0A0", {}, false},
        {"0G", {}, false},
        {" A", {}, false},
        {"+A", {}, false},
        {"A ", {}, false},
        {"0x", {}, false},
    };
    expectDecodes(&decodeHex, cases);
}

TEST(Hex, DecodeRefusesANulInsidePairs) {
    const char raw[] = {'0', 'A', '\0', 'B'};
    std::vector<std::uint8_t> out(2);
    EXPECT_FALSE(decodeHex(text({raw, 4}), out));
}

TEST(Hex, DecodeNeedsRoomAndMayWorkInPlace) {
    std::vector<std::uint8_t> small(1);
    EXPECT_FALSE(decodeHex(text("0A0B"), small));
    std::string s = "C0FFEE";
    std::span<std::uint8_t> buffer(reinterpret_cast<std::uint8_t*>(s.data()), s.size());
    ASSERT_EQ(decodeHex(buffer, buffer), 3u);
    EXPECT_EQ(buffer[0], 0xC0);
    EXPECT_EQ(buffer[2], 0xEE);
}

TEST(Hex, RequestTextTakesAnOddLastDigitAlone) {
    const DecodeCase cases[] = {
        {"", {}, true},     {"0a1B", {0x0A, 0x1B}, true}, {"123", {0x12, 0x03}, true}, {"F", {0x0F}, true},
        {"12G", {}, false}, {"1G3", {}, false},           {"12 ", {}, false},
    };
    expectDecodes(&decodeHexRequest, cases);
    std::vector<std::uint8_t> small(1);
    EXPECT_FALSE(decodeHexRequest(text("123"), small)) << "needs room for the single digit";
    std::string inPlace = "ABC";
    auto buffer = std::span<std::uint8_t>(reinterpret_cast<std::uint8_t*>(inPlace.data()), inPlace.size());
    ASSERT_EQ(decodeHexRequest(buffer, buffer), 2u);
    EXPECT_EQ(buffer[0], 0xAB);
    EXPECT_EQ(buffer[1], 0x0C);
}

TEST(Hex, EncodeWritesUpperCasePairsAndNul) {
    const std::uint8_t bytes[] = {0x00, 0x0A, 0xFF, 0x5c};
    char out[9];
    ASSERT_EQ(encodeHex(bytes, std::span<char>(out)), 8u);
    EXPECT_STREQ(out, "000AFF5C");
    char tight[8] = {'x', 'x', 'x', 'x', 'x', 'x', 'x', 'x'};
    EXPECT_FALSE(encodeHex(bytes, std::span<char>(tight)));
    EXPECT_EQ(tight[0], 'x');
}

TEST(Hex, EncodeInPlaceFromTheStartOfTheBuffer) {
    std::uint8_t buffer[7] = {0xDE, 0xAD, 0xBE};
    ASSERT_EQ(encodeHex(std::span<const std::uint8_t>(buffer, 3), std::span<std::uint8_t>(buffer)), 6u);
    EXPECT_STREQ(reinterpret_cast<const char*>(buffer), "DEADBE");
}

} // namespace
} // namespace vkkrn::codec

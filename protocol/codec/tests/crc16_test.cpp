#include "frame_oracle.h"
#include "vkkrn_codec/crc16.h"

#include <boost/crc.hpp>
#include <gtest/gtest.h>

#include <random>
#include <string_view>
#include <vector>

namespace vkkrn::codec {
namespace {

using testing::referenceCrc;

std::span<const std::uint8_t> ascii(std::string_view text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

std::uint16_t boostCrc(const std::uint8_t* data, std::size_t n) {
    boost::crc_optimal<16, 0x1021, 0xFFFF, 0, true, true> crc;
    crc.process_bytes(data, n);
    return crc.checksum();
}

TEST(Crc16, CheckValueOfTheNineDigits) {
    EXPECT_EQ(crc16(ascii("123456789")), 0x6F91);
    EXPECT_EQ(crc16Bitwise(ascii("123456789"), kCrcPolynomial, kCrcPreset), 0x6F91);
}

TEST(Crc16, EmptyInputGivesThePreset) {
    EXPECT_EQ(crc16({}), 0xFFFF);
    EXPECT_EQ(crc16({}, 0x1234), 0x1234);
    EXPECT_EQ(crc16Bitwise({}, kCrcPolynomial, 0xBEEF), 0xBEEF);
}

TEST(Crc16, TableAndBitwiseEqualBoostOnRandomDataAtEveryOffset) {
    std::mt19937 random(20240607);
    std::vector<std::uint8_t> buffer(65535 + 16);
    for (auto& b : buffer)
        b = static_cast<std::uint8_t>(random());
    std::vector<std::size_t> lengths;
    for (std::size_t n = 0; n <= 300; ++n)
        lengths.push_back(n);
    lengths.push_back(65535);
    for (std::size_t offset = 0; offset < 8; ++offset) {
        for (const std::size_t n : lengths) {
            const std::uint8_t* p = buffer.data() + offset;
            const std::uint16_t expected = boostCrc(p, n);
            ASSERT_EQ(crc16({p, n}), expected) << "offset " << offset << " length " << n;
            if (n <= 300 || offset == 0) {
                ASSERT_EQ(crc16Bitwise({p, n}, kCrcPolynomial, kCrcPreset), expected)
                    << "offset " << offset << " length " << n;
            }
        }
    }
}

TEST(Crc16, ContinuesFromAnyPreset) {
    const auto data = testing::pattern(100);
    const std::uint16_t head = crc16({data.data(), 37});
    EXPECT_EQ(crc16({data.data() + 37, 63}, head), crc16(data));
}

TEST(Crc16, GenericFormMatchesOtherReflectedCatalogueCrcs) {
    struct Case {
        const char* name;
        std::uint16_t polynomial; // reflected
        std::uint16_t preset;     // register preset (reflected init)
        std::uint16_t check;
    };
    const Case cases[] = {
        {"MCRF4XX", 0x8408, 0xFFFF, 0x6F91},  {"KERMIT", 0x8408, 0x0000, 0x2189},
        {"ARC", 0xA001, 0x0000, 0xBB3D},      {"MODBUS", 0xA001, 0xFFFF, 0x4B37},
        {"TMS37157", 0x8408, 0x3791, 0x26B1}, {"RIELLO", 0x8408, 0x554D, 0x63D0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(crc16Bitwise(ascii("123456789"), c.polynomial, c.preset), c.check) << c.name;
}

TEST(Crc16, FrameWithItsCrcLowByteFirstLeavesResidueZero) {
    for (std::size_t n : {0u, 1u, 7u, 8u, 9u, 250u, 4099u}) {
        const auto frame = testing::closed(testing::pattern(n, static_cast<std::uint8_t>(n)));
        EXPECT_EQ(crc16(frame), 0) << n;
        EXPECT_EQ(referenceCrc(frame.data(), frame.size()), 0) << n;
    }
}

TEST(Crc16, SwapExchangesTheBytes) {
    EXPECT_EQ(swapBytes(0x6F91), 0x916F);
    EXPECT_EQ(swapBytes(0x00FF), 0xFF00);
}

} // namespace
} // namespace vkkrn::codec

#include "iso15693_pcd.h"
#include "rf_crc.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

namespace {

using vemlasdknative::byte_t;

struct CrcCase {
    bool typeB;
    std::vector<byte_t> data;
    std::array<byte_t, 2> crc; // low byte first
};

TEST(RfCrc, KnownValues) {
    const CrcCase cases[] = {
        {false, {0x00, 0x00}, {0xA0, 0x1E}},
        {true, {0x00, 0x00, 0x00}, {0xCC, 0xC6}},
        {false, {}, {0x63, 0x63}},
        {true, {}, {0x00, 0x00}},
        {false, {'1', '2', '3', '4', '5', '6', '7', '8', '9'}, {0x05, 0xBF}},
        {true, {'1', '2', '3', '4', '5', '6', '7', '8', '9'}, {0x6E, 0x90}},
        {false, {0x50, 0x00}, {0x57, 0xCD}},
    };
    for (const CrcCase& c : cases) {
        const int n = static_cast<int>(c.data.size());
        std::array<byte_t, 2> out{};
        vemlasdknative::ComputeCrc(c.typeB, c.data.data(), n, out.data());
        EXPECT_EQ(out, c.crc) << c.typeB << " " << n;
        const std::uint16_t value = c.crc[0] | (c.crc[1] << 8);
        EXPECT_EQ(c.typeB ? vemlasdknative::Compute_CRC_ISO14443_B(c.data.data(), n)
                          : vemlasdknative::Compute_CRC_ISO14443_A(c.data.data(), n),
                  value);

        std::vector<byte_t> framed = c.data;
        framed.insert(framed.end(), c.crc.begin(), c.crc.end());
        EXPECT_EQ(vemlasdknative::CheckCrc(c.typeB, framed.data(), n + 2), 0);
        framed.back() ^= 0x01;
        EXPECT_EQ(vemlasdknative::CheckCrc(c.typeB, framed.data(), n + 2), 1);
    }
}

TEST(RfCrc, CheckNeedsTwoBytes) {
    const byte_t crcOfNothing[] = {0x63, 0x63};
    EXPECT_EQ(vemlasdknative::CheckCrc(false, crcOfNothing, 2), 0);
    EXPECT_EQ(vemlasdknative::CheckCrc(false, crcOfNothing, 1), 1);
    EXPECT_EQ(vemlasdknative::CheckCrc(false, crcOfNothing, 0), 1);
    EXPECT_EQ(vemlasdknative::CheckCrc(true, nullptr, 2), 1);
}

struct ResidueCase {
    std::vector<byte_t> frame; // data and CRC
    int expected;
};

TEST(Iso15693Crc, ResidueOfAFrameWithItsCrc) {
    using vemlasdknative::Iso15693Commands;
    const ResidueCase cases[] = {
        {{'1', '2', '3', '4', '5', '6', '7', '8', '9', 0x6E, 0x90}, Iso15693Commands::kSuccessCode},
        {{'1', '2', '3', '4', '5', '6', '7', '8', '9', 0x6E, 0x91}, Iso15693Commands::kDefaultError},
        {{'1', '2', '3', '4', '5', '6', '7', '8', '9', 0x90, 0x6E}, Iso15693Commands::kDefaultError},
        // An inventory answer {flags, DSFID, UID} with its CRC.
        {{0x00, 0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0xE0, 0x99, 0xE6},
         Iso15693Commands::kSuccessCode},
        {{0x00, 0x00}, Iso15693Commands::kSuccessCode}, // no data: the CRC of nothing
        {{0x00, 0x01}, Iso15693Commands::kDefaultError},
        {{0xFF}, Iso15693Commands::kDefaultError},
        {{}, Iso15693Commands::kDefaultError},
    };
    const Iso15693Commands commands;
    for (const ResidueCase& c : cases) {
        EXPECT_EQ(commands.Iso15693IsCorrectCRC16Residue(c.frame.data(), static_cast<int>(c.frame.size())),
                  c.expected)
            << c.frame.size();
        // The same CRC as CRC_B.
        if (c.expected == 0) {
            EXPECT_EQ(vemlasdknative::CheckCrc(true, c.frame.data(), static_cast<int>(c.frame.size())), 0);
        }
    }
    const byte_t one[] = {0x6E};
    EXPECT_EQ(commands.Iso15693IsCorrectCRC16Residue(nullptr, 2), Iso15693Commands::kDefaultError);
    EXPECT_EQ(commands.Iso15693IsCorrectCRC16Residue(one, 0), Iso15693Commands::kDefaultError);
    EXPECT_EQ(commands.Iso15693IsCorrectCRC16Residue(one, -1), Iso15693Commands::kDefaultError);
    EXPECT_EQ(Iso15693Commands::kResidueCrc16, 0xF0B8);
}

} // namespace

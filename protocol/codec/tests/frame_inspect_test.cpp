#include "frame_oracle.h"
#include "vkkrn_codec/frame.h"

#include <gtest/gtest.h>

namespace vkkrn::codec {
namespace {

using testing::Bytes;

TEST(FrameInspect, StatedLength) {
    EXPECT_EQ(statedLength(Bytes{0x05, 1, 2, 3, 4}, 5), 5u);
    EXPECT_EQ(statedLength(Bytes{0x05, 1, 2, 3, 4}, 6), 0u);
    EXPECT_EQ(statedLength(Bytes{0x02, 0x01, 0x2D}, 6), 301u);
    EXPECT_EQ(statedLength(Bytes{0x02, 0x01}, 6), 0u);
    EXPECT_EQ(statedLength(Bytes{}, 5), 0u);
    EXPECT_EQ(statedLength(Bytes{0xFF}, 5), 255u);
}

TEST(FrameInspect, KeyBytesOfBothForms) {
    struct Case {
        std::uint8_t cmd;
        Bytes data;
        std::size_t skip; // data bytes shown before the key
        bool masked;
    };
    const Case cases[] = {
        {0xA2, {1, 2, 3, 4, 5, 6}, 0, true},
        {0xA3, {1, 2, 3, 4}, 1, true},
        {0xAD, {9, 9, 9}, 0, true},
        {0xB2, {0xB0, 0x01, 7, 7, 7}, 2, true},
        {0xB2, {0xB2, 0x01, 7, 7}, 2, true},
        {0xB2, {0xB1, 0x01, 7, 7}, 0, false},
        {0xB0, {1, 2, 3}, 0, false},
        {0xA2, {}, 0, false},
        {0xA3, {1}, 0, false},
    };
    for (const auto& c : cases) {
        for (const bool advanced : {false, true}) {
            const Bytes frame = advanced ? testing::advancedRequest(1, c.cmd, c.data)
                                         : testing::standardRequest(1, c.cmd, c.data);
            const ByteRange range = keyBytes(frame);
            const std::size_t dataStart = advanced ? 5 : 3;
            if (!c.masked) {
                EXPECT_TRUE(range.empty()) << std::hex << int(c.cmd);
                continue;
            }
            EXPECT_EQ(range.begin, dataStart + c.skip) << std::hex << int(c.cmd);
            EXPECT_EQ(range.end, frame.size() - 2) << "CRC never masked";
        }
    }
}

TEST(FrameInspect, KeyBytesOfA200ByteStandardFrame) {
    const Bytes frame = testing::standardRequest(1, 0xA2, testing::pattern(195));
    ASSERT_EQ(frame.size(), 200u);
    const ByteRange range = keyBytes(frame);
    EXPECT_EQ(range.begin, 3u);
    EXPECT_EQ(range.end, 198u);
}

} // namespace
} // namespace vkkrn::codec

#include "frame_oracle.h"
#include "vkkrn_codec/crc16.h"
#include "vkkrn_codec/frame.h"

#include <gtest/gtest.h>

#include <vector>

namespace vkkrn::codec {
namespace {

using testing::Bytes;
using testing::pattern;

struct BuildCase {
    FrameKind kind;
    FrameMode mode;
    std::size_t n;
    int length;        // result
    Bytes lengthField; // leading bytes, empty when refused
};

const BuildCase kBuildCases[] = {
    {FrameKind::Request, FrameMode::Standard, 0, 5, {0x05}},
    {FrameKind::Request, FrameMode::Standard, 250, 255, {0xFF}},
    {FrameKind::Request, FrameMode::Standard, 251, 258, {0x02, 0x01, 0x02}},
    {FrameKind::Request, FrameMode::Advanced, 0, 7, {0x02, 0x00, 0x07}},
    {FrameKind::Request, FrameMode::Advanced, 250, 257, {0x02, 0x01, 0x01}},
    {FrameKind::Request, FrameMode::Standard, 65528, 0xFFFF, {0x02, 0xFF, 0xFF}},
    {FrameKind::Request, FrameMode::Standard, 65529, kOutOfRange, {}},
    {FrameKind::Request, FrameMode::Advanced, 65529, kOutOfRange, {}},
    {FrameKind::Reply, FrameMode::Standard, 0, 6, {0x06}},
    {FrameKind::Reply, FrameMode::Standard, 249, 255, {0xFF}},
    {FrameKind::Reply, FrameMode::Standard, 250, 258, {0x02, 0x01, 0x02}},
    {FrameKind::Reply, FrameMode::Advanced, 0, 8, {0x02, 0x00, 0x08}},
    {FrameKind::Reply, FrameMode::Standard, 65527, 0xFFFF, {0x02, 0xFF, 0xFF}},
    {FrameKind::Reply, FrameMode::Standard, 65528, kOutOfRange, {}},
};

int build(const BuildCase& c, const Bytes& data, std::vector<std::uint8_t>& out) {
    if (c.kind == FrameKind::Request) return buildRequest(c.mode, 0x12, 0x34, data, out);
    return buildReply(c.mode, 0x12, 0x34, 0x56, data, out);
}

TEST(FrameBuild, FormLengthAndLayoutFollowTheChoiceRule) {
    for (const auto& c : kBuildCases) {
        SCOPED_TRACE(::testing::Message() << (c.kind == FrameKind::Request ? "request" : "reply") << " mode "
                                          << static_cast<int>(c.mode) << " n " << c.n);
        const Bytes data = pattern(c.n);
        std::vector<std::uint8_t> out(65540, 0xEE);
        const int result = build(c, data, out);
        ASSERT_EQ(result, c.length);
        if (result < 0) {
            EXPECT_EQ(out[0], 0xEE) << "nothing written";
            continue;
        }
        const std::size_t length = static_cast<std::size_t>(result);
        // Independent expectation: the frame written out by hand.
        const bool advanced = c.lengthField.size() == 3;
        Bytes expected;
        if (c.kind == FrameKind::Request)
            expected = advanced ? testing::advancedRequest(0x12, 0x34, data)
                                : testing::standardRequest(0x12, 0x34, data);
        else
            expected = advanced ? testing::advancedReply(0x12, 0x34, 0x56, data)
                                : testing::standardReply(0x12, 0x34, 0x56, data);
        ASSERT_EQ(expected.size(), length);
        EXPECT_TRUE(std::equal(c.lengthField.begin(), c.lengthField.end(), out.begin()));
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), out.begin()));
        EXPECT_EQ(crc16({out.data(), length}), 0) << "residue";
        EXPECT_EQ(out[length], 0) << "uncounted zero after the frame";
        EXPECT_EQ(out[length + 1], 0xEE) << "nothing beyond the zero";
    }
}

TEST(FrameBuild, OutputMustHoldTheFrameAndItsZero) {
    const Bytes data = pattern(10);
    std::vector<std::uint8_t> out(16, 0xEE); // frame is 15 bytes, zero makes 16
    EXPECT_EQ(buildRequest(FrameMode::Standard, 1, 2, data, out), 15);
    std::vector<std::uint8_t> tight(15, 0xEE);
    EXPECT_EQ(buildRequest(FrameMode::Standard, 1, 2, data, tight), kOutOfRange);
    EXPECT_EQ(tight[0], 0xEE);
    EXPECT_EQ(buildReply(FrameMode::Standard, 1, 2, 0, data, std::span(tight).first(16 - 1)), kOutOfRange);
}

TEST(FrameBuild, ChooseFormBoundaries) {
    EXPECT_EQ(chooseForm(FrameKind::Request, FrameMode::Standard, 250), FrameForm::Standard);
    EXPECT_EQ(chooseForm(FrameKind::Reply, FrameMode::Standard, 250), FrameForm::Advanced);
    EXPECT_EQ(chooseForm(FrameKind::Reply, FrameMode::Advanced, 0), FrameForm::Advanced);
    EXPECT_EQ(chooseForm(FrameKind::Reply, FrameMode::Standard, 65528), std::nullopt);
}

} // namespace
} // namespace vkkrn::codec

#include "frame_oracle.h"
#include "vkkrn_codec/frame.h"

#include <gtest/gtest.h>

#include <vector>

namespace vkkrn::codec {
namespace {

using testing::Bytes;
using testing::pattern;

// Runs a conversion on an exact copy of `in` into a fresh buffer; returns the
// result and the written frame.
template <typename Convert> std::pair<int, Bytes> run(Convert convert, const Bytes& in) {
    const Bytes input = in;
    Bytes out(in.size() + 2, 0xEE);
    const int result = convert(std::span<const std::uint8_t>(input), std::span<std::uint8_t>(out));
    if (result >= 0) out.resize(static_cast<std::size_t>(result));
    return {result, out};
}

TEST(FrameConvert, StandardFramesStayAsTheyAreForStandard) {
    for (const Bytes& frame :
         {testing::standardRequest(1, 0x65, {}), testing::standardReply(1, 0x65, 0, pattern(249)),
          testing::standardRequest(1, 0x65, pattern(250))}) {
        const auto [result, out] = run(convertToStandard, frame);
        EXPECT_EQ(result, static_cast<int>(frame.size()));
        EXPECT_EQ(out, frame);
    }
}

TEST(FrameConvert, AdvancedFramesStayAsTheyAreForAdvanced) {
    for (const Bytes& frame :
         {testing::advancedRequest(1, 0x65, {}), testing::advancedReply(1, 0x65, 0, pattern(65527))}) {
        const auto [result, out] = run(convertToAdvanced, frame);
        EXPECT_EQ(result, static_cast<int>(frame.size()));
        EXPECT_EQ(out, frame);
    }
}

TEST(FrameConvert, EachFormConvertsToTheOtherAndBack) {
    struct Case {
        Bytes standard;
        Bytes advanced;
    };
    const Case cases[] = {
        {testing::standardRequest(1, 0x65, {}), testing::advancedRequest(1, 0x65, {})},
        {testing::standardRequest(9, 0xB0, pattern(100)), testing::advancedRequest(9, 0xB0, pattern(100))},
        {testing::standardReply(9, 0xB0, 0x84, pattern(100)),
         testing::advancedReply(9, 0xB0, 0x84, pattern(100))},
        {testing::standardRequest(9, 0xB0, pattern(248)), testing::advancedRequest(9, 0xB0, pattern(248))},
    };
    for (const auto& c : cases) {
        const auto [advResult, advanced] = run(convertToAdvanced, c.standard);
        ASSERT_EQ(advResult, static_cast<int>(c.advanced.size())) << c.standard.size();
        EXPECT_EQ(advanced, c.advanced);
        const auto [stdResult, standard] = run(convertToStandard, advanced);
        ASSERT_EQ(stdResult, static_cast<int>(c.standard.size()));
        EXPECT_EQ(standard, c.standard);
    }
}

TEST(FrameConvert, LongestStandardFramesTakeASixteenBitAdvancedLength) {
    // LEN 254 and 255 become 256 and 257. Their advanced form is longer than 255
    // bytes, which the conversion to standard does not take back.
    const std::pair<Bytes, Bytes> cases[] = {
        {testing::standardRequest(9, 0xB0, pattern(249)), testing::advancedRequest(9, 0xB0, pattern(249))},
        {testing::standardRequest(9, 0xB0, pattern(250)), testing::advancedRequest(9, 0xB0, pattern(250))},
        {testing::standardReply(9, 0xB0, 0, pattern(249)), testing::advancedReply(9, 0xB0, 0, pattern(249))},
    };
    for (const auto& [standard, expected] : cases) {
        const auto [result, advanced] = run(convertToAdvanced, standard);
        ASSERT_EQ(result, static_cast<int>(standard.size() + 2));
        EXPECT_EQ(advanced[1], 0x01);
        EXPECT_EQ(advanced, expected);
        EXPECT_EQ(run(convertToStandard, advanced).first, kOutOfRange);
    }
}

TEST(FrameConvert, ConversionInPlace) {
    Bytes frame = testing::standardRequest(2, 3, pattern(20));
    const Bytes original = frame;
    frame.resize(frame.size() + 2);
    const int advanced =
        convertToAdvanced(std::span<const std::uint8_t>(frame).first(original.size()), frame);
    ASSERT_EQ(advanced, static_cast<int>(original.size() + 2));
    EXPECT_EQ(frame, testing::advancedRequest(2, 3, pattern(20)));
    const int standard = convertToStandard(frame, frame);
    ASSERT_EQ(standard, static_cast<int>(original.size()));
    frame.resize(original.size());
    EXPECT_EQ(frame, original);
}

struct FaultCase {
    const char* what;
    Bytes frame;
    int toStandard;
    int toAdvanced;
};

TEST(FrameConvert, FaultsAreRefusedAndWriteNothing) {
    const Bytes standard = testing::standardRequest(1, 2, pattern(10));
    const Bytes advanced = testing::advancedRequest(1, 2, pattern(10));
    Bytes badStandardCrc = standard;
    badStandardCrc.back() ^= 1;
    Bytes badAdvancedCrc = advanced;
    badAdvancedCrc.back() ^= 1;
    Bytes standardTruncated(standard.begin(), standard.end() - 1);
    Bytes advancedTruncated(advanced.begin(), advanced.end() - 1);
    const Bytes bigAdvanced = testing::advancedRequest(1, 2, pattern(300));
    const FaultCase cases[] = {
        {"empty", {}, kOutOfRange, kOutOfRange},
        {"four bytes", {0x05, 1, 2, 3}, kOutOfRange, kOutOfRange},
        {"standard LEN above the count", standardTruncated, kLengthError, kLengthError},
        {"advanced LEN above the count", advancedTruncated, kLengthError, kLengthError},
        {"standard bad CRC", badStandardCrc, kChecksumError, kChecksumError},
        {"advanced bad CRC", badAdvancedCrc, kChecksumError, kChecksumError},
        {"advanced LEN high not 0", bigAdvanced, kOutOfRange, static_cast<int>(bigAdvanced.size())},
        {"advanced in six bytes", {0x02, 0x00, 0x06, 1, 2, 3}, kOutOfRange, kOutOfRange},
        {"advanced length 6", testing::closed({0x02, 0x00, 0x06, 1, 2}), kLengthError, kLengthError},
        {"first byte 0", testing::closed({0x00, 1, 2, 3}), kLengthError, kLengthError},
        {"first byte 1", testing::closed({0x01, 1, 2, 3}), kLengthError, kLengthError},
        {"first byte 3", testing::closed({0x03, 1, 2, 3}), kLengthError, kLengthError},
        {"first byte 4", testing::closed({0x04, 1, 2, 3}), kLengthError, kLengthError},
        {"standard input of 256 bytes", Bytes(256, 0x05), kOutOfRange, kOutOfRange},
    };
    for (const auto& c : cases) {
        for (const bool toStandard : {true, false}) {
            const int expected = toStandard ? c.toStandard : c.toAdvanced;
            Bytes out(c.frame.size() + 2, 0xEE);
            const int result = toStandard ? convertToStandard(c.frame, out) : convertToAdvanced(c.frame, out);
            EXPECT_EQ(result, expected) << c.what << (toStandard ? " to standard" : " to advanced");
            if (result < 0) {
                EXPECT_EQ(out, Bytes(c.frame.size() + 2, 0xEE)) << c.what;
            }
        }
    }
}

TEST(FrameConvert, InputLimits) {
    Bytes big(65537, 0x05);
    Bytes out(65540);
    EXPECT_EQ(convertToAdvanced(std::span<const std::uint8_t>(big).first(65536), out), kOutOfRange)
        << "a standard frame of 65,536 given bytes";
    EXPECT_EQ(convertToAdvanced(big, out), kOutOfRange);
    const Bytes largest = testing::advancedReply(1, 2, 3, pattern(65527));
    Bytes padded = largest;
    padded.push_back(0);
    EXPECT_EQ(convertToAdvanced(padded, out), 65535) << "65,536 bytes given, the frame inside them";
}

} // namespace
} // namespace vkkrn::codec

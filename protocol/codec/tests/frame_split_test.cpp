#include "frame_oracle.h"
#include "vkkrn_codec/frame.h"

#include <gtest/gtest.h>

#include <memory>

namespace vkkrn::codec {
namespace {

using testing::Bytes;
using testing::pattern;

// A heap copy of exactly the given bytes, so that AddressSanitizer reports any
// read past them.
struct Exact {
    explicit Exact(const Bytes& bytes)
        : size(bytes.size()), data(new std::uint8_t[bytes.size() ? bytes.size() : 1]) {
        std::copy(bytes.begin(), bytes.end(), data.get());
    }
    std::span<const std::uint8_t> span() const { return {data.get(), size}; }
    std::size_t size;
    std::unique_ptr<std::uint8_t[]> data;
};

Bytes cut(Bytes b, int delta) {
    if (delta < 0)
        b.resize(b.size() - static_cast<std::size_t>(-delta));
    else
        b.insert(b.end(), static_cast<std::size_t>(delta), 0x00);
    return b;
}

Bytes flipLast(Bytes b) {
    b.back() ^= 0x01;
    return b;
}

TEST(FrameSplit, RequestsOfBothFormsGiveTheirParts) {
    const Bytes frames[] = {
        testing::standardRequest(3, 0xB0, {}), testing::standardRequest(3, 0xB0, pattern(250)),
        testing::advancedRequest(3, 0xB0, {}), testing::advancedRequest(3, 0xB0, pattern(65528))};
    for (const auto& frame : frames) {
        const Exact exact(frame);
        RequestParts parts;
        ASSERT_EQ(splitRequest(exact.span(), parts), 0) << frame.size();
        EXPECT_EQ(parts.adr, 3);
        EXPECT_EQ(parts.cmd, 0xB0);
        const std::size_t n = frame.size() - (frame[0] == 0x02 ? 7 : 5);
        const Bytes expected = pattern(n);
        ASSERT_EQ(parts.data.size(), n);
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), parts.data.begin()));
    }
}

TEST(FrameSplit, RepliesOfBothFormsGiveStatusAndParts) {
    const Bytes frames[] = {
        testing::standardReply(7, 0x65, 0x84, {}), testing::standardReply(7, 0x65, 0x84, pattern(249)),
        testing::advancedReply(7, 0x65, 0x84, {}), testing::advancedReply(7, 0x65, 0x84, pattern(65527))};
    for (const auto& frame : frames) {
        const Exact exact(frame);
        ReplyParts parts;
        ASSERT_EQ(splitReply(exact.span(), parts), 0x84) << frame.size();
        EXPECT_EQ(parts.adr, 7);
        EXPECT_EQ(parts.cmd, 0x65);
        EXPECT_EQ(parts.status, 0x84);
        const std::size_t n = frame.size() - (frame[0] == 0x02 ? 8 : 6);
        const Bytes expected = pattern(n);
        ASSERT_EQ(parts.data.size(), n);
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), parts.data.begin()));
    }
}

struct FaultCase {
    const char* what;
    Bytes frame;
    int result;
};

void expectFaults(const std::vector<FaultCase>& cases, bool request) {
    for (const auto& c : cases) {
        const Exact exact(c.frame);
        RequestParts requestParts{0xAA, 0xBB, {}};
        ReplyParts replyParts{0xAA, 0xBB, 0xCC, {}};
        const int result =
            request ? splitRequest(exact.span(), requestParts) : splitReply(exact.span(), replyParts);
        EXPECT_EQ(result, c.result) << c.what;
        // A failure hands out nothing.
        EXPECT_EQ(requestParts.adr, 0xAA) << c.what;
        EXPECT_EQ(replyParts.adr, 0xAA) << c.what;
        EXPECT_EQ(replyParts.status, 0xCC) << c.what;
    }
}

TEST(FrameSplit, RequestFaultsAreRefusedWithoutOverRead) {
    const Bytes standard = testing::standardRequest(1, 2, pattern(10));
    const Bytes advanced = testing::advancedRequest(1, 2, pattern(10));
    expectFaults(
        {
            {"empty", {}, kLengthError},
            {"standard one short", cut(standard, -1), kLengthError},
            {"standard one over", cut(standard, 1), kLengthError},
            {"advanced one short", cut(advanced, -1), kLengthError},
            {"advanced one over", cut(advanced, 1), kLengthError},
            {"standard last byte changed", flipLast(standard), kChecksumError},
            {"advanced last byte changed", flipLast(advanced), kChecksumError},
            {"standard of four bytes", {0x04, 1, 2, 3}, kLengthError},
            {"length byte 4 in five bytes", {0x04, 1, 2, 3, 4}, kLengthError},
            {"lone advanced mark", {0x02}, kLengthError},
            {"advanced mark and length high", {0x02, 0x00}, kLengthError},
            {"advanced of six bytes", {0x02, 0x00, 0x06, 1, 2, 3}, kLengthError},
            {"advanced length below seven", testing::closed({0x02, 0x00, 0x06, 1, 2}), kLengthError},
        },
        true);
}

TEST(FrameSplit, ReplyFaultsAreRefusedWithoutOverRead) {
    const Bytes standard = testing::standardReply(1, 2, 0, pattern(10));
    const Bytes advanced = testing::advancedReply(1, 2, 0, pattern(10));
    expectFaults(
        {
            {"empty", {}, kLengthError},
            {"one byte", {0x06}, kLengthError},
            {"standard one short", cut(standard, -1), kLengthError},
            {"standard one over", cut(standard, 1), kLengthError},
            {"advanced one short", cut(advanced, -1), kLengthError},
            {"advanced one over", cut(advanced, 1), kLengthError},
            {"standard last byte changed", flipLast(standard), kChecksumError},
            {"advanced last byte changed", flipLast(advanced), kChecksumError},
            {"standard length byte 5", testing::closed({0x05, 1, 2}), kLengthError},
            {"standard of five bytes", {0x06, 1, 2, 3, 4}, kLengthError},
            {"advanced of seven bytes", {0x02, 0x00, 0x07, 1, 2, 3, 4}, kLengthError},
            {"advanced mark and length high", {0x02, 0x00}, kLengthError},
            {"advanced length below eight", testing::closed({0x02, 0x00, 0x07, 1, 2, 3}), kLengthError},
        },
        false);
}

TEST(FrameSplit, UndersizedStandardRepliesAreTold) {
    EXPECT_TRUE(isUndersizedStandardReply(Bytes{0x05, 1, 2, 3, 4, 5}));
    EXPECT_TRUE(isUndersizedStandardReply(Bytes{0x00, 1}));
    EXPECT_FALSE(isUndersizedStandardReply(Bytes{0x05})) << "a lone byte is a plain length fault";
    EXPECT_FALSE(isUndersizedStandardReply(Bytes{0x02, 0, 8}));
    EXPECT_FALSE(isUndersizedStandardReply(Bytes{0x06, 1}));
}

} // namespace
} // namespace vkkrn::codec

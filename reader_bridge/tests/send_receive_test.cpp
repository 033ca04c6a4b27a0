// Frames to the tag: in one report up to controller revision 0x363, in chunks
// through the controller above it, and the answers either way.
#include "dongle_fixture.h"

#include <cstring>

namespace kestoreader_test {
namespace {

class SendReceiveTest : public DongleTest {
  protected:
    void SetUp() override {
        DongleTest::SetUp();
        model->setFrameHandler([this](const std::vector<std::uint8_t>&) { return answer; });
        connect();
    }
    int send(const std::string& cmd) { return QM30Dll_SendReceive(manager.get(), cmd.c_str(), reply.data()); }

    qm30sim::FrameAnswer answer{0x80, {0xAA, 0xBB}};
};

struct AnswerCase {
    std::uint8_t code;
    std::vector<std::uint8_t> payload;
    int result;
    const char* reply;
};

const AnswerCase kSingleAnswers[] = {
    {0x80, {0xAA, 0xBB}, 0, "8002AABB"},
    {0x90, {0x05}, 0, "900105"},
    {0x86, {}, 4, "8600 : Communication error"},
    {0x87, {}, 4, "8700 : Frame wait time out OR no tag"},
    {0x88, {}, 4, "8800 : Invalid Start Of Frame"},
    {0x89, {}, 4, "8900 : Receive buffer overflow (too many bytes received)"},
    {0x8A, {}, 4, "8A00: Framing error (start bit=0, stop bit=1)"},
    {0x8B, {}, 4, "8B00 : EGT time out (for Iso14443-B)"},
    {0x8C, {}, 4, "8C00 : Invalid length. Used in Felica, when field Length < 3"},
    {0x8D, {}, 4, "8D00 : CRC error (Used in Felica protocol)"},
    {0x8E, {}, 4, "8E00 : Reception lost without EOF received"},
    {0xA0, {0x01}, 4, "Unknown error \n"},
    {0x82, {}, 4, "Unknown error \n"},
    {0x00, {}, 4, "Unknown error \n"},
};

TEST_F(SendReceiveTest, OneReportAnswers) {
    MCUrev = kLastSingleReportRev;
    for (const AnswerCase& c : kSingleAnswers) {
        answer = {c.code, c.payload};
        hidsim::clearCalls();
        EXPECT_EQ(send("2604"), c.result) << int(c.code);
        EXPECT_STREQ(text(), c.reply) << int(c.code);
        ASSERT_EQ(written().size(), 1u);
        EXPECT_EQ(hexHead(written()[0], 5), "0104022604");
    }
    EXPECT_EQ(model->frames().back(), (std::vector<std::uint8_t>{0x26, 0x04}));
    hidsim::clearCalls();
    EXPECT_EQ(send(frameText(61)), 4); // the longest frame one report carries
    EXPECT_EQ(hex(written()[0]), "01043D" + frameText(61));
}

TEST_F(SendReceiveTest, TheEmptyFrameGoesOutInOneReportWhateverTheRevision) {
    for (int rev : {kLastSingleReportRev, kMCUrevInitial}) {
        MCUrev = rev;
        answer = {0x80, {0x01}};
        hidsim::clearCalls();
        EXPECT_EQ(send(""), 0);
        EXPECT_STREQ(text(), "800101");
        answer = {0x99, {}};
        EXPECT_EQ(send("2"), 4); // one digit: no byte
        EXPECT_STREQ(text(), "Unknown error");
        answer = {0x87, {}};
        EXPECT_EQ(send(""), 4);
        EXPECT_STREQ(text(), "8700 : Frame wait time out OR no tag");
        for (const hidsim::Report& r : written())
            EXPECT_EQ(hexHead(r, 4), "01040000");
    }
}

std::size_t chunkCount(std::size_t n) {
    return n <= 58 ? 1 : 1 + (n - 58 + 29) / 30;
}

TEST_F(SendReceiveTest, ChunkedFramesOfEveryLength) {
    answer = {0x80, {0x11}};
    for (std::size_t n :
         {1, 2, 30, 57, 58, 59, 60, 88, 89, 90, 118, 119, 255, 256, 300, 511, 512, 766, 767}) {
        hidsim::clearCalls();
        EXPECT_EQ(send(frameText(n)), 0) << n;
        EXPECT_STREQ(text(), "800111") << n;
        std::vector<hidsim::Report> out = written();
        ASSERT_EQ(out.size(), chunkCount(n)) << n;
        std::uint8_t type = n < 256 ? 0x04 : n < 512 ? 0x24 : 0x44;
        std::size_t first = n <= 58 ? n : 30;
        EXPECT_EQ(hexHead(out[0], 6), hex({0x02, 0xA6, static_cast<std::uint8_t>(first + 2),
                                           static_cast<std::uint8_t>(n <= 58 ? 0x00 : 0x10), type,
                                           static_cast<std::uint8_t>(n & 0xFF)}))
            << n;
        EXPECT_EQ(model->frames().back(), frameBytes(n)) << n;
    }
    EXPECT_TRUE(model->violations().empty());
}

TEST_F(SendReceiveTest, TheChunkingExamples) {
    answer = {0x87, {}};
    send(frameText(58));
    std::vector<hidsim::Report> out = written();
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(hex(out[0]), "02A63C00043A" + frameText(58));

    hidsim::clearCalls();
    send(frameText(59));
    out = written();
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(hexHead(out[0], 36), "02A62010043B" + frameText(30));
    const std::vector<std::uint8_t> all = frameBytes(59);
    const std::vector<std::uint8_t> rest(all.begin() + 30, all.end());
    EXPECT_EQ(hexHead(out[1], 33), "02A61D00" + hex(rest));

    hidsim::clearCalls();
    send(frameText(300));
    EXPECT_EQ(hexHead(written()[0], 6), "02A62010242C"); // 300 - 256 = 44
}

TEST_F(SendReceiveTest, ChunkedAnswers) {
    struct Case {
        const char* name;
        qm30sim::FrameAnswer answer;
        int result;
        std::string reply;
        std::size_t parts;
    };
    std::vector<std::uint8_t> long150 = frameBytes(150);
    std::vector<std::uint8_t> most = frameBytes(767);
    const Case cases[] = {
        {"one part", {0x80, {1, 2, 3}}, 0, "8003010203", 1},
        {"4-bit answer", {0x90, {0x04}}, 0, "900104", 1},
        {"three parts joined", {0x80, long150}, 0, "8096" + hex(long150), 3},
        {"the longest answer", {0xA0, most}, 0, "A0FF" + hex(most), 13},
        {"error in the final part", {0x8B, {}}, 4, "8B00 : EGT time out (for Iso14443-B)", 1},
        {"unknown code", {0xA0, {0x01}}, 4, "Unknown error", 1},
        {"0x82 is no select here", {0x82, {}}, 4, "Unknown error", 1},
    };
    for (const Case& c : cases) {
        answer = c.answer;
        hidsim::clearCalls();
        EXPECT_EQ(send("26"), c.result) << c.name;
        EXPECT_EQ(std::string(text()), c.reply) << c.name;
        std::vector<hidsim::Report> out = written();
        ASSERT_EQ(out.size(), c.parts) << c.name; // one chunk, then {2, 0xA7} per further part
        for (std::size_t i = 1; i < out.size(); ++i)
            EXPECT_EQ(hexHead(out[i], 3), "02A700") << c.name;
    }
}

TEST_F(SendReceiveTest, TheLongestReplyFitsTheStatedSize) {
    answer = {0xA0, frameBytes(767)};
    EXPECT_EQ(send(frameText(767)), 0);
    EXPECT_EQ(std::strlen(text()) + 1, QM30_REPLY_TEXT_SIZE);
}

TEST_F(SendReceiveTest, OverlongAndEndlessAnswersAreBounded) {
    answer = {0xC0, frameBytes(798)}; // 800 answer bytes in 14 parts
    EXPECT_EQ(send("26"), 4);
    EXPECT_STREQ(text(), "Unknown error");
    EXPECT_EQ(model->partsServed(), 14);
    EXPECT_EQ(written().size(), 14u);

    hidsim::clearCalls();
    answer = {0x80, frameBytes(10)};
    model->endlessParts(true);
    EXPECT_EQ(send("26"), 4);
    EXPECT_STREQ(text(), "Unknown error");
    EXPECT_EQ(model->partsServed(), 14 + 16);
    EXPECT_EQ(written().size(), 16u);
    EXPECT_EQ(hidsim::unread(device), 0u);
}

TEST_F(SendReceiveTest, FaultsDuringTheChunkedTransfer) {
    // Another code for a chunk: the reply text of that report.
    model->nextResultCode(0x99);
    EXPECT_EQ(send(frameText(59)), 4);
    EXPECT_STREQ(text(), "9900");
    EXPECT_EQ(written().size(), 1u);

    // A report other than 0xA7 while collecting: its code and length.
    hidsim::clearCalls();
    answer = {0x80, frameBytes(150)};
    model->foreignPart(2, 0x55);
    EXPECT_EQ(send("26"), 4);
    EXPECT_STREQ(text(), "5500");

    // The last chunk acknowledged with 0xA6: done, and an empty reply, not a stale one.
    model->ackLastChunk();
    EXPECT_EQ(send(frameText(59)), 0);
    EXPECT_STREQ(text(), "");

    // A part's length byte past the report is cut to the bytes read.
    answer = {0x80, {0xAA}};
    model->nextLengthByte(0xFF);
    EXPECT_EQ(send("26"), 0);
    EXPECT_EQ(std::string(text()), "8001AA" + std::string(114, '0'));

    // The dongle stops answering between parts.
    answer = {0x80, frameBytes(150)};
    hidsim::failNth(hidsim::Fn::Read, 2, 0);
    EXPECT_EQ(send("26"), 5);
}

} // namespace
} // namespace kestoreader_test

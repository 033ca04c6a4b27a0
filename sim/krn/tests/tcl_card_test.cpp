// The simulated T=CL card, request block by request block.
#include <krnsim/tcl_card.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace krnsim;

struct Frame {
    std::uint8_t status;
    Bytes data;
    bool operator==(const Frame&) const = default;
};

// The reply frames of one plan (standard or advanced form).
std::vector<Frame> frames(const Plan& plan) {
    const Bytes bytes = plan.bytes();
    std::vector<Frame> out;
    std::size_t at = 0;
    while (at < bytes.size()) {
        const bool advanced = bytes[at] == kAdvancedMark;
        const std::size_t length = advanced ? (bytes[at + 1] << 8 | bytes[at + 2]) : bytes[at];
        const std::size_t head = advanced ? 3 : 1;
        out.push_back(Frame{bytes[at + head + 2], Bytes(bytes.begin() + static_cast<long>(at + head + 3),
                                                        bytes.begin() + static_cast<long>(at + length - 2))});
        at += length;
    }
    return out;
}

class TclCardTest : public ::testing::Test {
  protected:
    void SetUp() override {
        Bytes info = ReaderModel::defaultReaderInfo();
        info[7] = 0;
        info[8] = 64; // receive size
        info[9] = 0;
        info[10] = 32; // transmit size: 21 response bytes per block
        reader_.setReaderInfo(0, info);
        card_.install();
    }
    // The reader's answer to one 0xB2 request with these data.
    Plan exchange(const Bytes& data) { return reader_.exchange(buildRequest(Form::Standard, 1, 0xB2, data)); }
    std::vector<Frame> send(const Bytes& data) { return frames(exchange(data)); }

    Reader reader_;
    TclCard card_{reader_};
};

TEST_F(TclCardTest, BlockByBlock) {
    card_.setCid(7);
    const struct {
        const char* name;
        Bytes request;
        std::vector<Frame> answers;
    } steps[] = {
        {"ping", {0xBE, 0x88}, {{0, {2, 0, 0}}}},
        {"ping with CID", {0xBE, 0x8A, 7}, {{0, {2, 0, 0}}}},
        {"ping, other CID", {0xBE, 0x8A, 6}, {{1, {}}}},
        {"not a block", {0xBF, 0x81}, {{0x81, {}}}},
        {"one block", {0xBE, 0x81, 0xA0, 0xA1}, {{0, {2, 0, 0, 0xA0, 0xA1, 0x90, 0}}}},
        {"chained, CID and NAD", {0xBE, 0xC7, 7, 0x21, 1, 2}, {{0, {0xFF, 0, 0}}}},
        {"chained on", {0xBE, 0x47, 3}, {{0, {0xFF, 0, 1}}}},
        {"last", {0xBE, 0x07, 4}, {{0, {2, 0, 0, 1, 2, 3, 4, 0x90, 0}}}},
        {"alone without 0x80", {0xBE, 0x01, 9}, {{0, {2, 0, 0, 9, 0x90, 0}}}},
        {"restart drops the pending", {0xBE, 0xC1, 1}, {{0, {0xFF, 0, 0}}}},
        {"restart", {0xBE, 0x81, 5}, {{0, {2, 0, 0, 5, 0x90, 0}}}},
        {"deselect", {0xBE, 0x82, 7}, {{0, {2, 0, 0}}}},
        {"halted", {0xBE, 0x81, 5}, {{1, {}}}},
    };
    for (const auto& step : steps)
        EXPECT_EQ(send(step.request), step.answers) << step.name;
    ASSERT_EQ(card_.apdus().size(), 4u);
    EXPECT_EQ(card_.apdus()[1], (Bytes{1, 2, 3, 4}));
    EXPECT_EQ(card_.oversizeCount(), 0u);
}

TEST_F(TclCardTest, ResponseBlocksWaitingTimesAndIsoError) {
    card_.setWaitingTimes({{1, 4, Millis(0)}});
    Bytes request(2 + 30, 0x55); // mode and block bytes, then a 30-byte APDU
    request[0] = 0xBE;
    request[1] = 0x81;
    const auto answers = send(request);
    ASSERT_EQ(answers.size(), 3u); // S(WTX), 21 + 11 response bytes
    EXPECT_EQ(answers[0], (Frame{0x94, {1, 0, 0, 1, 4}}));
    EXPECT_EQ(answers[1].status, 0x94);
    EXPECT_EQ(answers[1].data.size(), 3u + 21u);
    EXPECT_EQ(answers[2].status, 0);
    EXPECT_EQ((Bytes(answers[2].data.begin(), answers[2].data.begin() + 3)), (Bytes{2, 0, 2}));
    card_.setIsoError(0x6A);
    EXPECT_EQ(send({0xBE, 0x81, 1}), (std::vector<Frame>{{0x94, {1, 0, 0, 1, 4}}, {0x96, {0x6A}}}));
}

TEST_F(TclCardTest, OversizeMuteAndFaults) {
    EXPECT_EQ(send(Bytes(60, 0xBE)), (std::vector<Frame>{{0x81, {}}}));
    EXPECT_EQ(card_.oversizeCount(), 1u);
    card_.setMute(3);
    EXPECT_EQ(send({0xBE, 0x81, 1}), (std::vector<Frame>{{1, {}}}));
    card_.setFaultHook([](std::vector<CardAnswer>& a) {
        a.push_back(a.front());
        a.back().badCrc = true;
    });
    const auto answers = exchange({0xBE, 0x81, 1}).bytes();
    EXPECT_EQ(answers.size(), 2u * 12u); // the frame and its copy
    int naks = 0;
    for (const AirBlock& b : card_.airLog())
        naks += b.kind == AirBlock::Kind::RNak ? 1 : 0;
    EXPECT_EQ(naks, 2);
}

} // namespace

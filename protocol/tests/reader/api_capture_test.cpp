// The reader's last frames and status through the exports: capture by the frame
// exports with formats 10 and 11, key masking, lengths and status texts.
#include "frame_oracle.h"

#include "portless_reader.h"
#include <vkkrn.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using vkkrn::codec::testing::Bytes;
using vkkrn::codec::testing::pattern;
namespace oracle = vkkrn::codec::testing;

class Capture : public vkkrn_test::PortlessReaderTest {
  protected:
    // Builds and captures a request; returns the built frame.
    Bytes send(std::uint8_t cmd, const Bytes& data) {
        std::vector<unsigned char> frame(data.size() + 16);
        Bytes input = data;
        input.reserve(1); // a null pointer is refused, also with length 0
        const int n = VKKRN_BuildSendProtocol(reader_, 0xFF, cmd, input.data(),
                                              static_cast<int>(input.size()), frame.data(), 10);
        EXPECT_GT(n, 0);
        return Bytes(frame.begin(), frame.begin() + (n > 0 ? n : 0));
    }

    int receive(const Bytes& reply) {
        Bytes frame = reply;
        unsigned char adr, cmd;
        std::vector<unsigned char> data(reply.size() + 1);
        int n;
        return VKKRN_SplitRecProtocol(reader_, frame.data(), static_cast<int>(frame.size()), &adr, &cmd,
                                      data.data(), &n, 10);
    }
};

TEST_F(Capture, ANewReaderHasNoFrames) {
    unsigned char out[8] = {0xEE, 0xEE};
    EXPECT_EQ(VKKRN_GetLastSendProt(reader_, out, 0), 0);
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(VKKRN_GetLastRecProt(reader_, out, 1), 0);
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(VKKRN_GetLastRecProtLen(reader_), -4010);
    EXPECT_EQ(lastError(), -4010);
    char text[80];
    EXPECT_EQ(VKKRN_GetLastState(reader_, text), 0);
    EXPECT_STREQ(text, "OK");
}

TEST_F(Capture, FramesReadBackAsBytesAndHex) {
    const Bytes sent = send(0x65, {});
    std::vector<unsigned char> out(64);
    ASSERT_EQ(VKKRN_GetLastSendProt(reader_, out.data(), 0), 5);
    EXPECT_TRUE(std::equal(sent.begin(), sent.end(), out.begin()));
    EXPECT_EQ(out[5], 0);
    ASSERT_EQ(VKKRN_GetLastSendProt(reader_, out.data(), 1), 5) << "the length is counted in bytes";
    char expected[32];
    std::snprintf(expected, sizeof expected, "05FF65%02X%02X", sent[3], sent[4]);
    EXPECT_STREQ(reinterpret_cast<char*>(out.data()), expected);

    const Bytes reply = oracle::standardReply(0x01, 0x65, 0x00, {0x30, 0x31});
    ASSERT_EQ(receive(reply), 0);
    ASSERT_EQ(VKKRN_GetLastRecProt(reader_, out.data(), 0), 8);
    EXPECT_TRUE(std::equal(reply.begin(), reply.end(), out.begin()));
    ASSERT_EQ(VKKRN_GetLastRecProt(reader_, out.data(), 7), 8) << "any hex flag but 0 writes hex";
    std::snprintf(expected, sizeof expected, "%02X%02X", reply[6], reply[7]);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(out.data())), "080165003031" + std::string(expected));
}

TEST_F(Capture, KeyBytesAreMaskedInCopiesOnly) {
    struct Case {
        std::uint8_t cmd;
        Bytes data;
        std::size_t shown; // data bytes shown before the key
        bool masked;
    };
    const Case cases[] = {
        {0xA2, {1, 2, 3, 4, 5, 6}, 0, true}, {0xA3, {7, 1, 2, 3, 4}, 1, true},
        {0xAD, {9, 8, 7}, 0, true},          {0xB2, {0xB0, 0x05, 1, 2, 3}, 2, true},
        {0xB2, {0xB2, 0x05, 1, 2}, 2, true}, {0xB2, {0xB1, 0x05, 1, 2}, 0, false},
        {0xB0, {0x01, 0x40}, 0, false},
    };
    for (const bool advanced : {false, true}) {
        ASSERT_EQ(VKKRN_SetReaderPara(reader_, "FRAMESUPPORT", advanced ? "ADVANCED" : "STANDARD"), 0);
        const std::size_t start = advanced ? 5 : 3;
        for (const auto& c : cases) {
            SCOPED_TRACE(::testing::Message()
                         << std::hex << int(c.cmd) << (advanced ? " advanced" : " standard"));
            const Bytes built = send(c.cmd, c.data);
            EXPECT_TRUE(std::equal(c.data.begin(), c.data.end(), built.begin() + start))
                << "the frame sent is plain";
            Bytes expected = built;
            if (c.masked) {
                for (std::size_t i = start + c.shown; i < built.size() - 2; ++i)
                    expected[i] = 0xFF;
            }
            for (int round = 0; round < 2; ++round) {
                std::vector<unsigned char> out(built.size() + 1);
                ASSERT_EQ(VKKRN_GetLastSendProt(reader_, out.data(), 0), static_cast<int>(built.size()));
                EXPECT_TRUE(std::equal(expected.begin(), expected.end(), out.begin())) << "round " << round;
            }
            std::vector<unsigned char> hex(2 * built.size() + 1);
            ASSERT_EQ(VKKRN_GetLastSendProt(reader_, hex.data(), 1), static_cast<int>(built.size()));
            std::string expectedHex;
            for (auto b : expected) {
                char pair[3];
                std::snprintf(pair, sizeof pair, "%02X", b);
                expectedHex += pair;
            }
            EXPECT_EQ(std::string(reinterpret_cast<char*>(hex.data())), expectedHex);
        }
    }
}

TEST_F(Capture, A200ByteStandardKeyFrameIsMaskedAlike) {
    const Bytes built = send(0xA2, pattern(195));
    ASSERT_EQ(built.size(), 200u);
    std::vector<unsigned char> out(201);
    ASSERT_EQ(VKKRN_GetLastSendProt(reader_, out.data(), 0), 200);
    EXPECT_EQ(std::count(out.begin() + 3, out.begin() + 198, 0xFF), 195);
    EXPECT_EQ(out[198], built[198]);
    EXPECT_EQ(out[199], built[199]);
}

TEST_F(Capture, LastReceivedLength) {
    ASSERT_EQ(receive(oracle::advancedReply(1, 0x22, 0, pattern(292))), 0);
    EXPECT_EQ(VKKRN_GetLastRecProtLen(reader_), 301) << "advanced: its length plus one";
    EXPECT_EQ(lastError(), 0);
    ASSERT_EQ(receive(oracle::standardReply(1, 0x22, 0, pattern(194))), 0);
    EXPECT_EQ(VKKRN_GetLastRecProtLen(reader_), 200);
    // A frame captured before its check, whose length byte is below 6.
    ASSERT_EQ(receive({0x04, 1, 2, 3, 4, 5}), -4030);
    EXPECT_EQ(VKKRN_GetLastRecProtLen(reader_), -4010);
    EXPECT_EQ(lastError(), -4010);
    EXPECT_EQ(VKKRN_GetLastRecProtLen(-1), -4022);
    EXPECT_EQ(VKKRN_GetLastRecProtLen(0), -4021);
    EXPECT_EQ(VKKRN_GetLastRecProtLen(reader_ + 1), -4023);
}

TEST_F(Capture, FormatsZeroAndTwentyCaptureNothing) {
    Bytes reply = oracle::standardReply(1, 0x65, 0x84, {});
    unsigned char adr, cmd, data[8];
    int n;
    for (const int format : {0, 20}) {
        EXPECT_EQ(VKKRN_SplitRecProtocol(reader_, reply.data(), 6, &adr, &cmd, data, &n, format), 0x84);
        EXPECT_EQ(VKKRN_GetLastRecProtLen(reader_), -4010) << format;
    }
    unsigned char frame[16];
    EXPECT_EQ(VKKRN_BuildSendProtocol(reader_, 1, 0x65, data, 0, frame, 0), 5);
    EXPECT_EQ(VKKRN_GetLastSendProt(reader_, frame, 0), 0);
}

TEST_F(Capture, LastStateAndItsText) {
    char text[80];
    ASSERT_EQ(receive(oracle::standardReply(1, 0xB0, 0x84, {})), 0x84);
    EXPECT_EQ(VKKRN_GetLastState(reader_, text), 0x84);
    EXPECT_STREQ(text, "Reader: RF-Warning");
    EXPECT_EQ(lastError(), 0);
    ASSERT_EQ(receive(oracle::standardReply(1, 0xB0, 0x09, {})), 0x09);
    EXPECT_EQ(VKKRN_GetLastState(reader_, text), 0x09);
    EXPECT_STREQ(text, "VKKRN: Unknown Statusbyte (0x09)");
    EXPECT_EQ(lastError(), -4033);
    // A failed split keeps the last status.
    ASSERT_EQ(receive({0x06, 1, 2, 3, 4, 5}), -4031);
    EXPECT_EQ(VKKRN_GetLastState(reader_, text), 0x09);
    EXPECT_EQ(VKKRN_GetLastState(reader_, nullptr), -4002);
}

TEST_F(Capture, SendAndReceiveTextsThroughParameters) {
    std::vector<char> value(1024);
    EXPECT_EQ(VKKRN_GetReaderPara(reader_, "SENDSTR", value.data()), -4010);
    EXPECT_EQ(VKKRN_GetReaderPara(reader_, "RECSTR", value.data()), -4010);
    send(0xA2, {1, 2});
    ASSERT_EQ(VKKRN_GetReaderPara(reader_, "SENDSTR", value.data()), 0);
    const std::string sendText(value.data());
    EXPECT_NE(sendText.find("  >>  07 FF A2 ** ** "), std::string::npos) << sendText;
    ASSERT_EQ(receive(oracle::standardReply(1, 0xA2, 0x00, {})), 0);
    ASSERT_EQ(VKKRN_GetReaderPara(reader_, "RECSTR", value.data()), 0);
    const std::string receiveText(value.data());
    EXPECT_NE(receiveText.find("  <<  06 01 A2 00 "), std::string::npos) << receiveText;
    EXPECT_EQ(receiveText.substr(receiveText.size() - 4), "  OK") << receiveText;
}

} // namespace

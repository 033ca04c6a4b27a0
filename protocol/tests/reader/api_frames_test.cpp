// CRC, build, split and convert exports of the deliverable.
#include "frame_oracle.h"

#include "portless_reader.h"
#include <vkkrn.h>

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

using vkkrn::codec::testing::Bytes;
using vkkrn::codec::testing::pattern;
namespace oracle = vkkrn::codec::testing;

class FrameExports : public vkkrn_test::PortlessReaderTest {
  protected:
    void setPara(const char* key, const char* value) {
        ASSERT_EQ(VKKRN_SetReaderPara(reader_, key, value), 0);
    }

    std::string getPara(const char* key) {
        std::vector<char> value(256);
        VKKRN_GetReaderPara(reader_, key, value.data());
        return value.data();
    }
};

std::vector<unsigned char> hexText(const std::string& text) {
    return {text.begin(), text.end()};
}

TEST(CrcExports, CheckValuesSwapAndNullData) {
    const char digits[] = "123456789";
    struct Case {
        const char* what;
        int result;
        int expected;
    };
    unsigned char* d = reinterpret_cast<unsigned char*>(const_cast<char*>(digits));
    const Case cases[] = {
        {"table", VKKRN_CalcCRC16CheckSum_T(d, 9, 0), 0x6F91},
        {"table swapped", VKKRN_CalcCRC16CheckSum_T(d, 9, 1), 0x916F},
        {"table swap any non-zero", VKKRN_CalcCRC16CheckSum_T(d, 9, -7), 0x916F},
        {"bitwise MCRF4XX", VKKRN_CalcCRC16CheckSum(d, 9, 0x8408, 0xFFFF, 0), 0x6F91},
        {"bitwise KERMIT", VKKRN_CalcCRC16CheckSum(d, 9, 0x8408, 0x0000, 0), 0x2189},
        {"bitwise MODBUS", VKKRN_CalcCRC16CheckSum(d, 9, 0xA001, 0xFFFF, 0), 0x4B37},
        {"bitwise ARC swapped", VKKRN_CalcCRC16CheckSum(d, 9, 0xA001, 0x0000, 1), 0x3DBB},
        {"bitwise takes 16 bits", VKKRN_CalcCRC16CheckSum(d, 9, 0x18408, 0x1FFFF, 0), 0x6F91},
        {"table null data", VKKRN_CalcCRC16CheckSum_T(nullptr, 1, 0), -4002},
        {"bitwise null data", VKKRN_CalcCRC16CheckSum(nullptr, 1, 0x8408, 0xFFFF, 0), -4002},
        {"table null and empty", VKKRN_CalcCRC16CheckSum_T(nullptr, 0, 0), 0xFFFF},
        {"table negative length", VKKRN_CalcCRC16CheckSum_T(d, -3, 0), 0xFFFF},
        {"bitwise empty gives the preset swapped", VKKRN_CalcCRC16CheckSum(d, 0, 0x8408, 0x1234, 1), 0x3412},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.result, c.expected) << c.what;
}

struct FormCase {
    const char* what;
    bool request;
    bool advancedMode;
    int n;
    int result;
    Bytes lengthField;
};

TEST_F(FrameExports, BuildersChooseTheFormByLengthAndMode) {
    const FormCase cases[] = {
        {"request 250", true, false, 250, 255, {0xFF}},
        {"request 251", true, false, 251, 258, {0x02, 0x01, 0x02}},
        {"request ADVANCED 0", true, true, 0, 7, {0x02, 0x00, 0x07}},
        {"request 65,528", true, false, 65528, 0xFFFF, {0x02, 0xFF, 0xFF}},
        {"request 65,529", true, false, 65529, -4051, {}},
        {"reply 249", false, false, 249, 255, {0xFF}},
        {"reply 250", false, false, 250, 258, {0x02, 0x01, 0x02}},
        {"reply ADVANCED 0", false, true, 0, 8, {0x02, 0x00, 0x08}},
        {"reply 65,527", false, false, 65527, 0xFFFF, {0x02, 0xFF, 0xFF}},
        {"reply 65,528", false, false, 65528, -4051, {}},
    };
    std::vector<unsigned char> frame(65540);
    for (const auto& c : cases) {
        setPara("FRAMESUPPORT", c.advancedMode ? "ADVANCED" : "STANDARD");
        Bytes data = pattern(static_cast<std::size_t>(c.n));
        data.reserve(1); // a null pointer is refused, also with length 0
        std::fill(frame.begin(), frame.end(), 0xEE);
        const int result =
            c.request ? VKKRN_BuildSendProtocol(reader_, 0x12, 0x34, data.data(), c.n, frame.data(), 0)
                      : VKKRN_BuildRecProtocol(reader_, 0x12, 0x34, 0x56, data.data(), c.n, frame.data(), 0);
        ASSERT_EQ(result, c.result) << c.what;
        EXPECT_EQ(lastError(), result < 0 ? result : 0) << c.what;
        if (result < 0) continue;
        const Bytes expected = c.lengthField.size() == 3
                                   ? (c.request ? oracle::advancedRequest(0x12, 0x34, data)
                                                : oracle::advancedReply(0x12, 0x34, 0x56, data))
                                   : (c.request ? oracle::standardRequest(0x12, 0x34, data)
                                                : oracle::standardReply(0x12, 0x34, 0x56, data));
        ASSERT_EQ(static_cast<int>(expected.size()), result) << c.what;
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), frame.begin())) << c.what;
        EXPECT_EQ(frame[static_cast<std::size_t>(result)], 0) << c.what << ": uncounted zero";
        EXPECT_EQ(VKKRN_CalcCRC16CheckSum_T(frame.data(), result, 0), 0) << c.what << ": residue";
    }
}

TEST_F(FrameExports, HexInputBuildsTheSameFrame) {
    unsigned char raw[] = {0x0A, 0x0B};
    unsigned char fromRaw[16];
    unsigned char fromHex[16];
    const int n = VKKRN_BuildSendProtocol(reader_, 0xFF, 0xB0, raw, 2, fromRaw, 0);
    ASSERT_EQ(n, 7);
    auto hex = hexText("0A0B");
    EXPECT_EQ(VKKRN_BuildSendProtocol(reader_, 0xFF, 0xB0, hex.data(), 4, fromHex, 1), 7);
    EXPECT_EQ(0, std::memcmp(fromRaw, fromHex, 8));
    auto lower = hexText("0a0b");
    EXPECT_EQ(VKKRN_BuildSendProtocol(reader_, 0xFF, 0xB0, lower.data(), 4, fromHex, 11), 7);
    EXPECT_EQ(0, std::memcmp(fromRaw, fromHex, 8));
    EXPECT_EQ(VKKRN_BuildRecProtocol(reader_, 0xFF, 0xB0, 0, hex.data(), 4, fromHex, 1), 8);
    EXPECT_EQ(fromHex[4], 0x0A);
}

TEST_F(FrameExports, BadHexAndUnknownFormatsAreRefused) {
    struct Case {
        const char* what;
        std::string input;
        int format;
    };
    const Case cases[] = {
        {"odd hex", "0A0", 1}, {"not hex", "0G", 1},    {"blank in a pair", " A", 11},
        {"format 2", "0A", 2}, {"format -1", "0A", -1}, {"format 12", "0A", 12},
    };
    for (const auto& c : cases) {
        auto input = hexText(c.input);
        unsigned char frame[64] = {0xEE};
        EXPECT_EQ(VKKRN_BuildSendProtocol(reader_, 1, 2, input.data(), static_cast<int>(input.size()), frame,
                                          c.format),
                  -4051)
            << c.what;
        EXPECT_EQ(lastError(), -4051) << c.what;
        EXPECT_EQ(frame[0], 0xEE) << c.what << ": nothing written";
        unsigned char adr = 0, cmd = 0, data[64];
        int n = -1;
        EXPECT_EQ(VKKRN_SplitRecProtocol(reader_, input.data(), static_cast<int>(input.size()), &adr, &cmd,
                                         data, &n, c.format),
                  -4051)
            << c.what;
        EXPECT_EQ(n, -1) << c.what;
    }
    auto odd = hexText("06FF65000");
    unsigned char adr, cmd, data[16];
    int n;
    EXPECT_EQ(VKKRN_SplitSendProtocol(reader_, odd.data(), 9, &adr, &cmd, data, &n, 1), -4051);
    EXPECT_EQ(VKKRN_BuildRecProtocol(reader_, 1, 2, 0, odd.data(), 9, data, 1), -4051);
}

// The order of the checks every frame export makes, and that none of them
// reaches the reader.
TEST_F(FrameExports, CheckLadderRunsInOrder) {
    unsigned char buf[64] = {0};
    unsigned char adr, cmd;
    int n;
    using Call = int (*)(int handle, unsigned char* p, int len);
    struct Export {
        const char* name;
        Call call;
    };
    static unsigned char* s_adr = &adr;
    static unsigned char* s_cmd = &cmd;
    static unsigned char* s_data = buf;
    static int* s_n = &n;
    const Export exports[] = {
        {"BuildSend", [](int h, unsigned char* p,
                         int len) { return VKKRN_BuildSendProtocol(h, 1, 2, p, len, s_data, 0); }},
        {"BuildRec", [](int h, unsigned char* p,
                        int len) { return VKKRN_BuildRecProtocol(h, 1, 2, 0, p, len, s_data, 0); }},
        {"SplitSend",
         [](int h, unsigned char* p, int len) {
             return VKKRN_SplitSendProtocol(h, p, len, s_adr, s_cmd, s_data, s_n, 0);
         }},
        {"SplitRec", [](int h, unsigned char* p,
                        int len) { return VKKRN_SplitRecProtocol(h, p, len, s_adr, s_cmd, s_data, s_n, 0); }},
    };
    // A failure the reader would record, to see that no check touches it.
    unsigned char bad[] = {0x05, 1, 2, 3, 4};
    ASSERT_EQ(VKKRN_SplitRecProtocol(reader_, bad, 5, &adr, &cmd, buf, &n, 0), -4030);
    for (const auto& e : exports) {
        SCOPED_TRACE(e.name);
        EXPECT_EQ(e.call(-1, nullptr, -1), -4022);
        EXPECT_EQ(e.call(0, nullptr, -1), -4021);
        EXPECT_EQ(e.call(reader_ + 1, nullptr, -1), -4002);
        EXPECT_EQ(e.call(reader_ + 1, buf, -1), -4023);
        EXPECT_EQ(e.call(reader_, buf, -1), -4051);
        EXPECT_EQ(e.call(reader_, buf, 65538), -4051);
        EXPECT_EQ(lastError(), -4030) << "the reader's last error is untouched";
    }
    ASSERT_EQ(VKKRN_DeleteReader(reader_), 0);
    for (const auto& e : exports) {
        EXPECT_EQ(e.call(1, nullptr, -1), -4002) << e.name << ": null comes before the empty list";
        EXPECT_EQ(e.call(1, buf, -1), -4001) << e.name;
    }
}

TEST_F(FrameExports, SplittersHandOutTheParts) {
    const Bytes request = oracle::standardRequest(0x07, 0xB0, {1, 2, 0xAB});
    unsigned char adr = 0, cmd = 0, data[64];
    int n = 0;
    Bytes frame = request;
    ASSERT_EQ(VKKRN_SplitSendProtocol(reader_, frame.data(), static_cast<int>(frame.size()), &adr, &cmd, data,
                                      &n, 0),
              0);
    EXPECT_EQ(adr, 0x07);
    EXPECT_EQ(cmd, 0xB0);
    ASSERT_EQ(n, 3);
    EXPECT_EQ(data[2], 0xAB);
    // Hex 1 reads and writes hex; hex 2 reads hex and writes bytes.
    std::string text;
    for (auto b : request) {
        char pair[3];
        std::snprintf(pair, sizeof pair, "%02X", b);
        text += pair;
    }
    auto hex = hexText(text);
    ASSERT_EQ(
        VKKRN_SplitSendProtocol(reader_, hex.data(), static_cast<int>(hex.size()), &adr, &cmd, data, &n, 1),
        0);
    EXPECT_EQ(n, 6);
    EXPECT_STREQ(reinterpret_cast<char*>(data), "0102AB");
    ASSERT_EQ(
        VKKRN_SplitSendProtocol(reader_, hex.data(), static_cast<int>(hex.size()), &adr, &cmd, data, &n, 2),
        0);
    EXPECT_EQ(n, 3);
    EXPECT_EQ(data[2], 0xAB);

    const Bytes reply = oracle::advancedReply(0x09, 0x65, 0x84, {0x10, 0x2F});
    frame = reply;
    EXPECT_EQ(VKKRN_SplitRecProtocol(reader_, frame.data(), static_cast<int>(frame.size()), &adr, &cmd, data,
                                     &n, 0),
              0x84);
    EXPECT_EQ(adr, 0x09);
    EXPECT_EQ(cmd, 0x65);
    EXPECT_EQ(n, 2);
    EXPECT_EQ(lastError(), 0) << "a status leaves the last error at 0";
    EXPECT_EQ(getPara("RECBUSADR"), "9");
    std::string replyText;
    for (auto b : reply) {
        char pair[3];
        std::snprintf(pair, sizeof pair, "%02x", b);
        replyText += pair;
    }
    auto replyHex = hexText(replyText);
    EXPECT_EQ(VKKRN_SplitRecProtocol(reader_, replyHex.data(), static_cast<int>(replyHex.size()), &adr, &cmd,
                                     data, &n, 1),
              0x84);
    EXPECT_EQ(n, 4);
    EXPECT_STREQ(reinterpret_cast<char*>(data), "102F") << "format 1 writes hex";
    EXPECT_EQ(VKKRN_SplitRecProtocol(reader_, replyHex.data(), static_cast<int>(replyHex.size()), &adr, &cmd,
                                     data, &n, 11),
              0x84);
    EXPECT_EQ(n, 2) << "format 11 writes bytes";
    EXPECT_EQ(data[1], 0x2F);
    for (const int format : {10, 20}) {
        EXPECT_EQ(VKKRN_SplitRecProtocol(reader_, frame.data(), static_cast<int>(frame.size()), &adr, &cmd,
                                         data, &n, format),
                  0x84);
        EXPECT_EQ(n, 2) << format;
    }
}

TEST_F(FrameExports, SplitFaultsWriteNothingAndKeepTheBusAddress) {
    unsigned char adr = 0, cmd = 0, data[64];
    int n = 0;
    Bytes good = oracle::standardReply(0x21, 0x65, 0, {1, 2, 3});
    ASSERT_EQ(
        VKKRN_SplitRecProtocol(reader_, good.data(), static_cast<int>(good.size()), &adr, &cmd, data, &n, 0),
        0);
    const Bytes reply = oracle::standardReply(0x33, 0x65, 0, {1, 2, 3});
    const Bytes advanced = oracle::advancedReply(0x33, 0x65, 0, {1, 2, 3});
    Bytes crc = reply;
    crc.back() ^= 0x40;
    struct Case {
        const char* what;
        Bytes frame;
        int result;
        int asRequest; // the same bytes split as a request; 0: not asked
    };
    const Case cases[] = {
        {"one byte short", Bytes(reply.begin(), reply.end() - 1), -4030, -4030},
        {"one byte over", oracle::concat(reply, {0}), -4030, -4030},
        {"advanced one short", Bytes(advanced.begin(), advanced.end() - 1), -4030, -4030},
        {"changed last byte", crc, -4031, -4031},
        {"empty", {}, -4030, -4030},
        {"one byte", {0x06}, -4030, -4030},
        {"first byte below 6", {0x05, 0x33, 0x65, 0, 0, 0}, -4030, -4030},
        {"advanced in seven bytes", {0x02, 0x00, 0x07, 0x33, 0x65, 0, 0}, -4030, 0},
    };
    for (const auto& c : cases) {
        for (const bool request : {false, true}) {
            if (request && c.asRequest == 0) continue;
            SCOPED_TRACE(::testing::Message() << c.what << (request ? " as request" : " as reply"));
            adr = cmd = 0xEE;
            n = -1;
            std::memset(data, 0xEE, sizeof data);
            // An exact heap copy: any read past it is caught.
            std::unique_ptr<unsigned char[]> frame(new unsigned char[c.frame.size() + 1]);
            std::copy(c.frame.begin(), c.frame.end(), frame.get());
            const int len = static_cast<int>(c.frame.size());
            const int result =
                request ? VKKRN_SplitSendProtocol(reader_, frame.get(), len, &adr, &cmd, data, &n, 0)
                        : VKKRN_SplitRecProtocol(reader_, frame.get(), len, &adr, &cmd, data, &n, 10);
            EXPECT_EQ(result, request ? c.asRequest : c.result);
            EXPECT_EQ(lastError(), result);
            EXPECT_EQ(adr, 0xEE);
            EXPECT_EQ(cmd, 0xEE);
            EXPECT_EQ(n, -1);
            EXPECT_EQ(data[0], 0xEE);
            EXPECT_EQ(getPara("RECBUSADR"), "33");
        }
    }
}

TEST(ConversionExports, StandardStaysAndAdvancedComesBack) {
    Bytes standard = oracle::standardRequest(1, 0xB0, pattern(20));
    Bytes frame = standard;
    EXPECT_EQ(VKKRN_Conv2StdProtocol(frame.data(), static_cast<int>(frame.size())), 25);
    EXPECT_EQ(frame, standard);
    frame.resize(standard.size() + 2);
    ASSERT_EQ(VKKRN_Conv2AdvProtocol(frame.data(), static_cast<int>(standard.size())), 27);
    EXPECT_EQ(frame, oracle::advancedRequest(1, 0xB0, pattern(20)));
    EXPECT_EQ(VKKRN_Conv2AdvProtocol(frame.data(), 27), 27) << "advanced stays";
    ASSERT_EQ(VKKRN_Conv2StdProtocol(frame.data(), 27), 25);
    frame.resize(25);
    EXPECT_EQ(frame, standard);

    const Bytes reply = oracle::standardReply(1, 0x65, 0x84, pattern(40));
    frame = reply;
    frame.resize(reply.size() + 2);
    ASSERT_EQ(VKKRN_Conv2AdvProtocol(frame.data(), static_cast<int>(reply.size())), 48);
    EXPECT_EQ(frame, oracle::advancedReply(1, 0x65, 0x84, pattern(40)));
}

TEST(ConversionExports, LongestStandardFramesGetASixteenBitLength) {
    for (const int n : {249, 250}) {
        Bytes frame = oracle::standardRequest(1, 0xB0, pattern(static_cast<std::size_t>(n)));
        const int len = static_cast<int>(frame.size());
        frame.resize(frame.size() + 2);
        ASSERT_EQ(VKKRN_Conv2AdvProtocol(frame.data(), len), len + 2);
        EXPECT_EQ(frame, oracle::advancedRequest(1, 0xB0, pattern(static_cast<std::size_t>(n))));
    }
}

TEST(ConversionExports, FaultCodes) {
    const Bytes standard = oracle::standardRequest(1, 2, pattern(10));
    Bytes badCrc = standard;
    badCrc[4] ^= 1;
    const Bytes big = oracle::advancedRequest(1, 2, pattern(300));
    struct Case {
        const char* what;
        Bytes frame;
        int len;
        int toStandard;
        int toAdvanced;
    };
    const Case cases[] = {
        {"bad CRC", badCrc, 15, -4031, -4031},
        {"LEN above the length", standard, 14, -4030, -4030},
        {"advanced LEN high not 0", big, static_cast<int>(big.size()), -4051, static_cast<int>(big.size())},
        {"four bytes", {5, 1, 2, 3}, 4, -4051, -4051},
        {"advanced shorter than 7", {2, 0, 7, 1, 2, 3}, 6, -4051, -4051},
        {"advanced length below 7", oracle::closed({2, 0, 6, 1, 2}), 7, -4030, -4030},
        {"first byte 3", oracle::closed({3, 1, 2}), 5, -4030, -4030},
        {"first byte 0", oracle::closed({0, 1, 2}), 5, -4030, -4030},
        {"negative length", standard, -1, -4051, -4051},
        {"256 bytes to standard", Bytes(256, 5), 256, -4051, -4051},
        {"65,537 bytes to advanced", Bytes(65537, 2), 65537, -4051, -4051},
    };
    for (const auto& c : cases) {
        Bytes a = c.frame;
        a.resize(a.size() + 2);
        Bytes b = a;
        EXPECT_EQ(VKKRN_Conv2StdProtocol(a.data(), c.len), c.toStandard) << c.what;
        EXPECT_EQ(VKKRN_Conv2AdvProtocol(b.data(), c.len), c.toAdvanced) << c.what;
        if (c.toStandard < 0) {
            EXPECT_TRUE(std::equal(c.frame.begin(), c.frame.end(), a.begin())) << c.what;
        }
    }
    EXPECT_EQ(VKKRN_Conv2StdProtocol(nullptr, 5), -4002);
    EXPECT_EQ(VKKRN_Conv2AdvProtocol(nullptr, 5), -4002);
}

TEST_F(FrameExports, BuiltRepliesSplitBackWithTheirStatus) {
    for (const int n : {0, 1, 249, 250, 4000}) {
        Bytes data = pattern(static_cast<std::size_t>(n));
        data.reserve(1);
        std::vector<unsigned char> frame(n + 10), out(n + 10);
        const int len = VKKRN_BuildRecProtocol(reader_, 0x44, 0x22, 0x95, data.data(), n, frame.data(), 0);
        ASSERT_GT(len, 0);
        unsigned char adr, cmd;
        int got = -1;
        ASSERT_EQ(VKKRN_SplitRecProtocol(reader_, frame.data(), len, &adr, &cmd, out.data(), &got, 20), 0x95)
            << n;
        ASSERT_EQ(got, n);
        EXPECT_TRUE(std::equal(data.begin(), data.end(), out.begin()));
    }
}

} // namespace

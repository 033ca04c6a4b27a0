// The secured wrap in command 0xAF while a reader holds a cipher, with the fake
// cipher in the reader's cipher slot and the reader's side played by the test
// with the same keystream.
#include "fake_cipher.h"
#include "frame_oracle.h"
#include "internal_fixture.h"

#include <vkkrn_codec/frame.h>

#include <memory>
#include <regex>
#include <string>
#include <vector>

namespace {

using vkkrn::codec::testing::Bytes;
using vkkrn::codec::testing::pattern;
using vkkrn::testing::FakeCipher;
namespace oracle = vkkrn::codec::testing;

class SecuredFrames : public InternalTest {
  protected:
    void start(const std::string& settings = "") {
        if (!settings.empty()) writeFile("vkkrn.ini", settings);
        reader_ = newReader(0, &handle_);
        ASSERT_NE(reader_, nullptr);
        reader_->Cipher().store(cipher_);
    }

    // The reader's side: enciphers or deciphers with the stream at its block.
    Bytes peerCipher(const Bytes& in) {
        Bytes out(in.size());
        vkkrn::testing::applyFakeKeystream(in.data(), in.size(), out.data(), &peerBlock_);
        return out;
    }

    int build(std::uint8_t cmd, const Bytes& data, int format, Bytes& frame) {
        Bytes input = data;
        input.reserve(1);
        std::vector<unsigned char> out(data.size() + 64);
        const int n = VKKRN_BuildSendProtocol(handle_, 0xFF, cmd, input.data(),
                                              static_cast<int>(input.size()), out.data(), format);
        frame.assign(out.begin(), out.begin() + (n > 0 ? n : 0));
        return n;
    }

    struct Split {
        int result = 0;
        unsigned char adr = 0xEE;
        unsigned char cmd = 0xEE;
        Bytes data;
    };

    Split split(const Bytes& reply, int format) {
        Split s;
        Bytes frame = reply;
        frame.reserve(1);
        std::vector<unsigned char> data(reply.size() + 1);
        int n = -1;
        s.result = VKKRN_SplitRecProtocol(handle_, frame.data(), static_cast<int>(frame.size()), &s.adr,
                                          &s.cmd, data.data(), &n, format);
        if (n >= 0) s.data.assign(data.begin(), data.begin() + n);
        return s;
    }

    // A reply to 0xAF carrying `inner` enciphered.
    Bytes wrappedReply(const Bytes& inner, std::uint8_t status = 0) {
        return oracle::standardReply(0x01, 0xAF, status, peerCipher(inner));
    }

    int lastError() const { return reader_->GetLastError(); }

    std::shared_ptr<FakeCipher> cipher_ = std::make_shared<FakeCipher>();
    std::shared_ptr<VKKRNReader> reader_;
    int handle_ = 0;
    std::uint32_t peerBlock_ = 0;
};

TEST_F(SecuredFrames, RequestsTravelEncipheredInsideA0xAFFrame) {
    start();
    const Bytes inner = oracle::standardRequest(0xFF, 0xB0, {1, 2, 3});
    Bytes frame;
    ASSERT_EQ(build(0xB0, {1, 2, 3}, 0, frame), 5 + 1 + 8);
    EXPECT_EQ(frame, oracle::standardRequest(0xFF, 0xAF, oracle::concat({0x00}, peerCipher(inner))));
    EXPECT_EQ(cipher_->nextBlock(), 1u) << "8 bytes take one whole block";
    EXPECT_EQ(lastError(), 0);
}

TEST_F(SecuredFrames, NoWrapForAuthenticationSecuredFramesFormat20OrWithoutCipher) {
    start();
    Bytes frame;
    for (const std::uint8_t cmd : {0xAE, 0xAF}) {
        ASSERT_EQ(build(cmd, {9}, 0, frame), 6);
        EXPECT_EQ(frame, oracle::standardRequest(0xFF, cmd, {9}));
    }
    ASSERT_EQ(build(0xB0, {9}, 20, frame), 6);
    EXPECT_EQ(frame, oracle::standardRequest(0xFF, 0xB0, {9}));
    EXPECT_EQ(cipher_->calls(), 0);
    reader_->Cipher().reset();
    ASSERT_EQ(build(0xB0, {9}, 0, frame), 6);
    EXPECT_EQ(frame, oracle::standardRequest(0xFF, 0xB0, {9}));
}

TEST_F(SecuredFrames, TheOuterFormFollowsItsOwnLength) {
    start();
    struct Case {
        std::size_t n;
        std::size_t outerLength;
    };
    // Inner frame n + 5 bytes, outer data one more.
    const Case cases[] = {{244, 255}, {245, 258}, {65520, 65535}};
    for (const auto& c : cases) {
        Bytes frame;
        ASSERT_EQ(build(0xB0, pattern(c.n), 0, frame), static_cast<int>(c.outerLength)) << c.n;
        const Bytes inner = c.n + 5 <= 255 ? oracle::standardRequest(0xFF, 0xB0, pattern(c.n))
                                           : oracle::advancedRequest(0xFF, 0xB0, pattern(c.n));
        const Bytes data = oracle::concat({0x00}, peerCipher(inner));
        EXPECT_EQ(frame, c.outerLength == 255 ? oracle::standardRequest(0xFF, 0xAF, data)
                                              : oracle::advancedRequest(0xFF, 0xAF, data))
            << c.n;
    }
}

TEST_F(SecuredFrames, CaptureAndLogShowThePlainFrame) {
    start("logfile;log_notimestamp");
    Bytes frame;
    ASSERT_GT(build(0xA2, {1, 2}, 10, frame), 0);
    const Bytes inner = oracle::standardRequest(0xFF, 0xA2, {1, 2});
    std::vector<unsigned char> captured(16);
    ASSERT_EQ(VKKRN_GetLastSendProt(handle_, captured.data(), 0), 7);
    EXPECT_EQ(Bytes(captured.begin(), captured.begin() + 5), Bytes({0x07, 0xFF, 0xA2, 0xFF, 0xFF}));
    char crc[16];
    std::snprintf(crc, sizeof crc, "%02X %02X ", inner[5], inner[6]);
    EXPECT_EQ(readFile("vkkrn_log.txt"), ">>  (S) 07 FF A2 ** ** " + std::string(crc) + "\r\n");
}

TEST_F(SecuredFrames, AnInnerFrameOf65535BytesCannotBeWrapped) {
    start("logfile");
    Bytes frame;
    EXPECT_EQ(build(0xB0, pattern(65528), 0, frame), -4051);
    EXPECT_EQ(lastError(), -4051);
    EXPECT_NE(readFile("vkkrn_log.txt").find("  !!  Error: -4051  VKKRN: (-4051) parameter out of range\r\n"),
              std::string::npos);
}

TEST_F(SecuredFrames, CipherFailuresAreReturnedAndLogged) {
    start("logfile;log_notimestamp");
    cipher_->failNextCall(-4093);
    Bytes frame;
    EXPECT_EQ(build(0xB0, {1}, 0, frame), -4093);
    EXPECT_EQ(lastError(), -4093);
    // Error lines carry a time stamp even when the protocol lines do not.
    const std::regex line(
        R"(\d\d/\d\d/\d\d \d\d:\d\d:\d\d\.\d{3}  !!  Error: -4093  VKKRN: \(-4093\) error in encipher process\r\n)");
    EXPECT_TRUE(std::regex_match(readFile("vkkrn_log.txt"), line)) << readFile("vkkrn_log.txt");

    const Bytes inner = oracle::standardReply(0x01, 0xB0, 0, {});
    cipher_->failNextCall(-4094);
    const Split s = split(wrappedReply(inner), 0);
    EXPECT_EQ(s.result, -4094);
    EXPECT_EQ(s.adr, 0xEE);
    EXPECT_EQ(lastError(), -4094);
}

TEST_F(SecuredFrames, RepliesToSecuredFramesAreUnwrapped) {
    start();
    const Bytes inner = oracle::standardReply(0x01, 0xB0, 0x84, {0x10, 0x20, 0x30});
    const Split s = split(wrappedReply(inner), 0);
    EXPECT_EQ(s.result, 0x84);
    EXPECT_EQ(s.adr, 0x01);
    EXPECT_EQ(s.cmd, 0xB0);
    EXPECT_EQ(s.data, Bytes({0x10, 0x20, 0x30}));
    EXPECT_EQ(lastError(), 0);

    // Format 20 hands out the outer frame's parts.
    const Bytes enciphered = peerCipher(inner);
    const Split plain = split(oracle::standardReply(0x01, 0xAF, 0, enciphered), 20);
    EXPECT_EQ(plain.result, 0);
    EXPECT_EQ(plain.cmd, 0xAF);
    EXPECT_EQ(plain.data, enciphered);
}

TEST_F(SecuredFrames, Format10CapturesAndLogsBothFrames) {
    start("logfile;log_notimestamp");
    const Bytes inner = oracle::standardReply(0x01, 0xB0, 0x00, {0x42});
    const Bytes outer = wrappedReply(inner);
    ASSERT_EQ(split(outer, 10).result, 0);
    std::vector<unsigned char> captured(32);
    ASSERT_EQ(VKKRN_GetLastRecProt(handle_, captured.data(), 0), static_cast<int>(inner.size()));
    EXPECT_TRUE(std::equal(inner.begin(), inner.end(), captured.begin()));
    const std::string log = readFile("vkkrn_log.txt");
    EXPECT_EQ(log.find("<<  (S) 0D 01 AF 00 "), 0u) << log;
    EXPECT_NE(log.find("\r\n<<  (S) 07 01 B0 00 42 "), std::string::npos) << log;
}

TEST_F(SecuredFrames, Status0x82EndsTheChannel) {
    for (const int format : {20, 0}) {
        start();
        const Split s = split(oracle::standardReply(0x01, 0xAF, 0x82, {}), format);
        EXPECT_EQ(s.result, 0x82) << format;
        EXPECT_EQ(s.cmd, 0xAF) << format;
        EXPECT_FALSE(reader_->Cipher().holds()) << format;
        Bytes frame;
        ASSERT_EQ(build(0xB0, {}, 0, frame), 5) << "the next request travels in plain";
        g_LibVkKrnDrvHnd.DeleteAllReaders();
        cipher_ = std::make_shared<FakeCipher>();
    }
    start();
    const Split advanced = split(oracle::advancedReply(0x01, 0xAF, 0x82, {}), 0);
    EXPECT_EQ(advanced.result, 0x82);
    EXPECT_FALSE(reader_->Cipher().holds());
}

TEST_F(SecuredFrames, InnerFaultsAreLogged) {
    start("logfile");
    Bytes inner = oracle::standardReply(0x01, 0xB0, 0, {1, 2});
    inner.back() ^= 0x01;
    const Split s = split(wrappedReply(inner), 0);
    EXPECT_EQ(s.result, -4031);
    EXPECT_EQ(s.adr, 0xEE);
    EXPECT_EQ(lastError(), -4031);
    EXPECT_NE(readFile("vkkrn_log.txt").find("  !!  Error: -4031  VKKRN: (-4031) checksum error"),
              std::string::npos);
}

} // namespace

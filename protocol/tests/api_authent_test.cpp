// Reader authentication (0xAE) through the exports of libvkkrn.so against the
// simulated reader with its own AES: the handshake on TCP and on a
// pseudo-terminal, the channel it opens, the refusals before anything is sent,
// the reader's answers that end it, and the wire that carries nothing readable.
#include "sim_link.h"

#include <krnsim/frame.h>
#include <vkkrn.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

using krnsim::Bytes;
using krnsim::Reply;

// 32 key bytes; the key types use the first 16, 24 or 32.
const Bytes kKey = {0x10, 0x21, 0x32, 0x43, 0x54, 0x65, 0x76, 0x87, 0x98, 0xA9, 0xBA,
                    0xCB, 0xDC, 0xED, 0xFE, 0x0F, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66,
                    0x77, 0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF, 0x01};

std::string hexOf(const Bytes& bytes) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    for (const std::uint8_t b : bytes) {
        text += kDigits[b >> 4];
        text += kDigits[b & 15];
    }
    return text;
}

class Authent : public ::testing::TestWithParam<LinkKind> {
  protected:
    void SetUp() override {
        link_ = std::make_unique<SimLink>(GetParam());
        sim().setAuthenticationKey(kKey);
        reader_ = link_->newReader("1000");
    }
    void TearDown() override {
        if (reader_ > 0) VKKRN_DeleteReader(reader_);
        link_.reset();
    }

    krnsim::Reader& sim() { return link_->sim.reader(); }
    int authenticate(int keyType = 0, int adr = 1) {
        Bytes key = kKey;
        return VKKRN_0xAE_ReaderAuthent(reader_, adr, 0x00, keyType, 32, key.data(), 0);
    }
    std::string frameSupport() {
        char value[64] = {};
        EXPECT_EQ(VKKRN_GetReaderPara(reader_, "FRAMESUPPORT", value), 0);
        return value;
    }
    // 0x65 through its export: 0 and the reader's version block, read back.
    int softVersion(unsigned char* out) { return VKKRN_0x65_SoftVersion(reader_, 1, out, 0); }
    int lastError() {
        int code = 1;
        char text[256];
        VKKRN_GetLastError(reader_, &code, text);
        return code;
    }

    std::unique_ptr<SimLink> link_;
    int reader_ = 0;
};

TEST_P(Authent, EachKeyTypeOpensTheChannelAndCommandsTravelInside) {
    for (const int keyType : {0, 1, 2}) {
        SCOPED_TRACE(keyType);
        for (const int format : {0, 1}) {
            std::string hex = hexOf(kKey);
            Bytes key = kKey;
            unsigned char* argument = format == 1 ? reinterpret_cast<unsigned char*>(hex.data()) : key.data();
            const int length = 16 + 8 * keyType;
            ASSERT_EQ(VKKRN_0xAE_ReaderAuthent(reader_, 1, 0x5C, keyType, length, argument, format), 0);
            EXPECT_EQ(lastError(), 0);
            EXPECT_EQ(frameSupport(), "ADVANCED");
            EXPECT_EQ(VKKRN_SetReaderPara(reader_, "FRAMESUPPORT", "STANDARD"), -4056);

            const auto entries = sim().log().entries();
            ASSERT_GE(entries.size(), 2u);
            const krnsim::LogEntry& step2 = entries.back();
            EXPECT_EQ(step2.command, 0xAE);
            EXPECT_EQ(step2.form, krnsim::Form::Advanced);
            EXPECT_EQ(step2.data.size(), 67u);
            EXPECT_EQ(step2.data[0], 0x5C) << "the caller's first byte";
            EXPECT_EQ(step2.data[1], keyType);

            sim().log().clear();
            unsigned char version[64] = {};
            ASSERT_EQ(softVersion(version), 0);
            EXPECT_EQ(Bytes(version, version + 9),
                      Bytes({0x01, 0x02, 0x03, 0x4B, 0x00, 0x10, 0x00, 0x10, 0x00}));
            const krnsim::LogEntry entry = sim().log().entries().at(0);
            EXPECT_TRUE(entry.secured);
            EXPECT_EQ(entry.command, 0x65);
            EXPECT_EQ(entry.raw.at(4), 0xAF) << "the wire unit is an advanced 0xAF request";
            unsigned char sent[64] = {};
            ASSERT_EQ(VKKRN_GetLastSendProt(reader_, sent, 0), 7);
            EXPECT_EQ(sent[4], 0x65) << "the capture holds the inner frame";
        }
    }
    EXPECT_EQ(sim().authentications(), 6u);
}

INSTANTIATE_TEST_SUITE_P(Links, Authent, ::testing::Values(LinkKind::Tcp, LinkKind::Pty),
                         [](const auto& info) { return linkName(info.param); });

} // namespace

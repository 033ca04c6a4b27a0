// Reader authentication (0xAE) through the exports of libvkkrn.so against the
// simulated reader with its own AES: the handshake on TCP and on a
// pseudo-terminal, the channel it opens, the refusals before anything is sent,
// the reader's answers that end it, and the wire that carries nothing readable.
#include "sim_link.h"
#include "tcp_connection.h"

#include <krnsim/frame.h>
#include <vkkrn.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
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

class AuthentTcp : public Authent {
  protected:
    // No channel and the frame mode free again: FRAMESUPPORT as before and
    // settable, and a command goes out plain.
    void expectPlainAndUnlocked(const char* mode = "STANDARD") {
        EXPECT_EQ(frameSupport(), mode);
        EXPECT_EQ(VKKRN_SetReaderPara(reader_, "FRAMESUPPORT", mode), 0) << "not locked";
        expectPlainCommand();
    }
    void expectPlainCommand() { expectOneCommand(false); }
    void expectSecuredCommand() { expectOneCommand(true); }
    // One 0x65 through its export: the requests the simulated reader logged.
    std::vector<krnsim::LogEntry> versionRequests() {
        sim().log().clear();
        unsigned char version[64];
        EXPECT_EQ(softVersion(version), 0);
        return sim().log().entries();
    }
    void expectOneCommand(bool secured) {
        const auto entries = versionRequests();
        ASSERT_EQ(entries.size(), 1u);
        EXPECT_EQ(entries[0].secured, secured);
    }
    // The host still holds its channel: the next command goes out wrapped. (A
    // reader that answered the first step has ended its side, answers 0x82, and
    // the command then goes again in plain.)
    void expectWrappedCommand() {
        const auto entries = versionRequests();
        ASSERT_FALSE(entries.empty());
        EXPECT_EQ(entries[0].raw.at(4), 0xAF);
        EXPECT_EQ(frameSupport(), "ADVANCED");
    }
    // 0xB2 echoes its request: the reply data through the channel.
    int echo(const Bytes& request, Bytes& reply) {
        reply.assign(request.size() + 1, 0);
        int replyLen = 0;
        Bytes in = request;
        const int rc =
            VKKRN_0xB2_ISOCmd(reader_, 1, in.data(), static_cast<int>(in.size()), reply.data(), &replyLen, 0);
        reply.resize(static_cast<std::size_t>(replyLen));
        return rc;
    }
};

TEST_P(AuthentTcp, BadArgumentsSendNothingAndChangeNothing) {
    Bytes key = kKey;
    EXPECT_EQ(VKKRN_0xAE_ReaderAuthent(-1, 1, 0, 0, 16, nullptr, 0), -4002) << "the key before the handle";
    std::string badHex = hexOf(kKey);
    badHex[5] = 'g';
    std::string shortHex = hexOf(kKey).substr(0, 31);
    struct Row {
        const char* name;
        int keyType;
        int keyLength;
        unsigned char* key;
        int format;
    };
    const Row rows[] = {
        {"key type 3", 3, 32, key.data(), 0},
        {"length 65", 0, 65, key.data(), 0},
        {"shorter than its type", 2, 24, key.data(), 0},
        {"bad hex", 0, 16, reinterpret_cast<unsigned char*>(badHex.data()), 1},
        {"hex shorter than twice the length", 0, 16, reinterpret_cast<unsigned char*>(shortHex.data()), 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(VKKRN_0xAE_ReaderAuthent(reader_, 1, 0, row.keyType, row.keyLength, row.key, row.format),
                  -4051);
        EXPECT_EQ(lastError(), -4051);
        EXPECT_TRUE(sim().log().entries().empty()) << "nothing sent";
        EXPECT_EQ(frameSupport(), "STANDARD");
    }
    EXPECT_EQ(VKKRN_SetReaderPara(reader_, "FRAMESUPPORT", "ADVANCED"), 0);
    EXPECT_EQ(VKKRN_0xAE_ReaderAuthent(reader_, 1, 0, 3, 32, key.data(), 0), -4051);
    EXPECT_EQ(frameSupport(), "ADVANCED");

    const int portless = VKKRN_NewReader(0);
    ASSERT_GT(portless, 0);
    EXPECT_EQ(VKKRN_0xAE_ReaderAuthent(portless, 1, 0, 0, 16, key.data(), 0), -4060);
    VKKRN_DeleteReader(portless);
}

TEST_P(AuthentTcp, FirstAnswers) {
    using krnsim::Fault;
    struct Row {
        const char* name;
        std::function<void(krnsim::Reader&)> arrange;
        int adr;
        int result;
        bool oldChannelKept;
    };
    const Row rows[] = {
        {"refused", [](krnsim::Reader& r) { r.script(0xAE, Reply::frame(0x12)); }, 1, 0x12, true},
        {"no data", [](krnsim::Reader& r) { r.script(0xAE, Reply::frame(0x00)); }, 1, -4066, true},
        {"other command",
         [](krnsim::Reader& r) { r.queueFault(Fault::wrongCommand(0x65).onlyCommand(0xAE)); }, 1, -4035,
         true},
        {"other address", [](krnsim::Reader& r) { r.queueFault(Fault::wrongAddress(7).onlyCommand(0xAE)); },
         1, -4037, true},
        {"33 bytes from 0x02", [](krnsim::Reader& r) { r.script(0xAE, Reply::frame(0x00, Bytes(33, 0x02))); },
         1, -4092, false},
        {"32 bytes", [](krnsim::Reader& r) { r.queueAuthFault(1, krnsim::AuthFault::ShortReply); }, 1, -4092,
         false},
    };
    ASSERT_EQ(VKKRN_SetReaderPara(reader_, "CHKRECBUSADR", "1"), 0);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ASSERT_EQ(authenticate(), 0);
        row.arrange(sim());
        EXPECT_EQ(authenticate(0, row.adr), row.result);
        EXPECT_EQ(lastError(), row.result);
        EXPECT_EQ(frameSupport(), "ADVANCED") << "as it was before the call";
        if (row.oldChannelKept)
            expectWrappedCommand();
        else
            expectPlainCommand();
    }
    sim().queueFault(Fault::wrongAddress(7).onlyCommand(0xAE));
    EXPECT_EQ(authenticate(0, 255), 0) << "a request to 255 takes any address";
    expectSecuredCommand();
}

TEST_P(AuthentTcp, SecondAnswers) {
    struct Row {
        const char* name;
        std::function<void(krnsim::Reader&)> arrange;
        int result;
    };
    const Row rows[] = {
        {"another key", [](krnsim::Reader& r) { r.setAuthenticationKey(Bytes(32, 0x77)); }, 0x12},
        {"another vector",
         [](krnsim::Reader& r) {
             krnsim::AesBlock v = krnsim::kDefaultChannelVector;
             v[15] ^= 1;
             r.setChannelVector(v);
         },
         0x12},
        {"wrong marker", [](krnsim::Reader& r) { r.queueAuthFault(2, krnsim::AuthFault::WrongMarker); },
         -4092},
        {"wrong proof", [](krnsim::Reader& r) { r.queueAuthFault(2, krnsim::AuthFault::WrongProof); }, -4092},
        {"short reply", [](krnsim::Reader& r) { r.queueAuthFault(2, krnsim::AuthFault::ShortReply); }, -4092},
        {"silence",
         [](krnsim::Reader& r) {
             r.queueFault(krnsim::Fault::delay(krnsim::Millis(0)).onlyCommand(0xAE));
             r.queueFault(krnsim::Fault::silence().onlyCommand(0xAE));
         },
         link_->timeoutCode()},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        sim().setAuthenticationKey(kKey);
        sim().setChannelVector(krnsim::kDefaultChannelVector);
        row.arrange(sim());
        EXPECT_EQ(authenticate(2), row.result);
        EXPECT_EQ(lastError(), row.result);
        expectPlainAndUnlocked();
    }
}

TEST_P(AuthentTcp, ASecondAuthenticationGoesPlainAndReplacesTheChannel) {
    ASSERT_EQ(authenticate(0), 0);
    expectSecuredCommand();
    sim().log().clear();
    ASSERT_EQ(authenticate(2), 0);
    for (const auto& entry : sim().log().entries()) {
        EXPECT_FALSE(entry.secured);
        EXPECT_EQ(entry.raw.at(4), 0xAE) << "0xAE is never wrapped";
    }
    expectSecuredCommand();
    EXPECT_EQ(sim().authentications(), 2u);
}

TEST_P(AuthentTcp, AThousandExchangesStayInStep) {
    ASSERT_EQ(authenticate(1), 0);
    Bytes reply;
    for (int i = 0; i < 1000; ++i) {
        Bytes request(static_cast<std::size_t>(i % 300 + 1));
        for (std::size_t j = 0; j < request.size(); ++j)
            request[j] = static_cast<unsigned char>(i + j);
        ASSERT_EQ(echo(request, reply), 0) << i;
        ASSERT_EQ(reply, request) << i;
    }
    for (const std::size_t n : {65000u, 65518u, 40000u}) {
        const Bytes request(n, static_cast<unsigned char>(n));
        ASSERT_EQ(echo(request, reply), 0) << n;
        EXPECT_EQ(reply, request) << n;
    }
}

// Whether `window` bytes of `needle` in a row (the whole needle when it is
// shorter) appear anywhere in `hay`.
bool sharesWindow(const Bytes& hay, const Bytes& needle, std::size_t window = 8) {
    const std::size_t w = std::min(window, needle.size());
    for (std::size_t i = 0; i + w <= needle.size(); ++i)
        if (std::search(hay.begin(), hay.end(), needle.begin() + static_cast<long>(i),
                        needle.begin() + static_cast<long>(i + w)) != hay.end())
            return true;
    return false;
}

TEST_P(AuthentTcp, NothingReadableLeavesTheHost) {
    Bytes marker(40);
    for (std::size_t i = 0; i < marker.size(); ++i)
        marker[i] = static_cast<unsigned char>(0x30 + i);
    for (const int keyType : {0, 2}) {
        SCOPED_TRACE(keyType);
        ASSERT_EQ(authenticate(keyType), 0);
        sim().log().clear();
        std::vector<Bytes> inner;
        auto recordInner = [&] {
            unsigned char sent[512];
            const int n = VKKRN_GetLastSendProt(reader_, sent, 0);
            ASSERT_GT(n, 0);
            inner.emplace_back(sent, sent + n);
        };
        Bytes reply;
        ASSERT_EQ(echo(marker, reply), 0);
        recordInner();
        ASSERT_EQ(echo(marker, reply), 0);
        recordInner();
        // A key-writing frame of the 0xAD layout, sent as the caller's own frame.
        Bytes keyFrame = {40, 0x01, 0xAD, 0x00, 0x00, 32}; // LEN counts the CRC appended
        keyFrame.insert(keyFrame.end(), kKey.begin(), kKey.end());
        Bytes rx(512);
        EXPECT_GT(VKKRN_SendTransparent(reader_, keyFrame.data(), static_cast<int>(keyFrame.size()),
                                        rx.data(), 512, 1, 0),
                  0);
        recordInner();
        Bytes tx = {0x07, 0x01, 0xB2, 0x41, 0x42};
        EXPECT_GE(VKKRN_Transmit(reader_, tx.data(), 5, 1, 0), 0);
        recordInner();
        EXPECT_GT(VKKRN_Receive(reader_, rx.data(), 512, 0), 0);

        const auto entries = sim().log().entries();
        ASSERT_EQ(entries.size(), 4u);
        for (std::size_t i = 0; i < entries.size(); ++i) {
            const Bytes& raw = entries[i].raw;
            EXPECT_TRUE(entries[i].secured) << i;
            EXPECT_EQ(raw.at(0), 0x02) << "an advanced request";
            EXPECT_EQ(raw.at(4), 0xAF);
            EXPECT_EQ(raw.at(5), 0x00);
            EXPECT_FALSE(sharesWindow(raw, marker)) << i;
            EXPECT_FALSE(sharesWindow(raw, kKey)) << i;
            for (const Bytes& frame : inner)
                EXPECT_FALSE(sharesWindow(raw, frame)) << i;
        }
        EXPECT_EQ(inner[0], inner[1]);
        EXPECT_NE(entries[0].raw, entries[1].raw) << "one request twice differs on the wire";
    }
}

TEST_P(AuthentTcp, EveryReaderOnASocketLearnsOfItsDisconnection) {
    const int second = link_->newReader("1000");
    ASSERT_GT(second, 0);
    Bytes key = kKey;
    ASSERT_EQ(VKKRN_0xAE_ReaderAuthent(second, 1, 0, 0, 16, key.data(), 0), 0);
    VKKRN_DeleteReader(reader_); // the first reader leaves; the second keeps the registration
    reader_ = second;
    expectSecuredCommand();

    ASSERT_EQ(link_->disconnect(), 0);
    TcpLibrary tcp;
    const int handle = tcp.connect("127.0.0.1", link_->tcpPort());
    ASSERT_GT(handle, 0);
    link_->handle = handle;
    ASSERT_EQ(VKKRN_SetReaderPara(reader_, "PORTHND", std::to_string(handle).c_str()), 0);
    expectPlainCommand();
    EXPECT_EQ(frameSupport(), "ADVANCED") << "the frame mode stays as the channel left it";
}

INSTANTIATE_TEST_SUITE_P(Tcp, AuthentTcp, ::testing::Values(LinkKind::Tcp),
                         [](const auto& info) { return linkName(info.param); });

INSTANTIATE_TEST_SUITE_P(Links, Authent, ::testing::Values(LinkKind::Tcp, LinkKind::Pty),
                         [](const auto& info) { return linkName(info.param); });

} // namespace

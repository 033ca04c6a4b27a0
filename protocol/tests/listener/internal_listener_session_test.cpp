// One listener connection without sockets, on a fake clock: framing, dispatch,
// acknowledgements, limits and the handshake, with the real cipher object on
// the library's side and the simulated reader's own AES on the reader's.
#include "listener/listener_session.h"
#include "listener/listener_socket.h"
#include "security/crypto_plugin_aes.h"

#include <vkkrn.h>

#include <krnsim/notify_channel.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

using namespace vkkrn::listener;
using krnsim::Bytes;
using krnsim::Form;

struct Call {
    int status = 0;
    int command = 0;
    Bytes data;
};

class FakeHost : public ListenerHost {
  public:
    void line(const char* text) override { lines.emplace_back(text); }
    void line(const char* text, int value) override {
        lines.push_back(std::string(text) + std::to_string(value));
    }
    void report(int code) override { reports.push_back(code); }
    int deliver(const Delivery& frame, std::uint8_t* acknowledge) override {
        calls.push_back({frame.status, frame.command, Bytes(frame.data, frame.data + frame.length)});
        *acknowledge = ackByte;
        return result;
    }
    void storeReceived(const std::uint8_t* frame, int length, int, bool) override {
        lastReceived.assign(frame, frame + length);
    }
    void storeSent(const std::uint8_t* frame, int length, bool) override {
        lastSent.assign(frame, frame + length);
    }
    void frameBegins() override { ++inFrame; }
    void frameEnds() override { --inFrame; }
    int send(std::span<const std::uint8_t> bytes) override {
        sent.emplace_back(bytes.begin(), bytes.end());
        return sendError;
    }
    int frameMode() override { return mode; }
    void lockAdvanced() override { mode = 2; }
    std::unique_ptr<VKKRN_CryptoPlugIn> makeCipher(unsigned keyType, const std::uint8_t* key) override;

    std::vector<std::string> lines;
    std::vector<int> reports;
    std::vector<Call> calls;
    std::vector<Bytes> sent;
    Bytes lastReceived;
    Bytes lastSent;
    int inFrame = 0;
    int mode = 1;
    int result = 0;
    std::uint8_t ackByte = 0;
    int sendError = 0;
    bool randFails = false;
    bool rekeyFails = false;
};

class NoRandom : public VKKRN_CryptoPlugIn_AES {
  public:
    using VKKRN_CryptoPlugIn_AES::VKKRN_CryptoPlugIn_AES;
    int get_rand(unsigned char*, int) override { return -1; }
};

// Keys at construction, then refuses the channel key.
class NoRekey : public VKKRN_CryptoPlugIn_AES {
  public:
    using VKKRN_CryptoPlugIn_AES::VKKRN_CryptoPlugIn_AES;
    int init(const unsigned char*) override { return -4091; }
};

std::unique_ptr<VKKRN_CryptoPlugIn> FakeHost::makeCipher(unsigned keyType, const std::uint8_t* key) {
    if (randFails) return std::make_unique<NoRandom>(keyType, key);
    if (rekeyFails) return std::make_unique<NoRekey>(keyType, key);
    return std::make_unique<VKKRN_CryptoPlugIn_AES>(keyType, key);
}

Bytes keyOf(std::size_t n) {
    Bytes key(n);
    for (std::size_t i = 0; i < n; ++i)
        key[i] = static_cast<std::uint8_t>(0x30 + i);
    return key;
}

class ListenerSession : public ::testing::Test {
  protected:
    void open(int task, unsigned acknowledge = 0, std::size_t keyLength = 0) {
        key_ = keyOf(keyLength == 0 ? 32 : keyLength);
        config_.taskId = task;
        config_.command = task == 3 ? 0x22 : task == 6 ? 0x1F : 0x77;
        config_.busAddress = 9;
        config_.acknowledge = acknowledge;
        config_.cipher = keyLength != 0;
        config_.keyLength = static_cast<unsigned>(keyLength);
        config_.key = key_.data();
        session_ = std::make_unique<Session>(config_, host_);
        session_->start(now_);
    }
    // Feeds as the listener thread reads: never more than wanted().
    void feed(const Bytes& bytes, std::size_t chunk = 0x10000) {
        std::size_t at = 0;
        while (at < bytes.size() && session_->wanted() > 0) {
            const std::size_t n = std::min({chunk, session_->wanted(), bytes.size() - at});
            session_->feed({bytes.data() + at, n}, now_);
            at += n;
        }
    }
    void advance(Millis ms) {
        now_ += ms;
        session_->tick(now_);
    }
    krnsim::HostFrame lastSent() { return krnsim::splitHostFrame(host_.sent.back()); }
    // Runs the handshake as the reader; true when the host's proof checks.
    bool handshake(krnsim::NotifyChannel& reader, const krnsim::HandshakeFaults& faults = {}) {
        const std::size_t before = host_.sent.size();
        feed(reader.step1());
        if (host_.sent.size() != before + 1 || !reader.takeAnswer1(lastSent())) return false;
        feed(reader.step2(faults));
        return host_.sent.size() == before + 2 && reader.takeAnswer2(lastSent());
    }

    FakeHost host_;
    SessionConfig config_;
    Bytes key_;
    Millis now_ = 1000000;
    std::unique_ptr<Session> session_;
};

TEST_F(ListenerSession, FramesOfEveryShapeAreDeliveredOnce) {
    open(3);
    const Bytes standard = krnsim::buildReply(Form::Standard, 1, 0x22, 0, Bytes{1, 2, 3});
    const Bytes advanced = krnsim::buildReply(Form::Advanced, 1, 0x22, 4, Bytes{5});
    feed(standard);
    feed(advanced);
    feed(standard, 1); // a byte at a time
    Bytes two = standard;
    two.insert(two.end(), advanced.begin(), advanced.end());
    feed(two);
    ASSERT_EQ(host_.calls.size(), 5u);
    EXPECT_EQ(host_.calls[0].data, (Bytes{1, 2, 3}));
    EXPECT_EQ(host_.calls[1].status, 4);
    EXPECT_EQ(host_.calls[4].data, Bytes{5});
    EXPECT_EQ(host_.lastReceived, advanced);
    EXPECT_TRUE(host_.reports.empty());
    EXPECT_TRUE(host_.sent.empty()) << "acknowledge flag 0";
    EXPECT_EQ(host_.inFrame, 0);

    const Bytes big = krnsim::buildReply(Form::Advanced, 1, 0x22, 0, Bytes(65527, 0x5A));
    ASSERT_EQ(big.size(), 65535u);
    feed(big, 1000);
    ASSERT_EQ(host_.calls.size(), 6u);
    EXPECT_EQ(host_.calls.back().data.size(), 65527u);
}

TEST_F(ListenerSession, BadBytesGiveTheirCodesAndTheNextFrameGoesThrough) {
    struct Case {
        Bytes bytes;
        int code; // 0: a noise line, no report
    };
    Bytes badCrc = krnsim::buildReply(Form::Standard, 1, 0x22, 0, Bytes{1});
    badCrc.back() ^= 0xFF;
    const Case cases[] = {
        {{0x01, 0x02, 0x03}, 0},
        {{0x02, 0x00, 0x06}, -4030},
        {{0x05, 0x01, 0x22, 0x00, 0x00}, -4030},
        {badCrc, -4031},
        {krnsim::buildReply(Form::Advanced, 1, 0xAF, 0, Bytes{1, 2}), -4092},
        {krnsim::buildReply(Form::Standard, 1, 0xAF, 0, Bytes{1, 2}), -4092},
    };
    open(3);
    const Bytes good = krnsim::buildReply(Form::Standard, 1, 0x22, 0, Bytes{7});
    for (const Case& c : cases) {
        host_.reports.clear();
        host_.lines.clear();
        host_.calls.clear();
        feed(c.bytes);
        feed(good);
        if (c.code == 0) {
            EXPECT_TRUE(host_.reports.empty());
            ASSERT_FALSE(host_.lines.empty());
            EXPECT_EQ(host_.lines.front(), "Noise data received: 01 02 03");
        } else {
            EXPECT_EQ(host_.reports, std::vector<int>{c.code});
        }
        EXPECT_EQ(host_.calls.size(), 1u) << c.code;
    }
}

TEST_F(ListenerSession, AStalledFrameIsReportedOnceAndDropped) {
    config_.frameLimit = 0; // counts as one second
    open(3);
    const Bytes good = krnsim::buildReply(Form::Standard, 1, 0x22, 0, Bytes{7});
    feed(Bytes(good.begin(), good.begin() + 4));
    advance(1000);
    EXPECT_TRUE(host_.reports.empty());
    advance(1);
    advance(500);
    EXPECT_EQ(host_.reports, std::vector<int>{-1230});
    feed(good);
    EXPECT_EQ(host_.calls.size(), 1u);
    // A split head is completed like the rest.
    feed(Bytes{0x02});
    advance(600);
    feed(Bytes{0x00, 0x09});
    EXPECT_EQ(host_.reports.size(), 1u);
    advance(600);
    EXPECT_EQ(host_.reports, (std::vector<int>{-1230, -1230}));
}

TEST_F(ListenerSession, AcknowledgementsFollowTheTaskAndTheLastCommand) {
    open(3, 1);
    feed(krnsim::buildReply(Form::Standard, 1, 0x22, 0, Bytes{1}));
    ASSERT_EQ(host_.sent.size(), 1u);
    EXPECT_EQ(host_.sent[0], krnsim::buildRequest(Form::Standard, 9, 0x32, {}));
    EXPECT_EQ(host_.lastSent, host_.sent[0]);
    feed(krnsim::buildReply(Form::Standard, 1, 0x6E, 0, Bytes{1}));
    EXPECT_EQ(host_.sent.size(), 1u) << "0x6E is not acknowledged";

    host_.sent.clear();
    host_.result = 1;
    host_.ackByte = 0x05;
    open(6);
    feed(krnsim::buildReply(Form::Standard, 1, 0x1F, 0, Bytes{1}));
    ASSERT_EQ(host_.sent.size(), 1u);
    EXPECT_EQ(host_.sent[0], krnsim::buildReply(Form::Standard, 9, 0x1F, 0, Bytes{0x05}));
    host_.result = 0;
    feed(krnsim::buildReply(Form::Standard, 1, 0x1F, 0, Bytes{1}));
    EXPECT_EQ(host_.sent.size(), 1u);

    host_.sent.clear();
    host_.calls.clear();
    open(7);
    feed(krnsim::buildReply(Form::Standard, 0x21, 0x77, 0, Bytes{1, 2}));
    ASSERT_EQ(host_.calls.size(), 1u);
    EXPECT_EQ(host_.calls[0].data, (Bytes{1, 2, 0x21})) << "bus address appended";
    EXPECT_TRUE(host_.sent.empty());

    // A failing send closes the connection.
    open(3, 1);
    host_.sendError = 32;
    feed(krnsim::buildReply(Form::Standard, 1, 0x22, 0, Bytes{1}));
    EXPECT_EQ(session_->closing(), Session::Close::SendFailed);
    EXPECT_EQ(host_.lines.back(), "Send of acknowledge protocol failed. send returns: 32");
    EXPECT_EQ(session_->wanted(), 0u);
}

TEST_F(ListenerSession, TheIdleLimitHoldsOnlyBeforeTheFirstFrame) {
    open(3);
    advance(2999);
    EXPECT_EQ(session_->closing(), Session::Close::None);
    advance(1);
    EXPECT_EQ(session_->closing(), Session::Close::Idle);
    EXPECT_EQ(host_.lines.back(), "Idle timeout: 3");
    EXPECT_TRUE(host_.reports.empty());

    open(3);
    advance(1000);
    feed(krnsim::buildReply(Form::Standard, 1, 0x22, 0, Bytes{1}));
    advance(6000);
    advance(6000);
    EXPECT_EQ(session_->closing(), Session::Close::None) << "a quiet reader keeps its connection";

    // Bad frames do not count as served.
    open(3);
    Bytes bad = krnsim::buildReply(Form::Standard, 1, 0x22, 0, Bytes{1});
    bad.back() ^= 1;
    for (int i = 0; i < 6; ++i) {
        feed(bad);
        advance(500);
    }
    EXPECT_EQ(session_->closing(), Session::Close::Idle);
    EXPECT_EQ(host_.reports, std::vector<int>(6, -4031));
}

TEST_F(ListenerSession, HandshakeOfEachKeyTypeOpensTheChannel) {
    for (std::uint8_t type = 0; type <= 2; ++type) {
        const std::size_t length = 16u + 8u * type;
        host_ = FakeHost{};
        open(3, 0, length);
        krnsim::NotifyChannel reader(type, key_, 1);
        ASSERT_TRUE(handshake(reader)) << int(type);
        EXPECT_EQ(session_->authState(), kAuthenticated);
        EXPECT_EQ(host_.mode, 2) << "frame mode locked to advanced";

        const Bytes inner = krnsim::buildReply(Form::Advanced, 1, 0x22, 3, Bytes{0xDE, 0xAD});
        feed(reader.wrap(inner));
        ASSERT_EQ(host_.calls.size(), 1u);
        EXPECT_EQ(host_.calls[0].status, 3);
        EXPECT_EQ(host_.calls[0].command, 0x22);
        EXPECT_EQ(host_.calls[0].data, (Bytes{0xDE, 0xAD}));
        EXPECT_EQ(host_.lastReceived, inner);
        ASSERT_EQ(host_.sent.size(), 3u) << "the cipher acknowledges every notification";
        krnsim::HostFrame ack = lastSent();
        ASSERT_TRUE(reader.unwrap(ack));
        EXPECT_EQ(ack.verdict, "ok");
        EXPECT_EQ(ack.command, 0x32);
        EXPECT_EQ(ack.address, 9);
        EXPECT_EQ(ack.frame, host_.lastSent);

        // A second notification keeps both streams in step.
        feed(reader.wrap(inner));
        ack = lastSent();
        ASSERT_TRUE(reader.unwrap(ack));
        EXPECT_EQ(ack.verdict, "ok");
        advance(10000);
        EXPECT_EQ(session_->closing(), Session::Close::None);
    }
}

TEST_F(ListenerSession, RefusedHandshakeStepsAnswerNothing) {
    open(3, 0, 16);
    krnsim::NotifyChannel wrongType(1, keyOf(24), 1);
    feed(wrongType.step1());
    EXPECT_TRUE(host_.sent.empty()) << "type 1 needs 24 key bytes";
    EXPECT_EQ(host_.reports, std::vector<int>{-4092});

    krnsim::NotifyChannel reader(0, key_, 1);
    feed(krnsim::buildReply(Form::Standard, 1, 0x22, 0, Bytes{1}));
    EXPECT_EQ(host_.reports.back(), -4092) << "a notification before the handshake";
    EXPECT_TRUE(host_.calls.empty());

    // A 73-byte step 2 (refused before deciphering), then the real one.
    feed(reader.step1());
    ASSERT_TRUE(reader.takeAnswer1(lastSent()));
    krnsim::HandshakeFaults shortStep;
    shortStep.shortStep2 = true;
    shortStep.step2Enciphered = false;
    const Bytes step73 = reader.step2(shortStep);
    EXPECT_EQ(step73.size(), 73u);
    feed(step73);
    EXPECT_EQ(host_.reports.back(), -4092);
    EXPECT_EQ(session_->authState(), 1);

    // Wrong rotation (refused after deciphering: both streams moved), then corrected.
    krnsim::HandshakeFaults rotation;
    rotation.wrongRotation = true;
    feed(reader.step2(rotation));
    EXPECT_EQ(host_.reports.back(), -4092);
    EXPECT_EQ(session_->authState(), 1);
    const std::size_t answers = host_.sent.size();
    feed(reader.step2());
    ASSERT_EQ(host_.sent.size(), answers + 1);
    ASSERT_TRUE(reader.takeAnswer2(lastSent()));
    EXPECT_EQ(session_->authState(), kAuthenticated);

    feed(krnsim::buildReply(Form::Advanced, 1, 0x22, 0, Bytes{1}));
    EXPECT_EQ(host_.reports.back(), -4094) << "plain after the handshake";
    Bytes lateStep2{0x00, 0x02};
    lateStep2.resize(66, 0x11);
    feed(krnsim::buildReply(Form::Advanced, 1, 0xAE, 0, lateStep2));
    EXPECT_EQ(host_.reports.back(), -4092) << "step 2 in state 2";
    EXPECT_EQ(session_->authState(), kAuthenticated);

    // Step 1 in state 2 starts over.
    krnsim::NotifyChannel again(0, key_, 1);
    ASSERT_TRUE(handshake(again));
    EXPECT_EQ(session_->authState(), kAuthenticated);
}

TEST_F(ListenerSession, NoRandomBytesFailsStepOne) {
    host_.randFails = true;
    open(3, 0, 32);
    krnsim::NotifyChannel reader(2, key_, 1);
    feed(reader.step1());
    EXPECT_TRUE(host_.sent.empty());
    EXPECT_EQ(host_.reports, std::vector<int>{-4092});
    EXPECT_EQ(session_->authState(), 0);
}

TEST_F(ListenerSession, AFailingRekeyFailsStepTwo) {
    host_.rekeyFails = true;
    open(3, 0, 16);
    krnsim::NotifyChannel reader(0, key_, 1);
    handshake(reader); // the proof goes out before the channel key is refused
    EXPECT_EQ(host_.reports, std::vector<int>{-4092});
    EXPECT_EQ(session_->authState(), 0) << "cipher discarded";
    feed(krnsim::buildReply(Form::Advanced, 1, 0xAF, 0, Bytes{1, 2}));
    EXPECT_EQ(host_.reports.back(), -4092);
    EXPECT_TRUE(host_.calls.empty());
}

TEST_F(ListenerSession, AnUnauthenticatedReaderIsClosedAtTheIdleLimit) {
    open(3, 0, 16);
    krnsim::NotifyChannel reader(0, key_, 1);
    for (int i = 0; i < 6; ++i) {
        feed(reader.step1());
        advance(500);
    }
    EXPECT_EQ(session_->closing(), Session::Close::Idle);
    EXPECT_EQ(host_.reports, std::vector<int>{-4092});
}

TEST(ListenerSocket, KeepAliveValuesAndBadAddresses) {
    _VKKRN_TASK_INIT r{};
    r.uiTcpPort = 0;
    r.ucKeepAlive = 1;
    r.uiKeepAliveIdle = 1500;
    r.uiKeepAliveProbes = 3;
    r.uiKeepAliveInterval = 2500;
    std::vector<std::string> lines;
    const LineSink sink = [&](const char* text, std::optional<int> value) {
        lines.push_back(std::string(text) + (value ? std::to_string(*value) : ""));
    };
    std::strcpy(r.cAddress, "127.0.0.1");
    const int fd = openListeningSocket(r, sink);
    ASSERT_GE(fd, 0);
    int value = 0;
    socklen_t n = sizeof value;
    ASSERT_EQ(getsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &value, &n), 0);
    EXPECT_EQ(value, 2);
    ASSERT_EQ(getsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &value, &n), 0);
    EXPECT_EQ(value, 3);
    ASSERT_EQ(getsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &value, &n), 0);
    EXPECT_EQ(value, 3);
    ASSERT_EQ(getsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &value, &n), 0);
    EXPECT_EQ(value, 1);
    EXPECT_EQ(lines, std::vector<std::string>{"KeepAlive option enabled"});
    close(fd);

    // Zero is refused by the system: logged, and the socket still listens.
    r.uiKeepAliveIdle = 0;
    r.uiKeepAliveProbes = 0;
    lines.clear();
    const int zero = openListeningSocket(r, sink);
    ASSERT_GE(zero, 0);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[1].rfind("Set KeepAlive option TCP_KEEPIDLE with setsockopt failed: ", 0), 0u);
    EXPECT_EQ(lines[2].rfind("Set KeepAlive option TCP_KEEPCNT with setsockopt failed: ", 0), 0u);
    close(zero);

    for (const char* bad : {"1.2.3", "localhost", "256.1.1.1"}) {
        std::strcpy(r.cAddress, bad);
        EXPECT_EQ(openListeningSocket(r, sink), -1) << bad;
    }
}

TEST(ListenerSocket, ASendToAPeerThatNeverReadsGivesUp) {
    int pair[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, pair), 0);
    const int small = 4096;
    setsockopt(pair[0], SOL_SOCKET, SO_SNDBUF, &small, sizeof small);
    const std::vector<std::uint8_t> bytes(1 << 20, 0x5A);
    std::atomic<unsigned char> stop{0};
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(sendWithin(pair[0], bytes, std::chrono::milliseconds(50), stop), ETIMEDOUT);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(50));
    stop.store(1);
    EXPECT_EQ(sendWithin(pair[0], bytes, std::chrono::seconds(10), stop), ECANCELED);
    close(pair[1]);
    stop.store(0);
    EXPECT_EQ(sendWithin(pair[0], bytes, std::chrono::seconds(10), stop), EPIPE) << "no SIGPIPE";
    close(pair[0]);
}

} // namespace

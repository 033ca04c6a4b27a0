#include "hex.h"

#include <krnsim/authentication.h>
#include <krnsim/reader.h>

#include <gtest/gtest.h>

namespace krnsim {
namespace {

using test::hex;
using test::request;
using test::toHex;

AesBlock block(const Bytes& bytes) {
    AesBlock b{};
    std::copy(bytes.begin(), bytes.end(), b.begin());
    return b;
}

TEST(KrnSimAes, Fips197Examples) {
    const Bytes plain = hex("00112233445566778899aabbccddeeff");
    struct Case {
        const char* key;
        const char* cipher;
    };
    const Case cases[] = {
        {"000102030405060708090a0b0c0d0e0f", "69c4e0d86a7b0430d8cdb78070b4c55a"},
        {"000102030405060708090a0b0c0d0e0f1011121314151617", "dda97ca4864cdfe06eaf70a0ec0d7191"},
        {"000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f",
         "8ea2b7ca516745bfeafc49904b496089"},
    };
    for (const Case& c : cases) {
        const Aes aes(hex(c.key));
        const AesBlock out = aes.encrypt(block(plain));
        EXPECT_EQ(toHex(out), toHex(hex(c.cipher))) << c.key;
    }
    EXPECT_THROW(Aes(Bytes(15, 0)), std::invalid_argument);
}

TEST(KrnSimAes, OfbOfSp80038aInOneCallAndTheDroppedRemainder) {
    const Bytes plain = hex("6bc1bee22e409f96e93d7e117393172a ae2d8a571e03ac9c9eb76fac45af8e51"
                            "30c81c46a35ce411e5fbc1191a0a52ef f69f2445df4f9b17ad2b417be66c3710");
    const Bytes expected = hex("3b3fd92eb72dad20333449f8e83cfb4a 7789508d16918f03f53c52dac54ed825"
                               "9740051e9c5fecf64344f7a82260edcc 304c6528f659c77866a510d9c1d6ae5e");
    const Bytes key = hex("2b7e151628aed2a6abf7158809cf4f3c");
    const AesBlock iv = block(hex("000102030405060708090a0b0c0d0e0f"));
    ChannelCipher one(key, iv);
    EXPECT_EQ(one.apply(plain), expected);

    ChannelCipher split(key, iv);
    const Bytes first = split.apply(ByteView(plain).first(16));
    const Bytes second = split.apply(ByteView(plain).subspan(16, 16));
    EXPECT_EQ(first, Bytes(expected.begin(), expected.begin() + 16)) << "16 + 16 equals 32";
    EXPECT_EQ(second, Bytes(expected.begin() + 16, expected.begin() + 32));

    ChannelCipher five(key, iv);
    five.apply(ByteView(plain).first(5));
    EXPECT_NE(five.apply(ByteView(plain).subspan(5, 5)), Bytes(expected.begin() + 5, expected.begin() + 10))
        << "a second call starts a new block";
}

TEST(KrnSimAes, RotationsAndChannelKey) {
    Bytes a(32);
    Bytes b(32);
    for (std::size_t i = 0; i < 32; ++i) {
        a[i] = static_cast<std::uint8_t>(i);
        b[i] = static_cast<std::uint8_t>(0x80 + i);
    }
    EXPECT_EQ(rotateLeft(a).front(), 1);
    EXPECT_EQ(rotateLeft(a).back(), 0);
    EXPECT_EQ(rotateRight(rotateLeft(a)), a);
    EXPECT_EQ(toHex(channelKey(a, b, 0)), "00 01 02 03 80 81 82 83 0C 0D 0E 0F 8C 8D 8E 8F");
    EXPECT_EQ(channelKey(a, b, 1).size(), 24u);
    EXPECT_EQ(toHex(ByteView(channelKey(a, b, 2)).subspan(24)), "1C 1D 1E 1F 9C 9D 9E 9F");
}

// The host's side of the handshake, played with the reader's own cipher.
class AuthHost {
  public:
    AuthHost(Bytes key, std::uint8_t keyType) : key_(std::move(key)), keyType_(keyType) {}

    // The data of a reply frame (standard form).
    static Bytes replyData(const Bytes& frame) { return Bytes(frame.begin() + 4, frame.end() - 2); }
    static std::uint8_t status(const Bytes& frame) { return frame.at(3); }

    Bytes step1() const { return request(0xAE, {0x00, keyType_, 0x01}); }
    // Takes the step-1 reply and builds step 2.
    Bytes step2(const Bytes& reply) {
        handshake_.emplace(ByteView(key_).first(authKeySize(keyType_)), kDefaultChannelVector);
        const Bytes data = replyData(reply);
        responder_ = handshake_->apply(ByteView(data).subspan(1));
        initiator_.assign(32, 0);
        for (std::size_t i = 0; i < 32; ++i)
            initiator_[i] = static_cast<std::uint8_t>(7 * i + 3);
        Bytes plain = initiator_;
        const Bytes rotated = rotateLeft(responder_);
        plain.insert(plain.end(), rotated.begin(), rotated.end());
        Bytes out{0x00, keyType_, 0x02};
        const Bytes enciphered = handshake_->apply(plain);
        out.insert(out.end(), enciphered.begin(), enciphered.end());
        return request(0xAE, out);
    }
    // Checks the step-2 reply's proof and opens the host's channel.
    bool finish(const Bytes& reply) {
        const Bytes data = replyData(reply);
        if (data.size() != 33 || data[0] != 0x02) return false;
        if (rotateRight(handshake_->apply(ByteView(data).subspan(1))) != initiator_) return false;
        channel_.emplace(channelKey(initiator_, responder_, keyType_), kDefaultChannelVector);
        return true;
    }
    Bytes wrap(const Bytes& plain) {
        Bytes data{0x00};
        const Bytes enciphered = channel_->apply(plain);
        data.insert(data.end(), enciphered.begin(), enciphered.end());
        return request(0xAF, data);
    }
    Bytes unwrap(const Bytes& reply) { return channel_->apply(replyData(reply)); }

  private:
    Bytes key_;
    std::uint8_t keyType_;
    Bytes initiator_;
    Bytes responder_;
    std::optional<ChannelCipher> handshake_;
    std::optional<ChannelCipher> channel_;
};

class KrnSimAuthentication : public ::testing::Test {
  protected:
    Bytes send(const Bytes& frame) { return reader.exchange(frame).bytes(); }
    // Runs both steps; the host's verdict on the reader's proof.
    bool handshake(AuthHost& host) {
        const Bytes first = send(host.step1());
        if (AuthHost::status(first) != 0) return false;
        const Bytes second = send(host.step2(first));
        return AuthHost::status(second) == 0 && host.finish(second);
    }
    const Bytes key = hex("000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f");
    Reader reader;
};

TEST_F(KrnSimAuthentication, WithoutAKeyTheReaderRefusesAsBefore) {
    EXPECT_EQ(AuthHost::status(send(request(0xAE, {0x00, 0x00, 0x01}))), 0x82);
    EXPECT_THROW(reader.setAuthenticationKey(Bytes(20, 1)), std::invalid_argument);
}

TEST_F(KrnSimAuthentication, EachKeyTypeOpensAChannelThatCarriesRequests) {
    reader.setAuthenticationKey(key);
    for (const std::uint8_t type : {0, 1, 2}) {
        AuthHost host(key, type);
        ASSERT_TRUE(handshake(host)) << int(type);
        const Bytes reply = send(host.wrap(request(0x65)));
        ASSERT_EQ(reply.at(2), 0xAF);
        EXPECT_EQ(host.unwrap(reply),
                  buildReply(Form::Standard, 1, 0x65, 0, hex("01 02 03 4B 00 10 00 10 00")));
        EXPECT_TRUE(reader.log().entries().back().secured);
        EXPECT_EQ(send(request(0x65)).at(2), 0x65) << "plain requests stay plain";
    }
    EXPECT_EQ(reader.authentications(), 3u);
}

TEST_F(KrnSimAuthentication, RefusalsAndLengthRule) {
    reader.setAuthenticationKey(Bytes(key.begin(), key.begin() + 16));
    EXPECT_EQ(AuthHost::status(send(request(0xAE, {0x00, 0x01, 0x01}))), kAuthRefused) << "key too short";
    EXPECT_EQ(AuthHost::status(send(request(0xAE, {0x00, 0x03, 0x01}))), kAuthRefused) << "key type 3";
    EXPECT_EQ(AuthHost::status(send(request(0xAE, {0x00, 0x00}))), 0x81);
    EXPECT_EQ(AuthHost::status(send(request(0xAE, {0x00, 0x00, 0x02}))), 0x81) << "step 2 needs 67 bytes";
    AuthHost stranger(key, 0);
    const Bytes orphan = stranger.step2(buildReply(Form::Standard, 1, 0xAE, 0, Bytes(33, 0)));
    EXPECT_EQ(AuthHost::status(send(orphan)), kAuthRefused) << "step 2 without step 1";

    AuthHost wrongKey(Bytes(16, 0x55), 0);
    const Bytes first = send(wrongKey.step1());
    EXPECT_EQ(AuthHost::status(first), 0);
    EXPECT_EQ(AuthHost::status(send(wrongKey.step2(first))), kAuthRefused) << "wrong proof";
}

TEST_F(KrnSimAuthentication, FaultsOfTheAnswers) {
    reader.setAuthenticationKey(key);
    AuthHost host(key, 0);
    reader.queueAuthFault(1, AuthFault::WrongMarker);
    EXPECT_EQ(AuthHost::replyData(send(host.step1())).at(0), 0x02);
    reader.queueAuthFault(1, AuthFault::ShortReply);
    EXPECT_EQ(AuthHost::replyData(send(host.step1())).size(), 32u);

    for (const AuthFault fault : {AuthFault::WrongMarker, AuthFault::WrongProof, AuthFault::ShortReply}) {
        reader.queueAuthFault(2, fault);
        AuthHost h(key, 0);
        const Bytes first = send(h.step1());
        EXPECT_FALSE(h.finish(send(h.step2(first)))) << int(fault);
    }
}

TEST_F(KrnSimAuthentication, ANewStepOneEndsTheChannelAndConnectionsKeepTheirOwn) {
    reader.setAuthenticationKey(key);
    AuthHost host(key, 2);
    ASSERT_TRUE(handshake(host));
    EXPECT_EQ(send(host.step1()).at(3), 0);
    EXPECT_EQ(AuthHost::status(send(host.wrap(request(0x65)))), 0x82) << "the channel ended";

    // Another connection has no channel of its own.
    ConnectionContext other(42);
    AuthHost again(key, 2);
    ASSERT_TRUE(handshake(again));
    const Bytes wrapped = request(0xAF, {0x00, 0x01, 0x02});
    std::vector<Unit> units;
    Reassembler parser(Millis(300));
    parser.feed(wrapped, Clock::now(), units);
    ASSERT_EQ(units.size(), 1u);
    EXPECT_EQ(AuthHost::status(reader.handle(std::move(units[0]), other).bytes()), 0x82);

    reader.queueSecuredStatus(0x19);
    EXPECT_EQ(AuthHost::status(send(again.wrap(request(0x65)))), 0x19);
    const Bytes reply = send(again.wrap(request(0x65)));
    EXPECT_EQ(again.unwrap(reply).at(2), 0x65) << "0x19 kept the channel in step";
    reader.queueSecuredStatus(0x82);
    EXPECT_EQ(AuthHost::status(send(again.wrap(request(0x65)))), 0x82);
    EXPECT_EQ(AuthHost::status(send(again.wrap(request(0x65)))), 0x82) << "0x82 ended it";
}

} // namespace
} // namespace krnsim

// The command natives on an authenticated reader, for each key length, from a
// real JVM against the simulated reader: every request crosses the wire wrapped
// in 0xAF exactly once, every reply is deciphered once, and the commands that
// follow still work (the keystreams of both ends stay in step).
#include "commands_fixture.h"

#include <gmock/gmock.h>

#include <ostream>
#include <string>
#include <vector>

namespace {

using vkbridge::B;
using vkbridge::Bytes;
using vkbridge::callReader;
using vkbridge::hexText;
using vkbridge::I;
using vkbridge::kStatusId;
using vkbridge::Outcome;

constexpr std::uint8_t kEchoCommand = 0x71;
constexpr std::uint8_t kSecured = 0xAF;

struct KeyCase {
    const char* name;
    jbyte type;
    std::size_t length;
};

// Test names and messages show the case by its name.
void PrintTo(const KeyCase& c, std::ostream* os) {
    *os << c.name;
}

// The command byte of a frame as it crossed the wire.
std::uint8_t wireCommand(const Bytes& raw) {
    const std::size_t at = !raw.empty() && raw[0] == 0x02 ? 4 : 2;
    return raw.size() > at ? raw[at] : 0;
}

class AuthenticatedCommandsJvmTest : public vkbridge::CommandsJvmTest,
                                     public ::testing::WithParamInterface<KeyCase> {
  protected:
    void SetUp() override {
        CommandsJvmTest::SetUp();
        if (HasFatalFailure()) return;
        Bytes key(GetParam().length);
        for (std::size_t k = 0; k < key.size(); ++k)
            key[k] = static_cast<std::uint8_t>(0x3C + 11 * k);
        simulator.reader().setAuthenticationKey(key);
        // The reader's own data: a marker, then the request's data.
        simulator.reader().setHandler(kEchoCommand, [](const krnsim::Request& r, krnsim::ConnectionContext&) {
            Bytes data{0x90, 0x00};
            data.insert(data.end(), r.data.begin(), r.data.end());
            return krnsim::Reply::frame(0x00, data);
        });
        const Outcome o = authenticate(GetParam().type, hexText(key).c_str());
        ASSERT_FALSE(o.thrown) << o.thrown->message;
        ASSERT_EQ(o.value.i, 0);
        ASSERT_EQ(simulator.reader().authentications(), 1u);
        authenticatedAt_ = simulator.reader().log().entries().size();
    }

    // The requests the reader received since the authentication.
    std::vector<krnsim::LogEntry> sinceAuthentication() {
        auto entries = simulator.reader().log().entries();
        entries.erase(entries.begin(), entries.begin() + static_cast<std::ptrdiff_t>(authenticatedAt_));
        return entries;
    }

    // Each request since the authentication went out as 0xAF, enciphered once:
    // deciphered, the reader found the plain command inside.
    void expectWrappedOnce(const std::vector<std::uint8_t>& commands) {
        const auto entries = sinceAuthentication();
        ASSERT_EQ(entries.size(), commands.size());
        for (std::size_t k = 0; k < entries.size(); ++k) {
            SCOPED_TRACE(k);
            EXPECT_EQ(wireCommand(entries[k].raw), kSecured);
            EXPECT_TRUE(entries[k].secured);
            EXPECT_EQ(entries[k].command, commands[k]);
            EXPECT_EQ(entries[k].note, "");
        }
        EXPECT_EQ(simulator.reader().authentications(), 1u);
    }

    int status() {
        unsigned char value = 0xEE;
        EXPECT_EQ(core()->GetData(kStatusId, &value), 0);
        return value;
    }

  private:
    std::size_t authenticatedAt_ = 0;
};

TEST_P(AuthenticatedCommandsJvmTest, SendProtocolWithDataGivesTheReadersDataAndTheChannelGoesOn) {
    Outcome o = protocol(static_cast<jbyte>(kEchoCommand), "0102A0ff");
    ASSERT_FALSE(o.thrown) << o.thrown->message;
    EXPECT_EQ(o.text, "90000102A0FF");
    EXPECT_EQ(status(), 0);
    auto sent = sinceAuthentication();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].data, (Bytes{0x01, 0x02, 0xA0, 0xFF}));

    // The commands that follow: the core's own protocol, data again, a reader
    // status without data, and no data at all.
    o = callReader(env, "SendProtocol", "(IB)I", {I(handle), B(0x65)});
    ASSERT_FALSE(o.thrown) << o.thrown->message;
    EXPECT_EQ(o.value.i, 0);
    o = protocol(static_cast<jbyte>(kEchoCommand), "33");
    ASSERT_FALSE(o.thrown) << o.thrown->message;
    EXPECT_EQ(o.text, "900033");
    answer(0x72, 0x01, {});
    o = protocol(0x72, "0101");
    ASSERT_FALSE(o.thrown) << o.thrown->message;
    EXPECT_EQ(o.text, "");
    EXPECT_EQ(status(), 0x01);
    o = protocol(static_cast<jbyte>(kEchoCommand), "");
    ASSERT_FALSE(o.thrown) << o.thrown->message;
    EXPECT_EQ(o.text, "9000");
    EXPECT_EQ(status(), 0);
    expectWrappedOnce({kEchoCommand, 0x65, kEchoCommand, 0x72, kEchoCommand});
}

TEST_P(AuthenticatedCommandsJvmTest, RefusedTextSendsNothingAndLeavesTheChannelInStep) {
    for (const char* text : {"010", "01G0", "0 01"}) {
        SCOPED_TRACE(text);
        const Outcome o = protocol(static_cast<jbyte>(kEchoCommand), text);
        ASSERT_TRUE(o.thrown);
        EXPECT_EQ(o.thrown->className, "de.varek.VkReaderDriverException");
        EXPECT_EQ(o.thrown->code, -4051);
        EXPECT_TRUE(o.isNull);
        EXPECT_EQ(static_cast<int>(failureCode()), -4051);
    }
    // A module without a reader: the reader library's handle code comes first,
    // whatever the text.
    const int unconnected = addModule(false);
    ASSERT_GT(unconnected, 0);
    for (const char* text : {"010", "0101"}) {
        const Outcome o = protocol(static_cast<jbyte>(kEchoCommand), text, unconnected);
        ASSERT_TRUE(o.thrown) << text;
        EXPECT_EQ(o.thrown->code, -4021) << text;
    }
    EXPECT_TRUE(sinceAuthentication().empty());
    const Outcome o = protocol(static_cast<jbyte>(kEchoCommand), "AB");
    ASSERT_FALSE(o.thrown) << o.thrown->message;
    EXPECT_EQ(o.text, "9000AB");
    expectWrappedOnce({kEchoCommand});
}

TEST_P(AuthenticatedCommandsJvmTest, BuildProtocolGivesThePlainFrameAndLeavesTheChannelInStep) {
    setByte("03 10 14 00 01 00 00", 0x2B);
    Outcome o = build(static_cast<jbyte>(0xB2));
    ASSERT_FALSE(o.thrown) << o.thrown->message;
    // The plain request in the channel's advanced form, without its CRC (the
    // length field counts what is returned).
    Bytes frame = bytesOf(o);
    EXPECT_EQ(frame, (Bytes{0x02, 0x00, 0x06, 0xFF, 0xB2, 0x2B}));
    EXPECT_TRUE(sinceAuthentication().empty());
    // Building sent nothing and moved nothing on: the next command works.
    o = callReader(env, "SendProtocol", "(IB)I", {I(handle), B(0x65)});
    ASSERT_FALSE(o.thrown) << o.thrown->message;
    EXPECT_EQ(o.value.i, 0);

    // Sent as an application sends it: the length field for the CRC that the
    // library appends, and wrapped once by the library.
    ASSERT_EQ(frame.size(), 6u);
    frame[2] = 0x08;
    o = transparent(hexText(frame).c_str(), true);
    ASSERT_FALSE(o.thrown) << o.thrown->message;
    // The plain reply: [02][LEN][ADR][B2][status 00][2B][CRC].
    ASSERT_EQ(o.text.size(), 18u) << o.text;
    EXPECT_EQ(o.text.substr(8, 6), "B2002B");
    o = protocol(static_cast<jbyte>(kEchoCommand), "5A");
    ASSERT_FALSE(o.thrown) << o.thrown->message;
    EXPECT_EQ(o.text, "90005A");
    expectWrappedOnce({0x65, 0xB2, kEchoCommand});
}

INSTANTIATE_TEST_SUITE_P(KeyLengths, AuthenticatedCommandsJvmTest,
                         ::testing::Values(KeyCase{"Aes128", 0, 16}, KeyCase{"Aes192", 1, 24},
                                           KeyCase{"Aes256", 2, 32}),
                         [](const ::testing::TestParamInfo<KeyCase>& info) { return info.param.name; });

} // namespace

#include "hex.h"

#include <krnsim/reader.h>

#include <gtest/gtest.h>

namespace krnsim {
namespace {

using test::hex;
using test::request;
using test::toHex;

// The host's side of the secured channel: its own keystream, the wrapping of a
// request and the unwrapping of a reply, written from the frame layout alone.
class Host {
  public:
    Bytes wrap(const Bytes& plain, std::uint8_t address = 1) {
        Bytes data{0x00};
        const Bytes enciphered = keystream.apply(plain);
        data.insert(data.end(), enciphered.begin(), enciphered.end());
        return buildRequest(data.size() > kMaxStandardRequestData ? Form::Advanced : Form::Standard, address,
                            0xAF, data);
    }
    // The plain reply frame inside a secured reply (status 0 expected).
    Bytes unwrap(const Bytes& reply) {
        const std::size_t head = reply.at(0) == kAdvancedMark ? 3 : 1;
        EXPECT_EQ(reply.at(head + 1), 0xAF);
        EXPECT_EQ(reply.at(head + 2), 0x00);
        const ByteView data(reply.data() + head + 3, reply.size() - head - 5);
        return keystream.apply(data);
    }
    Keystream keystream;
};

class KrnSimSecured : public ::testing::Test {
  protected:
    Bytes send(const Bytes& frame) { return reader.exchange(frame).bytes(); }
    Reader reader;
    Host host;
};

TEST_F(KrnSimSecured, KeystreamBlocksAndDroppedRemainder) {
    Keystream stream;
    EXPECT_EQ(toHex(stream.apply(Bytes(3, 0))), "A5 A2 AB");
    EXPECT_EQ(stream.nextBlock(), 1u) << "three bytes take one whole block";
    EXPECT_EQ(toHex(stream.apply(Bytes(1, 0))), "BA") << "block 1 starts afresh: A5 ^ 31";
    EXPECT_EQ(toHex(stream.apply(Bytes(17, 0))).substr(0, 2), "9B");
    EXPECT_EQ(stream.nextBlock(), 4u);
    const Bytes plain = hex("05 01 65 FD 2D");
    Keystream a;
    Keystream b;
    EXPECT_EQ(b.apply(a.apply(plain)), plain) << "the same state both ways deciphers";
}

TEST_F(KrnSimSecured, RequestsAroundBlockBoundariesDecodeAndRepliesComeBackEnciphered) {
    reader.startSecuredChannel();
    reader.setHandler(0xB2, [](const Request& r, ConnectionContext&) { return Reply::frame(0x00, r.data); });
    for (const std::size_t n : {0u, 9u, 10u, 11u, 26u, 27u, 43u, 300u}) {
        const Bytes data(n, static_cast<std::uint8_t>(n));
        const Form form = n > 250 ? Form::Advanced : Form::Standard;
        const Bytes plainRequest = buildRequest(form, 1, 0xB2, data);
        reader.log().clear();
        const Bytes reply = send(host.wrap(plainRequest));
        ASSERT_FALSE(reply.empty()) << n;
        const Bytes plainReply = host.unwrap(reply);
        const Form replyForm = n > 249 ? Form::Advanced : Form::Standard;
        EXPECT_EQ(plainReply, buildReply(replyForm, 1, 0xB2, 0x00, data)) << n;
        EXPECT_EQ(reader.keystreamBlock(), host.keystream.nextBlock()) << n;
        const LogEntry entry = reader.log().entries().at(0);
        EXPECT_TRUE(entry.secured);
        EXPECT_EQ(entry.command, 0xB2);
        EXPECT_EQ(entry.data, data);
    }
}

TEST_F(KrnSimSecured, StatusesInPlainAndTheChannelsEnd) {
    struct Case {
        std::uint8_t status; // queued secured status, 0 for none
        bool channelOn;
        std::string reply;
        bool onAfter;
    };
    const Case cases[] = {
        {0x00, false, "06 01 AF 82", false}, // no channel: the model refuses 0xAF
        {0x82, true, "06 01 AF 82", false},  // the reader ends the channel
        {0x19, true, "06 01 AF 19", true},   // keeps it
    };
    for (const Case& c : cases) {
        reader.endSecuredChannel();
        host.keystream.reset();
        if (c.channelOn) reader.startSecuredChannel();
        if (c.status) reader.queueSecuredStatus(c.status);
        const Bytes reply = send(host.wrap(request(0x65)));
        EXPECT_EQ(toHex(reply).substr(0, 11), c.reply) << int(c.status);
        EXPECT_EQ(reader.securedChannelActive(), c.onAfter);
        if (c.channelOn) {
            EXPECT_EQ(reader.keystreamBlock(), host.keystream.nextBlock());
        }
    }
    EXPECT_EQ(send(request(0x65)).at(2), 0x65) << "plain requests are served in plain meanwhile";
}

TEST_F(KrnSimSecured, FlashLoaderAtAddressZeroEndsTheChannelOnStatusZero) {
    reader.startSecuredChannel();
    reader.script(0x55, Reply::frame(0x01, {}));
    Bytes reply = send(host.wrap(buildRequest(Form::Standard, 0, 0x55, {}), 0));
    ASSERT_FALSE(reply.empty()) << "0x55 is taken at bus address 0 inside 0xAF";
    EXPECT_EQ(host.unwrap(reply), buildReply(Form::Standard, 1, 0x55, 0x01, {}));
    EXPECT_TRUE(reader.securedChannelActive()) << "status 1 keeps the channel";
    reply = send(host.wrap(buildRequest(Form::Standard, 0, 0x55, {}), 0));
    EXPECT_EQ(host.unwrap(reply), buildReply(Form::Standard, 1, 0x55, 0x00, {}));
    EXPECT_FALSE(reader.securedChannelActive()) << "status 0: the flash loader runs";

    reader.startSecuredChannel();
    host.keystream.reset();
    EXPECT_TRUE(send(host.wrap(request(0x65, {}, 0), 0)).empty())
        << "another command at address 0 is not taken";
    EXPECT_EQ(reader.log().entries().back().verdict, Verdict::OtherAddress);
    EXPECT_TRUE(reader.securedChannelActive());
}

TEST_F(KrnSimSecured, UndecodableRequestsAndFaultsOnTheOuterFrame) {
    reader.startSecuredChannel();
    EXPECT_EQ(toHex(send(request(0xAF, hex("01 02")))).substr(0, 11), "06 01 AF 81") << "no leading 00";
    Bytes garbage{0x00, 0x05, 0x01};
    EXPECT_EQ(toHex(send(request(0xAF, garbage))).substr(0, 11), "06 01 AF 81") << "not a frame inside";

    reader.endSecuredChannel();
    reader.startSecuredChannel();
    host.keystream.reset();
    reader.queueFault(Fault::wrongCommand(0x65).onlyCommand(0xAF));
    const Bytes reply = send(host.wrap(request(0x65)));
    EXPECT_EQ(reply.at(2), 0x65) << "the fault replaced the outer command byte";
    EXPECT_EQ(crc16(reply), 0);
}

// A reply of several frames: each one enciphered in a 0xAF reply of its own, in
// turn on the one stream, with the writes, pauses and faults the handler gave.
TEST_F(KrnSimSecured, SeveralReplyFramesComeEncipheredOneByOne) {
    reader.startSecuredChannel();
    const Answer answers[] = {
        {0x94, hex("01 00 00 07 0A")}, {0x94, hex("02 00 01 AA")}, {0x00, hex("02 00 02 BB")}};
    reader.setHandler(0xB2, [&](const Request&, ConnectionContext&) {
        return Reply::frames({{answers[0], Millis(3), false, {}},
                              {answers[1], Millis(9), true, {}},
                              {answers[2], Millis(5), false, Fault::badCrc()}});
    });
    reader.queueFault(Fault::wrongAddress(7).onlyCommand(0xAF));
    const Plan plan = reader.exchange(host.wrap(request(0xB2, hex("BE 81 00"))));
    ASSERT_EQ(plan.steps.size(), 2u) << "the second frame joins the first one's write";
    EXPECT_EQ(plan.steps[0].delay, Millis(3));
    EXPECT_EQ(plan.steps[1].delay, Millis(5));
    const Bytes bytes = plan.bytes();
    std::vector<Bytes> frames;
    for (std::size_t at = 0; at < bytes.size(); at += frames.back().size())
        frames.emplace_back(bytes.begin() + static_cast<long>(at),
                            bytes.begin() + static_cast<long>(at + bytes[at]));
    ASSERT_EQ(frames.size(), 3u);
    EXPECT_EQ(frames[0].at(1), 7) << "the queued fault takes the first frame";
    EXPECT_EQ(frames[1].at(1), 1) << "one fault, one frame";
    EXPECT_NE(crc16(frames[2]), 0) << "the frame's own fault, on the 0xAF frame";
    for (std::size_t i = 0; i < frames.size(); ++i)
        EXPECT_EQ(host.unwrap(frames[i]),
                  buildReply(Form::Standard, 1, 0xB2, answers[i].status, answers[i].data))
            << i;
    EXPECT_EQ(reader.keystreamBlock(), host.keystream.nextBlock());
}

} // namespace
} // namespace krnsim

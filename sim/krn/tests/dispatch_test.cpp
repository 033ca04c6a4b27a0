#include "hex.h"

#include <krnsim/reader.h>

#include <gtest/gtest.h>

namespace krnsim {
namespace {

using test::hex;
using test::request;

// Status byte of a single reply frame (-1 when there is none).
int statusOf(const Bytes& frame) {
    if (frame.size() < 6) return -1;
    return frame[frame[0] == 0x02 ? 5 : 3];
}

class KrnSimDispatch : public ::testing::Test {
  protected:
    Bytes send(const Bytes& frame) { return reader.exchange(frame).bytes(); }
    Reader reader;
};

TEST_F(KrnSimDispatch, ScriptBeforeHandlerBeforeModelBeforeUnknown) {
    reader.setHandler(0x65, [](const Request&, ConnectionContext&) { return Reply::frame(0x07); });
    reader.script(0x65, Reply::frame(0x09));
    reader.script(0x80, Reply::frame(0x0A)); // for another command: left alone
    EXPECT_EQ(send(hex("05 01 65 FD 2D")), hex("06 01 65 09 4B 94"));
    EXPECT_EQ(send(hex("05 01 65 FD 2D")), hex("06 01 65 07 35 7D"));
    reader.setHandler(0x65, nullptr);
    EXPECT_EQ(statusOf(send(hex("05 01 65 FD 2D"))), 0);
    EXPECT_EQ(send(request(0x99)), hex("06 01 99 80 2A 58"));
    reader.script(Reply::frame(0x0B)); // for any command
    EXPECT_EQ(statusOf(send(request(0x99))), 0x0B);
    EXPECT_EQ(statusOf(send(request(0x80, {0x00}))), 0x0A);
}

TEST_F(KrnSimDispatch, WrongRequestLengthGets0x81) {
    EXPECT_EQ(send(hex("06 01 65 00 8A 09")), hex("06 01 65 81 0B 9C"));
}

TEST_F(KrnSimDispatch, AnswersItsAddressesOnly) {
    struct Case {
        std::uint8_t address;
        std::uint8_t command;
        bool answerAll;
        bool answered;
    };
    const Case cases[] = {
        {1, 0x65, false, true},  {0xFE, 0x65, false, true}, {0xFF, 0x65, false, true},
        {0, 0x55, false, true},  {2, 0x65, false, false},   {0, 0x65, false, false},
        {2, 0x55, false, false}, {2, 0x65, true, true},     {0, 0x65, true, true},
    };
    for (const Case& c : cases) {
        reader.setAnswerAll(c.answerAll);
        reader.log().clear();
        const Bytes reply = send(request(c.command, {}, c.address));
        ASSERT_EQ(reader.log().size(), 1u);
        const LogEntry entry = reader.log().entries()[0];
        if (c.answered) {
            ASSERT_FALSE(reply.empty()) << int(c.address);
            EXPECT_EQ(reply[1], 1) << "replies carry the reader's own address";
            EXPECT_EQ(entry.verdict, Verdict::Ok);
        } else {
            EXPECT_TRUE(reply.empty()) << int(c.address);
            EXPECT_EQ(entry.verdict, Verdict::OtherAddress);
        }
    }
}

TEST_F(KrnSimDispatch, BusAddressIsSettableAndChecked) {
    reader.setBusAddress(7);
    EXPECT_EQ(send(hex("05 07 65 2D 79")).at(1), 7);
    EXPECT_TRUE(send(hex("05 01 65 FD 2D")).empty());
    for (const int bad : {-1, 254, 255, 256}) {
        EXPECT_THROW(reader.setBusAddress(bad), std::invalid_argument);
        EXPECT_EQ(reader.busAddress(), 7);
    }
    reader.setBusAddress(0);
    EXPECT_EQ(reader.busAddress(), 0);
}

TEST_F(KrnSimDispatch, ReplyFormFollowsTheRequestUnlessTheDataDoNotFit) {
    std::size_t length = 0;
    reader.setHandler(
        0xB0, [&](const Request&, ConnectionContext&) { return Reply::frame(0, Bytes(length, 0x11)); });
    struct Case {
        std::size_t data;
        Form request;
        bool force;
        std::size_t frame; // 0: no reply
        bool advanced;
    };
    const Case cases[] = {
        {0, Form::Standard, false, 6, false},     {0, Form::Advanced, false, 8, true},
        {249, Form::Standard, false, 255, false}, {250, Form::Standard, false, 258, true},
        {0, Form::Standard, true, 8, true},       {65527, Form::Standard, false, 65535, true},
        {65528, Form::Standard, false, 0, false},
    };
    for (const Case& c : cases) {
        length = c.data;
        reader.setForceAdvanced(c.force);
        const Bytes reply = send(request(0xB0, {0x01, 0x00}, 1, c.request));
        ASSERT_EQ(reply.size(), c.frame) << c.data;
        if (c.frame == 0) continue;
        EXPECT_EQ(reply[0] == 0x02, c.advanced) << c.data;
        EXPECT_EQ(crc16(reply), 0);
    }
    EXPECT_EQ(reader.log().entries().back().note, "reply data too long");
}

TEST_F(KrnSimDispatch, HandlerExceptionMeansNoReplyAndALogNote) {
    reader.setHandler(0x65,
                      [](const Request&, ConnectionContext&) -> Reply { throw std::runtime_error("boom"); });
    EXPECT_TRUE(send(request(0x65)).empty());
    EXPECT_EQ(reader.log().entries().back().note, "handler failed: boom");
    EXPECT_EQ(statusOf(send(request(0x80, {0}))), 0) << "the next request is served";
}

TEST_F(KrnSimDispatch, HandlersSeeTheRequestAndTheirConnection) {
    reader.setHandler(0x9F, [](const Request& request, ConnectionContext& context) {
        int& count = context.state().has_value() ? std::any_cast<int&>(context.state())
                                                 : context.state().emplace<int>();
        ++count;
        context.sendLater(Plan{{Step{Millis(5), Bytes{0xEE}}}, EndAction::None});
        Bytes echo = request.data;
        echo.push_back(static_cast<std::uint8_t>(count));
        return Reply::frame(0, echo);
    });
    const Plan first = reader.exchange(request(0x9F, {1, 2, 3}));
    ASSERT_EQ(first.steps.size(), 2u);
    EXPECT_EQ(first.steps[1].delay, Millis(5));
    EXPECT_EQ(first.steps[1].bytes, Bytes{0xEE});
    const Bytes second = reader.exchange(request(0x9F, {1, 2, 3})).bytes();
    EXPECT_EQ(second[7], 2) << "the per-connection count survives";
}

TEST_F(KrnSimDispatch, RequestFilterMayChangeOrDropARequest) {
    reader.setRequestFilter([](Request& request, ConnectionContext&) {
        if (request.command == 0x32) return false;
        if (request.command == 0x66) request.command = 0x65;
        return true;
    });
    EXPECT_TRUE(send(request(0x32)).empty());
    EXPECT_EQ(reader.log().entries().back().verdict, Verdict::Filtered);
    EXPECT_EQ(statusOf(send(request(0x66, {0x00}))), 0x81) << "0x65 with one data byte";
}

TEST_F(KrnSimDispatch, BadFramesAreLoggedAndSilent) {
    EXPECT_TRUE(send(hex("05 01 65 FD 2E")).empty());
    EXPECT_TRUE(send(hex("00")).empty());
    const auto entries = reader.log().entries();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].verdict, Verdict::BadCrc);
    EXPECT_EQ(entries[1].verdict, Verdict::Noise);
    EXPECT_TRUE(entries[0].reply.empty());
}

TEST_F(KrnSimDispatch, ExchangeKeepsAPartialFrameForTheNextCall) {
    EXPECT_TRUE(send(hex("05 01")).empty());
    EXPECT_EQ(send(hex("65 FD 2D")), hex("0F 01 65 00 01 02 03 4B 00 10 00 10 00 19 33"));
}

TEST_F(KrnSimDispatch, LogRecordsTheExchange) {
    send(hex("05 01 65 FD 2D"));
    const LogEntry entry = reader.log().entries().at(0);
    EXPECT_EQ(entry.connection, kExchangeConnection);
    EXPECT_EQ(entry.raw, hex("05 01 65 FD 2D"));
    EXPECT_EQ(entry.form, Form::Standard);
    EXPECT_EQ(entry.address, 1);
    EXPECT_EQ(entry.command, 0x65);
    EXPECT_TRUE(entry.data.empty());
    EXPECT_EQ(entry.reply, hex("0F 01 65 00 01 02 03 4B 00 10 00 10 00 19 33"));
    EXPECT_TRUE(entry.fault.empty());
    EXPECT_TRUE(reader.log().waitFor(1, Millis(0)));
    EXPECT_FALSE(reader.log().waitFor(2, Millis(1)));
}

TEST_F(KrnSimDispatch, MisuseChangesNothing) {
    EXPECT_THROW(reader.setInterByteGap(Millis(-1)), std::invalid_argument);
    EXPECT_THROW(reader.setInterByteGap(Millis(0)), std::invalid_argument);
    EXPECT_EQ(reader.interByteGap(), Reader::kDefaultInterByteGap);
    EXPECT_THROW(reader.setReadOut(0x80, {}), std::invalid_argument);
    EXPECT_EQ(statusOf(send(request(0x80, {0}))), 0);
}

} // namespace
} // namespace krnsim

// The transparent exchange through the exports of libvkkrn.so, against the
// simulated reader on loopback TCP (libvktcp) and on a pseudo-terminal (libvkcom).
#include "sim_reader_test.h"

#include <krnsim/frame.h>
#include <vkkrn.h>
#include <vktesting/temp_dir.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using krnsim::Bytes;
using krnsim::Fault;
using krnsim::Form;
using krnsim::Millis;

constexpr int kRxSize = 0x10001;

class Exchange : public SimReaderTest {
  protected:
    // Sends `frame` as given and keeps what came back.
    int send(Bytes frame, int rxSize = kRxSize, int crc = 0, int hex = 0) {
        reply_.assign(static_cast<std::size_t>(rxSize > 0 ? rxSize : 1), 0xEE);
        const int n = VKKRN_SendTransparent(reader_, frame.data(), static_cast<int>(frame.size()),
                                            reply_.data(), rxSize, crc, hex);
        reply_.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
        return n;
    }
    Bytes reply_;
};

Bytes request(std::uint8_t adr, std::uint8_t cmd, const Bytes& data = {}, Form form = Form::Standard) {
    return krnsim::buildRequest(form, adr, cmd, data);
}

Bytes reply(std::uint8_t cmd, std::uint8_t status, const Bytes& data = {}, Form form = Form::Standard) {
    return krnsim::buildReply(form, 1, cmd, status, data);
}

TEST_P(Exchange, RepliesAndTheirChecks) {
    const Bytes version = krnsim::ReaderModel::defaultVersion();
    struct Case {
        const char* name;
        std::uint8_t adr;
        bool checkBusAddress;
        std::optional<Fault> fault;
        int expected;              // 0: the whole reply frame
        std::uint8_t replyAdr = 1; // of that frame
    };
    const Case cases[] = {
        {"plain", 1, false, std::nullopt, 0},
        {"bad CRC", 1, false, Fault::badCrc(), -4031},
        {"wrong command", 1, false, Fault::wrongCommand(0x66), -4035},
        {"other bus address, checked", 1, true, Fault::wrongAddress(2), -4037},
        {"other bus address to 254", 0xFE, true, Fault::wrongAddress(2), 0, 2},
        {"other bus address to 255", 0xFF, true, Fault::wrongAddress(2), 0, 2},
        {"other bus address, not checked", 1, false, Fault::wrongAddress(2), 0, 2},
        {"chunked", 1, true, Fault::split({2, 4}, {Millis(20), Millis(20)}), 0},
        {"garbage", 1, false, Fault::raw({0x03, 0x01, 0x65}), -4030},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(setReader("CHKRECBUSADR", c.checkBusAddress ? "1" : "0"), 0);
        if (c.fault) sim().queueFault(*c.fault);
        const int n = send(request(c.adr, 0x65));
        if (c.expected == 0) {
            Bytes expected = reply(0x65, 0x00, version);
            expected[1] = c.replyAdr;
            krnsim::rewriteCrc(expected);
            EXPECT_EQ(n, static_cast<int>(expected.size())) << c.name;
            EXPECT_EQ(reply_, expected) << c.name;
            EXPECT_EQ(lastError(), 0) << c.name;
        } else if (c.expected == -4030) {
            // Bytes too short for a reply: the port library may refuse them itself.
            EXPECT_TRUE(n == -4030 || (n <= -1000 && n >= -1299)) << c.name << " " << n;
            EXPECT_EQ(lastError(), n) << c.name;
        } else {
            EXPECT_EQ(n, c.expected) << c.name;
            EXPECT_EQ(lastError(), c.expected) << c.name;
        }
    }
    EXPECT_EQ(sim().queuedFaults(), 0u);
}

TEST_P(Exchange, StatusAboveZeroAndAdvancedFrames) {
    EXPECT_EQ(send(request(1, 0x99)), 6);
    EXPECT_EQ(reply_, reply(0x99, 0x80));
    EXPECT_EQ(lastError(), 0);
    sim().setHandler(0xB2, [](const krnsim::Request& r, krnsim::ConnectionContext&) {
        return krnsim::Reply::frame(0x00, r.data);
    });
    const Bytes data(600, 0x5A);
    EXPECT_EQ(send(request(1, 0xB2, data, Form::Advanced)), 608);
    EXPECT_EQ(reply_, reply(0xB2, 0x00, data, Form::Advanced));
}

TEST_P(Exchange, SilenceGivesThePortsTimeOut) {
    ASSERT_EQ(setPort("Timeout", "100"), 0);
    sim().queueFault(Fault::silence());
    EXPECT_EQ(send(request(1, 0x65)), link_->timeoutCode());
    EXPECT_EQ(lastError(), link_->timeoutCode());
    ASSERT_EQ(setPort("Timeout", "3000"), 0);
    EXPECT_GT(send(request(1, 0x65)), 0) << "the next exchange is in step again";
}

TEST_P(Exchange, CallerFramesHexCrcAndBufferLimits) {
    const Bytes plainReply = reply(0x65, 0x00, krnsim::ReaderModel::defaultVersion());
    const std::string hexReply = hexText(plainReply);
    struct Case {
        const char* name;
        std::string frame;
        int crc;
        int hex;
        int rxSize;
        int expected;
    };
    const Case cases[] = {
        {"hex text", "050165FD2D", 0, 1, kRxSize, 2 * static_cast<int>(plainReply.size())},
        {"lower-case hex", "050165fd2d", 0, 1, kRxSize, 2 * static_cast<int>(plainReply.size())},
        {"CRC appended", "050165", 1, 1, kRxSize, 2 * static_cast<int>(plainReply.size())},
        {"odd hex", "050165FD2", 0, 1, kRxSize, -4052},
        {"not hex", "050165FD2G", 0, 1, kRxSize, -4052},
        {"first byte below 5", "030165", 1, 1, kRxSize, -4030},
        {"too short for its command", "05", 0, 1, kRxSize, -4030},
        {"advanced too short", "02000701", 0, 1, kRxSize, -4030},
        {"reply one byte over", "050165FD2D", 0, 0, static_cast<int>(plainReply.size()) - 1, -4070},
        {"reply fits exactly", "050165FD2D", 0, 0, static_cast<int>(plainReply.size()),
         static_cast<int>(plainReply.size())},
        {"hex reply without room for its zero", "050165FD2D", 0, 1, 2 * static_cast<int>(plainReply.size()),
         -4070},
    };
    for (const Case& c : cases) {
        Bytes frame;
        if (c.hex) {
            frame.assign(c.frame.begin(), c.frame.end());
        } else {
            for (std::size_t i = 0; i + 1 < c.frame.size(); i += 2)
                frame.push_back(static_cast<std::uint8_t>(std::stoi(c.frame.substr(i, 2), nullptr, 16)));
        }
        const int n = send(frame, c.rxSize, c.crc, c.hex);
        EXPECT_EQ(n, c.expected) << c.name;
        EXPECT_EQ(lastError(), c.expected < 0 ? c.expected : 0) << c.name;
        if (c.expected > 0 && c.hex) {
            EXPECT_EQ(std::string(reply_.begin(), reply_.end()), hexReply) << c.name;
        }
    }
    Bytes frame = request(1, 0x65);
    unsigned char rx[8];
    EXPECT_EQ(VKKRN_SendTransparent(reader_, frame.data(), 0, rx, sizeof rx, 0, 0), -4051);
    EXPECT_EQ(lastError(), -4051);
}

TEST_P(Exchange, TransmitThenReceiveAndPushedFrames) {
    Bytes frame = request(1, 0x65);
    frame.resize(frame.size() - 2);
    EXPECT_EQ(VKKRN_Transmit(reader_, frame.data(), static_cast<int>(frame.size()), 1, 0), 0);
    Bytes rx(kRxSize);
    const Bytes expected = reply(0x65, 0x00, krnsim::ReaderModel::defaultVersion());
    EXPECT_EQ(VKKRN_Receive(reader_, rx.data(), kRxSize, 0), static_cast<int>(expected.size()));
    EXPECT_EQ(Bytes(rx.begin(), rx.begin() + static_cast<long>(expected.size())), expected);

    // A frame the reader sends by itself arrives whole, whatever its command.
    const auto connections = link_->sim.connections();
    ASSERT_EQ(connections.size(), 1u);
    link_->sim.sendFrame(connections[0].id, 0x22, 0x00, {1, 2, 3});
    const Bytes pushed = reply(0x22, 0x00, {1, 2, 3});
    EXPECT_EQ(VKKRN_Receive(reader_, rx.data(), kRxSize, 1), 2 * static_cast<int>(pushed.size()));
    EXPECT_EQ(std::string(rx.begin(), rx.begin() + 2 * static_cast<long>(pushed.size())), hexText(pushed));
    EXPECT_EQ(lastError(), 0);
}

INSTANTIATE_TEST_SUITE_P(Links, Exchange, ::testing::Values(LinkKind::Tcp, LinkKind::Pty),
                         [](const auto& info) { return linkName(info.param); });

TEST(ExchangeExports, ChecksInOrder) {
    unsigned char buffer[16] = {5, 1, 0x65, 0xFD, 0x2D};
    EXPECT_EQ(VKKRN_SendTransparent(1, buffer, 5, buffer, 16, 0, 0), -4001) << "no reader yet";
    const int reader = VKKRN_NewReader(0);
    ASSERT_GT(reader, 0);
    struct Case {
        int handle;
        unsigned char* tx;
        int txLen;
        int expected;
    };
    const Case cases[] = {
        {-1, nullptr, -1, -4022},           {0, nullptr, -1, -4021},
        {reader + 1, nullptr, -1, -4002},   {reader + 1, buffer, -1, -4051},
        {reader + 1, buffer, 65538, -4051}, {reader + 1, buffer, 5, -4023},
        {reader, buffer, 5, -4060},         {reader, buffer, 65537, -4060},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(VKKRN_SendTransparent(c.handle, c.tx, c.txLen, buffer, 16, 0, 0), c.expected) << c.handle;
        EXPECT_EQ(VKKRN_Transmit(c.handle, c.tx, c.txLen, 0, 0), c.expected) << c.handle;
        EXPECT_EQ(VKKRN_Receive(c.handle, c.tx, c.txLen, 0), c.expected) << c.handle;
    }
    EXPECT_EQ(VKKRN_SendTransparent(reader, buffer, 5, nullptr, 16, 0, 0), -4002);
    EXPECT_EQ(VKKRN_SendTransparent(reader, buffer, 5, buffer, -1, 0, 0), -4051)
        << "rxSize is the method's check, before the plug-in's";
    EXPECT_EQ(VKKRN_DeleteReader(reader), 0);
}

} // namespace

#include "client.h"

#include <krnsim/simulator.h>

#include <vktesting/loopback_listener.h>
#include <vktesting/wait_until.h>

#include <gtest/gtest.h>

#include <thread>

namespace krnsim {
namespace {

using namespace test;

const Bytes kVersionRequest = hex("05 01 65 FD 2D");
const Bytes kVersionReply = hex("0F 01 65 00 01 02 03 4B 00 10 00 10 00 19 33");

class KrnSimTcp : public ::testing::Test {
  protected:
    Simulator sim;
    TcpEndpoint endpoint = sim.listenTcp();
};

TEST_F(KrnSimTcp, AnswersOnLoopback) {
    ASSERT_GT(endpoint.port, 0);
    auto client = connectTcp(endpoint.port);
    ASSERT_TRUE(client);
    EXPECT_EQ(exchange(client.get(), kVersionRequest), kVersionReply);
    EXPECT_EQ(exchange(client.get(), hex("02 00 07 01 65 76 87")),
              hex("02 00 11 01 65 00 01 02 03 4B 00 10 00 10 00 7D 3A"));
    ASSERT_TRUE(sim.reader().log().waitFor(2, kPatience));
    const auto entries = sim.reader().log().entries();
    const auto connections = sim.connections();
    ASSERT_EQ(connections.size(), 1u);
    EXPECT_EQ(connections[0].kind, LinkKind::Tcp);
    EXPECT_EQ(connections[0].endpoint, endpoint.id);
    EXPECT_EQ(entries[0].connection, connections[0].id);
    EXPECT_EQ(entries[0].reply, kVersionReply);
    EXPECT_EQ(sim.acceptCount(endpoint.id), 1u);
}

TEST_F(KrnSimTcp, ServesConcurrentClientsWithInterleavedRequests) {
    constexpr int kClients = 3;
    constexpr int kRounds = 20;
    std::vector<std::thread> threads;
    std::vector<int> good(kClients, 0);
    for (int c = 0; c < kClients; ++c) {
        threads.emplace_back([&, c] {
            auto client = connectTcp(endpoint.port);
            if (!client) return;
            for (int round = 0; round < kRounds; ++round) {
                Bytes block(15, static_cast<std::uint8_t>(round));
                block[0] = static_cast<std::uint8_t>(c); // each client its own configuration block
                if (exchange(client.get(), request(0x81, block)).size() != 6) return;
                const Bytes reply = exchange(client.get(), request(0x80, {static_cast<std::uint8_t>(c)}));
                if (reply.size() == 20 && reply[4] == round) ++good[c];
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
    for (int c = 0; c < kClients; ++c)
        EXPECT_EQ(good[c], kRounds) << "client " << c;
    EXPECT_EQ(sim.acceptCount(endpoint.id), static_cast<std::size_t>(kClients));
}

TEST_F(KrnSimTcp, RefusesConnectsWhileStoppedAndKeepsOpenOnes) {
    auto early = connectTcp(endpoint.port);
    ASSERT_TRUE(early);
    ASSERT_TRUE(vktesting::waitUntil([&] { return sim.acceptCount(endpoint.id) == 1; }, kPatience));
    sim.stopListening(endpoint.id);
    EXPECT_FALSE(connectTcp(endpoint.port));
    EXPECT_EQ(exchange(early.get(), kVersionRequest), kVersionReply);
    sim.resumeListening(endpoint.id);
    auto late = connectTcp(endpoint.port);
    ASSERT_TRUE(late);
    EXPECT_EQ(exchange(late.get(), kVersionRequest), kVersionReply);
    EXPECT_EQ(sim.acceptCount(endpoint.id), 2u);
    EXPECT_THROW(sim.stopListening(endpoint.id + 100), std::invalid_argument);
}

TEST_F(KrnSimTcp, ClosesAtOnceOnTheClientsFin) {
    auto client = connectTcp(endpoint.port);
    ASSERT_TRUE(client);
    EXPECT_EQ(exchange(client.get(), kVersionRequest), kVersionReply);
    ::shutdown(client.get(), SHUT_WR);
    EXPECT_TRUE(readBytes(client.get(), 1).eof);
    EXPECT_TRUE(vktesting::waitUntil([&] { return sim.connections().empty(); }, kPatience));
}

TEST_F(KrnSimTcp, CanKeepAConnectionAfterTheClientsFin) {
    sim.setKeepOpenAfterFin(true);
    sim.reader().queueFault(Fault::delay(Millis(50)));
    auto client = connectTcp(endpoint.port);
    ASSERT_TRUE(client);
    writeAll(client.get(), kVersionRequest);
    ::shutdown(client.get(), SHUT_WR);
    EXPECT_EQ(readFrame(client.get()), kVersionReply) << "the reply still comes after the FIN";
    ASSERT_EQ(sim.connections().size(), 1u);
    sim.sendFrame(sim.connections()[0].id, 0x65, 0);
    EXPECT_EQ(readFrame(client.get()), hex("06 01 65 00 8A 09"));
}

TEST_F(KrnSimTcp, SurvivesAClientThatLeavesMidReply) {
    sim.reader().setCannedReply(0xB0, Reply::frame(0, Bytes(65527, 0xA5)));
    {
        auto client = connectTcp(endpoint.port);
        ASSERT_TRUE(client);
        writeAll(client.get(), request(0xB0, {0x01, 0x00}));
        EXPECT_EQ(readBytes(client.get(), 100).bytes.size(), 100u);
    }
    EXPECT_TRUE(vktesting::waitUntil([&] { return sim.connections().empty(); }, kPatience));
    auto next = connectTcp(endpoint.port);
    ASSERT_TRUE(next);
    EXPECT_EQ(exchange(next.get(), kVersionRequest), kVersionReply);
}

TEST_F(KrnSimTcp, DelayedReplyKeepsRequestOrder) {
    sim.reader().queueFault(Fault::delay(Millis(100)).onlyCommand(0x65));
    auto client = connectTcp(endpoint.port);
    ASSERT_TRUE(client);
    Bytes both = kVersionRequest;
    const Bytes halt = hex("05 01 1A 8D A6");
    both.insert(both.end(), halt.begin(), halt.end());
    const auto start = Clock::now();
    writeAll(client.get(), both);
    EXPECT_EQ(readFrame(client.get()), kVersionReply);
    EXPECT_GE(Clock::now() - start, Millis(100));
    EXPECT_EQ(readFrame(client.get()), hex("06 01 1A 00 86 7A"));
}

TEST_F(KrnSimTcp, SendsUnsolicitedFramesAndBytes) {
    auto client = connectTcp(endpoint.port);
    ASSERT_TRUE(client);
    ASSERT_TRUE(vktesting::waitUntil([&] { return sim.connections().size() == 1; }, kPatience));
    const ConnectionId id = sim.connections()[0].id;
    sim.sendFrame(id, 0x1C, 0);
    EXPECT_EQ(readFrame(client.get()), hex("06 01 1C 00 56 2E"));
    sim.send(id, hex("01 02 03"));
    EXPECT_EQ(readBytes(client.get(), 3).bytes, hex("01 02 03"));
    EXPECT_THROW(sim.send(id + 100, hex("01")), std::invalid_argument);
}

TEST(KrnSimTcpOut, ConnectsOutAndServesTheConnection) {
    Simulator sim;
    vktesting::LoopbackListener host;
    const ConnectionId id = sim.connectTcp(host.port());
    auto link = host.accept(kPatience);
    ASSERT_TRUE(link);
    sim.sendFrame(id, 0x22, 0, hex("00 00 01 AB"));
    EXPECT_EQ(readFrame(link.get()), buildReply(Form::Standard, 1, 0x22, 0, hex("00 00 01 AB")));
    EXPECT_EQ(exchange(link.get(), kVersionRequest), kVersionReply);
    host.close();
    vktesting::LoopbackListener closed;
    const std::uint16_t port = closed.port();
    closed.close();
    EXPECT_THROW(sim.connectTcp(port), std::runtime_error);
}

} // namespace
} // namespace krnsim

#include "client.h"

#include <krnsim/simulator.h>

#include <gtest/gtest.h>

namespace krnsim {
namespace {

using namespace test;

Tag tagWithBlocks(std::uint8_t last, std::uint8_t size, std::uint16_t count) {
    Tag tag;
    tag.uid = {0xE0, 0x04, 0x01, 0x00, 0x00, 0x00, 0x00, last};
    tag.type = 0x03;
    tag.blockSize = size;
    tag.blockCount = count;
    return tag;
}

TEST(KrnSimLocal, ServesASocketPair) {
    Simulator sim;
    LocalLink link = sim.openLocal();
    ASSERT_TRUE(link.fd);
    EXPECT_EQ(exchange(link.fd.get(), hex("05 01 1A 8D A6")), hex("06 01 1A 00 86 7A"));
    const auto connections = sim.connections();
    ASSERT_EQ(connections.size(), 1u);
    EXPECT_EQ(connections[0].id, link.connection);
    EXPECT_EQ(connections[0].kind, LinkKind::Local);
}

TEST(KrnSimLocal, ExchangeAgreesWithTheStream) {
    Simulator sim;
    sim.reader().addTag(tagWithBlocks(0x0A, 32, 256));
    sim.reader().addTag(tagWithBlocks(0x0B, 4, 8));
    const TcpEndpoint endpoint = sim.listenTcp();
    auto client = connectTcp(endpoint.port);
    ASSERT_TRUE(client);
    const Bytes requests[] = {
        hex("05 01 65 FD 2D"),       hex("02 00 07 01 65 76 87"),
        request(0xB0, {0x01, 0x00}), request(0xB0, {0x23, 0x00, 0x00, 0x40}), // 2,050 data bytes: advanced
        request(0x80, {0x03}),       request(0x99),
        request(0x65, {0x00}),
    };
    for (const Bytes& frame : requests) {
        const Plan plan = sim.reader().exchange(frame);
        EXPECT_EQ(plan.end, EndAction::None);
        EXPECT_EQ(toHex(exchange(client.get(), frame)), toHex(plan.bytes())) << toHex(frame);
    }
}

TEST(KrnSimLocal, ExchangeReturnsThePlanWithoutWaiting) {
    Simulator sim;
    sim.reader().queueFault(Fault::split({2}, {Millis(60000)}));
    const auto start = Clock::now();
    const Plan split = sim.reader().exchange(hex("05 01 1A 8D A6"));
    EXPECT_LT(Clock::now() - start, Millis(30000)) << "the minute of the gap is not waited";
    ASSERT_EQ(split.steps.size(), 2u);
    EXPECT_EQ(split.steps[1].delay, Millis(60000));
    EXPECT_EQ(toHex(split.bytes()), "06 01 1A 00 86 7A");

    sim.reader().queueFault(Fault::closeAfter(2));
    const Plan closing = sim.reader().exchange(hex("05 01 1A 8D A6"));
    EXPECT_EQ(closing.end, EndAction::Close);
    EXPECT_EQ(toHex(closing.bytes()), "06 01");
}

} // namespace
} // namespace krnsim

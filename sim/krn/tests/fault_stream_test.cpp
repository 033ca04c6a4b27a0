#include "client.h"

#include <krnsim/simulator.h>

#include <gtest/gtest.h>

namespace krnsim {
namespace {

using namespace test;

const Bytes kHalt = hex("05 01 1A 8D A6");
const Bytes kHaltReply = hex("06 01 1A 00 86 7A");

enum class End { Open, Eof, Reset };

class KrnSimFaultsOverTcp : public ::testing::Test {
  protected:
    Simulator sim;
    TcpEndpoint endpoint = sim.listenTcp();
};

TEST_F(KrnSimFaultsOverTcp, EachFaultShowsOnTheWire) {
    struct Case {
        Fault fault;
        std::string bytes;
        Millis atLeast;
        End end;
    };
    const Case cases[] = {
        {Fault::badCrc(), "06 01 1A 00 79 7A", Millis(0), End::Open},
        {Fault::wrongCommand(0x1B), "06 01 1B 00 5E 63", Millis(0), End::Open},
        {Fault::wrongAddress(0x09), "06 09 1A 00 44 BC", Millis(0), End::Open},
        {Fault::lengthDelta(2), "08 01 1A 00 C4 D4", Millis(0), End::Open},
        {Fault::truncate(2), "06 01 1A 00", Millis(0), End::Open},
        {Fault::surplus(hex("EE EE")), "06 01 1A 00 86 7A EE EE", Millis(0), End::Open},
        {Fault::split({1, 2}, {Millis(40), Millis(40)}), "06 01 1A 00 86 7A", Millis(80), End::Open},
        {Fault::delay(Millis(120)), "06 01 1A 00 86 7A", Millis(120), End::Open},
        {Fault::silence(), "", Millis(0), End::Open},
        {Fault::raw(hex("00")), "00", Millis(0), End::Open},
        {Fault::raw(hex("02 00 06 01 1A 00")), "02 00 06 01 1A 00", Millis(0), End::Open},
        {Fault::raw(hex("05 01 1A 8D A6")), "05 01 1A 8D A6", Millis(0), End::Open},
        {Fault::noise(hex("04 03")), "04 03 06 01 1A 00 86 7A", Millis(0), End::Open},
        {Fault::close(), "", Millis(0), End::Eof},
        {Fault::closeAfter(3), "06 01 1A", Millis(0), End::Eof},
        {Fault::reset(), "", Millis(0), End::Reset},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fault.describe());
        sim.reader().queueFault(c.fault);
        auto client = connectTcp(endpoint.port);
        ASSERT_TRUE(client);
        const std::size_t logged = sim.reader().log().size();
        const auto start = Clock::now();
        writeAll(client.get(), kHalt);
        const Bytes expected = hex(c.bytes);
        const ReadResult seen = readBytes(client.get(), expected.size());
        EXPECT_EQ(toHex(seen.bytes), c.bytes);
        EXPECT_GE(Clock::now() - start, c.atLeast);
        ASSERT_TRUE(sim.reader().log().waitFor(logged + 1, kPatience));
        EXPECT_EQ(sim.reader().log().entries().back().fault, c.fault.describe());
        switch (c.end) {
        case End::Open: // nothing more came: the next exchange gets exactly its reply
            EXPECT_EQ(toHex(exchange(client.get(), kHalt)), toHex(kHaltReply));
            break;
        case End::Eof: EXPECT_TRUE(readBytes(client.get(), 1).eof); break;
        case End::Reset: EXPECT_EQ(readBytes(client.get(), 1).error, ECONNRESET); break;
        }
        sim.reader().log().clear();
    }
}

TEST_F(KrnSimFaultsOverTcp, OneShotAppliesOnceAndPersistentUntilCleared) {
    auto client = connectTcp(endpoint.port);
    ASSERT_TRUE(client);
    sim.reader().queueFault(Fault::badCrc());
    EXPECT_EQ(toHex(exchange(client.get(), kHalt)), "06 01 1A 00 79 7A");
    EXPECT_EQ(exchange(client.get(), kHalt), kHaltReply);
    sim.reader().setPersistentFault(Fault::wrongCommand(0x1B));
    EXPECT_EQ(toHex(exchange(client.get(), kHalt)), "06 01 1B 00 5E 63");
    EXPECT_EQ(toHex(exchange(client.get(), kHalt)), "06 01 1B 00 5E 63");
    sim.reader().clearPersistentFault();
    EXPECT_EQ(exchange(client.get(), kHalt), kHaltReply);
    EXPECT_EQ(sim.reader().queuedFaults(), 0u);
}

TEST_F(KrnSimFaultsOverTcp, FiltersByCommandAndConnection) {
    auto first = connectTcp(endpoint.port);
    auto second = connectTcp(endpoint.port);
    ASSERT_TRUE(first && second);
    EXPECT_EQ(exchange(first.get(), kHalt), kHaltReply);
    EXPECT_EQ(exchange(second.get(), kHalt), kHaltReply);
    const ConnectionId secondId = sim.reader().log().entries().back().connection;

    sim.reader().queueFault(Fault::badCrc().onlyCommand(0x1C));
    sim.reader().queueFault(Fault::truncate(1).onlyConnection(secondId));
    EXPECT_EQ(exchange(first.get(), kHalt), kHaltReply) << "neither fault is for this reply";
    EXPECT_EQ(toHex(exchange(first.get(), hex("05 01 1C BB C3"))), "06 01 1C 00 A9 2E");
    writeAll(second.get(), kHalt);
    EXPECT_EQ(toHex(readBytes(second.get(), 5).bytes), "06 01 1A 00 86");
    EXPECT_EQ(sim.reader().queuedFaults(), 0u);
}

TEST_F(KrnSimFaultsOverTcp, SilenceIsStillLogged) {
    sim.reader().queueFault(Fault::silence());
    auto client = connectTcp(endpoint.port);
    ASSERT_TRUE(client);
    writeAll(client.get(), kHalt);
    ASSERT_TRUE(sim.reader().log().waitFor(1, kPatience));
    const LogEntry entry = sim.reader().log().entries()[0];
    EXPECT_EQ(entry.command, 0x1A);
    EXPECT_TRUE(entry.reply.empty());
    EXPECT_EQ(entry.fault, "silence");
}

} // namespace
} // namespace krnsim

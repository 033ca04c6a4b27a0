#include "client.h"

#include <krnsim/simulator.h>

#include <vktesting/wait_until.h>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace krnsim {
namespace {

using namespace test;

TEST(KrnSimLifecycle, DestroysPromptlyWithADelayPendingAndClientsOpen) {
    auto sim = std::make_unique<Simulator>();
    const TcpEndpoint endpoint = sim->listenTcp();
    sim->openPty();
    LocalLink local = sim->openLocal();
    sim->reader().setPersistentFault(Fault::delay(Millis(60000)));
    auto client = connectTcp(endpoint.port);
    ASSERT_TRUE(client);
    writeAll(client.get(), hex("05 01 1A 8D A6"));
    ASSERT_TRUE(sim->reader().log().waitFor(1, kPatience));
    const auto start = Clock::now();
    sim.reset();
    EXPECT_LT(Clock::now() - start, Millis(1000));
    const ReadResult after = readBytes(client.get(), 1);
    EXPECT_TRUE(after.eof || after.error == ECONNRESET) << "the connection was closed";
}

TEST(KrnSimLifecycle, TagsAndFaultsChangeWhileClientsExchange) {
    Simulator sim;
    const TcpEndpoint endpoint = sim.listenTcp();
    std::atomic<bool> done{false};
    std::atomic<int> answered{0};
    std::atomic<int> broken{0};
    std::vector<std::thread> clients;
    for (int c = 0; c < 2; ++c) {
        clients.emplace_back([&] {
            auto client = connectTcp(endpoint.port);
            if (!client) {
                ++broken;
                return;
            }
            for (int round = 0; round < 60; ++round) {
                const Bytes reply = exchange(client.get(), request(0xB0, {0x01, 0x00}));
                if (reply.size() >= 6 && crc16(reply) == 0 && reply[2] == 0xB0)
                    ++answered;
                else
                    ++broken;
            }
        });
    }
    std::thread changer([&] {
        for (std::uint8_t i = 0; !done; ++i) {
            Tag tag;
            tag.uid = {1, 2, 3, 4, 5, 6, 7, i};
            sim.reader().addTag(tag);
            sim.reader().setTagInField(tag.uid, i % 2 == 0);
            sim.reader().queueFault(Fault::delay(Millis(0)));
            sim.reader().setPersistentFault(Fault::split({3}, {Millis(0)}));
            sim.reader().setHandler(0x1A, [](const Request&, ConnectionContext&) { return Reply::frame(0); });
            sim.reader().removeTag(tag.uid);
            sim.reader().clearPersistentFault();
            (void)sim.reader().tags();
            (void)sim.reader().log().size();
        }
    });
    for (auto& thread : clients)
        thread.join();
    done = true;
    changer.join();
    EXPECT_EQ(broken, 0);
    EXPECT_EQ(answered, 120);
}

TEST(KrnSimLifecycle, HandlersMayCallTheControlFunctions) {
    Simulator sim;
    sim.reader().setHandler(0x34, [&](const Request& request, ConnectionContext& context) {
        EXPECT_EQ(sim.connections().size(), 1u);
        sim.send(context.id(), hex("01 02"));                       // before the reply: sent at once
        sim.reader().queueFault(Fault::badCrc().onlyCommand(0x1A)); // for a later reply
        sim.reader().setHandler(0x34, nullptr);                     // replaces itself
        return Reply::frame(0, request.data);
    });
    LocalLink link = sim.openLocal();
    writeAll(link.fd.get(), request(0x34, {0x09}));
    EXPECT_EQ(toHex(readBytes(link.fd.get(), 2).bytes), "01 02");
    EXPECT_EQ(readFrame(link.fd.get()).at(4), 0x09);
    EXPECT_EQ(toHex(exchange(link.fd.get(), hex("05 01 1A 8D A6"))), "06 01 1A 00 79 7A");
    EXPECT_EQ(sim.reader().exchange(request(0x34)).bytes().at(3), 0x81) << "the model again: wrong length";
}

} // namespace
} // namespace krnsim

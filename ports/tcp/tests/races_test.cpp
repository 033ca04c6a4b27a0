// The library used from several threads at once (run under ThreadSanitizer).
#include "peer_fixture.h"

#include <vktesting/wait_until.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;
using vktcp_test::Bytes;
using vktcp_test::GuardedBuffer;
using vktcp_test::request;
using vktcp_test::Script;
using vktcp_test::standardFrame;
using Clock = std::chrono::steady_clock;

class Races : public vktcp_test::PeerTest {};

TEST_F(Races, DisconnectEndsAReceiveBlockedOnTheSocket) {
    open();
    set("TIMEOUT", "20000");
    std::atomic<int> result{1};
    Clock::time_point ended;
    std::thread receiver([&] {
        std::uint8_t buffer[64];
        result = api.Receive(handle, buffer, sizeof buffer);
        ended = Clock::now();
    });
    // Give the receiver a moment to block; either order must end promptly.
    std::this_thread::sleep_for(50ms);
    const auto start = Clock::now();
    EXPECT_EQ(api.DisConnect(handle), 0);
    receiver.join();
    EXPECT_LT(ended - start, 5s) << "the receive ended long before its time-out";
    const int r = result.load();
    EXPECT_TRUE(r == -1232 || r == -1223 || r == -1201) << r;
    handle = 0;
}

TEST_F(Races, ADisconnectionsWaitHoldsUpNoOtherSocket) {
    // This peer keeps its side open: the disconnection waits about half a second
    // for the connection's end.
    vksim::TcpPeerOptions options;
    options.onClientClose = vksim::OnClientClose::StayOpen;
    vksim::TcpPeer lingering(std::move(options));
    const int closing = api.Connect("127.0.0.1", lingering.port());
    ASSERT_GT(closing, 0);
    open();
    std::atomic<bool> disconnected{false};
    std::thread disconnect([&] {
        EXPECT_GE(api.DisConnect(closing), 0);
        disconnected = true;
    });
    // Closed, the connection waits in FIN-wait-2 (7) while the disconnection
    // polls for time-wait.
    ASSERT_TRUE(
        vktesting::waitUntil([&] { return api.GetSocketState("127.0.0.1", lingering.port()) == 7; }, 5s));
    for (int i = 0; i < 3; ++i) {
        peer->expect(Script::reply(standardFrame(9)));
        GuardedBuffer buffer(64);
        EXPECT_EQ(transceive(request(), buffer), 9);
    }
    EXPECT_FALSE(disconnected) << "the exchanges on the other socket did not wait for the disconnection";
    disconnect.join();
}

TEST_F(Races, TwoThreadsOnOneSocketNeverInterleave) {
    vksim::TcpPeerOptions options;
    options.framer = vksim::arrivalRequestLength;
    open(std::move(options));
    set("TIMEOUT", "10000");
    const Bytes a(1 << 20, 0xAA);
    const Bytes b(1 << 20, 0xBB);
    std::thread other([&] { EXPECT_EQ(api.Transmit(handle, b.data(), static_cast<int>(b.size())), 0); });
    EXPECT_EQ(api.Transmit(handle, a.data(), static_cast<int>(a.size())), 0);
    other.join();
    ASSERT_TRUE(connection().waitForReceived(a.size() + b.size(), 20s));
    const Bytes seen = connection().received();
    const std::uint8_t first = seen.front();
    const std::uint8_t second = first == 0xAA ? 0xBB : 0xAA;
    for (std::size_t i = 0; i < seen.size(); ++i)
        ASSERT_EQ(seen[i], i < a.size() ? first : second) << "interleaved at " << i;
}

TEST_F(Races, UnknownCodeTextsOnTwoThreads) {
    auto ask = [&](int code) {
        const std::string expected = "VKTCP: unknown error code: " + std::to_string(code);
        char text[256];
        for (int i = 0; i < 2000; ++i) {
            ASSERT_EQ(api.GetErrorText(code, text), -1254);
            ASSERT_EQ(expected, text);
        }
    };
    std::thread other(ask, -1241);
    ask(-1242);
    other.join();
}

TEST_F(Races, KeysChangeWhileTransfersRun) {
    open();
    set("TIMEOUT", "2000");
    peer->respond([](const Bytes&) { return Script::reply(standardFrame(9)); });
    std::atomic<bool> done{false};
    std::thread setter([&] {
        const char* values[] = {"1000", "2000", "3000"};
        for (int i = 0; !done; ++i) {
            api.SetSocketPara(handle, "TIMEOUT", values[i % 3]);
            api.SetSocketPara(handle, "CHARTIMEOUT", "100");
            api.SetSocketPara(0, "LANGUAGE", i % 2 ? "7" : "9");
            char value[128];
            api.GetSocketPara(handle, "LASTSOCKETERROR", value);
        }
    });
    for (int i = 0; i < 50; ++i) {
        GuardedBuffer buffer(64);
        EXPECT_EQ(transceive(request(static_cast<std::uint8_t>(i)), buffer), 9);
    }
    done = true;
    setter.join();
}

TEST_F(Races, ConnectAndDisconnectFromSeveralThreads) {
    vksim::TcpPeer tcpPeer;
    auto cycle = [&](const char* host) {
        for (int i = 0; i < 5; ++i) {
            const int h = api.Connect(host, tcpPeer.port());
            ASSERT_GT(h, 0);
            // The other thread may share the connection (a name and its dotted
            // address reuse one socket) and close it at any moment.
            const int count = api.GetSocketList(0);
            EXPECT_TRUE(count > 0 || count == -1201) << count;
            const int rc = api.DisConnect(h);
            EXPECT_TRUE(rc == 0 || rc == -1223 || rc == -1201) << rc;
        }
    };
    std::thread other(cycle, "localhost");
    cycle("127.0.0.1");
    other.join();
}

// Runs `work` (0) on this thread and `work` (1) on another, released together.
template <typename Work> void bothAtOnce(Work work) {
    std::atomic<int> ready{0};
    auto run = [&](int side) {
        ready.fetch_add(1);
        while (ready.load() < 2) {
        }
        work(side);
    };
    std::thread other(run, 1);
    run(0);
    other.join();
}

TEST_F(Races, TwoConnectsToOneHostAndPortShareOneConnection) {
    vksim::TcpPeer tcpPeer;
    constexpr int kRounds = 40;
    for (int round = 0; round < kRounds; ++round) {
        int handles[2] = {0, 0};
        bothAtOnce([&](int side) { handles[side] = api.Connect("127.0.0.1", tcpPeer.port()); });
        ASSERT_GT(handles[0], 0);
        EXPECT_EQ(handles[0], handles[1]) << "round " << round;
        const int first = api.GetSocketList(0);
        EXPECT_EQ(api.GetSocketList(first), 0) << "one socket listed, round " << round;
        for (int h = api.GetSocketList(0); h > 0; h = api.GetSocketList(0))
            api.DisConnect(h);
    }
    EXPECT_EQ(tcpPeer.acceptCount(), static_cast<std::size_t>(kRounds));
}

TEST_F(Races, TwoDisconnectsOfOneHandleEndItOnce) {
    vksim::TcpPeer tcpPeer;
    std::atomic<int> handlerCalls{0};
    for (int round = 0; round < 20; ++round) {
        const int h = api.Connect("127.0.0.1", tcpPeer.port());
        ASSERT_GT(h, 0);
        _VKTCP_EVENT_INIT record{
            &handlerCalls, VKTCP_EVENT_DISCONNECT, 0, VKTCP_EVENT_FLAG_CONTEXT,
            [](void* any, int, int, int) { static_cast<std::atomic<int>*>(any)->fetch_add(1); }};
        ASSERT_EQ(api.AddEventHandler(h, &record), 0);
        int results[2] = {1, 1};
        bothAtOnce([&](int side) { results[side] = api.DisConnect(h); });
        const int wins = (results[0] == 0 ? 1 : 0) + (results[1] == 0 ? 1 : 0);
        EXPECT_EQ(wins, 1) << results[0] << " " << results[1];
        for (const int rc : results)
            EXPECT_TRUE(rc == 0 || rc == -1223 || rc == -1201) << rc;
        EXPECT_EQ(handlerCalls.load(), round + 1) << "the disconnection handlers ran once";
        EXPECT_EQ(api.GetSocketList(0), -1201);
    }
}

// A DISCONNECT handler that may look the host up and reconnect to it itself,
// and then waits until the test releases it.
struct Disconnecting {
    const vktcp_test::TcpApi* api = nullptr;
    std::uint16_t port = 0;
    bool reconnect = false;
    int foundInHandler = 0;
    int reconnected = 0;
    std::mutex mutex; // guards the two below
    std::condition_variable changed;
    bool entered = false;
    bool released = false;
};

void onDisconnect(void* any, int, int, int) {
    auto& d = *static_cast<Disconnecting*>(any);
    if (d.reconnect) {
        d.foundInHandler = d.api->GetSocketHnd("127.0.0.1", d.port);
        d.reconnected = d.api->Connect("127.0.0.1", d.port);
    }
    std::unique_lock lock(d.mutex);
    d.entered = true;
    d.changed.notify_all();
    d.changed.wait(lock, [&] { return d.released; });
}

// Once its disconnection has begun, a connection is never handed out again: the
// look-up by host does not find it, and a connect to its host and port, from
// another thread or from its own DISCONNECT handler, opens a new connection
// under a new handle.
TEST_F(Races, AConnectionBeingDisconnectedIsNeverHandedOutAgain) {
    enum class Asker { Handler, OtherThreadDuringHandler, OtherThreadWhileTheConnectionEnds };
    struct Case {
        const char* name;
        Asker asker;
    } const cases[] = {
        {"its own DISCONNECT handler", Asker::Handler},
        {"another thread while the handler runs", Asker::OtherThreadDuringHandler},
        {"another thread while the disconnection waits for the end",
         Asker::OtherThreadWhileTheConnectionEnds},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        vksim::TcpPeerOptions options;
        // This peer keeps its side open: the disconnection waits for the end.
        if (c.asker == Asker::OtherThreadWhileTheConnectionEnds)
            options.onClientClose = vksim::OnClientClose::StayOpen;
        vksim::TcpPeer tcpPeer(std::move(options));
        tcpPeer.respond([](const Bytes&) { return Script::reply(standardFrame(9)); });
        const int old = api.Connect("127.0.0.1", tcpPeer.port());
        ASSERT_GT(old, 0);
        Disconnecting d;
        d.api = &api;
        d.port = tcpPeer.port();
        d.reconnect = c.asker == Asker::Handler;
        d.released = c.asker != Asker::OtherThreadDuringHandler;
        _VKTCP_EVENT_INIT record{&d, VKTCP_EVENT_DISCONNECT, 0, VKTCP_EVENT_FLAG_CONTEXT, onDisconnect};
        ASSERT_EQ(api.AddEventHandler(old, &record), 0);

        std::atomic<int> disconnected{1};
        std::thread disconnect([&] { disconnected = api.DisConnect(old); });
        int found = 0;
        int fresh = 0;
        if (c.asker == Asker::Handler) {
            disconnect.join();
            found = d.foundInHandler;
            fresh = d.reconnected;
        } else {
            if (c.asker == Asker::OtherThreadDuringHandler) {
                std::unique_lock lock(d.mutex);
                ASSERT_TRUE(d.changed.wait_for(lock, 5s, [&] { return d.entered; }));
            } else {
                // Closed, the connection waits in FIN-wait-2 (7) for its end.
                ASSERT_TRUE(vktesting::waitUntil(
                    [&] { return api.GetSocketState("127.0.0.1", tcpPeer.port()) == 7; }, 5s));
            }
            found = api.GetSocketHnd("127.0.0.1", tcpPeer.port());
            fresh = api.Connect("127.0.0.1", tcpPeer.port());
            {
                std::lock_guard lock(d.mutex);
                d.released = true;
            }
            d.changed.notify_all();
            disconnect.join();
        }
        EXPECT_EQ(disconnected.load(), 0);
        EXPECT_EQ(found, -1223);
        ASSERT_GT(fresh, 0);
        EXPECT_NE(fresh, old);
        EXPECT_EQ(api.GetSocketHnd("127.0.0.1", tcpPeer.port()), fresh);
        EXPECT_TRUE(tcpPeer.waitForAccepts(2, 5s)) << "a connection of its own";
        GuardedBuffer buffer(64);
        EXPECT_EQ(api.Transceive(fresh, request().data(), static_cast<int>(request().size()), buffer.data(),
                                 buffer.size()),
                  9);
        EXPECT_EQ(api.GetSocketList(0), fresh);
        EXPECT_EQ(api.GetSocketList(fresh), 0) << "the old connection is gone";
        EXPECT_EQ(api.DisConnect(fresh), 0);
    }
}

} // namespace

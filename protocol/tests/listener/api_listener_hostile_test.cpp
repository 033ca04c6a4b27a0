// Hostile peers of the notification listener, one per test process, each beside
// a second listener on another reader that a good reader notifies every 100 ms.
// After each: only the listed codes reported, the other listener lost nothing,
// descriptors at their baseline, and a good reader retrying its connect is
// served within the idle limit and half a second.
#include "listener_fixture.h"

#include <vktesting/allocation_counter.h>
#include <vktesting/process_usage.h>

#include <gtest/gtest.h>

#include <random>
#include <thread>

namespace {

using namespace std::chrono_literals;
using krnsim::Bytes;
using krnsim::Form;

struct Hostile {
    const char* name;
    void (*run)(krnsim::Notifier& peer);
    std::vector<int> allowed;     // codes the listener may report
    bool cipher = false;          // the listener wants the handshake
    bool closedByListener = true; // the listener ends the connection (at the idle limit)
};

void PrintTo(const Hostile& hostile, std::ostream* out) {
    *out << hostile.name;
}

// Takes what the host sends for `period` (whatever comes, the whole period).
void pause(krnsim::Notifier& peer, std::chrono::milliseconds period) {
    const auto until = std::chrono::steady_clock::now() + period;
    for (auto now = std::chrono::steady_clock::now(); now < until && !peer.closedByHost();
         now = std::chrono::steady_clock::now())
        peer.waitFrame(std::chrono::duration_cast<std::chrono::milliseconds>(until - now));
}

Bytes notification(std::size_t n) {
    return krnsim::buildReply(Form::Standard, 1, 0x22, 0, Bytes(n, 0x42));
}

void randomBytes(krnsim::Notifier& peer) {
    std::mt19937 random(7);
    Bytes chunk;
    for (std::size_t sent = 0; sent < (1u << 20);) {
        chunk.resize(1 + random() % 4096);
        for (auto& b : chunk)
            b = static_cast<std::uint8_t>(random());
        peer.send(chunk);
        sent += chunk.size();
    }
}

void resetMidFrame(krnsim::Notifier& peer) {
    const Bytes frame = notification(40);
    peer.send(Bytes(frame.begin(), frame.begin() + 20));
    std::this_thread::sleep_for(50ms);
    peer.reset();
}

void halfThenSilence(krnsim::Notifier& peer) {
    const Bytes frame = notification(40);
    peer.send(Bytes(frame.begin(), frame.begin() + 20));
    peer.waitFrame(5s); // until the listener closes
}

void longHeadThenTrickle(krnsim::Notifier& peer) {
    peer.send(Bytes{0x02, 0xFF, 0xFF});
    for (int i = 0; i < 40 && !peer.closedByHost(); ++i) {
        try {
            peer.send(Bytes{0x00});
        } catch (const std::runtime_error&) {
            return;
        }
        pause(peer, 100ms);
    }
}

void byteEvery50ms(krnsim::Notifier& peer) {
    for (int i = 0; i < 100 && !peer.closedByHost(); ++i) {
        try {
            peer.send(Bytes{0x01});
        } catch (const std::runtime_error&) {
            return;
        }
        pause(peer, 50ms);
    }
}

void badCrcEveryHalfT(krnsim::Notifier& peer) {
    Bytes bad = notification(3);
    bad.back() ^= 0xFF;
    for (int i = 0; i < 10 && !peer.closedByHost(); ++i) {
        try {
            peer.send(bad);
        } catch (const std::runtime_error&) {
            return;
        }
        pause(peer, 500ms);
    }
}

void sendAndReset(krnsim::Notifier& peer) {
    peer.send(notification(3));
    peer.reset();
}

void silence(krnsim::Notifier& peer) {
    peer.waitFrame(5s); // until the listener closes
}

void plainEveryHalfT(krnsim::Notifier& peer) {
    for (int i = 0; i < 10 && !peer.closedByHost(); ++i) {
        try {
            peer.send(notification(3));
        } catch (const std::runtime_error&) {
            return;
        }
        pause(peer, 500ms);
    }
}

void step1EveryHalfT(krnsim::Notifier& peer) {
    const krnsim::NotifyChannel channel(0, Bytes(16, 0x40), 1);
    for (int i = 0; i < 10 && !peer.closedByHost(); ++i) {
        try {
            peer.send(channel.step1());
        } catch (const std::runtime_error&) {
            return;
        }
        pause(peer, 500ms);
    }
}

const Hostile kPeers[] = {
    {"RandomMegabyte", &randomBytes, {-1230, -4030, -4031, -4092}, false, false},
    {"ResetMidFrame", &resetMidFrame, {}, false, false},
    {"HalfThenSilence", &halfThenSilence, {-1230}},
    {"LongHeadThenTrickle", &longHeadThenTrickle, {-1230}},
    {"ByteEvery50ms", &byteEvery50ms, {-1230}},
    {"BadCrcEveryHalfT", &badCrcEveryHalfT, {-4031}},
    {"SendAndReset", &sendAndReset, {0}, false, false},
    {"CipherSilence", &silence, {-4092}, true},
    {"CipherPlainEveryHalfT", &plainEveryHalfT, {-4092}, true},
    {"CipherStep1EveryHalfT", &step1EveryHalfT, {-4092}, true},
};

class HostilePeers : public vkkrn_test::ListenerTest, public ::testing::WithParamInterface<Hostile> {};

TEST_P(HostilePeers, TheHostLivesAndOthersLoseNothing) {
    // The neighbour: another reader's listener, notified every 100 ms.
    vkkrn_test::ListenerRecorder neighbourCalls;
    const int neighbour = VKKRN_NewReader(0);
    ASSERT_GT(neighbour, 0);
    _VKKRN_TASK_INIT n = record(3, 1);
    n.pAny = &neighbourCalls;
    n.uiTcpPort = vkkrn_test::freeLoopbackPort();
    ASSERT_EQ(VKKRN_StartAsyncTask(neighbour, 3, &n, nullptr), 0);
    std::atomic<bool> stop{false};
    std::atomic<int> neighbourSent{0};
    std::thread neighbourReader([&] {
        std::unique_ptr<krnsim::Notifier> reader;
        vktesting::waitUntil([&] {
            try {
                reader = std::make_unique<krnsim::Notifier>(static_cast<std::uint16_t>(n.uiTcpPort));
                return true;
            } catch (const std::runtime_error&) {
                return false;
            }
        });
        while (reader && !stop.load()) {
            reader->notify(0x22, Bytes{0x01});
            neighbourSent.fetch_add(1);
            std::this_thread::sleep_for(100ms);
        }
    });

    recorder_.allocationCounter = &vktesting::threadAllocationCount;
    _VKKRN_TASK_INIT r = record(3, 1);
    r.uiAcknowledge = 1;
    if (GetParam().cipher) withKey(r, 16);
    ASSERT_EQ(VKKRN_StartAsyncTask(reader_, 3, &r, nullptr), 0);
    auto peer = connect();
    ASSERT_TRUE(peer);
    const int baseline = vktesting::openDescriptors() - 1; // without the peer
    const auto accepted = std::chrono::steady_clock::now();
    GetParam().run(*peer);
    if (GetParam().closedByListener) {
        EXPECT_TRUE(peer->closedByHost());
        EXPECT_LT(std::chrono::steady_clock::now() - accepted, 3000ms + 1500ms) << "closed at the idle limit";
    }
    peer.reset();

    const auto start = std::chrono::steady_clock::now();
    auto good = retryUntilServed(
        [&](krnsim::Notifier& reader) {
            if (GetParam().cipher && !reader.authenticate(0, keyBytes(16), {}, 500ms)) return false;
            reader.notify(0x22, Bytes{9});
            const auto ack = reader.waitFrame(500ms);
            return ack && ack->command == 0x32;
        },
        10s);
    ASSERT_TRUE(good) << log();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 3500ms + 500ms);
    for (const int status : recorder_.statuses()) {
        if (status == 0) continue;
        const auto& allowed = GetParam().allowed;
        EXPECT_NE(std::find(allowed.begin(), allowed.end(), status), allowed.end()) << status;
    }
    good.reset();
    if (!GetParam().cipher) { // a handshake makes (and frees) a cipher object
        EXPECT_EQ(recorder_.allocationsBetweenCalls(), 0u) << "the listener's thread allocated while serving";
    }

    stop.store(true);
    neighbourReader.join();
    EXPECT_TRUE(neighbourCalls.waitFor(neighbourSent.load()));
    EXPECT_EQ(neighbourCalls.statuses(), std::vector<int>(static_cast<std::size_t>(neighbourSent.load()), 0));
    EXPECT_EQ(VKKRN_DeleteReader(neighbour), 0);
    EXPECT_TRUE(vktesting::waitUntil([&] { return vktesting::openDescriptors() <= baseline; }))
        << vktesting::openDescriptors() << " > " << baseline;
}

INSTANTIATE_TEST_SUITE_P(Listener, HostilePeers, ::testing::ValuesIn(kPeers),
                         [](const ::testing::TestParamInfo<Hostile>& info) {
                             return std::string(info.param.name);
                         });

} // namespace

// A notification round trip through the listener (the simulated reader sends a
// 0x22 notification, the listener calls back and answers 0x32) against a raw
// loopback ping-pong of the same bytes in the same run: plain and on the
// enciphered channel. Logging off, callback form 1.
#include "ratio_reporter.h"

#include <krnsim/notifier.h>
#include <vkkrn.h>
#include <vktesting/loopback_listener.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <thread>

namespace {

using namespace std::chrono_literals;
using krnsim::Bytes;

const Bytes kData{0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08};
constexpr std::size_t kAckLength = 5; // 0x32 request, no data

void noteCall(void* context, int, int, int, unsigned char, unsigned char*, int) {
    static_cast<std::atomic<int>*>(context)->fetch_add(1);
}

std::uint16_t freePort() {
    vktesting::LoopbackListener probe;
    return probe.port();
}

// A listener on its own reader, and a simulated reader connected to it.
struct Listening {
    explicit Listening(bool cipher) {
        reader = VKKRN_NewReader(0);
        _VKKRN_TASK_INIT task{};
        task.pAny = &calls;
        task.ucBusAdr = 1;
        task.uiMode = 5;
        std::strcpy(task.cAddress, "127.0.0.1");
        task.uiTcpPort = freePort();
        task.uiTimeout = 1;
        task.uiCallbackVariant = 1;
        task.uiAcknowledge = 1;
        task.callback.form1 = &noteCall;
        if (cipher) {
            task.ucCipher = 1;
            task.uiKeyLength = 16;
            for (int i = 0; i < 16; ++i)
                task.ucKey[i] = static_cast<unsigned char>(i);
        }
        if (VKKRN_StartAsyncTask(reader, 3, &task, nullptr) != 0) return;
        for (int i = 0; i < 500 && !notifier; ++i) {
            try {
                notifier = std::make_unique<krnsim::Notifier>(static_cast<std::uint16_t>(task.uiTcpPort));
            } catch (const std::runtime_error&) {
                std::this_thread::sleep_for(2ms);
            }
        }
        if (notifier && cipher) {
            Bytes key(16);
            for (int i = 0; i < 16; ++i)
                key[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i);
            if (!notifier->authenticate(0, key)) notifier.reset();
        }
    }
    ~Listening() {
        notifier.reset();
        VKKRN_CancelAsyncTask(reader);
        VKKRN_DeleteReader(reader);
    }
    int reader = 0;
    std::atomic<int> calls{0};
    std::unique_ptr<krnsim::Notifier> notifier;
};

void roundTrips(benchmark::State& state, bool cipher) {
    Listening listening(cipher);
    if (!listening.notifier) {
        state.SkipWithError("the listener did not serve");
        return;
    }
    for (auto _ : state) {
        listening.notifier->notify(0x22, kData);
        const auto ack = listening.notifier->waitFrame(2000ms);
        if (!ack || ack->command != 0x32) {
            state.SkipWithError("no acknowledgement");
            return;
        }
    }
}

void BM_ListenerPlain(benchmark::State& state) {
    roundTrips(state, false);
}
void BM_ListenerEnciphered(benchmark::State& state) {
    roundTrips(state, true);
}

// The baseline: the same notification bytes to a peer that reads them by their
// length and answers five bytes, on loopback with the same blocking reads.
void BM_RawPingPong(benchmark::State& state) {
    vktesting::LoopbackListener server;
    const Bytes frame = krnsim::buildReply(krnsim::Form::Standard, 1, 0x22, 0, kData);
    std::atomic<bool> stop{false};
    std::thread peer([&] {
        vktesting::UniqueFd connection = server.accept(5000ms);
        if (!connection) return;
        std::uint8_t buffer[512];
        const Bytes ack = krnsim::buildRequest(krnsim::Form::Standard, 1, 0x32, {});
        while (!stop.load()) {
            std::size_t have = 0;
            while (have < frame.size()) {
                pollfd p{connection.get(), POLLIN, 0};
                if (poll(&p, 1, 10) <= 0) {
                    if (stop.load()) return;
                    continue;
                }
                const ssize_t n = read(connection.get(), buffer + have, frame.size() - have);
                if (n <= 0) return;
                have += static_cast<std::size_t>(n);
            }
            if (send(connection.get(), ack.data(), ack.size(), MSG_NOSIGNAL) !=
                static_cast<ssize_t>(kAckLength))
                return;
        }
    });
    {
        krnsim::Notifier client(server.port());
        for (auto _ : state) {
            client.send(frame);
            const auto ack = client.waitFrame(2000ms);
            if (!ack) {
                state.SkipWithError("no answer");
                break;
            }
        }
        stop.store(true);
    }
    peer.join();
}

BENCHMARK(BM_RawPingPong)->UseRealTime();
BENCHMARK(BM_ListenerPlain)->UseRealTime();
BENCHMARK(BM_ListenerEnciphered)->UseRealTime();

} // namespace

int main(int argc, char** argv) {
    return vkbench::runWithRatios(argc, argv,
                                  {{"BM_RawPingPong/real_time", "BM_ListenerPlain/real_time", 1 / 1.5},
                                   {"BM_RawPingPong/real_time", "BM_ListenerEnciphered/real_time", 1 / 3.0}});
}

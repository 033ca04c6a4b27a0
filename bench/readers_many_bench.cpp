// A thousand TCP readers open at once: each on its own connection (its own
// listener of one simulated reader, since the TCP library shares a connection
// per host and port), one exchange on each, then all closed. Reports the time
// per open, the time per exchange among them against one reader's alone (the
// median of blocks of exchanges each, so that a stall of the machine does not
// decide the ratio; target at most 1.2), and the resident memory per reader
// after one exchange each (target at most 100 kB) next to what the reader's
// fixed buffers would hold if they were all touched. Raises the soft
// descriptor limit to the hard one and says so when that is too low for the
// readers asked.
#include <krnsim/frame.h>
#include <krnsim/simulator.h>
#include <vkkrn.h>
#include <vktcp.h>
#include <vktesting/process_usage.h>

#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kWantedReaders = 1000;
constexpr int kBlocks = 15;
constexpr int kBlockExchanges = 40;
constexpr double kRatioTarget = 1.2;
constexpr double kResidentTargetKb = 100;
constexpr int kClosingThreads = 16;
// The simulated readers' listeners are spread over this many simulators, each
// with its own event loop, so that no loop polls a thousand descriptors per
// reply and the simulator does not hide the library's own cost.
constexpr int kSimulators = 50;
// Six frame buffers of 65,537 bytes and two protocol texts of 197,123 characters.
constexpr double kFixedBufferKb = (6 * 65537 + 2 * 197123) / 1024.0;

int gReaders = kWantedReaders;

// Three descriptors per reader (listener, accepted and client end) and room for the rest.
void raiseDescriptorLimit() {
    rlimit limit{};
    ::getrlimit(RLIMIT_NOFILE, &limit);
    limit.rlim_cur = limit.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &limit);
    const long room = (static_cast<long>(limit.rlim_cur) - 64) / 3;
    std::printf("descriptor limit raised to the hard limit, %ld\n", static_cast<long>(limit.rlim_cur));
    if (room < kWantedReaders) {
        gReaders = static_cast<int>(std::max(1L, room));
        std::printf("the hard limit allows %d readers, not %d\n", gReaders, kWantedReaders);
    }
}

struct Opened {
    int port = 0;
    int reader = 0;
};

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Seconds per exchange: the median of kBlocks blocks of kBlockExchanges
// exchanges, the k-th exchange of the whole run on the reader `readerFor(k)`.
// Counts the failed exchanges into `failed`.
template <typename Exchange, typename ReaderFor>
double medianPerExchange(Exchange&& exchange, ReaderFor&& readerFor, int& failed) {
    std::vector<double> blocks;
    int k = 0;
    for (int b = 0; b < kBlocks; ++b) {
        const auto start = Clock::now();
        for (int i = 0; i < kBlockExchanges; ++i)
            failed += exchange(readerFor(k++)) ? 0 : 1;
        blocks.push_back(secondsSince(start) / kBlockExchanges);
    }
    std::sort(blocks.begin(), blocks.end());
    return blocks[blocks.size() / 2];
}

void BM_ManyReaders(benchmark::State& state) {
    std::vector<std::unique_ptr<krnsim::Simulator>> sims;
    for (int s = 0; s < kSimulators; ++s) {
        sims.push_back(std::make_unique<krnsim::Simulator>());
        sims.back()->reader().setHandler(0xB2, [](const krnsim::Request& r, krnsim::ConnectionContext&) {
            return krnsim::Reply::frame(0x00, r.data);
        });
    }
    std::vector<std::uint16_t> tcpPorts;
    for (int i = 0; i < gReaders; ++i)
        tcpPorts.push_back(sims[static_cast<std::size_t>(i % kSimulators)]->listenTcp().port);
    std::vector<std::uint8_t> frame =
        krnsim::buildRequest(krnsim::Form::Standard, 1, 0xB2, std::vector<std::uint8_t>(32, 0x5A));
    std::vector<std::uint8_t> reply(512);
    auto exchange = [&](int reader) {
        return VKKRN_SendTransparent(reader, frame.data(), static_cast<int>(frame.size()), reply.data(),
                                     static_cast<int>(reply.size()), 0, 0) == 38;
    };

    for (auto _ : state) {
        // One reader alone.
        const int alonePort = VKTCP_Connect("127.0.0.1", tcpPorts[0]);
        const int aloneReader = VKKRN_NewReader(alonePort);
        exchange(aloneReader);
        int aloneFailed = 0;
        const double alone = medianPerExchange(
            exchange, [&](int) { return aloneReader; }, aloneFailed);
        if (aloneFailed != 0) state.SkipWithError("exchange with one reader failed");
        VKKRN_DeleteReader(aloneReader);
        VKTCP_DisConnect(alonePort);

        const long before = vktesting::residentKb();
        std::vector<Opened> opened(static_cast<std::size_t>(gReaders));
        auto start = Clock::now();
        for (std::size_t i = 0; i < opened.size(); ++i) {
            opened[i].port = VKTCP_Connect("127.0.0.1", tcpPorts[i]);
            opened[i].reader = VKKRN_NewReader(opened[i].port);
        }
        const double open = secondsSince(start) / gReaders;
        start = Clock::now();
        int failed = 0;
        for (const Opened& o : opened)
            failed += exchange(o.reader) ? 0 : 1;
        const double each = secondsSince(start) / gReaders;
        const long after = vktesting::residentKb();
        // Readers spread over the whole registry, a different one each time.
        const double among = medianPerExchange(
            exchange, [&](int k) { return opened[static_cast<std::size_t>((k * 7919) % gReaders)].reader; },
            failed);
        if (failed != 0) state.SkipWithError("exchanges failed with many readers open");

        // Closing waits for each connection's end: spread over threads.
        std::vector<std::thread> closers;
        for (int t = 0; t < kClosingThreads; ++t) {
            closers.emplace_back([&opened, t] {
                for (std::size_t i = static_cast<std::size_t>(t); i < opened.size(); i += kClosingThreads) {
                    VKKRN_DeleteReader(opened[i].reader);
                    VKTCP_DisConnect(opened[i].port);
                }
            });
        }
        for (auto& c : closers)
            c.join();

        const double perReaderKb = static_cast<double>(after - before) / gReaders;
        state.SetIterationTime(open * gReaders);
        state.counters["readers"] = gReaders;
        state.counters["open_us"] = open * 1e6;
        state.counters["exchange_alone_us"] = alone * 1e6;
        state.counters["first_exchange_us"] = each * 1e6;
        state.counters["exchange_among_us"] = among * 1e6;
        state.counters["among_per_alone"] = among / alone;
        state.counters["rss_per_reader_kB"] = perReaderKb;
        state.counters["fixed_buffers_kB"] = kFixedBufferKb;
        std::printf(
            "\n%d readers: %.1f us per open; one exchange on each %.1f us, on readers among them %.1f us, "
            "one reader alone %.1f us (x%.2f, target at most %.1f%s); resident memory %.1f kB per "
            "reader after one exchange each (target at most %.0f kB%s), fixed buffers %.1f kB\n",
            gReaders, open * 1e6, each * 1e6, among * 1e6, alone * 1e6, among / alone, kRatioTarget,
            among / alone <= kRatioTarget ? "" : ", above", perReaderKb, kResidentTargetKb,
            perReaderKb <= kResidentTargetKb ? "" : ", above", kFixedBufferKb);
    }
}
BENCHMARK(BM_ManyReaders)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    raiseDescriptorLimit();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

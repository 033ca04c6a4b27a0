// A thousand TCP readers open at once: each on its own connection (its own
// listener of one simulated reader, since the TCP library shares a connection
// per host and port), one exchange on each, then all closed. Reports the time
// per open, the time per exchange among them against one reader's (the median
// of blocks of exchanges, so that a stall of the machine does not decide the
// ratio; target at most 1.2), and the resident memory per reader after one
// exchange each (target at most 100 kB) next to what the reader's fixed
// buffers would hold if they were all touched. Raises the soft descriptor
// limit to the hard one and says so when that is too low for the readers asked.
//
// An exchange on readers spread over all of them changes three things against
// one reader's alone: another reader object and socket each time (cold caches,
// in the library and in the kernel), another simulator thread to wake each time
// (one that has slept while the others ran), and simulator loops with more
// descriptors to poll. The series below change them one at a time, for the
// library and for a raw socket that sends the same request and reads the reply
// on connections of its own to the same listeners; each series runs in rounds
// that take every series in turn, so that a change in the machine's load falls
// on all alike. Each series' wall time is split into the calling thread's run
// time (the library or the raw client and their system calls), the simulator
// threads' run time, and the rest, in which none of them ran.
//
// The ratio held against the target is the fair one: readers spread over all
// of them, each used once, taken in runs of one simulator's readers, so that
// like the reader alone they wake the simulator thread that served the
// exchange before (all but the first of each run); against one reader while
// all are open, so that the simulators poll as many descriptors. A raw
// socket's ratio on the same series is the floor that the kernel and the
// simulators set. The full spread's ratio against one reader alone, with
// nothing else open, is printed beside it with where its time goes.
#include <krnsim/frame.h>
#include <krnsim/simulator.h>
#include <vkkrn.h>
#include <vktcp.h>
#include <vktesting/loopback_listener.h>
#include <vktesting/process_usage.h>
#include <vktesting/thread_run_times.h>
#include <vktesting/wait_until.h>

#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kWantedReaders = 1000;
constexpr int kBlocks = 15;
constexpr int kBlockExchanges = 40;
constexpr int kRounds = 5;
constexpr double kRatioTarget = 1.2;
constexpr double kResidentTargetKb = 100;
constexpr int kClosingThreads = 16;
// The simulated readers' listeners are spread over this many simulators, each
// with its own event loop, so that no loop polls a thousand descriptors per
// reply and the simulator does not hide the library's own cost.
constexpr int kSimulators = 50;
// Six frame buffers of 65,537 bytes and two protocol texts of 197,123 characters.
constexpr double kFixedBufferKb = (6 * 65537 + 2 * 197123) / 1024.0;
constexpr int kReplyLength = 38;

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

// What a series of exchanges cost, per exchange, in microseconds.
struct Cost {
    double median = 0;     // the median block's time
    double wall = 0;       // all blocks together
    double caller = 0;     // the calling thread on a core: its own work and its system calls
    double simulators = 0; // the other threads on a core: the simulators' loops and their system calls
    double queued = 0;     // the calling thread ready but waiting for a core
    double switches = 0;   // the calling thread's context switches

    // Wall time in which no thread of the process ran.
    double idle() const { return std::max(0.0, wall - caller - simulators); }
};

// Which of the open readers the k-th exchange of a series uses. Reader i
// listens on simulator i % simulators.
struct Series {
    const char* name;
    std::function<int(int)> readerAt;
    // When not 0: the series goes in runs of this many exchanges, and before
    // each run, outside the figures, `wake(k)` wakes the simulator thread that
    // serves it.
    int run = 0;
    std::function<void(int)> wake;
};

enum SeriesIndex { kOneOfAll, kOneSimulator, kOnePerSimulator, kRunsPerSimulator, kSpread, kSeriesCount };

// `wakeSimulator(s)` has simulator s's thread run its loop once.
std::vector<Series> seriesOver(int readers, int simulators, const std::function<void(int)>& wakeSimulator) {
    const int firstSimulatorReaders = (readers + simulators - 1) / simulators;
    const int run = std::max(1, readers / simulators); // readers every simulator has
    auto runSimulator = [=](int k) { return (k / run) % simulators; };
    return {
        {"one reader, all open", [](int) { return 0; }, 0, {}},
        {"readers of one simulator", [=](int k) { return (k % firstSimulatorReaders) * simulators; }, 0, {}},
        {"one reader per simulator", [=](int k) { return k % simulators; }, 0, {}},
        {"spread, in runs per simulator", [=](int k) { return runSimulator(k) + (k % run) * simulators; },
         run, [=](int k) { wakeSimulator(runSimulator(k)); }},
        {"spread over all", [=](int k) { return (k * 7919) % readers; }, 0, {}},
    };
}

// A series measured in rounds: its blocks' times and what its threads spent.
struct Tally {
    std::vector<double> blocks; // seconds per exchange
    double wall = 0;            // seconds
    vktesting::ThreadRunTimes spent;
    int exchanges = 0;
    int failed = 0;

    Cost cost() const {
        Cost cost;
        if (exchanges == 0) return cost;
        std::vector<double> sorted = blocks;
        std::sort(sorted.begin(), sorted.end());
        const double nsToUs = 1e-3 / exchanges;
        cost.median = sorted[sorted.size() / 2] * 1e6;
        cost.wall = wall * 1e6 / exchanges;
        cost.caller = static_cast<double>(spent.callerRunNs) * nsToUs;
        cost.simulators = static_cast<double>(spent.othersRunNs) * nsToUs;
        cost.queued = static_cast<double>(spent.callerQueuedNs) * nsToUs;
        cost.switches = static_cast<double>(spent.callerSwitches) / exchanges;
        return cost;
    }
};

// The wall time and run times of a series, counted only while it runs: not
// while a simulator is woken before a run.
class Stopwatch {
  public:
    explicit Stopwatch(Tally& tally) : tally_(tally) { resume(); }
    void pause() {
        counted_ = counted();
        tally_.spent += vktesting::threadRunTimes().since(from_);
    }
    void resume() {
        from_ = vktesting::threadRunTimes();
        resumed_ = Clock::now();
    }
    // Seconds counted so far.
    double counted() const { return counted_ + secondsSince(resumed_); }
    void stop() {
        pause();
        tally_.wall += counted_;
    }

  private:
    Tally& tally_;
    double counted_ = 0;
    vktesting::ThreadRunTimes from_;
    Clock::time_point resumed_;
};

// One round of a series: kBlocks blocks of kBlockExchanges exchanges, the k-th
// exchange of the series `exchange(series.readerAt(k))`, k counted on from
// `tally`'s earlier rounds. Kept out of line, so that a profiler can cut its
// record at the end of every round (callgrind --dump-after=*measureExchanges*).
[[gnu::noinline]] void measureExchanges(Tally& tally, const std::function<bool(int)>& exchange,
                                        const Series& series) {
    Stopwatch stopwatch(tally);
    for (int b = 0; b < kBlocks; ++b) {
        const double blockStart = stopwatch.counted();
        for (int i = 0; i < kBlockExchanges; ++i) {
            const int k = tally.exchanges++;
            if (series.run != 0 && k % series.run == 0) {
                stopwatch.pause();
                series.wake(k);
                stopwatch.resume();
            }
            tally.failed += exchange(series.readerAt(k)) ? 0 : 1;
        }
        tally.blocks.push_back((stopwatch.counted() - blockStart) / kBlockExchanges);
    }
    stopwatch.stop();
}

// Every series in kRounds rounds, each round running them all in turn, so that
// a change in the machine's load falls on all of them alike.
std::vector<Cost> measureSeries(const std::vector<Series>& series, const std::function<bool(int)>& exchangeOn,
                                int& failed) {
    std::vector<Tally> tallies(series.size());
    for (int round = 0; round < kRounds; ++round) {
        for (std::size_t i = 0; i < series.size(); ++i)
            measureExchanges(tallies[i], exchangeOn, series[i]);
    }
    std::vector<Cost> costs;
    for (const Tally& tally : tallies) {
        costs.push_back(tally.cost());
        failed += tally.failed;
    }
    return costs;
}

// The simulated readers: one listener per reader, reader i on simulator i % count.
struct Simulators {
    Simulators(int readers, int count) {
        for (int s = 0; s < count; ++s) {
            sims.push_back(std::make_unique<krnsim::Simulator>());
            sims.back()->reader().setHandler(0xB2, [](const krnsim::Request& r, krnsim::ConnectionContext&) {
                return krnsim::Reply::frame(0x00, r.data);
            });
        }
        for (int i = 0; i < readers; ++i)
            ports.push_back(sims[static_cast<std::size_t>(i % count)]->listenTcp().port);
    }
    // Waits until every simulator has seen its connections end.
    bool allClosed() {
        return vktesting::waitUntil([&] {
            return std::all_of(sims.begin(), sims.end(),
                               [](auto& sim) { return sim->connections().empty(); });
        });
    }
    std::vector<std::unique_ptr<krnsim::Simulator>> sims;
    std::vector<std::uint16_t> ports;
};

// The same request as the library's, sent on a socket of its own; the reply read whole.
bool rawExchange(int fd, const std::vector<std::uint8_t>& frame) {
    if (::send(fd, frame.data(), frame.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(frame.size()))
        return false;
    std::uint8_t reply[kReplyLength + 1];
    int got = 0;
    while (got < kReplyLength) {
        const ssize_t n = ::recv(fd, reply + got, sizeof reply - static_cast<std::size_t>(got), 0);
        if (n <= 0) return false;
        got += static_cast<int>(n);
    }
    return got == kReplyLength;
}

void printCost(const char* name, const Cost& library, const Cost& raw, double alone) {
    std::printf(
        "  %-30s %6.1f x%5.2f %6.1f %6.1f | %6.1f %6.1f %6.1f %5.1f | %6.1f %6.1f %6.1f | %5.1f %4.2f\n",
        name, library.median, library.median / alone, raw.median, library.median - raw.median, library.wall,
        library.caller, library.simulators, library.idle(), raw.caller, raw.simulators, raw.idle(),
        library.queued, library.switches);
}

// Where the mean time per exchange of `to` exceeds that of `from`.
void printStep(const char* what, const Cost& fromLibrary, const Cost& toLibrary, const Cost& fromRaw,
               const Cost& toRaw) {
    const double caller = toLibrary.caller - fromLibrary.caller;
    const double rawCaller = toRaw.caller - fromRaw.caller;
    std::printf("  %-46s %+6.1f us: calling thread %+5.1f (raw socket's %+5.1f, the library's own %+5.1f), "
                "simulators %+5.1f, idle %+5.1f\n",
                what, toLibrary.wall - fromLibrary.wall, caller, rawCaller, caller - rawCaller,
                toLibrary.simulators - fromLibrary.simulators, toLibrary.idle() - fromLibrary.idle());
}

void BM_ManyReaders(benchmark::State& state) {
    const int simulatorCount = std::min(kSimulators, gReaders);
    Simulators simulators(gReaders, simulatorCount);
    // Running a command on a simulator's loop thread runs its loop once.
    const std::vector<Series> series = seriesOver(gReaders, simulatorCount, [&](int s) {
        simulators.sims[static_cast<std::size_t>(s)]->connections();
    });
    std::vector<std::uint8_t> frame =
        krnsim::buildRequest(krnsim::Form::Standard, 1, 0xB2, std::vector<std::uint8_t>(32, 0x5A));
    std::vector<std::uint8_t> reply(512);
    auto exchange = [&](int reader) {
        return VKKRN_SendTransparent(reader, frame.data(), static_cast<int>(frame.size()), reply.data(),
                                     static_cast<int>(reply.size()), 0, 0) == kReplyLength;
    };

    for (auto _ : state) {
        int failed = 0;
        // One reader alone, then a raw socket alone on the same listener.
        const std::vector<Series> onlyOne{{"alone", [](int) { return 0; }, 0, {}}};
        const int alonePort = VKTCP_Connect("127.0.0.1", simulators.ports[0]);
        const int aloneReader = VKKRN_NewReader(alonePort);
        exchange(aloneReader);
        int aloneFailed = 0;
        const Cost alone = measureSeries(
            onlyOne, [&](int) { return exchange(aloneReader); }, aloneFailed)[0];
        if (aloneFailed != 0) state.SkipWithError("exchange with one reader failed");
        VKKRN_DeleteReader(aloneReader);
        VKTCP_DisConnect(alonePort);
        Cost rawAlone;
        {
            const vktesting::UniqueFd fd = vktesting::connectLoopback(simulators.ports[0]);
            rawExchange(fd.get(), frame);
            rawAlone = measureSeries(
                onlyOne, [&](int) { return rawExchange(fd.get(), frame); }, failed)[0];
        }

        // The raw sockets' series, on as many connections as the readers will have.
        std::vector<Cost> raw;
        {
            std::vector<vktesting::UniqueFd> fds;
            for (const std::uint16_t port : simulators.ports)
                fds.push_back(vktesting::connectLoopback(port));
            for (const auto& fd : fds)
                failed += rawExchange(fd.get(), frame) ? 0 : 1;
            raw = measureSeries(
                series, [&](int i) { return rawExchange(fds[static_cast<std::size_t>(i)].get(), frame); },
                failed);
        }
        if (!simulators.allClosed()) state.SkipWithError("the raw connections did not end");

        const long before = vktesting::residentKb();
        std::vector<Opened> opened(static_cast<std::size_t>(gReaders));
        auto start = Clock::now();
        for (std::size_t i = 0; i < opened.size(); ++i) {
            opened[i].port = VKTCP_Connect("127.0.0.1", simulators.ports[i]);
            opened[i].reader = VKKRN_NewReader(opened[i].port);
        }
        const double open = secondsSince(start) / gReaders;
        start = Clock::now();
        for (const Opened& o : opened)
            failed += exchange(o.reader) ? 0 : 1;
        const double each = secondsSince(start) / gReaders;
        const long after = vktesting::residentKb();
        const std::vector<Cost> library = measureSeries(
            series, [&](int i) { return exchange(opened[static_cast<std::size_t>(i)].reader); }, failed);
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

        const Cost& among = library[kSpread];
        const double ratio = among.median / alone.median;
        const double fairRatio = library[kRunsPerSimulator].median / library[kOneOfAll].median;
        const double rawFairRatio = raw[kRunsPerSimulator].median / raw[kOneOfAll].median;
        const double rawRatio = raw[kSpread].median / rawAlone.median;
        const double perReaderKb = static_cast<double>(after - before) / gReaders;
        state.SetIterationTime(open * gReaders);
        state.counters["readers"] = gReaders;
        state.counters["open_us"] = open * 1e6;
        state.counters["exchange_alone_us"] = alone.median;
        state.counters["first_exchange_us"] = each * 1e6;
        state.counters["exchange_among_us"] = among.median;
        state.counters["among_per_alone"] = ratio;
        state.counters["fair_among_per_alone"] = fairRatio;
        state.counters["raw_fair_among_per_alone"] = rawFairRatio;
        state.counters["rss_per_reader_kB"] = perReaderKb;
        state.counters["fixed_buffers_kB"] = kFixedBufferKb;
        std::printf(
            "\n%d readers: %.1f us per open; one exchange on each %.1f us; resident memory %.1f kB per "
            "reader after one exchange each (target at most %.0f kB%s), fixed buffers %.1f kB\n",
            gReaders, open * 1e6, each * 1e6, perReaderKb, kResidentTargetKb,
            perReaderKb <= kResidentTargetKb ? "" : ", above", kFixedBufferKb);
        std::printf(
            "fair: an exchange on readers spread over all, in runs per simulator, %.1f us against one "
            "reader while all are open %.1f us: x%.2f (target at most %.1f%s); a raw socket on the same "
            "connections x%.2f\n",
            library[kRunsPerSimulator].median, library[kOneOfAll].median, fairRatio, kRatioTarget,
            fairRatio <= kRatioTarget ? "" : ", above", rawFairRatio);
        std::printf(
            "full spread: an exchange on readers spread over all %.1f us against one reader alone %.1f us: "
            "x%.2f, a raw socket x%.2f (a simulator thread to wake each time, see below)\n",
            among.median, alone.median, ratio, rawRatio);
        std::printf(
            "\nper exchange in us: the median block's time (library, x against one reader alone, raw "
            "socket, library less raw) | the mean time split into run times (library: wall, calling "
            "thread, simulator threads, idle) | (raw socket: calling thread, simulator threads, idle) "
            "| the library's calling thread queued for a core, its context switches\n");
        printCost("one reader alone", alone, rawAlone, alone.median);
        for (int i = 0; i < kSeriesCount; ++i)
            printCost(series[static_cast<std::size_t>(i)].name, library[static_cast<std::size_t>(i)],
                      raw[static_cast<std::size_t>(i)], alone.median);
        std::printf("\nwhere the spread's time over one reader's alone goes (means):\n");
        printStep("the others open, the simulators' loops longer", alone, library[kOneOfAll], rawAlone,
                  raw[kOneOfAll]);
        printStep("another reader and socket each time", library[kOneOfAll], library[kRunsPerSimulator],
                  raw[kOneOfAll], raw[kRunsPerSimulator]);
        printStep("another simulator thread to wake each time", library[kRunsPerSimulator], library[kSpread],
                  raw[kRunsPerSimulator], raw[kSpread]);
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

// VKKRN_SendTransparent round trips from 1, 2, 4 and 8 threads at once, each
// thread with its own reader on its own TCP connection to its own simulated
// reader (each simulator runs its own event loop, so the simulator is not what
// is measured). Prints the throughput of every thread count against one
// thread's: ideally the thread count itself, as far as the machine's cores go.
#include <krnsim/frame.h>
#include <krnsim/simulator.h>
#include <vkkrn.h>
#include <vktcp.h>

#include <benchmark/benchmark.h>

#include <array>
#include <cstdio>
#include <map>
#include <memory>
#include <thread>
#include <vector>

namespace {

constexpr int kMaxThreads = 8;

// One thread's reader and the simulated reader it talks to.
struct Lane {
    Lane() {
        sim.reader().setHandler(0xB2, [](const krnsim::Request& r, krnsim::ConnectionContext&) {
            return krnsim::Reply::frame(0x00, r.data);
        });
        port = VKTCP_Connect("127.0.0.1", sim.listenTcp().port);
        reader = port > 0 ? VKKRN_NewReader(port) : 0;
    }
    ~Lane() {
        if (reader > 0) VKKRN_DeleteReader(reader);
        if (port > 0) VKTCP_DisConnect(port);
    }
    krnsim::Simulator sim;
    int port = 0;
    int reader = 0;
};

std::array<std::unique_ptr<Lane>, kMaxThreads>& lanes() {
    static std::array<std::unique_ptr<Lane>, kMaxThreads> all;
    return all;
}

void BM_ParallelReaders(benchmark::State& state) {
    // Every thread owns its slot: no two threads touch the same lane.
    auto& lane = lanes()[static_cast<std::size_t>(state.thread_index())];
    if (!lane) lane = std::make_unique<Lane>();
    std::vector<std::uint8_t> frame =
        krnsim::buildRequest(krnsim::Form::Standard, 1, 0xB2, std::vector<std::uint8_t>(32, 0x5A));
    std::vector<std::uint8_t> reply(512);
    for (auto _ : state) {
        const int n = VKKRN_SendTransparent(lane->reader, frame.data(), static_cast<int>(frame.size()),
                                            reply.data(), static_cast<int>(reply.size()), 0, 0);
        if (n != 38) {
            state.SkipWithError("exchange failed");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ParallelReaders)->Threads(1)->Threads(2)->Threads(4)->Threads(8)->UseRealTime();

// Prints exchanges per second of each thread count against one thread's.
class ScalingReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            const auto rate = run.counters.find("items_per_second");
            if (run.run_type == Run::RT_Iteration && rate != run.counters.end())
                rates_[static_cast<int>(run.threads)] = rate->second.value;
        }
        ConsoleReporter::ReportRuns(runs);
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        const auto one = rates_.find(1);
        if (one == rates_.end() || one->second <= 0) return;
        std::printf("\nexchanges per second against one thread's (%u hardware threads):\n",
                    std::thread::hardware_concurrency());
        for (const auto& [threads, rate] : rates_)
            std::printf("  %d thread(s): %10.0f /s  %5.2fx\n", threads, rate, rate / one->second);
    }

  private:
    std::map<int, double> rates_;
};

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    ScalingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    for (auto& lane : lanes())
        lane.reset();
    return 0;
}

// A console reporter that also prints, after the run, how many times faster each
// candidate ran than its baseline measured in the same run, so that results hold
// on a noisy machine. A ratio below its target is marked, never failed: targets
// are judged on a quiet Release run.
#ifndef VK_BENCH_RATIO_REPORTER_H
#define VK_BENCH_RATIO_REPORTER_H

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace vkbench {

struct Ratio {
    std::string baseline;  // benchmark name
    std::string candidate; // benchmark name
    double target;         // wanted baseline time / candidate time
};

class RatioReporter : public benchmark::ConsoleReporter {
  public:
    explicit RatioReporter(std::vector<Ratio> ratios) : ratios_(std::move(ratios)) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Iteration && run.iterations > 0)
                times_[run.benchmark_name()] = run.GetAdjustedRealTime();
        }
        ConsoleReporter::ReportRuns(runs);
    }

    void Finalize() override {
        ConsoleReporter::Finalize();
        std::printf("\nspeed-up against baselines of this run:\n");
        for (const Ratio& r : ratios_) {
            const auto base = times_.find(r.baseline);
            const auto cand = times_.find(r.candidate);
            if (base == times_.end() || cand == times_.end() || cand->second <= 0) continue;
            const double ratio = base->second / cand->second;
            std::printf("  %-44s vs %-36s %7.2fx (target %.1fx)%s\n", r.candidate.c_str(), r.baseline.c_str(), ratio,
                        r.target, ratio >= r.target ? "" : "  BELOW TARGET");
        }
    }

  private:
    std::vector<Ratio> ratios_;
    std::map<std::string, double> times_;
};

// Runs the registered benchmarks with a RatioReporter.
inline int runWithRatios(int argc, char** argv, std::vector<Ratio> ratios) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    RatioReporter reporter(std::move(ratios));
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}

} // namespace vkbench

#endif

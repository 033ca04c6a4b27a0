// VCD export of long waveforms to a file, each iteration timed beside fopen +
// fwrite + fclose of the very same bytes. The counter "fwrite/export" is the
// baseline's time over the export's (1 means as fast as writing the bytes).
// The Boost.Format variant writes the single form's lines through Boost.Format,
// for the record of what a format-parsing writer costs.
#include <Zorbel.h>

#include <benchmark/benchmark.h>
#include <boost/format.hpp>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <locale>
#include <random>
#include <sstream>
#include <string>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

// A waveform of `count` elements: amplitudes 0-255 (no two neighbours equal),
// durations 1-10,000 ns.
Waveform* makeWaveform(int count, unsigned seed) {
    Waveform* waveform = ZRB_WaveformNew("bench");
    std::mt19937 random(seed);
    int previous = -1;
    for (int i = 0; i < count; ++i) {
        int amplitude = static_cast<int>(random() % 256);
        if (amplitude == previous) amplitude = (amplitude + 1) % 256;
        previous = amplitude;
        ZRB_WaveformAppend(waveform, amplitude, static_cast<double>(1 + random() % 10000), 0);
    }
    return waveform;
}

class TempFiles {
  public:
    TempFiles() {
        std::string pattern = (std::filesystem::temp_directory_path() / "vkbench-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) std::abort();
        dir_ = pattern;
    }
    ~TempFiles() { std::filesystem::remove_all(dir_); }
    std::string file(const char* name) const { return (dir_ / name).string(); }

  private:
    std::filesystem::path dir_;
};

const TempFiles& tempFiles() {
    static const TempFiles files;
    return files;
}

std::string readAll(const std::string& fileName) {
    std::ifstream in(fileName, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

double fwriteSeconds(const std::string& bytes, const std::string& fileName) {
    const auto start = Clock::now();
    FILE* file = std::fopen(fileName.c_str(), "w");
    if (file == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size()) std::abort();
    if (std::fclose(file) != 0) std::abort();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Runs `exportTo(fileName)` per iteration beside the fwrite baseline of the
// bytes it writes, and reports both and their ratio.
template <class Export> void runAgainstFwrite(benchmark::State& state, Export exportTo) {
    const std::string exportFile = tempFiles().file("export.vcd");
    const std::string baselineFile = tempFiles().file("baseline.vcd");
    exportTo(exportFile);
    const std::string bytes = readAll(exportFile);
    double exportTotal = 0;
    double fwriteTotal = 0;
    for (auto _ : state) {
        const auto start = Clock::now();
        exportTo(exportFile);
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        state.SetIterationTime(seconds);
        exportTotal += seconds;
        fwriteTotal += fwriteSeconds(bytes, baselineFile);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
    state.counters["fwrite/export"] = fwriteTotal / exportTotal;
    state.counters["fwrite_ms"] = 1e3 * fwriteTotal / static_cast<double>(state.iterations());
}

void BM_SingleVcd(benchmark::State& state) {
    static Waveform* const waveform = makeWaveform(1'000'000, 1);
    runAgainstFwrite(state, [](const std::string& fileName) {
        if (ZRB_WaveformDumpVcd(waveform, fileName.c_str()) != 0) std::abort();
    });
}
BENCHMARK(BM_SingleVcd)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_PairVcd(benchmark::State& state) {
    static Waveform* const first = makeWaveform(500'000, 2);
    static Waveform* const second = makeWaveform(500'000, 3);
    runAgainstFwrite(state, [](const std::string& fileName) {
        if (ZRB_WaveformsDumpVcd2(first, second, fileName.c_str()) != 0) std::abort();
    });
}
BENCHMARK(BM_PairVcd)->UseManualTime()->Unit(benchmark::kMillisecond);

// The single form with every line made by Boost.Format, written with fputs.
void boostFormatSingleVcd(const Waveform* waveform, const std::string& fileName) {
    FILE* file = std::fopen(fileName.c_str(), "w");
    if (file == nullptr) std::abort();
    std::fputs("$timescale\n1ns\n$end\n$var reg 8 ! bench $end\n$enddefinitions $end\n$dumpvars\n", file);
    const int count = ZRB_WaveformElements(waveform);
    double time = 0;
    for (int i = 0; i < count; ++i) {
        int amplitude = 0;
        double duration = 0;
        ZRB_WaveformGetElement(waveform, i, &amplitude, &duration, nullptr);
        char bits[9] = {};
        for (int bit = 0; bit < 8; ++bit)
            bits[bit] = (amplitude >> (7 - bit)) & 1 ? '1' : '0';
        time += duration;
        std::fputs((boost::format("b%s !\n", std::locale::classic()) % bits).str().c_str(), file);
        std::fputs((boost::format("#%.0f\n", std::locale::classic()) % time).str().c_str(), file);
    }
    std::fputs("bx !\n", file);
    if (std::fclose(file) != 0) std::abort();
}

void BM_SingleVcdThroughBoostFormat(benchmark::State& state) {
    static Waveform* const waveform = makeWaveform(1'000'000, 1);
    runAgainstFwrite(state, [](const std::string& fileName) { boostFormatSingleVcd(waveform, fileName); });
}
BENCHMARK(BM_SingleVcdThroughBoostFormat)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();

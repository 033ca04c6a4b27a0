// The saturating number read against strtoll on the same texts.
#include <vkcommon/param_text.h>

#include <benchmark/benchmark.h>

#include <cstdlib>

namespace {

const char* const kTexts[] = {"9600", "921600", "1000", "-5", "99999999999999999999", "abc"};

void BM_StrtollBaseline(benchmark::State& state) {
    for (auto _ : state) {
        for (const char* text : kTexts)
            benchmark::DoNotOptimize(std::strtoll(text, nullptr, 10));
    }
}
BENCHMARK(BM_StrtollBaseline);

void BM_ParseDecimal(benchmark::State& state) {
    for (auto _ : state) {
        for (const char* text : kTexts)
            benchmark::DoNotOptimize(vk::parseDecimal(text));
    }
}
BENCHMARK(BM_ParseDecimal);

} // namespace

BENCHMARK_MAIN();

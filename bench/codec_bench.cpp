// CRC16 and frame building and splitting, in the codec and through the
// library's exports, against baselines measured in the same run: Boost's
// byte-table CRC (crc_optimal), a bitwise CRC, and "copy the payload + Boost CRC"
// as the least a frame builder or splitter must do.
#include "ratio_reporter.h"
#include <vktesting/allocation_counter.h>

#include <vkkrn.h>
#include <vkkrn_codec/crc16.h>
#include <vkkrn_codec/frame.h>

#include <benchmark/benchmark.h>
#include <boost/crc.hpp>

#include <cstring>
#include <vector>

namespace {

using namespace vkkrn::codec;

std::vector<std::uint8_t> randomBytes(std::size_t n) {
    std::vector<std::uint8_t> bytes(n);
    std::uint32_t x = 2463534242u;
    for (auto& b : bytes) {
        x ^= x << 13, x ^= x >> 17, x ^= x << 5;
        b = static_cast<std::uint8_t>(x);
    }
    return bytes;
}

std::uint16_t boostCrc(const std::uint8_t* data, std::size_t n) {
    boost::crc_optimal<16, 0x1021, 0xFFFF, 0, true, true> crc;
    crc.process_bytes(data, n);
    return crc.checksum();
}

void setBytes(benchmark::State& state, std::size_t n) {
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * n));
}

// Reports operator new calls per iteration (must be 0 for the codec).
class AllocationCount {
  public:
    AllocationCount() : start_(vktesting::allocationCount()) {}
    void report(benchmark::State& state) const {
        state.counters["allocs/frame"] =
            benchmark::Counter(static_cast<double>(vktesting::allocationCount() - start_) /
                               static_cast<double>(state.iterations()));
    }

  private:
    std::uint64_t start_;
};

void Crc_Boost(benchmark::State& state) {
    const auto data = randomBytes(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(boostCrc(data.data(), data.size()));
    setBytes(state, data.size());
}

void Crc_Bitwise(benchmark::State& state) {
    const auto data = randomBytes(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(crc16Bitwise(data, kCrcPolynomial, kCrcPreset));
    setBytes(state, data.size());
}

void Crc_Slicing(benchmark::State& state) {
    const auto data = randomBytes(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(crc16(data));
    setBytes(state, data.size());
}

// Baseline of a build: the payload copied into a frame buffer and a Boost CRC
// over it.
void Build_CopyPlusBoostCrc(benchmark::State& state) {
    const auto data = randomBytes(static_cast<std::size_t>(state.range(0)));
    std::vector<std::uint8_t> out(65537);
    for (auto _ : state) {
        std::memcpy(out.data() + 5, data.data(), data.size());
        const std::uint16_t crc = boostCrc(out.data(), data.size() + 5);
        out[data.size() + 5] = static_cast<std::uint8_t>(crc);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    setBytes(state, data.size());
}

void Build_Codec(benchmark::State& state) {
    const auto data = randomBytes(static_cast<std::size_t>(state.range(0)));
    std::vector<std::uint8_t> out(65537);
    AllocationCount allocations;
    for (auto _ : state) {
        benchmark::DoNotOptimize(buildRequest(FrameMode::Standard, 0xFF, 0xB0, data, out));
        benchmark::ClobberMemory();
    }
    allocations.report(state);
    setBytes(state, data.size());
}

void Split_Codec(benchmark::State& state) {
    const auto data = randomBytes(static_cast<std::size_t>(state.range(0)));
    std::vector<std::uint8_t> frame(65537);
    std::vector<std::uint8_t> out(65537);
    const int length = buildReply(FrameMode::Standard, 0xFF, 0xB0, 0, data, frame);
    AllocationCount allocations;
    for (auto _ : state) {
        ReplyParts parts;
        const int status = splitReply({frame.data(), static_cast<std::size_t>(length)}, parts);
        std::memcpy(out.data(), parts.data.data(), parts.data.size());
        benchmark::DoNotOptimize(status);
        benchmark::ClobberMemory();
    }
    allocations.report(state);
    setBytes(state, data.size());
}

void Crc_Export(benchmark::State& state) {
    auto data = randomBytes(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(VKKRN_CalcCRC16CheckSum_T(data.data(), static_cast<int>(data.size()), 1));
    setBytes(state, data.size());
}

// A reader of the library without a port, for the frame exports.
int benchReader() {
    static const int reader = VKKRN_NewReader(0);
    return reader;
}

void Export_BuildSend(benchmark::State& state) {
    auto data = randomBytes(static_cast<std::size_t>(state.range(0)));
    std::vector<std::uint8_t> out(65537);
    const int reader = benchReader();
    AllocationCount allocations;
    for (auto _ : state) {
        benchmark::DoNotOptimize(VKKRN_BuildSendProtocol(reader, 0xFF, 0xB0, data.data(),
                                                         static_cast<int>(data.size()), out.data(), 0));
        benchmark::ClobberMemory();
    }
    allocations.report(state);
    setBytes(state, data.size());
}

void Export_SplitSend(benchmark::State& state) {
    auto data = randomBytes(static_cast<std::size_t>(state.range(0)));
    std::vector<std::uint8_t> frame(65537);
    std::vector<std::uint8_t> out(65537);
    const int reader = benchReader();
    const int length = buildRequest(FrameMode::Standard, 0xFF, 0xB0, data, frame);
    AllocationCount allocations;
    for (auto _ : state) {
        unsigned char adr, cmd;
        int n;
        benchmark::DoNotOptimize(
            VKKRN_SplitSendProtocol(reader, frame.data(), length, &adr, &cmd, out.data(), &n, 0));
        benchmark::ClobberMemory();
    }
    allocations.report(state);
    setBytes(state, data.size());
}

void Export_SplitRec(benchmark::State& state) {
    auto data = randomBytes(static_cast<std::size_t>(state.range(0)));
    std::vector<std::uint8_t> frame(65537);
    std::vector<std::uint8_t> out(65537);
    const int reader = benchReader();
    const int length = buildReply(FrameMode::Standard, 0xFF, 0xB0, 0, data, frame);
    AllocationCount allocations;
    for (auto _ : state) {
        unsigned char adr, cmd;
        int n;
        benchmark::DoNotOptimize(
            VKKRN_SplitRecProtocol(reader, frame.data(), length, &adr, &cmd, out.data(), &n, 0));
        benchmark::ClobberMemory();
    }
    allocations.report(state);
    setBytes(state, data.size());
}

BENCHMARK(Crc_Boost)->Arg(255)->Arg(65535);
BENCHMARK(Crc_Bitwise)->Arg(255)->Arg(65535);
BENCHMARK(Crc_Slicing)->Arg(255)->Arg(65535);
BENCHMARK(Crc_Export)->Arg(255)->Arg(65535);
BENCHMARK(Build_CopyPlusBoostCrc)->Arg(249)->Arg(250)->Arg(65527)->Arg(65528);
BENCHMARK(Build_Codec)->Arg(250)->Arg(65528);
BENCHMARK(Split_Codec)->Arg(249)->Arg(65527);
BENCHMARK(Export_BuildSend)->Arg(250)->Arg(65528);
BENCHMARK(Export_SplitSend)->Arg(250)->Arg(65528);
BENCHMARK(Export_SplitRec)->Arg(249)->Arg(65527);

} // namespace

int main(int argc, char** argv) {
    return vkbench::runWithRatios(argc, argv,
                                  {
                                      {"Crc_Boost/255", "Crc_Slicing/255", 3.0},
                                      {"Crc_Boost/65535", "Crc_Slicing/65535", 3.0},
                                      {"Crc_Bitwise/255", "Crc_Slicing/255", 8.0},
                                      {"Crc_Bitwise/65535", "Crc_Slicing/65535", 8.0},
                                      {"Crc_Boost/255", "Crc_Export/255", 3.0},
                                      {"Crc_Boost/65535", "Crc_Export/65535", 3.0},
                                      {"Crc_Bitwise/255", "Crc_Export/255", 8.0},
                                      {"Crc_Bitwise/65535", "Crc_Export/65535", 8.0},
                                      {"Build_CopyPlusBoostCrc/250", "Export_BuildSend/250", 1.0},
                                      {"Build_CopyPlusBoostCrc/65528", "Export_BuildSend/65528", 1.0},
                                      {"Build_CopyPlusBoostCrc/250", "Export_SplitSend/250", 1.0},
                                      {"Build_CopyPlusBoostCrc/65528", "Export_SplitSend/65528", 1.0},
                                      {"Build_CopyPlusBoostCrc/249", "Export_SplitRec/249", 1.0},
                                      {"Build_CopyPlusBoostCrc/65527", "Export_SplitRec/65527", 1.0},
                                      {"Build_CopyPlusBoostCrc/250", "Build_Codec/250", 1.0},
                                      {"Build_CopyPlusBoostCrc/65528", "Build_Codec/65528", 1.0},
                                      {"Build_CopyPlusBoostCrc/249", "Split_Codec/249", 1.0},
                                      {"Build_CopyPlusBoostCrc/65527", "Split_Codec/65527", 1.0},
                                  });
}

// A Transceive round trip of libvkcom (length-field framing, 64-byte frames)
// against the same round trip done with raw write, poll and read on the slave,
// both against one echoing peer in the same run. The ratio counter is the
// library's time per exchange over the raw time.
#include <vkcom/vizer.h>
#include <vksim/pty_peer.h>

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

std::vector<std::uint8_t> frame() {
    std::vector<std::uint8_t> bytes(64, 0x5A);
    bytes[0] = 64; // a standard frame of 64 bytes
    return bytes;
}

// The echo line: a pseudo-terminal whose peer sends every request back,
// reachable as port 1 under a private prefix (a short link to the slave).
struct EchoLine {
    vksim::PtyPeer pty;
    std::string dir;
    EchoLine() {
        pty->respond([](const vksim::Bytes& request) { return vksim::Script::reply(request); });
        char name[] = "/tmp/vXXXXXX";
        dir = ::mkdtemp(name) ? name : "";
        ::symlink(pty.slavePath().c_str(), (dir + "/0").c_str());
    }
    ~EchoLine() {
        ::unlink((dir + "/0").c_str());
        ::rmdir(dir.c_str());
    }
};

double rawRoundTrip(int slave, const std::vector<std::uint8_t>& request, int count) {
    std::vector<std::uint8_t> reply(request.size());
    const auto start = Clock::now();
    for (int i = 0; i < count; ++i) {
        if (::write(slave, request.data(), request.size()) != static_cast<ssize_t>(request.size())) return 0;
        std::size_t got = 0;
        while (got < request.size()) {
            pollfd entry{slave, POLLIN, 0};
            if (::poll(&entry, 1, 1000) != 1) return 0;
            const ssize_t n = ::read(slave, reply.data() + got, reply.size() - got);
            if (n <= 0) return 0;
            got += static_cast<std::size_t>(n);
        }
    }
    return std::chrono::duration<double>(Clock::now() - start).count() / count;
}

void BM_TransceiveVersusRawEcho(benchmark::State& state) {
    EchoLine line;
    std::string prefix = line.dir + "/";
    char prefixKey[] = "PORTPREFIX";
    VIZER_SetPortPara(0, prefixKey, prefix.data());
    char one[] = "1";
    const int handle = VIZER_OpenPort(one);
    if (handle <= 0) {
        state.SkipWithError("port did not open");
        return;
    }
    char nubo[] = "USENUBO";
    VIZER_SetPortPara(handle, nubo, one);
    std::vector<std::uint8_t> request = frame();
    std::vector<std::uint8_t> reply(256);

    // The raw baseline runs on the port's own slave through a second descriptor.
    const int raw = ::open(line.pty.slavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    const double rawSeconds = rawRoundTrip(raw, request, 200);
    ::close(raw);

    std::int64_t exchanges = 0;
    const auto start = Clock::now();
    for (auto _ : state) {
        const int n = VIZER_Transceive(handle, request.data(), static_cast<int>(request.size()), reply.data(),
                                       static_cast<int>(reply.size()));
        if (n != static_cast<int>(request.size())) {
            state.SkipWithError("exchange failed");
            break;
        }
        ++exchanges;
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    VIZER_ClosePort(handle);
    if (exchanges > 0 && rawSeconds > 0) state.counters["ratio_to_raw"] = (seconds / exchanges) / rawSeconds;
    state.counters["raw_us"] = rawSeconds * 1e6;
}
BENCHMARK(BM_TransceiveVersusRawEcho)->UseRealTime();

} // namespace

BENCHMARK_MAIN();

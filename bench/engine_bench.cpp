// VKKRN_SendTransparent round trips against a raw ping-pong of the same bytes
// with the same simulated reader, in the same run: over loopback TCP (libvktcp
// against a raw socket with the same options, the reply read by its length
// field) and over a pseudo-terminal (libvkcom against raw write/read on a second
// pty of the same simulator). Replies of 15 and 250 bytes, logging off. The
// transponder command exports on the same frames: the 0xB0 inventory of the two
// demo tags in hex text (a 25-byte reply) and the 0xB2 echo (250 bytes) against
// the raw exchange and VKKRN_SendTransparent; a command adds no system call.
// Repetitions are interleaved; the ratio of the medians is printed at the end.
#include <krnsim/demo_field.h>
#include <krnsim/frame.h>
#include <krnsim/simulator.h>
#include <vkcom/vizer.h>
#include <vkkrn.h>
#include <vktcp.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

using krnsim::Bytes;

constexpr int kShortReply = 0;        // 0x65: a 15-byte reply
constexpr int kLargeReply = 1;        // 0xB2 echo of 244 bytes: a 250-byte reply
constexpr int kInventory = 2;         // 0xB0 inventory of two tags: a 25-byte reply
constexpr int kRepetitions = 15;      // interleaved, medians compared
constexpr double kRatioTarget = 1.04; // library / raw, at most

Bytes requestFor(int size) {
    if (size == kShortReply) return krnsim::buildRequest(krnsim::Form::Standard, 1, 0x65, {});
    if (size == kInventory) return krnsim::buildRequest(krnsim::Form::Standard, 1, 0xB0, Bytes{0x01, 0x00});
    return krnsim::buildRequest(krnsim::Form::Standard, 1, 0xB2, Bytes(244, 0x5A));
}

std::size_t replyLengthFor(int size) {
    return size == kShortReply ? 15 : size == kInventory ? 25 : 250;
}

// The same request through its command export: the inventory as hex text
// (format 1), the echo as bytes. True when the reply data came whole.
bool command(int reader, int size, std::vector<std::uint8_t>& reply) {
    int length = 0;
    if (size == kInventory) {
        unsigned char inventory[] = "0100";
        return VKKRN_0xB0_ISOCmd(reader, 1, inventory, 4, reply.data(), &length, 1) == 0 && length == 2 * 19;
    }
    static Bytes echo(244, 0x5A);
    return VKKRN_0xB2_ISOCmd(reader, 1, echo.data(), 244, reply.data(), &length, 0) == 0 && length == 244;
}

// The one simulated reader of the run, with a TCP listener and two ptys.
struct Bench {
    Bench() {
        sim.reader().setHandler(0xB2, [](const krnsim::Request& r, krnsim::ConnectionContext&) {
            return krnsim::Reply::frame(0x00, r.data);
        });
        krnsim::addDemoTags(sim.reader());
        port = sim.listenTcp().port;
        char dir[] = "/tmp/vkXXXXXX"; // with "/0": the 15 characters the serial library allows
        if (::mkdtemp(dir) != nullptr) linkDir = dir;
        libraryPty = sim.openPty(linkDir + "/0");
        rawPty = sim.openPty();
    }
    ~Bench() {
        if (!linkDir.empty()) ::rmdir(linkDir.c_str());
    }
    krnsim::Simulator sim;
    std::uint16_t port = 0;
    std::string linkDir;
    krnsim::PtyEndpoint libraryPty;
    krnsim::PtyEndpoint rawPty;
};

Bench& bench() {
    static Bench b;
    return b;
}

// Reads exactly `count` bytes; false on time-out or end of input.
bool readExactly(int fd, std::uint8_t* buffer, std::size_t count) {
    std::size_t got = 0;
    while (got < count) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 2000) <= 0) return false;
        const ssize_t n = ::read(fd, buffer + got, count - got);
        if (n <= 0) return false;
        got += static_cast<std::size_t>(n);
    }
    return true;
}

// Reads one reply frame by its length field, as a port library must: the
// first three bytes (enough for either form's length), then the rest.
bool readFrame(int fd, std::uint8_t* buffer, std::size_t expected) {
    if (!readExactly(fd, buffer, 3)) return false;
    const std::size_t length = buffer[0] == 0x02 ? (std::size_t{buffer[1]} << 8 | buffer[2]) : buffer[0];
    return length == expected && readExactly(fd, buffer + 3, length - 3);
}

void BM_TcpRaw(benchmark::State& state) {
    const int size = static_cast<int>(state.range(0));
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(bench().port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        state.SkipWithError("connect failed");
        ::close(fd);
        return;
    }
    const Bytes frame = requestFor(size);
    std::vector<std::uint8_t> buffer(0x10001);
    for (auto _ : state) {
        if (::send(fd, frame.data(), frame.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(frame.size()) ||
            !readFrame(fd, buffer.data(), replyLengthFor(size)))
            state.SkipWithError("raw exchange failed");
    }
    ::close(fd);
}

void BM_TcpSendTransparent(benchmark::State& state) {
    const int size = static_cast<int>(state.range(0));
    const int handle = VKTCP_Connect("127.0.0.1", bench().port);
    const int reader = VKKRN_NewReader(handle);
    Bytes frame = requestFor(size);
    std::vector<std::uint8_t> buffer(0x10001);
    for (auto _ : state) {
        const int n = VKKRN_SendTransparent(reader, frame.data(), static_cast<int>(frame.size()),
                                            buffer.data(), static_cast<int>(buffer.size()), 0, 0);
        if (n != static_cast<int>(replyLengthFor(size))) state.SkipWithError("SendTransparent failed");
    }
    VKKRN_DeleteReader(reader);
    VKTCP_DisConnect(handle);
}

void BM_TcpCommand(benchmark::State& state) {
    const int size = static_cast<int>(state.range(0));
    const int handle = VKTCP_Connect("127.0.0.1", bench().port);
    const int reader = VKKRN_NewReader(handle);
    std::vector<std::uint8_t> buffer(0x10001);
    for (auto _ : state) {
        if (!command(reader, size, buffer)) state.SkipWithError("command failed");
    }
    VKKRN_DeleteReader(reader);
    VKTCP_DisConnect(handle);
}

void BM_PtyRaw(benchmark::State& state) {
    const int size = static_cast<int>(state.range(0));
    const int fd = ::open(bench().rawPty.slavePath.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        state.SkipWithError("cannot open the pty");
        return;
    }
    termios line{};
    ::tcgetattr(fd, &line);
    ::cfmakeraw(&line);
    ::cfsetispeed(&line, B115200);
    ::cfsetospeed(&line, B115200);
    ::tcsetattr(fd, TCSANOW, &line);
    const Bytes frame = requestFor(size);
    std::vector<std::uint8_t> buffer(0x10001);
    for (auto _ : state) {
        if (::write(fd, frame.data(), frame.size()) != static_cast<ssize_t>(frame.size()) ||
            !readFrame(fd, buffer.data(), replyLengthFor(size)))
            state.SkipWithError("raw exchange failed");
    }
    ::close(fd);
}

// The serial port library's port on the simulator's first pty.
int openLibraryPty() {
    char key[] = "PORTPREFIX";
    std::string prefix = bench().linkDir + "/";
    VIZER_SetPortPara(0, key, prefix.data());
    char number[] = "1";
    const int handle = VIZER_OpenPort(number);
    char baudKey[] = "BAUD";
    char baud[] = "115200";
    VIZER_SetPortPara(handle, baudKey, baud);
    return handle;
}

void BM_PtyCommand(benchmark::State& state) {
    const int size = static_cast<int>(state.range(0));
    const int handle = openLibraryPty();
    const int reader = VKKRN_NewReader(handle);
    std::vector<std::uint8_t> buffer(0x10001);
    for (auto _ : state) {
        if (!command(reader, size, buffer)) state.SkipWithError("command failed");
    }
    VKKRN_DeleteReader(reader);
    VIZER_ClosePort(handle);
}

void BM_PtySendTransparent(benchmark::State& state) {
    const int size = static_cast<int>(state.range(0));
    const int handle = openLibraryPty();
    const int reader = VKKRN_NewReader(handle);
    Bytes frame = requestFor(size);
    std::vector<std::uint8_t> buffer(0x10001);
    for (auto _ : state) {
        const int n = VKKRN_SendTransparent(reader, frame.data(), static_cast<int>(frame.size()),
                                            buffer.data(), static_cast<int>(buffer.size()), 0, 0);
        if (n != static_cast<int>(replyLengthFor(size))) state.SkipWithError("SendTransparent failed");
    }
    VKKRN_DeleteReader(reader);
    VIZER_ClosePort(handle);
}

BENCHMARK(BM_TcpRaw)
    ->Arg(kShortReply)
    ->Arg(kLargeReply)
    ->Arg(kInventory)
    ->Repetitions(kRepetitions)
    ->UseRealTime();
BENCHMARK(BM_TcpSendTransparent)
    ->Arg(kShortReply)
    ->Arg(kLargeReply)
    ->Arg(kInventory)
    ->Repetitions(kRepetitions)
    ->UseRealTime();
BENCHMARK(BM_TcpCommand)->Arg(kLargeReply)->Arg(kInventory)->Repetitions(kRepetitions)->UseRealTime();
BENCHMARK(BM_PtyRaw)
    ->Arg(kShortReply)
    ->Arg(kLargeReply)
    ->Arg(kInventory)
    ->Repetitions(kRepetitions)
    ->UseRealTime();
BENCHMARK(BM_PtySendTransparent)
    ->Arg(kShortReply)
    ->Arg(kLargeReply)
    ->Arg(kInventory)
    ->Repetitions(kRepetitions)
    ->UseRealTime();
BENCHMARK(BM_PtyCommand)->Arg(kLargeReply)->Arg(kInventory)->Repetitions(kRepetitions)->UseRealTime();

// Collects the time of every repetition and prints, at the end, the ratio of
// each library median to its raw baseline's (target at most 1.04).
class MedianRatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs)
            if (run.run_type == Run::RT_Iteration && run.iterations > 0) {
                times_[run.run_name.str()].push_back(run.GetAdjustedRealTime());
                cpuTimes_[run.run_name.str()].push_back(run.GetAdjustedCPUTime());
            }
        ConsoleReporter::ReportRuns(runs);
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        std::printf("\nmedian time against the raw exchange of this run (target at most 1.04) and of the\n"
                    "commands against VKKRN_SendTransparent (about 1.0), real time and the calling thread's\n"
                    "CPU time:\n");
        const std::pair<const char*, const char*> pairs[] = {
            {"BM_TcpSendTransparent/0", "BM_TcpRaw/0"}, {"BM_TcpSendTransparent/1", "BM_TcpRaw/1"},
            {"BM_PtySendTransparent/0", "BM_PtyRaw/0"}, {"BM_PtySendTransparent/1", "BM_PtyRaw/1"},
            {"BM_TcpCommand/1", "BM_TcpRaw/1"},         {"BM_TcpCommand/1", "BM_TcpSendTransparent/1"},
            {"BM_TcpCommand/2", "BM_TcpRaw/2"},         {"BM_TcpCommand/2", "BM_TcpSendTransparent/2"},
            {"BM_PtyCommand/1", "BM_PtyRaw/1"},         {"BM_PtyCommand/1", "BM_PtySendTransparent/1"},
            {"BM_PtyCommand/2", "BM_PtyRaw/2"},         {"BM_PtyCommand/2", "BM_PtySendTransparent/2"},
        };
        for (const auto& [candidate, baseline] : pairs) {
            const std::string suffix = "/repeats:" + std::to_string(kRepetitions) + "/real_time";
            const double c = median(times_, candidate + suffix);
            const double b = median(times_, baseline + suffix);
            const double cc = median(cpuTimes_, candidate + suffix);
            const double cb = median(cpuTimes_, baseline + suffix);
            if (c <= 0 || b <= 0 || cb <= 0) continue;
            std::printf("  %-17s / %-24s %8.2f us / %8.2f us = %5.3f%s   cpu %6.2f us / %6.2f us = %5.3f\n",
                        candidate, baseline, c / 1000, b / 1000, c / b,
                        c / b <= kRatioTarget ? "" : " (above)", cc / 1000, cb / 1000, cc / cb);
        }
    }

  private:
    using Times = std::map<std::string, std::vector<double>>;
    static double median(const Times& times, const std::string& name) {
        auto it = times.find(name);
        if (it == times.end() || it->second.empty()) return 0;
        std::vector<double> v = it->second;
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    }
    Times times_;
    Times cpuTimes_;
};

} // namespace

int main(int argc, char** argv) {
    std::vector<char*> args(argv, argv + argc);
    char interleave[] = "--benchmark_enable_random_interleaving=true";
    args.push_back(interleave);
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());
    if (benchmark::ReportUnrecognizedArguments(count, args.data())) return 1;
    bench();
    MedianRatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}

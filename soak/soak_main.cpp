// vkkrn_soak: drives many reader exchanges through the real libvkkrn, libvktcp
// and libvkcom against simulated readers that inject random faults, and proves
// that no exchange is lost, shifted or hung and that nothing leaks.
//
//   vkkrn_soak [--link tcp|pty|both] [--exchanges N] [--fault-rate P] [--seed S]
//              [--readers K] [--timeout-ms T] [--commands] [--key HEX]
//
// Every exchange sends VKKRN_SendTransparent with command 0xB2 whose data carry
// the reader's number and a sequence number; the simulator echoes them. With
// --commands each exchange is one of the command exports (0x65, 0x66, 0xB0,
// 0x1E, 0x9F, 0x80) or that transparent one, chosen at random, and its outputs
// are checked against what the simulator answered that very request. With
// --key every reader authenticates (0xAE) and runs on the enciphered channel;
// after a failed exchange it authenticates again, as an application must, and
// now and then first makes one more exchange on the channel the fault left,
// which must fail rather than pass data. With probability P a fault of a
// random kind is queued for that reply first. The same seed replays the same
// faults on every reader.
#include "fault_draw.h"
#include "soak_exchange.h"
#include "soak_reader.h"

#include <krnsim/frame.h>
#include <vkcom/vizer.h>
#include <vkkrn.h>
#include <vktesting/process_usage.h>

#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace vksoak;
using Clock = std::chrono::steady_clock;
using Millis = std::chrono::milliseconds;

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

// How much longer than its own time-out a call may take: the TCP library's
// character time-out (250 ms) for a reply cut short, one more reply time-out
// for the quiet line the port waits for after a time-out, and scheduling slack.
constexpr Millis kCharTimeout{250};
constexpr Millis kSlack{kSanitized ? 1500 : 500};
// Resident memory may grow by this much after the warm-up; freed memory that a
// sanitizer keeps in quarantine counts as resident.
constexpr long kRssBoundKb = kSanitized ? 512 * 1024 : 16 * 1024;

struct Options {
    std::vector<Link> links{Link::Tcp};
    long exchanges = 100000;
    double faultRate = 0.1;
    std::uint64_t seed = 1;
    int readers = 1;
    Millis timeout{100};
    bool commands = false;
    krnsim::Bytes key; // empty: the plain channel
};

[[noreturn]] void usage(const char* message) {
    std::fprintf(stderr,
                 "vkkrn_soak: %s\nusage: vkkrn_soak [--link tcp|pty|both] [--exchanges N] [--fault-rate P] "
                 "[--seed S] [--readers K] [--timeout-ms T] [--commands] [--key HEX]\n",
                 message);
    std::exit(2);
}

template <typename Number> Number parseNumber(const char* text, Number low, Number high, const char* what) {
    char* end = nullptr;
    errno = 0;
    const long double value = std::strtold(text, &end);
    if (errno != 0 || end == text || *end != '\0' || value < low || value > high)
        usage((std::string("bad value for ") + what).c_str());
    return static_cast<Number>(value);
}

// 32, 48 or 64 hex digits: an AES-128, -192 or -256 key.
krnsim::Bytes parseKey(const std::string& text) {
    if (text.size() != 32 && text.size() != 48 && text.size() != 64)
        usage("--key takes 32, 48 or 64 hex digits");
    krnsim::Bytes key;
    for (std::size_t i = 0; i < text.size(); i += 2) {
        const std::string pair = text.substr(i, 2);
        if (!std::isxdigit(static_cast<unsigned char>(pair[0])) ||
            !std::isxdigit(static_cast<unsigned char>(pair[1])))
            usage("--key takes hex digits only");
        key.push_back(static_cast<std::uint8_t>(std::stoi(pair, nullptr, 16)));
    }
    return key;
}

Options parseOptions(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string name = argv[i];
        if (name == "--commands") {
            o.commands = true;
            continue;
        }
        if (i + 1 >= argc) usage(("missing value for " + name).c_str());
        const char* value = argv[++i];
        if (name == "--link") {
            const std::string v = value;
            if (v == "tcp")
                o.links = {Link::Tcp};
            else if (v == "pty")
                o.links = {Link::Pty};
            else if (v == "both")
                o.links = {Link::Tcp, Link::Pty};
            else
                usage("--link takes tcp, pty or both");
        } else if (name == "--exchanges") {
            o.exchanges = parseNumber<long>(value, 1, 100000000, "--exchanges");
        } else if (name == "--fault-rate") {
            o.faultRate = parseNumber<double>(value, 0.0, 1.0, "--fault-rate");
        } else if (name == "--seed") {
            o.seed = parseNumber<std::uint64_t>(value, 0, 1e18, "--seed");
        } else if (name == "--readers") {
            o.readers = parseNumber<int>(value, 1, 64, "--readers");
        } else if (name == "--key") {
            o.key = parseKey(value);
        } else if (name == "--timeout-ms") {
            o.timeout = Millis(parseNumber<int>(value, 20, 10000, "--timeout-ms"));
        } else {
            usage(("unknown option " + name).c_str());
        }
    }
    return o;
}

const char* linkName(Link link) {
    return link == Link::Tcp ? "tcp" : "pty";
}

// What happened to the exchanges of one fault kind (index kFaultKinds: no fault).
struct KindStats {
    long injected = 0;
    std::map<int, long> results; // result code (0: success) -> count
    Millis longest{0};

    void add(const KindStats& other) {
        injected += other.injected;
        for (auto [code, count] : other.results)
            results[code] += count;
        longest = std::max(longest, other.longest);
    }
};

struct Totals {
    std::array<KindStats, kFaultKinds + 1> kinds;
    std::array<KindStats, kExchangeKinds> exchangeKinds; // injected: the faults among them
    KindStats outOfStep; // exchanges made on purpose after a fault, before authenticating again
    long exchanges = 0;
    long faults = 0;
    long lost = 0;
    long shifted = 0;
    long hung = 0;
    long reconnects = 0;
    long authentications = 0;
    std::size_t requestsSent = 0;
    std::size_t requestsReceived = 0;
};

class Soak {
  public:
    explicit Soak(const Options& options) : options_(options) {}

    // Runs every reader of every link in its own thread; false on a violation.
    bool run(Totals& totals, const std::string& ptyDir) {
        std::vector<std::thread> threads;
        for (Link link : options_.links) {
            for (int r = 0; r < options_.readers; ++r) {
                const long share =
                    options_.exchanges / options_.readers + (r < options_.exchanges % options_.readers);
                threads.emplace_back(
                    [this, link, r, share, &totals, &ptyDir] { runReader(link, r, share, totals, ptyDir); });
            }
        }
        for (auto& t : threads)
            t.join();
        return !violation_.has_value();
    }

    const std::optional<std::string>& violation() const { return violation_; }

  private:
    void fail(std::string what) {
        std::lock_guard lock(mutex_);
        if (!violation_) violation_ = std::move(what);
        stop_.store(true);
    }

    static bool shortenedByChance(const std::optional<Draw>& draw, const Outcome& o) {
        return draw && draw->mayAnswer && draw->fault.kind() == krnsim::FaultKind::LengthDelta &&
               o.result >= 0 && o.verdict != Verdict::Own;
    }

    // The size of the reply frame the simulator sends for `e`, and its command
    // byte: on the authenticated channel the 0xAF frame around the enciphered
    // reply, which is advanced as the requests are.
    static std::pair<std::size_t, std::uint8_t> replyFrame(const Expected& e, bool secured) {
        const std::size_t data = e.replyData.size();
        const bool advanced = (secured && e.kind != ExchangeKind::Transparent) || data > 249;
        const std::size_t inner =
            data + (advanced ? krnsim::kAdvancedReplyOverhead : krnsim::kStandardReplyOverhead);
        if (!secured) return {inner, e.command};
        return {inner + krnsim::kAdvancedReplyOverhead, 0xAF};
    }

    // The plain request frame of `e` as the library (or, for the transparent
    // exchange, the soak) builds it.
    static krnsim::Bytes plainRequest(const Expected& e, bool secured) {
        const bool advanced = secured && e.kind != ExchangeKind::Transparent;
        return krnsim::buildRequest(advanced ? krnsim::Form::Advanced : krnsim::Form::Standard, 1, e.command,
                                    e.requestData);
    }

    void runReader(Link link, int index, long count, Totals& totals, const std::string& ptyDir) {
        Totals mine;
        // One generator per reader, seeded from the seed, the link and the reader.
        std::mt19937_64 random(options_.seed * 1000003u + static_cast<std::uint64_t>(link) * 101u +
                               static_cast<std::uint64_t>(index));
        const bool secured = !options_.key.empty();
        SoakReader reader(link, index, ptyDir, options_.timeout, options_.key);
        ExchangeMix mix(reader.sim());
        const PortCodes port = portCodes(link);
        const Millis limit = 2 * options_.timeout + kCharTimeout + kSlack;
        std::string previousFault = "none";
        auto where = [&](long i) {
            return std::string("after fault ") + previousFault + "; seed " + std::to_string(options_.seed) +
                   ", link " + linkName(link) + ", reader " + std::to_string(index) + ", exchange " +
                   std::to_string(i);
        };
        // Each authentication sends two requests.
        auto authenticated = [&] {
            mine.requestsSent += 2;
            ++mine.authentications;
        };
        if (reader.reader() <= 0) {
            fail("cannot open the reader (" + where(0) + ")");
            return;
        }
        if (secured) authenticated();
        auto nextExchange = [&](long i) {
            const auto kind = options_.commands ? static_cast<ExchangeKind>(random() % kExchangeKinds)
                                                : ExchangeKind::Transparent;
            Expected e = mix.prepare(kind, random, index, static_cast<std::uint32_t>(i));
            reader.watchPlain(plainRequest(e, secured), e.requestData);
            return e;
        };
        for (long i = 0; i < count && !stop_.load(); ++i) {
            const Expected e = nextExchange(i);
            const auto [replyLength, replyCommand] = replyFrame(e, secured);

            std::optional<Draw> draw;
            if (std::uniform_real_distribution<double>(0.0, 1.0)(random) < options_.faultRate) {
                draw = drawFault(random, replyLength, replyCommand, options_.timeout);
                reader.sim().queueFault(draw->fault);
            }
            const std::size_t kind = draw ? static_cast<std::size_t>(draw->fault.kind()) : kFaultKinds;

            const auto start = Clock::now();
            const Outcome o = mix.run(reader.reader(), e);
            const int n = o.result;
            const auto took = std::chrono::duration_cast<Millis>(Clock::now() - start);
            ++mine.exchanges;
            ++mine.requestsSent;
            KindStats& stats = mine.kinds[kind];
            KindStats& byExchange = mine.exchangeKinds[static_cast<std::size_t>(e.kind)];
            stats.injected += draw ? 1 : 0;
            byExchange.injected += draw ? 1 : 0;
            mine.faults += draw ? 1 : 0;
            stats.longest = std::max(stats.longest, took);
            byExchange.longest = std::max(byExchange.longest, took);
            const int code = n > 0 && e.kind == ExchangeKind::Transparent ? 0 : n;
            stats.results[code] += 1;
            byExchange.results[code] += 1;

            const std::string fault =
                draw ? std::string(kindName(kind)) + " (" + draw->fault.describe() + ")" : "none";
            const bool mustAnswer = !draw || draw->answered;
            if (shortenedByChance(draw, o)) {
                // A frame cut short by a smaller length field whose CRC happens
                // to check: its own reply, shortened; the CRC-16 cannot tell.
            } else if (o.verdict == Verdict::Foreign) {
                ++mine.shifted;
                fail("shifted: another exchange's reply taken: " + o.detail + ", fault " + fault + " (" +
                     where(i) + ")");
            } else if (o.verdict == Verdict::Wrong) {
                ++mine.lost;
                fail("outputs not the exchange's own: " + o.detail + ", fault " + fault + " (" + where(i) +
                     ")");
            } else if (o.verdict == Verdict::Own) {
                if (!mustAnswer && !draw->mayAnswer) {
                    ++mine.lost;
                    fail("the exchange succeeded though its reply was spoilt, fault " + fault + " (" +
                         where(i) + ")");
                }
            } else if (mustAnswer) {
                ++mine.lost;
                fail("lost: result " + std::to_string(n) + ", fault " + fault + " (" + where(i) + ")");
            } else if (!allowedCode(draw->fault.kind(), link, n)) {
                ++mine.lost;
                fail("result " + std::to_string(n) + " not one the fault gives, fault " + fault + " (" +
                     where(i) + ")");
            }
            if (took > limit) {
                ++mine.hung;
                fail("hung: the call took " + std::to_string(took.count()) + " ms, fault " + fault + " (" +
                     where(i) + ")");
            }
            if (draw && reader.sim().queuedFaults() != 0) {
                reader.sim().clearFaults();
                fail("the fault was not used by the reply it was queued for: " + fault + " (" + where(i) +
                     ")");
            }
            if (const auto plain = reader.plainSeen())
                fail(*plain + ", fault " + fault + " (" + where(i) + ")");
            previousFault = fault + " ending in " + std::to_string(n);

            // An application reconnects when the port reports the line gone
            // (and authenticates on the new connection).
            if ((draw && draw->endsConnection) || n == port.read || n == port.transmit) {
                ++mine.reconnects;
                if (const int rc = reader.reconnect(); rc != 0)
                    fail("reconnection failed with " + std::to_string(rc) + " (" + where(i) + ")");
                else if (secured)
                    authenticated();
            } else if (secured && n < 0) {
                // On the authenticated channel a failed exchange may have left the
                // two ends out of step. Now and then one more exchange shows that
                // the channel then fails rather than passes data; then one new
                // authentication restores it.
                if (random() % 2 == 0) {
                    const Expected probe = nextExchange(i);
                    const auto probeStart = Clock::now();
                    const Outcome p = mix.run(reader.reader(), probe);
                    const auto probeTook = std::chrono::duration_cast<Millis>(Clock::now() - probeStart);
                    mix.resync();
                    ++mine.requestsSent;
                    mine.outOfStep.injected += 1;
                    mine.outOfStep
                        .results[p.result > 0 && probe.kind == ExchangeKind::Transparent ? 0 : p.result] += 1;
                    mine.outOfStep.longest = std::max(mine.outOfStep.longest, probeTook);
                    const bool failedSoundly = p.verdict == Verdict::Untouched && outOfStepCode(p.result);
                    if (p.verdict != Verdict::Own && !failedSoundly) {
                        ++mine.lost;
                        fail("out of step: result " + std::to_string(p.result) + " " + p.detail + " (" +
                             where(i) + ")");
                    }
                    if (probeTook > limit) {
                        ++mine.hung;
                        fail("hung: the exchange out of step took " + std::to_string(probeTook.count()) +
                             " ms (" + where(i) + ")");
                    }
                    if (const auto plain = reader.plainSeen()) fail(*plain + " (" + where(i) + ")");
                }
                const auto authStart = Clock::now();
                const int rc = reader.authenticate();
                const auto authTook = std::chrono::duration_cast<Millis>(Clock::now() - authStart);
                authenticated();
                if (rc != 0) fail("authenticating again gave " + std::to_string(rc) + " (" + where(i) + ")");
                if (authTook > 2 * limit) {
                    ++mine.hung;
                    fail("hung: authenticating again took " + std::to_string(authTook.count()) + " ms (" +
                         where(i) + ")");
                }
            }
            if (i % 1000 == 999) reader.trimLog();
        }
        // Late replies still on their way reach the simulator's count before we read it.
        std::this_thread::sleep_for(Millis(20));
        mine.requestsReceived = reader.requestsReceived();

        std::lock_guard lock(mutex_);
        for (std::size_t k = 0; k <= kFaultKinds; ++k)
            totals.kinds[k].add(mine.kinds[k]);
        for (std::size_t k = 0; k < kExchangeKinds; ++k)
            totals.exchangeKinds[k].add(mine.exchangeKinds[k]);
        totals.outOfStep.add(mine.outOfStep);
        totals.exchanges += mine.exchanges;
        totals.faults += mine.faults;
        totals.lost += mine.lost;
        totals.shifted += mine.shifted;
        totals.hung += mine.hung;
        totals.reconnects += mine.reconnects;
        totals.authentications += mine.authentications;
        totals.requestsSent += mine.requestsSent;
        totals.requestsReceived += mine.requestsReceived;
    }

    const Options& options_;
    std::mutex mutex_;
    std::atomic<bool> stop_{false};
    std::optional<std::string> violation_;
};

std::string resultsText(const KindStats& s) {
    std::string results;
    for (auto [code, count] : s.results)
        results += (results.empty() ? "" : ", ") + std::to_string(code) + ": " + std::to_string(count);
    return results;
}

void printTable(const Totals& totals, const Options& options) {
    std::printf("\n%-14s %9s %10s  %s\n", "fault", "injected", "longest", "results (code: count)");
    for (std::size_t k = 0; k <= kFaultKinds; ++k) {
        const KindStats& s = totals.kinds[k];
        const long calls = k == kFaultKinds ? totals.exchanges - totals.faults : s.injected;
        if (calls == 0) continue;
        std::printf("%-14s %9ld %7lld ms  %s\n", k == kFaultKinds ? "none" : std::string(kindName(k)).c_str(),
                    calls, static_cast<long long>(s.longest.count()), resultsText(s).c_str());
    }
    if (options.commands) {
        std::printf("\n%-14s %9s %9s %10s  %s\n", "exchange", "calls", "faulted", "longest",
                    "results (code: count)");
        for (std::size_t k = 0; k < kExchangeKinds; ++k) {
            const KindStats& s = totals.exchangeKinds[k];
            long calls = 0;
            for (auto [code, count] : s.results)
                calls += count;
            std::printf("%-14s %9ld %9ld %7lld ms  %s\n",
                        std::string(exchangeName(static_cast<ExchangeKind>(k))).c_str(), calls, s.injected,
                        static_cast<long long>(s.longest.count()), resultsText(s).c_str());
        }
    }
    if (!options.key.empty()) {
        std::printf(
            "\nout of step: %ld exchanges after a fault before authenticating again, longest %lld ms; "
            "results %s\n",
            totals.outOfStep.injected, static_cast<long long>(totals.outOfStep.longest.count()),
            resultsText(totals.outOfStep).c_str());
        std::printf("authentications %ld (AES-%zu)\n", totals.authentications, options.key.size() * 8);
    }
    std::printf(
        "\nexchanges %ld, faults %ld, reconnections %ld, requests sent %zu, received by the simulator %zu\n",
        totals.exchanges, totals.faults, totals.reconnects, totals.requestsSent, totals.requestsReceived);
}

} // namespace

int main(int argc, char** argv) {
    const Options options = parseOptions(argc, argv);
    std::printf("soak: seed %llu, links", static_cast<unsigned long long>(options.seed));
    for (Link link : options.links)
        std::printf(" %s", linkName(link));
    std::printf(", %ld exchanges per link on %d reader(s), fault rate %.3f, time-out %lld ms%s%s\n",
                options.exchanges, options.readers, options.faultRate,
                static_cast<long long>(options.timeout.count()), options.commands ? ", commands" : "",
                options.key.empty() ? ""
                                    : (options.key.size() == 16   ? ", AES-128 channel"
                                       : options.key.size() == 24 ? ", AES-192 channel"
                                                                  : ", AES-256 channel"));
    std::fflush(stdout);

    const int descriptorsAtStart = vktesting::openDescriptors();
    // The serial library opens at most 15 characters: prefix and port name.
    char dir[] = "/tmp/vXXXXXX";
    if (::mkdtemp(dir) == nullptr) {
        std::perror("mkdtemp");
        return 2;
    }
    const std::string ptyDir = dir;
    char prefixKey[] = "PORTPREFIX";
    std::string prefix = ptyDir + "/";
    VIZER_SetPortPara(0, prefixKey, prefix.data());

    // Warm-up: a short soak with the same settings, so that libraries, threads
    // and allocator pools exist before resident memory is taken as the base.
    Options warmUp = options;
    warmUp.exchanges = std::min<long>(options.exchanges, 200L * options.readers);
    Totals ignored;
    Soak warm(warmUp);
    if (!warm.run(ignored, ptyDir)) {
        std::printf("soak: FAILED in the warm-up: %s\n", warm.violation()->c_str());
        return 1;
    }
    const long rssBase = vktesting::residentKb();

    Totals totals;
    Soak soak(options);
    const bool clean = soak.run(totals, ptyDir);
    printTable(totals, options);

    for (int i = 0; i < 64; ++i)
        ::unlink((ptyDir + "/" + std::to_string(i)).c_str());
    ::rmdir(ptyDir.c_str());
    const int descriptorsAtEnd = vktesting::openDescriptors();
    const long rssGrowth = vktesting::residentKb() - rssBase;
    std::printf("descriptors: %d at the start, %d at the end; resident memory %+ld kB after the warm-up "
                "(bound %ld kB)\n",
                descriptorsAtStart, descriptorsAtEnd, rssGrowth, kRssBoundKb);

    if (!clean) {
        std::printf("soak: FAILED: %s\n", soak.violation()->c_str());
        return 1;
    }
    const long leaked = (descriptorsAtEnd != descriptorsAtStart ? 1 : 0) + (rssGrowth > kRssBoundKb ? 1 : 0);
    if (totals.requestsReceived != totals.requestsSent) {
        std::printf("soak: FAILED: %zu requests sent, %zu received by the simulator\n", totals.requestsSent,
                    totals.requestsReceived);
        return 1;
    }
    if (leaked != 0) {
        std::printf("soak: FAILED: %s\n",
                    descriptorsAtEnd != descriptorsAtStart ? "descriptors leaked" : "memory grew");
        return 1;
    }
    std::printf("soak: %ld exchanges, %ld faults, %ld lost, %ld shifted, %ld hung, 0 leaked\n",
                totals.exchanges, totals.faults, totals.lost, totals.shifted, totals.hung);
    return 0;
}

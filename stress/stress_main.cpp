// vk_stress: drives the handles of one library family from several threads at
// once, in random interleavings under a fixed seed, against simulated devices
// that drop their connections, and checks what the libraries promise: no
// crash and no sanitizer report, every result a documented code, no handle
// handed out again once closed or while its end runs, no call past its
// time-out, and every descriptor and thread back once everything is closed.
//
//   vk_stress --family com|tcp|usb|krn|tcl [--seed S] [--threads N]
//             [--seconds T] [--operations K] [--margin-ms M] [--verbose]
//
// Each thread draws its operations from its own random sequence, seeded from
// the seed and the thread's index, so the same seed replays the same choices
// (the operating system's timing still varies). The run ends after T seconds
// or once every thread made K operations, whichever comes first. A call that
// has not returned M ms after its own time-out is reported and the program
// aborts. --verbose adds a table of the calls made: how often, how often they
// failed, their mean and longest time. Exit status 0 when every promise held,
// 1 otherwise, 2 for bad usage.
#include "families.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

using namespace vkstress;

[[noreturn]] void usage(const std::string& message) {
    std::fprintf(stderr,
                 "vk_stress: %s\nusage: vk_stress --family com|tcp|usb|krn|tcl [--seed S] [--threads N] "
                 "[--seconds T] [--operations K] [--margin-ms M] [--verbose]\n",
                 message.c_str());
    std::exit(2);
}

double number(const char* text, double low, double high, const std::string& what) {
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(text, &end);
    if (errno != 0 || end == text || *end != '\0' || value < low || value > high)
        usage("bad value for " + what);
    return value;
}

Options parse(int argc, char** argv) {
    Options o;
    bool family = false;
    for (int i = 1; i < argc; ++i) {
        const std::string name = argv[i];
        if (name == "--verbose") {
            o.verbose = true;
            continue;
        }
        if (i + 1 >= argc) usage("missing value for " + name);
        const char* value = argv[++i];
        if (name == "--family") {
            const std::string v = value;
            family = true;
            if (v == "com")
                o.family = Family::Com;
            else if (v == "tcp")
                o.family = Family::Tcp;
            else if (v == "usb")
                o.family = Family::Usb;
            else if (v == "krn")
                o.family = Family::Krn;
            else if (v == "tcl")
                o.family = Family::Tcl;
            else
                usage("--family takes com, tcp, usb, krn or tcl");
        } else if (name == "--seed") {
            o.seed = std::strtoull(value, nullptr, 10);
            number(value, 0, 1.8e19, name);
        } else if (name == "--threads") {
            o.threads = static_cast<int>(number(value, 1, 64, name));
        } else if (name == "--seconds") {
            o.seconds = number(value, 0.1, 86400, name);
        } else if (name == "--operations") {
            o.operations = static_cast<long>(number(value, 1, 1e9, name));
        } else if (name == "--margin-ms") {
            o.margin = Millis(static_cast<long>(number(value, 100, 600000, name)));
        } else {
            usage("unknown option " + name);
        }
    }
    if (!family) usage("--family is required");
    return o;
}

void runFamily(Run& run) {
    switch (run.options().family) {
    case Family::Com: runCom(run); break;
    case Family::Tcp: runTcp(run); break;
    case Family::Usb: runUsb(run); break;
    case Family::Krn: runKrn(run); break;
    case Family::Tcl: runTcl(run); break;
    }
}

} // namespace

int main(int argc, char** argv) {
    const Options options = parse(argc, argv);
    const std::string family(familyName(options.family));
    std::printf("stress %s: seed %llu, %d threads, %.1f s%s\n", family.c_str(),
                static_cast<unsigned long long>(options.seed), options.threads, options.seconds,
                options.operations > 0
                    ? (", at most " + std::to_string(options.operations) + " operations per thread").c_str()
                    : "");
    std::fflush(stdout);

    const auto start = Clock::now();
    Run run(options, codeBook(options.family));
    const Holdings before = Holdings::now();
    runFamily(run);
    // The libraries may end threads and close descriptors a moment after the
    // calls that ended their use have returned.
    expectReturned(run, before, Millis(kSanitized ? 10000 : 5000));

    std::string codes;
    for (const auto& [code, count] : run.failures())
        codes += (codes.empty() ? "" : ", ") + std::to_string(code) + " x" + std::to_string(count);
    const double took = std::chrono::duration<double>(Clock::now() - start).count();
    std::printf(
        "stress %s: seed %llu, %d threads, %.1f s, %ld operations, %ld calls, failures %s; %ld broken "
        "promises\n",
        family.c_str(), static_cast<unsigned long long>(options.seed), options.threads, took,
        run.operations(), run.calls(), codes.empty() ? "none" : codes.c_str(), run.brokenCount());
    if (options.verbose) {
        std::printf("%-36s %9s %9s %9s %9s\n", "call", "calls", "failed", "mean ms", "longest");
        for (const auto& [name, s] : run.stats())
            std::printf("%-36s %9ld %9ld %9.2f %9.1f\n", name.c_str(), s.calls, s.failures,
                        s.calls > 0 ? static_cast<double>(s.totalNs) / s.calls / 1e6 : 0.0,
                        s.longestNs / 1e6);
    }
    return run.brokenCount() == 0 ? 0 : 1;
}

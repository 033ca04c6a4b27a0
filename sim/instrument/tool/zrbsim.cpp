// zrbsim [--address A] [--verbose] | --help: serves the instrument protocol on A:5000
// (default 127.0.0.1), answering the command set with its default replies,
// until SIGINT or SIGTERM. Prints "ZRBSIM tcp <A> 5000" once it accepts
// connections. Exit codes: 0 stopped by a signal, 1 cannot bind, 2 usage error.
#include <zrbsim/commands.h>
#include <zrbsim/simulator.h>

#include <arpa/inet.h>
#include <pthread.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>

namespace {

constexpr const char* kUsage = "usage: zrbsim [--address A] [--verbose]\n"
                               "       zrbsim --help\n";

int usage() {
    std::fputs(kUsage, stderr);
    return 2;
}

int help() {
    std::fputs(kUsage, stdout);
    std::fputs("\n"
               "Serves the RF instrument's text protocol on port 5000 of the loopback address A\n"
               "(default 127.0.0.1) and answers every command with its default reply. Prints\n"
               "  ZRBSIM tcp A 5000\n"
               "once it accepts connections.\n"
               "  --address A  the IPv4 address to listen on\n"
               "  --verbose    every request line on stderr\n"
               "Stops on SIGINT or SIGTERM (exit 0); a usage error exits 2, an address that\n"
               "cannot be bound 1.\n",
               stdout);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    zrbsim::Simulator::Options options;
    options.address = "127.0.0.1";
    if (argc == 2 && std::strcmp(argv[1], "--help") == 0) return help();
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--address" && i + 1 < argc) {
            options.address = argv[++i];
        } else if (argument == "--verbose") {
            options.verbose = true;
        } else {
            return usage();
        }
    }
    in_addr parsed{};
    if (inet_pton(AF_INET, options.address.c_str(), &parsed) != 1) return usage();

    // The signals are taken by sigwait below; the simulator's thread inherits the mask.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    try {
        zrbsim::Simulator simulator(options);
        zrbsim::registerInstrumentCommands(simulator);
        std::printf("ZRBSIM tcp %s %u\n", simulator.address().c_str(),
                    static_cast<unsigned>(simulator.port()));
        std::fflush(stdout);
        int signal = 0;
        sigwait(&signals, &signal);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "zrbsim: %s\n", error.what());
        return 1;
    }
    return 0;
}

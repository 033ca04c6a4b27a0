// krnsim: serves one virtual KRN reader on TCP or a pseudo-terminal and prints
// where, until SIGINT or SIGTERM.
#include "hex_text.h"
#include "notify_mode.h"
#include "options.h"

#include <krnsim/demo_field.h>
#include <krnsim/function_units.h>
#include <krnsim/simulator.h>
#include <krnsim/tcl_card.h>

#include <csignal>
#include <cstdio>
#include <iostream>

namespace {

using namespace krnsim;
using krnsim::tool::hexText;

void printEntry(const LogEntry& entry) {
    std::string line = "krnsim: [" + std::to_string(entry.connection) + "] <- " + hexText(entry.raw);
    if (entry.verdict != Verdict::Ok) line += std::string(" (") + verdictName(entry.verdict) + ")";
    line += "\n";
    if (!entry.reply.empty() || !entry.fault.empty()) {
        line += "krnsim: [" + std::to_string(entry.connection) + "] -> " + hexText(entry.reply);
        if (!entry.fault.empty()) line += " (fault: " + entry.fault + ")";
        line += "\n";
    }
    std::cerr << line << std::flush;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::string(argv[1]) == "--help") {
        std::cout << krnsim::tool::kUsage << krnsim::tool::kHelp;
        return 0;
    }
    krnsim::tool::Options options;
    try {
        options = krnsim::tool::parseOptions(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const krnsim::tool::UsageError& error) {
        std::cerr << "krnsim: " << error.what() << "\n" << krnsim::tool::kUsage;
        return 2;
    }

    // Blocked before the loop thread starts, so that only sigwait below sees them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    if (options.mode == krnsim::tool::Options::Mode::Notify)
        return krnsim::tool::runNotify(options, stopSignals);

    Simulator sim;
    sim.reader().setBusAddress(options.busAddress);
    addDemoTags(sim.reader());
    sim.reader().setAuthenticationKey(options.key);
    FunctionUnitBus units;
    addDemoUnits(units);
    units.attach(sim.reader());
    // A T=CL card answering APDUs (command 0xB2) with the APDU followed by 90 00.
    TclCard card(sim.reader());
    card.install();
    if (options.verbose) sim.reader().log().setObserver(printEntry);

    try {
        if (options.mode == krnsim::tool::Options::Mode::Tcp) {
            const TcpEndpoint endpoint = sim.listenTcp(options.port);
            std::cout << "KRNSIM tcp 127.0.0.1 " << endpoint.port << std::endl;
        } else {
            const PtyEndpoint endpoint = sim.openPty(options.link);
            std::cout << "KRNSIM pty " << (options.link.empty() ? endpoint.slavePath : options.link)
                      << std::endl;
        }
    } catch (const std::exception& error) {
        std::cerr << "krnsim: " << error.what() << "\n";
        return 1;
    }

    int signal = 0;
    sigwait(&stopSignals, &signal);
    return 0; // the simulator closes everything and removes the link
}

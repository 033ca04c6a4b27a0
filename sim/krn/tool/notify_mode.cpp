#include "notify_mode.h"
#include "hex_text.h"

#include <krnsim/notifier.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <iostream>
#include <memory>

namespace krnsim::tool {

namespace {

// Waits up to `ms` for a stop signal: true when one came.
bool stopWithin(const sigset_t& stopSignals, int ms) {
    timespec wait{ms / 1000, static_cast<long>(ms % 1000) * 1000000L};
    for (;;) {
        const int signal = sigtimedwait(&stopSignals, nullptr, &wait);
        if (signal > 0) return true;
        if (errno != EINTR) return false;
    }
}

} // namespace

int runNotify(const Options& options, const sigset_t& stopSignals) {
    std::unique_ptr<Notifier> notifier;
    try {
        notifier = std::make_unique<Notifier>(
            options.notifyPort, static_cast<std::uint8_t>(options.busAddress), options.notifyHost);
    } catch (const std::exception& error) {
        std::cerr << "krnsim: " << error.what() << "\n";
        return 1;
    }
    if (options.keyType >= 0 &&
        !notifier->authenticate(static_cast<std::uint8_t>(options.keyType), options.key)) {
        std::cerr << "krnsim: the listener refused the authentication\n";
        return 1;
    }
    std::cout << "KRNSIM notify " << options.notifyHost << " " << options.notifyPort << std::endl;
    const auto command = static_cast<std::uint8_t>(options.command);
    for (std::uint32_t count = 0;; ++count) {
        const Bytes data{static_cast<std::uint8_t>(count >> 8), static_cast<std::uint8_t>(count)};
        try {
            notifier->notify(command, data);
        } catch (const std::exception&) {
            std::cerr << "krnsim: the listener closed the connection\n";
            return 1;
        }
        const auto answer = notifier->waitFrame(Millis(std::min(options.everyMs, 1000)));
        if (answer) {
            std::cout << "KRNSIM ack " << hexText(answer->frame) << " (" << answer->verdict << ")"
                      << std::endl;
        } else if (notifier->closedByHost()) {
            std::cerr << "krnsim: the listener closed the connection\n";
            return 1;
        }
        if (stopWithin(stopSignals, options.everyMs)) return 0;
    }
}

} // namespace krnsim::tool

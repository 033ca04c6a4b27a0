// Command line of the krnsim program.
#ifndef KRNSIM_TOOL_OPTIONS_H
#define KRNSIM_TOOL_OPTIONS_H

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace krnsim::tool {

struct Options {
    enum class Mode { Tcp, Pty, Notify } mode = Mode::Tcp;
    std::uint16_t port = 0;
    std::string link;
    int busAddress = 1;
    bool verbose = false;
    std::vector<std::uint8_t> key; // the authentication key, empty: none
    // --notify: the listener to call, the command of the notifications, their
    // period, and the key type of the handshake (-1: none).
    std::string notifyHost = "127.0.0.1";
    std::uint16_t notifyPort = 0;
    int command = 0x22;
    int everyMs = 1000;
    int keyType = -1;
};

struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Throws UsageError with a one-line reason.
Options parseOptions(const std::vector<std::string>& arguments);

inline constexpr const char* kUsage =
    "usage: krnsim --tcp [--port N] | --pty [--link PATH]  [--bus-address A] [--key HEX] [--verbose]\n"
    "       krnsim --notify [HOST:]PORT [--command 22|1F|77] [--every MS] [--key-type N --key HEX]\n"
    "              [--bus-address A]\n"
    "       krnsim --help\n";

// What --help adds to the usage.
inline constexpr const char* kHelp =
    "\n"
    "Serves one simulated KRN reader (two tags in its field, a T=CL card, function units) on\n"
    "TCP on 127.0.0.1 or on a pseudo-terminal, and prints where once it is ready:\n"
    "  KRNSIM tcp 127.0.0.1 PORT   or   KRNSIM pty PATH\n"
    "--notify connects out to a notification listener at [HOST:]PORT instead and sends it\n"
    "notifications every MS milliseconds (default 1000).\n"
    "  --port N         listen on TCP port N (default: one the kernel picks)\n"
    "  --link PATH      a symlink to the pseudo-terminal at PATH\n"
    "  --bus-address A  the reader's bus address, 0 to 253 (default 1)\n"
    "  --key HEX        the authentication key, 32, 48 or 64 hex digits\n"
    "  --verbose        every request and reply as hex lines on stderr\n"
    "Stops on SIGINT or SIGTERM (exit 0); a usage error exits 2, an endpoint that cannot\n"
    "be opened 1.\n";

} // namespace krnsim::tool

#endif

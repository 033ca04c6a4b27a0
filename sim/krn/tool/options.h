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
    "              [--bus-address A]\n";

} // namespace krnsim::tool

#endif

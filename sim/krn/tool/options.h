// Command line of the krnsim program.
#ifndef KRNSIM_TOOL_OPTIONS_H
#define KRNSIM_TOOL_OPTIONS_H

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace krnsim::tool {

struct Options {
    enum class Mode { Tcp, Pty } mode = Mode::Tcp;
    std::uint16_t port = 0;
    std::string link;
    int busAddress = 1;
    bool verbose = false;
    std::vector<std::uint8_t> key; // the authentication key, empty: none
};

struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Throws UsageError with a one-line reason.
Options parseOptions(const std::vector<std::string>& arguments);

inline constexpr const char* kUsage =
    "usage: krnsim --tcp [--port N] | --pty [--link PATH]  [--bus-address A] [--key HEX] [--verbose]\n";

} // namespace krnsim::tool

#endif

#include "options.h"

#include <cerrno>
#include <cstdlib>
#include <optional>

namespace krnsim::tool {

namespace {

long parseNumber(const std::string& text, const std::string& option, long low, long high) {
    if (text.empty()) throw UsageError(option + " needs a number");
    char* end = nullptr;
    errno = 0;
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const long value = std::strtol(text.c_str(), &end, hex ? 16 : 10);
    if (errno != 0 || *end != '\0' || value < low || value > high)
        throw UsageError(option + " must be a number from " + std::to_string(low) + " to " +
                         std::to_string(high));
    return value;
}

// 32, 48 or 64 hex digits: the key's 16, 24 or 32 bytes.
std::vector<std::uint8_t> parseKey(const std::string& text) {
    if (text.size() != 32 && text.size() != 48 && text.size() != 64)
        throw UsageError("--key needs 32, 48 or 64 hex digits");
    std::vector<std::uint8_t> key;
    for (std::size_t i = 0; i < text.size(); i += 2) {
        const std::string pair = text.substr(i, 2);
        if (pair.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
            throw UsageError("--key needs 32, 48 or 64 hex digits");
        key.push_back(static_cast<std::uint8_t>(std::stoul(pair, nullptr, 16)));
    }
    return key;
}

} // namespace

Options parseOptions(const std::vector<std::string>& arguments) {
    Options options;
    std::optional<Options::Mode> mode;
    bool portGiven = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        auto value = [&]() -> const std::string& {
            if (i + 1 >= arguments.size()) throw UsageError(argument + " needs a value");
            return arguments[++i];
        };
        auto setMode = [&](Options::Mode chosen) {
            if (mode) throw UsageError("give exactly one of --tcp and --pty");
            mode = chosen;
        };
        if (argument == "--tcp") {
            setMode(Options::Mode::Tcp);
        } else if (argument == "--pty") {
            setMode(Options::Mode::Pty);
        } else if (argument == "--port") {
            options.port = static_cast<std::uint16_t>(parseNumber(value(), argument, 0, 65535));
            portGiven = true;
        } else if (argument == "--link") {
            options.link = value();
            if (options.link.empty()) throw UsageError("--link needs a path");
        } else if (argument == "--bus-address") {
            options.busAddress = static_cast<int>(parseNumber(value(), argument, 0, 253));
        } else if (argument == "--key") {
            options.key = parseKey(value());
        } else if (argument == "--verbose") {
            options.verbose = true;
        } else {
            throw UsageError("unknown argument " + argument);
        }
    }
    if (!mode) throw UsageError("give one of --tcp and --pty");
    options.mode = *mode;
    if (portGiven && options.mode != Options::Mode::Tcp) throw UsageError("--port goes with --tcp");
    if (!options.link.empty() && options.mode != Options::Mode::Pty)
        throw UsageError("--link goes with --pty");
    return options;
}

} // namespace krnsim::tool

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

// [HOST:]PORT of --notify.
void parseNotifyTarget(const std::string& text, Options& options) {
    const std::size_t colon = text.rfind(':');
    if (colon != std::string::npos) {
        options.notifyHost = text.substr(0, colon);
        if (options.notifyHost.empty()) throw UsageError("--notify needs [HOST:]PORT");
    }
    const std::string port = colon == std::string::npos ? text : text.substr(colon + 1);
    options.notifyPort = static_cast<std::uint16_t>(parseNumber(port, "--notify", 1, 65535));
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
            if (mode) throw UsageError("give exactly one of --tcp, --pty and --notify");
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
        } else if (argument == "--notify") {
            setMode(Options::Mode::Notify);
            parseNotifyTarget(value(), options);
        } else if (argument == "--command") {
            const std::string& text = value();
            if (text != "22" && text != "1F" && text != "1f" && text != "77")
                throw UsageError("--command is 22, 1F or 77");
            options.command = static_cast<int>(std::strtol(text.c_str(), nullptr, 16));
        } else if (argument == "--every") {
            options.everyMs = static_cast<int>(parseNumber(value(), argument, 1, 3600000));
        } else if (argument == "--key-type") {
            options.keyType = static_cast<int>(parseNumber(value(), argument, 0, 2));
        } else if (argument == "--verbose") {
            options.verbose = true;
        } else {
            throw UsageError("unknown argument " + argument);
        }
    }
    if (!mode) throw UsageError("give one of --tcp, --pty and --notify");
    options.mode = *mode;
    if (portGiven && options.mode != Options::Mode::Tcp) throw UsageError("--port goes with --tcp");
    if (!options.link.empty() && options.mode != Options::Mode::Pty)
        throw UsageError("--link goes with --pty");
    const bool notify = options.mode == Options::Mode::Notify;
    if (options.keyType >= 0 && !notify) throw UsageError("--key-type goes with --notify");
    if (notify && (options.keyType >= 0) != !options.key.empty())
        throw UsageError("--key-type and --key go together with --notify");
    if (notify && options.keyType >= 0 &&
        options.key.size() != 16u + 8u * static_cast<unsigned>(options.keyType))
        throw UsageError("--key-type 0, 1, 2 takes a key of 16, 24, 32 bytes");
    return options;
}

} // namespace krnsim::tool

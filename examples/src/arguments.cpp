#include "arguments.h"

#include <algorithm>
#include <cctype>

namespace vkexample {

namespace {

constexpr std::size_t kMaxDevicePath = 15;
constexpr long kMaxBaud = 4000000;

// A decimal number of at most nine digits, or -1.
long readNumber(const std::string& text) {
    if (text.empty() || text.size() > 9) return -1;
    long value = 0;
    for (const char c : text) {
        if (!std::isdigit(static_cast<unsigned char>(c))) return -1;
        value = value * 10 + (c - '0');
    }
    return value;
}

Arguments refused(std::string why) {
    Arguments arguments;
    arguments.error = std::move(why);
    return arguments;
}

Arguments tcpTarget(const std::string& text) {
    const std::size_t colon = text.rfind(':');
    const std::string host = text.substr(0, colon);
    const long port = readNumber(text.substr(colon + 1));
    if (host.empty()) return refused("no host before the ':'");
    if (port < 1 || port > 65535) return refused("the port must be 1 to 65535");
    Arguments arguments;
    arguments.target = Arguments::Target::Tcp;
    arguments.host = host;
    arguments.port = static_cast<int>(port);
    return arguments;
}

Arguments serialTarget(const std::string& device, const std::string* baudText) {
    if (device.size() > kMaxDevicePath) return refused("the device path may have at most 15 characters");
    std::size_t digits = device.size();
    while (digits > 0 && std::isdigit(static_cast<unsigned char>(device[digits - 1])))
        --digits;
    const long number = readNumber(device.substr(digits));
    if (number < 0) return refused("the device path must end in its number, as /dev/ttyUSB0");
    if (digits == 0) return refused("the device path needs a name before its number");
    Arguments arguments;
    arguments.target = Arguments::Target::Serial;
    arguments.portPrefix = device.substr(0, digits);
    arguments.portNumber = static_cast<int>(number) + 1;
    if (baudText) {
        const long baud = readNumber(*baudText);
        if (baud < 1 || baud > kMaxBaud) return refused("the baud rate must be a number from 1 to 4000000");
        arguments.baud = static_cast<int>(baud);
    }
    return arguments;
}

} // namespace

Arguments parseArguments(const std::vector<std::string>& args) {
    if (!args.empty() && args[0] == "--key") {
        if (args.size() < 2) return refused("--key needs a key");
        const std::string& key = args[1];
        const bool hex = std::all_of(
            key.begin(), key.end(), [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; });
        if (!hex || (key.size() != 32 && key.size() != 48 && key.size() != 64))
            return refused("--key needs 32, 48 or 64 hex digits");
        Arguments arguments = parseArguments(std::vector<std::string>(args.begin() + 2, args.end()));
        if (arguments.error.empty() && arguments.target == Arguments::Target::Help)
            return refused("--help takes no key");
        arguments.key = key;
        return arguments;
    }
    if (args.empty()) return Arguments{};
    if (args[0] == "-h" || args[0] == "--help") {
        if (args.size() > 1) return refused("--help takes no further argument");
        Arguments arguments;
        arguments.target = Arguments::Target::Help;
        return arguments;
    }
    if (args.size() > 2) return refused("too many arguments");
    const std::string& first = args[0];
    if (first.empty()) return refused("an empty argument");
    if (first[0] == '-') return refused("unknown option " + first);
    if (first[0] != '/' && first.find(':') != std::string::npos) {
        if (args.size() > 1) return refused("HOST:PORT takes no baud rate");
        return tcpTarget(first);
    }
    if (first[0] != '/') return refused("give HOST:PORT or a device path starting with /");
    return serialTarget(first, args.size() > 1 ? &args[1] : nullptr);
}

} // namespace vkexample

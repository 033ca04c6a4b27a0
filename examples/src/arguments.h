// The main example's command line: no argument for the built-in simulator,
// HOST:PORT for a reader on TCP, DEVICE [BAUD] for a reader on a serial line.
#ifndef VKEXAMPLE_ARGUMENTS_H
#define VKEXAMPLE_ARGUMENTS_H

#include <string>
#include <vector>

namespace vkexample {

inline constexpr const char* kUsage =
    "usage: vkkrn_example                  talk to the built-in simulated reader\n"
    "       vkkrn_example HOST:PORT        talk to a reader on TCP\n"
    "       vkkrn_example DEVICE [BAUD]    talk to a reader on a serial line, e.g. /dev/ttyUSB0 38400\n"
    "  --key HEX first: authenticate with this AES key (32, 48 or 64 hex digits) and talk on the\n"
    "  authenticated channel; the built-in simulated reader takes the same key\n";

struct Arguments {
    enum class Target { Simulator, Tcp, Serial, Help };
    Target target = Target::Simulator;
    std::string host;       // Tcp
    int port = 0;           // Tcp: 1 to 65535
    std::string portPrefix; // Serial: the device path without its number
    int portNumber = 0;     // Serial: the device's number plus 1, as the serial library counts
    int baud = 0;           // Serial: 0 keeps the port library's default
    std::string key;        // the authentication key as hex text, empty: none
    std::string error;      // not empty when the arguments are refused
};

// Reads the arguments after the program name, "--key HEX" first when given. A serial device path must end in
// a number d, is opened as its prefix with port d + 1 and may have at most 15
// characters.
Arguments parseArguments(const std::vector<std::string>& args);

} // namespace vkexample

#endif

// A request line as the simulator reads it, independently of the library.
#ifndef ZRBSIM_REQUEST_H
#define ZRBSIM_REQUEST_H

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zrbsim {

struct Argument {
    bool quoted = false;
    std::string text; // without the quotes
};

struct Request {
    std::string group;
    std::string name;
    std::vector<Argument> arguments;
    // "Group:Name"
    std::string command() const { return group + ":" + name; }
};

// The result of reading one line (without its final LF): the request, and the
// first way in which the line breaks the request grammar, if any.
struct ParsedLine {
    std::optional<Request> request; // present when group and name could be read
    std::string violation;          // empty when the line is well-formed
};

// Grammar: "ZRB:" group ":" name " " [argument ("," argument)*] CR, where group
// is Reset, Trigger, Rf or Gpio, there is no blank outside quotes, and every
// unquoted argument is an integer or a double written as -?d.dddddddddddde[+-]ddd.
ParsedLine parseRequestLine(std::string_view line);

// Checks arguments against a signature: one letter per argument, empty when
// they match:
//   'i' an integer, 'd' a double, 'b' a byte (an integer 0..255);
//   'q' quoted text;
//   'w' quoted element text: empty, or ';'-separated pairs of decimal integers,
//       amplitude and duration (a duration may carry a minus sign);
//   'h' quoted upper-case hex digits, 2 x ceil(bits / 8) of them, where bits is
//       the integer argument that follows (the signed decimal of a 32-bit count).
std::string checkSignature(const Request& request, std::string_view signature);

} // namespace zrbsim

#endif

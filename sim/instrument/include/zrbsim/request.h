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

// Checks arguments against a signature: one letter per argument, 'i' integer,
// 'd' double, 'q' quoted text, 'h' quoted hex digits. Empty when they match.
std::string checkSignature(const Request& request, std::string_view signature);

} // namespace zrbsim

#endif

// The simulator's own reading of request lines. It duplicates what the library
// writes on purpose: a fault on one side must not be mirrored on the other.
#include <zrbsim/request.h>

#include <cctype>
#include <cstddef>

namespace zrbsim {

namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

bool isInteger(std::string_view text) {
    std::size_t i = 0;
    if (i < text.size() && text[i] == '-') ++i;
    if (i == text.size()) return false;
    for (; i < text.size(); ++i) {
        if (!isDigit(text[i])) return false;
    }
    return true;
}

// -?d.dddddddddddde[+-]ddd
bool isDouble(std::string_view text) {
    std::size_t i = 0;
    if (i < text.size() && text[i] == '-') ++i;
    const std::string_view body = text.substr(i);
    if (body.size() != 19) return false;
    if (!isDigit(body[0]) || body[1] != '.') return false;
    for (std::size_t k = 2; k < 14; ++k) {
        if (!isDigit(body[k])) return false;
    }
    if (body[14] != 'e' || (body[15] != '+' && body[15] != '-')) return false;
    return isDigit(body[16]) && isDigit(body[17]) && isDigit(body[18]);
}

bool isHex(std::string_view text) {
    for (char c : text) {
        if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
    }
    return true;
}

bool isGroup(std::string_view group) {
    return group == "Reset" || group == "Trigger" || group == "Rf" || group == "Gpio";
}

ParsedLine violation(ParsedLine parsed, std::string message) {
    parsed.violation = std::move(message);
    return parsed;
}

} // namespace

ParsedLine parseRequestLine(std::string_view line) {
    ParsedLine parsed;
    bool endsInCr = !line.empty() && line.back() == '\r';
    if (endsInCr) line.remove_suffix(1);

    constexpr std::string_view kPrefix = "ZRB:";
    if (line.substr(0, kPrefix.size()) != kPrefix) return violation(parsed, "line does not begin with ZRB:");
    line.remove_prefix(kPrefix.size());
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos) return violation(parsed, "no colon after the group");
    const std::string_view group = line.substr(0, colon);
    line.remove_prefix(colon + 1);
    std::size_t nameEnd = 0;
    while (nameEnd < line.size() && std::isalnum(static_cast<unsigned char>(line[nameEnd])))
        ++nameEnd;
    const std::string_view name = line.substr(0, nameEnd);
    if (name.empty()) return violation(parsed, "no command name");
    parsed.request = Request{std::string(group), std::string(name), {}};
    if (!isGroup(group)) return violation(parsed, "unknown group " + std::string(group));
    line.remove_prefix(nameEnd);
    if (line.empty() || line.front() != ' ') return violation(parsed, "no blank after the command name");
    line.remove_prefix(1);

    std::vector<Argument>& arguments = parsed.request->arguments;
    while (!line.empty()) {
        Argument argument;
        if (line.front() == '"') {
            // The closing quote is the first one followed by a comma or the end.
            std::size_t close = 1;
            for (;; ++close) {
                close = line.find('"', close);
                if (close == std::string_view::npos) return violation(parsed, "unterminated quoted argument");
                if (close + 1 == line.size() || line[close + 1] == ',') break;
            }
            argument.quoted = true;
            argument.text = std::string(line.substr(1, close - 1));
            line.remove_prefix(close + 1);
        } else {
            const std::size_t comma = line.find(',');
            const std::string_view text = line.substr(0, comma);
            if (text.empty()) return violation(parsed, "empty argument");
            if (text.find(' ') != std::string_view::npos) return violation(parsed, "blank outside quotes");
            if (!isInteger(text) && !isDouble(text)) {
                return violation(parsed, "argument " + std::string(text) + " is neither integer nor double");
            }
            argument.text = std::string(text);
            line.remove_prefix(text.size());
        }
        arguments.push_back(std::move(argument));
        if (line.empty()) break;
        if (line.front() != ',') return violation(parsed, "no comma after an argument");
        line.remove_prefix(1);
        if (line.empty()) return violation(parsed, "empty argument");
    }
    if (!endsInCr) return violation(parsed, "line does not end in CR LF");
    return parsed;
}

std::string checkSignature(const Request& request, std::string_view signature) {
    if (request.arguments.size() != signature.size()) {
        return request.command() + " takes " + std::to_string(signature.size()) + " arguments, got " +
               std::to_string(request.arguments.size());
    }
    for (std::size_t i = 0; i < signature.size(); ++i) {
        const Argument& argument = request.arguments[i];
        const char kind = signature[i];
        bool matches = false;
        switch (kind) {
        case 'i': matches = !argument.quoted && isInteger(argument.text); break;
        case 'd': matches = !argument.quoted && isDouble(argument.text); break;
        case 'q': matches = argument.quoted; break;
        case 'h': matches = argument.quoted && isHex(argument.text); break;
        default: break;
        }
        if (!matches) {
            return request.command() + " argument " + std::to_string(i + 1) + " is not of kind " +
                   std::string(1, kind);
        }
    }
    return {};
}

} // namespace zrbsim

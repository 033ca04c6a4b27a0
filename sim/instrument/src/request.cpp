// The simulator's own reading of request lines. It duplicates what the library
// writes on purpose: a fault on one side must not be mirrored on the other.
#include <zrbsim/request.h>

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <string>

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

bool isUpperHex(std::string_view text) {
    for (char c : text) {
        if (!isDigit(c) && (c < 'A' || c > 'F')) return false;
    }
    return true;
}

// Decimal digits, at least one.
bool isDigits(std::string_view text) {
    if (text.empty()) return false;
    for (char c : text) {
        if (!isDigit(c)) return false;
    }
    return true;
}

// An integer 0..255.
bool isByte(std::string_view text) {
    return isDigits(text) && text.size() <= 3 && std::stoi(std::string(text)) <= 255;
}

// Empty, or amplitude;duration pairs of decimal integers; a duration may be
// negative.
bool isElementText(std::string_view text) {
    if (text.empty()) return true;
    std::size_t field = 0;
    for (;;) {
        const std::size_t end = std::min(text.find(';'), text.size());
        std::string_view number = text.substr(0, end);
        if (field % 2 == 1 && !number.empty() && number.front() == '-') number.remove_prefix(1);
        if (!isDigits(number)) return false;
        ++field;
        if (end == text.size()) break;
        text.remove_prefix(end + 1);
    }
    return field % 2 == 0;
}

// The number of hex digits a bit count asks for: two per started byte. The
// count is the signed decimal of a 32-bit unsigned value.
std::size_t hexDigitsFor(std::string_view bits) {
    const long long value = std::stoll(std::string(bits));
    const auto count = static_cast<std::uint32_t>(value);
    return 2 * ((static_cast<std::uint64_t>(count) + 7) / 8);
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
        case 'b': matches = !argument.quoted && isByte(argument.text); break;
        case 'q': matches = argument.quoted; break;
        case 'w': matches = argument.quoted && isElementText(argument.text); break;
        case 'h': matches = argument.quoted && isUpperHex(argument.text); break;
        default: break;
        }
        if (!matches) {
            return request.command() + " argument " + std::to_string(i + 1) + " is not of kind " +
                   std::string(1, kind);
        }
        if (kind == 'h') {
            const Argument* bits = i + 1 < request.arguments.size() ? &request.arguments[i + 1] : nullptr;
            if (bits == nullptr || bits->quoted || !isInteger(bits->text) || bits->text.size() > 11) {
                return request.command() + " argument " + std::to_string(i + 1) +
                       " is not followed by its bit count";
            }
            const std::size_t digits = hexDigitsFor(bits->text);
            if (argument.text.size() != digits) {
                return request.command() + " argument " + std::to_string(i + 1) + " has " +
                       std::to_string(argument.text.size()) + " hex digits, " + bits->text + " bits need " +
                       std::to_string(digits);
            }
        }
    }
    return {};
}

} // namespace zrbsim

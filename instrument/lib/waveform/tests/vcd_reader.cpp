#include "vcd_reader.h"

#include <cstdlib>
#include <map>
#include <sstream>
#include <stdexcept>

namespace zrbtest {

namespace {

class Tokens {
  public:
    explicit Tokens(const std::string& text) : in_(text) {}
    bool next(std::string& token) { return static_cast<bool>(in_ >> token); }
    std::string expect(const char* what) {
        std::string token;
        if (!next(token)) throw std::runtime_error(std::string("VCD ends before ") + what);
        return token;
    }
    void expectToken(const std::string& wanted) {
        const std::string token = expect(wanted.c_str());
        if (token != wanted)
            throw std::runtime_error("VCD has '" + token + "' where '" + wanted + "' belongs");
    }

  private:
    std::istringstream in_;
};

std::optional<unsigned> parseValue(const std::string& token) {
    if (token == "bx") return std::nullopt;
    if (token.size() != 9 || token[0] != 'b') throw std::runtime_error("VCD value '" + token + "'");
    unsigned value = 0;
    for (std::size_t i = 1; i < token.size(); ++i) {
        if (token[i] != '0' && token[i] != '1') throw std::runtime_error("VCD value '" + token + "'");
        value = value * 2 + static_cast<unsigned>(token[i] - '0');
    }
    return value;
}

} // namespace

std::ostream& operator<<(std::ostream& out, const VcdChange& change) {
    out << '#' << change.time << ' ' << change.identifier << '(' << change.name << ")=";
    if (change.value)
        out << *change.value;
    else
        out << 'x';
    return out;
}

VcdFile readVcd(const std::string& text) {
    VcdFile file;
    Tokens tokens(text);
    tokens.expectToken("$timescale");
    file.timescale = tokens.expect("the time scale");
    tokens.expectToken("$end");
    std::map<char, std::string> names;
    for (;;) {
        const std::string token = tokens.expect("$enddefinitions");
        if (token == "$enddefinitions") break;
        if (token != "$var") throw std::runtime_error("VCD header token '" + token + "'");
        tokens.expectToken("reg");
        tokens.expectToken("8");
        const std::string identifier = tokens.expect("an identifier");
        if (identifier.size() != 1) throw std::runtime_error("VCD identifier '" + identifier + "'");
        std::string name;
        for (std::string part = tokens.expect("$end"); part != "$end"; part = tokens.expect("$end"))
            name += (name.empty() ? "" : " ") + part;
        names[identifier[0]] = name;
        file.variables.emplace_back(identifier[0], name);
    }
    tokens.expectToken("$end");
    std::string token;
    if (!tokens.next(token)) return file;
    if (token != "$dumpvars") throw std::runtime_error("VCD has '" + token + "' where '$dumpvars' belongs");
    double time = 0.0;
    while (tokens.next(token)) {
        if (token[0] == '#') {
            char* end = nullptr;
            time = std::strtod(token.c_str() + 1, &end);
            if (end == token.c_str() + 1 || *end != '\0')
                throw std::runtime_error("VCD time '" + token + "'");
            continue;
        }
        const std::optional<unsigned> value = parseValue(token);
        const std::string identifier = tokens.expect("the identifier of a value");
        const auto name = names.find(identifier[0]);
        if (identifier.size() != 1 || name == names.end())
            throw std::runtime_error("VCD identifier '" + identifier + "' not declared");
        file.changes.push_back({time, name->second, value, identifier[0]});
    }
    return file;
}

} // namespace zrbtest

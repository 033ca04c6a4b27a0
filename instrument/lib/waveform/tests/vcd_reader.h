// A small reader of the two VCD forms the waveform code writes, for tests: the
// header ($timescale, $var reg 8 <id> <name> $end, $enddefinitions $end,
// $dumpvars) and then time stamps and value changes, all whitespace-separated
// tokens. It returns the value changes in file order.
#ifndef ZRB_TESTS_VCD_READER_H
#define ZRB_TESTS_VCD_READER_H

#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace zrbtest {

struct VcdChange {
    double time;
    std::string name;              // the variable's name from its $var line
    std::optional<unsigned> value; // the 8-bit value; none for "bx"
    char identifier;

    bool operator==(const VcdChange&) const = default;
};

std::ostream& operator<<(std::ostream& out, const VcdChange& change);

struct VcdFile {
    std::string timescale;
    std::vector<std::pair<char, std::string>> variables; // identifier, name, in order
    std::vector<VcdChange> changes;
};

// Reads `text`; throws std::runtime_error, naming the token, on anything outside
// the two forms (unknown identifier, value without identifier, bad bits).
VcdFile readVcd(const std::string& text);

} // namespace zrbtest

#endif

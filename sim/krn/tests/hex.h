// Byte strings written as hex text in the tests: "05 01 65 FD 2D".
#ifndef KRNSIM_TESTS_HEX_H
#define KRNSIM_TESTS_HEX_H

#include <krnsim/frame.h>

#include <cctype>
#include <stdexcept>
#include <string>
#include <string_view>

namespace krnsim::test {

inline Bytes hex(std::string_view text) {
    Bytes bytes;
    int high = -1;
    for (const char c : text) {
        if (std::isspace(static_cast<unsigned char>(c))) continue;
        if (!std::isxdigit(static_cast<unsigned char>(c))) throw std::invalid_argument("not hex");
        const int digit = std::isdigit(static_cast<unsigned char>(c)) ? c - '0' : std::toupper(c) - 'A' + 10;
        if (high < 0) {
            high = digit;
        } else {
            bytes.push_back(static_cast<std::uint8_t>(high << 4 | digit));
            high = -1;
        }
    }
    if (high >= 0) throw std::invalid_argument("odd hex text");
    return bytes;
}

inline std::string toHex(ByteView bytes) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    for (const std::uint8_t byte : bytes) {
        if (!text.empty()) text += ' ';
        text += kDigits[byte >> 4];
        text += kDigits[byte & 15];
    }
    return text;
}

// A request frame with its CRC, for tests where the frame itself is not under test.
inline Bytes request(std::uint8_t command, Bytes data = {}, std::uint8_t address = 1,
                     Form form = Form::Standard) {
    return buildRequest(form, address, command, data);
}

} // namespace krnsim::test

#endif

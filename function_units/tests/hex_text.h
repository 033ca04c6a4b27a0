// Byte strings written as hex text in the tests: "02 1F 02"; spaces are ignored.
#ifndef VKFU_TESTS_HEX_TEXT_H
#define VKFU_TESTS_HEX_TEXT_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vkfu_test {

inline std::vector<std::uint8_t> hex(const std::string& text) {
    std::vector<std::uint8_t> bytes;
    std::string digits;
    for (const char c : text)
        if (c != ' ') digits += c;
    for (std::size_t i = 0; i + 1 < digits.size(); i += 2)
        bytes.push_back(static_cast<std::uint8_t>(std::stoul(digits.substr(i, 2), nullptr, 16)));
    return bytes;
}

inline std::string toHex(const unsigned char* bytes, std::size_t length) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    for (std::size_t i = 0; i < length; ++i) {
        if (!text.empty()) text += ' ';
        text += kDigits[bytes[i] >> 4];
        text += kDigits[bytes[i] & 15];
    }
    return text;
}

inline std::string toHex(const std::vector<std::uint8_t>& bytes) {
    return toHex(bytes.data(), bytes.size());
}

} // namespace vkfu_test

#endif

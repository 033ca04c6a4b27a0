#include "request_line.h"

#include "hex_text.h"

#include <charconv>
#include <cstddef>
#include <system_error>

namespace zrb {

RequestLine::RequestLine(std::string_view group, std::string_view name) {
    line_.reserve(64);
    line_.append("ZRB:").append(group).append(":").append(name).append(" ");
}

void RequestLine::separate() {
    if (!first_) line_.push_back(',');
    first_ = false;
}

RequestLine& RequestLine::integer(int value) {
    separate();
    char digits[16];
    const auto result = std::to_chars(digits, digits + sizeof digits, value);
    line_.append(digits, result.ptr);
    return *this;
}

RequestLine& RequestLine::byte(std::uint8_t value) {
    return integer(value);
}

RequestLine& RequestLine::real(double value) {
    separate();
    line_.append(formatReal(value));
    return *this;
}

RequestLine& RequestLine::text(std::string_view text) {
    if (text.find_first_of("\r\n") != std::string_view::npos) sendable_ = false;
    separate();
    line_.push_back('"');
    line_.append(text);
    line_.push_back('"');
    return *this;
}

RequestLine& RequestLine::hexBits(const std::uint8_t* data, unsigned bits) {
    const std::uint64_t bytes = (static_cast<std::uint64_t>(bits) + 7) / 8;
    separate();
    line_.push_back('"');
    line_.append(bin2str(data, static_cast<std::size_t>(bytes)));
    line_.push_back('"');
    return integer(static_cast<int>(bits));
}

std::string RequestLine::finish() const {
    return line_ + "\r\n";
}

std::string formatReal(double value) {
    char buffer[64];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific, 12);
    std::string text(buffer, result.ptr);
    const std::size_t e = text.find('e');
    if (e == std::string::npos) return text; // inf, nan
    // "e+03" -> "e+003": the exponent has at least three digits.
    const std::size_t digits = text.size() - (e + 2);
    if (digits < 3) text.insert(e + 2, 3 - digits, '0');
    return text;
}

} // namespace zrb

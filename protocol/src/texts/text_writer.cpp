#include "texts/text_writer.h"

#include <charconv>
#include <cstring>

namespace vkkrn {

void TextWriter::put(std::string_view text) {
    const std::size_t room = capacity_ - 1 - size_;
    std::size_t n = text.size();
    if (n > room) {
        n = room;
        cut_ = true;
    }
    std::memcpy(buffer_ + size_, text.data(), n);
    size_ += n;
    buffer_[size_] = '\0';
}

void TextWriter::putInt(int value) {
    char digits[16];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    put({digits, static_cast<std::size_t>(end - digits)});
}

void TextWriter::putHexByte(std::uint8_t byte) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    const char text[3] = {kDigits[byte >> 4], kDigits[byte & 0x0F], ' '};
    put({text, 3});
}

} // namespace vkkrn

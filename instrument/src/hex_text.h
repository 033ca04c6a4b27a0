// Byte data as hex text, the form it takes in requests and replies.
#ifndef ZRB_HEX_TEXT_H
#define ZRB_HEX_TEXT_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace zrb {

// Two upper-case hex digits per byte.
std::string bin2str(const std::uint8_t* bytes, std::size_t count);

// Writes the bytes of a hex text into dest (at most `size` bytes); an odd digit
// count leaves the low half of the last byte zero. Returns false, with an ERROR
// record on "ZRB_CLIENT", when a digit would land past `size` or a character is
// not a hex digit; bytes written before that stay.
bool str2bin(std::uint8_t* dest, unsigned size, std::string_view text);

} // namespace zrb

#endif

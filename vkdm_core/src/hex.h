// Hex text of the core's values, on the reader protocol library's codec.
#ifndef VKDM_HEX_H
#define VKDM_HEX_H

#include <cstdint>
#include <string>
#include <vector>

namespace vkdm {

// "%02X" per byte.
std::string hexText(const std::uint8_t* data, std::size_t count);
// Two hex digits of either case per byte; kBadIdentifier for an odd length or
// another character.
int hexBytes(const char* text, std::size_t length, std::vector<std::uint8_t>& out);
// The reply data of a reader command given as hex text with a NUL in `buffer`;
// empty when the text is not hex.
std::vector<std::uint8_t> hexReply(const std::vector<unsigned char>& buffer);

} // namespace vkdm

#endif

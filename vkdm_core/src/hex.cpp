#include "hex.h"

#include "codes.h"

#include <vkkrn_codec/hex.h>

#include <cstring>

namespace vkdm {

std::string hexText(const std::uint8_t* data, std::size_t count) {
    std::string text(2 * count + 1, '\0');
    const auto n = vkkrn::codec::encodeHex({data, count}, std::span<char>(text.data(), text.size()));
    text.resize(n.value_or(0));
    return text;
}

int hexBytes(const char* text, std::size_t length, std::vector<std::uint8_t>& out) {
    out.assign(length / 2, 0);
    const auto n = vkkrn::codec::decodeHex({reinterpret_cast<const std::uint8_t*>(text), length}, out);
    if (!n) return kBadIdentifier;
    out.resize(*n);
    return 0;
}

std::vector<std::uint8_t> hexReply(const std::vector<unsigned char>& buffer) {
    const char* text = reinterpret_cast<const char*>(buffer.data());
    std::vector<std::uint8_t> data;
    if (hexBytes(text, ::strnlen(text, buffer.size()), data) < 0) data.clear();
    return data;
}

} // namespace vkdm

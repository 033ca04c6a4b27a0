#include "vkkrn_codec/hex.h"

#include <vkcommon/hex_digit.h>

namespace vkkrn::codec {

namespace {

template <typename Char>
std::optional<std::size_t> encode(std::span<const std::uint8_t> bytes, std::span<Char> out) {
    if (out.size() < 2 * bytes.size() + 1) return std::nullopt;
    // Written back to front so that `out` may start where `bytes` does.
    std::size_t i = bytes.size();
    out[2 * i] = 0;
    while (i-- > 0) {
        const std::uint8_t b = bytes[i];
        out[2 * i + 1] = static_cast<Char>(kHexDigits[b & 0x0F]);
        out[2 * i] = static_cast<Char>(kHexDigits[b >> 4]);
    }
    return 2 * bytes.size();
}

} // namespace

std::optional<std::size_t> decodeHex(std::span<const std::uint8_t> text,
                                     std::span<std::uint8_t> out) noexcept {
    if (text.size() % 2 != 0) return std::nullopt;
    const std::size_t n = text.size() / 2;
    if (out.size() < n) return std::nullopt;
    for (std::size_t i = 0; i < n; ++i) {
        // A bad first digit stops before its pair partner is read: a text may end
        // (NUL) there.
        const int high = vk::hexDigitValue(text[2 * i]);
        if (high < 0) return std::nullopt;
        const int low = vk::hexDigitValue(text[2 * i + 1]);
        if (low < 0) return std::nullopt;
        out[i] = static_cast<std::uint8_t>(high << 4 | low);
    }
    return n;
}

std::optional<std::size_t> encodeHex(std::span<const std::uint8_t> bytes, std::span<char> out) noexcept {
    return encode(bytes, out);
}

std::optional<std::size_t> encodeHex(std::span<const std::uint8_t> bytes,
                                     std::span<std::uint8_t> out) noexcept {
    return encode(bytes, out);
}

} // namespace vkkrn::codec

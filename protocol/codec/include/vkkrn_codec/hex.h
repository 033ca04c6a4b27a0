// Hex text of byte data: two characters per byte. Reading is strict (every pair
// two hex digits of either case, even length); writing is "%02X" per byte and a
// closing NUL. Callers choose the error code a refused text gives.
#ifndef VKKRN_CODEC_HEX_H
#define VKKRN_CODEC_HEX_H

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include <vkcommon/hex_digit.h>

namespace vkkrn::codec {

// Decodes `text` into `out`. Nothing when the length is odd, a pair is not two
// hex digits, or `out` is too small; `out` may then hold a partial result.
// `out` may be `text` itself (decoding never overtakes reading).
std::optional<std::size_t> decodeHex(std::span<const std::uint8_t> text,
                                     std::span<std::uint8_t> out) noexcept;

// Decodes the hex text of a command request: pairs of hex digits of either
// case, where an odd last digit stands alone for its own value ("123" gives 12
// 03). Nothing when a character is not a hex digit or `out` cannot hold
// (size + 1) / 2 bytes. `out` may be `text` itself.
std::optional<std::size_t> decodeHexRequest(std::span<const std::uint8_t> text,
                                            std::span<std::uint8_t> out) noexcept;

// Writes "%02X" per byte and a NUL; returns the characters written before the
// NUL, or nothing (and writes nothing) when `out` cannot hold 2n + 1.
std::optional<std::size_t> encodeHex(std::span<const std::uint8_t> bytes, std::span<char> out) noexcept;
std::optional<std::size_t> encodeHex(std::span<const std::uint8_t> bytes,
                                     std::span<std::uint8_t> out) noexcept;

using vk::kHexDigits;

} // namespace vkkrn::codec

#endif

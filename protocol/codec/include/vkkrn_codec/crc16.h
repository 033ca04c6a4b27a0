// CRC16 of the host protocol: reflected polynomial 0x8408, preset 0xFFFF, no
// final inversion, bytes least significant bit first. Run over a whole frame
// including its two CRC bytes (low byte first) it gives 0.
#ifndef VKKRN_CODEC_CRC16_H
#define VKKRN_CODEC_CRC16_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace vkkrn::codec {

inline constexpr std::uint16_t kCrcPolynomial = 0x8408;
inline constexpr std::uint16_t kCrcPreset = 0xFFFF;

// Slicing-by-8 tables: slice 0 is the usual byte table of the polynomial (entry
// i is i shifted right eight times, XOR the polynomial after each shift that
// drops a set bit); slice k is the effect of a byte followed by k zero bytes.
// Entries are 32 bits wide so that a lookup is one plain load.
using CrcTables = std::array<std::array<std::uint32_t, 256>, 8>;

constexpr CrcTables makeCrcTables() {
    CrcTables tables{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t reg = i;
        for (int bit = 0; bit < 8; ++bit)
            reg = (reg & 1u) ? (reg >> 1) ^ kCrcPolynomial : reg >> 1;
        tables[0][i] = reg;
    }
    for (std::size_t slice = 1; slice < tables.size(); ++slice) {
        for (std::size_t i = 0; i < 256; ++i) {
            const std::uint32_t prev = tables[slice - 1][i];
            tables[slice][i] = (prev >> 8) ^ tables[0][prev & 0xFFu];
        }
    }
    return tables;
}

inline constexpr CrcTables kCrcTables = makeCrcTables();

static_assert(kCrcTables[0][1] == 0x1189 && kCrcTables[0][128] == 0x8408);

// The register after running `data` through it from `preset`; any alignment,
// any length.
std::uint16_t crc16(std::span<const std::uint8_t> data, std::uint16_t preset = kCrcPreset) noexcept;

// The same computation one bit at a time with any reflected polynomial and
// preset, both taken as 16 bits.
std::uint16_t crc16Bitwise(std::span<const std::uint8_t> data, std::uint16_t polynomial,
                           std::uint16_t preset) noexcept;

// High and low byte exchanged.
constexpr std::uint16_t swapBytes(std::uint16_t value) {
    return static_cast<std::uint16_t>((value >> 8) | (value << 8));
}

} // namespace vkkrn::codec

#endif

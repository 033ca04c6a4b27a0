#include "vkkrn_codec/crc16.h"

namespace vkkrn::codec {

namespace {

inline std::uint32_t loadLittle32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

} // namespace

std::uint16_t crc16(std::span<const std::uint8_t> data, std::uint16_t preset) noexcept {
    const auto& t = kCrcTables;
    std::uint32_t reg = preset;
    const std::uint8_t* p = data.data();
    std::size_t n = data.size();
    while (n >= 8) {
        const std::uint32_t a = loadLittle32(p) ^ reg;
        const std::uint32_t b = loadLittle32(p + 4);
        reg = t[7][a & 0xFFu] ^ t[6][(a >> 8) & 0xFFu] ^ t[5][(a >> 16) & 0xFFu] ^ t[4][a >> 24] ^
              t[3][b & 0xFFu] ^ t[2][(b >> 8) & 0xFFu] ^ t[1][(b >> 16) & 0xFFu] ^ t[0][b >> 24];
        p += 8;
        n -= 8;
    }
    while (n-- > 0)
        reg = (reg >> 8) ^ t[0][(reg ^ *p++) & 0xFFu];
    return static_cast<std::uint16_t>(reg);
}

std::uint16_t crc16Bitwise(std::span<const std::uint8_t> data, std::uint16_t polynomial,
                           std::uint16_t preset) noexcept {
    std::uint16_t reg = preset;
    for (const std::uint8_t byte : data) {
        reg ^= byte;
        for (int bit = 0; bit < 8; ++bit) {
            const bool out = (reg & 1u) != 0;
            reg = static_cast<std::uint16_t>(reg >> 1);
            if (out) reg ^= polynomial;
        }
    }
    return reg;
}

} // namespace vkkrn::codec

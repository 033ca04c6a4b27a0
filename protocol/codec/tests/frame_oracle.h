// Frames written out by hand for the tests, closed with a CRC computed bit by bit
// here, independently of the codec under test.
#ifndef VKKRN_CODEC_TESTS_FRAME_ORACLE_H
#define VKKRN_CODEC_TESTS_FRAME_ORACLE_H

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vkkrn::codec::testing {

using Bytes = std::vector<std::uint8_t>;

inline std::uint16_t referenceCrc(const std::uint8_t* data, std::size_t n, std::uint16_t reg = 0xFFFF) {
    for (std::size_t i = 0; i < n; ++i) {
        reg ^= data[i];
        for (int bit = 0; bit < 8; ++bit)
            reg = (reg & 1) ? static_cast<std::uint16_t>((reg >> 1) ^ 0x8408)
                            : static_cast<std::uint16_t>(reg >> 1);
    }
    return reg;
}

// `body` followed by its CRC, low byte first.
inline Bytes closed(Bytes body) {
    const std::uint16_t crc = referenceCrc(body.data(), body.size());
    body.push_back(static_cast<std::uint8_t>(crc));
    body.push_back(static_cast<std::uint8_t>(crc >> 8));
    return body;
}

inline Bytes pattern(std::size_t n, std::uint8_t seed = 1) {
    Bytes data(n);
    for (std::size_t i = 0; i < n; ++i)
        data[i] = static_cast<std::uint8_t>(seed + i * 7);
    return data;
}

inline Bytes concat(Bytes head, const Bytes& tail) {
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

inline Bytes standardRequest(std::uint8_t adr, std::uint8_t cmd, const Bytes& data) {
    return closed(concat({static_cast<std::uint8_t>(data.size() + 5), adr, cmd}, data));
}

inline Bytes advancedRequest(std::uint8_t adr, std::uint8_t cmd, const Bytes& data) {
    const std::size_t len = data.size() + 7;
    return closed(
        concat({0x02, static_cast<std::uint8_t>(len >> 8), static_cast<std::uint8_t>(len), adr, cmd}, data));
}

inline Bytes standardReply(std::uint8_t adr, std::uint8_t cmd, std::uint8_t status, const Bytes& data) {
    return closed(concat({static_cast<std::uint8_t>(data.size() + 6), adr, cmd, status}, data));
}

inline Bytes advancedReply(std::uint8_t adr, std::uint8_t cmd, std::uint8_t status, const Bytes& data) {
    const std::size_t len = data.size() + 8;
    return closed(concat(
        {0x02, static_cast<std::uint8_t>(len >> 8), static_cast<std::uint8_t>(len), adr, cmd, status}, data));
}

} // namespace vkkrn::codec::testing

#endif

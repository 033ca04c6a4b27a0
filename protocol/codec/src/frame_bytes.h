// Small byte helpers the frame code shares.
#ifndef VKKRN_CODEC_FRAME_BYTES_H
#define VKKRN_CODEC_FRAME_BYTES_H

#include "vkkrn_codec/crc16.h"

#include <cstddef>
#include <cstdint>
#include <span>

namespace vkkrn::codec {

inline std::size_t readBigEndian16(const std::uint8_t* p) {
    return static_cast<std::size_t>(p[0]) << 8 | p[1];
}

// Fills the last two bytes of `frame` with the CRC over the bytes before them,
// low byte first.
inline void putCrc(std::span<std::uint8_t> frame) {
    const std::size_t covered = frame.size() - 2;
    const std::uint16_t crc = crc16(frame.first(covered));
    frame[covered] = static_cast<std::uint8_t>(crc);
    frame[covered + 1] = static_cast<std::uint8_t>(crc >> 8);
}

// The CRC over a whole frame, its CRC bytes included, gives 0.
inline bool hasValidCrc(std::span<const std::uint8_t> frame) {
    return crc16(frame) == 0;
}

} // namespace vkkrn::codec

#endif

// Host-protocol reply frames as a simulated reader sends them, built by the
// simulator's own code: standard [length][bus address][command][status][data]
// [CRC16 low][CRC16 high] and advanced [0x02][length high][length low][bus
// address][command][status][data][CRC16 low][CRC16 high].
#ifndef VKSIM_HOST_FRAME_H
#define VKSIM_HOST_FRAME_H

#include <vksim/peer_script.h>

#include <cstdint>

namespace vksim {

// CRC16, reflected polynomial 0x8408, preset 0xFFFF, no final inversion.
std::uint16_t hostCrc16(const std::uint8_t* data, std::size_t length);

// A standard reply with `dataLength` data bytes (at most 249).
Bytes standardReply(std::uint8_t busAddress, std::uint8_t command, std::uint8_t status, const Bytes& data);
// An advanced reply.
Bytes advancedReply(std::uint8_t busAddress, std::uint8_t command, std::uint8_t status, const Bytes& data);

} // namespace vksim

#endif

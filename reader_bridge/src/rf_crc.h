// CRC_A and CRC_B of ISO/IEC 14443-3, computed byte by byte as ISO/IEC 13239
// describes: polynomial x^16 + x^12 + x^5 + 1 in reflected form, least
// significant bit first. The protocol routines leave CRCs to the readers; these
// are offered to callers that build or check frames themselves.
#ifndef KESTOREADER_RF_CRC_H
#define KESTOREADER_RF_CRC_H

#include "rf_reader_base.h"

#include <cstdint>

namespace vemlasdknative {

// One byte step of the CRC.
std::uint16_t Update_CRC_ISO13239(byte_t byte, std::uint16_t crc);
// CRC_A: preset 0x6363, no final inversion. A null or empty range (length 0
// or less) gives the preset.
std::uint16_t Compute_CRC_ISO14443_A(const byte_t* data, int length);
// CRC_B: preset 0xFFFF, result inverted. A null or empty range gives 0x0000.
std::uint16_t Compute_CRC_ISO14443_B(const byte_t* data, int length);
// The CRC of the chosen type into out[0] (low byte) and out[1] (high byte).
void ComputeCrc(bool typeB, const byte_t* data, int length, byte_t* out);
// 0 when `length` is at least 2 and the last two bytes are the CRC of the
// others, low byte first; 1 otherwise (a null range included).
int CheckCrc(bool typeB, const byte_t* data, int length);

} // namespace vemlasdknative

#endif

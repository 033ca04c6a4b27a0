// ISO 15693 (vicinity cards) on the current reader: the CRC constants and the
// check of a received frame's CRC.
#ifndef KESTOREADER_ISO15693_PCD_H
#define KESTOREADER_ISO15693_PCD_H

#include "rf_reader_base.h"

#include <cstdint>

namespace vemlasdknative {

class Iso15693Commands {
  public:
    enum Iso15693Error : int {
        kSuccessCode = 0,
        kDefaultError = 241,
        kRequestFlag = 242,
        kParameterLength = 243,
        kCrcResidue = 244,
        kNotagFound = 245,
        kCollisionDetected = 246,
    };

    // The CRC of ISO/IEC 13239 as ISO 15693 uses it: the register starts at
    // the preset, takes each byte into its low end and shifts right, XORed
    // with the reflected polynomial whenever the bit shifted out is 1. A frame
    // carries the register's ones' complement, low byte first; run over a
    // frame and its CRC, the register ends at the residue.
    static constexpr std::int32_t kPreloadCrc16 = 0xFFFF;
    static constexpr std::int32_t kPolyCrc16 = 0x8408;
    static constexpr std::int32_t kMaskCrc16 = 0x0001;
    static constexpr std::int32_t kResidueCrc16 = 0xF0B8;

    // kSuccessCode when `length` bytes (data and received CRC) leave the
    // residue in the register; kDefaultError otherwise, and for no bytes.
    int Iso15693IsCorrectCRC16Residue(const byte_t* data, int length) const;
};

} // namespace vemlasdknative

#endif

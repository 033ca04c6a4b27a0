// The PCD adaptor: the few reader operations the protocol routines need, run on
// the current reader (`handle`) whichever it is.
//
// Frames follow the dongle's convention: sent with flag 0, a frame ends with its
// own flag byte (low 4 bits: valid bits of the last data byte; 0x40: that byte
// is split); a non-zero flag (0x28: the reader appends the CRC, 8 valid bits) is
// appended by the reader.
#ifndef KESTOREADER_LIB_PCD_H
#define KESTOREADER_LIB_PCD_H

#include "rf_reader_base.h"

#include <cstdint>

namespace vemlasdknative {

// PCD status codes (also the results of the dongle's answer classification).
inline constexpr byte_t PCD_OK = 0x00;
inline constexpr byte_t PCD_ERROR = 0x21;        // no reader, reader error, bad answer
inline constexpr byte_t PCD_DONGLE_ERROR = 0x23; // the answer's first byte was 0x21 (dongle only)
inline constexpr byte_t PCD_COLLISION = 0x28;    // the reader saw a bit collision
inline constexpr byte_t PCD_ACK = 0x29;          // 4-bit acknowledge
inline constexpr byte_t PCD_NACK = 0x30;         // 4-bit negative acknowledge

// Transmission flags the routines use.
inline constexpr byte_t PCD_FLAG_IN_FRAME = 0x00; // the frame's last byte is its flag
inline constexpr byte_t PCD_FLAG_CRC = 0x28;      // reader appends the CRC, 8 valid bits

// Sends `length` frame bytes with `flag` and receives the answer into `rx`,
// which holds `rxCapacity` bytes: at most that many are copied, and their count
// goes to `rxLength` (when given). The answer is copied whatever the status, a
// collision's partial answer included. Result: PCD_OK, PCD_COLLISION, PCD_ACK,
// PCD_NACK for those reader statuses, PCD_ERROR for any other and without a
// current reader.
byte_t PCD_SendRecv(byte_t length, const byte_t* tx, byte_t* rx, int rxCapacity, int* rxLength, byte_t flag);
// The same with flag 0.
byte_t PCD_SendRecv(byte_t length, const byte_t* tx, byte_t* rx, int rxCapacity, int* rxLength);
byte_t PCD_SendRecv(byte_t length, const byte_t* tx, byte_t* rx, int rxCapacity);

// The reader's end of frame (next ISO 15693 slot); answer copied as above.
// Result PCD_OK, PCD_COLLISION, or PCD_ERROR for anything else.
byte_t PCD_SendEof(byte_t* rx, int rxCapacity, int* rxLength);

// The position of the last collision as the reader reports it and the reader's
// result; PCD_ERROR without a reader, nothing written.
std::int8_t PCD_GetCollisionPostion(std::uint8_t* bytePos, std::uint8_t* bitPos);

// The reader's transmit and receive maxima; 0 without a reader.
int PCD_GetMaxTxLength();
int PCD_GetMaxRxLength();

} // namespace vemlasdknative

#endif

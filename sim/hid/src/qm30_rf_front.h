// The transceiver's radio: frames in the dongle's encoding go through the tag
// field in the protocol the last select chose, and what the tags answer comes
// back in the transceiver's answer layouts.
//
// - ISO 14443-A: the frame's last byte is its transmission flag (0x20 append
//   CRC_A, low nibble the valid bits of the last byte, 0x40 split: a nibble of
//   0 then means the split byte carries no bit). Answer: the bytes on air (the
//   tag's CRC included), then S1 (0x80 on a collision), S2 (byte) and S3 (bit
//   of the collision); 0x90 when the last byte is partial, so a 4-bit answer
//   reads {0x90, 4, value, ...}.
// - ISO 14443-B: the frame as it is, CRC_B appended when the select asked for
//   it. Answer: the bytes on air (the tag's CRC_B included), then a status
//   byte 0x00. Overlapping answers break the character framing: 0x8A.
// - ISO 15693: the same with the CRC of ISO/IEC 13239; an empty frame is an
//   end of frame. Answer: the bytes on air (the tag's CRC included), then a
//   status byte, 0x03 on a collision, else 0x00.
//
// Answers of 256 bytes and more carry 0xA0 (from 256) or 0xC0 (from 512) with
// the length byte counting from there; an answer longer than the transfer can
// carry gives 0x89. No answer, the field off or a frame the protocol cannot
// send: 0x87.
#ifndef QM30SIM_QM30_RF_FRONT_H
#define QM30SIM_QM30_RF_FRONT_H

#include <qm30sim/qm30_model.h>
#include <rfsim/field.h>

#include <cstdint>
#include <vector>

namespace qm30sim {

class RfFront {
  public:
    // A protocol select's payload {protocol, parameters...}. Field off
    // (protocol 0) powers the tags down.
    void select(const std::vector<std::uint8_t>& payload);
    // One frame; `room` is the most payload bytes the transfer can carry back.
    FrameAnswer exchange(const std::vector<std::uint8_t>& frame, std::size_t room);

    rfsim::Field& field() { return field_; }

  private:
    FrameAnswer typeA(const std::vector<std::uint8_t>& frame, std::size_t room);
    FrameAnswer typeB(const std::vector<std::uint8_t>& frame, std::size_t room);
    FrameAnswer vicinity(const std::vector<std::uint8_t>& frame, std::size_t room);

    rfsim::Field field_;
    std::uint8_t protocol_ = 0;
    bool appendCrc_ = false;
};

} // namespace qm30sim

#endif

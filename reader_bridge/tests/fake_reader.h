// A reader over the tag field, in the dongle's frame convention: sent with flag
// 0, a frame's last byte is its flag (low nibble: valid bits of the last data
// byte, 1 to 8; 0x40: split, where a nibble of 0 means the split byte carries
// no bit; 0x20: CRC); a non-zero flag is appended as the dongle does. It reports collisions through
// GetCollisionPos, logs every frame with its flag, and on demand fails an
// exchange, answers acknowledges, keeps reporting a collision or writes
// nothing in GetCollisionPos (as the boards do). Answers queued in `script`
// are served ahead of the field.
//
// With `selected_protocol` ISO 15693 or ISO 14443-B, frames go as they are (the
// flag is logged, not used) and the reader appends its CRC (CRC of ISO/IEC
// 13239), then checks and removes the tag's: a bad one gives CRC_ERROR with the
// bytes. An ISO 15693 collision gives COLLISION_DETECTED with the bytes as
// heard; overlapping type B answers DEFAULT_ERROR, as a broken character
// framing does. SendEof sends the ISO 15693 end of frame, logged as an empty
// frame with flag 0; it counts as an exchange for the faults and the script.
#ifndef KESTOREADER_TESTS_FAKE_READER_H
#define KESTOREADER_TESTS_FAKE_READER_H

#include "scripted_reader.h"

#include <rfsim/field.h>

#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

namespace kestoreader_test {

class FakeReader : public ScriptedReader {
  public:
    struct Sent {
        Bytes frame; // as handed to Transceive
        byte_t flag; // 0: the frame's last byte is its flag
        bool operator==(const Sent&) const = default;
    };
    struct Scripted {
        ReaderStatus status = TRANSFER_OK;
        Bytes answer;
        std::uint8_t byte = 0; // collision position reported afterwards
        std::uint8_t bit = 0;
    };

    rfsim::Field field;
    std::vector<Sent> log;
    std::deque<Scripted> script;

    // Faults, counted in exchanges from 1.
    int failNth = 0;                // this exchange fails (DEFAULT_ERROR, nothing on air)
    int acknowledgeFrom = 0;        // from this exchange on, every answer is `acknowledge`
    ReaderStatus acknowledge = ACK; // ACK (rx {0x0A}) or NACK (rx {0x05})
    // Every exchange reports a collision at this position, silence included (no bytes).
    std::optional<std::pair<std::uint8_t, std::uint8_t>> endlessCollision;
    bool silentCollisionPos = false; // GetCollisionPos writes nothing

    // The board readers' maxima in place of the dongle's 500/500.
    void boardMaxima() {
        maxTransmit = 268;
        maxReceive = 260;
    }

    ReaderStatus Transceive(const Buffer& tx, Buffer* rx) override { return Transceive(tx, 0x28, rx); }
    ReaderStatus Transceive(const Buffer& tx, byte_t pcd, Buffer* rx) override;
    ReaderStatus SendEof(Buffer* rx) override;
    std::int8_t GetCollisionPos(std::uint8_t* bytePos, std::uint8_t* bitPos) override;

  private:
    ReaderStatus answer(const Bytes& bytes, ReaderStatus status, Buffer* rx);
    // The faults and the script for one exchange; nothing when the field answers.
    std::optional<ReaderStatus> served(const Bytes& sent, byte_t flag, Buffer* rx);
    ReaderStatus typeA(const Bytes& sent, byte_t pcd, Buffer* rx);
    // ISO 15693 and ISO 14443-B, whose frames carry no flag byte.
    ReaderStatus byteFrame(const Bytes& sent, rfsim::Protocol protocol, Buffer* rx);

    int exchanges_ = 0;
    std::uint8_t collisionByte_ = 0;
    std::uint8_t collisionBit_ = 0;
};

} // namespace kestoreader_test

#endif

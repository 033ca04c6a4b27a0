// The RF field of a reader with the tags in it, seen from the tags' side.
//
// A reader front (a test double of a reader, a dongle model, a stand-in board
// library) turns its own frame encoding into a `Frame` and hands it to
// `Field::exchange`. Every tag in the field hears the frame as it goes on air
// (with the CRC the reader appends) and answers or keeps silent; the answers
// of several tags combine bit by bit as they would at the reader's receiver.
//
// Bits are sent least significant bit first: bit i of a bit string is bit
// (i % 8) of byte (i / 8). Tags send their own CRC as part of their answer.
// One thread at a time.
#ifndef RFSIM_FIELD_H
#define RFSIM_FIELD_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

namespace rfsim {

using Bytes = std::vector<std::uint8_t>;

// The air interface a frame travels on. A tag hears only the frames of its own
// protocol; the reader's CRC is CRC_A for ISO 14443-A and the CRC of ISO/IEC
// 13239 for ISO 14443-B and ISO 15693.
enum class Protocol { Iso14443A, Iso14443B, Iso15693 };

// A bit string: whole bytes, of which the last carries `lastBits` (1 to 8)
// valid bits in its low bits.
struct Bits {
    Bytes bytes;
    int lastBits = 8;

    std::size_t bitCount() const;
    bool operator==(const Bits&) const = default;
};

// A frame from the reader. With `appendCrc` the reader sends its protocol's
// CRC after the bytes (only after whole bytes: `lastBits` must then be 8). An
// ISO 15693 frame without bytes is an end of frame alone, which opens the next
// inventory slot: its tags hear an empty bit string.
struct Frame {
    Bytes bytes;
    int lastBits = 8;
    bool appendCrc = false;
    Protocol protocol = Protocol::Iso14443A;
};

// Where the first bit two tags disagreed on sits in an answer.
struct Collision {
    std::size_t byte = 0;
    int bit = 0;
    bool operator==(const Collision&) const = default;
};

// What the reader receives: the bits of the answers on air (a CRC the tags
// sent is part of the bytes) and the first collision, if any. At the collision
// the combined answer reads 1 and every later bit reads 0.
struct Answer {
    Bytes bytes;
    int lastBits = 8;
    std::optional<Collision> collision;
};

// One tag. It hears every frame of its protocol the reader sends (as on air)
// and answers with a bit string or keeps silent.
class Tag {
  public:
    virtual ~Tag() = default;
    virtual Protocol protocol() const = 0;
    virtual std::optional<Bits> hear(const Bits& air) = 0;
    // The field went off: the tag loses power and forgets its state.
    virtual void powerOff() = 0;
};

class Field {
  public:
    // Places a tag in the field; the field owns it. Returns the tag for the test.
    template <class T> T& add(std::unique_ptr<T> tag) {
        T& placed = *tag;
        tags_.push_back(std::move(tag));
        return placed;
    }
    // Takes a tag out of the field (it hears nothing more).
    void remove(const Tag& tag);
    std::size_t size() const { return tags_.size(); }

    // Sends one frame to the tags of its protocol. Nothing comes back (silence)
    // when no tag answers, and for a frame no reader can send: no bytes (but an
    // ISO 15693 end of frame), `lastBits` outside 1 to 8, or a CRC after a
    // partial byte or with no bytes.
    std::optional<Answer> exchange(const Frame& frame);
    // Switches the field off: every tag loses power.
    void switchOff();

  private:
    std::vector<std::unique_ptr<Tag>> tags_;
};

// Bits of several answers combined as the receiver sees them: where the tags
// that still send disagree, the first such bit is the collision; it reads 1
// and later bits 0. The answer is as long as the longest one.
Answer combine(std::span<const Bits> answers);

// CRC_A of ISO/IEC 14443-3: preset 0x6363, no inversion.
std::uint16_t crcA(std::span<const std::uint8_t> bytes);
// The CRC of ISO/IEC 13239 that ISO 14443-B (CRC_B) and ISO 15693 send:
// preset 0xFFFF, inverted.
std::uint16_t crcB(std::span<const std::uint8_t> bytes);
// The bytes followed by their protocol's CRC, low byte first.
Bytes withCrc(Protocol protocol, Bytes bytes);
// Whether a frame of whole bytes ends with a correct CRC of its protocol (at
// least one byte before it).
bool endsWithCrc(Protocol protocol, const Bits& air);
// The same for ISO 14443-A.
Bytes withCrcA(Bytes bytes);
bool endsWithCrcA(const Bits& air);

} // namespace rfsim

#endif

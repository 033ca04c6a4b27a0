// The reader's side of the authenticated channel: the 0xAE handshake's
// arithmetic and the AES output-feedback chaining of the channel. It repeats the
// host library's chaining, rotations and channel key on purpose, from the
// reader's point of view, so that a fault on one side is not mirrored on the
// other.
//
// Chaining: every call starts a fresh keystream block from the running vector;
// per 16 bytes (or the part left) block = AES(key, vector), vector = block,
// out = in XOR block. One vector serves both directions.
#ifndef KRNSIM_AUTHENTICATION_H
#define KRNSIM_AUTHENTICATION_H

#include <krnsim/aes.h>

#include <optional>

namespace krnsim {

// The vector every keying of the channel starts from, as the reader's firmware
// holds it (`Reader::setChannelVector` changes the reader's copy).
inline constexpr AesBlock kDefaultChannelVector = {0x4B, 0x9E, 0x27, 0xD1, 0x6C, 0x03, 0xF8, 0x5A,
                                                   0xB4, 0x71, 0x1D, 0xE6, 0x38, 0xC2, 0x8F, 0x65};

inline constexpr std::size_t kAuthRandomSize = 32;
// Status of a refused authentication step.
inline constexpr std::uint8_t kAuthRefused = 0x12;

class ChannelCipher {
  public:
    ChannelCipher(ByteView key, const AesBlock& vector) : aes_(key), vector_(vector) {}
    // One call of the stream: in.size() bytes into out.
    void apply(ByteView in, std::uint8_t* out);
    Bytes apply(ByteView in) {
        Bytes out(in.size());
        apply(in, out.data());
        return out;
    }

  private:
    Aes aes_;
    AesBlock vector_;
};

// Key length of an authentication key type (0, 1, 2), 0 for any other.
constexpr std::size_t authKeySize(std::uint8_t keyType) {
    return keyType <= 2 ? 16u + 8u * keyType : 0u;
}
// Byte 0 moves to the end.
Bytes rotateLeft(ByteView value);
// The last byte moves to the front.
Bytes rotateRight(ByteView value);
// 4-byte pieces at offsets 0, 12, 20, 28 of the initiator's (host's) and the
// responder's (reader's) value in turn, initiator first, as many as the key type needs.
Bytes channelKey(ByteView initiator, ByteView responder, std::uint8_t keyType);

// A deliberate fault in the reader's answer to one authentication step.
enum class AuthFault : std::uint8_t {
    WrongMarker, // the other step's marker byte
    WrongProof,  // step 2: the proof's first byte changed before enciphering
    ShortReply,  // the reply's last byte left out
};

// The authentication state of one connection: a handshake under way, or the
// channel it opened. Lives as long as the connection.
struct AuthSession {
    std::uint8_t keyType = 0;
    Bytes responderRandom;
    std::optional<ChannelCipher> handshake;
    std::optional<ChannelCipher> channel;
};

} // namespace krnsim

#endif

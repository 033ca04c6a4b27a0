// The arithmetic of the authentication handshake: one-byte rotations of the
// 32-byte random values and the channel key made from both. Pure functions,
// shared by the reader authentication and the notification listener.
#ifndef VKKRN_CHANNEL_KEY_H
#define VKKRN_CHANNEL_KEY_H

#include <cstddef>
#include <cstdint>

namespace vkkrn::channel {

inline constexpr std::size_t kRandomSize = 32;
inline constexpr std::size_t kMaxKeySize = 32;

// The key length of an authentication key type (0 AES-128, 1 AES-192, 2 AES-256),
// 0 for any other.
constexpr std::size_t keySize(unsigned keyType) {
    return keyType <= 2 ? 16 + 8 * static_cast<std::size_t>(keyType) : 0;
}

// Byte 0 moves to the end: out = in[1..31], in[0]. `out` may not be `in`.
void rotateLeft(const std::uint8_t* in, std::uint8_t* out);
// The last byte moves to the front: out = in[31], in[0..30]. `out` may not be `in`.
void rotateRight(const std::uint8_t* in, std::uint8_t* out);

// Writes keySize(keyType) bytes to `out`: 4-byte pieces of the initiator's and
// the responder's value in turn, initiator first, from offsets 0, 12, 20 and 28.
// Returns the length written (0 for an unknown key type, nothing written).
std::size_t deriveChannelKey(const std::uint8_t* initiator, const std::uint8_t* responder, unsigned keyType,
                             std::uint8_t* out);

} // namespace vkkrn::channel

#endif

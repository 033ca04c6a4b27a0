#include "security/channel_key.h"

#include <cstring>

namespace vkkrn::channel {

namespace {

constexpr std::size_t kPiece = 4;
constexpr std::size_t kPieceOffsets[] = {0, 12, 20, 28};

} // namespace

void rotateLeft(const std::uint8_t* in, std::uint8_t* out) {
    std::memcpy(out, in + 1, kRandomSize - 1);
    out[kRandomSize - 1] = in[0];
}

void rotateRight(const std::uint8_t* in, std::uint8_t* out) {
    out[0] = in[kRandomSize - 1];
    std::memcpy(out + 1, in, kRandomSize - 1);
}

std::size_t deriveChannelKey(const std::uint8_t* initiator, const std::uint8_t* responder, unsigned keyType,
                             std::uint8_t* out) {
    const std::size_t size = keySize(keyType);
    std::size_t at = 0;
    for (std::size_t i = 0; at < size; ++i) {
        std::memcpy(out + at, initiator + kPieceOffsets[i], kPiece);
        std::memcpy(out + at + kPiece, responder + kPieceOffsets[i], kPiece);
        at += 2 * kPiece;
    }
    return size;
}

} // namespace vkkrn::channel

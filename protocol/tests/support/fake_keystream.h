// The keystream of the fake cipher that tests put in place of the AES channel:
// 16-byte blocks numbered from 0, one running block number for both directions,
// each call taking ceil(n / 16) whole blocks (the rest of its last block is
// dropped). Whoever plays the reader's side in a test keeps the same stream.
#ifndef VKKRN_TESTS_FAKE_KEYSTREAM_H
#define VKKRN_TESTS_FAKE_KEYSTREAM_H

#include <cstddef>
#include <cstdint>

namespace vkkrn::testing {

inline constexpr std::size_t kFakeBlockSize = 16;

// Byte j of keystream block `block`.
constexpr std::uint8_t fakeKeystreamByte(std::uint32_t block, std::size_t j) {
    return static_cast<std::uint8_t>(0xA5u ^ (block * 31u) ^ (static_cast<std::uint32_t>(j) * 7u));
}

// XORs n bytes with the stream from block `*nextBlock` on and advances it.
inline void applyFakeKeystream(const std::uint8_t* in, std::size_t n, std::uint8_t* out,
                               std::uint32_t* nextBlock) {
    for (std::size_t i = 0; i < n; ++i)
        out[i] = in[i] ^ fakeKeystreamByte(*nextBlock + static_cast<std::uint32_t>(i / kFakeBlockSize),
                                           i % kFakeBlockSize);
    *nextBlock += static_cast<std::uint32_t>((n + kFakeBlockSize - 1) / kFakeBlockSize);
}

} // namespace vkkrn::testing

#endif

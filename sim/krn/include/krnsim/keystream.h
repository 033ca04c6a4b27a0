// The keystream of the secured channel as the simulated reader plays it: the
// stand-in for the AES channel that the host side's tests install as well.
// 16-byte blocks numbered from 0; one running block number serves both
// directions; every call takes ceil(n / 16) whole blocks and drops the rest of
// its last block, as a chained cipher does, so a call split differently on the
// two sides puts them out of step. Kept here by value; a test checks that it
// equals the host side's.
#ifndef KRNSIM_KEYSTREAM_H
#define KRNSIM_KEYSTREAM_H

#include <krnsim/types.h>

#include <cstddef>

namespace krnsim {

inline constexpr std::size_t kKeystreamBlockSize = 16;

// Byte j of keystream block `block`.
constexpr std::uint8_t keystreamByte(std::uint32_t block, std::size_t j) {
    return static_cast<std::uint8_t>(0xA5u ^ (block * 31u) ^ (static_cast<std::uint32_t>(j) * 7u));
}

class Keystream {
  public:
    // XORs `in` with the stream from the next block on into `out` (same size) and
    // advances the block number by ceil(size / 16).
    void apply(ByteView in, std::uint8_t* out) {
        for (std::size_t i = 0; i < in.size(); ++i)
            out[i] = in[i] ^ keystreamByte(next_ + static_cast<std::uint32_t>(i / kKeystreamBlockSize),
                                           i % kKeystreamBlockSize);
        next_ += static_cast<std::uint32_t>((in.size() + kKeystreamBlockSize - 1) / kKeystreamBlockSize);
    }
    Bytes apply(ByteView in) {
        Bytes out(in.size());
        apply(in, out.data());
        return out;
    }
    std::uint32_t nextBlock() const { return next_; }
    void reset() { next_ = 0; }

  private:
    std::uint32_t next_ = 0;
};

} // namespace krnsim

#endif

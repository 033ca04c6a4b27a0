// AES encryption (FIPS-197) of single 16-byte blocks, as the simulated reader's
// firmware does it: its own tables and key expansion, nothing of the host's
// cipher library, so that the two sides of the authenticated channel are
// independent implementations.
#ifndef KRNSIM_AES_H
#define KRNSIM_AES_H

#include <krnsim/types.h>

#include <array>
#include <cstdint>

namespace krnsim {

inline constexpr std::size_t kAesBlockSize = 16;
using AesBlock = std::array<std::uint8_t, kAesBlockSize>;

class Aes {
  public:
    // A key of 16, 24 or 32 bytes; any other length throws std::invalid_argument.
    explicit Aes(ByteView key);
    ~Aes();
    Aes(const Aes&) = default;
    Aes& operator=(const Aes&) = default;

    AesBlock encrypt(const AesBlock& in) const;

  private:
    int rounds_ = 0;
    std::array<std::uint8_t, 16 * 15> roundKeys_{};
};

} // namespace krnsim

#endif

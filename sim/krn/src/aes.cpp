#include <krnsim/aes.h>

#include <stdexcept>
#include <string.h> // explicit_bzero

namespace krnsim {

namespace {

constexpr std::uint8_t xtime(std::uint8_t x) {
    return static_cast<std::uint8_t>((x << 1) ^ ((x & 0x80) != 0 ? 0x1B : 0x00));
}

constexpr std::uint8_t rotateLeft(std::uint8_t x, int n) {
    return static_cast<std::uint8_t>((x << n) | (x >> (8 - n)));
}

// The S-box from its definition: the multiplicative inverse in GF(2^8), then the
// affine transform with 0x63. Walks the field's multiplicative group with the
// generator 3: p runs through its powers while q runs through their inverses,
// so each step finds one inverse at once.
constexpr std::array<std::uint8_t, 256> makeSbox() {
    std::array<std::uint8_t, 256> box{};
    std::uint8_t p = 1;
    std::uint8_t q = 1;
    do {
        p = static_cast<std::uint8_t>(p ^ xtime(p)); // p * 3
        q = static_cast<std::uint8_t>(q ^ (q << 1)); // q / 3
        q = static_cast<std::uint8_t>(q ^ (q << 2));
        q = static_cast<std::uint8_t>(q ^ (q << 4));
        if ((q & 0x80) != 0) q = static_cast<std::uint8_t>(q ^ 0x09);
        const std::uint8_t affine = static_cast<std::uint8_t>(q ^ rotateLeft(q, 1) ^ rotateLeft(q, 2) ^
                                                              rotateLeft(q, 3) ^ rotateLeft(q, 4));
        box[p] = static_cast<std::uint8_t>(affine ^ 0x63);
    } while (p != 1);
    box[0] = 0x63; // zero has no inverse
    return box;
}

constexpr std::array<std::uint8_t, 256> kSbox = makeSbox();
static_assert(kSbox[0x00] == 0x63 && kSbox[0x53] == 0xED && kSbox[0xFF] == 0x16);

} // namespace

Aes::Aes(ByteView key) {
    const std::size_t nk = key.size() / 4;
    if (key.size() != 16 && key.size() != 24 && key.size() != 32)
        throw std::invalid_argument("an AES key has 16, 24 or 32 bytes");
    rounds_ = static_cast<int>(nk) + 6;
    const std::size_t words = 4 * (static_cast<std::size_t>(rounds_) + 1);
    std::copy(key.begin(), key.end(), roundKeys_.begin());
    std::uint8_t rcon = 0x01;
    for (std::size_t i = nk; i < words; ++i) {
        std::uint8_t t[4];
        for (std::size_t j = 0; j < 4; ++j)
            t[j] = roundKeys_[4 * (i - 1) + j];
        if (i % nk == 0) {
            const std::uint8_t first = t[0];
            t[0] = static_cast<std::uint8_t>(kSbox[t[1]] ^ rcon);
            t[1] = kSbox[t[2]];
            t[2] = kSbox[t[3]];
            t[3] = kSbox[first];
            rcon = xtime(rcon);
        } else if (nk > 6 && i % nk == 4) {
            for (std::uint8_t& b : t)
                b = kSbox[b];
        }
        for (std::size_t j = 0; j < 4; ++j)
            roundKeys_[4 * i + j] = static_cast<std::uint8_t>(roundKeys_[4 * (i - nk) + j] ^ t[j]);
    }
}

Aes::~Aes() {
    explicit_bzero(roundKeys_.data(), roundKeys_.size());
}

AesBlock Aes::encrypt(const AesBlock& in) const {
    // The state column by column: byte r + 4c is row r of column c.
    AesBlock s = in;
    auto addRoundKey = [&](int round) {
        for (std::size_t i = 0; i < kAesBlockSize; ++i)
            s[i] ^= roundKeys_[16 * static_cast<std::size_t>(round) + i];
    };
    addRoundKey(0);
    for (int round = 1; round <= rounds_; ++round) {
        for (std::uint8_t& b : s)
            b = kSbox[b];
        AesBlock shifted;
        for (std::size_t c = 0; c < 4; ++c)
            for (std::size_t r = 0; r < 4; ++r)
                shifted[r + 4 * c] = s[r + 4 * ((c + r) % 4)];
        s = shifted;
        if (round != rounds_) {
            for (std::size_t c = 0; c < 4; ++c) {
                std::uint8_t* col = &s[4 * c];
                const std::uint8_t a0 = col[0], a1 = col[1], a2 = col[2], a3 = col[3];
                const std::uint8_t all = static_cast<std::uint8_t>(a0 ^ a1 ^ a2 ^ a3);
                col[0] = static_cast<std::uint8_t>(a0 ^ all ^ xtime(static_cast<std::uint8_t>(a0 ^ a1)));
                col[1] = static_cast<std::uint8_t>(a1 ^ all ^ xtime(static_cast<std::uint8_t>(a1 ^ a2)));
                col[2] = static_cast<std::uint8_t>(a2 ^ all ^ xtime(static_cast<std::uint8_t>(a2 ^ a3)));
                col[3] = static_cast<std::uint8_t>(a3 ^ all ^ xtime(static_cast<std::uint8_t>(a3 ^ a0)));
            }
        }
        addRoundKey(round);
    }
    return s;
}

} // namespace krnsim

// The AES cipher object against OpenSSL's own AES-OFB (one call of the chaining
// is plain OFB from the published vector) and against the simulated reader's
// AES; the handshake arithmetic of the channel key.
#include "security/channel_key.h"
#include "security/crypto_plugin_aes.h"

#include <krnsim/authentication.h>
#include <vkkrn.h>

#include <openssl/evp.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

Bytes pattern(std::size_t n, unsigned seed) {
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i)
        b[i] = static_cast<unsigned char>((i * 131u + seed * 17u) ^ (i >> 8));
    return b;
}

const Bytes kKey = pattern(32, 7);
constexpr unsigned char kVector[VKKRN_CHANNEL_IV_SIZE] = VKKRN_CHANNEL_IV;

// OpenSSL's AES-OFB of `in`, keyed once from the published vector.
Bytes opensslOfb(unsigned type, const Bytes& in) {
    const EVP_CIPHER* cipher = type == 1   ? EVP_aes_128_ofb()
                               : type == 2 ? EVP_aes_192_ofb()
                                           : EVP_aes_256_ofb();
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    EXPECT_EQ(EVP_EncryptInit_ex(ctx, cipher, nullptr, kKey.data(), kVector), 1);
    Bytes out(in.size());
    int n = 0;
    EXPECT_EQ(EVP_EncryptUpdate(ctx, out.data(), &n, in.data(), static_cast<int>(in.size())), 1);
    EXPECT_EQ(n, static_cast<int>(in.size()));
    EVP_CIPHER_CTX_free(ctx);
    return out;
}

Bytes encipher(VKKRN_CryptoPlugIn& c, const Bytes& in) {
    Bytes out(in.size());
    int n = -1;
    EXPECT_EQ(c.encipher(in.data(), static_cast<int>(in.size()), out.data(), n), 0);
    EXPECT_EQ(n, static_cast<int>(in.size()));
    return out;
}

TEST(Cipher, OneCallIsOpenSslOfbFromThePublishedVector) {
    for (const unsigned type : {1u, 2u, 3u}) {
        for (const std::size_t n : {1u, 15u, 16u, 17u, 64u, 65537u}) {
            VKKRN_CryptoPlugIn_AES aes(type, kKey.data());
            ASSERT_EQ(aes.ErrorState(), 0);
            EXPECT_EQ(aes.KeyType(), type);
            const Bytes plain = pattern(n, type);
            EXPECT_EQ(encipher(aes, plain), opensslOfb(type, plain))
                << "type " << type << ", " << n << " bytes";
        }
    }
}

TEST(Cipher, CallsChainByWholeBlocks) {
    const Bytes plain = pattern(32, 1);
    VKKRN_CryptoPlugIn_AES whole(1, kKey.data());
    VKKRN_CryptoPlugIn_AES halves(1, kKey.data());
    const Bytes one = encipher(whole, plain);
    Bytes two = encipher(halves, Bytes(plain.begin(), plain.begin() + 16));
    const Bytes second = encipher(halves, Bytes(plain.begin() + 16, plain.end()));
    two.insert(two.end(), second.begin(), second.end());
    EXPECT_EQ(one, two) << "16 + 16 equals 32";

    VKKRN_CryptoPlugIn_AES ten(1, kKey.data());
    VKKRN_CryptoPlugIn_AES fives(1, kKey.data());
    const Bytes tenOut = encipher(ten, Bytes(plain.begin(), plain.begin() + 10));
    encipher(fives, Bytes(plain.begin(), plain.begin() + 5));
    const Bytes secondFive = encipher(fives, Bytes(plain.begin() + 5, plain.begin() + 10));
    EXPECT_NE(secondFive, Bytes(tenOut.begin() + 5, tenOut.end())) << "5 + 5 differs from 10";

    // Encipher then decipher: one stream through both directions.
    VKKRN_CryptoPlugIn_AES host(1, kKey.data());
    krnsim::ChannelCipher reader(krnsim::ByteView(kKey).first(16), krnsim::kDefaultChannelVector);
    const Bytes request = encipher(host, plain);
    EXPECT_EQ(reader.apply(request), plain);
    const Bytes reply = reader.apply(pattern(20, 9));
    Bytes back(reply.size());
    int n = 0;
    ASSERT_EQ(host.decipher(reply.data(), static_cast<int>(reply.size()), back.data(), n), 0);
    EXPECT_EQ(back, pattern(20, 9));
}

TEST(Cipher, AThousandCallsOfMixedSizesMatchTheSimulatedReader) {
    for (const unsigned type : {1u, 3u}) {
        VKKRN_CryptoPlugIn_AES host(type, kKey.data());
        krnsim::ChannelCipher reader(krnsim::ByteView(kKey).first(8 + 8 * type),
                                     krnsim::kDefaultChannelVector);
        for (unsigned i = 0; i < 1000; ++i) {
            const Bytes plain = pattern((i * 37u) % 300u, i);
            ASSERT_EQ(encipher(host, plain), reader.apply(plain)) << i;
        }
    }
}

TEST(Cipher, ReKeyingInPlaceAndUnusedKeyBytes) {
    const Bytes plain = pattern(40, 3);
    VKKRN_CryptoPlugIn_AES aes(2, kKey.data());
    const Bytes first = encipher(aes, plain);
    EXPECT_NE(encipher(aes, plain), first);
    ASSERT_EQ(aes.init(kKey.data()), 0);
    EXPECT_EQ(encipher(aes, plain), first) << "init restarts the vector";

    Bytes changed = kKey;
    for (std::size_t i = 24; i < 32; ++i)
        changed[i] ^= 0xFF;
    VKKRN_CryptoPlugIn_AES other(2, changed.data());
    EXPECT_EQ(encipher(other, plain), first) << "type 2 reads 24 key bytes";

    VKKRN_CryptoPlugIn_AES inPlace(2, kKey.data());
    Bytes buffer = plain;
    int n = 0;
    ASSERT_EQ(inPlace.encipher(buffer.data(), 40, buffer.data(), n), 0);
    EXPECT_EQ(buffer, first);
}

TEST(Cipher, EmptyNegativeAndNullCalls) {
    const Bytes plain = pattern(16, 4);
    VKKRN_CryptoPlugIn_AES aes(1, kKey.data());
    VKKRN_CryptoPlugIn_AES fresh(1, kKey.data());
    unsigned char out[16];
    int n = 5;
    EXPECT_EQ(aes.encipher(plain.data(), 0, out, n), 0);
    EXPECT_EQ(n, 0);
    EXPECT_EQ(encipher(aes, plain), encipher(fresh, plain)) << "0 bytes keep the vector";
    EXPECT_EQ(aes.encipher(plain.data(), -1, out, n), -4093);
    EXPECT_EQ(aes.decipher(plain.data(), -1, out, n), -4094);
    EXPECT_EQ(aes.encipher(nullptr, 16, out, n), -4093);
    EXPECT_EQ(aes.decipher(plain.data(), 16, nullptr, n), -4094);

    unsigned char random[32] = {};
    EXPECT_EQ(aes.get_rand(random, 32), 0);
    EXPECT_NE(Bytes(random, random + 32), Bytes(32, 0));
    VKKRN_CryptoPlugIn_AES noType(4, kKey.data());
    EXPECT_EQ(noType.ErrorState(), 0);
    EXPECT_EQ(noType.encipher(plain.data(), 16, out, n), -4093) << "no cipher for another key type";
    EXPECT_EQ(noType.init(kKey.data()), -4091);
}

TEST(ChannelKey, RotationsAndPieces) {
    Bytes a(32);
    Bytes b(32);
    for (unsigned i = 0; i < 32; ++i) {
        a[i] = static_cast<unsigned char>(i);
        b[i] = static_cast<unsigned char>(0xA0 + i);
    }
    Bytes left(32);
    Bytes right(32);
    vkkrn::channel::rotateLeft(a.data(), left.data());
    vkkrn::channel::rotateRight(left.data(), right.data());
    EXPECT_EQ(left[0], 1);
    EXPECT_EQ(left[31], 0);
    EXPECT_EQ(right, a);
    for (const unsigned type : {0u, 1u, 2u}) {
        Bytes key(32, 0xEE);
        ASSERT_EQ(vkkrn::channel::deriveChannelKey(a.data(), b.data(), type, key.data()), 16u + 8u * type);
        const Bytes sim = krnsim::channelKey(a, b, static_cast<std::uint8_t>(type));
        EXPECT_EQ(Bytes(key.begin(), key.begin() + static_cast<long>(sim.size())), sim);
    }
    Bytes key(32, 0xEE);
    vkkrn::channel::deriveChannelKey(a.data(), b.data(), 0, key.data());
    EXPECT_EQ(Bytes(key.begin(), key.begin() + 16),
              Bytes({0, 1, 2, 3, 0xA0, 0xA1, 0xA2, 0xA3, 12, 13, 14, 15, 0xAC, 0xAD, 0xAE, 0xAF}));
    EXPECT_EQ(vkkrn::channel::deriveChannelKey(a.data(), b.data(), 3, key.data()), 0u);
}

TEST(ChannelKey, TheSimulatedReaderHoldsThePublishedVector) {
    EXPECT_EQ(Bytes(krnsim::kDefaultChannelVector.begin(), krnsim::kDefaultChannelVector.end()),
              Bytes(kVector, kVector + 16));
}

} // namespace

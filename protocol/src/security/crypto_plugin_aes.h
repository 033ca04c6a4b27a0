// The AES cipher object of the authenticated channel: AES in output-feedback
// mode through OpenSSL's libcrypto, opened at run time for each object.
//
// The cipher is keyed in ECB mode once per `init`; the feedback chain runs here:
// for each 16 bytes (or the part left) of a call, block = AES(key, vector),
// vector = block, out = in XOR block. Every call starts a fresh block from the
// stored vector, so the rest of a call's last block is dropped and both sides
// must make the same calls with the same lengths. Enciphering and deciphering
// share the one vector.
#ifndef VKKRN_CRYPTO_PLUGIN_AES_H
#define VKKRN_CRYPTO_PLUGIN_AES_H

#include "security/crypto_plugin.h"

class VKKRN_CryptoPlugIn_AES : public VKKRN_CryptoPlugIn {
  public:
    static constexpr int kBlockSize = 16;
    static constexpr int kKeyCapacity = 32;

    // Opens "libcrypto.so" ("libcrypto.so.3" when that fails) and binds its
    // functions; error state -4090 when either fails (nothing kept open). Then
    // keys the object with `key` (16, 24 or 32 bytes by key type 1, 2, 3); a
    // failing key shows at the first use.
    VKKRN_CryptoPlugIn_AES(unsigned int keyType, const unsigned char* key);
    ~VKKRN_CryptoPlugIn_AES() override;

    // 0 when the random source filled the buffer, else -1.
    int get_rand(unsigned char* buffer, int count) override;
    int encipher(const unsigned char* in, int inLength, unsigned char* out, int& outLength) override;
    int decipher(const unsigned char* in, int inLength, unsigned char* out, int& outLength) override;
    // Clears the random areas, takes the key, resets the vector to its initial
    // value and keys the cipher: 0, or -4091; after a failure the object enciphers
    // and deciphers nothing (-4093/-4094) until an `init` succeeds.
    int init(const unsigned char* key) override;
    // Releases the cipher context and closes the library.
    int cleanup() override;

  private:
    struct Bound;
    int chain(const unsigned char* in, int inLength, unsigned char* out, int& outLength, int failure);
    int keyLength() const;

    unsigned char key_[kKeyCapacity] = {};
    unsigned char vector_[kBlockSize] = {};
    const void* cipher_ = nullptr; // the ECB cipher of the key type
    void* context_ = nullptr;      // the library's cipher context
    void* library_ = nullptr;
    bool keyed_ = false;
    // The bound functions (see the .cpp).
    void* (*ctxNew_)() = nullptr;
    void (*ctxFree_)(void*) = nullptr;
    int (*encryptInit_)(void*, const void*, void*, const unsigned char*, const unsigned char*) = nullptr;
    int (*encryptUpdate_)(void*, unsigned char*, int*, const unsigned char*, int) = nullptr;
    const void* (*aes128_)() = nullptr;
    const void* (*aes192_)() = nullptr;
    const void* (*aes256_)() = nullptr;
    int (*randBytes_)(unsigned char*, int) = nullptr;
};

#endif

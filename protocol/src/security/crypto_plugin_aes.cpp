#include "security/crypto_plugin_aes.h"

#include "texts/error_codes.h"

#include <vkkrn.h>

#include <cstring>
#include <string.h> // explicit_bzero

namespace {

using namespace vkkrn;

constexpr unsigned char kInitialVector[VKKRN_CHANNEL_IV_SIZE] = VKKRN_CHANNEL_IV;
static_assert(sizeof kInitialVector == VKKRN_CryptoPlugIn_AES::kBlockSize);

// The library's file name, and the versioned one tried when the first cannot be opened.
constexpr const char* kLibraryName = "libcrypto.so";
constexpr const char* kVersionedLibraryName = "libcrypto.so.3";

} // namespace

VKKRN_CryptoPlugIn_AES::VKKRN_CryptoPlugIn_AES(unsigned int keyType, const unsigned char* key) {
    keyType_ = keyType;
    void* library = LoadLib(kLibraryName);
    if (library == nullptr) library = LoadLib(kVersionedLibraryName);
    if (library == nullptr) {
        errorState_ = kErrCipherLibrary;
        return;
    }
    auto find = [library](const char* name) { return GetFunctionPtr(library, name); };
    ctxNew_ = reinterpret_cast<decltype(ctxNew_)>(find("EVP_CIPHER_CTX_new"));
    ctxFree_ = reinterpret_cast<decltype(ctxFree_)>(find("EVP_CIPHER_CTX_free"));
    encryptInit_ = reinterpret_cast<decltype(encryptInit_)>(find("EVP_EncryptInit_ex"));
    encryptUpdate_ = reinterpret_cast<decltype(encryptUpdate_)>(find("EVP_EncryptUpdate"));
    aes128_ = reinterpret_cast<decltype(aes128_)>(find("EVP_aes_128_ecb"));
    aes192_ = reinterpret_cast<decltype(aes192_)>(find("EVP_aes_192_ecb"));
    aes256_ = reinterpret_cast<decltype(aes256_)>(find("EVP_aes_256_ecb"));
    randBytes_ = reinterpret_cast<decltype(randBytes_)>(find("RAND_bytes"));
    if (ctxNew_ == nullptr || ctxFree_ == nullptr || encryptInit_ == nullptr || encryptUpdate_ == nullptr ||
        aes128_ == nullptr || aes192_ == nullptr || aes256_ == nullptr || randBytes_ == nullptr) {
        ctxNew_ = nullptr;
        ctxFree_ = nullptr;
        encryptInit_ = nullptr;
        encryptUpdate_ = nullptr;
        aes128_ = aes192_ = aes256_ = nullptr;
        randBytes_ = nullptr;
        CloseLib(library);
        errorState_ = kErrCipherLibrary;
        return;
    }
    library_ = library;
    switch (keyType) {
    case 1: cipher_ = aes128_(); break;
    case 2: cipher_ = aes192_(); break;
    case 3: cipher_ = aes256_(); break;
    default: break;
    }
    init(key);
}

VKKRN_CryptoPlugIn_AES::~VKKRN_CryptoPlugIn_AES() {
    VKKRN_CryptoPlugIn_AES::cleanup();
}

int VKKRN_CryptoPlugIn_AES::keyLength() const {
    switch (keyType_) {
    case 1: return 16;
    case 2: return 24;
    case 3: return 32;
    default: return 0;
    }
}

int VKKRN_CryptoPlugIn_AES::init(const unsigned char* key) {
    VKKRN_CryptoPlugIn::init(key);
    keyed_ = false;
    if (key != nullptr) std::memcpy(key_, key, static_cast<std::size_t>(keyLength()));
    std::memcpy(vector_, kInitialVector, sizeof vector_);
    if (library_ == nullptr || cipher_ == nullptr || key == nullptr) return kErrCipherInit;
    if (context_ == nullptr) context_ = ctxNew_();
    if (context_ == nullptr) return kErrCipherInit;
    if (encryptInit_(context_, cipher_, nullptr, key_, nullptr) <= 0) return kErrCipherInit;
    keyed_ = true;
    return 0;
}

int VKKRN_CryptoPlugIn_AES::chain(const unsigned char* in, int inLength, unsigned char* out, int& outLength,
                                  int failure) {
    if (!keyed_ || inLength < 0 || (inLength > 0 && (in == nullptr || out == nullptr))) return failure;
    unsigned char block[kBlockSize];
    for (int at = 0; at < inLength; at += kBlockSize) {
        int produced = 0;
        if (encryptUpdate_(context_, block, &produced, vector_, kBlockSize) != 1 || produced != kBlockSize) {
            explicit_bzero(block, sizeof block);
            return failure;
        }
        std::memcpy(vector_, block, sizeof vector_);
        const int n = inLength - at < kBlockSize ? inLength - at : kBlockSize;
        for (int i = 0; i < n; ++i)
            out[at + i] = static_cast<unsigned char>(in[at + i] ^ block[i]);
    }
    explicit_bzero(block, sizeof block);
    outLength = inLength;
    return 0;
}

int VKKRN_CryptoPlugIn_AES::encipher(const unsigned char* in, int inLength, unsigned char* out,
                                     int& outLength) {
    return chain(in, inLength, out, outLength, kErrEncipher);
}

int VKKRN_CryptoPlugIn_AES::decipher(const unsigned char* in, int inLength, unsigned char* out,
                                     int& outLength) {
    return chain(in, inLength, out, outLength, kErrDecipher);
}

int VKKRN_CryptoPlugIn_AES::get_rand(unsigned char* buffer, int count) {
    if (randBytes_ == nullptr || buffer == nullptr || count < 0) return -1;
    return randBytes_(buffer, count) == 1 ? 0 : -1;
}

int VKKRN_CryptoPlugIn_AES::cleanup() {
    keyed_ = false;
    explicit_bzero(key_, sizeof key_);
    explicit_bzero(vector_, sizeof vector_);
    if (context_ != nullptr && ctxFree_ != nullptr) ctxFree_(context_);
    context_ = nullptr;
    CloseLib(library_);
    library_ = nullptr;
    return 0;
}

// Base class of the cipher object of an authenticated channel: the error state
// the subclass's constructor sets, the key type, the two random values of the
// authentication handshake, and the library helpers of a subclass that binds its
// cipher library at run time.
#ifndef VKKRN_CRYPTO_PLUGIN_H
#define VKKRN_CRYPTO_PLUGIN_H

#include <cstring>
#include <string.h> // explicit_bzero

class VKKRN_CryptoPlugIn {
  public:
    static constexpr int kRandomSize = 32;

    VKKRN_CryptoPlugIn() = default;
    // Runs this class's cleanup (nothing to release here) and wipes the random values.
    virtual ~VKKRN_CryptoPlugIn() {
        VKKRN_CryptoPlugIn::cleanup();
        explicit_bzero(initiatorRandom_, sizeof initiatorRandom_);
        explicit_bzero(responderRandom_, sizeof responderRandom_);
    }
    VKKRN_CryptoPlugIn(const VKKRN_CryptoPlugIn&) = delete;
    VKKRN_CryptoPlugIn& operator=(const VKKRN_CryptoPlugIn&) = delete;

    // Fills `count` bytes from the random source: 0, or -1.
    virtual int get_rand(unsigned char* buffer, int count) = 0;
    // One call of the stream: `inLength` bytes out, outLength set to their count.
    // 0, or -4093 (encipher) / -4094 (decipher).
    virtual int encipher(const unsigned char* in, int inLength, unsigned char* out, int& outLength) = 0;
    virtual int decipher(const unsigned char* in, int inLength, unsigned char* out, int& outLength) = 0;
    // Keys the object; here only both random areas are cleared.
    virtual int init(const unsigned char* /*key*/) {
        std::memset(initiatorRandom_, 0, sizeof initiatorRandom_);
        std::memset(responderRandom_, 0, sizeof responderRandom_);
        return 0;
    }
    virtual int cleanup() { return 0; }

    // 0, or -4090 when the cipher library could not be bound.
    int ErrorState() const { return errorState_; }
    // 1 AES-128, 2 AES-192, 3 AES-256.
    unsigned int KeyType() const { return keyType_; }
    // The handshake's random values: of the side that starts it, of the side that answers.
    unsigned char* InitiatorRandom() { return initiatorRandom_; }
    unsigned char* ResponderRandom() { return responderRandom_; }

  protected:
    // dlopen with RTLD_NOW | RTLD_GLOBAL: the handle, or null. Not stored.
    static void* LoadLib(const char* fileName);
    // dlclose when not null.
    static void CloseLib(void* handle);
    static void* GetFunctionPtr(void* handle, const char* name);

    int errorState_ = 0;
    unsigned int keyType_ = 0;
    unsigned char initiatorRandom_[kRandomSize] = {};
    unsigned char responderRandom_[kRandomSize] = {};
};

#endif

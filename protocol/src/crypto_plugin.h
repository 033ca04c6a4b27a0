// Base class of the cipher object of an authenticated channel.
#ifndef VKKRN_CRYPTO_PLUGIN_H
#define VKKRN_CRYPTO_PLUGIN_H

#include <cstring>

class VKKRN_CryptoPlugIn {
  public:
    VKKRN_CryptoPlugIn() = default;
    virtual ~VKKRN_CryptoPlugIn() = default;
    VKKRN_CryptoPlugIn(const VKKRN_CryptoPlugIn&) = delete;
    VKKRN_CryptoPlugIn& operator=(const VKKRN_CryptoPlugIn&) = delete;

    virtual int get_rand(unsigned char* /*buffer*/, int /*count*/) { return -4005; }
    virtual int encipher(const unsigned char* /*in*/, int /*inLength*/, unsigned char* /*out*/,
                         int& /*outLength*/) {
        return -4005;
    }
    virtual int decipher(const unsigned char* /*in*/, int /*inLength*/, unsigned char* /*out*/,
                         int& /*outLength*/) {
        return -4005;
    }
    // Clears both random areas.
    virtual int init(const unsigned char* /*key*/) {
        std::memset(random1_, 0, sizeof random1_);
        std::memset(random2_, 0, sizeof random2_);
        return 0;
    }
    virtual int cleanup() { return 0; }

  protected:
    unsigned char random1_[32] = {};
    unsigned char random2_[32] = {};
};

#endif

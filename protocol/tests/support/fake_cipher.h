// A cipher object for tests: enciphers and deciphers with the fake keystream and
// can be told to fail its next call.
#ifndef VKKRN_TESTS_FAKE_CIPHER_H
#define VKKRN_TESTS_FAKE_CIPHER_H

#include "fake_keystream.h"
#include "security/crypto_plugin.h"

#include <atomic>
#include <cstdint>

namespace vkkrn::testing {

class FakeCipher : public VKKRN_CryptoPlugIn {
  public:
    int encipher(const unsigned char* in, int inLength, unsigned char* out, int& outLength) override;
    int decipher(const unsigned char* in, int inLength, unsigned char* out, int& outLength) override;
    // Counting bytes from 1.
    int get_rand(unsigned char* buffer, int count) override;

    // The next encipher or decipher returns `code` and writes nothing.
    void failNextCall(int code) { failNext_.store(code); }
    // The block number the next call starts from.
    std::uint32_t nextBlock() const { return nextBlock_; }
    int calls() const { return calls_.load(); }

  private:
    int run(const unsigned char* in, int inLength, unsigned char* out, int& outLength);

    std::uint32_t nextBlock_ = 0;
    std::atomic<int> failNext_{0};
    std::atomic<int> calls_{0};
};

} // namespace vkkrn::testing

#endif

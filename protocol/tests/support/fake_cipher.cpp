#include "fake_cipher.h"

namespace vkkrn::testing {

int FakeCipher::encipher(const unsigned char* in, int inLength, unsigned char* out, int& outLength) {
    return run(in, inLength, out, outLength);
}

int FakeCipher::decipher(const unsigned char* in, int inLength, unsigned char* out, int& outLength) {
    return run(in, inLength, out, outLength);
}

int FakeCipher::get_rand(unsigned char* buffer, int count) {
    for (int i = 0; i < count; ++i)
        buffer[i] = static_cast<unsigned char>(i + 1);
    return 0;
}

int FakeCipher::run(const unsigned char* in, int inLength, unsigned char* out, int& outLength) {
    calls_.fetch_add(1);
    if (const int code = failNext_.exchange(0)) return code;
    if (inLength < 0) return -4093;
    applyFakeKeystream(in, static_cast<std::size_t>(inLength), out, &nextBlock_);
    outLength = inLength;
    return 0;
}

} // namespace vkkrn::testing

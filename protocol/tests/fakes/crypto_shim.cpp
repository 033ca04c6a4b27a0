// A stand-in "libcrypto.so" for tests: forwards the functions the cipher object
// binds to the real libcrypto.so.3 and fails them on demand. Built in variants
// that lack one of the names (WITHOUT_RAND_BYTES).
#include <dlfcn.h>

#include <atomic>
#include <cstdlib>

namespace {

void* real(const char* name) {
    static void* library = ::dlopen("libcrypto.so.3", RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) std::abort();
    void* fn = ::dlsym(library, name);
    if (fn == nullptr) std::abort();
    return fn;
}

template <typename Fn> Fn forward(const char* name) {
    return reinterpret_cast<Fn>(real(name));
}

std::atomic<int> failRandBytes{0};
std::atomic<int> encryptInitCountdown{0};
std::atomic<int> encryptUpdateCountdown{0};
std::atomic<int> encryptInitCalls{0};

// True when this call is the one a countdown names.
bool due(std::atomic<int>& countdown) {
    int left = countdown.load();
    while (left > 0 && !countdown.compare_exchange_weak(left, left - 1)) {
    }
    return left == 1;
}

} // namespace

#define SHIM_EXPORT __attribute__((visibility("default")))

extern "C" {

// Controls. RAND_bytes fails while `on`; the n-th EncryptInit (EncryptUpdate)
// from now fails once (0: none).
SHIM_EXPORT void CRYPTOSHIM_FailRandBytes(int on) {
    failRandBytes.store(on);
}
SHIM_EXPORT void CRYPTOSHIM_FailEncryptInit(int n) {
    encryptInitCountdown.store(n);
}
SHIM_EXPORT void CRYPTOSHIM_FailEncryptUpdate(int n) {
    encryptUpdateCountdown.store(n);
}
SHIM_EXPORT int CRYPTOSHIM_EncryptInitCalls() {
    return encryptInitCalls.load();
}

SHIM_EXPORT void* EVP_CIPHER_CTX_new() {
    return forward<void* (*)()>("EVP_CIPHER_CTX_new")();
}
SHIM_EXPORT void EVP_CIPHER_CTX_free(void* ctx) {
    forward<void (*)(void*)>("EVP_CIPHER_CTX_free")(ctx);
}
SHIM_EXPORT int EVP_EncryptInit_ex(void* ctx, const void* cipher, void* engine, const unsigned char* key,
                                   const unsigned char* iv) {
    encryptInitCalls.fetch_add(1);
    if (due(encryptInitCountdown)) return 0;
    return forward<int (*)(void*, const void*, void*, const unsigned char*, const unsigned char*)>(
        "EVP_EncryptInit_ex")(ctx, cipher, engine, key, iv);
}
SHIM_EXPORT int EVP_EncryptUpdate(void* ctx, unsigned char* out, int* outLength, const unsigned char* in,
                                  int inLength) {
    if (due(encryptUpdateCountdown)) return 0;
    return forward<int (*)(void*, unsigned char*, int*, const unsigned char*, int)>("EVP_EncryptUpdate")(
        ctx, out, outLength, in, inLength);
}
SHIM_EXPORT const void* EVP_aes_128_ecb() {
    return forward<const void* (*)()>("EVP_aes_128_ecb")();
}
SHIM_EXPORT const void* EVP_aes_192_ecb() {
    return forward<const void* (*)()>("EVP_aes_192_ecb")();
}
SHIM_EXPORT const void* EVP_aes_256_ecb() {
    return forward<const void* (*)()>("EVP_aes_256_ecb")();
}
#ifndef WITHOUT_RAND_BYTES
SHIM_EXPORT int RAND_bytes(unsigned char* buffer, int count) {
    if (failRandBytes.load() != 0) return 0;
    return forward<int (*)(unsigned char*, int)>("RAND_bytes")(buffer, count);
}
#endif
}

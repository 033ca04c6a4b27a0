// The channel cipher object against OpenSSL's own AES-OFB over the same bytes in
// the same run: OpenSSL keyed once, its vector reset per call. The object chains
// by hand over ECB blocks (one library call per 16 bytes); about twice the time
// of OpenSSL's OFB is expected (a ratio of 0.5 or more), far more would mean
// keying or copying per call.
#include "ratio_reporter.h"

#include "security/crypto_plugin_aes.h"

#include <vkkrn.h>

#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <vector>

namespace {

constexpr unsigned char kVector[VKKRN_CHANNEL_IV_SIZE] = VKKRN_CHANNEL_IV;

std::vector<unsigned char> bytes(std::size_t n, unsigned seed) {
    std::vector<unsigned char> b(n);
    for (std::size_t i = 0; i < n; ++i)
        b[i] = static_cast<unsigned char>(i * 31u + seed);
    return b;
}

void Cipher_OpenSslOfb(benchmark::State& state) {
    const auto key = bytes(16, 1);
    auto in = bytes(static_cast<std::size_t>(state.range(0)), 2);
    std::vector<unsigned char> out(in.size());
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    EVP_EncryptInit_ex(ctx, EVP_aes_128_ofb(), nullptr, key.data(), kVector);
    int n = 0;
    for (auto _ : state) {
        EVP_EncryptInit_ex(ctx, nullptr, nullptr, nullptr, kVector);
        EVP_EncryptUpdate(ctx, out.data(), &n, in.data(), static_cast<int>(in.size()));
        benchmark::DoNotOptimize(out.data());
    }
    EVP_CIPHER_CTX_free(ctx);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}

void Cipher_Object(benchmark::State& state) {
    const auto key = bytes(16, 1);
    auto in = bytes(static_cast<std::size_t>(state.range(0)), 2);
    std::vector<unsigned char> out(in.size());
    VKKRN_CryptoPlugIn_AES cipher(1, key.data());
    if (cipher.ErrorState() != 0) state.SkipWithError("no libcrypto");
    int n = 0;
    for (auto _ : state) {
        cipher.encipher(in.data(), static_cast<int>(in.size()), out.data(), n);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}

BENCHMARK(Cipher_OpenSslOfb)->Arg(16)->Arg(250)->Arg(65536);
BENCHMARK(Cipher_Object)->Arg(16)->Arg(250)->Arg(65536);

} // namespace

int main(int argc, char** argv) {
    std::vector<vkbench::Ratio> ratios;
    for (const char* n : {"16", "250", "65536"})
        ratios.push_back({std::string("Cipher_OpenSslOfb/") + n, std::string("Cipher_Object/") + n, 0.5});
    return vkbench::runWithRatios(argc, argv, ratios);
}

// The cipher object and the authentication with libcrypto missing, replaced by a
// stand-in, or behind a file that is no library. Each build of this program runs
// with its own directory first on LD_LIBRARY_PATH and loads no libcrypto
// otherwise (a loaded copy would be found whatever the path).
#include "loaded_library.h"
#include "security/crypto_plugin_aes.h"
#include "sim_link.h"

#include <vkkrn.h>

#include <gtest/gtest.h>

#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

const Bytes kKey(32, 0x3C);

class CipherLibrary : public ::testing::Test {
  protected:
    // A reader on the simulated reader over TCP, which takes the same key.
    void openReader() {
        link_ = std::make_unique<SimLink>(LinkKind::Tcp);
        link_->sim.reader().setAuthenticationKey(kKey);
        reader_ = link_->newReader("1000");
    }
    void TearDown() override {
        if (reader_ > 0) VKKRN_DeleteReader(reader_);
        link_.reset();
    }
    int authenticate() {
        Bytes key = kKey;
        return VKKRN_0xAE_ReaderAuthent(reader_, 1, 0, 2, 32, key.data(), 0);
    }
    std::size_t authRequests() {
        std::size_t n = 0;
        for (const auto& e : link_->sim.reader().log().entries())
            n += e.command == 0xAE ? 1 : 0;
        return n;
    }
    // After a failed authentication: no channel, the frame mode as before.
    void expectPlainAfterwards() {
        char value[32] = {};
        ASSERT_EQ(VKKRN_GetReaderPara(reader_, "FRAMESUPPORT", value), 0);
        EXPECT_STREQ(value, "STANDARD");
        EXPECT_EQ(VKKRN_SetReaderPara(reader_, "FRAMESUPPORT", "STANDARD"), 0) << "not locked";
        link_->sim.reader().log().clear();
        unsigned char version[64];
        EXPECT_EQ(VKKRN_0x65_SoftVersion(reader_, 1, version, 0), 0);
        EXPECT_FALSE(link_->sim.reader().log().entries().at(0).secured);
    }

    std::unique_ptr<SimLink> link_;
    int reader_ = 0;
};

#if defined(CIPHER_LIBRARY_SHIM)

class Shim {
  public:
    Shim() : library_("libcrypto.so") {
        failRand = library_.symbol<void (*)(int)>("CRYPTOSHIM_FailRandBytes");
        failInit = library_.symbol<void (*)(int)>("CRYPTOSHIM_FailEncryptInit");
        failUpdate = library_.symbol<void (*)(int)>("CRYPTOSHIM_FailEncryptUpdate");
    }
    ~Shim() {
        failRand(0);
        failInit(0);
        failUpdate(0);
    }
    void (*failRand)(int) = nullptr;
    void (*failInit)(int) = nullptr;
    void (*failUpdate)(int) = nullptr;

  private:
    LoadedLibrary library_;
};

TEST_F(CipherLibrary, FailingKeyingLeavesNothingUsable) {
    Shim shim;
    shim.failInit(1);
    VKKRN_CryptoPlugIn_AES aes(1, kKey.data());
    EXPECT_EQ(aes.ErrorState(), 0) << "the constructor does not look at its keying";
    unsigned char buffer[32] = {};
    int n = 0;
    EXPECT_EQ(aes.encipher(buffer, 32, buffer, n), -4093);
    EXPECT_EQ(aes.decipher(buffer, 32, buffer, n), -4094);
    EXPECT_EQ(aes.init(kKey.data()), 0);
    EXPECT_EQ(aes.encipher(buffer, 32, buffer, n), 0) << "a later init that succeeds keys it";
    shim.failInit(1);
    EXPECT_EQ(aes.init(kKey.data()), -4091);
    EXPECT_EQ(aes.encipher(buffer, 32, buffer, n), -4093) << "nothing of the old key is used";
}

TEST_F(CipherLibrary, FailingUpdatesAndRandomSource) {
    Shim shim;
    VKKRN_CryptoPlugIn_AES aes(3, kKey.data());
    unsigned char buffer[40] = {};
    int n = 0;
    shim.failUpdate(2);
    EXPECT_EQ(aes.encipher(buffer, 40, buffer, n), -4093) << "the second block of the call";
    shim.failUpdate(1);
    EXPECT_EQ(aes.decipher(buffer, 40, buffer, n), -4094);
    shim.failRand(1);
    EXPECT_EQ(aes.get_rand(buffer, 32), -1);
    shim.failRand(0);
    EXPECT_EQ(aes.get_rand(buffer, 32), 0);
}

TEST_F(CipherLibrary, AuthenticationWithoutRandomBytesStopsBeforeTheSecondExchange) {
    Shim shim;
    openReader();
    shim.failRand(1);
    EXPECT_EQ(authenticate(), -4091);
    EXPECT_EQ(authRequests(), 1u);
    expectPlainAfterwards();
}

TEST_F(CipherLibrary, AFailingReKeyOpensNoChannel) {
    Shim shim;
    openReader();
    shim.failInit(2); // the first keying with the shared key, then the channel key
    EXPECT_EQ(authenticate(), -4091);
    EXPECT_EQ(authRequests(), 2u);
    expectPlainAfterwards();
}

TEST_F(CipherLibrary, AFailingEncipherSendsNothing) {
    Shim shim;
    openReader();
    ASSERT_EQ(authenticate(), 0);
    link_->sim.reader().log().clear();
    shim.failUpdate(1);
    unsigned char version[64];
    EXPECT_EQ(VKKRN_0x65_SoftVersion(reader_, 1, version, 0), -4093);
    EXPECT_TRUE(link_->sim.reader().log().entries().empty());
}

#elif defined(CIPHER_LIBRARY_FALLBACK)

TEST_F(CipherLibrary, AFileThatIsNoLibraryFallsBackToTheVersionedName) {
    VKKRN_CryptoPlugIn_AES aes(1, kKey.data());
    ASSERT_EQ(aes.ErrorState(), 0);
    unsigned char buffer[16] = {};
    int n = 0;
    EXPECT_EQ(aes.encipher(buffer, 16, buffer, n), 0);
    openReader();
    EXPECT_EQ(authenticate(), 0);
}

#else // no usable library, or one that lacks a name

TEST_F(CipherLibrary, NoUsableLibraryGivesTheErrorState) {
    {
        VKKRN_CryptoPlugIn_AES aes(1, kKey.data());
        EXPECT_EQ(aes.ErrorState(), -4090);
        unsigned char buffer[16] = {};
        EXPECT_EQ(aes.get_rand(buffer, 16), -1);
    } // destroyed safely with nothing to release
    openReader();
    EXPECT_EQ(authenticate(), -4090);
    EXPECT_EQ(authRequests(), 1u);
    expectPlainAfterwards();
}

#endif

} // namespace

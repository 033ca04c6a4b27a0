// The authentication on a reader whose installed plug-in reaches the simulated
// reader in-process: the plug-in's transceive carries both exchanges, and the
// channel's wrapped frames afterwards.
#include "sim_plugin_reader.h"

#include <vkkrn.h>

#include <gtest/gtest.h>

#include <vector>

namespace {

class AuthentPlugIn : public SimPlugInReaderTest {};

TEST_F(AuthentPlugIn, TheChannelRunsThroughThePlugIn) {
    std::vector<unsigned char> key(24, 0x6B);
    sim_.setAuthenticationKey(key);
    ASSERT_EQ(VKKRN_0xAE_ReaderAuthent(handle_, 1, 0x33, 1, 24, key.data(), 0), 0);
    EXPECT_TRUE(reader_->Cipher().holds());
    EXPECT_EQ(reader_->GetCommFrame(), 2);
    EXPECT_TRUE(reader_->IsFrameLocked());
    for (int i = 0; i < 3; ++i) {
        sim_.log().clear();
        unsigned char version[64] = {};
        ASSERT_EQ(VKKRN_0x65_SoftVersion(handle_, 1, version, 0), 0);
        EXPECT_EQ(version[3], 0x4B);
        const auto entries = sim_.log().entries();
        ASSERT_EQ(entries.size(), 1u);
        EXPECT_TRUE(entries[0].secured);
        EXPECT_EQ(entries[0].raw.at(4), 0xAF);
    }
    // The reader ends the channel with 0x82: the command goes again in plain.
    sim_.queueSecuredStatus(0x82);
    unsigned char version[64] = {};
    EXPECT_EQ(VKKRN_0x65_SoftVersion(handle_, 1, version, 0), 0);
    EXPECT_FALSE(reader_->Cipher().holds());
    EXPECT_TRUE(reader_->IsFrameLocked()) << "the frame mode stays as the channel left it";
}

TEST_F(AuthentPlugIn, AWrongProofFromTheReaderOpensNothing) {
    std::vector<unsigned char> key(16, 0x21);
    sim_.setAuthenticationKey(key);
    sim_.queueAuthFault(2, krnsim::AuthFault::WrongProof);
    EXPECT_EQ(VKKRN_0xAE_ReaderAuthent(handle_, 1, 0, 0, 16, key.data(), 0), -4092);
    EXPECT_FALSE(reader_->Cipher().holds());
    EXPECT_EQ(reader_->GetCommFrame(), 1);
    EXPECT_FALSE(reader_->IsFrameLocked());
}

} // namespace

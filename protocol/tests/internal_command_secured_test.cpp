// 0x55 on a TCP reader of the real libvktcp with the fake cipher in the reader's
// cipher slot: status 0 ends the authenticated channel, any other status keeps
// it.
#include "fake_cipher.h"
#include "internal_fixture.h"
#include "loaded_library.h"

#include <krnsim/simulator.h>
#include <vktcp.h>

#include <functional>
#include <memory>

namespace {

using vkkrn::testing::FakeCipher;

class FlashLoader : public InternalTest {
  protected:
    void SetUp() override {
        InternalTest::SetUp();
        socket_ = tcp_.symbol<VKTCP_Connect_Fn>("VKTCP_Connect")("127.0.0.1", sim_.listenTcp().port);
        ASSERT_GT(socket_, 0);
        reader_ = newReader(socket_, &handle_);
        ASSERT_NE(reader_, nullptr);
        char key[] = "Timeout";
        char value[] = "3000";
        ASSERT_EQ(VKKRN_PI_SetPortPara(handle_, key, value), 0);
    }
    void TearDown() override {
        g_LibVkKrnDrvHnd.DeleteAllReaders();
        if (socket_ > 0) tcp_.symbol<VKTCP_DisConnect_Fn>("VKTCP_DisConnect")(socket_);
        InternalTest::TearDown();
    }
    bool lastSecured() { return sim_.reader().log().entries().back().secured; }

    krnsim::Simulator sim_;
    LoadedLibrary tcp_{"libvktcp.so"};
    int socket_ = 0;
    std::shared_ptr<VKKRNReader> reader_;
    int handle_ = 0;
};

TEST_F(FlashLoader, StatusZeroEndsTheChannel) {
    const std::function<int(int)> calls[] = {[](int h) { return VKKRN_0x55_StartFlashLoader(h); },
                                             [](int h) { return VKKRN_0x55_StartFlashLoaderEx(h, 1); }};
    for (const auto& call : calls) {
        for (const int status : {1, 0}) {
            SCOPED_TRACE(status);
            sim_.reader().startSecuredChannel();
            reader_->Cipher().store(std::make_shared<FakeCipher>());
            sim_.reader().script(0x55, krnsim::Reply::frame(static_cast<std::uint8_t>(status)));
            EXPECT_EQ(call(handle_), status);
            EXPECT_TRUE(lastSecured()) << "0x55 itself travels wrapped";
            EXPECT_EQ(reader_->Cipher().holds(), status != 0);
            EXPECT_EQ(sim_.reader().securedChannelActive(), status != 0);
            unsigned char out[64];
            EXPECT_EQ(VKKRN_0x65_SoftVersion(handle_, 1, out, 0), 0);
            EXPECT_EQ(lastSecured(), status != 0);
            sim_.reader().endSecuredChannel();
            reader_->Cipher().reset();
        }
    }
}

TEST_F(FlashLoader, ReplyFromTheReadersOwnAddressWhileCheckingAddresses) {
    ASSERT_EQ(reader_->SetReaderPara("CHKRECBUSADR", "1"), 0);
    EXPECT_EQ(VKKRN_0x55_StartFlashLoader(handle_), -4037) << "sent to 0, answered from 1";
    EXPECT_EQ(VKKRN_0x55_StartFlashLoaderEx(handle_, 1), 0);
}

} // namespace

// The secured wrap on a TCP reader of the real libvktcp: a disconnection ends
// the channel (the reader's disconnection handler clears its cipher slot), also
// while another thread is inside an exchange that uses the cipher; 0x55 ends it
// on status 0.
#include "fake_cipher.h"
#include "internal_fixture.h"

#include <krnsim/frame.h>
#include <krnsim/simulator.h>
#include <vktcp.h>

#include "loaded_library.h"

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace {

using krnsim::Bytes;
using vkkrn::testing::FakeCipher;

class TcpSecured : public InternalTest {
  protected:
    void SetUp() override {
        InternalTest::SetUp();
        ASSERT_TRUE(tcp_.loaded());
        connect_ = tcp_.symbol<VKTCP_Connect_Fn>("VKTCP_Connect");
        disconnect_ = tcp_.symbol<VKTCP_DisConnect_Fn>("VKTCP_DisConnect");
        port_ = sim_.listenTcp().port;
        socket_ = connect_("127.0.0.1", port_);
        ASSERT_GT(socket_, 0);
        reader_ = newReader(socket_, &handle_);
        ASSERT_NE(reader_, nullptr);
        char key[] = "Timeout";
        char value[] = "3000";
        ASSERT_EQ(VKKRN_PI_SetPortPara(handle_, key, value), 0);
    }
    void TearDown() override {
        g_LibVkKrnDrvHnd.DeleteAllReaders();
        if (socket_ > 0) disconnect_(socket_);
        InternalTest::TearDown();
    }
    int exchange() {
        Bytes frame = krnsim::buildRequest(krnsim::Form::Standard, 1, 0x65, {});
        unsigned char rx[64];
        return VKKRN_SendTransparent(handle_, frame.data(), static_cast<int>(frame.size()), rx, sizeof rx, 0,
                                     0);
    }

    krnsim::Simulator sim_;
    LoadedLibrary tcp_{"libvktcp.so"};
    VKTCP_Connect_Fn connect_ = nullptr;
    VKTCP_DisConnect_Fn disconnect_ = nullptr;
    std::uint16_t port_ = 0;
    int socket_ = 0;
    std::shared_ptr<VKKRNReader> reader_;
    int handle_ = 0;
};

TEST_F(TcpSecured, ADisconnectionEndsTheChannelAndAReconnectedReaderSpeaksPlain) {
    sim_.reader().startSecuredChannel();
    sim_.reader().setHandler(0xB2, [](const krnsim::Request& r, krnsim::ConnectionContext&) {
        return krnsim::Reply::frame(0x00, r.data);
    });
    const auto cipher = std::make_shared<FakeCipher>();
    reader_->Cipher().store(cipher);
    EXPECT_EQ(exchange(), 15);
    EXPECT_TRUE(sim_.reader().log().entries().back().secured);
    for (const std::size_t n : {1u, 11u, 12u, 27u, 300u}) {
        const Bytes data(n, static_cast<std::uint8_t>(n));
        Bytes frame =
            krnsim::buildRequest(n > 250 ? krnsim::Form::Advanced : krnsim::Form::Standard, 1, 0xB2, data);
        std::vector<unsigned char> rx(400);
        const int got = VKKRN_SendTransparent(handle_, frame.data(), static_cast<int>(frame.size()),
                                              rx.data(), static_cast<int>(rx.size()), 0, 0);
        const Bytes expected =
            krnsim::buildReply(n > 249 ? krnsim::Form::Advanced : krnsim::Form::Standard, 1, 0xB2, 0, data);
        EXPECT_EQ(Bytes(rx.begin(), rx.begin() + (got > 0 ? got : 0)), expected) << n;
        EXPECT_EQ(sim_.reader().keystreamBlock(), cipher->nextBlock()) << n;
        EXPECT_EQ(sim_.reader().log().entries().back().data, data) << n;
    }

    EXPECT_EQ(disconnect_(socket_), 0);
    socket_ = 0;
    EXPECT_FALSE(reader_->Cipher().holds()) << "the disconnection handler ended the channel";
    sim_.reader().endSecuredChannel();

    socket_ = connect_("127.0.0.1", port_);
    ASSERT_GT(socket_, 0);
    ASSERT_EQ(reader_->SetReaderPara("PORTHND", std::to_string(socket_).c_str()), 0);
    sim_.reader().log().clear();
    EXPECT_EQ(exchange(), 15);
    ASSERT_EQ(sim_.reader().log().size(), 1u);
    EXPECT_FALSE(sim_.reader().log().entries()[0].secured) << "plain";
}

TEST_F(TcpSecured, DisconnectionsRacingExchangesAreSafe) {
    sim_.reader().startSecuredChannel();
    std::atomic<bool> stop{false};
    std::thread exchanger([&] {
        while (!stop.load())
            exchange(); // fails once the socket is gone; must not crash or race
    });
    for (int round = 0; round < 10; ++round) {
        sim_.reader().endSecuredChannel();
        sim_.reader().startSecuredChannel();
        reader_->Cipher().store(std::make_shared<FakeCipher>());
        const int socket = socket_;
        socket_ = 0;
        disconnect_(socket);
        EXPECT_FALSE(reader_->Cipher().holds());
        socket_ = connect_("127.0.0.1", port_);
        ASSERT_GT(socket_, 0);
        reader_->SetReaderPara("PORTHND", std::to_string(socket_).c_str());
    }
    stop = true;
    exchanger.join();
}

TEST_F(TcpSecured, FlashLoaderStatusZeroEndsTheChannel) {
    const std::function<int(int)> calls[] = {[](int h) { return VKKRN_0x55_StartFlashLoader(h); },
                                             [](int h) { return VKKRN_0x55_StartFlashLoaderEx(h, 1); }};
    for (const auto& call : calls) {
        for (const int status : {1, 0}) {
            SCOPED_TRACE(status);
            sim_.reader().startSecuredChannel();
            reader_->Cipher().store(std::make_shared<FakeCipher>());
            sim_.reader().script(0x55, krnsim::Reply::frame(static_cast<std::uint8_t>(status)));
            EXPECT_EQ(call(handle_), status);
            EXPECT_TRUE(sim_.reader().log().entries().back().secured) << "0x55 itself travels wrapped";
            EXPECT_EQ(reader_->Cipher().holds(), status != 0);
            EXPECT_EQ(sim_.reader().securedChannelActive(), status != 0);
            unsigned char out[64];
            EXPECT_EQ(VKKRN_0x65_SoftVersion(handle_, 1, out, 0), 0);
            EXPECT_EQ(sim_.reader().log().entries().back().secured, status != 0);
            sim_.reader().endSecuredChannel();
            reader_->Cipher().reset();
        }
    }
}

TEST_F(TcpSecured, FlashLoaderAnsweredFromTheReadersOwnAddressWhileCheckingAddresses) {
    ASSERT_EQ(reader_->SetReaderPara("CHKRECBUSADR", "1"), 0);
    EXPECT_EQ(VKKRN_0x55_StartFlashLoader(handle_), -4037) << "sent to 0, answered from 1";
    EXPECT_EQ(VKKRN_0x55_StartFlashLoaderEx(handle_, 1), 0);
}

} // namespace

// TCP readers on the real libvktcp, connected to a bare accepting socket.
#include "tcp_connection.h"

#include <vkkrn.h>
#include <vkkrn_plugin.h>
#include <vktesting/temp_dir.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include <sys/wait.h>
#include <unistd.h>

namespace {

class TcpReader : public vktesting::TempDirTest {
  protected:
    void SetUp() override {
        vktesting::TempDirTest::SetUp();
        socket = tcp.connect("127.0.0.1", listener.port());
        ASSERT_GT(socket, 0);
    }
    void TearDown() override {
        for (int h = VKKRN_GetReaderList(0); h > 0; h = VKKRN_GetReaderList(0))
            VKKRN_DeleteReader(h);
        if (socket > 0) tcp.disconnect(socket);
        vktesting::TempDirTest::TearDown();
    }

    vktesting::LoopbackListener listener;
    TcpLibrary tcp;
    int socket = 0;
};

TEST_F(TcpReader, TimeoutRoundTripsThroughThePlugIn) {
    const int reader = VKKRN_NewReader(socket);
    ASSERT_GT(reader, 0);
    char key[] = "Timeout";
    char value[128] = "321";
    EXPECT_EQ(VKKRN_PI_SetPortPara(reader, key, value), 0);
    EXPECT_EQ(tcp.get(socket, "TIMEOUT"), "321");
    ASSERT_EQ(tcp.setPara(socket, "TIMEOUT", "654"), 0);
    std::memset(value, 0, sizeof value);
    EXPECT_EQ(VKKRN_PI_GetPortPara(reader, key, value), 0);
    EXPECT_STREQ(value, "654");
}

TEST_F(TcpReader, SlotsTheBuiltInPlugInDoesNotOffer) {
    const int reader = VKKRN_NewReader(socket);
    char text[256] = {};
    EXPECT_EQ(VKKRN_PI_OpenPort(reader, text), -4005);
    EXPECT_EQ(VKKRN_PI_ClosePort(reader), -4005);
    EXPECT_EQ(VKKRN_PI_GetErrorText(reader, -1230, text), -4005);
    EXPECT_EQ(VKKRN_PI_GetDLLVersion(reader, text), 0);
    VKKRN_PlugIn plugIn;
    EXPECT_EQ(VKKRN_PI_Install(reader, &plugIn), -4054);
}

TEST_F(TcpReader, TcpCodesGetTheTcpLibrarysText) {
    for (int code : {-1201, -1230, -1299}) {
        char expected[256] = {};
        tcp.errorText(code, expected);
        char text[256];
        std::memset(text, 'x', sizeof text);
        EXPECT_EQ(VKKRN_GetErrorText(code, text), 0) << code;
        EXPECT_STREQ(text, expected) << code;
    }
}

TEST_F(TcpReader, DisconnectingBeforeAndAfterDeletion) {
    const int first = VKKRN_NewReader(socket);
    ASSERT_GT(first, 0);
    EXPECT_EQ(tcp.disconnect(socket), 0); // the reader hears of it
    socket = 0;
    EXPECT_EQ(VKKRN_DeleteReader(first), 0);
    const int again = tcp.connect("127.0.0.1", listener.port());
    ASSERT_GT(again, 0);
    const int second = VKKRN_NewReader(again);
    EXPECT_EQ(VKKRN_DeleteReader(second), 0);
    EXPECT_EQ(tcp.disconnect(again), 0); // nothing registered is left to call
}

// A process that exits with a TCP reader registered on a live socket: the readers
// go before the TCP library's own exit-time clean-up, which would otherwise call
// the handler of a destroyed reader.
TEST_F(TcpReader, ExitWithARegisteredReader) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const int other = tcp.connect("localhost", listener.port());
        if (VKKRN_NewReader(socket) <= 0 || other <= 0 || VKKRN_NewReader(other) <= 0) ::_exit(2);
        std::exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

} // namespace

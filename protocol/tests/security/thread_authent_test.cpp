// The authentication and the authenticated channel across threads: commands of
// another thread during handshakes, a disconnection during a handshake,
// disconnections racing deletion and port changes on one socket, and a program
// that exits with a live channel.
#include "sim_link.h"
#include "tcp_connection.h"

#include <krnsim/fault.h>
#include <vkkrn.h>

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace {

const krnsim::Bytes kKey(32, 0x5A);

class AuthentThreads : public ::testing::Test {
  protected:
    void SetUp() override { link_.sim.reader().setAuthenticationKey(kKey); }
    int authenticate(int reader) {
        krnsim::Bytes key = kKey;
        return VKKRN_0xAE_ReaderAuthent(reader, 1, 0, 2, 32, key.data(), 0);
    }

    SimLink link_{LinkKind::Tcp};
};

TEST_F(AuthentThreads, CommandsOfAnotherThreadNeverMeetAHalfBuiltChannel) {
    const int reader = link_.newReader("2000");
    std::atomic<bool> done{false};
    std::atomic<int> failures{0};
    std::thread commands([&] {
        unsigned char version[64];
        while (!done.load())
            if (VKKRN_0x65_SoftVersion(reader, 1, version, 0) != 0) failures.fetch_add(1);
    });
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(authenticate(reader), 0) << i;
    done.store(true);
    commands.join();
    EXPECT_EQ(failures.load(), 0);
    for (const krnsim::LogEntry& entry : link_.sim.reader().log().entries())
        EXPECT_TRUE(entry.command == 0xAE ? !entry.secured : entry.secured || entry.raw.at(2) == 0x65)
            << "each command wholly plain or wrapped";
    VKKRN_DeleteReader(reader);
}

TEST_F(AuthentThreads, ADisconnectionDuringTheSecondExchangeLeavesNoChannel) {
    const int reader = link_.newReader("2000");
    link_.sim.reader().queueFault(krnsim::Fault::delay(krnsim::Millis(0)).onlyCommand(0xAE));
    link_.sim.reader().queueFault(krnsim::Fault::delay(krnsim::Millis(400)).onlyCommand(0xAE));
    std::thread disconnect([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        link_.disconnect();
    });
    EXPECT_LT(authenticate(reader), 0);
    disconnect.join();
    char value[32] = {};
    ASSERT_EQ(VKKRN_GetReaderPara(reader, "FRAMESUPPORT", value), 0);
    EXPECT_STREQ(value, "STANDARD");
    VKKRN_DeleteReader(reader);
}

TEST_F(AuthentThreads, DisconnectionsRaceDeletionAndPortChanges) {
    TcpLibrary tcp;
    for (int i = 0; i < 10; ++i) {
        const int socket = tcp.connect("127.0.0.1", link_.tcpPort());
        const int other = tcp.connect("127.0.0.1", link_.tcpPort());
        ASSERT_GT(socket, 0);
        ASSERT_GT(other, 0);
        const int first = VKKRN_NewReader(socket);
        const int second = VKKRN_NewReader(socket);
        const int third = VKKRN_NewReader(socket);
        ASSERT_EQ(authenticate(third), 0);
        std::thread a([&] { tcp.disconnect(socket); });
        std::thread b([&] { VKKRN_DeleteReader(first); });
        std::thread c([&] { VKKRN_SetReaderPara(second, "PORTHND", std::to_string(other).c_str()); });
        a.join();
        b.join();
        c.join();
        VKKRN_DeleteReader(second);
        VKKRN_DeleteReader(third);
        tcp.disconnect(other);
    }
}

TEST_F(AuthentThreads, AProgramExitsWithALiveChannel) {
    const std::string port = std::to_string(link_.tcpPort());
    const std::string key(64, 'A');
    link_.sim.reader().setAuthenticationKey(krnsim::Bytes(32, 0xAA));
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::execl(VKKRN_AUTHENT_EXIT_CHILD, VKKRN_AUTHENT_EXIT_CHILD, port.c_str(), key.c_str(),
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(link_.sim.reader().authentications(), 1u);
}

} // namespace

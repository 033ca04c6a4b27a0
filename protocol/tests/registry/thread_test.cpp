// Readers used from several threads at once through the exports.
#include "plugin_library.h"
#include "tcp_connection.h"

#include <vkkrn.h>
#include <vkkrn_plugin.h>
#include <vktesting/temp_dir.h>
#include <vktesting/wait_until.h>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

class Threads : public vktesting::TempDirTest {
  protected:
    void TearDown() override {
        for (int h = VKKRN_GetReaderList(0); h > 0; h = VKKRN_GetReaderList(0))
            VKKRN_DeleteReader(h);
        vktesting::TempDirTest::TearDown();
    }
};

TEST_F(Threads, CreateListCallAndDeleteAtOnce) {
    constexpr int kThreads = 4;
    constexpr int kRounds = 50;
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            char key[] = "Timeout";
            char value[64];
            for (int i = 0; i < kRounds; ++i) {
                const int reader = VKKRN_NewReader(t % 2 == 0 ? 0 : VKKRN_PLUGIN);
                if (reader <= 0) ++failures;
                for (int h = VKKRN_GetReaderList(0); h > 0;) {
                    // Another thread may delete the reader under our feet.
                    const int r = VKKRN_PI_GetPortPara(h, key, value);
                    if (r != -4060 && r != -4023 && r != -4001) ++failures;
                    const int next = VKKRN_GetReaderList(h);
                    h = next == -4020 ? VKKRN_GetReaderList(0) : next;
                    if (h == reader) break;
                }
                if (VKKRN_DeleteReader(reader) != 0) ++failures;
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(VKKRN_GetReaderList(0), -4001);
}

TEST_F(Threads, AReaderDeletedDuringACallLivesUntilItReturns) {
    const int reader = VKKRN_NewReader(VKKRN_PLUGIN);
    VKKRN_PlugIn* plugIn = nullptr;
    ASSERT_EQ(VKKRN_PI_Get(testPlugInPath().c_str(), &plugIn), 0);
    ASSERT_EQ(VKKRN_PI_Install(reader, plugIn), 0);
    TestPlugInControls controls;
    controls.setResult(kSlotOpenPort, 42);
    controls.block(kSlotOpenPort);
    std::atomic<int> result{0};
    std::thread caller([&] { result = VKKRN_PI_OpenPort(reader, nullptr); });
    ASSERT_TRUE(vktesting::waitUntil([&] { return controls.waiting() == 1; }));

    EXPECT_EQ(VKKRN_DeleteReader(reader), 0); // returns at once: the reader is unlinked
    EXPECT_EQ(VKKRN_GetReaderList(0), -4001);
    EXPECT_EQ(VKKRN_PI_ClosePort(reader), -4001);
    EXPECT_EQ(controls.live(), 1); // still in use by the blocked call

    controls.unblock();
    caller.join();
    EXPECT_EQ(result.load(), 42);
    EXPECT_EQ(controls.live(), 0); // released by the last user, after the call
    EXPECT_NE(controls.log().find("open_port;cleanup;release:"), std::string::npos) << controls.log();
}

// A socket disconnected by one thread while another deletes its reader: the
// disconnection callback never reaches a reader being destroyed.
TEST_F(Threads, DisconnectRacingDeleteReader) {
    vktesting::LoopbackListener listener;
    TcpLibrary tcp;
    for (int round = 0; round < 8; ++round) {
        const int socket = tcp.connect("127.0.0.1", listener.port());
        ASSERT_GT(socket, 0);
        const int reader = VKKRN_NewReader(socket);
        ASSERT_GT(reader, 0);
        std::atomic<bool> go{false};
        std::thread disconnecting([&] {
            while (!go.load())
                std::this_thread::yield();
            tcp.disconnect(socket);
        });
        go = true;
        EXPECT_EQ(VKKRN_DeleteReader(reader), 0);
        disconnecting.join();
        listener.accept(std::chrono::milliseconds(0)); // drop the accepted side, if any
    }
}

} // namespace

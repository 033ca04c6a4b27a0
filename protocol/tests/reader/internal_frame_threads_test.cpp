// Frame exports, capture and the stop flags across threads.
#include "frame_oracle.h"
#include "internal_fixture.h"

#include <vktesting/wait_until.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

namespace oracle = vkkrn::codec::testing;

using FrameThreads = InternalTest;

int buildOn(int handle) {
    unsigned char data[4] = {1, 2, 3, 4};
    unsigned char frame[16];
    return VKKRN_BuildSendProtocol(handle, 1, 0xB0, data, 4, frame, 10);
}

TEST_F(FrameThreads, AnExportWaitsForItsReadersCommandOnly) {
    int busyHandle = 0;
    int otherHandle = 0;
    auto busy = newReader(0, &busyHandle);
    newReader(0, &otherHandle);
    auto command = busy->Lock();
    std::atomic<int> busyResult{-1};
    std::thread waiting([&] { busyResult = buildOn(busyHandle); });
    // Another reader's export is not held up by the busy reader.
    std::atomic<int> otherResult{-1};
    std::thread other([&] { otherResult = buildOn(otherHandle); });
    EXPECT_TRUE(vktesting::waitUntil([&] { return otherResult.load() == 9; }));
    EXPECT_EQ(busyResult.load(), -1) << "still waiting for the command lock";
    command.unlock();
    EXPECT_TRUE(vktesting::waitUntil([&] { return busyResult.load() == 9; }));
    waiting.join();
    other.join();
}

TEST_F(FrameThreads, PortHandleWaitsForARunningCommand) {
    int handle = 0;
    auto reader = newReader(0, &handle);
    auto command = reader->Lock();
    std::atomic<int> result{1};
    std::thread setter([&] { result = VKKRN_SetReaderPara(handle, "PORTHND", "268435457"); });
    EXPECT_EQ(result.load(), 1);
    command.unlock();
    EXPECT_TRUE(vktesting::waitUntil([&] { return result.load() == 0; }));
    setter.join();
    EXPECT_EQ(reader->GetCommMode(), 1);
}

TEST_F(FrameThreads, StopFlagsToggledWhileReadersLog) {
    writeFile("vkkrn.ini", "logfile");
    constexpr int kReaders = 2;
    std::vector<int> handles(kReaders);
    std::atomic<int> delivered{0};
    for (int& h : handles) {
        auto reader = newReader(0, &h);
        ASSERT_EQ(VKKRN_SetReaderPara(h, "LOGPROT", "1"), 0);
        reader->SetNotificationObserver([&](int, const unsigned char*, int, int) { delivered.fetch_add(1); });
    }
    std::atomic<bool> stop{false};
    std::vector<std::thread> loggers;
    for (const int h : handles) {
        loggers.emplace_back([&, h] {
            while (!stop.load()) {
                ASSERT_EQ(buildOn(h), 9);
                unsigned char prot[32];
                ASSERT_EQ(VKKRN_GetLastSendProt(h, prot, 1), 9);
            }
        });
    }
    char unused[4];
    for (int i = 0; i < 200; ++i) {
        ASSERT_EQ(VKKRN_SetReaderPara(0, i % 2 ? "UNLOCKPROTTOAPP" : "LOCKPROTTOAPP", ""), 0);
        const int ready = VKKRN_GetReaderPara(0, "ISPROTTOAPPLOCKED", unused);
        ASSERT_TRUE(ready == 0 || ready == 1);
    }
    stop = true;
    for (auto& t : loggers)
        t.join();
    ASSERT_EQ(VKKRN_SetReaderPara(0, "LOCKPROTTOAPP", ""), 0);
    EXPECT_EQ(VKKRN_GetReaderPara(0, "ISPROTTOAPPLOCKED", unused), 1) << "nothing is delivered any more";
    const int before = delivered.load();
    ASSERT_EQ(buildOn(handles[0]), 9);
    EXPECT_EQ(delivered.load(), before);
}

} // namespace

// Scan mode through the exports: what the simulated reader sends unasked on a
// pseudo-terminal reaches the event-4 handler while one is registered.
#include "loaded_library.h"
#include "sim_link.h"

#include <krnsim/frame.h>
#include <vkkrn.h>
#include <vktesting/temp_dir.h>
#include <vktesting/wait_until.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using krnsim::Bytes;
using namespace std::chrono_literals;

class ScanRecorder {
  public:
    static void callback(void* any, unsigned char* data, int value) {
        auto* self = static_cast<ScanRecorder*>(any);
        if (self->onEvent) self->onEvent();
        std::lock_guard<std::mutex> lock(self->mutex_);
        self->blocks_.emplace_back(data, data + (value > 0 ? value : 0));
    }
    _VKKRN_EVENT_INIT record() {
        _VKKRN_EVENT_INIT r{};
        r.pAny = this;
        r.uiUse = 4;
        r.uiFlag = 6;
        r.callback.form6 = &ScanRecorder::callback;
        return r;
    }
    std::vector<Bytes> blocks() {
        std::lock_guard<std::mutex> lock(mutex_);
        return blocks_;
    }
    Bytes joined() {
        Bytes all;
        for (const Bytes& b : blocks())
            all.insert(all.end(), b.begin(), b.end());
        return all;
    }
    std::function<void()> onEvent; // set before the handler is added

  private:
    std::mutex mutex_;
    std::vector<Bytes> blocks_;
};

class Scan : public vktesting::TempDirTest {
  protected:
    void SetUp() override {
        vktesting::TempDirTest::SetUp();
        link_ = std::make_unique<SimLink>(LinkKind::Pty);
        reader_ = VKKRN_NewReader(link_->handle);
        ASSERT_GT(reader_, 0);
        for (const krnsim::ConnectionInfo& c : link_->sim.connections())
            if (c.kind == krnsim::LinkKind::Pty) connection_ = c.id;
        ASSERT_NE(connection_, 0u);
        getPara_ = com_.symbol<int (*)(int, char*, char*)>("VIZER_GetPortPara");
    }
    void TearDown() override {
        VKKRN_DeleteReader(reader_);
        link_.reset();
        vktesting::TempDirTest::TearDown();
    }
    std::string para(const char* key) {
        std::string k = key;
        char value[64] = {};
        return getPara_(link_->handle, k.data(), value) == 0 ? value : "error";
    }
    void send(const Bytes& bytes) { link_->sim.send(connection_, bytes); }

    std::unique_ptr<SimLink> link_;
    LoadedLibrary com_{"libvkcom.so"};
    int (*getPara_)(int, char*, char*) = nullptr;
    krnsim::ConnectionId connection_ = 0;
    int reader_ = 0;
};

TEST_F(Scan, BlocksReachTheHandlerUntilItIsRemoved) {
    writeFile("vkkrn.ini", "logfile;loglevel=14");
    VKKRN_DeleteReader(reader_);
    reader_ = VKKRN_NewReader(link_->handle);
    const std::string timeout = para("Timeout");
    ScanRecorder recorder;
    _VKKRN_EVENT_INIT r = recorder.record();
    ASSERT_EQ(VKKRN_AddEventHandler(reader_, &r), 0);
    EXPECT_TRUE(vktesting::waitUntil([&] { return para("Timeout") == "10" && para("UseNUBO") == "0"; }));
    send({0x02, 0x0A, 0xFF});
    ASSERT_TRUE(vktesting::waitUntil([&] { return recorder.joined().size() >= 3; }));
    EXPECT_EQ(recorder.joined(), (Bytes{0x02, 0x0A, 0xFF}));

    ASSERT_EQ(VKKRN_SetReaderPara(reader_, "CONVHEXTOSTRING", "1"), 0);
    send({0x02, 0x0A, 0xFF});
    ASSERT_TRUE(vktesting::waitUntil([&] { return recorder.joined().size() >= 12; }));
    const Bytes all = recorder.joined();
    EXPECT_EQ(std::string(all.begin() + 3, all.end()), "02 0A FF ");

    _VKKRN_EVENT_INIT other = recorder.record();
    other.uiFlag = 3;
    EXPECT_EQ(VKKRN_AddEventHandler(reader_, &other), -4080) << "one scan thread";
    EXPECT_EQ(VKKRN_AddEventHandler(reader_, &r), 0) << "the same handler again";

    ASSERT_EQ(VKKRN_DelEventHandler(reader_, &r), 0);
    EXPECT_EQ(para("Timeout"), timeout);
    EXPECT_EQ(para("UseNUBO"), "1");
    const std::size_t before = recorder.joined().size();
    send({0x01});
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(recorder.joined().size(), before);
    const std::string log = readFile("vkkrn_log.txt");
    EXPECT_NE(log.find("Enter VKKRN_ThreadScanMode"), std::string::npos) << log;
    EXPECT_NE(log.find("VKKRN_ThreadScanMode: RecLen=3"), std::string::npos) << log;
    EXPECT_NE(log.find("VKKRN_ThreadScanMode: RecLen=9"), std::string::npos) << log;
    EXPECT_NE(log.find("Leave VKKRN_ThreadScanMode"), std::string::npos) << log;
}

// Once the handler is added the port is in scan mode: what the reader sends
// right after is delivered, not flushed as left over from before.
TEST_F(Scan, WhatComesRightAfterTheAddIsDelivered) {
    for (std::uint8_t round = 1; round <= 10; ++round) {
        ScanRecorder recorder;
        _VKKRN_EVENT_INIT r = recorder.record();
        ASSERT_EQ(VKKRN_AddEventHandler(reader_, &r), 0);
        EXPECT_EQ(para("UseNUBO"), "0");
        EXPECT_EQ(para("Timeout"), "10");
        send({round, 0x5A});
        EXPECT_TRUE(vktesting::waitUntil([&] { return recorder.joined().size() >= 2; }, 2s)) << int(round);
        EXPECT_EQ(recorder.joined(), (Bytes{round, 0x5A}));
        ASSERT_EQ(VKKRN_DelEventHandler(reader_, &r), 0);
    }
}

TEST_F(Scan, TheStopFlagSilencesAndADeliveryHoldsTheLock) {
    ScanRecorder recorder;
    std::atomic<bool> hold{false};
    std::atomic<bool> inside{false};
    std::atomic<int> command{1};
    recorder.onEvent = [&] {
        unsigned char frame[] = {0x05, 0x01, 0x65, 0x00, 0x00};
        unsigned char rx[32];
        command = VKKRN_SendTransparent(reader_, frame, sizeof frame, rx, sizeof rx, 1, 0);
        inside = true;
        while (hold.load())
            std::this_thread::sleep_for(1ms);
        inside = false;
    };
    _VKKRN_EVENT_INIT r = recorder.record();
    ASSERT_EQ(VKKRN_AddEventHandler(reader_, &r), 0);
    ASSERT_TRUE(vktesting::waitUntil([&] { return para("UseNUBO") == "0"; }));

    ASSERT_EQ(VKKRN_SetStopFlag(), 0);
    send({0x11, 0x22});
    std::this_thread::sleep_for(250ms); // the port's character time-out ends the block
    EXPECT_TRUE(recorder.blocks().empty()) << "silent while stopped";
    ASSERT_EQ(VKKRN_ClearStopFlag(), 0);

    hold = true;
    send({0x33});
    ASSERT_TRUE(vktesting::waitUntil([&] { return inside.load(); }));
    EXPECT_EQ(command.load(), -4032) << "a command from the handler";
    EXPECT_EQ(VKKRN_IsLockReady(), 0);
    hold = false;
    EXPECT_TRUE(vktesting::waitUntil([&] { return VKKRN_IsLockReady() == 1; }));
    ASSERT_TRUE(vktesting::waitUntil([&] { return !recorder.blocks().empty(); }));
    EXPECT_EQ(recorder.joined(), (Bytes{0x33}));
    EXPECT_EQ(VKKRN_DelEventHandler(reader_, &r), 0);
}

TEST_F(Scan, DeletionWhileTheScanDelivers) {
    ScanRecorder recorder;
    std::atomic<bool> inside{false};
    recorder.onEvent = [&] {
        inside = true;
        std::this_thread::sleep_for(100ms);
    };
    _VKKRN_EVENT_INIT r = recorder.record();
    ASSERT_EQ(VKKRN_AddEventHandler(reader_, &r), 0);
    ASSERT_TRUE(vktesting::waitUntil([&] { return para("UseNUBO") == "0"; }));
    send({0x44});
    ASSERT_TRUE(vktesting::waitUntil([&] { return inside.load(); }));
    EXPECT_EQ(VKKRN_DeleteReader(reader_), 0);
    reader_ = 0;
    EXPECT_EQ(recorder.blocks().size(), 1u) << "the delivery under way was waited out";
    send({0x55});
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(recorder.blocks().size(), 1u);
    EXPECT_EQ(para("UseNUBO"), "1");
}

TEST_F(Scan, StreamingWhileHandlersAndStopFlagsChange) {
    std::atomic<bool> stop{false};
    // Bursts with pauses longer than the port's character time-out (about 104 ms at 9600 baud), as
    // a scanner sends: the scan thread's receive ends at each pause, so a removal waits for one
    // burst at most, not for a stream that never pauses to fill the whole receive buffer.
    std::thread sender([&] {
        std::uint8_t n = 0;
        while (!stop.load()) {
            for (int i = 0; i < 5 && !stop.load(); ++i) {
                send({n++, 0x5A});
                std::this_thread::sleep_for(2ms);
            }
            std::this_thread::sleep_for(130ms);
        }
    });
    std::thread flags([&] {
        while (!stop.load()) {
            VKKRN_SetStopFlag();
            std::this_thread::sleep_for(1ms);
            VKKRN_ClearStopFlag();
            (void)VKKRN_IsLockReady();
            std::this_thread::sleep_for(1ms);
        }
    });
    for (int round = 0; round < 10; ++round) {
        ScanRecorder recorder;
        _VKKRN_EVENT_INIT r = recorder.record();
        ASSERT_EQ(VKKRN_AddEventHandler(reader_, &r), 0);
        std::this_thread::sleep_for(15ms);
        ASSERT_EQ(VKKRN_DelEventHandler(reader_, &r), 0);
    }
    stop = true;
    sender.join();
    flags.join();
    VKKRN_ClearStopFlag();
}

} // namespace

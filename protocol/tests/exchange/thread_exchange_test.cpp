// Exchanges of several threads on one reader, and handlers removed while
// another thread exchanges, against the simulated reader on loopback TCP.
#include "sim_link.h"

#include <krnsim/frame.h>
#include <vkkrn.h>
#include <vktesting/temp_dir.h>
#include <vktesting/wait_until.h>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

using krnsim::Bytes;

class ThreadExchange : public vktesting::TempDirTest {
  protected:
    void SetUp() override {
        vktesting::TempDirTest::SetUp();
        link_ = std::make_unique<SimLink>(LinkKind::Tcp);
        reader_ = VKKRN_NewReader(link_->handle);
        ASSERT_GT(reader_, 0);
        link_->sim.reader().setHandler(0xB2, [](const krnsim::Request& r, krnsim::ConnectionContext&) {
            return krnsim::Reply::frame(0x00, r.data);
        });
    }
    void TearDown() override {
        VKKRN_DeleteReader(reader_);
        link_.reset();
        vktesting::TempDirTest::TearDown();
    }
    // One echo exchange of `data`; true when the reply carries them.
    bool echo(const Bytes& data) {
        Bytes frame = krnsim::buildRequest(krnsim::Form::Standard, 1, 0xB2, data);
        unsigned char rx[300];
        const int n =
            VKKRN_SendTransparent(reader_, frame.data(), static_cast<int>(frame.size()), rx, sizeof rx, 0, 0);
        return n == static_cast<int>(data.size()) + 6 && Bytes(rx + 4, rx + 4 + data.size()) == data;
    }

    std::unique_ptr<SimLink> link_;
    int reader_ = 0;
};

TEST_F(ThreadExchange, EachThreadGetsItsOwnReply) {
    constexpr int kRounds = 50;
    std::atomic<int> good{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 3; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kRounds; ++i)
                good +=
                    echo(Bytes(static_cast<std::size_t>(1 + t * 7 + i % 5), static_cast<std::uint8_t>(t)));
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(good.load(), 3 * kRounds);
}

struct Context {
    std::atomic<int> calls{0};
};

void countInto(void* any, unsigned char*, int, int) {
    static_cast<Context*>(any)->calls.fetch_add(1);
}

TEST_F(ThreadExchange, ARemovedHandlerIsNeverCalledAgain) {
    ASSERT_EQ(VKKRN_SetReaderPara(reader_, "LOGPROT", "1"), 0);
    std::atomic<bool> stop{false};
    std::thread exchanger([&] {
        while (!stop.load())
            echo({1, 2, 3});
    });
    for (int round = 0; round < 20; ++round) {
        auto* context = new Context;
        _VKKRN_EVENT_INIT r{};
        r.pAny = context;
        r.uiUse = 1;
        r.uiFlag = 7;
        r.callback.form7 = &countInto;
        ASSERT_EQ(VKKRN_AddEventHandler(reader_, &r), 0);
        EXPECT_TRUE(
            vktesting::waitUntil([&] { return context->calls.load() > 0; }, std::chrono::seconds(10)));
        ASSERT_EQ(VKKRN_DelEventHandler(reader_, &r), 0);
        delete context; // at once: a later call would touch freed memory
    }
    stop = true;
    exchanger.join();
}

} // namespace

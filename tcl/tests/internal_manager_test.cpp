// The registry's handle counter and a worker thread that cannot start, on
// registries of the library's objects against a reader over a port plug-in.
#include "manager.h"
#include "transponder.h"

#include "sim_port_plugin.h"

#include <krnsim/tcl_card.h>
#include <vkkrn.h>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>

namespace {

class TclManager : public ::testing::Test {
  protected:
    void SetUp() override {
        reader_ = VKKRN_NewReader(VKKRN_PLUGIN);
        ASSERT_GT(reader_, 0);
        ASSERT_EQ(VKKRN_PI_Install(reader_, new SimPortPlugIn(*sim_)), 0);
        card_.install();
    }
    void TearDown() override {
        VKKRN_DeleteReader(reader_);
        sim_.reset(); // its thread may be inside the card's handler until it stops
    }

    std::unique_ptr<krnsim::Simulator> sim_ = std::make_unique<krnsim::Simulator>();
    krnsim::TclCard card_{sim_->reader()};
    int reader_ = 0;
};

TEST_F(TclManager, CounterWraps) {
    vktcl::VKManager manager(0x0FFFFFFE);
    EXPECT_EQ(manager.createNewVKTransponder(reader_, 1, 0, 0, false, false), 0x0FFFFFFF);
    EXPECT_EQ(manager.createNewVKTransponder(reader_, 1, 0, 0, false, false), 0x10000000);
    EXPECT_EQ(manager.createNewVKTransponder(reader_, 1, 0, 0, false, false), 1);
    EXPECT_EQ(manager.getVKTransponderList(0), 0x0FFFFFFF);
    EXPECT_EQ(manager.getVKTransponderList(0x10000000), 1);
}

std::atomic<int> g_callbacks{0};
void countingCallback(int, int, int) {
    ++g_callbacks;
}

TEST_F(TclManager, AWorkerThatCannotStart) {
    vktcl::VKManager manager(0, nullptr, [](std::thread&, std::function<void()>) { return false; });
    const int h = manager.createNewVKTransponder(reader_, 1, 0, 0, false, false);
    ASSERT_GT(h, 0);
    const auto t = manager.searchVKTransponder(h);
    ASSERT_NE(t, nullptr);
    _VKTCL_EVENT_INIT event{nullptr, 0, 0, 3, reinterpret_cast<void*>(&countingCallback)};
    const unsigned char apdu[] = {0x00, 0x84, 0x00, 0x00, 0x08};
    EXPECT_EQ(t->apdu(apdu, 5, &event), -4227);
    // Nothing runs: the transponder is free for the next APDU at once.
    EXPECT_EQ(t->apdu(apdu, 5, nullptr), 0);
    EXPECT_EQ(g_callbacks.load(), 0);
    EXPECT_TRUE(card_.apdus().size() == 1u);
}

} // namespace

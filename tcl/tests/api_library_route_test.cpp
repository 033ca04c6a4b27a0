// The reader library's route (an installed port plug-in): follow-up frames,
// waiting times, incomplete responses and a plug-in that reads nothing.
#include "tcl_link.h"

#include <chrono>

namespace {

using krnsim::CardAnswer;
using Clock = std::chrono::steady_clock;

class TclLibraryRoute : public TclLinkTest {
  protected:
    void SetUp() override { open(TclLink::PlugIn); }
};

TEST_F(TclLibraryRoute, FollowUpsAndOneRaise) {
    const int h = newTransponder();
    card_->setChainingSize(30);
    card_->setWaitingTimes({{10, 7, krnsim::Millis(0)}, {59, 14, krnsim::Millis(0)}});
    const Bytes a = apduOf(100);
    EXPECT_EQ(apdu(h, a), 0);
    EXPECT_EQ(response(h), echoed(a));
    // The first waiting time raises, the second (a follow-up) does not; then
    // the time-out read before is written back.
    const std::vector<int> set = plugIn_->setTimeouts();
    EXPECT_EQ(set, (std::vector<int>{586, kTimeoutMs}));
}

TEST_F(TclLibraryRoute, IncompleteLastBlock) {
    const int h = newTransponder();
    card_->setChainingSize(30);
    card_->setFaultHook([](std::vector<CardAnswer>& a) { a.erase(a.begin() + 1); });
    EXPECT_EQ(apdu(h, apduOf(100)), -4274);
    int rc = 0;
    response(h, &rc);
    EXPECT_EQ(rc, -4275);
}

TEST_F(TclLibraryRoute, EmptyReadsEndWithinTheTimeOut) {
    const int h = newTransponder();
    card_->setChainingSize(30);
    plugIn_->leaveReceiveToDefault = true;
    const auto start = Clock::now();
    EXPECT_EQ(apdu(h, apduOf(100)), -4238);
    const auto took = Clock::now() - start;
    EXPECT_GE(took, std::chrono::milliseconds(kTimeoutMs));
    EXPECT_LT(took, std::chrono::milliseconds(kTimeoutMs * 6));
}

TEST_F(TclLibraryRoute, ShortAnswers) {
    const struct {
        const char* name;
        std::function<void(std::vector<CardAnswer>&)> hook;
    } rows[] = {
        {"first", [](std::vector<CardAnswer>& a) { a[0].data.resize(2); }},
        {"follow-up", [](std::vector<CardAnswer>& a) { a[1].data.resize(1); }},
        {"waiting time", [](std::vector<CardAnswer>& a) { a[0].data.resize(4); }},
        {"0x96 without data",
         [](std::vector<CardAnswer>& a) {
             a[0] = CardAnswer{0x96, {}, {}, false, false};
         }},
    };
    const int h = newTransponder();
    card_->setChainingSize(30);
    card_->setWaitingTimes({{1, 1, krnsim::Millis(0)}});
    for (const auto& row : rows) {
        card_->setFaultHook(row.hook);
        EXPECT_EQ(apdu(h, apduOf(100)), -4273) << row.name;
    }
}

TEST_F(TclLibraryRoute, TimeOutsThatCannotBeReadOrSet) {
    const int h = newTransponder();
    card_->setWaitingTimes({{10, 7, krnsim::Millis(0)}});
    // A raise the port refuses is ignored on this route.
    plugIn_->failSet = true;
    EXPECT_EQ(apdu(h, apduOf(4)), plugIn_->kReceiveTimeout); // the restore's failure after a 0
    plugIn_->failSet = false;
    // A failed read: the restore writes back the last value read, never 0.
    plugIn_->failGet = true;
    plugIn_->timeoutMs = 400;
    EXPECT_EQ(apdu(h, apduOf(4)), 0);
    plugIn_->failGet = false;
    EXPECT_EQ(plugIn_->setTimeouts().back(), kTimeoutMs);
}

} // namespace

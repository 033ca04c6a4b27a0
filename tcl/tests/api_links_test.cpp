// APDUs, pings and deselects against the simulated card over the three links.
#include "tcl_link.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace {

using krnsim::AirBlock;
using krnsim::CardAnswer;
using Clock = std::chrono::steady_clock;

class TclLinks : public TclLinkTest {};

TEST_P(TclLinks, OneBlock) {
    const int h = newTransponder();
    const Bytes a{0x00, 0xA4, 0x04, 0x00, 0x02, 0x3F, 0x00};
    EXPECT_EQ(apdu(h, a), 0);
    EXPECT_EQ(response(h), echoed(a));
    ASSERT_EQ(card_->apdus().size(), 1u);
    EXPECT_EQ(card_->apdus()[0], a);
}

TEST_P(TclLinks, ChainedRequestAndResponse) {
    const int h = newTransponder(true, true, 5);
    const Bytes a = apduOf(600, 3);
    EXPECT_EQ(apdu(h, a), 0);
    EXPECT_EQ(response(h), echoed(a));
    ASSERT_EQ(card_->apdus().size(), 1u);
    EXPECT_EQ(card_->apdus()[0], a);
    std::vector<AirBlock> sent;
    for (const AirBlock& b : card_->airLog())
        if (!b.fromCard && b.kind == AirBlock::Kind::I) sent.push_back(b);
    ASSERT_EQ(sent.size(), 3u); // 602 bytes with CID and NAD, 247 per block
    EXPECT_TRUE(sent[0].chaining);
    EXPECT_TRUE(sent[1].chaining);
    EXPECT_FALSE(sent[2].chaining);
    EXPECT_EQ(sent[0].cid, std::optional<std::uint8_t>(5));
    EXPECT_EQ(sent[0].nad, std::optional<std::uint8_t>(0x21));
    EXPECT_FALSE(sent[1].cid.has_value());
}

// The card's answer blocks, changed by the fault hook, still make the response
// in id order when all of them come once.
TEST_P(TclLinks, AnswerDeliveries) {
    const struct {
        const char* name;
        std::function<void(std::vector<CardAnswer>&)> hook;
    } rows[] = {
        {"one write",
         [](std::vector<CardAnswer>& a) {
             for (auto& x : a)
                 x.sameWrite = true;
         }},
        {"gaps",
         [](std::vector<CardAnswer>& a) {
             for (auto& x : a)
                 x.delay = krnsim::Millis(15);
         }},
        {"permuted after the first",
         [](std::vector<CardAnswer>& a) {
             if (a.size() > 2) std::reverse(a.begin() + 1, a.end());
             for (auto& x : a)
                 x.sameWrite = true;
         }},
    };
    const int h = newTransponder();
    card_->setChainingSize(40);
    for (const auto& row : rows) {
        card_->setFaultHook(row.hook);
        const Bytes a = apduOf(150, 0x40);
        EXPECT_EQ(apdu(h, a), 0) << row.name;
        EXPECT_EQ(response(h), echoed(a)) << row.name;
    }
}

TEST_P(TclLinks, DuplicateIdTimesOutAndLeavesTheResponseIncomplete) {
    const int h = newTransponder();
    card_->setChainingSize(40);
    card_->setFaultHook([](std::vector<CardAnswer>& a) { a.insert(a.begin() + 1, a[1]); });
    EXPECT_EQ(apdu(h, apduOf(100)), timeoutCode());
    int rc = 0;
    response(h, &rc);
    EXPECT_EQ(rc, -4275);
}

TEST_P(TclLinks, WaitingTimeRaisesTheTimeOutForTheExchangeOnly) {
    const int h = newTransponder();
    // 586 ms wanted; the data come 350 ms after the request, past the 150 ms base.
    card_->setWaitingTimes({{10, 7, krnsim::Millis(350)}});
    const Bytes a = apduOf(20);
    EXPECT_EQ(apdu(h, a), 0);
    EXPECT_EQ(response(h), echoed(a));
    EXPECT_EQ(portTimeout(), kTimeoutMs);
    // The card falls silent after its request: the exchange fails, the
    // time-out is still restored.
    card_->setFaultHook([](std::vector<CardAnswer>& x) { x.resize(1); });
    EXPECT_EQ(apdu(h, a), timeoutCode());
    EXPECT_EQ(portTimeout(), kTimeoutMs);
}

TEST_P(TclLinks, IsoErrorStatus) {
    const int h = newTransponder();
    card_->setIsoError(0x6A);
    EXPECT_EQ(apdu(h, apduOf(5)), 0x96);
    EXPECT_EQ(response(h), Bytes{0x6A});
}

// An error status after data blocks: the card's error byte is the response.
TEST_P(TclLinks, IsoErrorAfterDataBlocks) {
    const int h = newTransponder();
    card_->setChainingSize(20);
    card_->setFaultHook([](std::vector<CardAnswer>& a) {
        ASSERT_GE(a.size(), 3u);
        a.back() = CardAnswer{0x96, Bytes{0x6A}};
    });
    // The reader library's route ends a follow-up 0x96 with 0.
    EXPECT_EQ(apdu(h, apduOf(60)), kind_ == TclLink::PlugIn ? 0 : 0x96);
    int rc = 0;
    EXPECT_EQ(response(h, &rc), Bytes{0x6A});
    EXPECT_EQ(rc, 1);
}

// A reader that keeps answering one request block is cut off with -4271: by
// the number of its frames, or by the size of the response. (The port time-out
// is raised: thousands of frames must not find a gap on a loaded machine.)
TEST_P(TclLinks, WaitingTimeFramesWithoutEndAreCutOff) {
    ASSERT_EQ(setPortPara("Timeout", "3000"), 0);
    const int h = newTransponder();
    constexpr std::size_t kFlood = 5000;
    card_->setFaultHook([](std::vector<CardAnswer>& a) {
        std::vector<CardAnswer> flood;
        for (std::size_t id = 0; id < kFlood; ++id)
            flood.push_back(
                CardAnswer{0x94,
                           Bytes{1, static_cast<std::uint8_t>(id >> 8), static_cast<std::uint8_t>(id), 0, 0},
                           {},
                           false,
                           true});
        for (CardAnswer& x : a) {
            const std::size_t id = (static_cast<std::size_t>(x.data[1]) << 8 | x.data[2]) + kFlood;
            x.data[1] = static_cast<std::uint8_t>(id >> 8);
            x.data[2] = static_cast<std::uint8_t>(id);
            x.sameWrite = true;
        }
        a.insert(a.begin(), flood.begin(), flood.end());
    });
    EXPECT_EQ(apdu(h, apduOf(8)), -4271);
}

TEST_P(TclLinks, AResponseBeyondItsLimitIsCutOff) {
    ASSERT_EQ(setPortPara("Timeout", "3000"), 0);
    const int h = newTransponder();
    card_->setModel([](const Bytes&) { return Bytes(70000, 0x33); });
    EXPECT_EQ(apdu(h, apduOf(8)), -4271);
}

TEST_P(TclLinks, FailuresOfTheReaderAndTheLine) {
    const int h = newTransponder();
    card_->setPresent(false);
    EXPECT_EQ(apdu(h, apduOf(5)), 1);
    card_->setPresent(true);
    card_->setFaultHook([](std::vector<CardAnswer>& a) { a[0].badCrc = true; });
    EXPECT_EQ(apdu(h, apduOf(5)), -4031);
    card_->setFaultHook([](std::vector<CardAnswer>& a) { a.clear(); });
    const auto start = Clock::now();
    EXPECT_EQ(apdu(h, apduOf(5)), timeoutCode());
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(2));
    card_->setFaultHook({});
    EXPECT_EQ(apdu(h, apduOf(5)), 0);
}

TEST_P(TclLinks, MuteCard) {
    const int h = newTransponder();
    card_->setMute(2); // within the reader's retries
    EXPECT_EQ(apdu(h, apduOf(5)), 0);
    card_->setMute(3);
    EXPECT_EQ(apdu(h, apduOf(5)), 1);
    int naks = 0;
    for (const AirBlock& b : card_->airLog())
        naks += b.kind == AirBlock::Kind::RNak ? 1 : 0;
    EXPECT_EQ(naks, 4);
}

TEST_P(TclLinks, PingDeselectAndResponseState) {
    const int h = newTransponder(true, false, 9);
    int rc = 0;
    response(h, &rc);
    EXPECT_EQ(rc, -4209); // nothing sent yet
    const Bytes a = apduOf(10);
    EXPECT_EQ(apdu(h, a), 0);
    Bytes exact(a.size() + 2, 0xEE);
    EXPECT_EQ(VKTCL_GetResponseData(h, exact.data(), static_cast<int>(exact.size()) - 1), -4257);
    EXPECT_EQ(exact, Bytes(a.size() + 2, 0xEE)); // nothing written
    EXPECT_EQ(VKTCL_GetResponseData(h, exact.data(), static_cast<int>(exact.size())), 12);
    EXPECT_EQ(exact, echoed(a));
    EXPECT_EQ(VKTCL_Ping(h), 0);
    response(h, &rc);
    EXPECT_EQ(rc, -4209); // a ping leaves no response
    EXPECT_EQ(VKTCL_Deselect(h), 0);
    EXPECT_TRUE(card_->halted());
    EXPECT_EQ(VKTCL_Ping(h), 1);
    EXPECT_EQ(apdu(h, a), 1);
    std::vector<AirBlock::Kind> kinds;
    for (const AirBlock& b : card_->airLog())
        if (b.kind != AirBlock::Kind::I) kinds.push_back(b.kind);
    // A halted card hears nothing more.
    EXPECT_EQ(kinds, (std::vector<AirBlock::Kind>{AirBlock::Kind::Presence, AirBlock::Kind::SDeselect}));
}

TEST_P(TclLinks, WrongCidFindsNoCard) {
    const int h = newTransponder(true, false, 9);
    card_->setCid(8);
    EXPECT_EQ(apdu(h, apduOf(4)), 1);
    EXPECT_EQ(VKTCL_Ping(h), 1);
}

TEST_P(TclLinks, EmptyApduNoLongerHandsOutTheLastResponse) {
    const int h = newTransponder();
    EXPECT_EQ(apdu(h, apduOf(4)), 0);
    unsigned char none = 0;
    EXPECT_EQ(VKTCL_Apdu(h, &none, 0, nullptr), 0);
    int rc = 0;
    response(h, &rc);
    EXPECT_EQ(rc, -4275);
}

INSTANTIATE_TEST_SUITE_P(Links, TclLinks, ::testing::Values(TclLink::Serial, TclLink::Tcp, TclLink::PlugIn),
                         tclLinkName);

// The direct routes: frames cut to the reader's receive buffer, and answers
// that came after a time-out.
class TclDirect : public TclLinkTest {};

TEST_P(TclDirect, BlocksFitTheReceiveBuffer) {
    const struct {
        std::size_t apdu;
        bool cid, nad;
        std::vector<std::uint8_t> modes;
    } rows[] = {
        {250, false, false, {0xC1, 0x01}},
        {247, true, true, {0xC7, 0x07}},
        {248, false, false, {0x81}},
    };
    for (const auto& row : rows) {
        const int h = newTransponder(row.cid, row.nad, 3);
        sim_->reader().log().clear();
        const Bytes a = apduOf(row.apdu);
        EXPECT_EQ(apdu(h, a), 0) << row.apdu;
        EXPECT_EQ(response(h), echoed(a)) << row.apdu;
        const auto requests = isoRequests();
        ASSERT_EQ(requests.size(), row.modes.size()) << row.apdu;
        for (std::size_t i = 0; i < requests.size(); ++i) {
            EXPECT_LE(requests[i].raw.size(), 256u) << row.apdu;
            EXPECT_EQ(requests[i].data.at(1), row.modes[i]) << row.apdu;
        }
        EXPECT_EQ(card_->apdus().back(), a);
        VKTCL_DeleteTransponder(h);
    }
}

TEST_P(TclDirect, AnAnswerAfterTheTimeOutIsNotTheNextOne) {
    const int h = newTransponder();
    card_->setResponseTime(krnsim::Millis(kTimeoutMs + 60));
    EXPECT_EQ(apdu(h, apduOf(4, 0x10)), timeoutCode());
    std::this_thread::sleep_for(std::chrono::milliseconds(150)); // the late answer is waiting now
    card_->setResponseTime(krnsim::Millis(0));
    const Bytes second = apduOf(4, 0x20);
    EXPECT_EQ(apdu(h, second), 0);
    EXPECT_EQ(response(h), echoed(second));
}

TEST_P(TclDirect, TcpLengthFramingBackAfterEachExchange) {
    const int h = newTransponder();
    card_->setChainingSize(20);
    EXPECT_EQ(apdu(h, apduOf(60)), 0);
    card_->setFaultHook([](std::vector<CardAnswer>& a) { a.clear(); });
    EXPECT_EQ(apdu(h, apduOf(4)), timeoutCode());
    if (kind_ == TclLink::Tcp) {
        char key[] = "UseNUBO";
        char value[128] = {};
        EXPECT_EQ(VKKRN_PI_GetPortPara(reader_, key, value), 0);
        EXPECT_STREQ(value, "1");
    }
    EXPECT_EQ(portTimeout(), kTimeoutMs);
}

TEST_P(TclDirect, FirstAnswerIdAboveZero) {
    const int h = newTransponder();
    card_->setFaultHook([](std::vector<CardAnswer>& a) { a[0].data[2] = 1; });
    // Ping and deselect of a TCP reader go through the reader library, which
    // takes the first answer as block 0; the direct route waits for block 0.
    if (kind_ == TclLink::Tcp) {
        EXPECT_EQ(VKTCL_Ping(h), 0);
    }
    EXPECT_EQ(apdu(h, apduOf(3)), timeoutCode());
}

INSTANTIATE_TEST_SUITE_P(Links, TclDirect, ::testing::Values(TclLink::Serial, TclLink::Tcp), tclLinkName);

} // namespace

// The authenticated channel after a spoilt reply, through the exports of
// libvkkrn.so against the simulated reader on loopback TCP and a
// pseudo-terminal. Host and reader advance one cipher stream exchange by
// exchange, so a reply the host could not take leaves the two ends out of step:
// every later exchange must fail (never hand over data), its requests must stay
// enciphered, and one new authentication must bring the channel back.
#include "sim_link.h"

#include <krnsim/frame.h>
#include <vkkrn.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

namespace {

using krnsim::Bytes;
using krnsim::Fault;

const Bytes kKey = {0x2B, 0x7E, 0x15, 0x16, 0x28, 0xAE, 0xD2, 0xA6,
                    0xAB, 0xF7, 0x15, 0x88, 0x09, 0xCF, 0x4F, 0x3C};
const Bytes kVersion = {0x01, 0x02, 0x03, 0x4B, 0x00, 0x10, 0x00, 0x10, 0x00};
constexpr std::uint8_t kUntouched = 0xEE;
// The inner reply frame is missing or does not check: the ends are out of step.
constexpr int kErrLength = -4030;

class AuthentFaults : public ::testing::TestWithParam<LinkKind> {
  protected:
    void SetUp() override {
        link_ = std::make_unique<SimLink>(GetParam());
        sim().setAuthenticationKey(kKey);
        sim().setHandler(0xB2, [](const krnsim::Request& r, krnsim::ConnectionContext&) {
            return krnsim::Reply::frame(0x00, r.data);
        });
        reader_ = link_->newReader("60");
        ASSERT_EQ(VKKRN_SetReaderPara(reader_, "CHKRECBUSADR", "1"), 0);
    }
    void TearDown() override {
        if (reader_ > 0) VKKRN_DeleteReader(reader_);
        link_.reset();
    }

    krnsim::Reader& sim() { return link_->sim.reader(); }
    int authenticate() {
        Bytes key = kKey;
        return VKKRN_0xAE_ReaderAuthent(reader_, 1, 0x00, 0, 16, key.data(), 0);
    }
    int lastError() {
        int code = 1;
        char text[256];
        VKKRN_GetLastError(reader_, &code, text);
        return code;
    }

  public:
    // One exchange that tells whether it got its own reply: 0x65 through its
    // export, or an echoing 0xB2 frame through VKKRN_SendTransparent or through
    // VKKRN_Transmit and VKKRN_Receive. The
    // result, and whether the outputs are its own reply (`own`) or as a failure
    // must leave them (`untouched`).
    struct Result {
        int code = 0;
        bool own = false;
        bool untouched = false;
    };
    Result version() {
        std::vector<unsigned char> out(64, kUntouched);
        Result r;
        r.code = VKKRN_0x65_SoftVersion(reader_, 1, out.data(), 0);
        r.own = std::equal(kVersion.begin(), kVersion.end(), out.begin()) && out[kVersion.size()] == 0;
        r.untouched =
            out[0] == 0 && std::all_of(out.begin() + 1, out.end(), [](auto b) { return b == kUntouched; });
        return r;
    }
    Result transparent() {
        const Bytes data = {0x51, 0x52, 0x53, 0x54};
        Bytes frame = krnsim::buildRequest(krnsim::Form::Standard, 1, 0xB2, data);
        const Bytes reply = krnsim::buildReply(krnsim::Form::Standard, 1, 0xB2, 0x00, data);
        std::vector<unsigned char> rx(64, kUntouched);
        Result r;
        r.code = VKKRN_SendTransparent(reader_, frame.data(), static_cast<int>(frame.size()), rx.data(),
                                       static_cast<int>(rx.size()), 0, 0);
        r.own =
            r.code == static_cast<int>(reply.size()) && std::equal(reply.begin(), reply.end(), rx.begin());
        r.untouched = std::all_of(rx.begin(), rx.end(), [](auto b) { return b == kUntouched; });
        return r;
    }
    // The same kind of frame sent with VKKRN_Transmit, its reply read with
    // VKKRN_Receive.
    Result received() {
        const Bytes data = {0x61, 0x62, 0x63};
        Bytes frame = krnsim::buildRequest(krnsim::Form::Standard, 1, 0xB2, data);
        const Bytes reply = krnsim::buildReply(krnsim::Form::Standard, 1, 0xB2, 0x00, data);
        std::vector<unsigned char> rx(64, kUntouched);
        Result r;
        r.code = VKKRN_Transmit(reader_, frame.data(), static_cast<int>(frame.size()), 0, 0);
        if (r.code >= 0) r.code = VKKRN_Receive(reader_, rx.data(), static_cast<int>(rx.size()), 0);
        r.own =
            r.code == static_cast<int>(reply.size()) && std::equal(reply.begin(), reply.end(), rx.begin());
        r.untouched = std::all_of(rx.begin(), rx.end(), [](auto b) { return b == kUntouched; });
        return r;
    }

  protected:
    // The requests the simulated reader received since the log was cleared
    // that were not enciphered (neither 0xAE nor 0xAF on the wire).
    std::size_t plainRequests() {
        std::size_t plain = 0;
        for (const auto& entry : sim().log().entries()) {
            const Bytes& raw = entry.raw;
            const std::uint8_t command = raw.at(0) == krnsim::kAdvancedMark ? raw.at(4) : raw.at(2);
            plain += command != 0xAE && command != 0xAF;
        }
        return plain;
    }

    std::unique_ptr<SimLink> link_;
    int reader_ = 0;
};

TEST_P(AuthentFaults, ASpoiltReplyLeavesTheChannelFailingUntilOneNewAuthentication) {
    struct Row {
        const char* name;
        Fault fault;
        int code; // 0: the port's receive time-out
    };
    Row rows[] = {
        {"bad CRC", Fault::badCrc(), -4031},
        {"wrong command", Fault::wrongCommand(0x65), -4035},
        {"wrong bus address", Fault::wrongAddress(7), -4037},
        {"cut short", Fault::truncate(3), 0},
        {"no reply", Fault::silence(), 0},
    };
    using Exchange = Result (AuthentFaults::*)();
    const std::pair<const char*, Exchange> exchanges[] = {
        {"0x65 export", &AuthentFaults::version},
        {"transparent 0xB2", &AuthentFaults::transparent},
        {"0xB2 sent, then received", &AuthentFaults::received}};
    for (Row& row : rows) {
        for (const auto& [name, exchange] : exchanges) {
            SCOPED_TRACE(std::string(row.name) + ", then " + name);
            ASSERT_EQ(authenticate(), 0);
            sim().log().clear();
            sim().queueFault(row.fault.onlyCommand(0xAF));
            const Result faulted = version();
            EXPECT_EQ(faulted.code, row.code != 0 ? row.code : link_->timeoutCode());
            EXPECT_TRUE(faulted.untouched);
            ASSERT_EQ(sim().queuedFaults(), 0u);

            // The reader cannot read what the host enciphers now and answers
            // without data: no inner reply frame, whichever exchange it is.
            for (int again = 0; again < 2; ++again) {
                const Result out = (this->*exchange)();
                EXPECT_EQ(out.code, kErrLength) << again;
                EXPECT_TRUE(out.untouched) << again;
                EXPECT_EQ(lastError(), kErrLength);
            }
            EXPECT_EQ(plainRequests(), 0u) << "the host keeps its channel: nothing goes in plain";

            ASSERT_EQ(authenticate(), 0);
            const Result restored = (this->*exchange)();
            EXPECT_GE(restored.code, 0);
            EXPECT_TRUE(restored.own);
            EXPECT_EQ(plainRequests(), 0u);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Links, AuthentFaults, ::testing::Values(LinkKind::Tcp, LinkKind::Pty),
                         [](const auto& info) { return linkName(info.param); });

} // namespace

// APDUs on an authenticated reader (AES-128 and AES-256) over the three links:
// every request block and every answer travel enciphered inside 0xAF, and the
// channel stays in step for the reader's commands afterwards.
#include "tcl_link.h"

#include <krnsim/fault.h>

#include <functional>
#include <optional>

namespace {

using krnsim::Bytes;
using krnsim::TclCard;

// 32 key bytes; key type 0 uses the first 16.
const Bytes kKey = {0x60, 0x3D, 0xEB, 0x10, 0x15, 0xCA, 0x71, 0xBE, 0x2B, 0x73, 0xAE,
                    0xF0, 0x85, 0x7D, 0x77, 0x81, 0x1F, 0x35, 0x2C, 0x07, 0x3B, 0x61,
                    0x08, 0xD7, 0x2D, 0x98, 0x10, 0xA3, 0x09, 0x14, 0xDF, 0xF4};
const Bytes kVersion = {0x01, 0x02, 0x03, 0x4B, 0x00, 0x10, 0x00, 0x10, 0x00};

class TclAuthenticated : public TclLinkTest {
  protected:
    void SetUp() override {
        TclLinkTest::SetUp();
        sim_->reader().setAuthenticationKey(kKey);
    }
    int authenticate(int keyType) {
        Bytes key = kKey;
        return VKKRN_0xAE_ReaderAuthent(reader_, krnsim::Reader::kDefaultBusAddress, 0x00, keyType,
                                        16 + 8 * keyType, key.data(), 0);
    }
    void plainCard() {
        card_->setChainingSize(0);
        card_->setWaitingTimes({});
        card_->setIsoError(std::nullopt);
        card_->setFaultHook({});
    }
};

TEST_P(TclAuthenticated, ApdusAndACommandAfterThem) {
    struct Row {
        const char* name;
        std::function<void(TclCard&)> arrange;
        Bytes apdu;
        int result;
        std::optional<Bytes> response; // none: the APDU echoed
    };
    const Row rows[] = {
        {"one block", {}, apduOf(7), 0, {}},
        // Three request blocks (602 bytes with CID and NAD) and 16 answer blocks.
        {"chained both ways", [](TclCard& c) { c.setChainingSize(40); }, apduOf(600, 3), 0, {}},
        // 586 ms wanted; the data come after the 150 ms base time-out.
        {"waiting time",
         [](TclCard& c) {
             c.setWaitingTimes({{10, 7, krnsim::Millis(kTimeoutMs + 200)}});
         },
         apduOf(20),
         0,
         {}},
        {"ISO error", [](TclCard& c) { c.setIsoError(0x6A); }, apduOf(5), 0x96, Bytes{0x6A}},
    };
    for (const int keyType : {0, 2}) {
        SCOPED_TRACE(keyType == 0 ? "AES-128" : "AES-256");
        ASSERT_EQ(authenticate(keyType), 0);
        const int h = newTransponder(true, true, 5);
        for (const Row& row : rows) {
            SCOPED_TRACE(row.name);
            plainCard();
            if (row.arrange) row.arrange(*card_);
            sim_->reader().log().clear();
            EXPECT_EQ(apdu(h, row.apdu), row.result);
            EXPECT_EQ(response(h), row.response ? *row.response : echoed(row.apdu));
            ASSERT_FALSE(card_->apdus().empty());
            EXPECT_EQ(card_->apdus().back(), row.apdu);
            const auto requests = isoRequests();
            EXPECT_FALSE(requests.empty());
            for (const krnsim::LogEntry& request : requests)
                EXPECT_TRUE(request.secured);
            EXPECT_EQ(portTimeout(), kTimeoutMs);
        }
        EXPECT_EQ(VKTCL_DeleteTransponder(h), 0);
        unsigned char version[64] = {};
        EXPECT_EQ(VKKRN_0x65_SoftVersion(reader_, krnsim::Reader::kDefaultBusAddress, version, 0), 0);
        EXPECT_EQ(Bytes(version, version + kVersion.size()), kVersion);
    }
    EXPECT_EQ(sim_->reader().authentications(), 2u);
}

// The second and last answer comes without an inner frame (a 0xAF reply
// without data): the APDU fails, and its response is incomplete.
TEST_P(TclAuthenticated, AnAnswerWithoutAnInnerFrameFailsTheApdu) {
    ASSERT_EQ(authenticate(0), 0);
    const int h = newTransponder();
    card_->setChainingSize(60); // 102 response bytes in two answers
    krnsim::Reader& reader = sim_->reader();
    reader.queueFault(krnsim::Fault::delay(krnsim::Millis(0)).onlyCommand(0xAF)); // the first as it is
    reader.queueFault(
        krnsim::Fault::raw(
            krnsim::buildReply(krnsim::Form::Advanced, krnsim::Reader::kDefaultBusAddress, 0xAF, 0x00, {}))
            .onlyCommand(0xAF));
    EXPECT_EQ(apdu(h, apduOf(100)), -4030);
    int rc = 0;
    response(h, &rc);
    EXPECT_EQ(rc, -4275);
}

INSTANTIATE_TEST_SUITE_P(Links, TclAuthenticated,
                         ::testing::Values(TclLink::Serial, TclLink::Tcp, TclLink::PlugIn), tclLinkName);

} // namespace

// The dongle reader end to end over the tag field behind the simulated
// dongle: ISO 14443-A requests, select, RATS, PPS, DESELECT and the
// collect-all anticollision, with frames chunked (the default) and in one
// report each.
#include "frame_fixture.h"
#include "kesto_reader.h"

#include <rfsim/iso14443a_tag.h>

#include <algorithm>
#include <memory>

namespace kestoreader_test {
namespace {

using rfsim::Iso14443aTag;
using State = Iso14443aTag::State;
namespace natives = vemlasdknative::natives;

const Bytes kFailed{3};

// {0, bytes...} padded with zeros to the receive maximum, as the request
// natives return it.
Bytes wholeBuffer(const Bytes& bytes) {
    Bytes out = join({0}, bytes);
    out.resize(1 + Qm30::kMaxLength, 0);
    return out;
}

class DongleFieldTest : public FrameTest, public ::testing::WithParamInterface<bool> {
  protected:
    void SetUp() override {
        FrameTest::SetUp();
        if (GetParam()) singleReport();
        mode(2);
    }

    Iso14443aTag& place(Bytes uid, std::uint8_t sak = 0x20) {
        Iso14443aTag::Config config;
        config.uid = std::move(uid);
        config.sak = sak;
        return firmware().field().add(std::make_unique<Iso14443aTag>(config));
    }
};

TEST_P(DongleFieldTest, RequestsWakeTagsAndHaltKeepsThemAsleep) {
    Iso14443aTag& tag = place({0x11, 0x22, 0x33, 0x44}, 0x08);
    const auto c = tag.cascadeBytes(1);
    const Bytes select{0x93, 0x70, c[0], c[1], c[2], c[3], c[4]};
    EXPECT_EQ(natives::sendReqA(), wholeBuffer({0x04, 0x00}));
    // A SELECT in frame mode 0 goes with the CRC flag and answers the SAK.
    EXPECT_EQ(natives::sendReceive14443a(0, select), (Bytes{0, 0x08}));
    EXPECT_EQ(tag.state(), State::Active);

    // HLTA (frame mode 0 runs the halt routine too): only WUPA wakes the tag.
    EXPECT_EQ(natives::sendHltA(), wholeBuffer({}));
    EXPECT_EQ(tag.state(), State::Halt);
    EXPECT_EQ(natives::sendReqA(), kFailed);
    EXPECT_EQ(natives::sendWupA(), wholeBuffer({0x04, 0x00}));
    EXPECT_EQ(natives::sendReceive14443a(0, select), (Bytes{0, 0x08}));
    EXPECT_EQ(natives::sendReceive14443a(0, {0x50, 0x00}), wholeBuffer({}));
    EXPECT_EQ(tag.state(), State::Halt);
    EXPECT_EQ(natives::sendReqA(), kFailed);

    // A SAK without 0x20: RATS gets no ATS. A 7-bit frame in frame mode 1
    // carries its own flag.
    EXPECT_EQ(natives::sendReceive14443a(1, {0x52, 0x07}), (Bytes{0, 0x04, 0x00}));
    EXPECT_EQ(natives::sendReceive14443a(0, select), (Bytes{0, 0x08}));
    EXPECT_EQ(natives::sendRats(), kFailed);
    EXPECT_EQ(tag.state(), State::Idle);
}

TEST_P(DongleFieldTest, SelectRatsPpsAndDeselectForEachUidSize) {
    const Bytes uids[] = {
        {0x01, 0x02, 0x03, 0x04},
        {0x04, 0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC},
        {0x05, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88, 0x99},
    };
    for (const Bytes& uid : uids) {
        SCOPED_TRACE(hex(uid));
        Iso14443aTag& tag = place(uid);
        EXPECT_EQ(natives::selectTag14443A(uid), 0);
        EXPECT_EQ(tag.state(), State::Protocol);
        EXPECT_EQ(natives::sendPps(), (Bytes{0, 0xD0}));
        EXPECT_EQ(natives::deselectTag14443A(uid), 0);
        EXPECT_EQ(tag.state(), State::Halt);
        EXPECT_EQ(natives::selectTag14443A(uid), 0); // woken by WUPA
        EXPECT_EQ(natives::deselectTag14443A(uid), 0);
        firmware().field().remove(tag);
    }
    // Nobody there.
    EXPECT_EQ(natives::selectTag14443A(uids[0]), 97);
    EXPECT_EQ(natives::deselectTag14443A(uids[0]), 97);
}

TEST_P(DongleFieldTest, RatsAnswersTheAts) {
    Iso14443aTag& tag = place({0x01, 0x02, 0x03, 0x04});
    ASSERT_EQ(natives::sendReqA(), wholeBuffer({0x04, 0x00}));
    const auto c = tag.cascadeBytes(1);
    ASSERT_EQ(natives::sendReceive14443a(0, {0x93, 0x70, c[0], c[1], c[2], c[3], c[4]}), (Bytes{0, 0x20}));
    EXPECT_EQ(natives::sendRats(), join({0}, tag.config().ats));
    EXPECT_EQ(natives::sendReceive({0xC2}), (Bytes{0, 0xC2}));
}

std::vector<Bytes> sorted(std::vector<Bytes> uids) {
    std::sort(uids.begin(), uids.end());
    return uids;
}

TEST_P(DongleFieldTest, AntiCollisionFindsEveryTagOnceAndHaltsIt) {
    EXPECT_TRUE(natives::antiCollision().empty());

    Iso14443aTag& first = place({0x11, 0x22, 0x33, 0x44});
    EXPECT_EQ(natives::antiCollision(), std::vector<Bytes>{first.config().uid});
    EXPECT_EQ(first.state(), State::Halt);
    EXPECT_TRUE(natives::antiCollision().empty());
    firmware().field().remove(first);

    // One of each size; then tags that collide at every level: two sharing a
    // first cascade level, two differing in a single bit.
    const std::vector<Bytes> fields[] = {
        {{0x11, 0x22, 0x33, 0x44},
         {0x04, 0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC},
         {0x05, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88, 0x99}},
        {{0x04, 0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC},
         {0x04, 0x12, 0x34, 0x57, 0x78, 0x9A, 0xBC},
         {0x11, 0x22, 0x33, 0x44},
         {0x11, 0x22, 0x33, 0x45},
         {0x91, 0x22, 0x33, 0x44}},
    };
    for (const std::vector<Bytes>& uids : fields) {
        std::vector<Iso14443aTag*> tags;
        for (const Bytes& uid : uids)
            tags.push_back(&place(uid));
        EXPECT_EQ(sorted(natives::antiCollision()), sorted(uids));
        for (const Iso14443aTag* tag : tags) {
            EXPECT_EQ(tag->state(), State::Halt);
            firmware().field().remove(*tag);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(TransferModes, DongleFieldTest, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? "OneReport" : "Chunked";
                         });

} // namespace
} // namespace kestoreader_test

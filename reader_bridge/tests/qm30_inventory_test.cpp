// The dongle's inventories end to end over the tag field behind the simulated
// dongle: ISO 15693 by the software anticollision and by the controller's
// firmware, and short-range type B (QB) chips, with frames chunked (the
// default) and in one report each.
#include "frame_fixture.h"
#include "kesto_reader.h"

#include <rfsim/iso15693_tag.h>
#include <rfsim/qb_tag.h>

#include <algorithm>
#include <memory>

namespace kestoreader_test {
namespace {

using rfsim::Iso15693Tag;
using rfsim::QbTag;
namespace natives = vemlasdknative::natives;

constexpr std::uint8_t kVicinity = 1, kTypeB = 3;

// A UID most significant byte first, as the inventories return it.
Bytes msbFirst(std::uint64_t uid) {
    Bytes out;
    for (int i = 7; i >= 0; --i)
        out.push_back(static_cast<std::uint8_t>(uid >> (8 * i)));
    return out;
}

std::vector<Bytes> sorted(std::vector<Bytes> uids) {
    std::sort(uids.begin(), uids.end());
    return uids;
}

class DongleInventoryTest : public FrameTest, public ::testing::WithParamInterface<bool> {
  protected:
    void SetUp() override {
        FrameTest::SetUp();
        if (GetParam()) singleReport();
    }

    // Tags whose UIDs collide in the first slots: low bytes 0x10 + i share
    // their low nibble with 0x20 + i.
    std::vector<Bytes> placeVicinity(int n, int first = 0) {
        std::vector<Bytes> uids;
        for (int i = first; i < first + n; ++i) {
            const std::uint64_t uid = 0xE004000000000000 | static_cast<std::uint64_t>(i) << 16 |
                                      ((i % 2 == 0 ? 0x10 : 0x20) + static_cast<std::uint64_t>(i / 2));
            firmware().field().add(std::make_unique<Iso15693Tag>(Iso15693Tag::Config{uid, 0x3C, 0}));
            uids.push_back(msbFirst(uid));
        }
        return uids;
    }
    QbTag::Config chip(int slot) {
        return {static_cast<std::uint8_t>(0xA0 + slot), slot,
                0x3000000000000000 | static_cast<std::uint64_t>(slot)};
    }
};

TEST_P(DongleInventoryTest, Iso15693SoftwareFindsEveryTagOnce) {
    mode(kVicinity);
    EXPECT_TRUE(natives::antiCollision().empty());
    const auto one = placeVicinity(1);
    EXPECT_EQ(natives::antiCollision(), one);
    firmware().field().switchOff(); // the tag is quiet until the field comes back
    mode(kVicinity);

    const auto uids = placeVicinity(9);
    EXPECT_EQ(sorted(natives::antiCollision()), sorted(uids));
    // Every request went to the transceiver as given, the CRC left to it.
    const auto frames = firmware().frames();
    EXPECT_TRUE(std::any_of(frames.begin(), frames.end(), [](const Bytes& f) {
        return f == Bytes{0x06, 0x01, 0};
    }));
    EXPECT_TRUE(firmware().inventoryParameters().empty());
}

TEST_P(DongleInventoryTest, Iso15693SoftwareStopsAtSeventeenTags) {
    mode(kVicinity);
    placeVicinity(20);
    const auto found = natives::antiCollision();
    EXPECT_EQ(found.size(), 17u);
    const auto once = sorted(found);
    EXPECT_EQ(std::adjacent_find(once.begin(), once.end()), once.end()); // each tag once
}

TEST_P(DongleInventoryTest, Iso15693FirmwareReportsWhatOneReportHolds) {
    mode(kVicinity);
    natives::setAnticollisionAlgo({1, 0x5A});
    const auto three = placeVicinity(3);
    EXPECT_EQ(sorted(natives::antiCollision()), sorted(three));
    EXPECT_EQ(firmware().inventoryParameters(), Bytes{0x5A});
    // The firmware silences nobody: a second run finds them again.
    EXPECT_EQ(natives::antiCollision().size(), 3u);

    // Eight tags: the answer counts 8 but carries 6 entries; no UID is invented.
    firmware().field().switchOff();
    mode(kVicinity);
    const auto more = placeVicinity(5, 3);
    const auto found = natives::antiCollision();
    EXPECT_EQ(found.size(), 6u);
    std::vector<Bytes> all = three;
    all.insert(all.end(), more.begin(), more.end());
    for (const Bytes& uid : found)
        EXPECT_NE(std::find(all.begin(), all.end(), uid), all.end()) << hex(uid);

    natives::setAnticollisionAlgo({0});
    EXPECT_EQ(sorted(natives::antiCollision()), sorted(all));
}

TEST_P(DongleInventoryTest, TypeBChipsComeOutMostSignificantByteFirst) {
    mode(kTypeB);
    EXPECT_TRUE(natives::antiCollision().empty());
    firmware().field().add(std::make_unique<QbTag>(chip(6)));
    EXPECT_EQ(natives::antiCollision(), std::vector<Bytes>{msbFirst(0x3000000000000006)});
    for (const int slot : {0, 3, 9})
        firmware().field().add(std::make_unique<QbTag>(chip(slot)));
    EXPECT_EQ(natives::antiCollision(),
              (std::vector<Bytes>{msbFirst(0x3000000000000009), msbFirst(0x3000000000000006),
                                  msbFirst(0x3000000000000003), msbFirst(0x3000000000000000)}));
}

TEST_P(DongleInventoryTest, WithoutCrcAppendTheTagsIgnoreTheRequests) {
    mode(kVicinity, 0);
    placeVicinity(3);
    EXPECT_TRUE(natives::antiCollision().empty());
    mode(kTypeB, 0);
    firmware().field().add(std::make_unique<QbTag>(chip(2)));
    EXPECT_TRUE(natives::antiCollision().empty());
    mode(kTypeB, 1);
    EXPECT_EQ(natives::antiCollision().size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(TransferModes, DongleInventoryTest, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? "OneReport" : "Chunked";
                         });

} // namespace
} // namespace kestoreader_test

// Inventories on the board readers: the firmware's select-and-halt loop in ISO
// 14443-A and its ISO 15693 inventories, against the stand-in board libraries.
#include "board_fixture.h"
#include "kesto_reader.h"

#include <algorithm>
#include <set>

namespace kestoreader_test {
namespace {

using vemlasdknative::kx10;
using vemlasdknative::kx20;
namespace natives = vemlasdknative::natives;

Bytes uidOf(int i) {
    return {0x11, static_cast<byte_t>(i), 0x33, static_cast<byte_t>(0x40 + i)};
}

std::vector<Bytes> inventory(RfReaderBase& reader) {
    std::vector<RfReaderBase::Uid> uids;
    reader.Inventory(uids);
    std::vector<Bytes> out;
    for (const auto& uid : uids)
        out.emplace_back(uid.id, uid.id + uid.length);
    return out;
}

TEST_F(BoardTest, IsoAInventorySelectsAndHaltsUpToTwentyTags) {
    for (int tags : {0, 1, 3, 21}) {
        SCOPED_TRACE(tags);
        core.reset();
        auto reader = inMode<kx10>({2, 0, 0, 0});
        std::set<Bytes> placed;
        for (int i = 0; i < tags; ++i) {
            placeTag(uidOf(i));
            placed.insert(uidOf(i));
        }
        const std::vector<Bytes> found = inventory(*reader);
        const std::set<Bytes> distinct(found.begin(), found.end());
        EXPECT_EQ(found.size(), static_cast<std::size_t>(std::min(tags, 20)));
        EXPECT_EQ(distinct.size(), found.size());
        EXPECT_TRUE(std::includes(placed.begin(), placed.end(), distinct.begin(), distinct.end()));
        const std::size_t selects = std::min(tags + 1, 20);
        EXPECT_EQ(core.calls("_iso14443aSelect@28").size(), selects);
        EXPECT_EQ(core.calls("_iso14443aHalt@12").size(), static_cast<std::size_t>(std::min(tags, 20)));
        for (const auto& call : core.calls("_iso14443aSelect@28"))
            EXPECT_EQ(call.args, (std::vector<std::int64_t>{0x26, 1, 10}));
        for (const auto& call : core.calls("_iso14443aHalt@12"))
            EXPECT_EQ(call.args, std::vector<std::int64_t>{50});
    }
}

TEST_F(BoardTest, IsoAInventoryTakesLongUidsAndStopsAtAFailedHalt) {
    auto reader = inMode<kx20>({2, 0, 0, 0});
    placeTag({1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
    EXPECT_EQ(inventory(*reader), (std::vector<Bytes>{{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}}));

    core.reset();
    placeTag(uidOf(1));
    placeTag(uidOf(2));
    script("_iso14443aHalt@12", 4);
    EXPECT_EQ(inventory(*reader).size(), 1u);
    EXPECT_EQ(core.calls("_iso14443aSelect@28").size(), 1u);

    // A UID length reported past the slot is cut to it.
    script("_iso14443aSelect@28", 0, Bytes(10, 0xAB), 50);
    script("_iso14443aSelect@28", 22);
    EXPECT_EQ(inventory(*reader), std::vector<Bytes>{Bytes(10, 0xAB)});
}

TEST_F(BoardTest, FirstBoardAsksOneSlotBeforeSixteen) {
    auto reader = inMode<kx10>({1, 0, 0, 0});
    core.vicinityTags = {{0xE0, 0x04, 0x01, 0x00, 0x12, 0x34, 0x56, 0x78}};
    EXPECT_EQ(inventory(*reader), (std::vector<Bytes>{{0xE0, 0x04, 0x01, 0x00, 0x12, 0x34, 0x56, 0x78}}));
    EXPECT_EQ(core.calls("_iso15693sendInventoryRequest@16").size(), 1u);
    EXPECT_EQ(args("_iso15693sendInventoryRequest@16"), (std::vector<std::int64_t>{0, 20}));

    // Two tags collide in one slot: sixteen slots then.
    core.clearCalls();
    core.vicinityTags.push_back({0xE0, 0x04, 0x01, 0x00, 0x9A, 0xBC, 0xDE, 0xF0});
    EXPECT_EQ(inventory(*reader).size(), 2u);
    const auto calls = core.calls("_iso15693sendInventoryRequest@16");
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].args, (std::vector<std::int64_t>{0, 20}));
    EXPECT_EQ(calls[1].args, (std::vector<std::int64_t>{1, 20}));

    // Both failing: nothing.
    core.clearCalls();
    core.vicinityTags.clear();
    EXPECT_TRUE(inventory(*reader).empty());
    EXPECT_EQ(core.calls("_iso15693sendInventoryRequest@16").size(), 2u);
}

TEST_F(BoardTest, SecondBoardAsksSixteenSlotsOnly) {
    auto reader = inMode<kx20>({1, 0, 0, 0});
    core.vicinityTags = {{0xE0, 0x04, 0x01, 0x00, 0x12, 0x34, 0x56, 0x78}};
    EXPECT_EQ(inventory(*reader).size(), 1u);
    EXPECT_EQ(names(), Strings{"_iso15693sendInventoryRequest@16"});
    EXPECT_EQ(args("_iso15693sendInventoryRequest@16"), (std::vector<std::int64_t>{1, 20}));
}

TEST_F(BoardTest, VicinityCountsPastTheEntriesAreCut) {
    auto reader = inMode<kx20>({1, 0, 0, 0});
    Bytes entries;
    for (int i = 0; i < 20; ++i) {
        const Bytes entry{0, 0, static_cast<byte_t>(i), 2, 3, 4, 5, 6, 7, 0xE0};
        entries.insert(entries.end(), entry.begin(), entry.end());
    }
    // The count is taken as one byte: 0x1FF is 255, cut to the 20 entries.
    script("_iso15693sendInventoryRequest@16", 0, entries, 0x1FF);
    const auto found = inventory(*reader);
    ASSERT_EQ(found.size(), 20u);
    EXPECT_EQ(found[5], (Bytes{0xE0, 7, 6, 5, 4, 3, 2, 5}));
    script("_iso15693sendInventoryRequest@16", 0, entries, 0x100);
    EXPECT_TRUE(inventory(*reader).empty());
}

TEST_F(BoardTest, AntiCollisionThroughTheNativesListsTheField) {
    auto reader = inMode<kx10>({2, 0, 0, 0});
    for (int i = 0; i < 3; ++i)
        placeTag(uidOf(i));
    auto found = natives::antiCollision();
    std::sort(found.begin(), found.end());
    EXPECT_EQ(found, (std::vector<Bytes>{uidOf(0), uidOf(1), uidOf(2)}));
    // Other protocols list nothing.
    Bytes off{0, 0, 0, 0};
    reader->SetMode(off.data());
    EXPECT_TRUE(natives::antiCollision().empty());
}

} // namespace
} // namespace kestoreader_test

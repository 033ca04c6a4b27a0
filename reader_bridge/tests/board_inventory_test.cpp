// Inventories on the board readers: the firmware's select-and-halt loop in ISO
// 14443-A, its ISO 15693 inventories and the short-range type B loop over the
// board's frame exchange, against the stand-in board libraries.
#include "board_fixture.h"
#include "kesto_reader.h"

#include <rfsim/iso15693_tag.h>
#include <rfsim/qb_tag.h>

#include <algorithm>
#include <set>

namespace kestoreader_test {
namespace {

using kxx0standin::Board;
using vemlasdknative::kx10;
using vemlasdknative::kx20;
namespace natives = vemlasdknative::natives;

Bytes uidOf(int i) {
    return {0x11, static_cast<byte_t>(i), 0x33, static_cast<byte_t>(0x40 + i)};
}

// A type B chip of `slot`: identifier 0xA0 + slot, UID 0x3000...0s.
rfsim::QbTag::Config chip(int slot) {
    return {static_cast<std::uint8_t>(0xA0 + slot), slot,
            0x3000000000000000 | static_cast<std::uint64_t>(slot)};
}
// Its UID as an inventory lists it, most significant byte first.
Bytes chipUid(int slot) {
    return {0x30, 0, 0, 0, 0, 0, 0, static_cast<byte_t>(slot)};
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

TEST_F(BoardTest, TypeBInventoryFindsEveryChipLastSlotFirst) {
    for (const Board board : {Board::Kx10, Board::Kx20}) {
        SCOPED_TRACE(static_cast<int>(board));
        core.reset();
        const Bytes typeB{3, 0, 0, 1};
        std::unique_ptr<RfReaderBase> reader;
        if (board == Board::Kx10)
            reader = inMode<kx10>(typeB);
        else
            reader = inMode<kx20>(typeB);

        // An empty field: reset, initiate, PCall16 and the sixteen markers, each
        // a blocking transfer with the board's CRC and type B's wait time.
        EXPECT_TRUE(inventory(*reader).empty());
        const auto sent = core.calls("_mosaTransceiveBlockingTxRx@32");
        ASSERT_EQ(sent.size(), 19u);
        EXPECT_EQ(sent[0].bytes, Bytes{0x0C});
        EXPECT_EQ(sent[1].bytes, (Bytes{0x06, 0x00}));
        EXPECT_EQ(sent[2].bytes, (Bytes{0x06, 0x04}));
        for (int slot = 0; slot < 16; ++slot)
            EXPECT_EQ(sent[static_cast<std::size_t>(slot + 3)].bytes,
                      Bytes{static_cast<byte_t>((slot << 4) + 6)});
        for (const auto& call : sent) {
            EXPECT_EQ(call.board, board);
            EXPECT_EQ(call.args[2], 0);
            EXPECT_EQ(call.args[3], 678000);
        }

        // One chip answers the initiate alone; several are sorted out by slot.
        core.field().add(std::make_unique<rfsim::QbTag>(chip(6)));
        EXPECT_EQ(inventory(*reader), std::vector<Bytes>{chipUid(6)});
        for (const int slot : {0, 3, 9, 15})
            core.field().add(std::make_unique<rfsim::QbTag>(chip(slot)));
        EXPECT_EQ(inventory(*reader),
                  (std::vector<Bytes>{chipUid(15), chipUid(9), chipUid(6), chipUid(3), chipUid(0)}));

        // Without the board's CRC the chips ignore every request.
        Bytes noCrc{3, 0, 0, 0};
        ASSERT_EQ(reader->SetMode(noCrc.data()), 0);
        EXPECT_TRUE(inventory(*reader).empty());
    }
}

TEST_F(BoardTest, TypeBAndVicinityFramesReachTheirTagsWithTheBoardsCrc) {
    core.field().add(std::make_unique<rfsim::QbTag>(chip(4)));
    core.field().add(
        std::make_unique<rfsim::Iso15693Tag>(rfsim::Iso15693Tag::Config{0xE004010012345678, 0x3C, 0}));
    const Bytes vicinityAnswer{0x00, 0x3C, 0x78, 0x56, 0x34, 0x12, 0x00, 0x01, 0x04, 0xE0};
    struct Case {
        Bytes mode;
        Bytes tx;
        RfReaderBase::ReaderStatus status;
        Bytes rx;
    };
    const Case cases[] = {
        // The board adds the CRC and strips the tag's.
        {{3, 0, 0, 1}, {0x06, 0x00}, RfReaderBase::TRANSFER_OK, {0xA4}},
        {{1, 0, 0, 1}, {0x26, 0x01, 0x00}, RfReaderBase::TRANSFER_OK, vicinityAnswer},
        // Frames as they are: without a CRC no tag answers; with the caller's
        // own, the tag's comes back too.
        {{3, 0, 0, 0}, {0x06, 0x00}, RfReaderBase::DEFAULT_ERROR, {}},
        {{3, 0, 0, 0},
         rfsim::withCrc(rfsim::Protocol::Iso14443B, {0x06, 0x00}),
         RfReaderBase::TRANSFER_OK,
         rfsim::withCrc(rfsim::Protocol::Iso14443B, {0xA4})},
        {{1, 0, 0, 0}, {0x26, 0x01, 0x00}, RfReaderBase::DEFAULT_ERROR, {}},
        {{1, 0, 0, 0},
         rfsim::withCrc(rfsim::Protocol::Iso15693, {0x26, 0x01, 0x00}),
         RfReaderBase::TRANSFER_OK,
         rfsim::withCrc(rfsim::Protocol::Iso15693, vicinityAnswer)},
        // Type A frames reach neither.
        {{2, 0, 0, 1}, {0x06, 0x00}, RfReaderBase::DEFAULT_ERROR, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.mode) + ::testing::PrintToString(c.tx));
        auto reader = inMode<kx20>(c.mode);
        Buffer rx = receiveBuffer();
        EXPECT_EQ(reader->Transceive(frame(c.tx), &rx), c.status);
        EXPECT_EQ(received(rx), c.rx);
    }

    // A second vicinity tag answers at once: a collision.
    core.field().add(
        std::make_unique<rfsim::Iso15693Tag>(rfsim::Iso15693Tag::Config{0xE004010087654321, 0, 0}));
    auto reader = inMode<kx10>({1, 0, 0, 1});
    Buffer rx = receiveBuffer();
    EXPECT_EQ(reader->Transceive(frame({0x26, 0x01, 0x00}), &rx), RfReaderBase::COLLISION_DETECTED);
    EXPECT_EQ(received(rx), Bytes{0x21});
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

#include "fake_reader.h"
#include "iso15693_pcd.h"

#include <rfsim/iso15693_tag.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <set>
#include <vector>

namespace {

using kestoreader_test::CurrentReader;
using kestoreader_test::FakeReader;
using rfsim::Iso15693Tag;
using vemlasdknative::byte_t;
using vemlasdknative::RfReaderBase;
using C = vemlasdknative::Iso15693Commands;
using Bytes = std::vector<byte_t>;
using Sent = FakeReader::Sent;
using State = Iso15693Tag::State;

constexpr int kError = 241;
const Sent kEof{{}, 0};

// A tag of the test's own making: answers `bytes` (and its CRC) in `slot`,
// counted in ends of frame after any request.
class SlotTag : public rfsim::Tag {
  public:
    SlotTag(int slot, Bytes bytes) : slot_(slot), bytes_(std::move(bytes)) {}
    rfsim::Protocol protocol() const override { return rfsim::Protocol::Iso15693; }
    std::optional<rfsim::Bits> hear(const rfsim::Bits& air) override {
        eofs_ = air.bytes.empty() ? eofs_ + 1 : 0;
        if (eofs_ != slot_) return std::nullopt;
        return rfsim::Bits{rfsim::withCrc(rfsim::Protocol::Iso15693, bytes_), 8};
    }
    void powerOff() override {}

  private:
    int slot_;
    Bytes bytes_;
    int eofs_ = 0;
};

class Iso15693Test : public ::testing::Test {
  protected:
    Iso15693Test() { reader.selected_protocol = RfReaderBase::ISO15693; }

    Iso15693Tag& place(std::uint64_t uid, byte_t dsfid = 0) {
        return reader.field.add(std::make_unique<Iso15693Tag>(Iso15693Tag::Config{uid, dsfid, 0}));
    }
    std::size_t sent(const Sent& frame) const {
        return std::count(reader.log.begin(), reader.log.end(), frame);
    }

    // The anticollision's entries as 64-bit UIDs, checking their DSFIDs.
    std::vector<std::uint64_t> run(int capacity = 17, int expected = 0) {
        std::vector<byte_t> area(static_cast<std::size_t>(capacity) * 9 + 9, 0xEE);
        int count = -1;
        EXPECT_EQ(commands.Iso15693RunAntiCollision(0x06, 0, &count, area.data(), capacity), expected);
        EXPECT_LE(count, capacity);
        EXPECT_EQ(area[static_cast<std::size_t>(capacity) * 9], 0xEE); // nothing past the area
        std::vector<std::uint64_t> uids;
        for (int i = 0; i < count; ++i) {
            std::uint64_t uid = 0;
            for (int b = 0; b < 8; ++b)
                uid |= std::uint64_t{area[static_cast<std::size_t>(i * 9 + 1 + b)]} << (8 * b);
            EXPECT_EQ(area[static_cast<std::size_t>(i * 9)], static_cast<byte_t>(uid >> 56)) << "DSFID";
            uids.push_back(uid);
        }
        return uids;
    }
    // A tag whose DSFID is its UID's top byte (run() checks it).
    Iso15693Tag& placeChecked(std::uint64_t uid) { return place(uid, static_cast<byte_t>(uid >> 56)); }

    static Bytes request(std::initializer_list<byte_t> bytes) { return Bytes(bytes); }

    FakeReader reader;
    CurrentReader current{&reader};
    C commands;
};

TEST_F(Iso15693Test, RequestBuilding) {
    const byte_t mask[9] = {0xA5, 0xB6, 0xC7, 0xD8, 0xE9, 0xFA, 0x0B, 0x1C, 0x2D};
    struct Case {
        byte_t flags;
        byte_t afi;
        int maskLength;
        int result;
        Bytes frame; // empty: nothing sent
    };
    const Case cases[] = {
        {0x02, 0, 0, kError, {}},                            // no inventory flag
        {0x06, 0x33, 0, kError, {0x06, 0x01, 0x00}},         // AFI only with 0x10
        {0x16, 0x33, 0, kError, {0x16, 0x01, 0x33, 0x00}},   //
        {0x06, 0, 4, kError, {0x06, 0x01, 4, 0x05}},         // low 4 bits
        {0x06, 0, 12, kError, {0x06, 0x01, 12, 0xA5, 0x06}}, // a whole byte and 4 bits
        {0x06, 0, 64, kError, {0x06, 0x01, 64, 0xA5, 0xB6, 0xC7, 0xD8, 0xE9, 0xFA, 0x0B, 0x1C}},
        {0x06, 0, 65, C::kParameterLength, {}}, //
        {0x06, 0, -1, C::kParameterLength, {}}, //
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.maskLength);
        reader.log.clear();
        byte_t answer[4] = {1, 2, 3, 4};
        EXPECT_EQ(commands.Iso15693Inventory(c.flags, c.afi, c.maskLength, mask, answer, 4), c.result);
        EXPECT_EQ(answer[0], 0xFF);
        EXPECT_EQ(answer[1], 0x00);
        if (c.frame.empty())
            EXPECT_TRUE(reader.log.empty());
        else
            EXPECT_EQ(reader.log, (std::vector<Sent>{Sent{c.frame, 0}}));
    }
    reader.log.clear();
    byte_t answer[16];
    commands.Iso15693InventoryOneSlot(0x06, 0, 0, nullptr, answer, 16);
    EXPECT_EQ(reader.log, (std::vector<Sent>{Sent{{0x26, 0x01, 0x00}, 0}}));
}

TEST_F(Iso15693Test, OneTagOneRequestAndOneStayQuiet) {
    Iso15693Tag& tag = placeChecked(0x7A00000102030405);
    EXPECT_EQ(run(), std::vector<std::uint64_t>{0x7A00000102030405});
    const std::vector<Sent> expected{{{0x26, 0x01, 0x00}, 0},
                                     {{0x22, 0x02, 0x05, 0x04, 0x03, 0x02, 0x01, 0x00, 0x00, 0x7A}, 0}};
    EXPECT_EQ(reader.log, expected);
    EXPECT_EQ(tag.state(), State::Quiet);
}

TEST_F(Iso15693Test, NoTagGives241) {
    EXPECT_TRUE(run(17, kError).empty());
    EXPECT_EQ(reader.log.size(), 1u);
}

TEST_F(Iso15693Test, TwoTagsCollidingInSlotZeroAreSeparatedByTheNextFourBits) {
    placeChecked(0x1100000000000010);
    placeChecked(0x2200000000000020);
    const auto uids = run();
    EXPECT_EQ(std::set<std::uint64_t>(uids.begin(), uids.end()),
              (std::set<std::uint64_t>{0x1100000000000010, 0x2200000000000020}));
    EXPECT_EQ(uids.size(), 2u);
    EXPECT_EQ(sent({{0x06, 0x01, 0x00}, 0}), 1u);
    EXPECT_EQ(sent({{0x06, 0x01, 4, 0x00}, 0}), 1u);
    EXPECT_EQ(sent(kEof), 30u);
}

TEST_F(Iso15693Test, ThreeTagsInThreeSlotsInOneRound) {
    placeChecked(0x0100000000000001);
    placeChecked(0x0200000000000002);
    placeChecked(0x0300000000000003);
    EXPECT_EQ(run(),
              (std::vector<std::uint64_t>{0x0100000000000001, 0x0200000000000002, 0x0300000000000003}));
    EXPECT_EQ(sent({{0x06, 0x01, 0x00}, 0}), 1u); // one 16-slot round
    EXPECT_EQ(sent(kEof), 15u);
}

// Sixteen groups share the low 8 bits and collide in all 16 slots of the third
// round; the group popped first splits again: more than 16 masks wait.
TEST_F(Iso15693Test, ManyPendingMasksGrowTheStack) {
    std::set<std::uint64_t> placed;
    auto add = [&](std::uint64_t uid) {
        placeChecked(uid);
        placed.insert(uid);
    };
    for (std::uint64_t group = 0; group < 15; ++group)
        for (std::uint64_t low : {1, 2})
            add(0xE000000000000055 | group << 8 | low << 12);
    for (std::uint64_t low : {1, 2})
        for (std::uint64_t next : {1, 2})
            add(0xE000000000000055 | std::uint64_t{15} << 8 | low << 12 | next << 16);
    const auto uids = run(64);
    EXPECT_EQ(std::set<std::uint64_t>(uids.begin(), uids.end()), placed);
    EXPECT_EQ(uids.size(), placed.size());
}

TEST_F(Iso15693Test, AFullAreaStopsTheSearch) {
    std::vector<Iso15693Tag*> tags;
    for (std::uint64_t i = 0; i < 20; ++i)
        tags.push_back(&placeChecked(0xE000000000000000 | i));
    const auto uids = run(17);
    EXPECT_EQ(uids.size(), 17u);
    EXPECT_EQ(std::set<std::uint64_t>(uids.begin(), uids.end()).size(), 17u);
    const auto quiet =
        std::count_if(tags.begin(), tags.end(), [](auto* t) { return t->state() == State::Quiet; });
    EXPECT_EQ(quiet, 17);
}

TEST_F(Iso15693Test, SixteenSlotsAppendTenBytesPerAnswer) {
    placeChecked(0x0100000000000000);
    placeChecked(0x0200000000000004);
    placeChecked(0x0300000000000009);
    placeChecked(0x0400000000000007); // slots 7 and 12 collide
    placeChecked(0x0500000000000017);
    placeChecked(0x060000000000001C);
    placeChecked(0x070000000000002C);
    byte_t area[160];
    int count = -1;
    EXPECT_EQ(commands.Iso15693Inventory16Slots(0x06, 0, 0, nullptr, &count, area, sizeof area),
              (1u << 7) | (1u << 12));
    ASSERT_EQ(count, 3);
    EXPECT_EQ(Bytes(area, area + 10), (Bytes{0x00, 0x01, 0x00, 0, 0, 0, 0, 0, 0, 0x01}));
    EXPECT_EQ(Bytes(area + 10, area + 20), (Bytes{0x00, 0x02, 0x04, 0, 0, 0, 0, 0, 0, 0x02}));
    EXPECT_EQ(Bytes(area + 20, area + 30), (Bytes{0x00, 0x03, 0x09, 0, 0, 0, 0, 0, 0, 0x03}));
    EXPECT_EQ(reader.log.front(), (Sent{{0x06, 0x01, 0x00}, 0}));
    EXPECT_EQ(sent(kEof), 15u);
}

TEST_F(Iso15693Test, SlotAnswersOfOtherShapes) {
    reader.field.add(std::make_unique<SlotTag>(0, Bytes{0x00, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11})); // long
    reader.field.add(std::make_unique<SlotTag>(1, Bytes{0x00, 1, 2}));                              // short
    reader.field.add(std::make_unique<SlotTag>(2, Bytes{0x01, 0x0F, 1, 2, 3, 4, 5, 6, 7, 8})); // error flag
    reader.field.add(std::make_unique<SlotTag>(3, Bytes{0x00, 0x22, 9, 9, 9, 9, 9, 9, 9, 9}));
    reader.field.add(std::make_unique<SlotTag>(3, Bytes{0x00, 0x22, 9, 9, 9, 9, 9, 9, 9, 8})); // collide
    byte_t area[160];
    int count = -1;
    EXPECT_EQ(commands.Iso15693Inventory16Slots(0x06, 0, 0, nullptr, &count, area, sizeof area), 1u << 3);
    ASSERT_EQ(count, 2);
    EXPECT_EQ(Bytes(area, area + 10), (Bytes{0x00, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
    EXPECT_EQ(area[10], 0x01);

    // The anticollision enters only answers with flags 0x00, and a one-slot
    // answer that is not a whole inventory answer leads to the rounds.
    reader.log.clear();
    byte_t uids[17 * 9];
    EXPECT_EQ(commands.Iso15693RunAntiCollision(0x06, 0, &count, uids, 17), 0);
    EXPECT_EQ(count, 1);
    EXPECT_EQ(Bytes(uids, uids + 9), (Bytes{1, 2, 3, 4, 5, 6, 7, 8, 9}));

    // Room for fewer than 16 answers keeps what fits.
    EXPECT_EQ(commands.Iso15693Inventory16Slots(0x06, 0, 0, nullptr, &count, area, 19), 1u << 3);
    EXPECT_EQ(count, 1);
}

TEST_F(Iso15693Test, SixteenSlotsNeedASendableRequest) {
    int count = -1;
    byte_t area[160];
    EXPECT_EQ(commands.Iso15693Inventory16Slots(0x02, 0, 0, nullptr, &count, area, 160), 0);
    EXPECT_EQ(commands.Iso15693Inventory16Slots(0x06, 0, 65, area, &count, area, 160), 0);
    EXPECT_EQ(count, 0);
    EXPECT_TRUE(reader.log.empty());
}

TEST_F(Iso15693Test, StayQuiet) {
    Iso15693Tag& a = placeChecked(0x0100000000000010);
    placeChecked(0x0200000000000020);
    const Bytes uid = a.uidBytes();
    EXPECT_EQ(commands.Iso15693StayQuiet(0x02, uid.data()), kError);
    EXPECT_TRUE(reader.log.empty());
    commands.Iso15693StayQuiet(0x22, uid.data()); // silence reads as a failure on readers
    Bytes expected{0x22, 0x02};
    expected.insert(expected.end(), uid.begin(), uid.end());
    EXPECT_EQ(reader.log, (std::vector<Sent>{Sent{expected, 0}}));
    EXPECT_EQ(a.state(), State::Quiet);
    EXPECT_EQ(run(), std::vector<std::uint64_t>{0x0200000000000020});
}

TEST(Iso15693NoReader, NothingIsFound) {
    C commands;
    int count = -1;
    byte_t uids[9];
    EXPECT_EQ(commands.Iso15693RunAntiCollision(0x06, 0, &count, uids, 1), kError);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(commands.Iso15693RunAntiCollision(0x06, 0, nullptr, uids, 1), kError);
    EXPECT_EQ(commands.Iso15693RunAntiCollision(0x06, 0, &count, uids, 0), kError);
}

} // namespace

#include "fake_reader.h"
#include "iso14443qb_pcd.h"

#include <rfsim/qb_tag.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace {

using kestoreader_test::CurrentReader;
using kestoreader_test::FakeReader;
using rfsim::QbTag;
using namespace vemlasdknative;
using Bytes = std::vector<byte_t>;
using Sent = FakeReader::Sent;

const Sent kReset{{0x0C}, 0};
const Sent kInitiate{{0x06, 0x00}, 0};
const Sent kPCall16{{0x06, 0x04}, 0};
const Sent kGetUid{{0x0B}, 0};

Sent marker(int slot) {
    return {{static_cast<byte_t>((slot << 4) + 0x06)}, 0};
}

// A chip whose UID answer is cut to its first `keep` bytes.
class ShortUidTag : public QbTag {
  public:
    ShortUidTag(QbTag::Config config, std::size_t keep) : QbTag(config), keep_(keep) {}
    std::optional<rfsim::Bits> hear(const rfsim::Bits& air) override {
        auto answer = QbTag::hear(air);
        if (answer && air.bytes.size() == 3 && air.bytes[0] == 0x0B) {
            Bytes uid(answer->bytes.begin(), answer->bytes.begin() + static_cast<std::ptrdiff_t>(keep_));
            answer->bytes = rfsim::withCrc(rfsim::Protocol::Iso14443B, uid);
        }
        return answer;
    }

  private:
    std::size_t keep_;
};

class QbTest : public ::testing::Test {
  protected:
    QbTest() { reader.selected_protocol = RfReaderBase::ISO14443B; }

    // Chip identifier 0x40 + slot; UID 0xE0 <slot> 01 02 03 04 05 <slot>.
    static QbTag::Config chip(int slot) {
        const auto s = static_cast<std::uint64_t>(slot);
        return {static_cast<std::uint8_t>(0x40 + slot), slot, 0xE000010203040500 | (s << 48) | s};
    }
    // The UID as the loop returns it, most significant byte first.
    static Bytes msbFirst(int slot) {
        const auto s = static_cast<byte_t>(slot);
        return {0xE0, s, 0x01, 0x02, 0x03, 0x04, 0x05, s};
    }
    void place(int slot) { reader.field.add(std::make_unique<QbTag>(chip(slot))); }

    // The loop's result split into UIDs.
    std::vector<Bytes> loop(int expected = ISO14443QB_SUCCESSCODE) {
        byte_t* uids = nullptr;
        int n = -1;
        EXPECT_EQ(ISO14443QB_AnticollisionLoop(&uids, &n), expected);
        std::vector<Bytes> out;
        if (expected != ISO14443QB_SUCCESSCODE) {
            EXPECT_EQ(uids, nullptr);
            EXPECT_EQ(n, 0);
            return out;
        }
        EXPECT_EQ(n % 8, 0);
        for (int i = 0; i + 8 <= n; i += 8)
            out.emplace_back(uids + i, uids + i + 8);
        delete[] uids;
        return out;
    }

    std::size_t sent(const Sent& frame) const {
        return std::count(reader.log.begin(), reader.log.end(), frame);
    }
    bool anyMarker() const {
        for (int s = 0; s < 16; ++s)
            if (sent(marker(s)) > 0) return true;
        return false;
    }

    FakeReader reader;
    CurrentReader current{&reader};
};

TEST_F(QbTest, OneChipIsFoundByInitiateAlone) {
    place(7);
    EXPECT_EQ(loop(), std::vector<Bytes>{msbFirst(7)});
    const std::vector<Sent> expected{kReset, kInitiate, {{0x0E, 0x47}, 0}, kGetUid};
    EXPECT_EQ(reader.log, expected);
    EXPECT_FALSE(anyMarker());
}

TEST_F(QbTest, ChipsInSlotsThreeAndNineComeOutLastSlotFirst) {
    place(3);
    place(9);
    EXPECT_EQ(loop(), (std::vector<Bytes>{msbFirst(9), msbFirst(3)}));
    for (int s = 0; s < 16; ++s)
        EXPECT_EQ(sent(marker(s)), 1u) << s;
    EXPECT_EQ(sent(kPCall16), 1u);
}

TEST_F(QbTest, AChipInSlotZeroDoesNotHideTheOtherSlots) {
    place(0);
    place(5);
    place(12);
    EXPECT_EQ(loop(), (std::vector<Bytes>{msbFirst(12), msbFirst(5), msbFirst(0)}));
    EXPECT_EQ(sent(marker(0)), 0u); // PCall16 answered for slot 0
    for (int s = 1; s < 16; ++s)
        EXPECT_EQ(sent(marker(s)), 1u) << s;
}

TEST_F(QbTest, SixteenChipsInSixteenSlots) {
    for (int s = 0; s < 16; ++s)
        place(s);
    const auto uids = loop();
    ASSERT_EQ(uids.size(), 16u);
    for (int s = 0; s < 16; ++s)
        EXPECT_EQ(uids[static_cast<std::size_t>(15 - s)], msbFirst(s)) << s;
}

TEST_F(QbTest, NoChipGives129AndNoArray) {
    loop(ISO14443QB_ERRORCODE_DEFAULT);
    int count = -1;
    byte_t area[128];
    EXPECT_EQ(ISO14443QB_Anticollision(&count, area), ISO14443QB_SUCCESSCODE);
    EXPECT_EQ(count, 0);
}

TEST_F(QbTest, AnUnansweredResetIsIgnored) {
    place(2);
    reader.failNth = 1;
    EXPECT_EQ(loop(), std::vector<Bytes>{msbFirst(2)});
    EXPECT_EQ(reader.log.front(), kReset);
}

// Chips in slots 1, 2 and 3: exchanges reset 1, initiate 2, PCall16 3, markers
// 4 to 19, then select and UID read per chip from 20.
TEST_F(QbTest, AFailedSelectOrUidReadLeavesNoGap) {
    for (const int failing : {22, 23}) {
        SCOPED_TRACE(failing);
        FakeReader fresh;
        fresh.selected_protocol = RfReaderBase::ISO14443B;
        CurrentReader use(&fresh);
        for (int s = 1; s <= 3; ++s)
            fresh.field.add(std::make_unique<QbTag>(chip(s)));
        fresh.failNth = failing;
        int count = -1;
        byte_t area[128];
        std::fill(std::begin(area), std::end(area), 0xEE);
        ASSERT_EQ(ISO14443QB_Anticollision(&count, area), ISO14443QB_SUCCESSCODE);
        ASSERT_EQ(count, 2);
        Bytes first(area, area + 8), second(area + 8, area + 16);
        std::reverse(first.begin(), first.end());
        std::reverse(second.begin(), second.end());
        EXPECT_EQ(first, msbFirst(1));
        EXPECT_EQ(second, msbFirst(3));
        EXPECT_EQ(area[16], 0xEE);
    }
}

TEST_F(QbTest, AShortUidAnswerIsAFailedRead) {
    reader.field.add(std::make_unique<ShortUidTag>(chip(4), 5));
    place(6);
    EXPECT_EQ(loop(), std::vector<Bytes>{msbFirst(6)});
    byte_t answer[16];
    EXPECT_EQ(ISO14443QB_Select(0x44, answer, 16), ISO14443QB_SUCCESSCODE);
    EXPECT_EQ(ISO14443QB_GetUID(answer, 16), ISO14443QB_ERRORCODE_DEFAULT);
    // Room for fewer than 8 bytes fails the same way.
    EXPECT_EQ(ISO14443QB_Select(0x46, answer, 16), ISO14443QB_SUCCESSCODE);
    EXPECT_EQ(ISO14443QB_GetUID(answer, 7), ISO14443QB_ERRORCODE_DEFAULT);
    EXPECT_EQ(ISO14443QB_GetUID(answer, 8), ISO14443QB_SUCCESSCODE);
}

TEST_F(QbTest, CommandFramesAndBadArguments) {
    byte_t answer[4];
    EXPECT_EQ(ISO14443QB_SlotMarker(16, answer, 4), ISO14443QB_ERRORCODE_DEFAULT);
    EXPECT_EQ(ISO14443QB_SlotMarker(-1, answer, 4), ISO14443QB_ERRORCODE_DEFAULT);
    EXPECT_TRUE(reader.log.empty());
    EXPECT_EQ(ISO14443QB_SlotMarker(0, answer, 4), ISO14443QB_ERRORCODE_DEFAULT); // nobody there
    EXPECT_EQ(ISO14443QB_SlotMarker(15, answer, 4), ISO14443QB_ERRORCODE_DEFAULT);
    EXPECT_EQ(reader.log, (std::vector<Sent>{marker(0), {{0xF6}, 0}}));
    EXPECT_EQ(ISO14443QB_Anticollision(nullptr, answer), ISO14443QB_ERRORCODE_DEFAULT);
    int n = 0;
    EXPECT_EQ(ISO14443QB_Anticollision(&n, nullptr), ISO14443QB_ERRORCODE_DEFAULT);
    EXPECT_EQ(ISO14443QB_AnticollisionLoop(nullptr, &n), ISO14443QB_ERRORCODE_DEFAULT);
}

TEST(QbNoReader, EverythingFails) {
    byte_t* uids = nullptr;
    int n = -1;
    EXPECT_EQ(ISO14443QB_AnticollisionLoop(&uids, &n), ISO14443QB_ERRORCODE_DEFAULT);
    EXPECT_EQ(uids, nullptr);
    EXPECT_EQ(n, 0);
}

} // namespace

#include <rfsim/field.h>
#include <rfsim/qb_tag.h>

#include <gtest/gtest.h>

#include <memory>
#include <optional>

namespace {

using rfsim::Bytes;
using rfsim::Field;
using rfsim::Frame;
using rfsim::Protocol;
using rfsim::QbTag;
using State = QbTag::State;

Frame command(Bytes bytes, bool crc = true) {
    return Frame{std::move(bytes), 8, crc, Protocol::Iso14443B};
}

// What came back without its CRC (checked), or nothing.
std::optional<Bytes> data(const std::optional<rfsim::Answer>& answer) {
    if (!answer) return std::nullopt;
    EXPECT_FALSE(answer->collision);
    EXPECT_TRUE(rfsim::endsWithCrc(Protocol::Iso14443B, {answer->bytes, answer->lastBits}));
    return Bytes(answer->bytes.begin(), answer->bytes.end() - 2);
}

class QbTagTest : public ::testing::Test {
  protected:
    QbTag& place(std::uint8_t id, int slot, std::uint64_t uid) {
        return field.add(std::make_unique<QbTag>(QbTag::Config{id, slot, uid}));
    }
    std::optional<rfsim::Answer> send(Bytes bytes) { return field.exchange(command(std::move(bytes))); }

    Field field;
};

TEST_F(QbTagTest, CallsAnswerByStateAndSlot) {
    place(0x31, 0, 1);
    place(0x52, 9, 2);
    // Initiate: both answer at once and collide.
    const auto both = send({0x06, 0x00});
    ASSERT_TRUE(both);
    EXPECT_TRUE(both->collision);
    EXPECT_EQ(data(send({0x06, 0x04})), Bytes{0x31}); // PCall16: slot 0 only
    EXPECT_EQ(data(send({0x06})), Bytes{0x31});       // slot 0's marker
    EXPECT_EQ(data(send({0x96})), Bytes{0x52});
    EXPECT_FALSE(send({0x56}));
    EXPECT_FALSE(send({0x0C})); // the reset goes unanswered
}

TEST_F(QbTagTest, SelectReleasesTheOthersAndGetUidAnswersTheSelected) {
    QbTag& a = place(0x31, 3, 0x0102030405060708);
    QbTag& b = place(0x52, 9, 0x1112131415161718);
    EXPECT_FALSE(send({0x0B})); // nobody selected
    EXPECT_EQ(data(send({0x0E, 0x31})), Bytes{0x31});
    EXPECT_EQ(a.state(), State::Selected);
    EXPECT_EQ(b.state(), State::Released);
    EXPECT_EQ(data(send({0x0B})), (Bytes{0x08, 0x07, 0x06, 0x05, 0x04, 0x03, 0x02, 0x01}));
    EXPECT_FALSE(send({0x06, 0x00})); // one selected, one released: nobody in inventory
    EXPECT_FALSE(send({0x96}));       // released tags ignore calls

    EXPECT_EQ(data(send({0x0E, 0x52})), Bytes{0x52});
    EXPECT_EQ(a.state(), State::Released);
    EXPECT_EQ(data(send({0x0B})), b.uidBytes());

    send({0x0C});
    EXPECT_EQ(a.state(), State::Inventory);
    EXPECT_EQ(b.state(), State::Inventory);
    EXPECT_EQ(data(send({0x36})), Bytes{0x31});
    b.powerOff();
    EXPECT_EQ(b.state(), State::Inventory);
}

TEST_F(QbTagTest, CommandsWithoutACorrectCrcAreIgnored) {
    QbTag& tag = place(0x31, 0, 1);
    EXPECT_FALSE(field.exchange(command({0x06, 0x00}, false)));
    Bytes bad = rfsim::withCrc(Protocol::Iso14443B, {0x0E, 0x31});
    bad.back() ^= 0x01;
    EXPECT_FALSE(field.exchange(command(bad, false)));
    EXPECT_EQ(tag.state(), State::Inventory);
    EXPECT_TRUE(field.exchange(command(rfsim::withCrc(Protocol::Iso14443B, {0x0E, 0x31}), false)));
}

TEST(QbTagConfig, SlotOutsideSixteenIsRefused) {
    EXPECT_THROW(QbTag(QbTag::Config{1, 16, 0}), std::invalid_argument);
    EXPECT_THROW(QbTag(QbTag::Config{1, -1, 0}), std::invalid_argument);
}

} // namespace

#include <rfsim/field.h>
#include <rfsim/iso14443a_tag.h>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

using rfsim::Answer;
using rfsim::Bytes;
using rfsim::Collision;
using rfsim::Field;
using rfsim::Frame;
using rfsim::Iso14443aTag;
using rfsim::Protocol;
using State = Iso14443aTag::State;

// A tag of any protocol that records what it hears and answers a fixed reply.
class RecordingTag : public rfsim::Tag {
  public:
    RecordingTag(Protocol protocol, Bytes reply) : protocol_(protocol), reply_(std::move(reply)) {}
    Protocol protocol() const override { return protocol_; }
    std::optional<rfsim::Bits> hear(const rfsim::Bits& air) override {
        heard.push_back(air);
        return rfsim::Bits{reply_, 8};
    }
    void powerOff() override { ++powerOffs; }

    std::vector<rfsim::Bits> heard;
    int powerOffs = 0;

  private:
    Protocol protocol_;
    Bytes reply_;
};

const Frame kReqA{{0x26}, 7};
const Frame kWupA{{0x52}, 7};
const Frame kHltA{{0x50, 0x00}, 8, true};

Iso14443aTag::Config withUid(const Bytes& uid) {
    Iso14443aTag::Config config;
    config.uid.assign(uid.begin(), uid.end());
    return config;
}

Frame withCrc(Bytes bytes) {
    return Frame{std::move(bytes), 8, true};
}

Frame select(std::uint8_t sel, const std::array<std::uint8_t, 5>& cascade) {
    return withCrc({sel, 0x70, cascade[0], cascade[1], cascade[2], cascade[3], cascade[4]});
}

class FieldTest : public ::testing::Test {
  protected:
    Iso14443aTag& place(Bytes uid, std::uint8_t sak = 0x08) {
        Iso14443aTag::Config config = withUid(std::move(uid));
        config.sak = sak;
        return field.add(std::make_unique<Iso14443aTag>(config));
    }

    Field field;
};

TEST(Crc, KnownValuesAndCheck) {
    EXPECT_EQ(rfsim::crcA(Bytes{0x00, 0x00}), 0x1EA0);
    EXPECT_EQ(rfsim::withCrcA({0x50, 0x00}), (Bytes{0x50, 0x00, 0x57, 0xCD}));
    EXPECT_TRUE(rfsim::endsWithCrcA({rfsim::withCrcA({0x12}), 8}));
    EXPECT_FALSE(rfsim::endsWithCrcA({{0x12, 0x00, 0x00}, 8}));

    // ISO/IEC 13239 as ISO 14443-B and ISO 15693 send it.
    EXPECT_EQ(rfsim::crcB(Bytes{0x00, 0x00, 0x00}), 0xC6CC);
    EXPECT_EQ(rfsim::crcB(Bytes{'1', '2', '3', '4', '5', '6', '7', '8', '9'}), 0x906E);
    EXPECT_EQ(rfsim::withCrc(Protocol::Iso14443B, {0x00, 0x00, 0x00}), (Bytes{0, 0, 0, 0xCC, 0xC6}));
    const Bytes request = rfsim::withCrc(Protocol::Iso15693, {0x26, 0x01, 0x00});
    EXPECT_TRUE(rfsim::endsWithCrc(Protocol::Iso15693, {request, 8}));
    EXPECT_FALSE(rfsim::endsWithCrc(Protocol::Iso14443A, {request, 8}));
    EXPECT_FALSE(rfsim::endsWithCrc(Protocol::Iso15693, {request, 7}));
}

TEST(Protocols, TagsHearOnlyFramesOfTheirProtocolWithItsCrc) {
    Field field;
    auto& vicinity = field.add(std::make_unique<RecordingTag>(Protocol::Iso15693, Bytes{0x00, 0x11}));
    auto& typeB = field.add(std::make_unique<RecordingTag>(Protocol::Iso14443B, Bytes{0x22}));
    Iso14443aTag& typeA = field.add(std::make_unique<Iso14443aTag>(withUid({1, 2, 3, 4})));

    const auto b = field.exchange(Frame{{0x06, 0x00}, 8, true, Protocol::Iso14443B});
    ASSERT_TRUE(b);
    EXPECT_EQ(b->bytes, Bytes{0x22});
    ASSERT_EQ(typeB.heard.size(), 1u);
    EXPECT_EQ(typeB.heard[0].bytes, rfsim::withCrc(Protocol::Iso14443B, {0x06, 0x00}));
    EXPECT_TRUE(vicinity.heard.empty());

    // A REQA on another protocol wakes no type A tag.
    field.exchange(Frame{{0x26}, 7, false, Protocol::Iso15693});
    EXPECT_EQ(typeA.state(), State::Idle);

    // The end of frame alone: an empty bit string, to ISO 15693 tags only.
    const auto slot = field.exchange(Frame{{}, 8, false, Protocol::Iso15693});
    ASSERT_TRUE(slot);
    EXPECT_EQ(slot->bytes, (Bytes{0x00, 0x11}));
    EXPECT_TRUE(vicinity.heard.back().bytes.empty());
    EXPECT_EQ(typeB.heard.size(), 1u);
    EXPECT_FALSE(field.exchange(Frame{{}, 8, false, Protocol::Iso14443B}));
    EXPECT_FALSE(field.exchange(Frame{{}, 8, true, Protocol::Iso15693}));
    EXPECT_EQ(typeB.heard.size(), 1u);
    EXPECT_EQ(vicinity.heard.size(), 2u);
}

TEST_F(FieldTest, SwitchingTheFieldOffPowersEveryTagDown) {
    Iso14443aTag& tag = place({0x01, 0x02, 0x03, 0x04});
    auto& vicinity = field.add(std::make_unique<RecordingTag>(Protocol::Iso15693, Bytes{0x00}));
    ASSERT_TRUE(field.exchange(kReqA));
    ASSERT_TRUE(field.exchange(select(0x93, tag.cascadeBytes(1))));
    EXPECT_FALSE(field.exchange(kHltA));
    EXPECT_EQ(tag.state(), State::Halt);
    EXPECT_FALSE(field.exchange(kReqA));

    field.switchOff();
    EXPECT_EQ(tag.state(), State::Idle);
    EXPECT_EQ(vicinity.powerOffs, 1);
    EXPECT_TRUE(field.exchange(kReqA));
}

TEST_F(FieldTest, TagsWithDifferentAtqasCollideOnReqA) {
    const auto single = withUid({1, 2, 3, 4});
    const auto dbl = withUid({1, 2, 3, 4, 5, 6, 7});
    field.add(std::make_unique<Iso14443aTag>(single));
    field.add(std::make_unique<Iso14443aTag>(dbl));

    const auto answer = field.exchange(kReqA);
    ASSERT_TRUE(answer);
    // 0x04 and 0x44 first differ at bit 6: it reads 1, bit 7 reads 0.
    EXPECT_EQ(answer->bytes, (Bytes{0x44, 0x00}));
    EXPECT_EQ(answer->collision, (Collision{0, 6}));

    Field same;
    same.add(std::make_unique<Iso14443aTag>(single));
    same.add(std::make_unique<Iso14443aTag>(single));
    const auto plain = same.exchange(kReqA);
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->bytes, (Bytes{0x04, 0x00}));
    EXPECT_FALSE(plain->collision);
}

TEST_F(FieldTest, AnticollisionAnswersStartWithTheSplitByte) {
    Iso14443aTag& a = place({0x11, 0x22, 0x33, 0x44});
    Iso14443aTag& b = place({0x11, 0x2A, 0x55, 0x66});
    ASSERT_TRUE(field.exchange(kReqA));

    // 0x22 and 0x2A differ first at bit 3 of byte 1.
    const auto all = field.exchange(Frame{{0x93, 0x20}});
    ASSERT_TRUE(all);
    EXPECT_EQ(all->collision, (Collision{1, 3}));
    EXPECT_EQ(all->bytes, (Bytes{0x11, 0x0A, 0x00, 0x00, 0x00}));

    // One whole byte and four bits known (the colliding bit as 1): only b answers,
    // from byte 1 on with its four known bits zero.
    const auto split = field.exchange(Frame{{0x93, 0x34, 0x11, 0x0A}, 4});
    ASSERT_TRUE(split);
    EXPECT_FALSE(split->collision);
    EXPECT_EQ(split->bytes, (Bytes{0x20, 0x55, 0x66, 0x11 ^ 0x2A ^ 0x55 ^ 0x66}));

    // A frame whose length does not match its NVB sends both back to idle.
    EXPECT_FALSE(field.exchange(Frame{{0x93, 0x34, 0x11, 0x0A}}));
    EXPECT_EQ(a.state(), State::Idle);
    EXPECT_EQ(b.state(), State::Idle);
}

TEST_F(FieldTest, CascadeLevelsSakAndRats) {
    struct Case {
        Bytes uid;
        std::uint8_t sak;
        bool ats;
    };
    const Case cases[] = {
        {{1, 2, 3, 4}, 0x08, false},
        {{1, 2, 3, 4, 5, 6, 7}, 0x20, true},
        {{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, 0x28, true},
    };
    for (const Case& c : cases) {
        Field one;
        Iso14443aTag::Config config = withUid(c.uid);
        config.sak = c.sak;
        Iso14443aTag& tag = one.add(std::make_unique<Iso14443aTag>(config));
        ASSERT_TRUE(one.exchange(kReqA));
        const std::uint8_t sels[] = {0x93, 0x95, 0x97};
        for (int level = 1; level <= tag.levels(); ++level) {
            const auto cascade = tag.cascadeBytes(level);
            const auto ac = one.exchange(Frame{{sels[level - 1], 0x20}});
            ASSERT_TRUE(ac);
            EXPECT_EQ(ac->bytes, Bytes(cascade.begin(), cascade.end()));
            const auto sak = one.exchange(select(sels[level - 1], cascade));
            ASSERT_TRUE(sak);
            const std::uint8_t expected = level < tag.levels() ? 0x04 : c.sak;
            EXPECT_EQ(sak->bytes, rfsim::withCrcA({expected}));
        }
        EXPECT_EQ(tag.state(), State::Active);
        const auto ats = one.exchange(withCrc({0xE0, 0x80}));
        EXPECT_EQ(ats.has_value(), c.ats) << c.uid.size();
        if (!c.ats) continue;
        EXPECT_EQ(ats->bytes, rfsim::withCrcA(config.ats));
        EXPECT_EQ(one.exchange(withCrc({0xD0, 0x11, 0x00}))->bytes, rfsim::withCrcA({0xD0}));
        EXPECT_EQ(one.exchange(withCrc({0xC2}))->bytes, rfsim::withCrcA({0xC2}));
        EXPECT_EQ(tag.state(), State::Halt);
    }
}

TEST_F(FieldTest, HaltedTagsWakeOnlyOnWupA) {
    Iso14443aTag& tag = place({0x01, 0x02, 0x03, 0x04});
    ASSERT_TRUE(field.exchange(kReqA));
    ASSERT_TRUE(field.exchange(select(0x93, tag.cascadeBytes(1))));
    EXPECT_FALSE(field.exchange(kHltA));
    EXPECT_EQ(tag.state(), State::Halt);

    EXPECT_FALSE(field.exchange(kReqA));
    EXPECT_FALSE(field.exchange(Frame{{0x93, 0x20}}));
    EXPECT_EQ(tag.state(), State::Halt);

    const auto atqa = field.exchange(kWupA);
    ASSERT_TRUE(atqa);
    EXPECT_EQ(atqa->bytes, (Bytes{0x04, 0x00}));
    EXPECT_EQ(tag.state(), State::Ready);

    // Any other frame sends a ready tag back to idle; REQA wakes it again.
    EXPECT_FALSE(field.exchange(Frame{{0x30, 0x00}, 8, true}));
    EXPECT_EQ(tag.state(), State::Idle);
    EXPECT_TRUE(field.exchange(kReqA));
}

TEST_F(FieldTest, SelectWithABadCrcIsIgnored) {
    Iso14443aTag& tag = place({0x01, 0x02, 0x03, 0x04});
    ASSERT_TRUE(field.exchange(kReqA));
    const auto cascade = tag.cascadeBytes(1);
    Bytes bad = rfsim::withCrcA({0x93, 0x70, cascade[0], cascade[1], cascade[2], cascade[3], cascade[4]});
    bad.back() ^= 0x01;
    EXPECT_FALSE(field.exchange(Frame{bad}));
    EXPECT_NE(tag.state(), State::Active);
}

TEST_F(FieldTest, FramesNoReaderSendsAreSilent) {
    place({0x01, 0x02, 0x03, 0x04});
    EXPECT_FALSE(field.exchange(Frame{{}, 8}));
    EXPECT_FALSE(field.exchange(Frame{{0x26}, 0}));
    EXPECT_FALSE(field.exchange(Frame{{0x26}, 9}));
    EXPECT_FALSE(field.exchange(Frame{{0x26}, 7, true}));
    EXPECT_THROW(Iso14443aTag(withUid({1, 2, 3, 4, 5})), std::invalid_argument);
}

} // namespace

#include "fake_reader.h"
#include "iso14443a_pcd.h"
#include "qm30.h"

#include <rfsim/iso14443a_tag.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <set>
#include <vector>

namespace {

using kestoreader_test::CurrentReader;
using kestoreader_test::FakeReader;
using rfsim::Iso14443aTag;
using vemlasdknative::byte_t;
using vemlasdknative::Iso14443ACommands;
using vemlasdknative::Iso14443Tag;
using vemlasdknative::RfReaderBase;
using Bytes = std::vector<byte_t>;
using Sent = FakeReader::Sent;
using State = Iso14443aTag::State;

constexpr int kError = 97;
const Sent kReqA{{0x26, 0x07}, 0};
const Sent kWupA{{0x52, 0x07}, 0};
const Sent kHltA{{0x50, 0x00}, 0x28};
const Sent kRats{{0xE0, 0x80}, 0x28};

byte_t bcc(byte_t a, byte_t b, byte_t c, byte_t d) {
    return static_cast<byte_t>(a ^ b ^ c ^ d);
}

Sent select(byte_t sel, byte_t a, byte_t b, byte_t c, byte_t d) {
    return {{sel, 0x70, a, b, c, d, bcc(a, b, c, d)}, 0x28};
}

Bytes uidOf(const Iso14443Tag& tag) {
    return Bytes(tag.uid, tag.uid + tag.uid_size);
}

class Iso14443aTest : public ::testing::Test {
  protected:
    Iso14443aTag& place(Bytes uid, byte_t sak = 0x08,
                        std::optional<std::array<byte_t, 2>> atqa = std::nullopt) {
        Iso14443aTag::Config config;
        config.uid = std::move(uid);
        config.sak = sak;
        config.atqa = atqa;
        Iso14443aTag& tag = reader.field.add(std::make_unique<Iso14443aTag>(config));
        tags.push_back(&tag);
        return tag;
    }

    bool logged(const Sent& frame) const {
        return std::find(reader.log.begin(), reader.log.end(), frame) != reader.log.end();
    }

    // Collects every tag and checks that each placed tag was found once and is halted.
    void collectAll() {
        std::vector<Iso14443Tag> found;
        EXPECT_EQ(commands.Iso14443aAnticollision(found), 0);
        std::multiset<Bytes> got;
        std::multiset<Bytes> placed;
        for (const Iso14443Tag& tag : found)
            got.insert(uidOf(tag));
        for (const Iso14443aTag* tag : tags) {
            placed.insert(tag->config().uid);
            EXPECT_EQ(tag->state(), State::Halt);
        }
        EXPECT_EQ(got, placed);
    }

    FakeReader reader;
    CurrentReader current{&reader};
    Iso14443ACommands commands;
    std::vector<Iso14443aTag*> tags;
};

TEST_F(Iso14443aTest, PlainFrames) {
    struct Case {
        const char* name;
        int (*run)(Iso14443ACommands&, byte_t*, int);
        Sent frame;
        int failed; // result when the exchange fails
    };
    const Case cases[] = {
        {"REQA", [](Iso14443ACommands& c, byte_t* a, int n) { return c.Iso14443aReqA(a, n); }, kReqA, kError},
        {"WUPA", [](Iso14443ACommands& c, byte_t* a, int n) { return c.Iso14443aWupA(a, n); }, kWupA, kError},
        {"HLTA", [](Iso14443ACommands& c, byte_t* a, int n) { return c.Iso14443aHltA(a, n); }, kHltA, 0},
        {"RATS", [](Iso14443ACommands& c, byte_t* a, int n) { return c.Iso14443aRats(a, n); }, kRats, kError},
        {"DESELECT",
         [](Iso14443ACommands& c, byte_t*, int) { return c.Iso14443aDeselectTag(nullptr); },
         {{0xC2}, 0x28},
         kError},
    };
    for (const Case& c : cases) {
        FakeReader one;
        CurrentReader current(&one);
        one.script.push_back({RfReaderBase::TRANSFER_OK, {0x44, 0x00}});
        one.failNth = 2;
        byte_t answer[2] = {};
        EXPECT_EQ(c.run(commands, answer, 2), 0) << c.name;
        EXPECT_EQ(c.run(commands, answer, 2), c.failed) << c.name;
        EXPECT_EQ(one.log, (std::vector<Sent>{c.frame, c.frame})) << c.name;
    }
}

TEST_F(Iso14443aTest, OneTagAtEachUidSize) {
    struct Case {
        Bytes uid;
        byte_t sak;
        std::vector<Sent> frames; // after REQA and the level-1 anticollision frame
    };
    const Case cases[] = {
        {{0x01, 0x02, 0x03, 0x04}, 0x08, {select(0x93, 0x01, 0x02, 0x03, 0x04), kHltA}},
        {{0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07},
         0x20,
         {select(0x93, 0x88, 0x01, 0x02, 0x03),
          {{0x95, 0x20, 0x08}, 0},
          select(0x95, 0x04, 0x05, 0x06, 0x07),
          kHltA}},
        {{0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A},
         0x28,
         {select(0x93, 0x88, 0x01, 0x02, 0x03),
          {{0x95, 0x20, 0x08}, 0},
          select(0x95, 0x88, 0x04, 0x05, 0x06),
          {{0x97, 0x20, 0x08}, 0},
          select(0x97, 0x07, 0x08, 0x09, 0x0A),
          kHltA}},
    };
    for (const Case& c : cases) {
        FakeReader one;
        CurrentReader current(&one);
        Iso14443aTag::Config config;
        config.uid = c.uid;
        config.sak = c.sak;
        Iso14443aTag& tag = one.field.add(std::make_unique<Iso14443aTag>(config));

        std::vector<Iso14443Tag> found;
        EXPECT_EQ(commands.Iso14443aAnticollision(found), 0);
        ASSERT_EQ(found.size(), 1u);
        EXPECT_EQ(found[0].uid_size, c.uid.size());
        EXPECT_EQ(uidOf(found[0]), c.uid);
        EXPECT_EQ(found[0].sak, c.sak);
        EXPECT_EQ(found[0].ats_supported, (c.sak & 0x20) != 0);
        EXPECT_EQ(tag.state(), State::Halt);

        std::vector<Sent> expected{kReqA, {{0x93, 0x20, 0x08}, 0}};
        expected.insert(expected.end(), c.frames.begin(), c.frames.end());
        expected.push_back(kReqA); // nothing answers any more
        EXPECT_EQ(one.log, expected) << c.uid.size();
    }
}

TEST_F(Iso14443aTest, CollisionFramesCarryTheKnownBits) {
    struct Case {
        std::vector<Bytes> uids;
        Sent frame;
    };
    const Case cases[] = {
        // First difference at bit 3 of byte 1: P = 0x30, k = 4.
        {{{0x11, 0x22, 0x33, 0x44}, {0x11, 0x2A, 0x33, 0x44}}, {{0x93, 0x34, 0x11, 0x0A, 0x44}, 0}},
        // At bit 7 of byte 0: P = 0x30, k = 0.
        {{{0x11, 0x22, 0x33, 0x44}, {0x91, 0x22, 0x33, 0x44}}, {{0x93, 0x30, 0x91, 0x00, 0x40}, 0}},
        // A second collision in the partial answer, at bit 5 of its byte 1.
        {{{0x11, 0x22, 0x33, 0x44}, {0x11, 0x2A, 0x33, 0x44}, {0x11, 0x2A, 0x13, 0x44}},
         {{0x93, 0x46, 0x11, 0x2A, 0x33, 0x46}, 0}},
        // The second one at bit 7 of its byte 1: P grows by 0x20, k = 0.
        {{{0x11, 0x22, 0x33, 0x44}, {0x11, 0x2A, 0x33, 0x44}, {0x11, 0x2A, 0xB3, 0x44}},
         {{0x93, 0x50, 0x11, 0x2A, 0xB3, 0x00, 0x40}, 0}},
    };
    for (const Case& c : cases) {
        FakeReader one;
        CurrentReader current(&one);
        std::multiset<Bytes> placed;
        for (const Bytes& uid : c.uids) {
            one.field.add(std::make_unique<Iso14443aTag>(Iso14443aTag::Config{uid, std::nullopt}));
            placed.insert(uid);
        }
        std::vector<Iso14443Tag> found;
        EXPECT_EQ(commands.Iso14443aAnticollision(found), 0);
        std::multiset<Bytes> got;
        for (const Iso14443Tag& tag : found)
            got.insert(uidOf(tag));
        EXPECT_EQ(got, placed);
        EXPECT_NE(std::find(one.log.begin(), one.log.end(), c.frame), one.log.end()) << c.uids.size();
    }
}

TEST_F(Iso14443aTest, CollectsEveryTag) {
    const std::vector<std::vector<Bytes>> fields = {
        {{0x10, 0x20, 0x30, 0x40}, {0x10, 0x21, 0x30, 0x40}},
        {{0x55, 0x66, 0x77, 0x01}, {0x55, 0x66, 0x77, 0x41}, {0x55, 0x66, 0x77, 0x02}},
        {{0x01, 0x02, 0x03, 0x04},
         {0x01, 0x02, 0x03, 0x05},
         {0x81, 0x02, 0x03, 0x04},
         {0x04, 0xA1, 0xB2, 0xC3, 0xD4, 0xE5, 0xF6},
         {0x04, 0xA1, 0xB2, 0xC3, 0xD4, 0xE5, 0xF7},
         {0x04, 0xA1, 0xB2, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77},
         {0x04, 0xA1, 0xB3, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77},
         {0x08, 0x00, 0x00, 0x00}},
    };
    for (const auto& uids : fields) {
        reader.field = rfsim::Field();
        tags.clear();
        // Different ATQAs come with different UID sizes: REQA collides.
        for (const Bytes& uid : uids)
            place(uid, 0x20);
        collectAll();
    }
}

TEST_F(Iso14443aTest, SelectsAKnownUid) {
    struct Case {
        Bytes uid;
        std::vector<Sent> selects;
    };
    const Case cases[] = {
        {{0x01, 0x02, 0x03, 0x04}, {select(0x93, 0x01, 0x02, 0x03, 0x04)}},
        {{0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07},
         {select(0x93, 0x88, 0x01, 0x02, 0x03), select(0x95, 0x04, 0x05, 0x06, 0x07)}},
        {{0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A},
         {select(0x93, 0x88, 0x01, 0x02, 0x03), select(0x95, 0x88, 0x04, 0x05, 0x06),
          select(0x97, 0x07, 0x08, 0x09, 0x0A)}},
    };
    for (const Case& c : cases) {
        FakeReader one;
        CurrentReader current(&one);
        Iso14443aTag::Config config{c.uid, std::nullopt};
        config.sak = 0x20;
        Iso14443aTag& tag = one.field.add(std::make_unique<Iso14443aTag>(config));
        EXPECT_EQ(commands.Iso14443aSelectTag(c.uid.data(), static_cast<byte_t>(c.uid.size())), 0);
        std::vector<Sent> expected{kHltA, kWupA};
        expected.insert(expected.end(), c.selects.begin(), c.selects.end());
        expected.push_back(kRats);
        EXPECT_EQ(one.log, expected) << c.uid.size();
        EXPECT_EQ(tag.state(), State::Protocol);

        // Every step that fails gives 97: WUPA, each SELECT, RATS.
        for (std::size_t nth = 2; nth <= expected.size(); ++nth) {
            FakeReader failing;
            CurrentReader again(&failing);
            failing.field.add(std::make_unique<Iso14443aTag>(config));
            failing.failNth = static_cast<int>(nth);
            EXPECT_EQ(commands.Iso14443aSelectTag(c.uid.data(), static_cast<byte_t>(c.uid.size())), kError)
                << nth;
            EXPECT_EQ(failing.log.size(), nth);
        }
    }
}

TEST_F(Iso14443aTest, SelectRefusesImpossibleSizes) {
    place({0x01, 0x02, 0x03, 0x04});
    const byte_t uid[11] = {};
    for (byte_t size : {0, 5, 11})
        EXPECT_EQ(commands.Iso14443aSelectTag(uid, size), kError) << int(size);
    EXPECT_EQ(commands.Iso14443aSelectTag(nullptr, 4), kError);
    EXPECT_TRUE(reader.log.empty());
}

TEST_F(Iso14443aTest, SelectWithoutAtsFailsAtRats) {
    const Bytes uid{0x01, 0x02, 0x03, 0x04};
    place(uid, 0x08);
    EXPECT_EQ(commands.Iso14443aSelectTag(uid.data(), 4), kError);
    EXPECT_EQ(reader.log.back(), kRats);
}

TEST_F(Iso14443aTest, DeselectAndPresence) {
    EXPECT_EQ(commands.Iso14443aIsPresent(), kError);

    const Bytes uid{0x01, 0x02, 0x03, 0x04};
    Iso14443aTag& tag = place(uid, 0x20);
    EXPECT_EQ(commands.Iso14443aIsPresent(), 0);
    ASSERT_EQ(commands.Iso14443aSelectTag(uid.data(), 4), 0);
    EXPECT_EQ(commands.Iso14443aDeselectTag(uid.data()), 0);
    EXPECT_EQ(tag.state(), State::Halt);
    EXPECT_EQ(commands.Iso14443aDeselectTag(uid.data()), kError); // nobody answers now

    // Tags with different ATQAs collide on REQA: present, though REQA itself fails.
    FakeReader two;
    CurrentReader again(&two);
    for (const Bytes& size : {Bytes{1, 2, 3, 4}, Bytes{1, 2, 3, 4, 5, 6, 7}})
        two.field.add(std::make_unique<Iso14443aTag>(Iso14443aTag::Config{size, std::nullopt}));
    EXPECT_EQ(commands.Iso14443aIsPresent(), 0);
    commands.Iso14443aHltA(nullptr, 0); // any other frame: back to idle
    byte_t atqa[2] = {};
    EXPECT_EQ(commands.Iso14443aReqA(atqa, 2), kError);
}

// A reader that keeps answering an anticollision frame with an acknowledge gets
// the frame at most three more times.
TEST_F(Iso14443aTest, AcknowledgedFramesRepeatThreeTimes) {
    for (RfReaderBase::ReaderStatus ack : {RfReaderBase::ACK, RfReaderBase::NACK}) {
        FakeReader one;
        CurrentReader current(&one);
        for (const Bytes& uid : {Bytes{0x11, 0x22, 0x33, 0x44}, Bytes{0x11, 0x2A, 0x33, 0x44}})
            one.field.add(std::make_unique<Iso14443aTag>(Iso14443aTag::Config{uid, std::nullopt}));
        one.acknowledgeFrom = 3;
        one.acknowledge = ack;
        ASSERT_EQ(commands.Iso14443aReqA(nullptr, 0), 0); // the ATQAs agree; no area to copy them into
        byte_t answer[5] = {};
        EXPECT_EQ(commands.Iso14443aAc(0x93, answer), kError);
        ASSERT_EQ(one.log.size(), 6u);
        const Sent repeated{{0x93, 0x34, 0x11, 0x0A, 0x44}, 0};
        EXPECT_EQ(std::count(one.log.begin(), one.log.end(), repeated), 4);
    }
}

// Collision positions the answer cannot have, or none written, end the level
// with 97; so does a collision that teaches nothing new.
TEST_F(Iso14443aTest, BadCollisionPositions) {
    using Scripted = FakeReader::Scripted;
    const auto collision = [](Bytes answer, std::uint8_t byte, std::uint8_t bit) {
        return Scripted{RfReaderBase::COLLISION_DETECTED, std::move(answer), byte, bit};
    };
    struct Case {
        const char* name;
        std::vector<Scripted> answers;
        bool silent;
    };
    const Case cases[] = {
        {"byte past the answer", {collision({0x11, 0x22}, 2, 0)}, false},
        {"bit above 7", {collision({0x11, 0x22, 0x33, 0x44, 0x00}, 0, 8)}, false},
        {"nothing written", {collision({0x11, 0x22, 0x33, 0x44, 0x00}, 1, 3)}, true},
        {"in the check byte", {collision({0x11, 0x22, 0x33, 0x44, 0x00}, 4, 2)}, false},
        {"later, past the answer",
         {collision({0x11, 0x2A, 0, 0, 0}, 1, 3), collision({0x20, 0x33}, 2, 1)},
         false},
        {"later, no progress",
         {collision({0x11, 0x2A, 0, 0, 0}, 1, 3), collision({0x28, 0, 0, 0}, 0, 2)},
         false},
        {"empty answer",
         {collision({0x11, 0x2A, 0, 0, 0}, 1, 3), Scripted{RfReaderBase::TRANSFER_OK, {}}},
         false},
    };
    for (const Case& c : cases) {
        FakeReader one;
        CurrentReader current(&one);
        one.script.assign(c.answers.begin(), c.answers.end());
        one.silentCollisionPos = c.silent;
        byte_t answer[5] = {};
        EXPECT_EQ(commands.Iso14443aAc(0x93, answer), kError) << c.name;
    }
    EXPECT_EQ(commands.Iso14443aAc(0x93, nullptr), kError);

    // A silent reader over two colliding tags.
    place({0x11, 0x22, 0x33, 0x44});
    place({0x11, 0x2A, 0x33, 0x44});
    reader.silentCollisionPos = true;
    std::vector<Iso14443Tag> found;
    EXPECT_EQ(commands.Iso14443aAnticollision(found), 0);
    EXPECT_TRUE(found.empty());
}

TEST_F(Iso14443aTest, AnswersLongerThanTheAreas) {
    reader.script.push_back({RfReaderBase::TRANSFER_OK, Bytes(40, 0x5A)});
    byte_t answer[5] = {};
    EXPECT_EQ(commands.Iso14443aAc(0x93, answer), 0);
    EXPECT_EQ(Bytes(answer, answer + 5), Bytes(5, 0x5A));

    reader.script.push_back({RfReaderBase::TRANSFER_OK, Bytes(40, 0x5A)});
    byte_t atqa[2] = {};
    EXPECT_EQ(commands.Iso14443aReqA(atqa, 2), 0);
}

TEST_F(Iso14443aTest, EndlessCollisionsEndTheLoop) {
    place({0x11, 0x22, 0x33, 0x44});
    using Position = std::pair<std::uint8_t, std::uint8_t>;
    for (const Position& position : {Position{0, 0}, Position{0, 7}}) {
        reader.log.clear();
        reader.endlessCollision = position;
        std::vector<Iso14443Tag> found;
        EXPECT_EQ(commands.Iso14443aAnticollision(found), 0);
        EXPECT_TRUE(found.empty());
        EXPECT_EQ(std::count(reader.log.begin(), reader.log.end(), kReqA), 32);
    }
}

// The dongle reader's ISO 14443-A operations run the routines on the current reader.
TEST_F(Iso14443aTest, DongleReaderOperations) {
    const Bytes uid{0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07};
    Iso14443aTag& tag = place(uid, 0x20);
    vemlasdknative::Qm30 dongle;
    vemlasdknative::Buffer rx(500);
    EXPECT_EQ(dongle.SendReqA(&rx), RfReaderBase::TRANSFER_OK);
    EXPECT_EQ(rx.length, 500);
    EXPECT_EQ(rx.buf[0], 0x44);
    EXPECT_EQ(dongle.SendHltA(&rx), RfReaderBase::TRANSFER_OK);
    EXPECT_EQ(dongle.SendWupA(&rx), RfReaderBase::TRANSFER_OK);
    Bytes copy = uid;
    EXPECT_EQ(dongle.selectTag(copy.data(), 7), 0);
    EXPECT_EQ(tag.state(), State::Protocol);
    EXPECT_EQ(dongle.deselectTag(copy.data()), 0);
    EXPECT_EQ(tag.state(), State::Halt);
    EXPECT_EQ(dongle.SendReqA(&rx), RfReaderBase::DEFAULT_ERROR);
    EXPECT_EQ(dongle.SendReqA(nullptr), RfReaderBase::DEFAULT_ERROR);
    EXPECT_EQ(dongle.selectTag(copy.data(), 5), kError);
}

} // namespace

#include <rfsim/field.h>
#include <rfsim/iso15693_tag.h>

#include <gtest/gtest.h>

#include <memory>
#include <optional>

namespace {

using rfsim::Bytes;
using rfsim::Field;
using rfsim::Frame;
using rfsim::Iso15693Tag;
using rfsim::Protocol;
using State = Iso15693Tag::State;

Frame request(Bytes bytes, bool crc = true) {
    return Frame{std::move(bytes), 8, crc, Protocol::Iso15693};
}
const Frame kEndOfFrame{{}, 8, false, Protocol::Iso15693};

// What came back without its CRC (checked), or nothing.
std::optional<Bytes> data(const std::optional<rfsim::Answer>& answer) {
    if (!answer) return std::nullopt;
    EXPECT_FALSE(answer->collision);
    EXPECT_TRUE(rfsim::endsWithCrc(Protocol::Iso15693, {answer->bytes, answer->lastBits}));
    return Bytes(answer->bytes.begin(), answer->bytes.end() - 2);
}

Bytes addressed(std::uint8_t command, const Iso15693Tag& tag) {
    Bytes out{0x22, command};
    const Bytes uid = tag.uidBytes();
    out.insert(out.end(), uid.begin(), uid.end());
    return out;
}

class Iso15693TagTest : public ::testing::Test {
  protected:
    Iso15693Tag& place(std::uint64_t uid, std::uint8_t dsfid = 0, std::uint8_t afi = 0) {
        return field.add(std::make_unique<Iso15693Tag>(Iso15693Tag::Config{uid, dsfid, afi}));
    }
    std::optional<rfsim::Answer> send(Bytes bytes) { return field.exchange(request(std::move(bytes))); }

    Field field;
};

TEST_F(Iso15693TagTest, OneSlotInventoryAnswersDsfidAndUidLowByteFirst) {
    Iso15693Tag& tag = place(0xE004010203040506, 0x7A);
    EXPECT_EQ(data(send({0x26, 0x01, 0x00})),
              (Bytes{0x00, 0x7A, 0x06, 0x05, 0x04, 0x03, 0x02, 0x01, 0x04, 0xE0}));
    EXPECT_EQ(tag.inventoryAnswer(), *data(send({0x26, 0x01, 0x00})));
    // Without its CRC, or with the CRC broken, the request is not heard.
    EXPECT_FALSE(field.exchange(request({0x26, 0x01, 0x00}, false)));
    Bytes bad = rfsim::withCrc(Protocol::Iso15693, {0x26, 0x01, 0x00});
    bad[3] ^= 0x80;
    EXPECT_FALSE(field.exchange(request(bad, false)));
}

TEST_F(Iso15693TagTest, MaskAndAfiChooseWhoAnswers) {
    place(0x00000000000000A5, 1, 0x07);
    place(0x00000000000003B5, 2, 0x09);
    struct Case {
        Bytes request;
        std::optional<std::uint8_t> dsfid; // of the one answering; nothing: silence
        bool collision;
    };
    const Case cases[] = {
        {{0x26, 0x01, 4, 0x05}, {}, true},         // both end in 0x5
        {{0x26, 0x01, 8, 0xA5}, 1, false},         // 8 bits
        {{0x26, 0x01, 8, 0xB5}, 2, false},         //
        {{0x26, 0x01, 12, 0xB5, 0xF3}, 2, false},  // 12 bits: high nibble of the second byte ignored
        {{0x26, 0x01, 12, 0xB5, 0x04}, {}, false}, //
        {{0x36, 0x01, 0x09, 0}, 2, false},         // AFI 9, empty mask
        {{0x36, 0x01, 0x00, 0}, {}, true},         // AFI 0: every family
        {{0x36, 0x01, 0x05, 0}, {}, false},        // nobody of family 5
        {{0x26, 0x01, 64, 0xA5, 0, 0, 0, 0, 0, 0, 0}, 1, false},
        {{0x26, 0x01, 65, 0xA5, 0, 0, 0, 0, 0, 0, 0, 0, 0}, {}, false}, // longer than a UID
        {{0x26, 0x01, 8}, {}, false},                                   // mask missing
        {{0x22, 0x01, 0}, {}, false},                                   // no inventory flag
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.request));
        const auto answer = send(c.request);
        if (c.collision) {
            ASSERT_TRUE(answer);
            EXPECT_TRUE(answer->collision);
        } else if (c.dsfid) {
            ASSERT_TRUE(data(answer));
            EXPECT_EQ((*data(answer))[1], *c.dsfid);
        } else {
            EXPECT_FALSE(answer);
        }
    }
}

TEST_F(Iso15693TagTest, SixteenSlotsAnswerAtTheRequestAndAtEndsOfFrame) {
    place(0x0000000000000020, 1); // mask 0: slot 0; mask 4 bits 0: slot 2
    place(0x0000000000000003, 2); // slot 3, then slot 0
    place(0x0000000000000013, 3); // slot 3, then slot 1
    // Mask of 0 bits: slot = low 4 bits.
    const auto slot0 = send({0x06, 0x01, 0});
    EXPECT_EQ((*data(slot0))[1], 1);
    for (int s = 1; s < 16; ++s) {
        SCOPED_TRACE(s);
        const auto answer = field.exchange(kEndOfFrame);
        EXPECT_EQ(answer.has_value(), s == 3);
        if (s == 3) {
            EXPECT_TRUE(answer->collision);
        }
    }
    EXPECT_FALSE(field.exchange(kEndOfFrame));

    // Mask 0x3 of 4 bits: slot = bits 4-7.
    EXPECT_EQ((*data(send({0x06, 0x01, 4, 0x03})))[1], 2);
    EXPECT_EQ((*data(field.exchange(kEndOfFrame)))[1], 3);

    // A new request ends the slots still open.
    EXPECT_FALSE(send({0x06, 0x01, 4, 0x00}));
    EXPECT_FALSE(send({0x06, 0x01, 8, 0xFF}));
    EXPECT_FALSE(field.exchange(kEndOfFrame));
    EXPECT_FALSE(field.exchange(kEndOfFrame));
}

TEST_F(Iso15693TagTest, StayQuietSelectAndResetToReady) {
    Iso15693Tag& a = place(0x1111111111111111, 1);
    Iso15693Tag& b = place(0x2222222222222222, 2);
    EXPECT_FALSE(send(addressed(0x02, a))); // stay quiet: no answer
    EXPECT_EQ(a.state(), State::Quiet);
    EXPECT_EQ((*data(send({0x26, 0x01, 0})))[1], 2);
    // Not addressed: ignored.
    EXPECT_FALSE(send({0x02, 0x02, 0x22, 0x22, 0x22, 0x22, 0x22, 0x22, 0x22, 0x22}));
    EXPECT_EQ(b.state(), State::Ready);

    EXPECT_EQ(data(send(addressed(0x25, b))), Bytes{0x00});
    EXPECT_EQ(b.state(), State::Selected);
    EXPECT_EQ((*data(send({0x26, 0x01, 0})))[1], 2); // selected tags answer inventories
    EXPECT_EQ(data(send(addressed(0x25, a))), Bytes{0x00});
    EXPECT_EQ(a.state(), State::Selected);
    EXPECT_EQ(b.state(), State::Ready);

    EXPECT_EQ(data(send({0x12, 0x26})), Bytes{0x00}); // reset to ready, the selected tag
    EXPECT_EQ(a.state(), State::Ready);
    send(addressed(0x02, b));
    b.powerOff();
    EXPECT_EQ(b.state(), State::Ready);
    EXPECT_EQ(data(send(addressed(0x26, b))), Bytes{0x00});
}

} // namespace

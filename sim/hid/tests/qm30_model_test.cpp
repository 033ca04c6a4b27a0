// The dongle model through the simulated hidapi, as a host would drive it: its
// answers, and the chunking rules it holds a host to.
#include <qm30sim/qm30_model.h>
#include <rfsim/iso14443a_tag.h>

#include <hidapi/hidapi.h>

#include <gtest/gtest.h>

#include <memory>

namespace {

using qm30sim::Qm30Model;
using rfsim::Protocol;
using Bytes = std::vector<std::uint8_t>;

// A tag that answers every frame of its protocol with a fixed bit string, or
// only frames that end with a correct CRC; it records what it heard.
class FixedTag : public rfsim::Tag {
  public:
    FixedTag(Protocol protocol, rfsim::Bits reply, bool checksCrc)
        : protocol_(protocol), reply_(std::move(reply)), checksCrc_(checksCrc) {}
    Protocol protocol() const override { return protocol_; }
    std::optional<rfsim::Bits> hear(const rfsim::Bits& air) override {
        heard.push_back(air.bytes);
        if (checksCrc_ && !air.bytes.empty() && !rfsim::endsWithCrc(protocol_, air)) return std::nullopt;
        return reply_;
    }
    void powerOff() override {}

    std::vector<Bytes> heard;

  private:
    Protocol protocol_;
    rfsim::Bits reply_;
    bool checksCrc_;
};

class Qm30ModelTest : public ::testing::Test {
  protected:
    void SetUp() override {
        hidsim::reset();
        model = std::make_shared<Qm30Model>();
        qm30sim::plugQm30(model);
        dev = hid_open(qm30sim::kVendorId, qm30sim::kProductId, nullptr);
        ASSERT_NE(dev, nullptr);
    }
    void TearDown() override {
        hid_close(dev);
        EXPECT_EQ(hidsim::counters().liveHandles, 0);
        EXPECT_TRUE(hidsim::violations().empty());
    }
    // Writes a 64-byte report starting with `head`, reads the answer.
    hidsim::Report ask(std::vector<std::uint8_t> head) {
        head.resize(64, 0);
        EXPECT_EQ(hid_write(dev, head.data(), head.size()), 64);
        hidsim::Report in(64);
        int n = hid_read_timeout(dev, in.data(), in.size(), 10);
        in.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
        return in;
    }
    static hidsim::Report head(const hidsim::Report& r, std::size_t n) { return {r.begin(), r.begin() + n}; }
    // A frame in one report; the answer's code, length byte and `n` payload bytes.
    Bytes frame(const Bytes& bytes, std::size_t n) {
        Bytes report{1, 0x04, static_cast<std::uint8_t>(bytes.size())};
        report.insert(report.end(), bytes.begin(), bytes.end());
        return answerHead(ask(report), n);
    }
    // A frame of up to 58 bytes in one chunk; the whole answer from its parts.
    Bytes chunked(const Bytes& bytes) {
        Bytes report{2,    0xA6, static_cast<std::uint8_t>(bytes.size() + 2),
                     0x00, 0x04, static_cast<std::uint8_t>(bytes.size())};
        report.insert(report.end(), bytes.begin(), bytes.end());
        hidsim::Report part = ask(report);
        Bytes answer;
        while (part.size() >= 4 && part[1] == 0xA7) {
            answer.insert(answer.end(), part.begin() + 4, part.begin() + 4 + part[2]);
            if ((part[3] & 0x10) == 0) break;
            part = ask({2, 0xA7});
        }
        return answer;
    }
    static Bytes answerHead(const hidsim::Report& r, std::size_t n) {
        return {r.begin() + 1, r.begin() + 3 + n};
    }
    void select(const Bytes& payload) {
        Bytes report{1, 0x02, static_cast<std::uint8_t>(payload.size())};
        report.insert(report.end(), payload.begin(), payload.end());
        ASSERT_EQ(ask(report)[1], 0x00);
    }
    rfsim::Iso14443aTag& placeA(Bytes uid, std::uint8_t sak = 0x20) {
        rfsim::Iso14443aTag::Config config;
        config.uid = std::move(uid);
        config.sak = sak;
        return model->field().add(std::make_unique<rfsim::Iso14443aTag>(config));
    }

    std::shared_ptr<Qm30Model> model;
    hid_device* dev = nullptr;
};

TEST_F(Qm30ModelTest, TransceiverAndControllerCommands) {
    EXPECT_EQ(head(ask({1, 0x55}), 3), (hidsim::Report{1, 0x55, 0}));
    model->setIdentification("ID");
    EXPECT_EQ(head(ask({1, 0x01, 0}), 5), (hidsim::Report{1, 0x00, 2, 'I', 'D'}));
    EXPECT_EQ(head(ask({1, 0x02, 2, 0x02, 0x01}), 3), (hidsim::Report{1, 0x00, 0}));
    EXPECT_EQ(model->selectedProtocol(), (std::vector<std::uint8_t>{2, 1}));
    model->failNextSelect(0x83);
    EXPECT_EQ(head(ask({1, 0x02, 1, 0x07}), 2), (hidsim::Report{1, 0x83}));
    EXPECT_EQ(model->selectedProtocol(), (std::vector<std::uint8_t>{2, 1}));
    EXPECT_EQ(head(ask({1, 0x09, 2, 0x3A, 0x00}), 2), (hidsim::Report{1, 0x00}));
    EXPECT_EQ(model->registerWrites(), (std::vector<std::vector<std::uint8_t>>{{0x3A, 0x00}}));
    model->setFrameHandler([](const std::vector<std::uint8_t>& frame) {
        return qm30sim::FrameAnswer{0x80, {static_cast<std::uint8_t>(frame.size())}};
    });
    EXPECT_EQ(head(ask({1, 0x04, 2, 0x26, 0x07}), 4), (hidsim::Report{1, 0x80, 1, 2}));
    EXPECT_EQ(head(ask({2, 0xBC}), 6), (hidsim::Report{2, 0xBC, 3, 3, 6, 5}));
    EXPECT_EQ(head(ask({2, 0xA8}), 2), (hidsim::Report{2, 0x00}));
    EXPECT_TRUE(model->violations().empty());
}

TEST_F(Qm30ModelTest, ChunksAreReassembledAndTheAnswerServedInParts) {
    std::vector<std::uint8_t> payload(100, 0x5A);
    model->setFrameHandler([&](const std::vector<std::uint8_t>&) {
        return qm30sim::FrameAnswer{0x80, payload};
    });
    std::vector<std::uint8_t> first{2, 0xA6, 32, 0x10, 0x04, 59};
    first.resize(36, 0x11);
    EXPECT_EQ(head(ask(first), 3), (hidsim::Report{2, 0xA6, 0}));
    std::vector<std::uint8_t> last{2, 0xA6, 29, 0x00};
    last.resize(33, 0x22);
    hidsim::Report part = ask(last);
    EXPECT_EQ(head(part, 5), (hidsim::Report{2, 0xA7, 60, 0x10, 0x80}));
    part = ask({2, 0xA7});
    EXPECT_EQ(head(part, 4), (hidsim::Report{2, 0xA7, 42, 0x00}));
    ASSERT_EQ(model->frames().size(), 1u);
    EXPECT_EQ(model->frames()[0].size(), 59u);
    EXPECT_EQ(model->frames()[0][30], 0x22);
    EXPECT_TRUE(model->violations().empty());
}

TEST_F(Qm30ModelTest, BrokenChunkingIsRecordedAndRefused) {
    const std::vector<std::vector<std::uint8_t>> broken = {
        {2, 0xA6, 5, 0x20, 0x04, 3, 1, 2, 3}, // unknown flag
        {2, 0xA6, 5, 0x00, 0x14, 3, 1, 2, 3}, // unknown type
        {2, 0xA6, 5, 0x00, 0x04, 4, 1, 2, 3}, // low length byte says 4, 3 sent
        {2, 0xA6, 22, 0x10, 0x04, 80},        // 20 bytes with more to come
        {2, 0xA6, 32, 0x10, 0x04, 50},        // more to come though 50 fit one chunk
        {2, 0xA6, 70, 0x00, 0x04, 68},        // past the report
    };
    for (const auto& report : broken) {
        EXPECT_EQ(ask(report)[1], 0x82);
    }
    EXPECT_EQ(model->violations().size(), broken.size());
    EXPECT_EQ(ask({2, 0xA7})[1], 0x82); // no answer pending
    EXPECT_EQ(model->violations().size(), broken.size() + 1);
    EXPECT_TRUE(model->frames().empty());
}

// Code and length byte, then the payload.
Bytes answerOf(std::uint8_t code, const Bytes& payload) {
    Bytes out{code, static_cast<std::uint8_t>(payload.size())};
    out.insert(out.end(), payload.begin(), payload.end());
    return out;
}

Bytes join(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST_F(Qm30ModelTest, TypeAFramesGoThroughTheFieldWithTheirFlag) {
    rfsim::Iso14443aTag& tag = placeA({0x11, 0x22, 0x33, 0x44});
    EXPECT_EQ(frame({0x26, 0x07}, 0), (Bytes{0x87, 0})); // field off
    select({0x02, 0x00, 0x02, 0x80});
    EXPECT_EQ(frame({0x26, 0x07}, 5), answerOf(0x80, {0x04, 0x00, 0, 0, 0}));
    EXPECT_EQ(frame({0x93, 0x20, 0x08}, 8), answerOf(0x80, {0x11, 0x22, 0x33, 0x44, 0x44, 0, 0, 0}));
    // SELECT with the CRC flag: the SAK with the tag's CRC_A, then the status.
    const auto c = tag.cascadeBytes(1);
    EXPECT_EQ(frame({0x93, 0x70, c[0], c[1], c[2], c[3], c[4], 0x28}, 6),
              answerOf(0x80, join(rfsim::withCrcA({0x20}), {0, 0, 0})));
    EXPECT_EQ(tag.state(), rfsim::Iso14443aTag::State::Active);
    // RATS sent with the CRC flag, in chunks.
    EXPECT_EQ(chunked({0xE0, 0x80, 0x28}),
              answerOf(0x80, join(rfsim::withCrcA(tag.config().ats), {0, 0, 0})));
    // No data byte, no valid bit, an unknown flag: nothing on air.
    EXPECT_EQ(frame({0x28}, 0), (Bytes{0x87, 0}));
    EXPECT_EQ(frame({0x26, 0x00}, 0), (Bytes{0x87, 0}));
    EXPECT_EQ(frame({0x26, 0x09}, 0), (Bytes{0x87, 0}));

    // Field off powers the tag down; a split byte without bits is not sent.
    select({0x00, 0x00});
    EXPECT_EQ(tag.state(), rfsim::Iso14443aTag::State::Idle);
    select({0x02, 0x00, 0x02, 0x80});
    placeA({0x11, 0x2A, 0x55, 0x66});
    EXPECT_EQ(frame({0x26, 0x07}, 5), answerOf(0x80, {0x04, 0x00, 0, 0, 0}));
    // 0x22 and 0x2A differ first at bit 3 of byte 1 (read 1, later bits 0):
    // S1 0x80, S2 1, S3 3.
    EXPECT_EQ(frame({0x93, 0x20, 0x08}, 8), answerOf(0x80, {0x11, 0x0A, 0x00, 0x00, 0x00, 0x80, 1, 3}));
    EXPECT_EQ(frame({0x93, 0x30, 0x11, 0x00, 0x40}, 7), answerOf(0x80, {0x0A, 0x00, 0x00, 0x00, 0x80, 0, 3}));
}

TEST_F(Qm30ModelTest, PartialAndLongAnswers) {
    select({0x02, 0x00, 0x02, 0x80});
    auto& ack =
        model->field().add(std::make_unique<FixedTag>(Protocol::Iso14443A, rfsim::Bits{{0x0A}, 4}, false));
    EXPECT_EQ(frame({0xA2, 0x08}, 4), answerOf(0x90, {0x0A, 0, 0, 0}));
    EXPECT_EQ(ack.heard.back(), Bytes{0xA2});
    model->field().remove(ack);

    Bytes big(300);
    for (std::size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<std::uint8_t>(i);
    model->field().add(std::make_unique<FixedTag>(Protocol::Iso14443A, rfsim::Bits{big, 8}, false));
    const Bytes answer = chunked({0x30, 0x00, 0x28});
    ASSERT_EQ(answer.size(), 2u + 303u);
    EXPECT_EQ(answer[0], 0xA0);
    EXPECT_EQ(answer[1], 303 - 256);
    EXPECT_EQ(Bytes(answer.begin() + 2, answer.begin() + 302), big);
    EXPECT_EQ(model->partsServed(), 6);
    // One report cannot carry it.
    EXPECT_EQ(frame({0x30, 0x00, 0x28}, 0), (Bytes{0x89, 0}));
}

TEST_F(Qm30ModelTest, TypeBAndVicinityTagsCheckTheCrcTheSelectAsksFor) {
    auto& b = model->field().add(std::make_unique<FixedTag>(
        Protocol::Iso14443B, rfsim::Bits{rfsim::withCrc(Protocol::Iso14443B, {0x5B}), 8}, true));
    const Bytes inventory = rfsim::withCrc(Protocol::Iso15693, {0x00, 0x07, 1, 2, 3, 4, 5, 6, 7, 0xE0});
    auto& v =
        model->field().add(std::make_unique<FixedTag>(Protocol::Iso15693, rfsim::Bits{inventory, 8}, true));

    select({0x03, 0x01, 0x00, 0x80});
    EXPECT_EQ(frame({0x06, 0x00}, 4),
              answerOf(0x80, join(rfsim::withCrc(Protocol::Iso14443B, {0x5B}), {0x00})));
    EXPECT_EQ(b.heard.back(), rfsim::withCrc(Protocol::Iso14443B, {0x06, 0x00}));
    EXPECT_TRUE(v.heard.empty());
    select({0x03, 0x00, 0x00, 0x80}); // no CRC appended: the tag ignores the frame
    EXPECT_EQ(frame({0x06, 0x00}, 0), (Bytes{0x87, 0}));
    EXPECT_EQ(b.heard.back(), (Bytes{0x06, 0x00}));
    select({0x03, 0x01, 0x00, 0x80});
    model->field().add(std::make_unique<FixedTag>(
        Protocol::Iso14443B, rfsim::Bits{rfsim::withCrc(Protocol::Iso14443B, {0x6C}), 8}, true));
    EXPECT_EQ(frame({0x06, 0x00}, 0), (Bytes{0x8A, 0})); // overlapping answers

    select({0x01, 0x0D});
    EXPECT_EQ(frame({0x26, 0x01, 0x00}, 13), answerOf(0x80, join(inventory, {0x00})));
    EXPECT_EQ(v.heard.back(), rfsim::withCrc(Protocol::Iso15693, {0x26, 0x01, 0x00}));
    // The end of frame: no bytes, no CRC, in one report.
    EXPECT_EQ(frame({}, 13), answerOf(0x80, join(inventory, {0x00})));
    EXPECT_TRUE(v.heard.back().empty());
    const Bytes other = rfsim::withCrc(Protocol::Iso15693, {0x00, 0x07, 9, 2, 3, 4, 5, 6, 7, 0xE0});
    model->field().add(std::make_unique<FixedTag>(Protocol::Iso15693, rfsim::Bits{other, 8}, true));
    const Bytes collided = frame({0x26, 0x01, 0x00}, 13);
    EXPECT_EQ(collided[14], 0x03); // collision status
    select({0x01, 0x0C});
    EXPECT_EQ(frame({0x26, 0x01, 0x00}, 0), (Bytes{0x87, 0}));
    EXPECT_EQ(model->frames().back(), (Bytes{0x26, 0x01, 0x00}));
}

TEST_F(Qm30ModelTest, ScriptedAnswersGoAheadOfTheField) {
    select({0x02, 0x00, 0x02, 0x80});
    placeA({1, 2, 3, 4});
    model->queueAnswer({0x80, {0x01, 0x02}, std::nullopt, {0xAA, 0xBB, 0xCC}});
    model->queueAnswer({0xC0, {0x05}, 0x02});
    model->queueAnswer({0x90, {0x0A}, 4});
    model->queueAnswer({0x42, {}, 0xFF, {0x01}});
    EXPECT_EQ(frame({0x26, 0x07}, 5), (Bytes{0x80, 5, 0x01, 0x02, 0xAA, 0xBB, 0xCC}));
    EXPECT_EQ(chunked({0x26, 0x07}), (Bytes{0xC0, 0x02, 0x05}));
    EXPECT_EQ(frame({}, 1), (Bytes{0x90, 4, 0x0A}));
    EXPECT_EQ(head(ask({2, 0xA0, 1, 0x07}), 4), (hidsim::Report{2, 0x42, 0xFF, 0x01}));
    // The queue is empty: the field answers again.
    EXPECT_EQ(frame({0x26, 0x07}, 2), (Bytes{0x80, 5, 0x04, 0x00}));
    EXPECT_EQ(model->frames().size(), 4u);
}

TEST_F(Qm30ModelTest, FirmwareInventoryAnswersTheEntriesOneReportHolds) {
    EXPECT_EQ(head(ask({2, 0xA0, 1, 0x00}), 4), (hidsim::Report{2, 0x80, 1, 0}));
    std::vector<qm30sim::InventoryEntry> entries;
    for (std::uint8_t i = 0; i < 8; ++i)
        entries.push_back({0x10, i, 1, 2, 3, 4, 5, 6, 0xE0});
    model->setInventoryEntries(entries);
    const hidsim::Report in = ask({2, 0xA0, 1, 0x35});
    EXPECT_EQ(head(in, 4), (hidsim::Report{2, 0x80, 55, 8})); // 8 found, 6 sent
    for (std::size_t i = 0; i < 6; ++i)
        EXPECT_EQ(Bytes(in.begin() + 4 + 9 * i, in.begin() + 13 + 9 * i),
                  Bytes(entries[i].begin(), entries[i].end()));
    EXPECT_EQ(in[58], 0);
    EXPECT_EQ(model->inventoryParameters(), (Bytes{0x00, 0x35}));
}

} // namespace

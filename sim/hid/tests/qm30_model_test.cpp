// The dongle model through the simulated hidapi, as a host would drive it: its
// answers, and the chunking rules it holds a host to.
#include <qm30sim/qm30_model.h>

#include <hidapi/hidapi.h>

#include <gtest/gtest.h>

namespace {

using qm30sim::Qm30Model;

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

} // namespace

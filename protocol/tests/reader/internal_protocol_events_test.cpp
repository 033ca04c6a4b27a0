// Protocol events raised by the frame exports with capture, seen through the
// reader's internal observer.
#include "fake_cipher.h"
#include "frame_oracle.h"
#include "internal_fixture.h"

#include <string>
#include <vector>

namespace {

using vkkrn::codec::testing::Bytes;
namespace oracle = vkkrn::codec::testing;

struct Event {
    int event;
    Bytes data;
    int value;
    int lockedReadInside; // ISPROTTOAPPLOCKED asked from inside the handler
    std::string text() const { return std::string(data.begin(), data.end()); }
};

class ProtocolEvents : public InternalTest {
  protected:
    void start(const std::string& settings = "") {
        if (!settings.empty()) writeFile("vkkrn.ini", settings);
        reader_ = newReader(0, &handle_);
        ASSERT_NE(reader_, nullptr);
        reader_->SetNotificationObserver([this](int event, const unsigned char* data, int len, int value) {
            char unused[4];
            events_.push_back(
                {event, Bytes(data, data + len), value, VKKRN_GetReaderPara(0, "ISPROTTOAPPLOCKED", unused)});
        });
    }

    void set(const char* key, const char* value) { ASSERT_EQ(VKKRN_SetReaderPara(handle_, key, value), 0); }

    Bytes send(std::uint8_t cmd, Bytes data) {
        std::vector<unsigned char> frame(data.size() + 16);
        data.reserve(1);
        const int n = VKKRN_BuildSendProtocol(handle_, 0xFF, cmd, data.data(), static_cast<int>(data.size()),
                                              frame.data(), 10);
        EXPECT_GT(n, 0);
        return Bytes(frame.begin(), frame.begin() + (n > 0 ? n : 0));
    }

    int receive(Bytes reply) {
        unsigned char adr, cmd;
        std::vector<unsigned char> data(reply.size() + 1);
        int n;
        reply.reserve(1);
        return VKKRN_SplitRecProtocol(handle_, reply.data(), static_cast<int>(reply.size()), &adr, &cmd,
                                      data.data(), &n, 10);
    }

    std::vector<int> ids() const {
        std::vector<int> out;
        for (const auto& e : events_)
            out.push_back(e.event);
        return out;
    }

    std::shared_ptr<VKKRNReader> reader_;
    int handle_ = 0;
    std::vector<Event> events_;
};

TEST_F(ProtocolEvents, NoneWhileTheSwitchesAreOff) {
    start();
    send(0x65, {});
    receive(oracle::standardReply(1, 0x65, 0, {}));
    EXPECT_TRUE(events_.empty());
}

TEST_F(ProtocolEvents, LogProtRaisesTextsAndFrames) {
    start("log_notimestamp");
    set("LOGPROT", "1");
    const Bytes request = send(0xA2, {1, 2, 3});
    const Bytes reply = oracle::standardReply(1, 0xA2, 0x84, {7});
    ASSERT_EQ(receive(reply), 0x84);
    Bytes corrupt = reply;
    corrupt.back() ^= 1;
    ASSERT_EQ(receive(corrupt), -4031);
    ASSERT_EQ(ids(), std::vector<int>({2, 5, 3, 6, 3, 6}));
    EXPECT_EQ(events_[0].text().substr(0, 19), ">>  08 FF A2 ** ** ");
    EXPECT_EQ(events_[0].value, 0);
    EXPECT_EQ(events_[1].data, request) << "event 5 carries the stored frame, unmasked";
    EXPECT_EQ(events_[2].text().substr(events_[2].data.size() - 20), "  Reader: RF-Warning");
    EXPECT_EQ(events_[2].value, 0x84);
    EXPECT_EQ(events_[3].data, reply);
    EXPECT_EQ(events_[3].value, 0x84);
    EXPECT_EQ(events_[4].value, -4031);
    EXPECT_EQ(events_[5].data, corrupt);
    EXPECT_EQ(events_[5].value, -4031);
    for (const auto& e : events_)
        EXPECT_EQ(e.lockedReadInside, 0) << "a delivery in progress reads as not ready";
    char unused[4];
    EXPECT_EQ(VKKRN_GetReaderPara(0, "ISPROTTOAPPLOCKED", unused), 1);
}

TEST_F(ProtocolEvents, ErrorLinesRaiseEvent101) {
    start();
    set("LOGPROT", "1");
    auto cipher = std::make_shared<vkkrn::testing::FakeCipher>();
    reader_->Cipher().store(cipher);
    cipher->failNextCall(-4093);
    std::vector<unsigned char> frame(16);
    unsigned char data[] = {1};
    ASSERT_EQ(VKKRN_BuildSendProtocol(handle_, 1, 0xB0, data, 1, frame.data(), 0), -4093);
    ASSERT_EQ(ids(), std::vector<int>({101}));
    EXPECT_EQ(events_[0].value, -4093);
    EXPECT_NE(events_[0].text().find("  !!  Error: -4093  VKKRN: (-4093) error in encipher process"),
              std::string::npos);
}

TEST_F(ProtocolEvents, SendProtToAppRaisesOnlyTheMaskedBytes) {
    start();
    set("SENDPROTTOAPP", "1");
    const Bytes request = send(0xA2, {1, 2, 3});
    receive(oracle::standardReply(1, 0xA2, 0, {}));
    ASSERT_EQ(ids(), std::vector<int>({102}));
    char crc[8];
    std::snprintf(crc, sizeof crc, "%02X %02X ", request[6], request[7]);
    EXPECT_EQ(events_[0].text(), "08 FF A2 ** ** ** " + std::string(crc));
    EXPECT_EQ(events_[0].value, 0);
}

TEST_F(ProtocolEvents, TheStopFlagSilencesEveryEvent) {
    start();
    set("LOGPROT", "1");
    set("SENDPROTTOAPP", "1");
    ASSERT_EQ(VKKRN_SetReaderPara(0, "LOCKPROTTOAPP", ""), 0);
    send(0x65, {});
    receive(oracle::standardReply(1, 0x65, 0, {}));
    EXPECT_TRUE(events_.empty());
    ASSERT_EQ(VKKRN_SetReaderPara(0, "UNLOCKPROTTOAPP", ""), 0);
    send(0x65, {});
    EXPECT_EQ(ids(), std::vector<int>({2, 5, 102}));
}

} // namespace

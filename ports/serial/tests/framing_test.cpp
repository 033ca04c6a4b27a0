// Replies completed by their length field and by a quiet line, against a
// scripted reader behind a pseudo-terminal.
#include "library_fixture.h"

#include <vksim/host_frame.h>

#include <cstdio>

namespace vkcom_test {
namespace {

using namespace std::chrono_literals;
using vksim::Script;

const Bytes kRequest = {0x06, 0xFF, 0x52, 0x00, 0xAA, 0xBB};

class LengthFraming : public LibraryTest {
  protected:
    void SetUp() override {
        LibraryTest::SetUp();
        lines = std::make_unique<PtyLines>(api, 1);
        handle = openLine(*lines, 0);
        ASSERT_GT(handle, 0);
        ASSERT_EQ(set(handle, "UseNUBO", "1"), 0);
    }
    vksim::FdPeer& peer() { return lines->peer(0); }

    std::unique_ptr<PtyLines> lines;
    int handle = 0;
};

TEST_F(LengthFraming, SplitRepliesArriveWhole) {
    const Bytes standard = vksim::standardReply(0xFF, 0x52, 0, {1});
    ASSERT_EQ(standard.size(), 7u);
    const Bytes advanced = vksim::advancedReply(0xFF, 0x52, 0, Bytes(300, 0x33));
    struct Case {
        const char* name;
        Script script;
        Bytes expected;
    } const cases[] = {
        {"standard 2 + 5",
         Script()
             .send({standard.begin(), standard.begin() + 2})
             .pause(20ms)
             .send({standard.begin() + 2, standard.end()}),
         standard},
        {"standard byte by byte", Script().sendInChunks(standard, 1, 2ms), standard},
        {"advanced in chunks", Script().sendInChunks(advanced, 100, 5ms), advanced},
        {"advanced header split",
         Script().send({0x02}).pause(10ms).send({advanced.begin() + 1, advanced.end()}), advanced},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        peer().expect(c.script);
        Bytes reply;
        EXPECT_EQ(transceive(handle, kRequest, reply, 1024), static_cast<int>(c.expected.size()));
        EXPECT_EQ(reply, c.expected);
        EXPECT_TRUE(peer().waitIdle(2s));
    }
    EXPECT_EQ(peer().requests(), std::vector<Bytes>(4, kRequest));
}

TEST_F(LengthFraming, BadStartsAreReadErrors) {
    struct Case {
        Bytes reply;
        bool noiseLine;
    } const cases[] = {
        {{0x00, 0x01, 0x02}, true},
        {{0x01, 0x00, 0x00, 0x00}, true},
        {{0x03, 0x10, 0x10}, true},
        {{0x04, 0x10, 0x10, 0x10}, true},
        {{0x02, 0x00, 0x06, 0xFF, 0x52, 0x00}, false},
        {{0x02, 0x00, 0x00}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.reply[0]));
        peer().expect(Script::reply(c.reply));
        ::testing::internal::CaptureStdout();
        Bytes reply;
        EXPECT_EQ(transceive(handle, kRequest, reply, 1024), -1032);
        const std::string out = ::testing::internal::GetCapturedStdout();
        EXPECT_EQ(out, c.noiseLine ? "Fehler: noise data\n" : "");
        int code = 0;
        char text[128];
        EXPECT_EQ(api.GetLastError(handle, &code, text), 0);
        EXPECT_EQ(code, -1032);
    }
}

TEST_F(LengthFraming, SilenceOrAPartThenSilenceTimesOut) {
    ASSERT_EQ(set(handle, "TIMEOUT", "30"), 0);
    const Script scripts[] = {Script::silence(), Script::reply({0x07, 0xFF, 0x52})};
    for (const Script& script : scripts) {
        peer().expect(script);
        Bytes reply;
        EXPECT_EQ(transceive(handle, kRequest, reply, 1024), -1030);
        int code = 0;
        char text[128];
        EXPECT_EQ(api.GetLastError(handle, &code, text), 0);
        EXPECT_EQ(code, -1030);
        EXPECT_STREQ(text, "VIZER: receive timeout");
    }
}

TEST_F(LengthFraming, HangUpMidReplyIsAReadError) {
    peer().expect(Script().send({0x09, 0xFF, 0x52}).pause(10ms).close());
    Bytes reply;
    EXPECT_EQ(transceive(handle, kRequest, reply, 1024), -1032);
}

TEST_F(LengthFraming, FrameLongerThanTheBufferIsDrainedAndRefused) {
    const Bytes big = vksim::advancedReply(0xFF, 0x52, 0, Bytes(100, 0x44));
    peer().expect(Script().sendInChunks(big, 40, 5ms));
    Bytes guarded(64, 0xEE);
    EXPECT_EQ(api.Transceive(handle, const_cast<std::uint8_t*>(kRequest.data()), 6, guarded.data(), 16),
              -1070);
    for (std::size_t i = 16; i < guarded.size(); ++i)
        ASSERT_EQ(guarded[i], 0xEE) << i;
    // The next exchange starts clean.
    const Bytes next = vksim::standardReply(0xFF, 0x52, 0, {});
    peer().expect(Script::reply(next));
    Bytes reply;
    EXPECT_EQ(transceive(handle, kRequest, reply, 16), static_cast<int>(next.size()));
    EXPECT_EQ(reply, next);
}

// Two frames that arrive in one piece: each read ends with its frame, so the
// second stays queued, whether the first is the reply to a request or was
// there before the call.
TEST_F(LengthFraming, FramesBackToBackAreReadOneAtATime) {
    const Bytes first = vksim::standardReply(0xFF, 0x60, 0, {1, 2});
    const Bytes second = vksim::advancedReply(0xFF, 0x61, 0, {3});
    Bytes both = first;
    both.insert(both.end(), second.begin(), second.end());
    for (const bool asReply : {false, true}) {
        SCOPED_TRACE(asReply ? "the reply to a request" : "already there");
        Bytes reply;
        if (asReply) {
            peer().expect(Script::reply(both));
            EXPECT_EQ(transceive(handle, kRequest, reply, 1024), static_cast<int>(first.size()));
        } else {
            peer().play(Script::reply(both));
            ASSERT_TRUE(peer().waitIdle(2s));
            EXPECT_EQ(receive(handle, reply, 1024), static_cast<int>(first.size()));
        }
        EXPECT_EQ(reply, first);
        EXPECT_EQ(receive(handle, reply, 1024), static_cast<int>(second.size()));
        EXPECT_EQ(reply, second);
    }
}

TEST_F(LengthFraming, TinyBuffersOverflowWithoutReadingNothing) {
    for (int size : {1, 2}) {
        peer().expect(Script::reply(vksim::standardReply(0xFF, 0x52, 0, {})));
        Bytes reply;
        EXPECT_EQ(transceive(handle, kRequest, reply, size), -1070) << size;
    }
}

class TimeFraming : public LengthFraming {
  protected:
    void SetUp() override {
        LengthFraming::SetUp();
        ASSERT_EQ(set(handle, "USENUBO", "0"), 0);
    }
};

TEST_F(TimeFraming, ShortReplyGivesItsCountAndNothingTimesOut) {
    peer().expect(Script::reply({1, 2, 3}));
    Bytes reply;
    EXPECT_EQ(transceive(handle, kRequest, reply, 64), 3);
    EXPECT_EQ(reply, (Bytes{1, 2, 3}));
    int code = -1;
    char text[128];
    api.GetLastError(handle, &code, text);
    EXPECT_EQ(code, 0);

    ASSERT_EQ(set(handle, "TIMEOUT", "20"), 0);
    peer().expect(Script::silence());
    EXPECT_EQ(transceive(handle, kRequest, reply, 64), -1030);
}

TEST_F(TimeFraming, ReplyFillingTheBufferOverflows) {
    peer().expect(Script::reply(Bytes(10, 0x11)));
    Bytes reply;
    EXPECT_EQ(transceive(handle, kRequest, reply, 10), -1070);
}

// At 921600 baud the character time-out is 1.05 ms: a 30 ms gap ends the reply
// with multiplier 1, not with 99 (104 ms).
TEST_F(TimeFraming, CharacterTimeOutSplitsAtAGap) {
    ASSERT_EQ(set(handle, "BAUD", "921600"), 0);
    const Script gapped = Script().send({1, 2, 3}).pause(30ms).send({4, 5});
    peer().expect(gapped);
    Bytes reply;
    EXPECT_EQ(transceive(handle, kRequest, reply, 64), 3);
    ASSERT_TRUE(peer().waitIdle(2s));
    ASSERT_EQ(set(handle, "CHARTIMEOUTMPY", "99"), 0);
    peer().expect(gapped);
    EXPECT_EQ(transceive(handle, kRequest, reply, 64), 5);
}

// The scan-mode reader polls with Timeout 10 in time-out framing and takes
// -1030 as a quiet line.
TEST_F(TimeFraming, ScanModePollingSequence) {
    char flush[] = "FlushInQ";
    char empty[] = "";
    ASSERT_EQ(set(handle, "Timeout", "10"), 0);
    ASSERT_EQ(api.DoPortCmd(handle, flush, empty), 0);
    Bytes buffer(8096);
    EXPECT_EQ(api.Receive(handle, buffer.data(), 8096), -1030);
    peer().play(Script::reply({0x05, 0x00, 0x70, 0x12, 0x34}));
    ASSERT_TRUE(lines->waitSlaveReadable(0));
    EXPECT_EQ(api.Receive(handle, buffer.data(), 8096), 5);
    EXPECT_EQ(api.Receive(handle, buffer.data(), 8096), -1030);
}

} // namespace
} // namespace vkcom_test

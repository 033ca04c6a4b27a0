// How replies are completed: by their length field ("USENUBO" 1) or by a quiet
// line ("USENUBO" 0), against a scripted peer.
#include "peer_fixture.h"

#include <cerrno>
#include <chrono>

namespace {

using namespace std::chrono_literals;
using vktcp_test::advancedFrame;
using vktcp_test::Bytes;
using vktcp_test::GuardedBuffer;
using vktcp_test::request;
using vktcp_test::Script;
using vktcp_test::standardFrame;

using Clock = std::chrono::steady_clock;

Bytes head(const Bytes& frame, std::size_t n) {
    return Bytes(frame.begin(), frame.begin() + static_cast<std::ptrdiff_t>(n));
}
Bytes tail(const Bytes& frame, std::size_t from) {
    return Bytes(frame.begin() + static_cast<std::ptrdiff_t>(from), frame.end());
}

struct FramingCase {
    const char* what;
    Script answer;
    int bufferSize;
    const char* charTimeoutMs;
    int expected;
    Bytes expectedBytes; // the buffer's first bytes when a frame is expected
    bool peerHangsUp;    // the connection ends in the case
    bool reset;          // the peer hangs up with RST
    int socketError;     // expected LASTSOCKETERROR, -1: not checked
};

const Bytes kStd9 = standardFrame(9);
const Bytes kStd32 = standardFrame(0x20);
const Bytes kAdv300 = advancedFrame(300);
const Bytes kAdvLargest = advancedFrame(65535);

std::vector<FramingCase> lengthCases() {
    return {
        {"standard", Script::reply(kStd9), 64, "40", 9, kStd9, false, false, -1},
        {"shortest standard", Script::reply(standardFrame(5)), 64, "40", 5, standardFrame(5), false, false,
         -1},
        {"exact fit", Script::reply(standardFrame(16)), 16, "40", 16, standardFrame(16), false, false, -1},
        {"advanced", Script::reply(kAdv300), 400, "40", 300, kAdv300, false, false, -1},
        {"largest advanced", Script::reply(kAdvLargest), 65535, "40", 65535, kAdvLargest, false, false, -1},
        {"gaps below the character time-out", Script().sendInChunks(standardFrame(20), 3, 5ms), 64, "400", 20,
         standardFrame(20), false, false, -1},
        {"gap above the character time-out",
         Script().send(head(kStd9, 3)).pause(400ms).send(tail(kStd9, 3)),
         64,
         "30",
         -1230,
         {},
         false,
         false,
         -1},
        {"silence", Script::silence(), 64, "40", -1230, {}, false, false, -1},
        {"head 0", Script::reply({0, 0, 0x52, 0, 0}), 64, "40", -1232, {}, false, false, 0},
        {"head 1", Script::reply({1, 0, 0x52}), 64, "40", -1232, {}, false, false, 0},
        {"head 3", Script::reply({3, 0, 0x52}), 64, "40", -1232, {}, false, false, 0},
        {"head 4", Script::reply({4, 0, 0x52, 0}), 64, "40", -1232, {}, false, false, 0},
        {"advanced length 6", Script::reply({2, 0, 6, 0, 0x52, 0}), 64, "40", -1232, {}, false, false, 0},
        {"advanced length 0", Script::reply({2, 0, 0}), 64, "40", -1232, {}, false, false, 0},
        {"overlong standard", Script::reply(kStd32), 16, "40", -1270, {}, false, false, -1},
        {"overlong advanced", Script::reply(kAdv300), 299, "40", -1270, {}, false, false, -1},
        {"buffer of one byte", Script::reply(kStd9), 1, "40", -1270, {}, false, false, -1},
        {"buffer of two bytes", Script::reply(kStd9), 2, "40", -1270, {}, false, false, -1},
        {"overlong head, then silence",
         Script::reply(head(kStd32, 3)),
         16,
         "40",
         -1270,
         {},
         false,
         false,
         -1},
        {"overlong head, then FIN",
         Script().send(head(kStd32, 3)).close(),
         16,
         "40",
         -1270,
         {},
         true,
         false,
         -1},
        {"FIN mid-frame", Script().send(head(kStd9, 5)).close(), 64, "40", -1232, {}, true, false, 0},
        {"RST mid-frame",
         Script().send(head(kStd9, 5)).pause(20ms).close(),
         64,
         "40",
         -1232,
         {},
         true,
         true,
         ECONNRESET},
    };
}

class LengthFraming : public vktcp_test::PeerTest {};

TEST_F(LengthFraming, CompletesRepliesByTheirLengthField) {
    for (const FramingCase& c : lengthCases()) {
        SCOPED_TRACE(c.what);
        vksim::TcpPeerOptions options;
        options.resetOnClose = c.reset;
        open(std::move(options));
        set("CHARTIMEOUT", c.charTimeoutMs);
        peer->expect(c.answer);
        GuardedBuffer buffer(static_cast<std::size_t>(c.bufferSize));
        const auto start = Clock::now();
        EXPECT_EQ(transceive(request(), buffer), c.expected);
        EXPECT_LT(Clock::now() - start, 3s) << "the read must end";
        if (c.expected > 0) {
            EXPECT_EQ(buffer.first(c.expectedBytes.size()), c.expectedBytes);
        }
        if (c.expected == -1270) {
            EXPECT_TRUE(buffer.allZero());
        }
        if (c.expected < 0) {
            EXPECT_EQ(lastError(), c.expected);
        }
        if (c.socketError >= 0) {
            EXPECT_EQ(std::stoi(api.para(handle, "LASTSOCKETERROR")), c.socketError);
        }
        if (!c.peerHangsUp) {
            ASSERT_TRUE(connection().waitIdle(5s));
            GuardedBuffer next(64);
            if (c.expected > 0 || c.expected == -1270) {
                // The whole reply was taken: a frame pushed now is the next one read.
                connection().play(Script::reply(standardFrame(9, 0x77)));
                EXPECT_EQ(receive(next), 9);
            } else {
                // What is left of a refused reply is dropped by the next exchange.
                peer->expect(Script::reply(standardFrame(9, 0x77)));
                EXPECT_EQ(transceive(request(), next), 9);
            }
            EXPECT_EQ(next.first(9), standardFrame(9, 0x77));
        }
        EXPECT_EQ(api.DisConnect(handle), 0);
        handle = 0;
        peer.reset();
    }
}

TEST_F(LengthFraming, FramesInARowStayQueuedForTheNextReceive) {
    open();
    const Bytes second = advancedFrame(40, 0x33);
    Bytes both = standardFrame(9);
    both.insert(both.end(), second.begin(), second.end());
    peer->expect(Script::reply(both));
    GuardedBuffer buffer(512);
    EXPECT_EQ(transceive(request(), buffer), 9);
    EXPECT_EQ(buffer.first(9), standardFrame(9));
    EXPECT_EQ(receive(buffer), 40);
    EXPECT_EQ(buffer.first(40), second);
}

TEST_F(LengthFraming, InputWaitingBeforeTheRequestIsDroppedAndTheReplyReadWhole) {
    open();
    // A whole frame and the head of another wait in the socket before the request.
    Bytes stale = standardFrame(9, 0x01);
    const Bytes cut = head(standardFrame(20, 0x02), 3);
    stale.insert(stale.end(), cut.begin(), cut.end());
    connection().play(Script::reply(stale));
    ASSERT_TRUE(connection().waitIdle(5s)); // on loopback, sent is queued at our end
    // The reply and a frame behind it come in one segment.
    Bytes answer = standardFrame(12, 0x03);
    const Bytes behind = standardFrame(9, 0x04);
    answer.insert(answer.end(), behind.begin(), behind.end());
    peer->expect(Script::reply(answer));
    GuardedBuffer buffer(64);
    EXPECT_EQ(transceive(request(), buffer), 12);
    EXPECT_EQ(buffer.first(12), standardFrame(12, 0x03));
    EXPECT_EQ(receive(buffer), 9) << "the frame behind the reply stays queued";
    EXPECT_EQ(buffer.first(9), behind);
}

TEST_F(LengthFraming, ALateReplyIsDroppedByTheNextTransceive) {
    open();
    set("TIMEOUT", "100");
    peer->expect(Script().pause(400ms).send(standardFrame(9, 0x01)));
    peer->expect(Script::reply(standardFrame(9, 0x02)));
    GuardedBuffer buffer(64);
    EXPECT_EQ(transceive(request(1), buffer), -1230);
    ASSERT_TRUE(connection().waitIdle(5s)); // the late reply has been sent
    EXPECT_EQ(transceive(request(2), buffer), 9);
    EXPECT_EQ(buffer.first(9), standardFrame(9, 0x02)) << "the answer to the second request";
}

TEST_F(LengthFraming, ALateReplyStillOnItsWayIsNotTakenByTheNextTransceive) {
    open();
    set("TIMEOUT", "200");
    // The late reply comes after the next request has been asked for.
    peer->expect(Script().pause(300ms).send(standardFrame(9, 0x01)));
    peer->expect(Script::reply(standardFrame(9, 0x02)));
    GuardedBuffer buffer(64);
    EXPECT_EQ(transceive(request(1), buffer), -1230);
    EXPECT_EQ(transceive(request(2), buffer), 9);
    EXPECT_EQ(buffer.first(9), standardFrame(9, 0x02)) << "the answer to the second request";
}

TEST_F(LengthFraming, ALateReplyIsWhatTheNextReceiveGets) {
    open();
    set("TIMEOUT", "100");
    peer->expect(Script().pause(400ms).send(standardFrame(9, 0x01)));
    GuardedBuffer buffer(64);
    EXPECT_EQ(transceive(request(1), buffer), -1230);
    set("TIMEOUT", "5000");
    EXPECT_EQ(receive(buffer), 9);
    EXPECT_EQ(buffer.first(9), standardFrame(9, 0x01));
}

class QuietFraming : public vktcp_test::PeerTest {};

TEST_F(QuietFraming, CompletesRepliesWhenTheLineStaysQuiet) {
    const Bytes twelve = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    struct Case {
        const char* what;
        Script answer;
        int bufferSize;
        int expected;
        std::size_t rest; // bytes a following Receive gets
    };
    const Case cases[] = {
        {"quiet after the bytes", Script::reply(twelve), 64, 12, 0},
        {"longer than the buffer", Script::reply(twelve), 10, 10, 2},
        {"exactly the buffer", Script::reply(twelve), 12, 12, 0},
        {"chunks below the character time-out", Script().sendInChunks(twelve, 4, 5ms), 64, 12, 0},
        {"nothing", Script::silence(), 64, -1230, 0},
        {"end of stream after bytes", Script().send(twelve).close(), 64, -1232, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        open();
        set("USENUBO", "0");
        if (c.what == std::string("chunks below the character time-out")) set("CHARTIMEOUT", "400");
        // A failed exchange first, so that the last error is not 0.
        GuardedBuffer buffer(static_cast<std::size_t>(c.bufferSize));
        EXPECT_EQ(receive(buffer), -1230);
        peer->expect(c.answer);
        EXPECT_EQ(transceive(request(), buffer), c.expected);
        if (c.expected > 0) {
            EXPECT_EQ(buffer.first(c.expected), Bytes(twelve.begin(), twelve.begin() + c.expected));
        }
        if (c.expected > 0 && c.expected < c.bufferSize) {
            EXPECT_EQ(lastError(), 0) << "a quiet end clears it";
        }
        if (c.expected == c.bufferSize) {
            EXPECT_EQ(lastError(), -1230) << "a full buffer leaves it";
        }
        if (c.expected < 0) {
            EXPECT_EQ(lastError(), c.expected);
        }
        if (c.rest > 0) {
            EXPECT_EQ(receive(buffer), static_cast<int>(c.rest));
            EXPECT_EQ(buffer.first(c.rest),
                      Bytes(twelve.end() - static_cast<std::ptrdiff_t>(c.rest), twelve.end()));
        }
        EXPECT_EQ(api.DisConnect(handle), 0);
        handle = 0;
        peer.reset();
    }
}

} // namespace

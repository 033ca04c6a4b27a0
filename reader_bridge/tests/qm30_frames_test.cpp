// The dongle reader's frame exchange against scripted transceiver answers:
// the answer layouts of the three protocols, the dispatch by protocol and
// frame mode, the end of frame and the firmware inventory.
#include "frame_fixture.h"
#include "kesto_reader.h"

#include <rfsim/field.h>

#include <string>

namespace kestoreader_test {
namespace {

using qm30sim::FrameAnswer;
using vemlasdknative::Buffer;
namespace natives = vemlasdknative::natives;

constexpr Status OK = Qm30::TRANSFER_OK;
constexpr Status CRC = Qm30::CRC_ERROR;
constexpr Status COLLISION = Qm30::COLLISION_DETECTED;
constexpr Status FAIL = Qm30::DEFAULT_ERROR;

constexpr std::uint8_t kIso15693 = 1, kIso14443A = 2, kIso14443B = 3;

// An answer of L payload bytes: 0x80 below 256, 0xA0 and 0xC0 above.
FrameAnswer ofLength(const Bytes& payload) {
    const std::size_t n = payload.size();
    const std::uint8_t code = n >= 512 ? 0xC0 : n >= 256 ? 0xA0 : 0x80;
    return FrameAnswer{code, payload};
}

Bytes vicinity(const Bytes& data) {
    return rfsim::withCrc(rfsim::Protocol::Iso15693, data);
}

Outcome got(Status status, const Bytes& rx) {
    return {status, static_cast<int>(rx.size()), rx};
}

struct DecodeCase {
    const char* what;
    std::uint8_t protocol;
    std::uint8_t flag; // ISO 14443-A transmission flag the frame goes with
    FrameAnswer answer;
    Outcome expected;
    int collisionByte = -1; // -1: no collision position to check
    int collisionBit = -1;
};

TEST_F(FrameTest, AnswersAreDecodedByProtocol) {
    const Bytes d499 = counting(499, 1);
    const Bytes d500 = counting(500, 1);
    const DecodeCase cases[] = {
        // ISO 14443-A: D = L - 3, or L - 5 with the CRC flag.
        {"A L 8 with CRC", kIso14443A, 0x28, {0x80, {1, 2, 3, 0xC1, 0xC2, 0, 0, 0}}, got(OK, {1, 2, 3})},
        {"A L 5 without CRC", kIso14443A, 0x08, {0x80, {1, 2, 0, 0, 0}}, got(OK, {1, 2})},
        {"A L 5 with CRC: D 0", kIso14443A, 0x28, {0x80, {1, 2, 0, 0, 0}}, untouched(FAIL)},
        {"A L 3: D 0", kIso14443A, 0x08, {0x80, {0, 0, 0}}, untouched(FAIL)},
        {"A L 2", kIso14443A, 0x08, {0x80, {0, 0}}, untouched(FAIL)},
        {"A collision",
         kIso14443A,
         0x08,
         {0x80, {0x11, 0x0A, 0, 0x80, 1, 0xF3}},
         got(COLLISION, {0x11, 0x0A, 0}),
         1,
         3},
        {"A S1 all set", kIso14443A, 0x28, {0x80, {7, 0xC1, 0xC2, 0xFF, 0, 7}}, got(COLLISION, {7}), 0, 7},
        {"A acknowledge", kIso14443A, 0x28, {0x90, {0x0A}, 4}, got(OK, {0x0A})},
        {"A negative acknowledge", kIso14443A, 0x28, {0x90, {0x05}, 4}, got(OK, {0x05})},
        {"A 0x90 of another length", kIso14443A, 0x08, {0x90, {0x12, 0x34, 0, 0, 0}}, got(OK, {0x12, 0x34})},
        {"A D 499", kIso14443A, 0x08, ofLength(join(d499, {0, 0, 0})), got(OK, d499)},
        {"A D 500", kIso14443A, 0x08, ofLength(join(d500, {0, 0, 0})), untouched(FAIL)},
        {"A 0xA0 length 4: L 260", kIso14443A, 0x28, {0xA0, counting(260), 4}, got(OK, counting(255))},
        {"A 0xB0", kIso14443A, 0x08, {0xB0, {1, 2, 0, 0, 0}}, untouched(FAIL)},
        {"A no tag", kIso14443A, 0x08, {0x87, {}}, untouched(FAIL)},
        {"A 0x21", kIso14443A, 0x08, {0x21, {1, 2, 0, 0, 0}}, untouched(FAIL)},
        {"A L past the bytes", kIso14443A, 0x08, {0x80, {1, 2, 0, 0}, 10}, untouched(FAIL)},
        {"A acknowledge without its value", kIso14443A, 0x08, {0x90, {}, 4}, untouched(FAIL)},
        {"A longest answer", kIso14443A, 0x08, {0xC0, counting(767), 255}, untouched(FAIL)},
        // ISO 14443-B: D = L - 3 whatever the trailing bytes.
        {"B L 6", kIso14443B, 0, {0x80, {1, 2, 3, 0xC1, 0xC2, 0x55}}, got(OK, {1, 2, 3})},
        {"B L 4", kIso14443B, 0, {0x80, {9, 0, 0, 0}}, got(OK, {9})},
        {"B L 3", kIso14443B, 0, {0x80, {9, 0, 0}}, untouched(FAIL)},
        {"B D 499", kIso14443B, 0, ofLength(join(d499, {0, 0, 0})), got(OK, d499)},
        {"B D 500", kIso14443B, 0, ofLength(join(d500, {0, 0, 0})), untouched(FAIL)},
        {"B acknowledge", kIso14443B, 0, {0x90, {0x0A}, 4}, untouched(FAIL)},
        {"B L past the bytes", kIso14443B, 0, {0x80, {1, 2, 0, 0}, 5}, untouched(FAIL)},
        {"B longest answer", kIso14443B, 0, {0xC0, counting(767), 255}, untouched(FAIL)},
        // ISO 15693: data, CRC, status; the residue over data and CRC.
        {"15693 good CRC", kIso15693, 0, {0x80, join(vicinity({0, 7, 1, 2}), {0})}, got(OK, {0, 7, 1, 2})},
        {"15693 CRC byte flipped", kIso15693, 0, {0x80, {0, 7, 1, 2, 0x00, 0x00, 0}}, got(CRC, {0, 7, 1, 2})},
        {"15693 collision", kIso15693, 0, {0x80, join(vicinity({0, 7}), {0x01})}, got(COLLISION, {0x21, 7})},
        {"15693 collision status 3", kIso15693, 0, {0x80, {5, 6, 0, 0, 0x03}}, got(COLLISION, {0x21, 6})},
        {"15693 acknowledge", kIso15693, 0, {0x90, {0x0A}, 4}, untouched(Qm30::ACK)},
        {"15693 negative acknowledge", kIso15693, 0, {0x90, {0x05}, 4}, untouched(Qm30::NACK)},
        {"15693 L 3", kIso15693, 0, {0x80, vicinity({0})}, untouched(FAIL)},
        {"15693 D 499", kIso15693, 0, ofLength(join(vicinity(d499), {0})), got(OK, d499)},
        {"15693 D 500", kIso15693, 0, ofLength(join(vicinity(d500), {0})), untouched(FAIL)},
        {"15693 L past the bytes", kIso15693, 0, {0x80, vicinity({1, 2}), 9}, untouched(FAIL)},
        {"15693 longest answer", kIso15693, 0, {0xC0, counting(767), 255}, untouched(FAIL)},
    };
    for (const DecodeCase& c : cases) {
        SCOPED_TRACE(c.what);
        mode(c.protocol);
        reader().byte_collision = reader().bit_collision = 0xAA;
        firmware().queueAnswer(c.answer);
        EXPECT_EQ(transceive({0x30, 0x00}, c.flag), c.expected);
        std::uint8_t byte = 0, bit = 0;
        reader().GetCollisionPos(&byte, &bit);
        if (c.collisionByte >= 0) {
            EXPECT_EQ(byte, c.collisionByte);
            EXPECT_EQ(bit, c.collisionBit);
        } else {
            EXPECT_EQ(byte, 0xAA);
        }
    }
}

TEST_F(FrameTest, ShortAnswersDecodeTheSameInOneReport) {
    singleReport();
    mode(kIso14443A);
    firmware().queueAnswer({0x80, {1, 2, 3, 0xC1, 0xC2, 0, 0, 0}});
    EXPECT_EQ(transceive({0x30, 0x00}), got(OK, {1, 2, 3}));
    // The length byte claims more than one report carries.
    firmware().queueAnswer({0x80, {1, 2, 3, 0xC1, 0xC2, 0, 0, 0}, 100});
    EXPECT_EQ(transceive({0x30, 0x00}), untouched(FAIL));
    firmware().queueAnswer({0xA0, {1, 2, 3, 0, 0, 0}, 4});
    EXPECT_EQ(transceive({0x30, 0x00}), untouched(FAIL));
    mode(kIso15693);
    firmware().queueAnswer({0x80, join(vicinity({0, 7}), {0})});
    EXPECT_EQ(transceive({0x26, 0x01, 0x00}), got(OK, {0, 7}));
    EXPECT_EQ(written(3), (std::vector<std::string>{"010403"}));
}

TEST_F(FrameTest, AReceiveBufferTooSmallForTheAnswerIsRefusedWhole) {
    mode(kIso14443A);
    firmware().queueAnswer({0x80, {1, 2, 3, 0, 0, 0}});
    Buffer frame = bufferOf({0x30, 0x00});
    Buffer rx(2);
    EXPECT_EQ(reader().Transceive(frame, 0x08, &rx), FAIL);
    EXPECT_EQ(rx.length, 2);
    EXPECT_EQ(reader().Transceive(frame, 0x08, nullptr), FAIL);
    Buffer broken;
    broken.length = 3; // bytes it does not have
    EXPECT_EQ(reader().Transceive(broken, 0x08, &rx), FAIL);
    EXPECT_EQ(firmware().frames().size(), 1u);
}

struct DispatchCase {
    const char* what;
    std::uint8_t protocol;
    std::function<Status(Qm30&, const Buffer&, Buffer*)> call;
    Bytes tx;
    Status status;
    std::vector<Bytes> frames; // frames the transceiver got
};

TEST_F(FrameTest, FramesGoByProtocolAndFrameMode) {
    auto plain = [](Qm30& r, const Buffer& tx, Buffer* rx) { return r.Transceive(tx, rx); };
    auto flagged = [](std::uint8_t flag) {
        return [flag](Qm30& r, const Buffer& tx, Buffer* rx) { return r.Transceive(tx, flag, rx); };
    };
    auto frameMode = [](std::uint8_t m) {
        return [m](Qm30& r, const Buffer& tx, Buffer* rx) { return r.Transceive14443a(m, tx, rx); };
    };
    const Bytes b500 = counting(500);
    const DispatchCase cases[] = {
        {"field off", 0, plain, {0x26}, FAIL, {}},
        {"field off, flag", 0, flagged(0x28), {0x26}, FAIL, {}},
        {"field off, frame mode", 0, frameMode(0), {0x26}, FAIL, {}},
        {"A appends 0x28", kIso14443A, plain, {0x30, 0x04}, OK, {{0x30, 0x04, 0x28}}},
        {"A flag 0 sends as is", kIso14443A, flagged(0), {0x26, 0x07}, OK, {{0x26, 0x07}}},
        {"A other flag", kIso14443A, flagged(0x47), {0x93, 0x20}, OK, {{0x93, 0x20, 0x47}}},
        {"A 500 bytes", kIso14443A, plain, b500, OK, {join(b500, {0x28})}},
        {"A 501 bytes", kIso14443A, plain, counting(501), FAIL, {}},
        {"B as is", kIso14443B, plain, {0x06, 0x00}, OK, {{0x06, 0x00}}},
        {"B ignores the flag", kIso14443B, flagged(0x28), {0x06, 0x00}, OK, {{0x06, 0x00}}},
        {"15693 500 bytes", kIso15693, plain, b500, OK, {b500}},
        {"15693 501 bytes", kIso15693, plain, counting(501), FAIL, {}},
        {"mode 0", kIso14443A, frameMode(0), {0x30, 0x04}, OK, {{0x30, 0x04, 0x28}}},
        {"mode 0, HLTA", kIso14443A, frameMode(0), {0x50, 0x00}, OK, {{0x50, 0x00, 0x28}}},
        {"mode 0, empty", kIso14443A, frameMode(0), {}, OK, {{0x28}}},
        {"mode 1", kIso14443A, frameMode(1), {0x26, 0x07}, OK, {{0x26, 0x07}}},
        {"mode 2", kIso14443A, frameMode(2), {0x30, 0x04}, OK, {{0x30, 0x04, 0x08}}},
        {"mode 3", kIso14443A, frameMode(3), {0x30, 0x04}, FAIL, {}},
        {"mode 0, 501 bytes", kIso14443A, frameMode(0), counting(501), FAIL, {}},
        {"mode 1 in B", kIso14443B, frameMode(1), {0x26, 0x07}, FAIL, {}},
    };
    for (const DispatchCase& c : cases) {
        SCOPED_TRACE(c.what);
        mode(c.protocol);
        const std::size_t before = firmware().frames().size();
        // Whatever goes out is answered with data, so that the result shows
        // the frame was sent and decoded.
        const Bytes answer =
            c.protocol == kIso15693 ? join(vicinity({1, 2, 3}), {0}) : Bytes{1, 2, 3, 4, 5, 0, 0, 0};
        firmware().setFrameHandler([answer](const Bytes&) { return FrameAnswer{0x80, answer}; });
        Buffer tx = bufferOf(c.tx);
        const Outcome outcome = run([&](Buffer* rx) { return c.call(reader(), tx, rx); });
        EXPECT_EQ(outcome.status, c.status);
        std::vector<Bytes> frames = firmware().frames();
        frames.erase(frames.begin(), frames.begin() + static_cast<std::ptrdiff_t>(before));
        EXPECT_EQ(frames, c.frames);
        if (c.frames.empty()) {
            EXPECT_TRUE(written().empty());
            EXPECT_EQ(outcome, untouched(FAIL));
        }
    }
}

struct EofCase {
    const char* what;
    FrameAnswer answer;
    Outcome expected;
};

TEST_F(FrameTest, EndOfFrameGoesInOneReportAndPassesShortAnswers) {
    const Bytes d31 = counting(31, 0x40);
    const EofCase cases[] = {
        {"n 0", {0x80, {}}, got(OK, {})},
        {"n 3", {0x80, {1, 2, 0}}, got(OK, {})},
        {"n 3, collision", {0x80, {1, 2, 3}}, got(COLLISION, {})},
        {"n 4", {0x80, {9, 1, 2, 0}}, got(OK, {9})},
        {"n 4, last byte 3", {0x80, {9, 1, 2, 3}}, got(COLLISION, {9})},
        {"n 4, last byte 1", {0x80, {9, 1, 2, 1}}, got(OK, {9})},
        {"n 34", {0x80, join(d31, {1, 2, 0})}, got(OK, d31)},
        {"n 35", {0x80, join(d31, {1, 2, 3, 0})}, got(OK, {})},
        {"n 35, collision", {0x80, join(d31, {1, 2, 0, 3})}, got(COLLISION, {})},
        {"no tag", {0x87, {}}, untouched(FAIL)},
        {"acknowledge", {0x90, {0x0A}, 4}, untouched(FAIL)},
        {"n past the report", {0x80, {9, 1, 2, 0}, 100}, untouched(FAIL)},
        {"0xC0", {0xC0, counting(61), 255}, untouched(FAIL)},
        {"0xB0", {0xB0, {9, 1, 2, 0}}, untouched(FAIL)},
    };
    mode(kIso15693);
    for (const EofCase& c : cases) {
        SCOPED_TRACE(c.what);
        hidsim::clearCalls();
        firmware().queueAnswer(c.answer);
        EXPECT_EQ(run([&](Buffer* rx) { return reader().SendEof(rx); }), c.expected);
        EXPECT_EQ(written(4), (std::vector<std::string>{"01040000"}));
    }
    EXPECT_EQ(reader().SendEof(nullptr), FAIL);
}

TEST_F(FrameTest, FirmwareInventoryReversesEachUid) {
    mode(kIso15693);
    natives::setAnticollisionAlgo({1, 0x35});
    std::vector<qm30sim::InventoryEntry> entries;
    std::vector<Bytes> expected;
    for (std::uint8_t i = 0; i < 3; ++i) {
        entries.push_back({0x00, i, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0xE0});
        expected.push_back({0xE0, 0x66, 0x55, 0x44, 0x33, 0x22, 0x11, i});
    }
    firmware().setInventoryEntries(entries);
    EXPECT_EQ(natives::antiCollision(), expected);
    EXPECT_EQ(written(4), (std::vector<std::string>{"02A00135"}));
    EXPECT_EQ(firmware().inventoryParameters(), Bytes{0x35});

    // Eight found, six in the report: the count is cut to the entries held.
    for (std::uint8_t i = 3; i < 8; ++i)
        entries.push_back({0x00, i, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0xE0});
    firmware().setInventoryEntries(entries);
    EXPECT_EQ(natives::antiCollision().size(), 6u);
    // A count of 5 over two entries; a count of 1 over two.
    const Bytes two =
        join(Bytes(entries[0].begin(), entries[0].end()), Bytes(entries[1].begin(), entries[1].end()));
    firmware().queueAnswer({0x80, join({5}, two)});
    EXPECT_EQ(natives::antiCollision(), (std::vector<Bytes>{expected[0], expected[1]}));
    firmware().queueAnswer({0x80, join({1}, two)});
    EXPECT_EQ(natives::antiCollision(), std::vector<Bytes>{expected[0]});
    // A part of an entry is no entry; a failure or a length past the bytes gives none.
    firmware().queueAnswer({0x80, join({2}, Bytes(two.begin(), two.end() - 1))});
    EXPECT_EQ(natives::antiCollision(), std::vector<Bytes>{expected[0]});
    firmware().queueAnswer({0x87, {}});
    EXPECT_TRUE(natives::antiCollision().empty());
    firmware().queueAnswer({0x80, join({2}, two), 62});
    EXPECT_TRUE(natives::antiCollision().empty());
    firmware().queueAnswer({0xC0, join({2}, two), 1});
    EXPECT_TRUE(natives::antiCollision().empty());
    EXPECT_EQ(firmware().inventoryParameters().size(), 8u);

    // Field off: no inventory at all.
    mode(0);
    EXPECT_TRUE(natives::antiCollision().empty());
    EXPECT_TRUE(written().empty());
}

TEST_F(FrameTest, FirmwareInventoryTakesAtMostSeventeenTags) {
    mode(kIso15693);
    natives::setAnticollisionAlgo({1, 0x00});
    // A long input report (no dongle sends one) with a count of 20 and 17
    // entries, then one whose length byte runs past the area.
    hidsim::setSilent(device, true);
    for (std::uint8_t length : {154, 200}) {
        hidsim::Report report(256, 0x00);
        report[0] = 2;
        report[1] = 0x80;
        report[2] = length;
        report[3] = 20;
        for (int i = 0; i < 20; ++i)
            report[static_cast<std::size_t>(4 + 9 * i + 1)] = static_cast<std::uint8_t>(i + 1);
        hidsim::queueInput(device, report);
    }
    const std::vector<Bytes> uids = natives::antiCollision();
    ASSERT_EQ(uids.size(), 17u);
    EXPECT_EQ(uids[16], (Bytes{0, 0, 0, 0, 0, 0, 0, 17}));
    EXPECT_TRUE(natives::antiCollision().empty());
}

} // namespace
} // namespace kestoreader_test

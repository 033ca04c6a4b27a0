// What the natives do, on standard types: the defaults without a reader, the
// answers over a scripted reader, the mode and algorithm arrays, the RATS frame
// size, and the reader model's value types.
#include "kesto_reader.h"
#include "KX10.h"
#include "kx20.h"
#include "rf_reader_base.h"
#include "scripted_reader.h"

#include <hidsim/hidsim.h>
#include <vktesting/temp_dir.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace kestoreader_test {
namespace {

namespace natives = vemlasdknative::natives;
using Bytes = std::vector<byte_t>;

using NoReader = vktesting::TempDirTest;

TEST_F(NoReader, EveryNativeAnswersItsDefaultAndTouchesNoDevice) {
    hidsim::reset();
    ASSERT_EQ(vemlasdknative::handle, nullptr);
    natives::disconnect();
    EXPECT_FALSE(natives::isConnected());
    EXPECT_EQ(natives::getName(), "");
    EXPECT_EQ(natives::checkVersion(), "Cannot get version");
    EXPECT_EQ(natives::getFirmwareVersion(), "");
    EXPECT_EQ(natives::selectReaderMode({2, 0, 0, 0}), 3);
    EXPECT_EQ(natives::sendReceive({0x30, 0x00}), Bytes{3});
    EXPECT_EQ(natives::sendReceive14443a(0, {0x30, 0x00}), Bytes{3});
    EXPECT_EQ(natives::sendReqA(), Bytes{3});
    EXPECT_EQ(natives::sendWupA(), Bytes{3});
    EXPECT_EQ(natives::sendHltA(), Bytes{3});
    EXPECT_EQ(natives::sendRats(), Bytes{3});
    EXPECT_EQ(natives::sendPps(), Bytes{3});
    EXPECT_TRUE(natives::antiCollision().empty());
    natives::setAnticollisionAlgo({1, 2});
    EXPECT_EQ(natives::getMaxTransmitLengthInBytes(), 0);
    EXPECT_EQ(natives::getMaxReceiveLengthInBytes(), 0);
    EXPECT_EQ(natives::selectTag14443A({1, 2, 3, 4}), 255);
    EXPECT_EQ(natives::deselectTag14443A({1, 2, 3, 4}), 255);
    EXPECT_TRUE(hidsim::calls().empty());
    EXPECT_TRUE(std::filesystem::is_empty(workDir()));
}

class OverScriptedReader : public ::testing::Test {
  protected:
    void SetUp() override { vemlasdknative::handle = &reader; }
    void TearDown() override { vemlasdknative::handle = nullptr; }
    ScriptedReader reader;
};

TEST_F(OverScriptedReader, OnlyTransferOkGivesTheAnswer) {
    reader.received = {0xAA, 0xBB, 0xCC};
    reader.reportedLength = 3;
    const std::pair<RfReaderBase::ReaderStatus, Bytes> cases[] = {
        {RfReaderBase::TRANSFER_OK, {0, 0xAA, 0xBB, 0xCC}},
        {RfReaderBase::CRC_ERROR, {3}},
        {RfReaderBase::COLLISION_DETECTED, {3}},
        {RfReaderBase::DEFAULT_ERROR, {3}},
        {RfReaderBase::ACK, {3}},
        {RfReaderBase::NACK, {3}},
        {RfReaderBase::DISCONNECTED, {3}},
    };
    for (const auto& [status, expected] : cases) {
        SCOPED_TRACE(status);
        reader.status = status;
        EXPECT_EQ(natives::sendReceive({0x30, 0x04}), expected);
        EXPECT_EQ(reader.lastTx, (Bytes{0x30, 0x04}));
        EXPECT_EQ(reader.lastRxCapacity, 500);
        EXPECT_EQ(natives::sendReqA(), expected);
        EXPECT_EQ(natives::sendWupA(), expected);
        EXPECT_EQ(natives::sendHltA(), expected);
        // The ISO 14443-A exchange also takes a 4-bit acknowledge.
        const Bytes withAck = status == RfReaderBase::ACK ? Bytes{0, 0xAA, 0xBB, 0xCC} : expected;
        EXPECT_EQ(natives::sendReceive14443a(2, {0x50}), withAck);
        EXPECT_EQ(reader.lastFrameMode, 2);
    }
}

TEST_F(OverScriptedReader, AnswerLengthIsTheReadersWithinTheBuffer) {
    reader.received = {0x04, 0x00};
    const std::pair<int, std::size_t> cases[] = {{2, 3}, {0, 1}, {500, 501}, {501, 0}, {-1, 0}, {1000, 0}};
    for (const auto& [length, size] : cases) {
        SCOPED_TRACE(length);
        reader.reportedLength = length;
        Bytes answer = natives::sendReceive({0x26});
        if (size == 0) {
            EXPECT_EQ(answer, Bytes{3});
        } else {
            ASSERT_EQ(answer.size(), size);
            EXPECT_EQ(answer[0], 0);
        }
    }
    // A reader that leaves the length as the caller set it: the whole buffer.
    reader.reportedLength = -2;
    Bytes answer = natives::sendReqA();
    ASSERT_EQ(answer.size(), 501u);
    EXPECT_EQ(answer[1], 0x04);
    EXPECT_EQ(answer[2], 0x00);
    EXPECT_EQ(answer[500], 0x00);
    reader.maxReceive = 16;
    EXPECT_EQ(natives::sendWupA().size(), 17u);
}

TEST_F(OverScriptedReader, RatsAndPpsFrames) {
    reader.reportedLength = 0;
    const std::pair<int, byte_t> cases[] = {{500, 0x90}, {260, 0x90}, {16, 0x00}, {64, 0x50}, {4096, 0xC0}};
    for (const auto& [maximum, parameter] : cases) {
        reader.maxReceive = maximum;
        EXPECT_EQ(natives::sendRats(), Bytes{0});
        EXPECT_EQ(reader.lastTx, (Bytes{0xE0, parameter})) << maximum;
    }
    EXPECT_EQ(natives::sendPps(), Bytes{0});
    EXPECT_EQ(reader.lastTx, (Bytes{0xD0, 0x11, 0x00}));
}

TEST(RatsRxNibble, FirstFrameSizeThatHoldsTheMaximum) {
    const std::pair<int, int> cases[] = {{-5, 0},   {0, 0},     {16, 0},    {17, 1},   {24, 1},
                                         {25, 2},   {64, 5},    {65, 6},    {500, 9},  {512, 9},
                                         {513, 10}, {4096, 12}, {4097, 12}, {5000, 12}};
    for (const auto& [maximum, fsdi] : cases)
        EXPECT_EQ(natives::getRatsRxNibble(maximum), fsdi) << maximum;
}

TEST_F(OverScriptedReader, ModeAndAlgorithmArraysAreTakenAsFourAndTwoBytes) {
    const std::pair<Bytes, Bytes> modes[] = {
        {{}, {0, 0, 0, 0}},
        {{2}, {2, 0, 0, 0}},
        {{3, 1, 2, 1}, {3, 1, 2, 1}},
        {{1, 2, 3, 4, 5, 6, 7, 8, 9}, {1, 2, 3, 4}},
    };
    reader.modeResult = 6;
    for (const auto& [mode, passed] : modes) {
        EXPECT_EQ(natives::selectReaderMode(mode), 6);
        EXPECT_EQ(reader.lastMode, passed);
    }
    const std::pair<Bytes, Bytes> algos[] = {
        {{}, {0, 0}}, {{1}, {1, 0}}, {{1, 5, 6, 7, 8, 9, 10, 11, 12}, {1, 5}}};
    for (const auto& [algo, passed] : algos) {
        natives::setAnticollisionAlgo(algo);
        EXPECT_EQ(reader.lastAlgo, passed);
    }
}

TEST_F(OverScriptedReader, SelectPassesTheUidAndItsLength) {
    reader.selectResult = 42;
    const Bytes uid{0x04, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66};
    EXPECT_EQ(natives::selectTag14443A(uid), 42);
    EXPECT_EQ(reader.lastUidLength, 7);
    EXPECT_EQ(reader.lastUid, uid);
    EXPECT_EQ(natives::selectTag14443A({}), 42);
    EXPECT_EQ(reader.lastUidLength, 0);
    EXPECT_EQ(natives::deselectTag14443A({0x09}), 42);
    EXPECT_EQ(reader.lastUid, Bytes{0x09});
}

TEST_F(OverScriptedReader, AntiCollisionGivesOneArrayPerTag) {
    EXPECT_TRUE(natives::antiCollision().empty());
    reader.tags = {{1, 2, 3, 4}, {1, 2, 3, 4, 5, 6, 7}, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, {}};
    EXPECT_EQ(natives::antiCollision(), reader.tags);
}

TEST_F(OverScriptedReader, VersionsNameAndMaximaComeFromTheReader) {
    reader.version = "too old";
    reader.maxTransmit = 268;
    reader.maxReceive = 260;
    EXPECT_EQ(natives::checkVersion(), "too old");
    EXPECT_EQ(natives::getFirmwareVersion(), "1.2.3");
    EXPECT_EQ(natives::getName(), "Scripted");
    EXPECT_TRUE(natives::isConnected());
    EXPECT_EQ(natives::getMaxTransmitLengthInBytes(), 268);
    EXPECT_EQ(natives::getMaxReceiveLengthInBytes(), 260);
    // A current reader stays current: connect asks nothing of it.
    reader.calls.clear();
    EXPECT_TRUE(natives::connect());
    EXPECT_TRUE(reader.calls.empty());
}

TEST(ReaderModel, BuffersAndUidsCopyTheirBytes) {
    vemlasdknative::Buffer a(4);
    EXPECT_EQ(a.length, 4);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(a.buf[i], 0);
        a.buf[i] = static_cast<byte_t>(i + 1);
    }
    a.length = 2;
    vemlasdknative::Buffer b(a);
    ASSERT_NE(b.buf, a.buf);
    EXPECT_EQ(b.length, 2);
    EXPECT_EQ(b.buf[3], 4);
    vemlasdknative::Buffer c(1);
    c = a;
    EXPECT_EQ(c.capacity(), 4);
    EXPECT_EQ(c.buf[2], 3);
    const vemlasdknative::Buffer& self = c;
    c = self;
    EXPECT_EQ(c.buf[2], 3);
    vemlasdknative::Buffer d(std::move(c));
    EXPECT_EQ(d.buf[0], 1);
    EXPECT_EQ(c.buf, nullptr);
    c = std::move(d);
    EXPECT_EQ(c.buf[1], 2);
    vemlasdknative::Buffer empty;
    vemlasdknative::Buffer negative(-3);
    EXPECT_EQ(empty.buf, nullptr);
    EXPECT_EQ(negative.buf, nullptr);
    EXPECT_EQ(negative.length, 0);
    c = empty;
    EXPECT_EQ(c.buf, nullptr);

    const byte_t bytes[] = {9, 8, 7};
    RfReaderBase::Uid u(bytes, 3);
    std::vector<RfReaderBase::Uid> uids{u, u};
    uids.push_back(u); // reallocation copies or moves each entry
    uids[1] = uids[0];
    uids[2] = uids[2];
    RfReaderBase::Uid moved(std::move(uids[0]));
    EXPECT_EQ(uids[0].id, nullptr);
    for (const RfReaderBase::Uid& each : {uids[1], uids[2], moved}) {
        ASSERT_EQ(each.length, 3);
        EXPECT_NE(each.id, u.id);
        EXPECT_EQ(Bytes(each.id, each.id + 3), Bytes(bytes, bytes + 3));
    }
}

TEST(BoardReaders, NeverConnectUntilTheirLibraryIsBound) {
    vemlasdknative::kx10 first;
    vemlasdknative::kx20 second;
    const std::pair<RfReaderBase*, std::string> readers[] = {{&first, "KX10B-EVALO"},
                                                             {&second, "KX20-EVALO"}};
    for (const auto& [reader, name] : readers) {
        EXPECT_EQ(reader->GetName(), name);
        EXPECT_FALSE(reader->Connect());
        EXPECT_FALSE(reader->IsConnected());
        EXPECT_EQ(reader->GetMaxTransmitLengthInBytes(), 268);
        EXPECT_EQ(reader->GetMaxReceiveLengthInBytes(), 260);
        byte_t mode[4] = {2, 0, 0, 0};
        EXPECT_EQ(reader->SetMode(mode), 3);
        EXPECT_EQ(reader->selected_protocol, RfReaderBase::FIELD_OFF);
    }
    EXPECT_EQ(first.speed_14443[6], 6);
    EXPECT_EQ(first.kx10_dllHandle, nullptr);
    EXPECT_EQ(second.kx20_dllHandle, nullptr);
}

} // namespace
} // namespace kestoreader_test

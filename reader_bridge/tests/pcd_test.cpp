#include "fake_reader.h"
#include "lib_PCD.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using kestoreader_test::CurrentReader;
using kestoreader_test::FakeReader;
using kestoreader_test::ScriptedReader;
using vemlasdknative::byte_t;
using vemlasdknative::RfReaderBase;
using Bytes = std::vector<byte_t>;

TEST(PcdAdaptor, StatusTable) {
    struct Case {
        RfReaderBase::ReaderStatus status;
        byte_t sendRecv;
        byte_t eof;
    };
    const Case cases[] = {
        {RfReaderBase::TRANSFER_OK, 0x00, 0x00},
        {RfReaderBase::CRC_ERROR, 0x21, 0x21},
        {RfReaderBase::COLLISION_DETECTED, 0x28, 0x28},
        {RfReaderBase::DEFAULT_ERROR, 0x21, 0x21},
        {RfReaderBase::ACK, 0x29, 0x21},
        {RfReaderBase::NACK, 0x30, 0x21},
        {RfReaderBase::DISCONNECTED, 0x21, 0x21},
    };
    for (const Case& c : cases) {
        FakeReader reader;
        CurrentReader current(&reader);
        reader.script.push_back({c.status, {0xAB}});
        reader.script.push_back({c.status, {0xCD}});
        byte_t rx[4] = {};
        int n = -1;
        const byte_t frame[] = {0x01};
        EXPECT_EQ(vemlasdknative::PCD_SendRecv(1, frame, rx, 4, &n, 0x28), c.sendRecv) << c.status;
        EXPECT_EQ(n, 1);
        EXPECT_EQ(rx[0], 0xAB);
        EXPECT_EQ(vemlasdknative::PCD_SendEof(rx, 4, &n), c.eof) << c.status;
        EXPECT_EQ(rx[0], 0xCD);
    }
}

TEST(PcdAdaptor, WithoutAReader) {
    byte_t rx[4] = {};
    int n = -1;
    const byte_t frame[] = {0x26, 0x07};
    EXPECT_EQ(vemlasdknative::PCD_SendRecv(2, frame, rx, 4, &n, 0), 0x21);
    EXPECT_EQ(n, 0);
    EXPECT_EQ(vemlasdknative::PCD_SendRecv(2, frame, rx, 4), 0x21);
    EXPECT_EQ(vemlasdknative::PCD_SendEof(rx, 4, &n), 0x21);
    std::uint8_t byte = 7;
    std::uint8_t bit = 7;
    EXPECT_EQ(vemlasdknative::PCD_GetCollisionPostion(&byte, &bit), 0x21);
    EXPECT_EQ(byte, 7);
    EXPECT_EQ(vemlasdknative::PCD_GetMaxTxLength(), 0);
    EXPECT_EQ(vemlasdknative::PCD_GetMaxRxLength(), 0);
}

TEST(PcdAdaptor, FramesFlagsAndAnswers) {
    FakeReader reader;
    reader.boardMaxima();
    CurrentReader current(&reader);
    EXPECT_EQ(vemlasdknative::PCD_GetMaxTxLength(), 268);
    EXPECT_EQ(vemlasdknative::PCD_GetMaxRxLength(), 260);

    const Bytes answer{1, 2, 3, 4, 5, 6};
    for (int i = 0; i < 3; ++i)
        reader.script.push_back({RfReaderBase::TRANSFER_OK, answer});
    const byte_t frame[] = {0x93, 0x20, 0x08};
    Bytes rx(8, 0xEE);
    int n = -1;
    // The long form with its flag; the answer is cut to the caller's area.
    EXPECT_EQ(vemlasdknative::PCD_SendRecv(3, frame, rx.data(), 4, &n, 0x28), 0x00);
    EXPECT_EQ(n, 4);
    EXPECT_EQ(rx, (Bytes{1, 2, 3, 4, 0xEE, 0xEE, 0xEE, 0xEE}));
    // The short forms pass flag 0.
    EXPECT_EQ(vemlasdknative::PCD_SendRecv(3, frame, rx.data(), 8, &n), 0x00);
    EXPECT_EQ(n, 6);
    EXPECT_EQ(vemlasdknative::PCD_SendRecv(2, frame, rx.data(), 8), 0x00);
    const std::vector<FakeReader::Sent> expected{
        {{0x93, 0x20, 0x08}, 0x28}, {{0x93, 0x20, 0x08}, 0x00}, {{0x93, 0x20}, 0x00}};
    EXPECT_EQ(reader.log, expected);

    reader.script.push_back({RfReaderBase::COLLISION_DETECTED, {0x11}, 2, 5});
    EXPECT_EQ(vemlasdknative::PCD_SendRecv(3, frame, rx.data(), 8, &n), 0x28);
    std::uint8_t byte = 0;
    std::uint8_t bit = 0;
    EXPECT_EQ(vemlasdknative::PCD_GetCollisionPostion(&byte, &bit), 0);
    EXPECT_EQ(byte, 2);
    EXPECT_EQ(bit, 5);
}

} // namespace

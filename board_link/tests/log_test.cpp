// The log ring: log packets set aside before an answer, polled, and read back.
#include "board_fixture.h"

#include <KXx0EVALOComm.h>

namespace board_link::test {
namespace {

using Fn = hidsim::Fn;

class LogTest : public BoardTest {
  protected:
    void TearDown() override {
        kx20.close();
        kx10.close();
        BoardTest::TearDown();
    }

    static int exchange(HidComDriver& driver, std::uint8_t request, Bytes& answer) {
        if (int result = driver.write(&request, 1); result != kDriverOk) return result;
        if (int result = driver.flush(); result != kDriverOk) return result;
        return driver.read(answer.data(), static_cast<int>(answer.size()));
    }

    std::vector<KestoComLogDataSet> drain(HidComDriver& driver, bool expectEntries = true) {
        std::vector<KestoComLogDataSet> entries(256);
        std::uint16_t count = 99;
        EXPECT_EQ(driver.readLog(entries.data(), count), expectEntries);
        entries.resize(count);
        return entries;
    }

    KXx0HidComDriver kx20{kKx20Board, KESTO_VENDOR_ID};
    KXx0HidComDriver kx10{kKx10Board, KESTO_VENDOR_ID};
};

TEST_F(LogTest, SecondBoardSetsPacketsBeforeTheAnswerAside) {
    plugBoard();
    ASSERT_TRUE(kx20.open());
    board->queueLogPacket({1, 0x10, {0xA1, 0xA2}});
    board->queueLogPacket({2, 0x20, {0xB1}});
    board->queueLogPacket({9, 0x90, {0xC1}}, 1);
    board->scriptAnswer(1, {counting(70)});
    Bytes answer(61 + 5 + 9);
    ASSERT_EQ(exchange(kx20, 0, answer), kDriverOk);
    EXPECT_EQ(Bytes(answer.begin(), answer.begin() + 61), counting(61));
    // The packet inside the answer is answer data: mark, index, flag, length, data.
    EXPECT_EQ(Bytes(answer.begin() + 61, answer.begin() + 66), (Bytes{0x6A, 9, 0x90, 1, 0xC1}));
    EXPECT_EQ(Bytes(answer.begin() + 66, answer.end()), counting(9, 61));

    EXPECT_EQ(kx20.logCount(), 2);
    const auto entries = drain(kx20);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].flag, 0x10);
    EXPECT_EQ(entries[0].length, 2);
    EXPECT_EQ(entries[0].data[1], 0xA2);
    EXPECT_EQ(entries[1].flag, 0x20);
    EXPECT_EQ(entries[1].data[0], 0xB1);
    EXPECT_EQ(kx20.logCount(), 0);
    drain(kx20, false);
}

TEST_F(LogTest, FirstBoardTakesALogPacketFirstAsTheAnswer) {
    plugBoard(boardsim::kKx10ProductId);
    ASSERT_TRUE(kx10.open());
    board->queueLogPacket({1, 0x10, {0xA1}});
    board->scriptAnswer(1, {counting(3)});
    Bytes answer(5 + 3);
    ASSERT_EQ(exchange(kx10, 0, answer), kDriverOk);
    EXPECT_EQ(answer, (Bytes{0x6A, 1, 0x10, 1, 0xA1, 0, 1, 2}));
    EXPECT_EQ(kx10.logCount(), 0);
}

TEST_F(LogTest, ReadLogAcrossTheWrap) {
    const int id = plugBoard();
    ASSERT_TRUE(kx20.open());
    hidsim::queueInput(id, boardsim::Board::logPacketReport({254, 1, {0xFE}}));
    EXPECT_EQ(kx20.pollLog(), 1);
    EXPECT_EQ(kx20.logCount(), 254);
    EXPECT_EQ(drain(kx20).size(), 254u);
    for (std::uint8_t index : {255, 0, 1})
        hidsim::queueInput(id, boardsim::Board::logPacketReport({index, index, {index, index}}));
    EXPECT_EQ(kx20.pollLog(), 3);
    EXPECT_EQ(kx20.logCount(), 3);
    const auto entries = drain(kx20);
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].flag, 255);
    EXPECT_EQ(entries[1].flag, 0);
    EXPECT_EQ(entries[2].flag, 1);
    EXPECT_EQ(entries[2].data[1], 1);

    kx20.clearLog();
    EXPECT_EQ(kx20.logCount(), 0);
    hidsim::queueInput(id, boardsim::Board::logPacketReport({2, 7, {}}));
    kx20.pollLog();
    const auto cleared = drain(kx20);
    ASSERT_EQ(cleared.size(), 2u);
    EXPECT_EQ(cleared[0].length, 0); // entry 1 held two bytes before clearLog
}

TEST_F(LogTest, ReadIndexFiveWriteIndexSeven) {
    const int id = plugBoard();
    ASSERT_TRUE(kx20.open());
    hidsim::queueInput(id, boardsim::Board::logPacketReport({5, 0, {}}));
    kx20.pollLog();
    drain(kx20);
    hidsim::queueInput(id, boardsim::Board::logPacketReport({6, 6, {}}));
    hidsim::queueInput(id, boardsim::Board::logPacketReport({7, 7, {}}));
    kx20.pollLog();
    const auto entries = drain(kx20);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].flag, 6);
    EXPECT_EQ(entries[1].flag, 7);
}

TEST_F(LogTest, LongAnnouncedLengthKeepsWhatTheReportHolds) {
    const int id = plugBoard();
    ASSERT_TRUE(kx20.open());
    hidsim::queueInput(id, boardsim::Board::logPacketReport({1, 0, counting(100), 255}));
    Bytes shortPacket = boardsim::Board::logPacketReport({2, 0, counting(20), 200});
    shortPacket.resize(12);
    hidsim::queueInput(id, shortPacket);
    EXPECT_EQ(kx20.pollLog(), 2);
    const auto entries = drain(kx20);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].length, 57);
    EXPECT_EQ(Bytes(entries[0].data, entries[0].data + 57), counting(57));
    EXPECT_EQ(entries[1].length, 5);
    EXPECT_EQ(Bytes(entries[1].data, entries[1].data + 5), counting(5));
}

TEST_F(LogTest, PollLogReadsWhatIsThereAndRestoresTimeouts) {
    const int id = plugBoard();
    EXPECT_EQ(kx20.pollLog(), 0);
    EXPECT_EQ(hidsim::counters().openAttempts, 0);
    ASSERT_TRUE(kx20.open());
    hidsim::queueInput(id, boardsim::Board::logPacketReport({1, 0, {}}));
    hidsim::queueInput(id, Bytes(64, 0x01));
    hidsim::queueInput(id, boardsim::Board::logPacketReport({2, 0, {}}));
    hidsim::clearCalls();
    EXPECT_EQ(kx20.pollLog(), 3);
    EXPECT_EQ(kx20.logCount(), 2);
    const auto reads = hidsim::calls(Fn::Read);
    ASSERT_EQ(reads.size(), 4u);
    for (const hidsim::Call& call : reads)
        EXPECT_EQ(call.timeout, 0);

    for (int i = 0; i < 25; ++i)
        hidsim::queueInput(id, boardsim::Board::logPacketReport({3, 0, {}}));
    EXPECT_EQ(kx20.pollLog(), 20);
    EXPECT_EQ(hidsim::unread(id), 5u);
    kx10.pollLog(); // closed: nothing

    std::uint8_t byte = 0;
    hidsim::clearCalls();
    kx20.read(&byte, 1);
    EXPECT_EQ(hidsim::calls(Fn::Read).at(0).timeout, 1000);
}

TEST_F(LogTest, PollLogLeavesPendingAnswerBytes) {
    const int id = plugBoard();
    ASSERT_TRUE(kx20.open());
    board->scriptAnswer(1, {counting(10)});
    Bytes head(4);
    ASSERT_EQ(exchange(kx20, 0, head), kDriverOk);
    hidsim::queueInput(id, boardsim::Board::logPacketReport({1, 0, {}}));
    EXPECT_EQ(kx20.pollLog(), 1);
    Bytes rest(6);
    EXPECT_EQ(kx20.read(rest.data(), 6), kDriverOk);
    EXPECT_EQ(rest, counting(6, 4));
}

} // namespace
} // namespace board_link::test

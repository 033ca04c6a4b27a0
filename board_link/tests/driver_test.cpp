// The byte-stream driver over the board model: packing, open, the error latch,
// reading answers and the ping.
#include "board_fixture.h"

#include <KXx0EVALOComm.h>

#include <cstring>

namespace board_link::test {
namespace {

using Fn = hidsim::Fn;

class DriverTest : public BoardTest {
  protected:
    void TearDown() override {
        driver.close();
        BoardTest::TearDown();
    }

    KXx0HidComDriver driver{kKx20Board, KESTO_VENDOR_ID};

    int send(const Bytes& request) {
        const int written = driver.write(request.data(), static_cast<int>(request.size()));
        return written != kDriverOk ? written : driver.flush();
    }
    // Reads `n` bytes; empty when the read fails.
    Bytes receive(int n) {
        Bytes answer(static_cast<std::size_t>(n));
        return driver.read(answer.data(), n) == kDriverOk ? answer : Bytes{};
    }
};

// --- packing ---

TEST_F(DriverTest, SixtyOneBytesGoOutAtOnceSixtyTwoLeaveOnePending) {
    const int id = plugBoard();
    ASSERT_TRUE(driver.open());
    const Bytes data = counting(62);
    ASSERT_EQ(driver.write(data.data(), 61), kDriverOk);
    ASSERT_EQ(written(id).size(), 1u);
    EXPECT_EQ(written(id)[0][2], 61);
    ASSERT_EQ(driver.write(data.data(), 62), kDriverOk);
    ASSERT_EQ(written(id).size(), 2u);
    ASSERT_EQ(driver.flush(), kDriverOk);
    const auto reports = written(id);
    ASSERT_EQ(reports.size(), 3u);
    EXPECT_EQ(reports[2][2], 1);
    EXPECT_EQ(reports[2][4], 61);
    EXPECT_EQ(Bytes(reports[2].begin() + 5, reports[2].end()), Bytes(60, 0xCB));
    EXPECT_EQ(board->inbound().size(), 123u);
}

TEST_F(DriverTest, FlushedBytesCostOneReportPerSixtyOne) {
    const int id = plugBoard();
    ASSERT_TRUE(driver.open());
    std::size_t before = 0;
    std::size_t total = 0;
    for (std::size_t n : {1u, 60u, 61u, 62u, 122u, 123u, 300u}) {
        ASSERT_EQ(send(counting(n)), kDriverOk);
        const std::size_t reports = written(id).size();
        EXPECT_EQ(reports - before, (n + 60) / 61) << n;
        before = reports;
        total += n;
    }
    EXPECT_EQ(board->inbound().size(), total);
    hidsim::clearCalls();
    EXPECT_EQ(driver.flush(), kDriverOk);
    EXPECT_TRUE(hidsim::calls(Fn::Write).empty());
}

TEST_F(DriverTest, SequenceStartsAtOneAndWraps) {
    const int id = plugBoard();
    ASSERT_TRUE(driver.open());
    for (int i = 0; i < 257; ++i)
        ASSERT_EQ(send({static_cast<std::uint8_t>(i)}), kDriverOk);
    const auto reports = written(id);
    ASSERT_EQ(reports.size(), 257u);
    EXPECT_EQ(reports[0][1], 1);
    EXPECT_EQ(reports[254][1], 255);
    EXPECT_EQ(reports[255][1], 0);
    EXPECT_EQ(reports[256][1], 1);
    for (const Bytes& report : reports)
        EXPECT_EQ(report[3], 0);
}

TEST_F(DriverTest, PaddingRefilledAfterAFailedReportNotAfterThePing) {
    const int id = plugBoard();
    ASSERT_TRUE(driver.open());
    hidsim::failNth(Fn::Write, 1, -1);
    EXPECT_EQ(send(counting(30, 0x10)), kDriverWriteFailed);
    EXPECT_EQ(driver.takeError(), kDriverWriteFailed);
    ASSERT_EQ(send({0x99}), kDriverOk);
    auto reports = written(id);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0][1], 2);
    EXPECT_EQ(Bytes(reports[0].begin() + 5, reports[0].end()), Bytes(60, 0xCB));

    ASSERT_TRUE(driver.ping(false));
    ASSERT_EQ(send({0x98}), kDriverOk);
    reports = written(id);
    ASSERT_EQ(reports.size(), 3u);
    EXPECT_EQ(reports[1][1], 0x07);
    EXPECT_EQ(reports[2][1], 3); // the ping took no sequence number
    EXPECT_EQ(reports[2][5], 0x04);
    EXPECT_EQ(reports[2][6], 0x04);
    EXPECT_EQ(reports[2][7], 0xCB);
}

// --- open ---

class OpenTest : public DriverTest, public ::testing::WithParamInterface<BoardVariant> {};

TEST_P(OpenTest, FindsTheBoardPastForeignDevices) {
    const BoardVariant variant = GetParam();
    KXx0HidComDriver kxDriver(variant, KESTO_VENDOR_ID);
    plugForeign();
    plugForeign(KESTO_VENDOR_ID, 0x9999);
    const int other =
        boardsim::plug(std::make_shared<boardsim::Board>(),
                       variant.productIds[0] == KX10_PRODUCT_ID ? KX20_PRODUCT_ID : KX10_PRODUCT_ID);
    const int id = plugBoard(variant.productIds[0]);
    ASSERT_TRUE(kxDriver.open());
    EXPECT_TRUE(kxDriver.isOpen());
    const auto opens = hidsim::calls(Fn::Open);
    ASSERT_EQ(opens.size(), 1u);
    EXPECT_EQ(opens[0].path, hidsim::path(id));
    EXPECT_NE(opens[0].path, hidsim::path(other));
    hidsim::clearCalls();
    EXPECT_TRUE(kxDriver.open());
    EXPECT_TRUE(hidsim::calls().empty());
    EXPECT_TRUE(kxDriver.close());
    EXPECT_FALSE(kxDriver.isOpen());
    EXPECT_TRUE(kxDriver.close());
}

TEST_P(OpenTest, NoBoardNoDevice) {
    KXx0HidComDriver kxDriver(GetParam(), KESTO_VENDOR_ID);
    plugForeign();
    EXPECT_FALSE(kxDriver.open());
    EXPECT_FALSE(kxDriver.isOpen());
    EXPECT_EQ(hidsim::counters().openAttempts, 0);
    EXPECT_FALSE(kxDriver.open("/dev/none"));
    const Bytes data{1};
    EXPECT_EQ(kxDriver.write(data.data(), 1), kDriverNotOpen);
}

INSTANTIATE_TEST_SUITE_P(Boards, OpenTest, ::testing::Values(kKx10Board, kKx20Board), [](const auto& info) {
    return info.param.logPacketsBeforeAnswer ? "KX20" : "KX10";
});

TEST_F(DriverTest, ProductIdsTriedInListOrder) {
    const std::uint16_t ids[] = {0x3724, 0x3721};
    HidComDriver listDriver(ids, 2, KESTO_VENDOR_ID, true);
    boardsim::plug(std::make_shared<boardsim::Board>(), 0x3721);
    const int id = plugBoard(0x3724);
    ASSERT_TRUE(listDriver.open());
    EXPECT_EQ(hidsim::calls(Fn::Open).at(0).path, hidsim::path(id));
}

TEST_F(DriverTest, OpenByPath) {
    const int foreign = plugForeign();
    const int id = plugBoard();
    EXPECT_FALSE(driver.open(hidsim::path(foreign).c_str()));
    EXPECT_FALSE(driver.open(nullptr));
    ASSERT_TRUE(driver.open(hidsim::path(id).c_str()));
    EXPECT_TRUE(driver.ping(false));
}

TEST_F(DriverTest, APathAlreadyOpenInTheProcessIsRefused) {
    const int id = plugBoard();
    KXx0HidComDriver other(kKx20Board, KESTO_VENDOR_ID);
    ASSERT_TRUE(driver.open());
    EXPECT_FALSE(other.open());
    EXPECT_FALSE(other.open(hidsim::path(id).c_str()));
    EXPECT_FALSE(other.isOpen());
    EXPECT_EQ(hidsim::counters().liveHandles, 1);
}

TEST_F(DriverTest, TimeoutsReachTheDeviceAtEveryOpen) {
    const int id = plugBoard();
    ASSERT_TRUE(driver.open());
    std::uint8_t byte = 0;
    EXPECT_EQ(driver.read(&byte, 1), kDriverReadFailed);
    EXPECT_EQ(hidsim::calls(Fn::Read).back().timeout, 1000);
    driver.setTimeouts(40, 50);
    driver.takeError();
    EXPECT_EQ(driver.read(&byte, 1), kDriverReadFailed);
    EXPECT_EQ(hidsim::calls(Fn::Read).back().timeout, 40);
    driver.close();
    ASSERT_TRUE(driver.open(hidsim::path(id).c_str()));
    EXPECT_EQ(driver.read(&byte, 1), kDriverReadFailed);
    EXPECT_EQ(hidsim::calls(Fn::Read).back().timeout, 40);
}

TEST_F(DriverTest, DestructorClosesTheDevice) {
    plugBoard();
    auto own = std::make_unique<KXx0HidComDriver>(kKx20Board, KESTO_VENDOR_ID);
    ASSERT_TRUE(own->open());
    EXPECT_EQ(hidsim::counters().liveHandles, 1);
    own.reset();
    EXPECT_EQ(hidsim::counters().liveHandles, 0);
}

// --- error latch ---

TEST_F(DriverTest, WriteFailureLatchesUntilTaken) {
    plugBoard();
    ASSERT_TRUE(driver.open());
    hidsim::failNth(Fn::Write, 1, -1);
    EXPECT_EQ(send(counting(61)), kDriverWriteFailed);
    hidsim::clearCalls();
    std::uint8_t buffer[4];
    EXPECT_EQ(driver.read(buffer, 4), kDriverWriteFailed);
    EXPECT_EQ(driver.flush(), kDriverWriteFailed);
    EXPECT_EQ(driver.write(buffer, 4), kDriverWriteFailed);
    EXPECT_TRUE(hidsim::calls().empty());
    EXPECT_EQ(driver.takeError(), kDriverWriteFailed);
    EXPECT_EQ(driver.takeError(), kDriverOk);
}

TEST_F(DriverTest, TakeErrorDropsPendingBytesBothWays) {
    const int id = plugBoard();
    ASSERT_TRUE(driver.open());
    board->scriptAnswer(2, {counting(10, 0x40)});
    ASSERT_EQ(send({1, 2}), kDriverOk);
    EXPECT_EQ(receive(4), counting(4, 0x40)); // six answer bytes stay pending
    const Bytes pending{7, 7, 7};
    ASSERT_EQ(driver.write(pending.data(), 3), kDriverOk); // three request bytes too
    board->injectFault({boardsim::FaultKind::NoPingAnswer});
    EXPECT_FALSE(driver.ping(false));
    EXPECT_EQ(driver.takeError(), kDriverReadFailed);

    const std::size_t before = written(id).size();
    EXPECT_EQ(driver.flush(), kDriverOk);
    EXPECT_EQ(written(id).size(), before);
    board->scriptAnswer(1, {{0x5A}});
    ASSERT_EQ(send({9}), kDriverOk);
    EXPECT_EQ(receive(1), Bytes{0x5A});
}

TEST_F(DriverTest, ClosedDriverLatchesNotOpen) {
    std::uint8_t buffer[4] = {};
    EXPECT_EQ(driver.write(buffer, 4), kDriverNotOpen);
    EXPECT_EQ(driver.takeError(), kDriverNotOpen);
    EXPECT_EQ(driver.flush(), kDriverNotOpen);
    EXPECT_EQ(driver.takeError(), kDriverNotOpen);
    EXPECT_EQ(driver.read(buffer, 4), kDriverNotOpen);
    EXPECT_EQ(driver.read(buffer, 4), kDriverNotOpen);
    plugBoard();
    ASSERT_TRUE(driver.open());
    EXPECT_EQ(driver.error(), kDriverOk);
}

TEST_F(DriverTest, CloseClearsTheLatch) {
    plugBoard();
    ASSERT_TRUE(driver.open());
    std::uint8_t byte = 0;
    EXPECT_EQ(driver.read(&byte, 1), kDriverReadFailed);
    EXPECT_TRUE(driver.close());
    EXPECT_EQ(driver.error(), kDriverOk);
}

// --- reading answers ---

TEST_F(DriverTest, AnswerSplitAnywhere) {
    const std::vector<std::vector<std::size_t>> splits = {{}, {1}, {5}, {60, 1}, {30, 30, 30}, {3, 1, 61}};
    plugBoard();
    ASSERT_TRUE(driver.open());
    for (const auto& sizes : splits) {
        board->injectFault({boardsim::FaultKind::Split, 0, sizes});
        board->scriptAnswer(1, {counting(130, 3)});
        ASSERT_EQ(send({0}), kDriverOk);
        const Bytes header = receive(5);
        const Bytes rest = receive(125);
        EXPECT_EQ(header, counting(5, 3)) << sizes.size();
        EXPECT_EQ(rest, counting(125, 8)) << sizes.size();
    }
}

TEST_F(DriverTest, AnswersInARow) {
    plugBoard();
    ASSERT_TRUE(driver.open());
    board->scriptAnswer(2, {counting(70, 1)});
    board->scriptAnswer(3, {counting(3, 100)});
    ASSERT_EQ(send({1, 1, 2, 2, 2}), kDriverOk);
    EXPECT_EQ(receive(70), counting(70, 1));
    EXPECT_EQ(receive(3), counting(3, 100));
    EXPECT_FALSE(board->overrun());
}

TEST_F(DriverTest, SilenceFailsAfterOneWait) {
    plugBoard();
    ASSERT_TRUE(driver.open());
    board->injectFault({boardsim::FaultKind::Silence});
    board->scriptAnswer(1, {counting(4)});
    ASSERT_EQ(send({0}), kDriverOk);
    hidsim::clearCalls();
    std::uint8_t buffer[4];
    EXPECT_EQ(driver.read(buffer, 4), kDriverReadFailed);
    EXPECT_EQ(hidsim::calls(Fn::Read).size(), 1u);
}

TEST_F(DriverTest, CorruptLengthsAndShortDeliveries) {
    struct Case {
        const char* name;
        boardsim::Fault fault;
        int ask;
        Bytes expected; // empty: -3
    };
    const Case cases[] = {
        {"length above 61 clamped", {boardsim::FaultKind::LengthByte, 255}, 61, counting(61)},
        {"length 0", {boardsim::FaultKind::LengthByte, 0}, 5, {}},
        {"short report clamped", {boardsim::FaultKind::ShortReports, 10}, 7, counting(7)},
        {"short report, more asked", {boardsim::FaultKind::ShortReports, 10}, 8, {}},
        {"report too short for a payload", {boardsim::FaultKind::ShortReports, 2}, 1, {}},
    };
    const int id = plugBoard();
    for (const Case& c : cases) {
        KXx0HidComDriver fresh(kKx20Board, KESTO_VENDOR_ID);
        ASSERT_TRUE(fresh.open());
        board->reset();
        board->injectFault(c.fault);
        board->scriptAnswer(1, {counting(61)});
        const Bytes request{0};
        ASSERT_EQ(fresh.write(request.data(), 1), kDriverOk);
        ASSERT_EQ(fresh.flush(), kDriverOk);
        Bytes buffer(static_cast<std::size_t>(c.ask), 0xEE);
        const int result = fresh.read(buffer.data(), c.ask);
        if (c.expected.empty()) {
            EXPECT_EQ(result, kDriverReadFailed) << c.name;
        } else {
            EXPECT_EQ(result, kDriverOk) << c.name;
            EXPECT_EQ(buffer, c.expected) << c.name;
        }
        fresh.close();
        EXPECT_EQ(hidsim::unread(id), 0u) << c.name;
    }
}

TEST_F(DriverTest, TriesUsedUpByLogPacketsFail) {
    const int id = plugBoard();
    ASSERT_TRUE(driver.open());
    for (int i = 0; i < 20; ++i)
        hidsim::queueInput(id, boardsim::Board::logPacketReport({1, 0, {1}}));
    board->scriptAnswer(1, {counting(4)});
    ASSERT_EQ(send({0}), kDriverOk);
    hidsim::clearCalls();
    std::uint8_t buffer[4];
    EXPECT_EQ(driver.read(buffer, 4), kDriverReadFailed);
    EXPECT_EQ(hidsim::calls(Fn::Read).size(), 20u);
    EXPECT_EQ(driver.logCount(), 1);
}

TEST_F(DriverTest, StatusFlagStoredAndTakenOnce) {
    plugBoard();
    ASSERT_TRUE(driver.open());
    board->scriptAnswer(1, {counting(3), 0x21});
    ASSERT_EQ(send({0}), kDriverOk);
    EXPECT_EQ(receive(3), counting(3));
    EXPECT_EQ(driver.takeStatus(), 0x21);
    EXPECT_EQ(driver.takeStatus(), 0);
}

TEST_F(DriverTest, VanishedBoardFailsThenReopens) {
    const int id = plugBoard();
    ASSERT_TRUE(driver.open());
    hidsim::unplug(id);
    EXPECT_EQ(send({1}), kDriverWriteFailed);
    driver.takeError();
    std::uint8_t byte = 0;
    EXPECT_EQ(driver.read(&byte, 1), kDriverReadFailed);
    EXPECT_TRUE(driver.close());
    EXPECT_FALSE(driver.open());
    board->reset();
    plugBoard();
    ASSERT_TRUE(driver.open());
    board->scriptAnswer(1, {{0x33}});
    ASSERT_EQ(send({1}), kDriverOk);
    EXPECT_EQ(receive(1), Bytes{0x33});
}

TEST_F(DriverTest, ReadOfNothingReadsNothing) {
    plugBoard();
    ASSERT_TRUE(driver.open());
    hidsim::clearCalls();
    EXPECT_EQ(driver.read(nullptr, 5), kDriverOk);
    std::uint8_t byte = 0;
    EXPECT_EQ(driver.read(&byte, 0), kDriverOk);
    EXPECT_TRUE(hidsim::calls().empty());
}

// --- ping ---

TEST_F(DriverTest, PingAnsweredOnAClosedDriverClosesAgain) {
    plugBoard();
    EXPECT_TRUE(driver.ping(false));
    EXPECT_FALSE(driver.isOpen());
    EXPECT_EQ(hidsim::counters().opens, 1);
    EXPECT_EQ(hidsim::counters().closes, 1);
    EXPECT_EQ(board->pings(), 1);
    ASSERT_TRUE(driver.open());
    EXPECT_TRUE(driver.ping(false));
    EXPECT_TRUE(driver.isOpen());
}

TEST_F(DriverTest, PingWithoutBoard) {
    EXPECT_FALSE(driver.ping(true));
    EXPECT_EQ(driver.error(), kDriverNotOpen);
}

TEST_F(DriverTest, OtherPingAnswerSendsTheFallbackOnlyWhenAsked) {
    plugBoard();
    ASSERT_TRUE(driver.open());
    for (bool fallback : {false, true}) {
        board->injectFault({boardsim::FaultKind::PingAnswer, 0x00});
        EXPECT_FALSE(driver.ping(fallback));
        EXPECT_EQ(board->fallbacks(), fallback ? 1 : 0);
        EXPECT_EQ(driver.error(), kDriverOk);
    }
    hidsim::clearCalls();
    board->injectFault({boardsim::FaultKind::NoPingAnswer});
    EXPECT_FALSE(driver.ping(true));
    EXPECT_EQ(driver.error(), kDriverReadFailed);
    EXPECT_EQ(board->fallbacks(), 1);
    EXPECT_EQ(hidsim::calls(Fn::Write).size(), 1u);
}

} // namespace
} // namespace board_link::test

// The board model on its own: reports in, reports out.
#include <boardsim/board.h>
#include <boardsim/telegram_board.h>

#include <gtest/gtest.h>

#include <thread>

namespace boardsim {
namespace {

Bytes dataReport(std::uint8_t sequence, const Bytes& payload) {
    Bytes report(kWireReportSize, 0xCB);
    report[0] = sequence;
    report[1] = static_cast<std::uint8_t>(payload.size());
    report[2] = 0;
    std::copy(payload.begin(), payload.end(), report.begin() + 3);
    return report;
}

Bytes control(std::initializer_list<std::uint8_t> head) {
    Bytes report(kWireReportSize, 0xCB);
    std::copy(head.begin(), head.end(), report.begin());
    return report;
}

const Bytes kPing = control({0x07, 0x04, 0x03, 0x01, 0x04, 0x04});
const Bytes kFallback = control({0x08, 0x04, 0x03, 0x01, 0x00, 0xEB});

std::vector<Bytes> send(Board& board, const Bytes& report, std::size_t unread = 0) {
    return board.receive(report.data(), report.size(), unread);
}

Bytes counting(std::size_t n) {
    Bytes bytes(n);
    for (std::size_t i = 0; i < n; ++i)
        bytes[i] = static_cast<std::uint8_t>(i);
    return bytes;
}

TEST(Board, AnswersThePingAndRecordsTheFallback) {
    Board board;
    auto answer = send(board, kPing);
    ASSERT_EQ(answer.size(), 1u);
    EXPECT_EQ(answer[0].size(), kWireReportSize);
    EXPECT_EQ(answer[0][0], kPingAnswerByte);
    EXPECT_TRUE(send(board, kFallback).empty());
    EXPECT_EQ(board.pings(), 1);
    EXPECT_EQ(board.fallbacks(), 1);
    EXPECT_EQ(board.kinds(), (std::vector<ReportKind>{ReportKind::Ping, ReportKind::Fallback}));
    EXPECT_TRUE(board.violations().empty());
}

TEST(Board, PingFaultsOneShotAndPersistent) {
    Board board;
    board.injectFault({FaultKind::NoPingAnswer});
    EXPECT_TRUE(send(board, kPing).empty());
    EXPECT_EQ(send(board, kPing).at(0)[0], kPingAnswerByte);
    board.injectFault({FaultKind::PingAnswer, 0x55}, true);
    EXPECT_EQ(send(board, kPing).at(0)[0], 0x55);
    EXPECT_EQ(send(board, kPing).at(0)[0], 0x55);
    board.clearFaults();
    EXPECT_EQ(send(board, kPing).at(0)[0], kPingAnswerByte);
}

TEST(Board, GathersPayloadsAndAnswersInFreshReports) {
    Board board;
    board.scriptAnswer(70, {counting(70), 0x21});
    const Bytes request = counting(70);
    EXPECT_TRUE(send(board, dataReport(1, Bytes(request.begin(), request.begin() + 61))).empty());
    auto reports = send(board, dataReport(2, Bytes(request.begin() + 61, request.end())));
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_EQ(reports[0][1], 61);
    EXPECT_EQ(reports[0][2], 0x21);
    EXPECT_EQ(reports[0][3], 0);
    EXPECT_EQ(reports[1][1], 9);
    EXPECT_EQ(reports[1][3], 61);
    EXPECT_TRUE(board.inbound().empty());
    EXPECT_TRUE(board.violations().empty());
    ASSERT_EQ(board.dataReports().size(), 2u);
    EXPECT_EQ(board.dataReports()[1].sequence, 2);
}

TEST(Board, ResponderSeesTheInboundStream) {
    Board board;
    board.setResponder([](Bytes& inbound) {
        std::vector<Answer> answers;
        while (inbound.size() >= 2) {
            answers.push_back({{inbound[0], inbound[1]}});
            inbound.erase(inbound.begin(), inbound.begin() + 2);
        }
        return answers;
    });
    auto reports = send(board, dataReport(9, {1, 2, 3, 4, 5}));
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_EQ(reports[1][3], 3);
    EXPECT_EQ(board.inbound(), Bytes{5});
}

TEST(Board, ChecksDataReports) {
    struct Case {
        const char* name;
        Bytes report;
    };
    Bytes badFlag = dataReport(1, {1});
    badFlag[2] = 1;
    Bytes badPadding = dataReport(1, {1});
    badPadding[40] = 0;
    Bytes tooLong = dataReport(1, {});
    tooLong[1] = 62;
    const Case cases[] = {{"length 0", dataReport(1, {})},
                          {"length 62", tooLong},
                          {"byte 3", badFlag},
                          {"padding", badPadding}};
    for (const Case& c : cases) {
        Board board;
        board.scriptAnswer(1, {{9}});
        EXPECT_TRUE(send(board, c.report).empty()) << c.name;
        EXPECT_EQ(board.violations().size(), 1u) << c.name;
        EXPECT_TRUE(board.inbound().empty()) << c.name;
        EXPECT_FALSE(board.dataReports().at(0).valid) << c.name;
    }
}

TEST(Board, SequenceFollowsOnAndWraps) {
    Board board;
    send(board, dataReport(254, {1}));
    send(board, dataReport(255, {1}));
    send(board, dataReport(0, {1}));
    EXPECT_TRUE(board.violations().empty());
    send(board, dataReport(2, {1}));
    EXPECT_EQ(board.violations().size(), 1u);
}

TEST(Board, PingBytesMayStandBehindTheNextPayload) {
    Board board;
    send(board, kPing);
    Bytes report = dataReport(1, {7});
    report[4] = 0x04;
    report[5] = 0x04;
    send(board, report);
    EXPECT_TRUE(board.violations().empty());
    report[0] = 2;
    send(board, report);
    EXPECT_EQ(board.violations().size(), 1u); // the leftover is gone after a data report
}

TEST(Board, LogPacketsBeforeAndInsideAnAnswer) {
    Board board;
    board.scriptAnswer(1, {counting(100)});
    board.queueLogPacket({3, 0x11, {0xA0, 0xA1}});
    board.queueLogPacket({4, 0x12, {0xB0}}, 1);
    auto reports = send(board, dataReport(1, {0}));
    ASSERT_EQ(reports.size(), 4u);
    EXPECT_EQ(reports[0][3], kLogPacketMark);
    EXPECT_EQ(reports[0][4], 3);
    EXPECT_EQ(reports[0][5], 0x11);
    EXPECT_EQ(reports[0][6], 2);
    EXPECT_EQ(reports[0][7], 0xA0);
    EXPECT_EQ(reports[1][1], 61);
    EXPECT_EQ(reports[2][3], kLogPacketMark);
    EXPECT_EQ(reports[3][1], 39);
}

TEST(Board, LogPacketAnnouncesWhatItIsTold) {
    LogPacket packet{1, 2, Bytes(100, 0x33), 200};
    const Bytes report = Board::logPacketReport(packet);
    EXPECT_EQ(report.size(), kWireReportSize);
    EXPECT_EQ(report[6], 200);
    EXPECT_EQ(report[1], 61);
    EXPECT_EQ(report[63], 0x33);
}

TEST(Board, AnswerFaults) {
    struct Case {
        const char* name;
        Fault fault;
        std::vector<std::size_t> sizes; // report sizes on the wire
        std::vector<int> lengths;       // their length bytes
    };
    const Case cases[] = {
        {"silence", {FaultKind::Silence}, {}, {}},
        {"length above 61", {FaultKind::LengthByte, 200}, {64, 64}, {200, 200}},
        {"length 0", {FaultKind::LengthByte, 0}, {64, 64}, {0, 0}},
        {"short reports", {FaultKind::ShortReports, 10}, {10, 10}, {61, 9}},
        {"split", {FaultKind::Split, 0, {1, 5}}, {64, 64, 64, 64}, {1, 5, 61, 3}},
    };
    for (const Case& c : cases) {
        Board board;
        board.injectFault(c.fault);
        board.scriptAnswer(1, {counting(70)});
        board.scriptAnswer(1, {counting(70)});
        auto reports = send(board, dataReport(1, {0}));
        ASSERT_EQ(reports.size(), c.sizes.size()) << c.name;
        for (std::size_t i = 0; i < reports.size(); ++i) {
            EXPECT_EQ(reports[i].size(), c.sizes[i]) << c.name << " " << i;
            EXPECT_EQ(reports[i][1], c.lengths[i]) << c.name << " " << i;
        }
        EXPECT_EQ(send(board, dataReport(2, {0})).size(), 2u) << c.name << ": one-shot";
    }
}

TEST(Board, OverrunWhenAnswerReportsAreUnread) {
    Board board;
    send(board, dataReport(1, {0}), 0);
    EXPECT_FALSE(board.overrun());
    send(board, kPing, 3);
    EXPECT_FALSE(board.overrun());
    send(board, dataReport(2, {0}), 1);
    EXPECT_TRUE(board.overrun());
}

TEST(Board, RejectsOutputReportsOfAnotherSize) {
    Board board;
    const Bytes report(65, 0);
    EXPECT_TRUE(send(board, report).empty());
    EXPECT_EQ(board.violations().size(), 1u);
}

TEST(Board, ServesSeveralThreads) {
    Board board;
    board.setResponder([](Bytes& inbound) {
        std::vector<Answer> answers{{inbound}};
        inbound.clear();
        return answers;
    });
    std::thread pinger([&] {
        for (int i = 0; i < 200; ++i)
            send(board, kPing);
    });
    for (int i = 0; i < 200; ++i)
        send(board, dataReport(static_cast<std::uint8_t>(i + 1), {1}));
    pinger.join();
    EXPECT_EQ(board.pings(), 200);
    EXPECT_EQ(board.dataReports().size(), 200u);
    EXPECT_TRUE(board.violations().empty());
}

// The telegram level on top of the report level: telegrams in data reports,
// the answer stream read back from the answer reports.
class TelegramBoardTest : public ::testing::Test {
  protected:
    Bytes exchange(const Bytes& stream) {
        Bytes answers;
        for (std::size_t offset = 0; offset < stream.size(); offset += kMaxPayload) {
            const std::size_t size = std::min(kMaxPayload, stream.size() - offset);
            const Bytes part(stream.begin() + static_cast<std::ptrdiff_t>(offset),
                             stream.begin() + static_cast<std::ptrdiff_t>(offset + size));
            for (const Bytes& report : send(*board, dataReport(++sequence, part)))
                answers.insert(answers.end(), report.begin() + 3, report.begin() + 3 + report[1]);
        }
        return answers;
    }
    static Bytes readRegister(std::uint8_t address) { return {kPidRegisterRead, 0, 1, 0, 1, address}; }

    std::shared_ptr<Board> board = std::make_shared<Board>();
    TelegramBoard firmware{board};
    std::uint8_t sequence = 0;
};

TEST_F(TelegramBoardTest, SplitsWritesAndRequestsAndAnswersRegisters) {
    firmware.stickBits(0x12, 0x01, 0x01);
    Bytes stream{kPidRegisterWrite | 0x80, 0, 2, 0, 0, 0x12, 0xA4};
    const Bytes read = readRegister(0x12);
    stream.insert(stream.end(), read.begin(), read.end());
    EXPECT_EQ(exchange(stream), (Bytes{kPidRegisterRead, 0, 0, 0, 1, 0xA5}));
    EXPECT_EQ(firmware.registerValue(0x12), 0xA5);
    const auto telegrams = firmware.telegrams();
    ASSERT_EQ(telegrams.size(), 2u);
    EXPECT_TRUE(telegrams[0].write);
    EXPECT_EQ(telegrams[0].pid, kPidRegisterWrite);
    EXPECT_EQ(telegrams[0].answered, 0u);
    EXPECT_FALSE(telegrams[1].write);
    EXPECT_EQ(telegrams[1].answered, 1u);
    EXPECT_EQ(telegrams[1].payload, Bytes{0x12});
    firmware.clearRecord();
    EXPECT_TRUE(firmware.telegrams().empty());
    EXPECT_TRUE(board->violations().empty());
}

TEST_F(TelegramBoardTest, WaitsForATelegramSplitOverReports) {
    Bytes command{kPidCommand, 0, 70, 0, 2};
    const Bytes parameters = counting(69);
    command.push_back(0x31);
    command.insert(command.end(), parameters.begin(), parameters.end());
    std::size_t seen = 0;
    firmware.setCommand(0x31, [&seen](const Bytes& p, std::size_t announced) {
        seen = p.size();
        return CommandReply{4, Bytes(announced, 0x77)};
    });
    EXPECT_EQ(exchange(command), (Bytes{kPidCommand, 0, 4, 0, 2, 0x77, 0x77}));
    EXPECT_EQ(seen, 69u);
    EXPECT_TRUE(board->inbound().empty());
    // An unknown command answers status 0 and the announced zero bytes.
    EXPECT_EQ(exchange({kPidCommand, 0, 1, 0, 3, 0x55}), (Bytes{kPidCommand, 0, 0, 0, 3, 0, 0, 0}));
}

TEST_F(TelegramBoardTest, FirmwareNumberAndText) {
    firmware.setFirmwareNumber(2, 10, 0x61);
    EXPECT_EQ(exchange({kPidFirmwareNumber, 0, 0, 0, 3}),
              (Bytes{kPidFirmwareNumber, 0, 0, 0, 3, 2, 10, 0x61}));
    firmware.setFirmwareText("");
    const Bytes info = exchange({kPidFirmwareInfo, 0, 0, 0, 64});
    ASSERT_EQ(info.size(), 69u);
    EXPECT_EQ(Bytes(info.begin() + 5, info.end()), Bytes(64, 0));
}

TEST_F(TelegramBoardTest, FaultsChangeOneAnswer) {
    struct Case {
        const char* name;
        TelegramFault fault;
        int value;
        Bytes answer;
    };
    firmware.setRegister(1, 0x11);
    const Case cases[] = {
        {"other pid", TelegramFault::OtherPid, 0x44, {0x44, 0, 0, 0, 1, 0x11}},
        {"status", TelegramFault::Status, 7, {kPidRegisterRead, 0, 7, 0, 1, 0x11}},
        {"announce", TelegramFault::Announce, 3, {kPidRegisterRead, 0, 0, 0, 3, 0x11, 0, 0}},
        {"shorter", TelegramFault::Shorter, 1, {kPidRegisterRead, 0, 0, 0, 1}},
        {"longer", TelegramFault::Longer, 2, {kPidRegisterRead, 0, 0, 0, 1, 0x11, 0xEE, 0xEE}},
        {"no answer", TelegramFault::NoAnswer, 0, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        firmware.injectFault(c.fault, c.value);
        EXPECT_EQ(exchange(readRegister(1)), c.answer);
        EXPECT_EQ(exchange(readRegister(1)), (Bytes{kPidRegisterRead, 0, 0, 0, 1, 0x11}));
    }
    // Faults for one answer apply together.
    firmware.injectFault(TelegramFault::OtherPid, 0x12);
    firmware.injectFault(TelegramFault::Status, 3);
    EXPECT_EQ(exchange(readRegister(1)), (Bytes{0x12, 0, 3, 0, 1, 0x11}));
    EXPECT_TRUE(board->violations().empty());
}

} // namespace
} // namespace boardsim

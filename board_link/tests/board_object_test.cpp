// The board object over the channel, the driver and the board model:
// connection, board information, register access, signals and texts.
#include "board_fixture.h"
#include "kx20_com_usb_hid.h"
#include "status_names.h"

#include <boardsim/telegram_board.h>
#include <KXx0EVALOComm.h>

#include <QtGlobal>

#include <string>

namespace board_link::test {
namespace {

using boardsim::TelegramFault;

// One long dataChanged as the board object emitted it.
struct LongChange {
    uchar reg, subreg;
    bool isSubreg;
    uchar mask, value, access;
    int err;
    QString any;
    bool operator==(const LongChange&) const = default;
};

// The board object with its liveness probe in reach of the tests.
class ProbedBoard : public KX20Com_UsbHid {
  public:
    using KX20Com_UsbHid::isBoardAlive;
};

class BoardObjectTest : public BoardTest {
  protected:
    void SetUp() override {
        BoardTest::SetUp();
        firmware = std::make_unique<boardsim::TelegramBoard>(board);
        board_.driver().setTimeouts(5, 5);
        QObject::connect(&board_, &KestoCommunication::connectionChanged,
                         [this](bool up) { events.push_back(up ? "connected" : "disconnected"); });
        QObject::connect(&board_, &KestoCommunication::beforeDisconnect,
                         [this] { events.push_back("beforeDisconnect"); });
        QObject::connect(&board_, qOverload<uchar, uchar, bool, uchar>(&KestoCommunication::dataChanged),
                         [this](uchar reg, uchar subreg, bool isSub, uchar value) {
                             shortChanges.push_back({reg, subreg, isSub, 0, value, 0, 0, {}});
                         });
        QObject::connect(&board_,
                         qOverload<uchar, uchar, bool, uchar, uchar, uchar, int, QString>(
                             &KestoCommunication::dataChanged),
                         [this](uchar reg, uchar subreg, bool isSub, uchar mask, uchar value, uchar access,
                                int err, QString any) {
                             longChanges.push_back({reg, subreg, isSub, mask, value, access, err, any});
                         });
        QObject::connect(&board_, &KX20Com_UsbHid::communicationErrorMessage,
                         [this](QString text) { messages.push_back(text); });
    }
    void TearDown() override {
        board_.disconnect();
        firmware.reset();
        BoardTest::TearDown();
    }
    int connectPlugged() {
        plugBoard();
        const int result = board_.connect();
        firmware->clearRecord();
        events.clear();
        shortChanges.clear();
        longChanges.clear();
        return result;
    }
    std::vector<std::uint8_t> pids() const {
        std::vector<std::uint8_t> out;
        for (const boardsim::Telegram& t : firmware->telegrams())
            out.push_back(static_cast<std::uint8_t>(t.pid | (t.write ? 0x80 : 0)));
        return out;
    }

    ProbedBoard board_;
    std::unique_ptr<boardsim::TelegramBoard> firmware;
    std::vector<std::string> events;
    std::vector<LongChange> shortChanges;
    std::vector<LongChange> longChanges;
    std::vector<QString> messages;
};

TEST_F(BoardObjectTest, NoBoardGivesConnectionError) {
    EXPECT_EQ(board_.connect(), -1);
    EXPECT_FALSE(board_.isConnected());
    EXPECT_EQ(events, std::vector<std::string>{"disconnected"});
}

TEST_F(BoardObjectTest, ConnectReadsTheBoardInformation) {
    firmware->setFirmwareNumber(1, 2, 3);
    firmware->setRegister(0, 0x10);
    firmware->setRegister(1, 0x11);
    plugBoard();
    EXPECT_EQ(board_.connect(), 0);
    EXPECT_TRUE(board_.isConnected());
    EXPECT_EQ(board_.firmwareText(), QStringLiteral("1.2.3"));
    EXPECT_EQ(pids(), (std::vector<std::uint8_t>{0x67, 0x66, 0x69, 0x69}));
    EXPECT_EQ(events, std::vector<std::string>{"connected"});
    ASSERT_EQ(shortChanges.size(), 2u);
    EXPECT_EQ(shortChanges[1].value, 0x11);
    events.clear();
    EXPECT_EQ(board_.connect(), -8);
    EXPECT_TRUE(events.empty());
    board_.disconnect();
    EXPECT_EQ(events, (std::vector<std::string>{"beforeDisconnect", "disconnected"}));
    EXPECT_FALSE(board_.isConnected());
}

TEST_F(BoardObjectTest, EmptyInformationTextKeepsTheDefaults) {
    firmware->setFirmwareText("");
    plugBoard();
    EXPECT_EQ(board_.connect(), 0);
    EXPECT_EQ(board_.firmwareText(), QStringLiteral("err 43.43.43"));
    EXPECT_EQ(pids(), (std::vector<std::uint8_t>{0x67, 0x66}));
    EXPECT_EQ(messages, std::vector<QString>{
                            QStringLiteral("KX20Com_UsbHid::getBoardInfo : received packet too short")});
}

TEST_F(BoardObjectTest, NoPingAnswerLeavesTheDriverOpen) {
    board->injectFault(boardsim::Fault(boardsim::FaultKind::NoPingAnswer));
    plugBoard();
    EXPECT_EQ(board_.connect(), -7);
    EXPECT_FALSE(board_.isConnected());
    EXPECT_TRUE(board_.driver().isOpen());
    EXPECT_EQ(board_.connect(), 0);
    EXPECT_EQ(board->pings(), 2);
}

TEST_F(BoardObjectTest, RegisterOperations) {
    ASSERT_EQ(connectPlugged(), 0);
    uchar value = 0;
    firmware->setRegister(0x12, 0xA3);
    EXPECT_EQ(board_.readRegister(0x12, value, true), 0);
    EXPECT_EQ(value, 0xA3);
    EXPECT_EQ(board_.modifyRegister(0x12, 0x0F, 0x05, true, true), 0);
    EXPECT_EQ(firmware->registerValue(0x12), 0xA5);
    EXPECT_EQ(board_.writeRegister(0x13, 0x77, true, false), 0);
    EXPECT_EQ(firmware->registerValue(0x13), 0x77);
    EXPECT_EQ(pids(), (std::vector<std::uint8_t>{0x69, 0x69, 0xE8, 0x69, 0xE8, 0x69}));
    ASSERT_EQ(shortChanges.size(), 2u);
    EXPECT_EQ(shortChanges[1].value, 0xA5);
    EXPECT_EQ(board_.errorText(), QStringLiteral("OK"));

    firmware->stickBits(0x14, 0x01, 0x01);
    EXPECT_EQ(board_.writeRegister(0x14, 0x10, true, true), -4);
    EXPECT_EQ(board_.errorText(), QStringLiteral("Verify Error"));
    EXPECT_EQ(board_.modifyRegister(0x14, 0x01, 0x00, true, true), -4);
    // Sub-register failures leave the last error alone.
    firmware->stickBits(0x15, 0x01, 0x01);
    board_.setPageRegister(0x30, 0xF0);
    EXPECT_EQ(board_.writeSubRegister(0x15, 0x10, 0x20, true, true), -4);
    EXPECT_EQ(board_.errorText(), QStringLiteral("Verify Error"));
    EXPECT_EQ(shortChanges.size(), 2u);
    ASSERT_EQ(longChanges.size(), 2u);
    EXPECT_EQ(longChanges[0], (LongChange{0x30, 0, false, 0xF0, 0, kAccessPage, 0, {}}));
    EXPECT_EQ(longChanges[1], (LongChange{0x15, 0x20, true, 0, 0x10, kAccessWrite, -4, {}}));
    EXPECT_EQ(board_.command(QStringLiteral("x")), -3);
    EXPECT_EQ(longChanges.back(), (LongChange{0, 0, false, 0, 0, kAccessCommand, -3, QStringLiteral("x")}));
}

TEST_F(BoardObjectTest, SubRegistersSelectThePage) {
    ASSERT_EQ(connectPlugged(), 0);
    struct Case {
        uchar mask, page, subreg, expected;
    };
    for (const Case& c :
         {Case{0x00, 0x5A, 0x03, 0x5A}, Case{0xFF, 0x5A, 0x03, 0x03}, Case{0x0F, 0x5A, 0x33, 0x53}}) {
        SCOPED_TRACE(int(c.mask));
        board_.setPageRegister(0x30, c.mask);
        firmware->setRegister(0x30, c.page);
        firmware->setRegister(0x40, 0x99);
        firmware->clearRecord();
        uchar value = 0;
        EXPECT_EQ(board_.readSubRegister(0x40, value, c.subreg, true), 0);
        EXPECT_EQ(value, 0x99);
        EXPECT_EQ(firmware->registerValue(0x30), c.expected);
        EXPECT_EQ(pids(), (std::vector<std::uint8_t>{0x69, 0xE8, 0x69}));
    }
    firmware->clearRecord();
    firmware->setRegister(0x41, 0xA3);
    EXPECT_EQ(board_.modifySubRegister(0x41, 0x0F, 0x05, 0x01, true, true), 0);
    EXPECT_EQ(firmware->registerValue(0x41), 0xA5);
    EXPECT_EQ(pids(), (std::vector<std::uint8_t>{0x69, 0xE8, 0x69, 0xE8, 0xE8, 0xE8, 0x69}));
    EXPECT_EQ(longChanges.back(), (LongChange{0x41, 0x01, true, 0x0F, 0x05, kAccessModify, 0, {}}));
    EXPECT_EQ(shortChanges.back().value, 0xA5);
}

TEST_F(BoardObjectTest, NotConnectedRegisterAccessConnectsOrFails) {
    uchar value = 0;
    EXPECT_EQ(board_.readRegister(1, value, true), -1);
    EXPECT_EQ(board_.errorText(), QStringLiteral("Connection Error"));
    EXPECT_EQ(board_.readSubRegister(1, value, 2, true), -1);
    ASSERT_EQ(longChanges.size(), 1u);
    EXPECT_EQ(longChanges[0].err, -1);
    plugBoard();
    EXPECT_EQ(board_.readRegister(1, value, false), 0);
    EXPECT_TRUE(board_.isConnected());
}

TEST_F(BoardObjectTest, LatchedCommandFailureFailsOneRegisterOperation) {
    ASSERT_EQ(connectPlugged(), 0);
    firmware->injectFault(TelegramFault::NoAnswer);
    std::vector<std::uint8_t> answer;
    EXPECT_EQ(board_.sendBoardCommand(0x30, {1}, 2, answer), kResultTransferFailed);
    EXPECT_EQ(board_.sendBoardCommand(0x30, {1}, 2, answer), kResultTransferFailed);
    uchar value = 0;
    EXPECT_EQ(board_.readRegister(1, value, false), -2);
    EXPECT_EQ(board_.readRegister(1, value, false), 0);
    firmware->injectFault(TelegramFault::NoAnswer);
    EXPECT_EQ(board_.sendBoardCommand(0x30, {}, 2, answer), kResultTransferFailed);
    EXPECT_EQ(board_.writeRegister(1, 1, false, false), -3);
    EXPECT_EQ(board_.errorText(), QStringLiteral("Write Error"));
    EXPECT_EQ(board_.writeRegister(1, 1, false, false), 0);
}

TEST_F(BoardObjectTest, BoardCommandsAndObvsMode) {
    ASSERT_EQ(connectPlugged(), 0);
    firmware->setCommand(0x23, boardsim::CommandReply{0, {0xFE, 0x05, 0x00}});
    int first = 0;
    int second = 0;
    EXPECT_EQ(board_.getObvsMode(first, second), 0);
    EXPECT_EQ(first, -2);
    EXPECT_EQ(second, 5);
    firmware->setCommand(0x23, boardsim::CommandReply{0, {0x01}});
    EXPECT_EQ(board_.getObvsMode(first, second), 0);
    EXPECT_EQ(first, -2);
    EXPECT_EQ(messages.back(), QStringLiteral("KX20Com_UsbHid::getObvsMode : received packet too short"));
    firmware->setCommand(0x24, [](const Bytes& parameters, std::size_t announced) {
        return boardsim::CommandReply{9, Bytes(announced, parameters.at(0))};
    });
    std::vector<std::uint8_t> answer;
    EXPECT_EQ(board_.sendBoardCommand(0x24, {0x42}, 2, answer), 9);
    EXPECT_EQ(answer, (Bytes{0x42, 0x42}));
}

TEST_F(BoardObjectTest, OtherPidWritesTheDebugLine) {
    ASSERT_EQ(connectPlugged(), 0);
    static std::string line;
    line.clear();
    const QtMessageHandler previous = qInstallMessageHandler(
        [](QtMsgType, const QMessageLogContext&, const QString& text) { line = text.toStdString(); });
    firmware->injectFault(TelegramFault::OtherPid, 0x12);
    std::vector<std::uint8_t> answer;
    EXPECT_EQ(board_.sendBoardCommand(0x30, {}, 0, answer), kResultOtherPid);
    qInstallMessageHandler(previous);
    EXPECT_EQ(line, "Protocol Received: 0x12 Expected: 0x44");
    EXPECT_EQ(board_.takeLinkErrors(), kChannelOtherPid);
    EXPECT_EQ(board_.takeLinkErrors(), 0);
}

TEST_F(BoardObjectTest, Texts) {
    EXPECT_EQ(board_.statusName(22), QStringLiteral("NotFound"));
    EXPECT_EQ(board_.statusName(11), QStringLiteral("Prototocol"));
    EXPECT_EQ(board_.statusName(39), QStringLiteral("UnknownError"));
    EXPECT_EQ(board_.statusName(47), QStringLiteral("Incomplete_byte_07Error"));
    EXPECT_EQ(board_.statusName(48), QStringLiteral("UnknownError 48"));
    EXPECT_EQ(board_.statusName(-1), QStringLiteral("UnknownError -1"));
    EXPECT_EQ(firmwareNumberToText(1 << 16 | 2 << 8 | 3), QStringLiteral("1.2.3"));
    struct Case {
        const char* text;
        int value;
        bool ok;
    };
    for (const Case& c :
         {Case{"1.2.3", 0x010203, true}, Case{"1.2.3.4", 0x010203, true}, Case{"1.2", 0x0102, true},
          Case{"err 43.43.43", 0, false}, Case{"1..3", 0x0100, false}}) {
        SCOPED_TRACE(c.text);
        bool ok = false;
        EXPECT_EQ(parseFirmwareText(QString::fromLatin1(c.text), ok), c.value);
        EXPECT_EQ(ok, c.ok);
    }
    EXPECT_EQ(board_.errorText(), QStringLiteral("OK"));
}

TEST_F(BoardObjectTest, ConnectByPath) {
    const int other = plugBoard();
    const int id = plugBoard();
    EXPECT_EQ(board_.connect("/dev/none"), -1);
    EXPECT_FALSE(board_.isConnected());
    EXPECT_EQ(board_.connect(hidsim::path(plugForeign()).c_str()), -1);
    EXPECT_EQ(events, (std::vector<std::string>{"disconnected", "disconnected"}));
    ASSERT_EQ(board_.connect(hidsim::path(id).c_str()), 0);
    EXPECT_TRUE(board_.isConnected());
    EXPECT_EQ(hidsim::calls(hidsim::Fn::Open).back().path, hidsim::path(id));
    EXPECT_EQ(pids(), (std::vector<std::uint8_t>{0x67, 0x66, 0x69, 0x69}));
    EXPECT_EQ(board_.connect(hidsim::path(other).c_str()), -8);
    EXPECT_EQ(hidsim::calls(hidsim::Fn::Open).back().path, hidsim::path(id));
}

TEST_F(BoardObjectTest, NoPingAnswerOnAPathLeavesTheDriverOpen) {
    const int id = plugBoard();
    board->injectFault(boardsim::Fault(boardsim::FaultKind::NoPingAnswer));
    EXPECT_EQ(board_.connect(hidsim::path(id).c_str()), -7);
    EXPECT_TRUE(board_.driver().isOpen());
    EXPECT_EQ(board_.connect(hidsim::path(id).c_str()), 0);
    EXPECT_EQ(board->pings(), 2);
}

TEST_F(BoardObjectTest, DeviceNodeChangedKeepsAConnectionAndClosesAnOpenDriver) {
    ASSERT_EQ(connectPlugged(), 0);
    board_.deviceNodeChanged();
    EXPECT_TRUE(board_.isConnected());
    EXPECT_TRUE(events.empty());
    EXPECT_TRUE(firmware->telegrams().empty());
    board_.disconnect();
    events.clear();

    // A failed ping leaves the driver open without a connection; the slot closes it.
    board->injectFault(boardsim::Fault(boardsim::FaultKind::NoPingAnswer));
    EXPECT_EQ(board_.connect(), -7);
    ASSERT_TRUE(board_.driver().isOpen());
    events.clear();
    board_.deviceNodeChanged();
    EXPECT_FALSE(board_.isConnected());
    EXPECT_FALSE(board_.driver().isOpen());
    EXPECT_EQ(events, (std::vector<std::string>{"beforeDisconnect", "disconnected"}));
}

TEST_F(BoardObjectTest, BoardIsAliveWhileItsInformationTextIsNotEmpty) {
    ASSERT_EQ(connectPlugged(), 0);
    EXPECT_TRUE(board_.isBoardAlive());
    EXPECT_EQ(pids(), std::vector<std::uint8_t>{0x66});
    firmware->setFirmwareText("");
    EXPECT_FALSE(board_.isBoardAlive());
    firmware->setFirmwareText("x");
    firmware->injectFault(TelegramFault::NoAnswer);
    EXPECT_FALSE(board_.isBoardAlive());
    EXPECT_EQ(board_.takeLinkErrors(), kDriverReadFailed);
    EXPECT_TRUE(board_.isBoardAlive());
}

TEST_F(BoardObjectTest, UnlistedErrorIsAnUnknownError) {
    plugBoard();
    board->injectFault(boardsim::Fault(boardsim::FaultKind::NoPingAnswer));
    uchar value = 0;
    EXPECT_EQ(board_.readRegister(1, value, false), -7);
    EXPECT_EQ(board_.lastError(), -7);
    EXPECT_EQ(board_.errorText(), QStringLiteral("Unknown Error"));
    EXPECT_EQ(board_.readRegister(1, value, false), 0);
    EXPECT_EQ(board_.errorText(), QStringLiteral("OK"));
}

TEST_F(BoardTest, FirstBoardBuildNamesItselfAndWritesNoPidLine) {
    boardsim::TelegramBoard firmware(board);
    firmware.setFirmwareText("");
    plugBoard(boardsim::kKx10ProductId);
    KX20Com_UsbHid object(kKx10Board);
    object.driver().setTimeouts(5, 5);
    std::vector<QString> messages;
    QObject::connect(&object, &KX20Com_UsbHid::communicationErrorMessage,
                     [&messages](QString text) { messages.push_back(text); });
    ASSERT_EQ(object.connect(), 0);
    EXPECT_EQ(messages, std::vector<QString>{
                            QStringLiteral("KX10Communication::getBoardInfo : received packet too short")});
    static int lines = 0;
    const QtMessageHandler previous =
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) { ++lines; });
    firmware.injectFault(TelegramFault::OtherPid, 0x12);
    std::vector<std::uint8_t> answer;
    EXPECT_EQ(object.sendBoardCommand(0x30, {}, 0, answer), kResultOtherPid);
    qInstallMessageHandler(previous);
    EXPECT_EQ(lines, 0);
    object.disconnect();
}

} // namespace
} // namespace board_link::test

// The command channel over the driver and the board model at telegram level:
// framing, answers in queue order, the latched error and the bounded reads.
#include "board_fixture.h"
#include "command_channel.h"

#include <boardsim/telegram_board.h>
#include <KXx0EVALOComm.h>

#include <string>
#include <thread>

namespace board_link::test {
namespace {

using boardsim::TelegramFault;

class ChannelTest : public BoardTest {
  protected:
    void SetUp() override {
        BoardTest::SetUp();
        firmware = std::make_unique<boardsim::TelegramBoard>(board);
        device = plugBoard();
        driver.setTimeouts(5, 5);
    }
    void TearDown() override {
        channel.close();
        firmware.reset();
        BoardTest::TearDown();
    }
    // Wire payload of every output report written so far, headers stripped.
    Bytes sentStream() const {
        Bytes stream;
        for (const Bytes& report : written(device))
            if (report.size() > 4)
                stream.insert(stream.end(), report.begin() + 4, report.begin() + 4 + report[2]);
        return stream;
    }
    KXx0RegisterObject readOf(std::uint8_t address) { return KXx0RegisterObject(1, 1, address); }

    KXx0HidComDriver driver{kKx20Board, KESTO_VENDOR_ID};
    CommandChannel channel{&driver, &immediateFlushPolicy()};
    std::unique_ptr<boardsim::TelegramBoard> firmware;
    int device = 0;
};

TEST_F(ChannelTest, CommandTelegramGoesOutInOneReport) {
    ASSERT_TRUE(channel.open());
    KXx0CommandObject command(0x43, 4);
    EXPECT_EQ(command.setData({0x01, 0x02}), 3);
    channel.queue(&command);
    const auto reports = written(device);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0][2], 8);
    EXPECT_EQ(sentStream(), (Bytes{0x44, 0x00, 0x03, 0x00, 0x04, 0x43, 0x01, 0x02}));
    EXPECT_EQ(command.result(), 0);
    EXPECT_TRUE(command.answered());
    EXPECT_EQ(command.responseData(), Bytes(4, 0));
    EXPECT_EQ(channel.lastError(), 0);
}

TEST_F(ChannelTest, RegisterReadAndWriteForms) {
    ASSERT_TRUE(channel.open());
    firmware->setRegister(0x12, 0x5A);
    KXx0RegisterObject read = readOf(0x12);
    channel.queue(&read);
    EXPECT_EQ(sentStream(), (Bytes{0x69, 0x00, 0x01, 0x00, 0x01, 0x12}));
    EXPECT_EQ(read.result(), 0);
    EXPECT_EQ(read.value(), 0x5Au);

    KXx0RegisterObject write(1, 1, 0x13, 0xA5);
    channel.write(&write);
    EXPECT_EQ(write.pid(), kPidRegisterWrite);
    const Bytes stream = sentStream();
    EXPECT_EQ(Bytes(stream.begin() + 6, stream.end()), (Bytes{0xE8, 0x00, 0x02, 0x00, 0x00, 0x13, 0xA5}));
    EXPECT_EQ(firmware->registerValue(0x13), 0xA5);
    EXPECT_FALSE(write.answered() && write.result() != 0);
}

TEST_F(ChannelTest, WideRegistersMostSignificantByteFirst) {
    ASSERT_TRUE(channel.open());
    KXx0RegisterObject two(2, 2, 0x1234, 0xBEEF);
    KXx0RegisterObject four(4, 4, 0x01020304, 0xA1B2C3D4);
    channel.write(&two);
    channel.write(&four);
    EXPECT_EQ(sentStream(), (Bytes{0xE8, 0x00, 0x04, 0x00, 0x00, 0x12, 0x34, 0xBE, 0xEF, 0xE8, 0x00,
                                   0x08, 0x00, 0x00, 0x01, 0x02, 0x03, 0x04, 0xA1, 0xB2, 0xC3, 0xD4}));
    QString text;
    QXmlStreamWriter xml(&text);
    std::uint8_t answer[4] = {0xA1, 0xB2, 0xC3, 0xD4};
    EXPECT_TRUE(four.parseResponse(answer, 4, xml));
    EXPECT_EQ(four.value(), 0xA1B2C3D4u);
    EXPECT_FALSE(four.parseResponse(answer, 3, xml));
}

TEST_F(ChannelTest, UnframeableRequestFailsAtOnce) {
    ASSERT_TRUE(channel.open());
    KXx0RegisterObject odd(3, 1, 0x12);
    channel.queue(&odd);
    EXPECT_TRUE(written(device).empty());
    EXPECT_EQ(odd.result(), kResultTransferFailed);
    EXPECT_EQ(channel.lastError(), kDriverReadFailed);
    EXPECT_EQ(channel.takeLinkErrors(), kDriverReadFailed);

    KXx0CommandObject big(0x10, 0);
    big.setData(Bytes(1088, 0x55)); // 1089 payload bytes with the command byte
    channel.queue(&big);
    EXPECT_TRUE(written(device).empty());
    EXPECT_EQ(big.result(), kResultTransferFailed);
    EXPECT_EQ(channel.takeLinkErrors(), kDriverReadFailed);

    // The channel holds no level: another thread gets through.
    std::thread other([&] {
        KXx0RegisterObject read = readOf(1);
        channel.queue(&read);
        EXPECT_EQ(read.result(), 0);
    });
    other.join();
}

TEST_F(ChannelTest, LargestPayloadFitsTheExpectedReports) {
    ASSERT_TRUE(channel.open());
    KXx0CommandObject big(0x10, 0);
    big.setData(Bytes(1087, 0x55));
    channel.queue(&big);
    EXPECT_EQ(written(device).size(), (1088u + 5u + 60u) / 61u);
    EXPECT_EQ(big.result(), 0);
    EXPECT_EQ(channel.lastError(), 0);
}

TEST_F(ChannelTest, FlushObjectFlushesAndSendsNothing) {
    CommandChannel late(&driver, &lateFlushPolicy());
    ASSERT_TRUE(late.open());
    KXx0RegisterObject write(1, 1, 0x20, 0x01);
    late.write(&write);
    EXPECT_TRUE(written(device).empty());
    late.write(&flushObject());
    EXPECT_EQ(sentStream(), (Bytes{0xE8, 0x00, 0x02, 0x00, 0x00, 0x20, 0x01}));
    EXPECT_EQ(late.lastError(), 0);
    late.close();
}

TEST_F(ChannelTest, LatePolicySharesAReportAnswersInOrder) {
    CommandChannel late(&driver, &lateFlushPolicy());
    ASSERT_TRUE(late.open());
    firmware->setRegister(1, 0x11);
    firmware->setRegister(2, 0x22);
    KXx0RegisterObject first = readOf(1);
    KXx0RegisterObject second = readOf(2);
    late.queue(&first);
    late.queue(&second);
    late.queue(&second); // already queued: not appended again
    EXPECT_TRUE(written(device).empty());
    late.flush();
    EXPECT_EQ(written(device).size(), 1u);
    EXPECT_EQ(first.value(), 0x11u);
    EXPECT_EQ(second.value(), 0x22u);
    EXPECT_EQ(firmware->telegrams().size(), 2u);
    std::thread other([&] {
        KXx0RegisterObject read = readOf(2);
        late.queue(&read);
        late.flush();
        EXPECT_EQ(read.value(), 0x22u);
    });
    other.join();
    late.close();
}

TEST_F(ChannelTest, FirstErrorOfAFlushIsKept) {
    CommandChannel late(&driver, &lateFlushPolicy());
    ASSERT_TRUE(late.open());
    firmware->setRegister(1, 0x11);
    firmware->setRegister(2, 0x22);
    firmware->injectFault(TelegramFault::OtherPid, 0x12);
    KXx0RegisterObject first = readOf(1);
    KXx0RegisterObject second = readOf(2);
    late.queue(&first);
    late.queue(&second);
    late.flush();
    EXPECT_EQ(first.result(), kResultOtherPid);
    // The second answer is still read, so the stream stays in step.
    EXPECT_EQ(second.result(), 0);
    EXPECT_EQ(second.value(), 0x22u);
    EXPECT_EQ(late.lastError(), kChannelOtherPid);
    // Nor does a flush with nothing to read clear it.
    late.flush();
    EXPECT_EQ(late.lastError(), kChannelOtherPid);
    late.close();
}

TEST_F(ChannelTest, ReadTimeOutLatchesUntilCleared) {
    ASSERT_TRUE(channel.open());
    firmware->injectFault(TelegramFault::NoAnswer);
    KXx0RegisterObject lost = readOf(1);
    channel.queue(&lost);
    EXPECT_EQ(lost.result(), kResultTransferFailed);
    EXPECT_EQ(channel.lastError(), kDriverReadFailed);
    EXPECT_EQ(driver.error(), kDriverReadFailed);
    const std::size_t reports = written(device).size();

    KXx0RegisterObject next = readOf(1);
    channel.queue(&next);
    EXPECT_EQ(next.result(), kResultTransferFailed);
    KXx0RegisterObject write(1, 1, 1, 1);
    channel.write(&write);
    EXPECT_EQ(channel.lastError(), kDriverReadFailed);
    EXPECT_EQ(written(device).size(), reports);

    EXPECT_EQ(channel.takeLinkErrors(), kDriverReadFailed);
    EXPECT_EQ(driver.error(), 0);
    channel.queue(&next);
    EXPECT_EQ(next.result(), 0);
}

TEST_F(ChannelTest, TakeLinkErrorsOrsBoth) {
    ASSERT_TRUE(channel.open());
    channel.setLastError(kChannelOtherPid);
    EXPECT_EQ(channel.takeLinkErrors(), kChannelOtherPid);
    EXPECT_EQ(channel.takeLinkErrors(), 0);
    firmware->injectFault(TelegramFault::NoAnswer);
    KXx0RegisterObject lost = readOf(1);
    channel.queue(&lost);
    channel.setLastError(kChannelOtherPid);
    EXPECT_EQ(channel.takeLinkErrors(), kChannelOtherPid | kDriverReadFailed);
    EXPECT_EQ(driver.error(), 0);
    EXPECT_EQ(channel.lastError(), 0);
}

TEST_F(ChannelTest, OtherPidLatchesAndDropsThePayload) {
    ASSERT_TRUE(channel.open());
    std::string debug;
    channel.setDebugSink([&](const std::string& line) { debug = line; });
    firmware->setRegister(1, 0x11);
    firmware->injectFault(TelegramFault::OtherPid, 0x44);
    firmware->injectFault(TelegramFault::Announce, 40);
    KXx0RegisterObject read = readOf(1);
    channel.queue(&read);
    EXPECT_EQ(read.result(), kResultOtherPid);
    EXPECT_EQ(channel.lastError(), kChannelOtherPid);
    EXPECT_EQ(debug, "Protocol Received: 0x44 Expected: 0x69");

    KXx0RegisterObject blocked = readOf(1);
    const std::size_t reports = written(device).size();
    channel.queue(&blocked);
    EXPECT_EQ(written(device).size(), reports);

    EXPECT_EQ(channel.takeLinkErrors(), kChannelOtherPid);
    KXx0RegisterObject next = readOf(1);
    channel.queue(&next);
    EXPECT_EQ(next.result(), 0);
    EXPECT_EQ(next.value(), 0x11u);
}

TEST_F(ChannelTest, OversizedAnswersAreDroppedInStep) {
    ASSERT_TRUE(channel.open());
    firmware->setRegister(1, 0x11);
    for (int announced : {1089, 65535}) {
        SCOPED_TRACE(announced);
        firmware->injectFault(TelegramFault::Announce, announced);
        KXx0CommandObject command(0x10, 1);
        command.setData({});
        channel.queue(&command);
        EXPECT_EQ(command.result(), kResultTransferFailed);
        EXPECT_FALSE(command.answered());
        EXPECT_EQ(channel.takeLinkErrors(), kDriverReadFailed);
        KXx0RegisterObject next = readOf(1);
        channel.queue(&next);
        EXPECT_EQ(next.result(), 0);
        EXPECT_EQ(next.value(), 0x11u);
    }
}

TEST_F(ChannelTest, ShortAnswerFailsTheRead) {
    ASSERT_TRUE(channel.open());
    firmware->injectFault(TelegramFault::Shorter, 2);
    KXx0CommandObject command(0x10, 4);
    command.setData({});
    channel.queue(&command);
    EXPECT_EQ(command.result(), kResultTransferFailed);
    EXPECT_EQ(channel.lastError(), kDriverReadFailed);
}

TEST_F(ChannelTest, StatusIsTheResult) {
    ASSERT_TRUE(channel.open());
    firmware->setCommand(0x21, boardsim::CommandReply{7, {1, 2, 3}});
    KXx0CommandObject command(0x21, 3);
    command.setData({0x09});
    channel.queue(&command);
    EXPECT_EQ(command.result(), 7);
    EXPECT_EQ(command.responseData(), (Bytes{1, 2, 3}));
    const auto telegrams = firmware->telegrams();
    ASSERT_EQ(telegrams.size(), 1u);
    EXPECT_EQ(telegrams[0].payload, (Bytes{0x21, 0x09}));
}

TEST_F(ChannelTest, StatusFaultIsTheResultOfAnAnsweredTelegram) {
    ASSERT_TRUE(channel.open());
    firmware->setRegister(1, 0x11);
    firmware->injectFault(TelegramFault::Status, 0x2A);
    KXx0RegisterObject read = readOf(1);
    channel.queue(&read);
    EXPECT_EQ(read.result(), 0x2A);
    EXPECT_TRUE(read.answered());
    EXPECT_EQ(read.value(), 0x11u);
    EXPECT_EQ(channel.lastError(), 0);
    KXx0RegisterObject next = readOf(1);
    channel.queue(&next);
    EXPECT_EQ(next.result(), 0);
}

TEST_F(ChannelTest, LongerAnswerFailsAndItsSurplusIsDropped) {
    ASSERT_TRUE(channel.open());
    firmware->setRegister(1, 0x11);
    // Within the answer's last report, and running into one more report.
    for (int surplus : {2, 70}) {
        SCOPED_TRACE(surplus);
        firmware->injectFault(TelegramFault::Longer, surplus);
        KXx0RegisterObject read = readOf(1);
        channel.queue(&read);
        EXPECT_EQ(read.result(), kResultTransferFailed);
        EXPECT_FALSE(read.answered());
        EXPECT_EQ(channel.lastError(), kDriverReadFailed);
        EXPECT_EQ(channel.takeLinkErrors(), kDriverReadFailed);
        KXx0RegisterObject next = readOf(1);
        channel.queue(&next);
        EXPECT_EQ(next.result(), 0);
        EXPECT_EQ(next.value(), 0x11u);
        EXPECT_EQ(channel.lastError(), 0);
    }
}

TEST_F(ChannelTest, FirmwareTelegrams) {
    ASSERT_TRUE(channel.open());
    firmware->setFirmwareNumber(2, 5, 0x61);
    firmware->setFirmwareText(std::string(70, 'x'));
    FirmwareNumberObject number;
    GetFirmwareInfoObject info;
    channel.queue(&number);
    channel.queue(&info);
    EXPECT_EQ(number.number(), 0x020561u);
    EXPECT_EQ(std::string(info.text()), std::string(63, 'x'));
    const std::uint8_t two[2] = {1, 2};
    QString text;
    QXmlStreamWriter xml(&text);
    EXPECT_FALSE(number.parseResponse(two, 2, xml));
    EXPECT_TRUE(info.parseResponse(two, 0, xml));
}

TEST(TelegramXml, DescriptionsReadBack) {
    QString text;
    QXmlStreamWriter xml(&text);
    xml.writeStartElement(QStringLiteral("trace"));
    FirmwareNumberObject number(0x1F);
    const std::uint8_t bytes[3] = {0x02, 0x0A, 0x61};
    ASSERT_TRUE(number.parseResponse(bytes, 3, xml));
    GetFirmwareInfoObject info;
    const std::string firmware = "board firmware 2.10";
    info.parseResponse(reinterpret_cast<const std::uint8_t*>(firmware.data()),
                       static_cast<int>(firmware.size()), xml);
    xml.writeEndElement();
    EXPECT_TRUE(text.contains(QStringLiteral("<telegram pid=\"67\" direction=\"result\" trace=\"1f\">")));

    FirmwareNumberObject numberBack;
    GetFirmwareInfoObject infoBack;
    QXmlStreamReader all(text);
    EXPECT_TRUE(numberBack.readXml(all));
    EXPECT_EQ(numberBack.number(), 0x020A61u);
    QXmlStreamReader again(text);
    EXPECT_TRUE(infoBack.readXml(again));
    EXPECT_STREQ(infoBack.text(), firmware.c_str());
    QXmlStreamReader flush(QStringLiteral("<r><telegram><x/></telegram><after/></r>"));
    flush.readNextStartElement();
    flush.readNextStartElement();
    EXPECT_TRUE(flushObject().readXml(flush));
    EXPECT_TRUE(flush.readNextStartElement());
    EXPECT_EQ(flush.name(), QLatin1String("after"));
}

TEST_F(ChannelTest, ResetClearsBothAndReopensOnlyWhenOpen) {
    firmware->injectFault(TelegramFault::NoAnswer);
    ASSERT_TRUE(channel.open());
    KXx0RegisterObject lost = readOf(1);
    channel.queue(&lost);
    ASSERT_EQ(channel.lastError(), kDriverReadFailed);
    EXPECT_TRUE(channel.reset());
    EXPECT_TRUE(driver.isOpen());
    EXPECT_EQ(channel.lastError(), 0);
    EXPECT_EQ(driver.error(), 0);
    EXPECT_TRUE(channel.close());
    EXPECT_TRUE(channel.reset());
    EXPECT_FALSE(driver.isOpen());
}

TEST_F(ChannelTest, NotOpenFailsTheTransfer) {
    KXx0RegisterObject read = readOf(1);
    channel.queue(&read);
    EXPECT_EQ(read.result(), kResultTransferFailed);
    EXPECT_EQ(channel.lastError(), kDriverNotOpen);
    channel.reset();
}

} // namespace
} // namespace board_link::test

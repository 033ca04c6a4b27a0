// The dongle reader: connection, versions, protocol selection, answer
// classification and the command bridge, against the dongle model.
#include "hid_manager.h"
#include "qm30_dll.h"
#include "reader_fixture.h"
#include "scripted_reader.h"

#include <array>
#include <cstring>
#include <string>
#include <vector>

namespace kestoreader_test {
namespace {

using vemlasdknative::byte_t;
using vemlasdknative::Qm30;
namespace natives = vemlasdknative::natives;

using Strings = std::vector<std::string>;

const std::string kResetSpi = "02BD000000000000";
const std::string kEcho = "0155000000000000";

// Output reports of a SetMode: ResetSPI, Echo, then what it sent.
Strings modeReports(const Strings& sent) {
    Strings all{kResetSpi, kEcho};
    all.insert(all.end(), sent.begin(), sent.end());
    return all;
}

TEST_F(ReaderTest, ConnectWithoutDongleTriesElevenTimesAndLeavesNoReaderNorFile) {
    EXPECT_FALSE(natives::connect());
    EXPECT_EQ(vemlasdknative::handle, nullptr);
    EXPECT_EQ(hidsim::counters().openAttempts, 11);
    EXPECT_TRUE(std::filesystem::is_empty(workDir()));
}

TEST_F(ReaderTest, ConnectFindsTheDongleAndSwitchesTheFieldOff) {
    plugDongle();
    ASSERT_TRUE(natives::connect());
    ASSERT_NE(vemlasdknative::handle, nullptr);
    EXPECT_EQ(natives::getName(), "Qm30");
    EXPECT_TRUE(natives::isConnected());
    EXPECT_EQ(written(), Strings{"0102020000000000"});
    EXPECT_EQ(hidsim::counters().liveHandles, 1);
    EXPECT_EQ(natives::getMaxTransmitLengthInBytes(), 500);
    EXPECT_EQ(natives::getMaxReceiveLengthInBytes(), 500);
    EXPECT_TRUE(std::filesystem::is_empty(workDir()));

    // A current reader short-circuits the search, even once its device is gone.
    hidsim::clearCalls();
    vemlasdknative::RfReaderBase* current = vemlasdknative::handle;
    EXPECT_TRUE(natives::connect());
    EXPECT_TRUE(hidsim::calls().empty());
    hidsim::unplug(device);
    EXPECT_TRUE(natives::connect());
    EXPECT_EQ(vemlasdknative::handle, current);
    EXPECT_TRUE(natives::isConnected());
}

TEST_F(ReaderTest, DisconnectClosesTheDeviceAndConnectWorksAnew) {
    connectDongle();
    natives::disconnect();
    EXPECT_EQ(vemlasdknative::handle, nullptr);
    EXPECT_EQ(hidsim::counters().liveHandles, 0);
    EXPECT_FALSE(natives::isConnected());
    EXPECT_EQ(natives::getName(), "");
    EXPECT_EQ(natives::checkVersion(), "Cannot get version");
    natives::disconnect(); // nothing left to disconnect
    EXPECT_TRUE(natives::connect());
    EXPECT_EQ(natives::getName(), "Qm30");
    EXPECT_EQ(hidsim::counters().liveHandles, 1);
}

TEST_F(ReaderTest, ConnectAgainReplacesTheManagerAndItsDevice) {
    plugDongle();
    Qm30 reader;
    EXPECT_TRUE(reader.Connect());
    EXPECT_TRUE(reader.Connect());
    EXPECT_EQ(hidsim::counters().liveHandles, 1);
    reader.Disconnect();
    EXPECT_FALSE(reader.IsConnected());
    EXPECT_EQ(reader.hid_handle, nullptr);
    EXPECT_EQ(hidsim::counters().liveHandles, 0);
}

TEST_F(ReaderTest, NewReaderHoldsTheBaseDefaults) {
    Qm30 reader;
    EXPECT_EQ(reader.selected_protocol, Qm30::FIELD_OFF);
    EXPECT_TRUE(reader.inventory15693AlgoSw && reader.inventory14443aAlgoSw && reader.inventory14443bAlgoSw);
    EXPECT_EQ(reader.inventory15693AlgoParams, 0);
    EXPECT_EQ(reader.max_tx_buffer, 0);
    EXPECT_EQ(reader.max_rx_buffer, 0);
    EXPECT_EQ(reader.hid_handle, nullptr);
    EXPECT_FALSE(reader.IsConnected());
    ASSERT_NE(reader.rx_buffer, nullptr);
    EXPECT_EQ(reader.rx_buffer->length, 1000);
    EXPECT_EQ(reader.tx_buffer->length, 1000);
    EXPECT_EQ(hidsim::calls().size(), 0u);
}

TEST(Qm30Arguments, NullPointersChangeNothing) {
    Qm30 reader;
    reader.selected_protocol = Qm30::ISO14443A;
    EXPECT_FALSE(reader.CheckVersion(nullptr));
    EXPECT_FALSE(reader.GetFirmwareVersion(nullptr));
    EXPECT_EQ(reader.SetMode(nullptr), 0);
    EXPECT_EQ(reader.selected_protocol, Qm30::ISO14443A);
    reader.SetInventoryAlgo(nullptr);
    EXPECT_TRUE(reader.inventory15693AlgoSw);
    EXPECT_EQ(reader.GetCollisionPos(nullptr, nullptr), 0);
}

struct VersionCase {
    std::vector<std::uint8_t> revision;
    bool accepted;
    std::string check;
    std::string firmware;
    int mcuRev;
};

TEST_F(ReaderTest, VersionsFollowTheControllerRevision) {
    const VersionCase cases[] = {
        {{0x03, 0x06, 0x06}, true, "", "030606", 0x366},
        {{0x03, 0x06, 0x07}, true, "", "030607", 0x367},
        {{0x04, 0x00, 0x00}, true, "", "040000", 0x400},
        {{0x03, 0x06, 0x05},
         false,
         "Qm30 firmware version mismatch: current=030605, expected>=030606",
         "030605",
         0x365},
        {{0x02, 0x09, 0x09},
         false,
         "Qm30 firmware version mismatch: current=020909, expected>=030606",
         "020909",
         0x299},
        {{0x03, 0x06}, false, "Cannot get Qm30 version", "0306", vemlasdknative::kMCUrevInitial},
    };
    connectDongle();
    for (const VersionCase& c : cases) {
        SCOPED_TRACE(hex(c.revision));
        dongle->firmware.setRevision(c.revision);
        vemlasdknative::MCUrev = vemlasdknative::kMCUrevInitial;
        char text[vemlasdknative::kVersionTextSize] = "stale";
        EXPECT_EQ(vemlasdknative::handle->CheckVersion(text), c.accepted);
        EXPECT_STREQ(text, c.check.c_str());
        EXPECT_EQ(vemlasdknative::MCUrev, c.mcuRev);
        vemlasdknative::MCUrev = vemlasdknative::kMCUrevInitial;
        EXPECT_EQ(natives::checkVersion(), c.check);
        EXPECT_EQ(natives::getFirmwareVersion(), c.firmware);
        EXPECT_EQ(vemlasdknative::MCUrev, c.mcuRev);
    }
}

TEST_F(ReaderTest, VersionsWithoutDeviceOrManager) {
    Qm30 idle;
    char text[vemlasdknative::kVersionTextSize] = "stale";
    EXPECT_FALSE(idle.CheckVersion(text));
    EXPECT_STREQ(text, "Qm30 not connected");
    std::strcpy(text, "stale");
    EXPECT_FALSE(idle.GetFirmwareVersion(text));
    EXPECT_STREQ(text, "Qm30 not connected");

    connectDongle();
    hidsim::unplug(device);
    EXPECT_EQ(natives::checkVersion(), "Cannot get Qm30 version");
    std::strcpy(text, "stale");
    EXPECT_FALSE(vemlasdknative::handle->GetFirmwareVersion(text));
    EXPECT_STREQ(text, "");
    EXPECT_EQ(vemlasdknative::MCUrev, vemlasdknative::kMCUrevInitial);
}

TEST_F(ReaderTest, LongRevisionReplyGivesBoundedTexts) {
    connectDongle();
    // A whole 256-byte report whose length byte claims 253 revision bytes; the
    // model's own answers are dropped.
    hidsim::setSilent(device, true);
    hidsim::Report report(256, 0x07);
    report[0] = 2;
    report[1] = 0xBC;
    report[2] = 253;
    report[3] = 0x03;
    report[4] = 0x06;
    report[5] = 0x05;
    hidsim::queueInput(device, report);
    std::string check = natives::checkVersion();
    EXPECT_EQ(check.size(), vemlasdknative::kVersionTextSize - 1);
    EXPECT_EQ(check.rfind("Qm30 firmware version mismatch: current=0306050707", 0), 0u);
    hidsim::queueInput(device, report);
    std::string firmware = natives::getFirmwareVersion();
    EXPECT_EQ(firmware.size(), vemlasdknative::kVersionTextSize - 1);
    EXPECT_EQ(firmware.rfind("0306050707", 0), 0u);
}

struct ModeCase {
    std::vector<byte_t> mode;
    Strings sent; // after ResetSPI and Echo
    byte_t result;
    std::vector<std::uint8_t> selected;
    std::vector<std::vector<std::uint8_t>> registerWrites;
};

TEST_F(ReaderTest, SetModeSendsTheSelectAndItsFollowUps) {
    const std::string kAfterSelect = "02A8000000000000";
    const ModeCase cases[] = {
        {{2, 1, 1, 0},
         {"0102040250028000", "0109043A005A0400", "010904680101DF00", kAfterSelect},
         1,
         {0x02, 0x50, 0x02, 0x80},
         {{0x3A, 0x00, 0x5A, 0x04}, {0x68, 0x01, 0x01, 0xDF}}},
        // Byte 3 plays no part in ISO 14443-A; the rates keep their low two bits.
        {{2, 7, 6, 1},
         {"01020402E0028000", "0109043A005A0400", "010904680101DF00", kAfterSelect},
         1,
         {0x02, 0xE0, 0x02, 0x80},
         {{0x3A, 0x00, 0x5A, 0x04}, {0x68, 0x01, 0x01, 0xDF}}},
        {{1, 1, 0, 1}, {"010202011D000000", kAfterSelect}, 1, {0x01, 0x1D}, {}},
        // Byte 2 plays no part in ISO 15693.
        {{1, 0, 1, 0}, {"010202010C000000", kAfterSelect}, 1, {0x01, 0x0C}, {}},
        {{3, 0, 0, 1},
         {"0102040301008000", "0109046801013000", kAfterSelect},
         1,
         {0x03, 0x01, 0x00, 0x80},
         {{0x68, 0x01, 0x01, 0x30}}},
        {{3, 2, 1, 0},
         {"0102040390008000", "0109046801013000", kAfterSelect},
         1,
         {0x03, 0x90, 0x00, 0x80},
         {{0x68, 0x01, 0x01, 0x30}}},
        {{0, 5, 5, 5}, {"0102020000000000"}, 1, {0x00, 0x00}, {}},
        {{7, 0, 0, 0}, {}, 0, {}, {}},
    };
    connectDongle();
    for (const ModeCase& c : cases) {
        SCOPED_TRACE(hex(c.mode));
        hidsim::clearCalls();
        const std::vector<std::uint8_t> selectedBefore = dongle->firmware.selectedProtocol();
        const std::size_t writesBefore = dongle->firmware.registerWrites().size();
        EXPECT_EQ(natives::selectReaderMode(c.mode), c.result);
        EXPECT_EQ(written(), modeReports(c.sent));
        EXPECT_EQ(dongle->firmware.selectedProtocol(), c.sent.empty() ? selectedBefore : c.selected);
        std::vector<std::vector<std::uint8_t>> writes = dongle->firmware.registerWrites();
        writes.erase(writes.begin(), writes.begin() + static_cast<std::ptrdiff_t>(writesBefore));
        EXPECT_EQ(writes, c.registerWrites);
        EXPECT_EQ(vemlasdknative::handle->selected_protocol, c.mode[0]);
    }
}

struct RefusalCase {
    const char* what;
    std::vector<byte_t> mode;
    int nth; // output report whose answer carries `code` (0: the select refuses)
    std::uint8_t code;
    std::size_t reports; // output reports sent
};

TEST_F(ReaderTest, SetModeFailsAtTheFirstRefusal) {
    const RefusalCase cases[] = {
        {"select invalid protocol", {2, 0, 0, 0}, 0, 0x83, 3},
        {"select invalid length", {1, 0, 0, 0}, 0, 0x82, 3},
        {"select another code", {2, 0, 0, 0}, 0, 0x84, 3},
        {"register write refused", {2, 0, 0, 0}, 4, 0x01, 4},
        {"gain write refused", {2, 0, 0, 0}, 5, 0x01, 5},
        {"controller refused", {3, 0, 0, 0}, 5, 0x01, 5},
        {"controller refused 15693", {1, 0, 0, 0}, 4, 0x21, 4},
    };
    connectDongle();
    for (const RefusalCase& c : cases) {
        SCOPED_TRACE(c.what);
        hidsim::clearCalls();
        if (c.nth == 0)
            dongle->firmware.failNextSelect(c.code);
        else
            dongle->answerCode(c.nth, c.code);
        EXPECT_EQ(natives::selectReaderMode(c.mode), 0);
        EXPECT_EQ(written().size(), c.reports);
        EXPECT_EQ(vemlasdknative::handle->selected_protocol, c.mode[0]);
        dongle->answerCode(0, 0);
    }
}

TEST_F(ReaderTest, SetModeOnAnUnpluggedDongleFails) {
    connectDongle();
    hidsim::unplug(device);
    for (byte_t protocol : {0, 1, 2, 3}) {
        std::vector<byte_t> mode{protocol, 0, 0, 0};
        EXPECT_EQ(natives::selectReaderMode(mode), 0) << int(protocol);
    }
}

TEST_F(ReaderTest, ForeignDongleConnectsButEveryCommandFails) {
    plugDongle();
    hidsim::setManufacturer(device, L"Someone else");
    ASSERT_TRUE(natives::connect());
    EXPECT_TRUE(natives::isConnected());
    hidsim::clearCalls();
    EXPECT_EQ(natives::selectReaderMode({2, 0, 0, 0}), 0);
    EXPECT_EQ(natives::selectReaderMode({0}), 0);
    EXPECT_TRUE(written().empty());
    // The revision query asks only for an open device.
    EXPECT_EQ(natives::checkVersion(), "Qm30 firmware version mismatch: current=030605, expected>=030606");
}

TEST_F(ReaderTest, SendDllCmdWritesBoundedAnswerBytes) {
    connectDongle();
    auto* reader = static_cast<Qm30*>(vemlasdknative::handle);
    const byte_t identify[] = {0x01, 0x01, 0x00};
    std::array<byte_t, 8> out{};
    out.fill(0xEE);
    // "QM30 simulated 1.0" is 18 bytes: result, length and data make 20, of
    // which only the capacity given is written.
    EXPECT_EQ(reader->SendDllCmd(reader->hid_handle, identify, 3, out.data(), 4, Qm30::DLL_KESTOCMD), 4);
    EXPECT_EQ(hex({out.begin(), out.end()}), "0012514DEEEEEEEE");
    // A transceiver error text gives its code.
    std::array<byte_t, Qm30::kAnswerBytes> answer{};
    vemlasdknative::Buffer frame(1);
    frame.buf[0] = 0x26;
    EXPECT_EQ(reader->DllTxRx(frame, answer.data()), 2);
    EXPECT_EQ(answer[0], 0x87);
    EXPECT_EQ(reader->CheckAnswer(4, answer.data()), 0x21);
    // Nothing sent at all: no manager.
    answer.fill(0);
    EXPECT_EQ(reader->SendDllCmd(nullptr, identify, 3, answer.data(), Qm30::kAnswerBytes, Qm30::DLL_SELECT),
              0);
    EXPECT_EQ(answer[0], 0xFF);
    EXPECT_EQ(reader->CheckAnswer(2, answer.data()), 0x21);
}

struct AnswerCase {
    int command;
    std::vector<byte_t> reply;
    int expected;
};

TEST(Qm30CheckAnswer, ClassifiesInTheTableOrder) {
    const AnswerCase cases[] = {
        {2, {0x21}, 0x23},
        {4, {0x21}, 0x23},
        {0x55, {0x21}, 0x23},
        {1, {0x00}, 0},
        {2, {0x00}, 0},
        {7, {0x00}, 0},
        {8, {0x00}, 0},
        {9, {0x00}, 0},
        {1, {0x01}, 0x21},
        {2, {0x83}, 0x21},
        {7, {0x80}, 0x21},
        {8, {0xFF}, 0x21},
        {9, {0x55}, 0x21},
        {4, {0x80}, 0},
        {4, {0xA0}, 0},
        {4, {0xB0}, 0},
        {4, {0xC0}, 0},
        {4, {0x90, 4, 0x0A}, 0x29},
        {4, {0x90, 4, 0x05}, 0x30},
        {4, {0x90, 3, 0x0A}, 0},
        {4, {0x90, 0, 0}, 0},
        {4, {0x87}, 0x21},
        {4, {0x00}, 0x21},
        {4, {0xFF}, 0x21},
        {0x55, {0x55}, 0},
        {0x55, {0x00}, 0x21},
        {3, {0x00}, 0x21},
        {5, {0x80}, 0x21},
        {0, {0x00}, 0x21},
        {-1, {0x00}, 0x21},
    };
    Qm30 reader;
    for (const AnswerCase& c : cases) {
        std::vector<byte_t> reply = c.reply;
        reply.resize(4, 0);
        EXPECT_EQ(reader.CheckAnswer(static_cast<std::int8_t>(c.command), reply.data()), c.expected)
            << "command " << c.command << " reply " << hex(c.reply);
    }
    EXPECT_EQ(reader.CheckAnswer(2, nullptr), 0x21);
}

struct AlgoCase {
    std::vector<byte_t> algo;
    bool sw15693, sw14443a, sw14443b;
    int param15693;
};

TEST(Qm30InventoryAlgo, EachChoiceSetsItsField) {
    const AlgoCase cases[] = {
        {{0, 9}, true, false, false, 0x55},     {{1, 9}, false, false, false, 9},
        {{2, 9}, false, true, false, 0x55},     {{3, 9}, false, false, false, 0x55},
        {{4, 9}, false, false, true, 0x55},     {{5, 9}, false, false, false, 0x55},
        {{6, 9}, false, false, false, 0x55},    {{200, 9}, false, false, false, 0x55},
        {{1}, false, false, false, 0},          {{}, true, false, false, 0x55},
        {{1, 7, 7, 7}, false, false, false, 7},
    };
    for (const AlgoCase& c : cases) {
        SCOPED_TRACE(hex(c.algo));
        Qm30 reader;
        reader.inventory15693AlgoSw = reader.inventory14443aAlgoSw = reader.inventory14443bAlgoSw = false;
        reader.inventory15693AlgoParams = 0x55;
        CurrentReader current(&reader);
        natives::setAnticollisionAlgo(c.algo);
        EXPECT_EQ(reader.inventory15693AlgoSw, c.sw15693);
        EXPECT_EQ(reader.inventory14443aAlgoSw, c.sw14443a);
        EXPECT_EQ(reader.inventory14443bAlgoSw, c.sw14443b);
        EXPECT_EQ(reader.inventory15693AlgoParams, c.param15693);
        EXPECT_EQ(reader.inventory14443aAlgoParams, 0);
        EXPECT_EQ(reader.inventory14443bAlgoParams, 0);
    }
}

TEST_F(ReaderTest, WithTheFieldOffNoFrameLeavesTheReader) {
    connectDongle();
    vemlasdknative::Buffer tx(2);
    vemlasdknative::Buffer rx(500);
    auto* reader = vemlasdknative::handle;
    EXPECT_EQ(reader->SendReqA(&rx), Qm30::DEFAULT_ERROR);
    EXPECT_EQ(reader->SendWupA(&rx), Qm30::DEFAULT_ERROR);
    EXPECT_EQ(reader->SendHltA(&rx), Qm30::TRANSFER_OK); // HLTA's answer is never looked at
    EXPECT_EQ(reader->Transceive(tx, &rx), Qm30::DEFAULT_ERROR);
    EXPECT_EQ(reader->Transceive(tx, 0x28, &rx), Qm30::DEFAULT_ERROR);
    EXPECT_EQ(reader->Transceive14443a(0, tx, &rx), Qm30::DEFAULT_ERROR);
    byte_t uid[4] = {1, 2, 3, 4};
    EXPECT_EQ(reader->selectTag(uid, 4), 97);
    EXPECT_EQ(reader->deselectTag(uid), 97);
    std::vector<Qm30::Uid> uids;
    reader->Inventory(uids);
    EXPECT_TRUE(uids.empty());
    std::uint8_t bytePos = 9, bitPos = 9;
    EXPECT_EQ(reader->GetCollisionPos(&bytePos, &bitPos), 0);
    EXPECT_EQ(bytePos, 0);
    EXPECT_EQ(bitPos, 0);
    EXPECT_TRUE(written().empty());
    EXPECT_EQ(natives::sendReqA(), natives::kFailed);
    EXPECT_EQ(natives::antiCollision().size(), 0u);
}

} // namespace
} // namespace kestoreader_test

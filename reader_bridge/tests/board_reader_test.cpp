// The board readers over the stand-in board libraries: connection and
// versions, protocol set-up, frame exchange in each protocol, and the ISO
// 14443-A routines running on a board.
#include "board_fixture.h"
#include "iso14443a_pcd.h"
#include "kesto_reader.h"

#include <cstring>

namespace kestoreader_test {
namespace {

using kxx0standin::Board;
using vemlasdknative::kx10;
using vemlasdknative::kx20;
namespace natives = vemlasdknative::natives;

const Strings kSetUpA = {"_mosaInitialize@4",      "_mosaSetMode@16",   "_mosaSetBitrate@12",
                         "_mosaSetFDTListen@8",    "_mosaSetFDTPoll@8", "_mosaSetGT@8",
                         "_mosaFieldOnAndStarGT@4"};

// --- connection and versions ---

TEST_F(BoardTest, ConnectKeepsABoardThatAnswersAndReplacesOneThatIsGone) {
    auto reader = connected<kx10>();
    EXPECT_TRUE(reader->IsConnected());
    EXPECT_TRUE(reader->Connect());
    EXPECT_EQ(names(), Strings{"_checkConnection@4"});

    core.clearCalls();
    core.board(Board::Kx10).gone = true;
    core.board(Board::Kx10).present = false;
    EXPECT_FALSE(reader->Connect());
    EXPECT_EQ(names(), (Strings{"_checkConnection@4", "_ReleaseKX10@4", "_GetKX10@0"}));
    EXPECT_FALSE(reader->IsConnected());

    core.board(Board::Kx10) = {};
    EXPECT_TRUE(reader->Connect());
    core.clearCalls();
    reader->Disconnect();
    reader->Disconnect();
    EXPECT_EQ(names(), Strings{"_ReleaseKX10@4"});
    EXPECT_FALSE(reader->IsConnected());
}

TEST_F(BoardTest, FirstBoardAcceptsFirmwareOneOneAnyPatch) {
    auto reader = connected<kx10>();
    const std::pair<std::uint32_t, const char*> cases[] = {
        {0x010100, ""},
        {0x0101FF, ""},
        {0x010200, "KX10 firmware version mismatch: current=1.2.0, expected=1.1.x"},
        {0x020100, "KX10 firmware version mismatch: current=2.1.0, expected=1.1.x"},
        {0x000100, "KX10 firmware version mismatch: current=0.1.0, expected=1.1.x"},
    };
    for (const auto& [version, expected] : cases) {
        core.board(Board::Kx10).firmware = version;
        char text[vemlasdknative::kVersionTextSize] = "unchanged";
        EXPECT_EQ(reader->CheckVersion(text), *expected == '\0') << version;
        EXPECT_STREQ(text, expected);
    }
    core.board(Board::Kx10).firmware = 0x010100;
    script("_getFirmwareVersion@8", 5);
    char text[vemlasdknative::kVersionTextSize] = {};
    EXPECT_FALSE(reader->CheckVersion(text));
    EXPECT_STREQ(text, "KX10 firmware version mismatch: current=0.0.0, expected=1.1.x");

    reader->Disconnect();
    std::strcpy(text, "unchanged");
    EXPECT_FALSE(reader->CheckVersion(text));
    EXPECT_STREQ(text, "unchanged");
}

TEST_F(BoardTest, SecondBoardAcceptsEveryFirmware) {
    auto reader = connected<kx20>();
    core.board(Board::Kx20).firmware = 0x090807;
    char text[vemlasdknative::kVersionTextSize] = "unchanged";
    EXPECT_TRUE(reader->CheckVersion(text));
    EXPECT_STREQ(text, "");
    EXPECT_TRUE(core.calls().empty());
}

TEST_F(BoardTest, FirmwareTextAndTheLibrarysOwnVersion) {
    auto reader = connected<kx20>();
    core.board(Board::Kx20).firmware = 0x0A0B0C;
    // Texts at the library's limits come unterminated.
    core.board(Board::Kx20).libraryName = std::string(60, 'N');
    core.board(Board::Kx20).libraryVersion = "1234567890123";
    char text[vemlasdknative::kVersionTextSize] = {};
    EXPECT_TRUE(reader->GetFirmwareVersion(text));
    EXPECT_STREQ(text, "10.11.12");
    EXPECT_EQ(names(), (Strings{"_getFirmwareVersion@8", "_getVersion@8"}));

    script("_getFirmwareVersion@8", 5);
    std::strcpy(text, "unchanged");
    EXPECT_FALSE(reader->GetFirmwareVersion(text));
    EXPECT_STREQ(text, "");
    EXPECT_EQ(natives::getFirmwareVersion(), "10.11.12");
}

// --- protocol set-up ---

TEST_F(BoardTest, IsoAOnAFreshReaderInitialisesTheLayerAndSetsEveryStep) {
    auto reader = connected<kx10>();
    Bytes mode{2, 0, 0, 1};
    EXPECT_EQ(reader->SetMode(mode.data()), 0);
    EXPECT_EQ(names(), kSetUpA);
    EXPECT_EQ(args("_mosaSetMode@16"), (std::vector<std::int64_t>{1, 0, 0}));
    EXPECT_EQ(args("_mosaSetBitrate@12"), (std::vector<std::int64_t>{0, 0}));
    EXPECT_EQ(args("_mosaSetFDTListen@8"), std::vector<std::int64_t>{1172});
    EXPECT_EQ(args("_mosaSetFDTPoll@8"), std::vector<std::int64_t>{6780});
    EXPECT_EQ(args("_mosaSetGT@8"), std::vector<std::int64_t>{67800});
    EXPECT_TRUE(reader->mAppendCrc);
    EXPECT_EQ(reader->selected_protocol, RfReaderBase::ISO14443A);

    // Once set up, the layer is not initialised again; type B's own values.
    core.clearCalls();
    mode = {3, 1, 2, 0};
    EXPECT_EQ(reader->SetMode(mode.data()), 0);
    EXPECT_EQ(names(), Strings(kSetUpA.begin() + 1, kSetUpA.end()));
    EXPECT_EQ(args("_mosaSetMode@16"), (std::vector<std::int64_t>{3, 1, 2}));
    EXPECT_EQ(args("_mosaSetBitrate@12"), (std::vector<std::int64_t>{1, 2}));
    EXPECT_EQ(args("_mosaSetFDTListen@8"), std::vector<std::int64_t>{1024});
    EXPECT_FALSE(reader->mAppendCrc);
}

TEST_F(BoardTest, IsoVicinityUsesItsRatesAndIgnoresTheTimingStatuses) {
    auto reader = connected<kx10>();
    for (const char* step :
         {"_mosaSetFDTListen@8", "_mosaSetFDTPoll@8", "_mosaSetGT@8", "_mosaFieldOnAndStarGT@4"})
        script(step, 9);
    Bytes mode{1, 1, 0, 0};
    EXPECT_EQ(reader->SetMode(mode.data()), 0);
    EXPECT_EQ(names(), (Strings{"_mosaInitialize@4", "_mosaSetMode@16", "_mosaSetFDTListen@8",
                                "_mosaSetFDTPoll@8", "_mosaSetGT@8", "_mosaFieldOnAndStarGT@4"}));
    EXPECT_EQ(args("_mosaSetMode@16"), (std::vector<std::int64_t>{7, 236, 235}));
    EXPECT_EQ(args("_mosaSetFDTListen@8"), std::vector<std::int64_t>{4192});
    EXPECT_EQ(args("_mosaSetFDTPoll@8"), std::vector<std::int64_t>{4192});
    mode = {1, 0, 0, 0};
    EXPECT_EQ(reader->SetMode(mode.data()), 0);
    EXPECT_EQ(args("_mosaSetMode@16"), (std::vector<std::int64_t>{7, 236, 236}));

    // Without the CRC appended the caller's frame goes as it is (flags 1).
    Buffer rx = receiveBuffer();
    reader->Transceive(frame({0x26, 0x01, 0x00}), &rx);
    EXPECT_EQ(args("_mosaTransceiveBlockingTxRx@32"), (std::vector<std::int64_t>{3, 260, 1, 1356000}));
}

TEST_F(BoardTest, SecondBoardInitialisesTheVicinityLayerFirst) {
    auto reader = connected<kx20>();
    Bytes mode{1, 0, 0, 1};
    EXPECT_EQ(reader->SetMode(mode.data()), 0);
    EXPECT_EQ(names().at(1), "_iso15693Initialise@12");
    EXPECT_EQ(args("_iso15693Initialise@12"), (std::vector<std::int64_t>{256, 1}));
    // Its status stands in for the layer's initialisation.
    script("_iso15693Initialise@12", 7);
    EXPECT_EQ(reader->SetMode(mode.data()), 3);
    // The first board never asks for it.
    auto first = connected<kx10>();
    EXPECT_EQ(first->SetMode(mode.data()), 0);
    EXPECT_TRUE(core.calls("_iso15693Initialise@12").empty());
}

TEST_F(BoardTest, EachFailingStepGivesThreeOrSixOnceTheBoardIsGone) {
    for (const Bytes& mode : {Bytes{2, 0, 0, 0}, Bytes{3, 0, 0, 0}}) {
        for (std::size_t step = 0; step < kSetUpA.size(); ++step) {
            SCOPED_TRACE(kSetUpA[step]);
            core.reset();
            auto reader = connected<kx10>();
            Bytes bytes = mode;
            script(kSetUpA[step], 5);
            EXPECT_EQ(reader->SetMode(bytes.data()), 3);
            EXPECT_EQ(names().size(), step + 2);
            EXPECT_EQ(names().back(), "_checkConnection@4");
            // Once the board is gone every step fails, the first already.
            core.reset();
            reader = connected<kx10>();
            core.board(Board::Kx10).gone = true;
            EXPECT_EQ(reader->SetMode(bytes.data()), 6);
        }
    }
    core.reset();
    auto reader = connected<kx10>();
    Bytes unknown{4, 0, 0, 0};
    EXPECT_EQ(reader->SetMode(unknown.data()), 3);
}

TEST_F(BoardTest, RateBytesPastTheTableSetNothingUp) {
    for (const Bytes& mode : {Bytes{2, 7, 0, 0}, Bytes{2, 0, 7, 0}, Bytes{3, 7, 0, 0}, Bytes{3, 0, 255, 0}}) {
        auto reader = connected<kx10>();
        Bytes bytes = mode;
        EXPECT_EQ(reader->SetMode(bytes.data()), 3);
        EXPECT_EQ(names(), (Strings{"_mosaInitialize@4", "_checkConnection@4"}));
        core.clearCalls();
        core.board(Board::Kx10).gone = true;
        EXPECT_EQ(reader->SetMode(bytes.data()), 6);
        EXPECT_TRUE(core.calls("_mosaSetMode@16").empty());
        core.board(Board::Kx10).gone = false;
    }
}

TEST_F(BoardTest, FieldOffAnswersItsStatusAndTheNextSetUpInitialisesAgain) {
    auto reader = inMode<kx10>({2, 0, 0, 0});
    Bytes off{0, 0, 0, 0};
    script("_mosaFieldOff@4", 17);
    EXPECT_EQ(reader->SetMode(off.data()), 17);
    EXPECT_EQ(reader->SetMode(off.data()), 0);
    EXPECT_EQ(core.calls("_mosaInitialize@4").size(), 1u);
    // A failed initialisation does not matter to the field-off status.
    script("_mosaInitialize@4", 5);
    EXPECT_EQ(reader->SetMode(off.data()), 0);
    core.clearCalls();
    Bytes a{2, 0, 0, 0};
    EXPECT_EQ(reader->SetMode(a.data()), 0);
    EXPECT_EQ(names(), kSetUpA);
    // ... while it fails a protocol.
    EXPECT_EQ(reader->SetMode(off.data()), 0);
    script("_mosaInitialize@4", 5);
    EXPECT_EQ(reader->SetMode(a.data()), 3);
}

// --- frame exchange ---

TEST_F(BoardTest, EachProtocolTakesItsOperationAndTiming) {
    struct Case {
        Bytes mode;
        Bytes tx;
        std::string operation;
        std::vector<std::int64_t> args;
    };
    const Case cases[] = {
        {{1, 0, 0, 1}, {0x26, 0x01, 0x00}, "_mosaTransceiveBlockingTxRx@32", {3, 260, 0, 1356000}},
        {{3, 0, 0, 1}, {0x05, 0x00, 0x00}, "_mosaTransceiveBlockingTxRx@32", {3, 260, 0, 678000}},
        {{3, 0, 0, 0}, {0x05, 0x00, 0x00}, "_mosaTransceiveBlockingTxRx@32", {3, 260, 1, 678000}},
        {{2, 0, 0, 0}, {0x30, 0x04}, "_mosaTransceiveBlockingTxRx@32", {2, 260, 0, 1356000}},
        {{2, 0, 0, 0}, {0x26, 0x07}, "_mosaISO14443ATransceiveShortFrame@24", {0x26, 100, 1620}},
        {{2, 0, 0, 0}, {0x52}, "_mosaISO14443ATransceiveShortFrame@24", {0x52, 100, 1620}},
        {{2, 0, 0, 0}, {0x95, 0x20, 0x08}, "_mosaISO14443ATransceiveAnticollisionFrame@24", {2, 0, 1620}},
        {{2, 0, 0, 0}, {0x97, 0x20}, "_mosaISO14443ATransceiveAnticollisionFrame@24", {2, 0, 1620}},
    };
    for (const Case& c : cases) {
        auto reader = inMode<kx10>(c.mode);
        Buffer rx = receiveBuffer();
        reader->Transceive(frame(c.tx), 0x28, &rx);
        ASSERT_FALSE(names().empty());
        EXPECT_EQ(names().front(), c.operation);
        EXPECT_EQ(args(c.operation), c.args) << c.operation;
    }
    // The anticollision frame goes from a 7-byte buffer holding the frame.
    const auto sent = core.calls("_mosaISO14443ATransceiveAnticollisionFrame@24").back().bytes;
    EXPECT_EQ(sent, (Bytes{0x97, 0x20, 0, 0, 0, 0, 0}));
}

TEST_F(BoardTest, AnswersFromTheFieldInIsoA) {
    auto reader = inMode<kx10>({2, 0, 0, 0});
    auto& tag = placeTag({0x11, 0x22, 0x33, 0x44});
    Buffer rx = receiveBuffer();
    EXPECT_EQ(reader->Transceive(frame({0x26, 0x07}), &rx), RfReaderBase::TRANSFER_OK);
    EXPECT_EQ(received(rx), (Bytes{0x04, 0x00}));
    rx = receiveBuffer();
    EXPECT_EQ(reader->Transceive(frame({0x93, 0x20, 0x08}), &rx), RfReaderBase::TRANSFER_OK);
    EXPECT_EQ(received(rx), (Bytes{0x11, 0x22, 0x33, 0x44, 0x44}));
    rx = receiveBuffer();
    EXPECT_EQ(reader->Transceive(frame({0x93, 0x70, 0x11, 0x22, 0x33, 0x44, 0x44}), &rx),
              RfReaderBase::TRANSFER_OK);
    EXPECT_EQ(received(rx), Bytes{0x08});
    EXPECT_EQ(tag.state(), rfsim::Iso14443aTag::State::Active);
    EXPECT_EQ(natives::sendHltA(), Bytes{0});
    EXPECT_EQ(tag.state(), rfsim::Iso14443aTag::State::Halt);
}

TEST_F(BoardTest, StatusesOfATransfer) {
    struct Case {
        Bytes mode;
        int status;
        Bytes answer;
        RfReaderBase::ReaderStatus expected;
        Bytes rx;
    };
    const Case cases[] = {
        {{2, 0, 0, 0}, 0, {0xAA, 0xBB}, RfReaderBase::TRANSFER_OK, {0xAA, 0xBB}},
        {{2, 0, 0, 0}, 29, {0xAA, 0xBB}, RfReaderBase::COLLISION_DETECTED, {0x21}},
        {{2, 0, 0, 0}, 40, {0x0A}, RfReaderBase::TRANSFER_OK, {0x0A}},
        {{2, 0, 0, 0}, 40, {0x0A, 0x0B}, RfReaderBase::DEFAULT_ERROR, {}},
        {{1, 0, 0, 0}, 40, {0x0A}, RfReaderBase::DEFAULT_ERROR, {}},
        {{3, 0, 0, 0}, 4, {0xAA}, RfReaderBase::DEFAULT_ERROR, {}},
        {{1, 0, 0, 0}, 29, {}, RfReaderBase::COLLISION_DETECTED, {0x21}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.status);
        auto reader = inMode<kx10>(c.mode);
        script("_mosaTransceiveBlockingTxRx@32", c.status, c.answer);
        Buffer rx = receiveBuffer();
        EXPECT_EQ(reader->Transceive(frame({0x30, 0x04}), &rx), c.expected);
        EXPECT_EQ(received(rx), c.rx);
        EXPECT_EQ(core.calls("_checkConnection@4").size(),
                  c.expected == RfReaderBase::DEFAULT_ERROR ? 1u : 0u);
    }
    // A failure once the board is gone.
    auto reader = inMode<kx10>({2, 0, 0, 0});
    core.board(Board::Kx10).gone = true;
    Buffer rx = receiveBuffer();
    EXPECT_EQ(reader->Transceive(frame({0x30, 0x04}), &rx), RfReaderBase::DISCONNECTED);
    EXPECT_EQ(rx.length, 0);
}

TEST_F(BoardTest, ReportedLengthsBeyondTheRoomAreCut) {
    auto reader = inMode<kx10>({2, 0, 0, 0});
    const Bytes many(300, 0x5A);
    script("_mosaTransceiveBlockingTxRx@32", 0, many, 1000);
    Buffer rx = receiveBuffer(40);
    EXPECT_EQ(reader->Transceive(frame({0x30, 0x04}), &rx), RfReaderBase::TRANSFER_OK);
    EXPECT_EQ(args("_mosaTransceiveBlockingTxRx@32")[1], 40);
    EXPECT_EQ(rx.length, 40);

    script("_mosaISO14443ATransceiveShortFrame@24", 0, many, 8000);
    rx = receiveBuffer(260);
    EXPECT_EQ(reader->Transceive(frame({0x26, 0x07}), &rx), RfReaderBase::TRANSFER_OK);
    EXPECT_EQ(rx.length, 100);
    script("_mosaISO14443ATransceiveShortFrame@24", 0, many, 8000);
    rx = receiveBuffer(3);
    EXPECT_EQ(reader->Transceive(frame({0x26, 0x07}), &rx), RfReaderBase::TRANSFER_OK);
    EXPECT_EQ(args("_mosaISO14443ATransceiveShortFrame@24")[1], 3);
    EXPECT_EQ(rx.length, 3);

    script("_mosaISO14443ATransceiveAnticollisionFrame@24", 0, many, 800);
    rx = receiveBuffer(260);
    EXPECT_EQ(reader->Transceive(frame({0x93, 0x20, 0x08}), &rx), RfReaderBase::TRANSFER_OK);
    EXPECT_EQ(received(rx), Bytes(5, 0x5A));
    script("_mosaISO14443ATransceiveAnticollisionFrame@24", 0, many, 800);
    rx = receiveBuffer(2);
    EXPECT_EQ(reader->Transceive(frame({0x93, 0x20, 0x08}), &rx), RfReaderBase::TRANSFER_OK);
    EXPECT_EQ(rx.length, 2);

    script("_iso14443aHalt@12", 0, many, 500);
    rx = receiveBuffer(8);
    EXPECT_EQ(reader->SendHltA(&rx), RfReaderBase::TRANSFER_OK);
    EXPECT_EQ(rx.length, 8);
}

TEST_F(BoardTest, TransmitAndReceiveLimits) {
    auto reader = inMode<kx10>({2, 0, 0, 0});
    Buffer rx = receiveBuffer(300);
    EXPECT_EQ(reader->Transceive(frame(Bytes(269, 0x30)), &rx), RfReaderBase::DEFAULT_ERROR);
    EXPECT_TRUE(core.calls().empty());
    reader->Transceive(frame(Bytes(268, 0x30)), &rx);
    EXPECT_EQ(args("_mosaTransceiveBlockingTxRx@32"), (std::vector<std::int64_t>{268, 260, 0, 1356000}));

    // Nothing to send: the failure path.
    core.clearCalls();
    rx = receiveBuffer();
    EXPECT_EQ(reader->Transceive(Buffer(), &rx), RfReaderBase::DEFAULT_ERROR);
    EXPECT_EQ(rx.length, 0);
    EXPECT_EQ(names(), Strings{"_checkConnection@4"});
    core.board(Board::Kx10).gone = true;
    rx = receiveBuffer();
    EXPECT_EQ(reader->Transceive(Buffer(), &rx), RfReaderBase::DISCONNECTED);
}

TEST_F(BoardTest, NoBoardCallWithTheFieldOffOrAnotherProtocol) {
    auto reader = connected<kx10>();
    Buffer rx = receiveBuffer();
    EXPECT_EQ(reader->Transceive(frame({0x26, 0x07}), &rx), RfReaderBase::DEFAULT_ERROR);
    Bytes unknown{9, 0, 0, 0};
    reader->SetMode(unknown.data());
    core.clearCalls();
    EXPECT_EQ(reader->Transceive(frame({0x26, 0x07}), &rx), RfReaderBase::DEFAULT_ERROR);
    EXPECT_TRUE(core.calls().empty());
}

TEST_F(BoardTest, EndOfFrameAndHaltAndTheRawExchange) {
    auto reader = inMode<kx10>({1, 0, 0, 0});
    script("_mosaISO15693TransceiveAnticollisionEOF@16", 0, {1, 2, 3});
    Buffer rx = receiveBuffer();
    EXPECT_EQ(reader->SendEof(&rx), RfReaderBase::TRANSFER_OK);
    EXPECT_EQ(args("_mosaISO15693TransceiveAnticollisionEOF@16"), std::vector<std::int64_t>{255});
    EXPECT_EQ(received(rx), (Bytes{1, 2, 3}));
    script("_mosaISO15693TransceiveAnticollisionEOF@16", 4);
    EXPECT_EQ(reader->SendEof(&rx), RfReaderBase::DEFAULT_ERROR);

    rx = receiveBuffer(50);
    EXPECT_EQ(reader->SendHltA(&rx), RfReaderBase::TRANSFER_OK);
    EXPECT_EQ(args("_iso14443aHalt@12"), std::vector<std::int64_t>{50});
    script("_iso14443aHalt@12", 4);
    EXPECT_EQ(reader->SendHltA(&rx), RfReaderBase::DEFAULT_ERROR);

    script("_mosaTransceiveBlockingTxRx@32", 0, {9, 8, 7});
    byte_t out[260] = {};
    EXPECT_EQ(reader->DllTxRx(frame({1, 2}), out), 3);
    EXPECT_EQ(Bytes(out, out + 3), (Bytes{9, 8, 7}));
    script("_mosaTransceiveBlockingTxRx@32", 4);
    EXPECT_EQ(reader->DllTxRx(frame({1, 2}), out), 0);
    EXPECT_EQ(reader->DllTxRx(frame({1, 2}), nullptr), 0);
    EXPECT_EQ(reader->DllKestoCmd(frame({1}), out), 0);
    EXPECT_EQ(reader->CheckAnswer(1, out), 0);
    std::uint8_t byte = 7, bit = 7;
    EXPECT_EQ(reader->GetCollisionPos(&byte, &bit), 0);
    EXPECT_EQ(byte, 7);
    EXPECT_EQ(bit, 7);
}

// --- the ISO 14443-A routines on a board ---

TEST_F(BoardTest, RequestsAndSelectThroughTheRoutines) {
    auto reader = inMode<kx10>({2, 0, 0, 0});
    placeTag({0x04, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66});
    // The answer lands in the receive buffer, whose length stays its capacity.
    Bytes answer = natives::sendReqA();
    ASSERT_EQ(answer.size(), 261u);
    EXPECT_EQ(Bytes(answer.begin(), answer.begin() + 3), (Bytes{0, 0x44, 0x00}));
    EXPECT_EQ(args("_mosaISO14443ATransceiveShortFrame@24"), (std::vector<std::int64_t>{0x26, 100, 1620}));
    // The select goes through; the tag has no ATS, so RATS fails it.
    EXPECT_EQ(natives::selectTag14443A({0x04, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66}), 97);
    EXPECT_EQ(core.calls("_mosaTransceiveBlockingTxRx@32").size(), 4u);
    answer = natives::sendWupA();
    ASSERT_EQ(answer.size(), 261u);
    EXPECT_EQ(Bytes(answer.begin(), answer.begin() + 3), (Bytes{0, 0x44, 0x00}));
    EXPECT_EQ(args("_mosaISO14443ATransceiveShortFrame@24"), (std::vector<std::int64_t>{0x52, 100, 1620}));
}

TEST_F(BoardTest, SelectOfATagThatAnswersRats) {
    auto reader = inMode<kx10>({2, 0, 0, 0});
    rfsim::Iso14443aTag::Config config;
    config.uid = {0x04, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66};
    config.sak = 0x20;
    auto& tag = core.field().add(std::make_unique<rfsim::Iso14443aTag>(config));
    EXPECT_EQ(natives::selectTag14443A({0x04, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66}), 0);
    EXPECT_EQ(tag.state(), rfsim::Iso14443aTag::State::Protocol);
    EXPECT_EQ(natives::deselectTag14443A({}), 0);
    EXPECT_EQ(tag.state(), rfsim::Iso14443aTag::State::Halt);
    EXPECT_EQ(natives::sendReqA(), Bytes{3});
}

TEST_F(BoardTest, CollidingTagsFailTheBitOrientedAnticollision) {
    auto reader = inMode<kx10>({2, 0, 0, 0});
    placeTag({0x11, 0x22, 0x33, 0x44});
    placeTag({0x11, 0x2A, 0x33, 0x44});
    std::vector<vemlasdknative::Iso14443Tag> tags;
    vemlasdknative::Iso14443ACommands commands;
    EXPECT_EQ(commands.StartAnticollision(tags), 97);
    EXPECT_TRUE(tags.empty());
}

} // namespace
} // namespace kestoreader_test

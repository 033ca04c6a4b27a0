// The board libraries through their operations: bound by decorated name from
// the simulated builds, against the telegram-level board model.
#include "board_library_fixture.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <numeric>

namespace board_link::test {
namespace {

using boardsim::CommandReply;
using boardsim::TelegramFault;

INSTANTIATE_TEST_SUITE_P(Libraries, BoardLibraryTest, ::testing::Values(kKx10Library, kKx20Library),
                         [](const auto& info) { return std::string(info.param.name); });

// --- binding ---

TEST(Loader, MapsDecoratedAndModuleNames) {
    using vkplatform::kernel::moduleFileName;
    using vkplatform::kernel::procedureSymbol;
    struct Case {
        const char* in;
        const char* out;
    };
    for (const Case& c : {Case{"_a@0", "a"}, Case{"_a@12", "a"}, Case{"_mosaSetGT@8", "mosaSetGT"},
                          Case{"a@4", "a@4"}, Case{"_a@", "_a@"}, Case{"_a@x", "_a@x"},
                          Case{"_1a@4", "_1a@4"}, Case{"plain", "plain"}, Case{"_@4", "_@4"}})
        EXPECT_EQ(procedureSymbol(c.in), c.out) << c.in;
    for (const Case& c :
         {Case{"KX10EVALOComm.dll", "libKX10EVALOComm.so"}, Case{"dir/x/A.DLL", "dir/x/libA.so"},
          Case{"libz.so", "libz.so"}, Case{".dll", "lib.so"}, Case{"dll", "dll"}})
        EXPECT_EQ(moduleFileName(c.in), c.out) << c.in;
}

class BindingTest : public LibraryProcessTest, public ::testing::WithParamInterface<Library> {};
INSTANTIATE_TEST_SUITE_P(Libraries, BindingTest, ::testing::Values(kKx10Library, kKx20Library),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_P(BindingTest, EveryDecoratedNameResolvesOnlyWhereItBelongs) {
    load(GetParam());
    for (const kxx0::DecoratedName& name : kxx0::kDecoratedNames) {
        const bool expected = !name.firstBoardOnly || GetParam().firstBoard;
        EXPECT_EQ(GetProcAddress(module, name.decorated) != nullptr, expected) << name.decorated;
    }
    // A name only a dependency defines: dlsym finds it, the loader does not.
    EXPECT_NE(::dlsym(module, "hid_open"), nullptr);
    EXPECT_EQ(GetProcAddress(module, "hid_open"), nullptr);
    EXPECT_EQ(GetProcAddress(module, "_noSuchOperation@4"), nullptr);
    EXPECT_EQ(LoadLibraryA((std::string(BOARD_LINK_SIM_DIR) + "/NoSuchBoard.dll").c_str()), nullptr);
}

// --- lifetime ---

TEST_P(BindingTest, NoBoardOrAnotherPingAnswerGivesNoHandle) {
    load(GetParam());
    EXPECT_EQ(api.GetKX10(), nullptr);
    auto board = std::make_shared<boardsim::Board>();
    boardsim::plug(board, GetParam().product);
    for (const boardsim::Fault& fault : {boardsim::Fault(boardsim::FaultKind::PingAnswer, 0x55),
                                         boardsim::Fault(boardsim::FaultKind::NoPingAnswer)}) {
        board->injectFault(fault);
        EXPECT_EQ(api.GetKX10(), nullptr);
        EXPECT_EQ(hidsim::counters().liveHandles, 0);
    }
    api.ReleaseKX10(nullptr);
}

TEST_P(BoardLibraryTest, HandleIsExclusiveAndReleaseClosesTheDevice) {
    EXPECT_EQ(api.GetKX10(), nullptr);
    EXPECT_EQ(hidsim::counters().liveHandles, 1);
    api.ReleaseKX10(handle);
    handle = nullptr;
    EXPECT_EQ(hidsim::counters().liveHandles, 0);
    // The board information is read twice: by the connect and once more.
    model->clearRecord();
    handle = api.GetKX10();
    ASSERT_NE(handle, nullptr);
    int infos = 0;
    for (const boardsim::Telegram& t : model->telegrams())
        infos += t.pid == boardsim::kPidFirmwareInfo ? 1 : 0;
    EXPECT_EQ(infos, 2);
}

// --- telegrams ---

struct CommandRow {
    const char* name;
    std::function<KXx0ComError(BoardApi&, KXx0HANDLE)> call;
    std::uint8_t command; // 0: the library's bit-rate command
    Bytes parameters;
    std::size_t announced;
    int readTimeout;
};

const std::vector<CommandRow>& commandRows() {
    static std::uint8_t rx[300];
    static std::uint16_t rcvLen;
    static std::uint8_t frame[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    // The frame 1..9 sent with `bytes` and `bits`.
    static auto anticollision = [](BoardApi& a, KXx0HANDLE h, std::uint8_t bytes, std::uint8_t bits,
                                   std::uint32_t fwt) {
        static std::uint8_t bytesToSend;
        static std::uint8_t bitsToSend;
        bytesToSend = bytes;
        bitsToSend = bits;
        std::iota(frame, frame + 9, 1);
        return a.mosaISO14443ATransceiveAnticollisionFrame(h, frame, &bytesToSend, &bitsToSend, &rcvLen, fwt);
    };
    static FelicaPollEntry list[3];
    static std::uint8_t devices, collisions;
    static double amplitude, phase;
    static std::uint8_t first, second;
    static int answer;
    static char raw[8];
    static std::size_t rawLen;
    static std::uint32_t value;
    static const std::uint8_t tx[] = {0xA1, 0xA2, 0xA3};
    static const std::vector<CommandRow> rows = {
        {"mosaInitialize", [](BoardApi& a, KXx0HANDLE h) { return a.mosaInitialize(h); }, 0x40, {}, 0, 1000},
        {"mosaDeinitialize",
         [](BoardApi& a, KXx0HANDLE h) { return a.mosaDeinitialize(h); },
         0x42,
         {},
         0,
         1000},
        {"mosaFieldOnAndStarGT",
         [](BoardApi& a, KXx0HANDLE h) { return a.mosaFieldOnAndStarGT(h); },
         0x22,
         {1},
         0,
         1000},
        {"mosaFieldOff", [](BoardApi& a, KXx0HANDLE h) { return a.mosaFieldOff(h); }, 0x22, {0}, 0, 1000},
        {"antennaEnableRFField on",
         [](BoardApi& a, KXx0HANDLE h) { return a.antennaEnableRFField(h, true); },
         0x22,
         {1},
         0,
         1000},
        {"antennaEnableRFField off",
         [](BoardApi& a, KXx0HANDLE h) { return a.antennaEnableRFField(h, false); },
         0x22,
         {0},
         0,
         1000},
        {"mosaSetMode",
         [](BoardApi& a, KXx0HANDLE h) { return a.mosaSetMode(h, 6, 1, 2); },
         0x43,
         {6, 1, 2},
         0,
         1000},
        {"mosaSetBitrate",
         [](BoardApi& a, KXx0HANDLE h) { return a.mosaSetBitrate(h, 2, 2); },
         0,
         {2, 2},
         1,
         1000},
        {"setCarrierBitrate",
         [](BoardApi& a, KXx0HANDLE h) { return a.setCarrierBitrate(h, 0, 3); },
         0,
         {0, 3},
         1,
         1000},
        {"mosaSetFDTPoll",
         [](BoardApi& a, KXx0HANDLE h) { return a.mosaSetFDTPoll(h, 0x01020304); },
         0x47,
         {1, 2, 3, 4},
         0,
         1000},
        {"mosaSetFDTListen",
         [](BoardApi& a, KXx0HANDLE h) { return a.mosaSetFDTListen(h, MOSA_FDT_LISTEN_NFCA_POLLER); },
         0x49,
         {0, 0, 0x04, 0x54},
         0,
         1000},
        {"mosaSetGT",
         [](BoardApi& a, KXx0HANDLE h) { return a.mosaSetGT(h, MOSA_GT_NFCA); },
         0x4B,
         {0, 0x01, 0x08, 0xD8},
         0,
         1000},
        {"mosaStartTransceive 12 bits",
         [](BoardApi& a, KXx0HANDLE h) { return a.mosaStartTransceive(h, tx, 12, 0x11223344, 0x55667788); },
         0x4F,
         {0x00, 0x10, 0xA1, 0xA2, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88},
         0,
         1000},
        {"mosaStartTransceive 0 bits",
         [](BoardApi& a, KXx0HANDLE h) { return a.mosaStartTransceive(h, nullptr, 0, 1, 2); },
         0x4F,
         {0, 0, 0, 0, 0, 1, 0, 0, 0, 2},
         0,
         1000},
        {"mosaGetTransceiveStatus",
         [](BoardApi& a, KXx0HANDLE h) { return a.mosaGetTransceiveStatus(h, rx, 0x0120, &rcvLen); },
         0x50,
         {},
         0x122,
         1000},
        {"mosaTransceiveBlockingTx",
         [](BoardApi& a, KXx0HANDLE h) { return a.mosaTransceiveBlockingTx(h, tx, 3, 0x01, 0x02); },
         0x57,
         {0, 3, 0xA1, 0xA2, 0xA3, 0, 0, 0, 1, 0, 0, 0, 2},
         0,
         1000},
        {"mosaTransceiveBlockingRx",
         [](BoardApi& a, KXx0HANDLE h) { return a.mosaTransceiveBlockingRx(h, rx, 258, &rcvLen); },
         0x58,
         {},
         260,
         10000},
        {"mosaTransceiveBlockingTxRx small fwt",
         [](BoardApi& a, KXx0HANDLE h) {
             return a.mosaTransceiveBlockingTxRx(h, tx, 2, rx, 16, &rcvLen, 4, 67800);
         },
         0x59,
         {0, 2, 0xA1, 0xA2, 0, 0, 0, 4, 0, 0x01, 0x08, 0xD8, 0, 16},
         18,
         1005},
        {"mosaTransceiveBlockingTxRx large fwt",
         [](BoardApi& a, KXx0HANDLE h) {
             return a.mosaTransceiveBlockingTxRx(h, tx, 0, rx, 300, &rcvLen, 0, 0xFFFFFFFFu);
         },
         0x59,
         {0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0x01, 0x2C},
         302,
         317738},
        {"mosaTransceiveBlockingTxRx 1356000",
         [](BoardApi& a, KXx0HANDLE h) {
             return a.mosaTransceiveBlockingTxRx(h, tx, 1, rx, 1, &rcvLen, 0, 1356000);
         },
         0x59,
         {0, 1, 0xA1, 0, 0, 0, 0, 0, 0x14, 0xB0, 0xE0, 0, 1},
         3,
         1100},
        {"mosaISO14443ATransceiveShortFrame",
         [](BoardApi& a, KXx0HANDLE h) {
             return a.mosaISO14443ATransceiveShortFrame(h, 0x26, rx, 255, &rcvLen, 0x0A0B0C0D);
         },
         0x51,
         {0x26, 0x0A, 0x0B, 0x0C, 0x0D},
         257,
         1000},
        {"mosaISO14443ATransceiveAnticollisionFrame",
         [](BoardApi& a, KXx0HANDLE h) { return anticollision(a, h, 2, 0, 9); },
         0x52,
         {2, 0, 0, 0, 0, 9, 1, 2, 3, 4, 5, 6, 7},
         50,
         1000},
        {"mosaISO14443ATransceiveAnticollisionFrame with bits",
         [](BoardApi& a, KXx0HANDLE h) { return anticollision(a, h, 3, 4, 0); },
         0x52,
         {3, 4, 0, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9},
         50,
         1000},
        {"mosaISO15693TransceiveAnticollisionFrame",
         [](BoardApi& a, KXx0HANDLE h) {
             std::iota(frame, frame + 9, 1);
             return a.mosaISO15693TransceiveAnticollisionFrame(h, frame, 2, rx, 200, &rcvLen);
         },
         0x54,
         {2, 1, 2},
         202,
         1000},
        {"mosaISO15693TransceiveAnticollisionEOF",
         [](BoardApi& a, KXx0HANDLE h) {
             return a.mosaISO15693TransceiveAnticollisionEOF(h, rx, 10, &rcvLen);
         },
         0x55,
         {},
         12,
         1000},
        {"mosaISO15693TransceiveEOF",
         [](BoardApi& a, KXx0HANDLE h) { return a.mosaISO15693TransceiveEOF(h, rx, 0, &rcvLen); },
         0x56,
         {},
         2,
         1000},
        {"mosaFeliCaPoll",
         [](BoardApi& a, KXx0HANDLE h) {
             return a.mosaFeliCaPoll(h, 4, 0x12FC, 1, list, 3, &devices, &collisions);
         },
         0x53,
         {4, 0x12, 0xFC, 1, 3},
         64,
         1000},
        {"antennaGetVector",
         [](BoardApi& a, KXx0HANDLE h) { return a.antennaGetVector(h, &amplitude, &phase); },
         0x20,
         {},
         2,
         1000},
        {"antennaRecalibrate",
         [](BoardApi& a, KXx0HANDLE h) { return a.antennaRecalibrate(h); },
         0x15,
         {0xD8},
         1,
         1000},
        {"pollInterrupt",
         [](BoardApi& a, KXx0HANDLE h) { return a.pollInterrupt(h, 0x81, &first, &second); },
         0x21,
         {0x81},
         2,
         1000},
        {"directCommand",
         [](BoardApi& a, KXx0HANDLE h) { return a.directCommand(h, 0x1C2, &answer); },
         0x15,
         {0xC2},
         4,
         1000},
        {"txrxBytes",
         [](BoardApi& a, KXx0HANDLE h) {
             rawLen = 0x10000 + 3;
             static char big[0x10003];
             return a.txrxBytes(h, "\x01\x02", 2, big, &rawLen, &value);
         },
         0x18,
         {1, 2},
         7,
         1000},
        {"txrxBytes small",
         [](BoardApi& a, KXx0HANDLE h) {
             rawLen = sizeof raw;
             return a.txrxBytes(h, nullptr, 0, raw, &rawLen, &value);
         },
         0x18,
         {},
         12,
         1000},
        {"checkConnection",
         [](BoardApi& a, KXx0HANDLE h) { return a.checkConnection(h); },
         0x23,
         {},
         3,
         1000},
    };
    return rows;
}

TEST_P(BoardLibraryTest, EveryCommandSendsItsTelegram) {
    for (const CommandRow& row : commandRows()) {
        SCOPED_TRACE(row.name);
        model->clearRecord();
        hidsim::clearCalls();
        row.call(api, handle);
        const auto sent = commands();
        ASSERT_EQ(sent.size(), 1u);
        Bytes payload{row.command != 0 ? row.command : GetParam().bitrateCommand};
        payload.insert(payload.end(), row.parameters.begin(), row.parameters.end());
        EXPECT_EQ(sent[0].payload, payload);
        EXPECT_EQ(sent[0].answered, row.announced);
        const std::vector<int> timeouts = readTimeouts();
        ASSERT_FALSE(timeouts.empty());
        EXPECT_TRUE(std::all_of(timeouts.begin(), timeouts.end(), [&](int t) {
            return t == row.readTimeout;
        })) << timeouts.front();
        // The next operation reads at 1000 ms again.
        hidsim::clearCalls();
        api.mosaInitialize(handle);
        EXPECT_EQ(readTimeouts(), std::vector<int>(readTimeouts().size(), 1000));
    }
}

TEST_P(BoardLibraryTest, RaisedTimeOutIsRestoredAfterAFailedExchange) {
    std::uint8_t rx[4];
    std::uint16_t rcvLen = 0;
    failNextAnswer();
    EXPECT_EQ(api.mosaTransceiveBlockingRx(handle, rx, sizeof rx, &rcvLen), 1);
    EXPECT_EQ(readTimeouts(), std::vector<int>{10000});
    ASSERT_LT(api.checkConnection(handle), 0);
    hidsim::clearCalls();
    EXPECT_EQ(api.mosaInitialize(handle), 0);
    EXPECT_EQ(readTimeouts(), std::vector<int>(readTimeouts().size(), 1000));
}

// --- answers ---

// Answers the board command `command` with `status` and `payload`.
void reply(boardsim::TelegramBoard& model, std::uint8_t command, Bytes payload, std::uint8_t status = 0) {
    model.setCommand(command, CommandReply{status, std::move(payload)});
}

// Receive frames [length BE16][data] into exact heap blocks: fewer data bytes
// than the capacity, as many, more.
TEST_P(BoardLibraryTest, ReceivedFramesCopyWhatCameUpToTheCapacity) {
    struct Case {
        const char* name;
        std::uint8_t command;
        std::function<KXx0ComError(BoardApi&, KXx0HANDLE, std::uint8_t*, std::size_t, std::uint16_t*)> call;
        std::size_t capacity;  // the argument
        std::size_t copyLimit; // bytes the buffer holds
    };
    const std::vector<Case> cases = {
        {"blocking rx", 0x58,
         [](BoardApi& a, KXx0HANDLE h, std::uint8_t* rx, std::size_t cap, std::uint16_t* n) {
             return a.mosaTransceiveBlockingRx(h, rx, static_cast<std::uint16_t>(cap), n);
         },
         5, 5},
        {"blocking txrx", 0x59,
         [](BoardApi& a, KXx0HANDLE h, std::uint8_t* rx, std::size_t cap, std::uint16_t* n) {
             return a.mosaTransceiveBlockingTxRx(h, nullptr, 0, rx, static_cast<std::uint16_t>(cap), n, 0, 0);
         },
         5, 5},
        {"transceive status (bits)", 0x50,
         [](BoardApi& a, KXx0HANDLE h, std::uint8_t* rx, std::size_t cap, std::uint16_t* n) {
             return a.mosaGetTransceiveStatus(h, rx, static_cast<std::uint16_t>(cap), n);
         },
         33, 5},
        {"15693 anticollision frame", 0x54,
         [](BoardApi& a, KXx0HANDLE h, std::uint8_t* rx, std::size_t cap, std::uint16_t* n) {
             return a.mosaISO15693TransceiveAnticollisionFrame(h, nullptr, 0, rx,
                                                               static_cast<std::uint8_t>(cap), n);
         },
         5, 5},
        {"15693 anticollision EOF", 0x55,
         [](BoardApi& a, KXx0HANDLE h, std::uint8_t* rx, std::size_t cap, std::uint16_t* n) {
             return a.mosaISO15693TransceiveAnticollisionEOF(h, rx, static_cast<std::uint8_t>(cap), n);
         },
         5, 5},
        {"15693 EOF", 0x56,
         [](BoardApi& a, KXx0HANDLE h, std::uint8_t* rx, std::size_t cap, std::uint16_t* n) {
             return a.mosaISO15693TransceiveEOF(h, rx, static_cast<std::uint8_t>(cap), n);
         },
         5, 5},
    };
    for (const Case& c : cases) {
        for (std::size_t data : {c.copyLimit - 2, c.copyLimit, c.copyLimit + 3}) {
            SCOPED_TRACE(std::string(c.name) + " with " + std::to_string(data) + " data bytes");
            Bytes answer{0x01, 0x2C}; // the board's length, larger than any capacity
            for (std::size_t i = 0; i < data; ++i)
                answer.push_back(static_cast<std::uint8_t>(0xB0 + i));
            reply(*model, c.command, answer, 0x1D);
            auto rx = std::make_unique<std::uint8_t[]>(c.copyLimit);
            std::memset(rx.get(), 0xEE, c.copyLimit);
            std::uint16_t rcvLen = 0;
            EXPECT_EQ(c.call(api, handle, rx.get(), c.capacity, &rcvLen), 0x1D);
            EXPECT_EQ(rcvLen, 0x012C);
            const std::size_t copied = std::min(data, c.copyLimit);
            for (std::size_t i = 0; i < c.copyLimit; ++i)
                EXPECT_EQ(rx[i], i < copied ? 0xB0 + i : 0xEE) << i;
        }
    }
}

TEST_P(BoardLibraryTest, ShortFrameKeepsAtMostTheBoardsLengthThenTheCapacity) {
    struct Case {
        std::uint16_t boardLength;
        std::size_t data;
        std::uint8_t capacity;
        std::size_t copied;
    };
    for (const Case& c : {Case{2, 6, 4, 2}, Case{9, 6, 4, 4}, Case{9, 3, 4, 3}, Case{0, 3, 4, 0}}) {
        Bytes answer{static_cast<std::uint8_t>(c.boardLength >> 8), static_cast<std::uint8_t>(c.boardLength)};
        for (std::size_t i = 0; i < c.data; ++i)
            answer.push_back(static_cast<std::uint8_t>(0xC0 + i));
        reply(*model, 0x51, answer);
        auto rx = std::make_unique<std::uint8_t[]>(c.capacity);
        std::memset(rx.get(), 0xEE, c.capacity);
        std::uint16_t rcvLen = 0;
        EXPECT_EQ(api.mosaISO14443ATransceiveShortFrame(handle, 0x52, rx.get(), c.capacity, &rcvLen, 0), 0);
        EXPECT_EQ(rcvLen, c.boardLength);
        for (std::size_t i = 0; i < c.capacity; ++i)
            EXPECT_EQ(rx[i], i < c.copied ? 0xC0 + i : 0xEE) << c.boardLength << "/" << i;
    }
}

TEST_P(BoardLibraryTest, AnticollisionFrameWritesBackAtMostWhatItSent) {
    struct Case {
        std::size_t frameBytes; // answer frame bytes after the 4-byte head
        std::size_t written;
    };
    for (const Case& c : {Case{3, 3}, Case{7, 7}, Case{12, 7}}) {
        Bytes answer{5, 3, 0x00, 0x23};
        for (std::size_t i = 0; i < c.frameBytes; ++i)
            answer.push_back(static_cast<std::uint8_t>(0xD0 + i));
        reply(*model, 0x52, answer);
        auto frame = std::make_unique<std::uint8_t[]>(7);
        for (std::uint8_t i = 0; i < 7; ++i)
            frame[i] = i;
        std::uint8_t bytes = 2;
        std::uint8_t bits = 0;
        std::uint16_t rcvLen = 0;
        EXPECT_EQ(
            api.mosaISO14443ATransceiveAnticollisionFrame(handle, frame.get(), &bytes, &bits, &rcvLen, 0), 0);
        EXPECT_EQ(bytes, 5);
        EXPECT_EQ(bits, 3);
        EXPECT_EQ(rcvLen, 0x23);
        for (std::size_t i = 0; i < 7; ++i)
            EXPECT_EQ(frame[i], i < c.written ? 0xD0 + i : i) << i;
    }
    // An empty answer leaves the counts and the frame as they were.
    reply(*model, 0x52, {}, 4);
    std::uint8_t frame[7] = {1, 2, 3, 4, 5, 6, 7};
    std::uint8_t bytes = 2;
    std::uint8_t bits = 0;
    std::uint16_t rcvLen = 99;
    EXPECT_EQ(api.mosaISO14443ATransceiveAnticollisionFrame(handle, frame, &bytes, &bits, &rcvLen, 0), 4);
    EXPECT_EQ(bytes, 2);
    EXPECT_EQ(bits, 0);
    EXPECT_EQ(rcvLen, 0);
    EXPECT_EQ(frame[0], 1);
}

// The frame carries no size: what the export reads and writes is bounded by
// the longest anticollision frame, 7 bytes (the last possibly partial), and
// five more. Longer counts are refused before anything is sent.
TEST_P(BoardLibraryTest, AnticollisionFrameIsBoundToTheLongestFrame) {
    struct Case {
        std::uint8_t bytes;
        std::uint8_t bits;
        int result;
        std::size_t sent; // frame bytes that went out
    };
    for (const Case& c : {Case{7, 0, 0, 12}, Case{6, 7, 0, 12}, Case{7, 1, 7, 0}, Case{2, 8, 7, 0},
                          Case{255, 0, 7, 0}, Case{255, 255, 7, 0}}) {
        SCOPED_TRACE(std::to_string(c.bytes) + " bytes and " + std::to_string(c.bits) + " bits");
        model->clearRecord();
        Bytes answer{5, 3, 0x00, 0x23};
        answer.resize(4 + 20, 0xD0);
        reply(*model, 0x52, answer);
        constexpr std::size_t kLongest = 12;
        auto frame = std::make_unique<std::uint8_t[]>(kLongest);
        std::memset(frame.get(), 0xEE, kLongest);
        std::uint8_t bytes = c.bytes;
        std::uint8_t bits = c.bits;
        std::uint16_t rcvLen = 0x5555;
        EXPECT_EQ(
            api.mosaISO14443ATransceiveAnticollisionFrame(handle, frame.get(), &bytes, &bits, &rcvLen, 0),
            c.result);
        const auto sent = commands();
        if (c.result != 0) {
            EXPECT_TRUE(sent.empty());
            EXPECT_EQ(bytes, c.bytes);
            EXPECT_EQ(rcvLen, 0x5555);
            EXPECT_EQ(frame[0], 0xEE);
            continue;
        }
        ASSERT_EQ(sent.size(), 1u);
        EXPECT_EQ(sent[0].payload.size(), 7 + c.sent);
        for (std::size_t i = 0; i < kLongest; ++i)
            EXPECT_EQ(frame[i], i < c.sent ? 0xD0 : 0xEE) << i;
    }
}

TEST_P(BoardLibraryTest, FeliCaPollCopiesTheEntriesTheAnswerHolds) {
    struct Case {
        const char* name;
        std::uint8_t listSize;
        std::uint8_t reported;
        std::size_t entryBytes; // bytes after the two counts
        std::uint8_t status;
        std::size_t copiedBytes;
    };
    const Case cases[] = {
        {"five reported, room for two", 2, 5, 100, 0, 40},
        {"two reported, room for three", 3, 2, 40, 0, 40},
        {"five reported, one and a half came", 3, 5, 30, 0, 30},
        {"counts only, with a status", 2, 3, 0, 0x16, 0},
        {"empty answer", 2, 0, 0, 0x16, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes answer;
        if (c.reported != 0 || c.entryBytes != 0) answer = {c.reported, 7};
        for (std::size_t i = 0; i < c.entryBytes; ++i)
            answer.push_back(static_cast<std::uint8_t>(i + 1));
        reply(*model, 0x53, answer, c.status);
        auto list = std::make_unique<FelicaPollEntry[]>(c.listSize);
        std::memset(list.get(), 0xEE, c.listSize * sizeof(FelicaPollEntry));
        std::uint8_t devices = 99;
        std::uint8_t collisions = 99;
        EXPECT_EQ(api.mosaFeliCaPoll(handle, 1, 0xFFFF, 0, list.get(), c.listSize, &devices, &collisions),
                  c.status);
        EXPECT_EQ(devices, c.reported);
        EXPECT_EQ(collisions, answer.empty() ? 0 : 7);
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(list.get());
        for (std::size_t i = 0; i < c.listSize * sizeof(FelicaPollEntry); ++i)
            EXPECT_EQ(bytes[i], i < c.copiedBytes ? i + 1 : 0xEE) << i;
    }
}

TEST_P(BoardLibraryTest, AntennaVectorFromTwoBytes) {
    struct Case {
        Bytes answer;
        std::uint8_t status;
        int result;
        double amplitude;
        double phase;
    };
    const Case cases[] = {
        {{0x64, 0x00}, 0, 0, 1.302, 150.0},
        {{0x00, 0xFF}, 0, 0, 0.0, 30.0},
        {{0xFF, 0x80, 0x01}, 0x05, 5, 255 * 0.01302, 127 / 255.0 * 120 + 30},
        {{0x64}, 0, 12, -1, -1},
        {{}, 0x05, 12, -1, -1},
    };
    for (const Case& c : cases) {
        reply(*model, 0x20, c.answer, c.status);
        auto amplitude = std::make_unique<double>(-1);
        auto phase = std::make_unique<double>(-1);
        EXPECT_EQ(api.antennaGetVector(handle, amplitude.get(), phase.get()), c.result);
        EXPECT_DOUBLE_EQ(*amplitude, c.amplitude);
        EXPECT_DOUBLE_EQ(*phase, c.phase);
    }
}

TEST_P(BoardLibraryTest, RecalibratePollAndDirectCommandAnswers) {
    reply(*model, 0x15, {0xFE, 0x33}, 7);
    EXPECT_EQ(api.antennaRecalibrate(handle), -2);
    reply(*model, 0x15, {}, 0);
    EXPECT_EQ(api.antennaRecalibrate(handle), -1);

    // directCommand: answer bytes from the low byte on, the rest kept, always 0.
    struct Direct {
        Bytes answer;
        std::uint32_t result;
    };
    for (const Direct& d :
         {Direct{{0x11, 0x22}, 0xAABB2211u}, Direct{{1, 2, 3, 4, 5}, 0x04030201u}, Direct{{}, 0xAABBCCDDu}}) {
        reply(*model, 0x15, d.answer, 9);
        auto answer = std::make_unique<int>(static_cast<int>(0xAABBCCDDu));
        EXPECT_EQ(api.directCommand(handle, 0x1D8, answer.get()), 0);
        EXPECT_EQ(static_cast<std::uint32_t>(*answer), d.result);
    }

    // pollInterrupt: both bytes only on status 0 with two bytes.
    struct Poll {
        Bytes answer;
        std::uint8_t status;
        std::uint8_t first;
        std::uint8_t second;
    };
    for (const Poll& p : {Poll{{0x12, 0x34}, 0, 0x12, 0x34}, Poll{{0x12, 0x34}, 3, 0xEE, 0xEE},
                          Poll{{0x12}, 0, 0xEE, 0xEE}}) {
        reply(*model, 0x21, p.answer, p.status);
        std::uint8_t first = 0xEE;
        std::uint8_t second = 0xEE;
        EXPECT_EQ(api.pollInterrupt(handle, 1, &first, &second), p.status);
        EXPECT_EQ(first, p.first);
        EXPECT_EQ(second, p.second);
    }
}

TEST_P(BoardLibraryTest, RawTransferSplitsValueAndData) {
    reply(*model, 0x18, {0x01, 0x02, 0x03, 0x04, 0xAA, 0xBB}, 0);
    auto rx = std::make_unique<char[]>(1);
    std::size_t rxLen = 1;
    std::uint32_t value = 0;
    EXPECT_EQ(api.txrxBytes(handle, "\x10", 1, rx.get(), &rxLen, &value), 0);
    EXPECT_EQ(value, 0x04030201u);
    EXPECT_EQ(static_cast<std::uint8_t>(rx[0]), 0xAA);
    EXPECT_EQ(rxLen, 1u);

    // Room for more than came: only what came, and its count.
    auto wide = std::make_unique<char[]>(8);
    rxLen = 8;
    EXPECT_EQ(api.txrxBytes(handle, "\x10", 1, wide.get(), &rxLen, &value), 0);
    EXPECT_EQ(rxLen, 2u);

    // Fewer than four bytes: 9 with status 0, the status otherwise; no data,
    // the value and the buffer untouched.
    struct Short {
        Bytes answer;
        std::uint8_t status;
        int result;
    };
    for (const Short& s : {Short{{1, 2, 3}, 0, 9}, Short{{}, 0, 9}, Short{{1}, 0x22, 0x22}}) {
        reply(*model, 0x18, s.answer, s.status);
        auto buffer = std::make_unique<char[]>(4);
        std::memset(buffer.get(), 0x5A, 4);
        rxLen = 4;
        value = 0x12345678;
        EXPECT_EQ(api.txrxBytes(handle, nullptr, 0, buffer.get(), &rxLen, &value), s.result);
        EXPECT_EQ(rxLen, 0u);
        EXPECT_EQ(value, 0x12345678u);
        EXPECT_EQ(buffer[0], 0x5A);
    }
}

// --- registers, trim, TriTre ---

TEST_P(BoardLibraryTest, RegisterResults) {
    model->setRegister(0x30, 0x5C);
    std::uint8_t value = 0;
    EXPECT_EQ(api.readRegister(handle, 0x30, &value), 0);
    EXPECT_EQ(value, 0x5C);
    failNextAnswer();
    value = 0x77;
    EXPECT_EQ(api.readRegister(handle, 0x30, &value), 5);
    EXPECT_EQ(value, 0x77);

    EXPECT_EQ(api.writeRegister(handle, 0x31, 0x42), 0);
    EXPECT_EQ(model->registerValue(0x31), 0x42);
    model->stickBits(0x32, 0x01, 0x01);
    EXPECT_EQ(api.writeRegister(handle, 0x32, 0x10), 0); // read back 0x11: still 0
    loseNextReport();
    EXPECT_EQ(api.writeRegister(handle, 0x31, 0x43), 25);
}

// Answers the channel cannot take, whatever the telegram: another pid, more
// bytes announced than a telegram holds, two bytes more than announced, and
// more than announced running into a second report.
struct AnswerFault {
    const char* name;
    TelegramFault fault;
    int value;
};
const AnswerFault kStreamFaults[] = {
    {"other pid", TelegramFault::OtherPid, 0x12},
    {"oversize", TelegramFault::Announce, 1089},
    {"two surplus bytes", TelegramFault::Longer, 2},
    {"surplus into a second report", TelegramFault::Longer, 70},
};

TEST_P(BoardLibraryTest, RegisterReadOfAnAnswerNotTakenFailsAndStoresNothing) {
    model->setRegister(0x30, 0x5C);
    std::vector<AnswerFault> faults(std::begin(kStreamFaults), std::end(kStreamFaults));
    faults.push_back({"no value", TelegramFault::Announce, 0});
    for (const AnswerFault& f : faults) {
        SCOPED_TRACE(f.name);
        model->injectFault(f.fault, f.value);
        std::uint8_t value = 0x77;
        EXPECT_EQ(api.readRegister(handle, 0x30, &value), RequestError);
        EXPECT_EQ(value, 0x77);
        // The channel is back in step: the next reads get the register.
        for (int i = 0; i < 2; ++i) {
            EXPECT_EQ(api.readRegister(handle, 0x30, &value), NoError);
            EXPECT_EQ(value, 0x5C);
        }
    }
}

// Operations that read an answer: one whose answer was not taken fails, leaves
// its outputs, latches the error (reported once by the connection check), and
// the same operation then works.
TEST_P(BoardLibraryTest, OperationWhoseAnswerWasNotTakenFailsAndLeavesItsOutputs) {
    struct Row {
        const char* name;
        // The result and what the outputs hold (they start at -1).
        std::function<std::pair<int, double>(BoardApi&, KXx0HANDLE)> run;
        double untouched;
        double answered;
    };
    const Row rows[] = {
        {"antennaGetVector",
         [](BoardApi& a, KXx0HANDLE h) {
             double amplitude = -1;
             double phase = -1;
             const int result = a.antennaGetVector(h, &amplitude, &phase);
             return std::pair<int, double>(result, amplitude);
         },
         -1, 1.302},
        {"txrxBytes",
         [](BoardApi& a, KXx0HANDLE h) {
             char rx[1];
             std::size_t rxLen = sizeof rx;
             std::uint32_t value = 0xFFFFFFFFu;
             const int result = a.txrxBytes(h, "\x10", 1, rx, &rxLen, &value);
             return std::pair<int, double>(result, static_cast<std::int32_t>(value));
         },
         -1, 0x04030201},
        {"antennaGetTriTre",
         [](BoardApi& a, KXx0HANDLE h) {
             int first = -1;
             int second = -1;
             const int result = a.antennaGetTriTre(h, &first, &second);
             return std::pair<int, double>(result, first * 256 + second);
         },
         -257, 0x33 * 256 + 0x11},
    };
    reply(*model, 0x20, {0x64, 0x00});
    reply(*model, 0x18, {0x01, 0x02, 0x03, 0x04, 0xAA});
    model->setRegister(0x21, 0x11);
    model->setRegister(0x23, 0x33);
    for (const Row& row : rows) {
        for (const AnswerFault& f : kStreamFaults) {
            SCOPED_TRACE(std::string(row.name) + ", " + f.name);
            model->injectFault(f.fault, f.value);
            const auto failed = row.run(api, handle);
            EXPECT_NE(failed.first, 0);
            EXPECT_EQ(failed.second, row.untouched);
            EXPECT_LT(api.checkConnection(handle), 0);
            EXPECT_EQ(api.checkConnection(handle), 0);
            const auto next = row.run(api, handle);
            EXPECT_EQ(next.first, 0);
            EXPECT_DOUBLE_EQ(next.second, row.answered);
        }
    }
}

TEST_P(BoardLibraryTest, TriTreReadsBothRegistersAndCrossesThem) {
    model->setRegister(0x21, 0x11);
    model->setRegister(0x23, 0x33);
    int first = -1;
    int second = -1;
    EXPECT_EQ(api.antennaGetTriTre(handle, &first, &second), 0);
    EXPECT_EQ(first, 0x33);
    EXPECT_EQ(second, 0x11);
    const auto telegrams = model->telegrams();
    ASSERT_EQ(telegrams.size(), 2u);
    EXPECT_EQ(telegrams[0].pid, boardsim::kPidRegisterRead);
    EXPECT_EQ(telegrams[0].payload.back(), 0x21);
    EXPECT_EQ(telegrams[1].payload.back(), 0x23);
}

TEST(TrimTest, FirstBoardWritesTheTrimRegister) {
    vktesting::TempDir config;
    ::setenv("XDG_CONFIG_HOME", config.path().c_str(), 1);
    hidsim::reset();
    auto board = std::make_shared<boardsim::Board>();
    boardsim::TelegramBoard model(board);
    boardsim::plug(board, boardsim::kKx10ProductId);
    HMODULE module = LoadLibraryA(simulatedLibrary(kKx10Library).c_str());
    ASSERT_NE(module, nullptr);
    BoardApi api;
    ASSERT_TRUE(api.bind(module, true));
    KXx0HANDLE handle = api.GetKX10();
    ASSERT_NE(handle, nullptr);
    struct Case {
        int value;
        std::uint8_t written;
    };
    for (const Case& c :
         {Case{5, 0xA8}, Case{0x1F, 0xF8}, Case{0x20, 0x80}, Case{-1, 0xF8}, Case{0x10F, 0xF8}}) {
        model.clearRecord();
        api.antennaSetTrimVal(handle, c.value);
        const auto telegrams = model.telegrams();
        ASSERT_EQ(telegrams.size(), 1u) << c.value;
        EXPECT_TRUE(telegrams[0].write);
        EXPECT_EQ(telegrams[0].pid, boardsim::kPidRegisterWrite);
        EXPECT_EQ(model.registerValue(0x21), c.written) << c.value;
    }
    model.clearRecord();
    api.antennaSetTrimVal(nullptr, 5);
    EXPECT_TRUE(model.telegrams().empty());
    api.ReleaseKX10(handle);
    EXPECT_EQ(hidsim::counters().liveHandles, 0);
}

// --- the latch ---

struct LatchRow {
    const char* name;
    std::function<KXx0ComError(BoardApi&, KXx0HANDLE)> call;
    int result;
};

TEST_P(BoardLibraryTest, LatchedErrorSendsNothingAndGivesEmptyAnswers) {
    static std::uint8_t rx[8];
    static std::uint16_t rcvLen;
    static FelicaPollEntry list[2];
    static std::uint8_t u8a, u8b;
    static double amplitude, phase;
    static int ia, ib;
    const std::vector<LatchRow> rows = {
        {"mosaInitialize", [](BoardApi& a, KXx0HANDLE h) { return a.mosaInitialize(h); }, 1},
        {"mosaDeinitialize", [](BoardApi& a, KXx0HANDLE h) { return a.mosaDeinitialize(h); }, 1},
        {"mosaFieldOnAndStarGT", [](BoardApi& a, KXx0HANDLE h) { return a.mosaFieldOnAndStarGT(h); }, 1},
        {"mosaFieldOff", [](BoardApi& a, KXx0HANDLE h) { return a.mosaFieldOff(h); }, 1},
        {"antennaEnableRFField", [](BoardApi& a, KXx0HANDLE h) { return a.antennaEnableRFField(h, true); },
         1},
        {"mosaSetMode", [](BoardApi& a, KXx0HANDLE h) { return a.mosaSetMode(h, 1, 0, 0); }, 1},
        {"mosaSetBitrate", [](BoardApi& a, KXx0HANDLE h) { return a.mosaSetBitrate(h, 1, 1); }, 1},
        {"setCarrierBitrate", [](BoardApi& a, KXx0HANDLE h) { return a.setCarrierBitrate(h, 1, 1); }, 1},
        {"mosaSetFDTPoll", [](BoardApi& a, KXx0HANDLE h) { return a.mosaSetFDTPoll(h, 1); }, 1},
        {"mosaSetFDTListen", [](BoardApi& a, KXx0HANDLE h) { return a.mosaSetFDTListen(h, 1); }, 1},
        {"mosaSetGT", [](BoardApi& a, KXx0HANDLE h) { return a.mosaSetGT(h, 1); }, 1},
        {"mosaStartTransceive",
         [](BoardApi& a, KXx0HANDLE h) { return a.mosaStartTransceive(h, rx, 8, 0, 0); }, 1},
        {"mosaGetTransceiveStatus",
         [](BoardApi& a, KXx0HANDLE h) { return a.mosaGetTransceiveStatus(h, rx, 64, &rcvLen); }, 1},
        {"mosaTransceiveBlockingTx",
         [](BoardApi& a, KXx0HANDLE h) { return a.mosaTransceiveBlockingTx(h, rx, 1, 0, 0); }, 1},
        {"mosaTransceiveBlockingRx",
         [](BoardApi& a, KXx0HANDLE h) { return a.mosaTransceiveBlockingRx(h, rx, 8, &rcvLen); }, 1},
        {"mosaTransceiveBlockingTxRx",
         [](BoardApi& a, KXx0HANDLE h) {
             return a.mosaTransceiveBlockingTxRx(h, rx, 1, rx, 8, &rcvLen, 0, 0);
         },
         1},
        {"mosaISO14443ATransceiveShortFrame",
         [](BoardApi& a, KXx0HANDLE h) {
             return a.mosaISO14443ATransceiveShortFrame(h, 0x26, rx, 8, &rcvLen, 0);
         },
         1},
        {"mosaISO14443ATransceiveAnticollisionFrame",
         [](BoardApi& a, KXx0HANDLE h) {
             u8a = 2;
             u8b = 0;
             return a.mosaISO14443ATransceiveAnticollisionFrame(h, rx, &u8a, &u8b, &rcvLen, 0);
         },
         1},
        {"mosaISO15693TransceiveAnticollisionFrame",
         [](BoardApi& a, KXx0HANDLE h) {
             return a.mosaISO15693TransceiveAnticollisionFrame(h, rx, 1, rx, 8, &rcvLen);
         },
         1},
        {"mosaISO15693TransceiveAnticollisionEOF",
         [](BoardApi& a, KXx0HANDLE h) {
             return a.mosaISO15693TransceiveAnticollisionEOF(h, rx, 8, &rcvLen);
         },
         1},
        {"mosaISO15693TransceiveEOF",
         [](BoardApi& a, KXx0HANDLE h) { return a.mosaISO15693TransceiveEOF(h, rx, 8, &rcvLen); }, 1},
        {"mosaFeliCaPoll",
         [](BoardApi& a, KXx0HANDLE h) { return a.mosaFeliCaPoll(h, 1, 2, 3, list, 2, &u8a, &u8b); }, 1},
        {"antennaGetVector",
         [](BoardApi& a, KXx0HANDLE h) { return a.antennaGetVector(h, &amplitude, &phase); }, 12},
        {"antennaRecalibrate", [](BoardApi& a, KXx0HANDLE h) { return a.antennaRecalibrate(h); }, -1},
        {"antennaGetTriTre", [](BoardApi& a, KXx0HANDLE h) { return a.antennaGetTriTre(h, &ia, &ib); }, 1},
        {"pollInterrupt", [](BoardApi& a, KXx0HANDLE h) { return a.pollInterrupt(h, 1, &u8a, &u8b); }, 1},
        {"directCommand", [](BoardApi& a, KXx0HANDLE h) { return a.directCommand(h, 1, &ia); }, 0},
    };
    for (const LatchRow& row : rows) {
        SCOPED_TRACE(row.name);
        ASSERT_NO_FATAL_FAILURE(latchError());
        std::memset(rx, 0xEE, sizeof rx);
        std::memset(list, 0xEE, sizeof list);
        rcvLen = 0x5555;
        u8a = u8b = 0xEE;
        amplitude = phase = -1;
        ia = ib = 0x3C;
        EXPECT_EQ(row.call(api, handle), row.result);
        EXPECT_TRUE(model->telegrams().empty());
        EXPECT_EQ(rx[0], 0xEE);
        EXPECT_EQ(list[0].bytes[0], 0xEE);
        EXPECT_EQ(amplitude, -1);
        EXPECT_EQ(ib, 0x3C);
        // rcvLen and the FeliCa counts read missing bytes as 0.
        if (rcvLen != 0x5555) {
            EXPECT_EQ(rcvLen, 0);
        }
        EXPECT_LT(api.checkConnection(handle), 0);
    }
    // The raw transfer reports no bytes; the registers clear the latch.
    ASSERT_NO_FATAL_FAILURE(latchError());
    char raw[4];
    std::size_t rawLen = sizeof raw;
    std::uint32_t value = 7;
    EXPECT_EQ(api.txrxBytes(handle, nullptr, 0, raw, &rawLen, &value), 1);
    EXPECT_EQ(rawLen, 0u);
    EXPECT_EQ(value, 7u);
    std::uint8_t reg = 0x99;
    EXPECT_EQ(api.readRegister(handle, 1, &reg), 5);
    EXPECT_EQ(api.mosaInitialize(handle), 0);
    ASSERT_NO_FATAL_FAILURE(latchError());
    EXPECT_EQ(api.writeRegister(handle, 1, 2), 25);
    EXPECT_EQ(api.mosaInitialize(handle), 0);
}

TEST_P(BoardLibraryTest, CheckConnectionReportsTheErrorOnce) {
    EXPECT_EQ(api.checkConnection(handle), 0);
    ASSERT_NO_FATAL_FAILURE(latchError());
    EXPECT_LT(api.checkConnection(handle), 0);
    EXPECT_EQ(api.checkConnection(handle), 0);
    EXPECT_EQ(api.mosaInitialize(handle), 0);
}

TEST_P(BoardLibraryTest, VanishedBoardGivesStatusOneAndTheLatch) {
    hidsim::unplug(device);
    EXPECT_EQ(api.mosaSetGT(handle, 1), 1);
    EXPECT_EQ(api.mosaInitialize(handle), 1);
    EXPECT_LT(api.checkConnection(handle), 0);
}

// --- argument checks ---

TEST_P(BoardLibraryTest, NullHandleIsRefusedBeforeAnything) {
    std::uint8_t rx[4];
    std::uint16_t n = 0;
    std::uint8_t a = 2, b = 0;
    FelicaPollEntry list[1];
    double x, y;
    int i, j;
    std::size_t len = sizeof rx;
    std::uint32_t v = 0;
    const std::vector<std::function<KXx0ComError()>> calls = {
        [&] { return api.checkConnection(nullptr); },
        [&] { return api.getFirmwareVersion(nullptr, &v); },
        [&] { return api.mosaInitialize(nullptr); },
        [&] { return api.mosaDeinitialize(nullptr); },
        [&] { return api.mosaFieldOnAndStarGT(nullptr); },
        [&] { return api.mosaFieldOff(nullptr); },
        [&] { return api.antennaEnableRFField(nullptr, true); },
        [&] { return api.mosaSetMode(nullptr, 1, 1, 1); },
        [&] { return api.mosaSetBitrate(nullptr, 1, 1); },
        [&] { return api.setCarrierBitrate(nullptr, 1, 1); },
        [&] { return api.mosaSetFDTPoll(nullptr, 1); },
        [&] { return api.mosaSetFDTListen(nullptr, 1); },
        [&] { return api.mosaSetGT(nullptr, 1); },
        [&] { return api.mosaStartTransceive(nullptr, rx, 8, 0, 0); },
        [&] { return api.mosaGetTransceiveStatus(nullptr, rx, 8, &n); },
        [&] { return api.mosaTransceiveBlockingTx(nullptr, rx, 1, 0, 0); },
        [&] { return api.mosaTransceiveBlockingRx(nullptr, rx, 4, &n); },
        [&] { return api.mosaTransceiveBlockingTxRx(nullptr, rx, 1, rx, 4, &n, 0, 0); },
        [&] { return api.mosaISO14443ATransceiveShortFrame(nullptr, 0x26, rx, 4, &n, 0); },
        [&] { return api.mosaISO14443ATransceiveAnticollisionFrame(nullptr, rx, &a, &b, &n, 0); },
        [&] { return api.mosaISO15693TransceiveAnticollisionFrame(nullptr, rx, 1, rx, 4, &n); },
        [&] { return api.mosaISO15693TransceiveAnticollisionEOF(nullptr, rx, 4, &n); },
        [&] { return api.mosaISO15693TransceiveEOF(nullptr, rx, 4, &n); },
        [&] { return api.mosaFeliCaPoll(nullptr, 1, 1, 1, list, 1, &a, &b); },
        [&] { return api.antennaGetVector(nullptr, &x, &y); },
        [&] { return api.antennaRecalibrate(nullptr); },
        [&] { return api.antennaGetTriTre(nullptr, &i, &j); },
        [&] { return api.pollInterrupt(nullptr, 1, &a, &b); },
        [&] { return api.directCommand(nullptr, 1, &i); },
        [&] { return api.readRegister(nullptr, 1, &a); },
        [&] { return api.writeRegister(nullptr, 1, 1); },
        [&] { return api.txrxBytes(nullptr, "x", 1, reinterpret_cast<char*>(rx), &len, &v); },
    };
    for (std::size_t k = 0; k < calls.size(); ++k)
        EXPECT_EQ(calls[k](), Invalid_handleError) << k;
    EXPECT_TRUE(model->telegrams().empty());
    EXPECT_TRUE(hidsim::calls(hidsim::Fn::Write).empty());
}

TEST_P(BoardLibraryTest, NullPointersAndOversizeParametersAreRefusedBeforeAnything) {
    std::uint8_t rx[4] = {};
    std::uint16_t n = 0;
    std::uint8_t a = 2, b = 0;
    FelicaPollEntry list[1];
    double x = 0;
    int i = 0;
    std::size_t len = sizeof rx;
    std::uint32_t v = 0;
    static std::uint8_t big[8192];
    KXx0HANDLE h = handle;
    const std::vector<std::function<KXx0ComError()>> calls = {
        [&] { return api.getFirmwareVersion(h, nullptr); },
        [&] { return api.mosaStartTransceive(h, nullptr, 1, 0, 0); },
        [&] { return api.mosaGetTransceiveStatus(h, nullptr, 1, &n); },
        [&] { return api.mosaGetTransceiveStatus(h, rx, 8, nullptr); },
        [&] { return api.mosaTransceiveBlockingTx(h, nullptr, 1, 0, 0); },
        [&] { return api.mosaTransceiveBlockingRx(h, nullptr, 4, &n); },
        [&] { return api.mosaTransceiveBlockingRx(h, rx, 4, nullptr); },
        [&] { return api.mosaTransceiveBlockingTxRx(h, nullptr, 1, rx, 4, &n, 0, 0); },
        [&] { return api.mosaTransceiveBlockingTxRx(h, rx, 1, nullptr, 4, &n, 0, 0); },
        [&] { return api.mosaTransceiveBlockingTxRx(h, rx, 1, rx, 4, nullptr, 0, 0); },
        [&] { return api.mosaISO14443ATransceiveShortFrame(h, 0x26, nullptr, 4, &n, 0); },
        [&] { return api.mosaISO14443ATransceiveShortFrame(h, 0x26, rx, 4, nullptr, 0); },
        [&] { return api.mosaISO14443ATransceiveAnticollisionFrame(h, nullptr, &a, &b, &n, 0); },
        [&] { return api.mosaISO14443ATransceiveAnticollisionFrame(h, rx, nullptr, &b, &n, 0); },
        [&] { return api.mosaISO14443ATransceiveAnticollisionFrame(h, rx, &a, nullptr, &n, 0); },
        [&] { return api.mosaISO14443ATransceiveAnticollisionFrame(h, rx, &a, &b, nullptr, 0); },
        [&] { return api.mosaISO15693TransceiveAnticollisionFrame(h, nullptr, 1, rx, 4, &n); },
        [&] { return api.mosaISO15693TransceiveAnticollisionFrame(h, rx, 1, nullptr, 4, &n); },
        [&] { return api.mosaISO15693TransceiveAnticollisionFrame(h, rx, 1, rx, 4, nullptr); },
        [&] { return api.mosaISO15693TransceiveAnticollisionEOF(h, nullptr, 4, &n); },
        [&] { return api.mosaISO15693TransceiveEOF(h, rx, 4, nullptr); },
        [&] { return api.mosaFeliCaPoll(h, 1, 1, 1, nullptr, 1, &a, &b); },
        [&] { return api.mosaFeliCaPoll(h, 1, 1, 1, list, 1, nullptr, &b); },
        [&] { return api.mosaFeliCaPoll(h, 1, 1, 1, list, 1, &a, nullptr); },
        [&] { return api.antennaGetVector(h, nullptr, &x); },
        [&] { return api.antennaGetVector(h, &x, nullptr); },
        [&] { return api.antennaGetTriTre(h, nullptr, &i); },
        [&] { return api.antennaGetTriTre(h, &i, nullptr); },
        [&] { return api.pollInterrupt(h, 1, nullptr, &b); },
        [&] { return api.pollInterrupt(h, 1, &a, nullptr); },
        [&] { return api.directCommand(h, 1, nullptr); },
        [&] { return api.readRegister(h, 1, nullptr); },
        [&] { return api.txrxBytes(h, nullptr, 1, reinterpret_cast<char*>(rx), &len, &v); },
        [&] { return api.txrxBytes(h, "x", 1, nullptr, &len, &v); },
        [&] { return api.txrxBytes(h, "x", 1, reinterpret_cast<char*>(rx), nullptr, &v); },
        [&] { return api.txrxBytes(h, "x", 1, reinterpret_cast<char*>(rx), &len, nullptr); },
        // One byte over a telegram: command byte and parameters above 1088.
        [&] { return api.mosaStartTransceive(h, big, 8 * 1078, 0, 0); },
        [&] { return api.mosaStartTransceive(h, big, 65535, 0, 0); },
        [&] { return api.mosaTransceiveBlockingTx(h, big, 1078, 0, 0); },
        [&] { return api.mosaTransceiveBlockingTxRx(h, big, 1076, rx, 4, &n, 0, 0); },
        [&] {
            return api.txrxBytes(h, reinterpret_cast<const char*>(big), 1088, reinterpret_cast<char*>(rx),
                                 &len, &v);
        },
        [&] {
            return api.txrxBytes(h, reinterpret_cast<const char*>(big), std::size_t{1} << 40,
                                 reinterpret_cast<char*>(rx), &len, &v);
        },
    };
    for (std::size_t k = 0; k < calls.size(); ++k)
        EXPECT_EQ(calls[k](), ParameterError) << k;
    EXPECT_TRUE(model->telegrams().empty());
    EXPECT_TRUE(hidsim::calls(hidsim::Fn::Write).empty());
    // The largest telegrams go through, and the link stays clear.
    EXPECT_EQ(api.mosaStartTransceive(h, big, 8 * 1077, 0, 0), 0);
    EXPECT_EQ(api.mosaTransceiveBlockingTx(h, big, 1077, 0, 0), 0);
    len = sizeof rx;
    EXPECT_EQ(
        api.txrxBytes(h, reinterpret_cast<const char*>(big), 1087, reinterpret_cast<char*>(rx), &len, &v), 0);
    EXPECT_EQ(commands().size(), 3u);
    EXPECT_EQ(api.checkConnection(h), 0);
}

// --- texts and versions ---

TEST_P(BoardLibraryTest, StatusNamesAndWidenedStatuses) {
    struct Case {
        int code;
        const char* text;
    };
    for (const Case& c :
         {Case{0, "NoError"}, Case{11, "Prototocol"}, Case{18, "IgnoreError"}, Case{21, "CrcError"},
          Case{23, "NotUnique"}, Case{27, "ParityError"}, Case{38, "Invalid_handleError"},
          Case{39, "UnknownError"}, Case{40, "Incomplete_byteError"}, Case{47, "Incomplete_byte_07Error"},
          Case{48, "UnknownError"}, Case{-1, "UnknownError"}})
        EXPECT_STREQ(api.decodeFWError(nullptr, static_cast<KXx0ComError>(c.code)), c.text) << c.code;
    for (int code = 0; code <= 47; ++code)
        EXPECT_EQ(api.decodeFWError(handle, static_cast<KXx0ComError>(code)) != nullptr, true);

    for (std::uint8_t status : {0x7F, 0x80, 0xFE}) {
        reply(*model, 0x40, {}, status);
        EXPECT_EQ(api.mosaInitialize(handle), static_cast<std::int8_t>(status));
    }
}

TEST_P(BoardLibraryTest, FirmwareVersionFromTheBoardInformation) {
    std::uint32_t version = 0;
    EXPECT_EQ(api.getFirmwareVersion(handle, &version), 0);
    EXPECT_EQ(version, 0x010000u); // the model's 1.0.0

    api.ReleaseKX10(handle);
    model->setFirmwareNumber(2, 10, 7);
    handle = api.GetKX10();
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(api.getFirmwareVersion(handle, &version), 0);
    EXPECT_EQ(version, 0x020A07u);

    // An empty information text leaves "err 43.43.43": 5, the version still written.
    api.ReleaseKX10(handle);
    model->setFirmwareText("");
    handle = api.GetKX10();
    ASSERT_NE(handle, nullptr);
    version = 0xFFFFFFFF;
    EXPECT_EQ(api.getFirmwareVersion(handle, &version), 5);
    EXPECT_NE(version, 0xFFFFFFFFu);
}

TEST_P(BoardLibraryTest, OwnVersionStrings) {
    auto name = std::make_unique<char[]>(50);
    auto version = std::make_unique<char[]>(10);
    std::memset(name.get(), 'x', 50);
    std::memset(version.get(), 'x', 10);
    EXPECT_EQ(api.getVersion(name.get(), version.get()), 0);
    EXPECT_STREQ(name.get(), GetParam().name);
    EXPECT_EQ(name[49], 0);
    EXPECT_STREQ(version.get(), BOARD_LINK_VERSION);
    EXPECT_EQ(version[9], 0);
    EXPECT_EQ(api.getVersion(nullptr, version.get()), 5);
    EXPECT_EQ(api.getVersion(name.get(), nullptr), 5);
}

} // namespace
} // namespace board_link::test

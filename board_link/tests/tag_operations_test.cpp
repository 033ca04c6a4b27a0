// The tag-family operations of both board libraries, bound by decorated name
// from the simulated builds, against the telegram-level board model: their
// telegrams, results, answer handling, messages and argument checks.
#include "board_library_fixture.h"

#include <QObject>
#include <QSignalSpy>

#include <algorithm>
#include <climits>
#include <cstring>
#include <functional>
#include <memory>
#include <string>

namespace board_link::test {
namespace {

using boardsim::CommandReply;

Bytes counting(std::size_t n, std::uint8_t first) {
    Bytes bytes(n);
    for (std::size_t i = 0; i < n; ++i)
        bytes[i] = static_cast<std::uint8_t>(first + i);
    return bytes;
}

// A heap block of exactly `n` bytes filled with 0xEE, so a copy past its end
// shows under AddressSanitizer and a byte not written keeps 0xEE.
struct Block {
    explicit Block(std::size_t n) : bytes(n, static_cast<char>(0xEE)) {}
    char* get() { return bytes.data(); }
    Bytes held() const { return Bytes(bytes.begin(), bytes.end()); }
    // The block as it should be: `copied` bytes of `expected`, the rest 0xEE.
    Bytes with(const Bytes& expected, std::size_t copied) const {
        Bytes out(bytes.size(), 0xEE);
        std::copy_n(expected.begin(), copied, out.begin());
        return out;
    }
    std::vector<char> bytes; // a heap block of exactly its size
};

class TagOperationsTest : public BoardLibraryTest {
  protected:
    void SetUp() override {
        BoardLibraryTest::SetUp();
        if (HasFatalFailure()) return;
        // The handle is the board object; its messages come by its signal.
        spy = std::make_unique<QSignalSpy>(reinterpret_cast<QObject*>(handle),
                                           SIGNAL(communicationErrorMessage(QString)));
        ASSERT_TRUE(spy->isValid());
    }
    void TearDown() override {
        spy.reset();
        BoardLibraryTest::TearDown();
    }

    void reply(std::uint8_t command, Bytes payload, std::uint8_t status = 0) {
        model->setCommand(command, CommandReply{status, std::move(payload)});
    }
    // Messages emitted since the last call.
    std::vector<std::string> messages() {
        std::vector<std::string> texts;
        for (const QList<QVariant>& arguments : *spy)
            texts.push_back(arguments.at(0).toString().toStdString());
        spy->clear();
        return texts;
    }
    std::string named(const char* operation, const char* text) const {
        return std::string(GetParam().firstBoard ? "KX10Communication::" : "KX20Com_UsbHid::") + operation +
               " : " + text;
    }

    std::unique_ptr<QSignalSpy> spy;
};

INSTANTIATE_TEST_SUITE_P(Libraries, TagOperationsTest, ::testing::Values(kKx10Library, kKx20Library),
                         [](const auto& info) { return std::string(info.param.name); });

// --- every operation: telegrams, results, latched channel, null handle ---

// What the operations of the table write into.
struct Outputs {
    char rx[64];
    std::size_t rxLen;
    char uid[10];
    std::size_t uidLen;
    char atqa[2];
    char sak[1];
    char out[11];
    Iso15693InventoryEntry entries[4];
    std::size_t count;
    FelicaPollEntry list[2];
    std::size_t listCount;
    std::size_t collisions;
    char first[2];
    char second[2];
    char third[4];

    void reset() {
        sak[0] = static_cast<char>(0xEE);
        std::memset(rx, 0xEE, sizeof rx);
        std::memset(uid, 0xEE, sizeof uid);
        std::memset(atqa, 0xEE, sizeof atqa);
        std::memset(out, 0xEE, sizeof out);
        std::memset(second, 0xEE, sizeof second);
        std::memset(third, 0xEE, sizeof third);
        std::memset(first, 0xEE, sizeof first);
        std::memset(entries, 0xEE, sizeof entries);
        std::memset(list, 0xEE, sizeof list);
        rxLen = sizeof rx;
        uidLen = sizeof uid;
        count = 4;
        listCount = 2;
        collisions = 0x5A;
    }
    // Every in-out length 0 (or never touched), every buffer as reset() left it.
    bool nothingCopied() const {
        const auto untouched = [](const void* p, std::size_t n) {
            const auto* bytes = static_cast<const std::uint8_t*>(p);
            return std::all_of(bytes, bytes + n, [](std::uint8_t b) { return b == 0xEE; });
        };
        return untouched(rx, sizeof rx) && untouched(uid, sizeof uid) && untouched(atqa, sizeof atqa) &&
               untouched(sak, sizeof sak) && untouched(out, sizeof out) &&
               untouched(entries, sizeof entries) && untouched(list, sizeof list) &&
               untouched(first, sizeof first) && untouched(second, sizeof second) &&
               untouched(third, sizeof third) && (rxLen == 0 || rxLen == sizeof rx) &&
               (uidLen == 0 || uidLen == sizeof uid) && (count == 0 || count == 4) &&
               (listCount == 0 || listCount == 2) && collisions == 0x5A;
    }
};

struct Sent {
    std::uint8_t command; // 0: the library's bit-rate command
    Bytes parameters;
    std::size_t announced;
};

enum class Result { Status, Zero, StatusOnSecondBoard };

struct Row {
    const char* name;
    std::function<KXx0ComError(BoardApi&, KXx0HANDLE, Outputs&)> call;
    std::vector<Sent> sent;
    Result result = Result::Status;
};

const char kUid8[] = "\x11\x12\x13\x14\x15\x16\x17\x18";
const char kPupi[] = "\xA1\xA2\xA3\xA4";
const char kKey[] = "\x61\x62\x63\x64\x65\x66";
const char kData16[] = "\x30\x31\x32\x33\x34\x35\x36\x37\x38\x39\x3A\x3B\x3C\x3D\x3E\x3F";
const Bytes kUidBytes = counting(8, 0x11);
const Bytes kZeros8(8, 0);

Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

const std::vector<Row>& rows() {
    using O = Outputs;
    static std::vector<char> big(0x10003);
    static const std::vector<Row> table = {
        // ISO 14443-A
        {"iso14443aInit", [](BoardApi& a, KXx0HANDLE h, O&) { return a.iso14443aInit(h); }, {{0xA0, {}, 0}}},
        {"iso14443aSelect",
         [](BoardApi& a, KXx0HANDLE h, O& o) {
             return a.iso14443aSelect(h, 0x52, true, o.uid, &o.uidLen, o.atqa, o.sak);
         },
         {{0xA1, {0x52, 1}, 17}}},
        {"iso14443aHalt",
         [](BoardApi& a, KXx0HANDLE h, O& o) { return a.iso14443aHalt(h, o.rx, &o.rxLen); },
         {{0xA3, {}, 0}}},
        {"iso14443aRATS",
         [](BoardApi& a, KXx0HANDLE h, O& o) { return a.iso14443aRATS(h, 0x1E0, -1, o.rx, &o.rxLen); },
         {{0xA4, {0xE0, 0xFF}, 128}}},
        {"iso14443aPPS without change",
         [](BoardApi& a, KXx0HANDLE h, O& o) {
             return a.iso14443aPPS(h, 2, 424, 212, false, o.rx, &o.rxLen);
         },
         {{0xA5, {0xD2, 0x01}, 2}}},
        {"iso14443aPPS with change",
         [](BoardApi& a, KXx0HANDLE h, O& o) { return a.iso14443aPPS(h, 1, 424, 212, true, o.rx, &o.rxLen); },
         {{0xA5, {0xD1, 0x11, 0x09}, 2}, {0, {0x01, 0x02}, 1}}},
        {"iso14443aDeselect",
         [](BoardApi& a, KXx0HANDLE h, O& o) { return a.iso14443aDeselect(h, o.rx, &o.rxLen); },
         {{0xA6, {}, 0}}},
        {"iso14443aDeinit",
         [](BoardApi& a, KXx0HANDLE h, O&) { return a.iso14443aDeinit(h, true); },
         {{0xAF, {1}, 0}}},
        // ISO 14443-B
        {"iso14443bInit", [](BoardApi& a, KXx0HANDLE h, O&) { return a.iso14443bInit(h); }, {{0xB0, {}, 1}}},
        {"iso14443bSelect",
         [](BoardApi& a, KXx0HANDLE h, O& o) { return a.iso14443bSelect(h, true, 0x05, 0x08, o.out); },
         {{0xB1, {1, 0x05, 0x08}, 13}}},
        {"iso14443bHalt",
         [](BoardApi& a, KXx0HANDLE h, O& o) { return a.iso14443bHalt(h, kPupi, o.rx, &o.rxLen); },
         {{0xB2, {0xA1, 0xA2, 0xA3, 0xA4}, 1}},
         Result::Zero},
        {"iso14443bWriteAttrb",
         [](BoardApi& a, KXx0HANDLE h, O& o) {
             return a.iso14443bWriteAttrb(h, kPupi, 1, 2, 8, 0x01, 0x00, o.rx, &o.rxLen);
         },
         {{0xB3, {0xA1, 0xA2, 0xA3, 0xA4, 0x00, 0x68, 0x00, 0x01}, 2}}},
        {"iso14443bDeselect",
         [](BoardApi& a, KXx0HANDLE h, O& o) { return a.iso14443bDeselect(h, o.rx, &o.rxLen); },
         {{0xB4, {}, 1}},
         Result::StatusOnSecondBoard},
        {"iso14443bDeinit",
         [](BoardApi& a, KXx0HANDLE h, O&) { return a.iso14443bDeinit(h, false); },
         {{0xBF, {0}, 1}},
         Result::Zero},
        // ISO 15693
        {"iso15693Initialise",
         [](BoardApi& a, KXx0HANDLE h, O&) { return a.iso15693Initialise(h, 256, true); },
         {{0xD0, {0x00, 1}, 4}}},
        {"iso15693sendInventoryRequest one slot",
         [](BoardApi& a, KXx0HANDLE h, O& o) {
             return a.iso15693sendInventoryRequest(h, 0, o.entries, &o.count);
         },
         {{0xD2, {}, 161}}},
        {"iso15693sendInventoryRequest 16 slots",
         [](BoardApi& a, KXx0HANDLE h, O& o) {
             return a.iso15693sendInventoryRequest(h, -3, o.entries, &o.count);
         },
         {{0xD3, {}, 161}}},
        {"iso15693StayQuiet",
         [](BoardApi& a, KXx0HANDLE h, O&) { return a.iso15693StayQuiet(h, kUid8); },
         {{0xD4, Bytes{0x00} + kUidBytes, 0}}},
        {"iso15693StayQuiet null",
         [](BoardApi& a, KXx0HANDLE h, O&) { return a.iso15693StayQuiet(h, nullptr); },
         {{0xD4, {0x00}, 0}}},
        {"iso15693Select",
         [](BoardApi& a, KXx0HANDLE h, O&) { return a.iso15693Select(h, kUid8); },
         {{0xD5, Bytes{0x00} + kUidBytes, 0}}},
        {"iso15693Select null",
         [](BoardApi& a, KXx0HANDLE h, O&) { return a.iso15693Select(h, nullptr); },
         {{0xD5, {0x00}, 0}}},
        {"iso15693GetSystemInformation",
         [](BoardApi& a, KXx0HANDLE h, O& o) {
             return a.iso15693GetSystemInformation(h, kUid8, o.rx, &o.rxLen);
         },
         {{0xD6, Bytes{0x00} + kUidBytes, 15}}},
        {"iso15693GetSystemInformation null",
         [](BoardApi& a, KXx0HANDLE h, O& o) {
             return a.iso15693GetSystemInformation(h, nullptr, o.rx, &o.rxLen);
         },
         {{0xD6, Bytes{0x10} + kZeros8, 15}}},
        {"iso15693ReadBlock",
         [](BoardApi& a, KXx0HANDLE h, O& o) { return a.iso15693ReadBlock(h, kUid8, 0x21, o.rx, &o.rxLen); },
         {{0xD7, Bytes{0x00} + kUidBytes + Bytes{0x21}, 40}}},
        {"iso15693ReadBlock null",
         [](BoardApi& a, KXx0HANDLE h, O& o) {
             return a.iso15693ReadBlock(h, nullptr, 0x21, o.rx, &o.rxLen);
         },
         {{0xD7, Bytes{0x10} + kZeros8 + Bytes{0x21}, 40}}},
        {"iso15693WriteBlock",
         [](BoardApi& a, KXx0HANDLE h, O& o) {
             return a.iso15693WriteBlock(h, kUid8, 3, kData16, 4, o.rx, &o.rxLen, false);
         },
         {{0xD8, Bytes{0x00} + kUidBytes + Bytes{3, 0x30, 0x31, 0x32, 0x33}, 2}}},
        {"iso15693WriteBlock option",
         [](BoardApi& a, KXx0HANDLE h, O& o) {
             return a.iso15693WriteBlock(h, kUid8, 3, kData16, 1, o.rx, &o.rxLen, true);
         },
         {{0xD8, Bytes{0x40} + kUidBytes + Bytes{3, 0x30}, 2}}},
        {"iso15693WriteBlock option null",
         [](BoardApi& a, KXx0HANDLE h, O& o) {
             return a.iso15693WriteBlock(h, nullptr, 3, nullptr, 0, o.rx, &o.rxLen, true);
         },
         {{0xD8, Bytes{0x50} + kZeros8 + Bytes{3}, 2}}},
        {"iso15693WriteBlock null",
         [](BoardApi& a, KXx0HANDLE h, O& o) {
             return a.iso15693WriteBlock(h, nullptr, 3, kData16, 2, o.rx, &o.rxLen, false);
         },
         {{0xD8, Bytes{0x10} + kZeros8 + Bytes{3, 0x30, 0x31}, 2}}},
        {"iso15693TxRxNBytes",
         [](BoardApi& a, KXx0HANDLE h, O& o) {
             return a.iso15693TxRxNBytes(h, kData16, 3, o.rx, &o.rxLen, 0x1234);
         },
         {{0xDE, {0x34, 0x12, 0x30, 0x31, 0x32}, 64}}},
        {"iso15693TxRxNBytes announced length in 16 bits",
         [](BoardApi& a, KXx0HANDLE h, O& o) {
             o.rxLen = big.size(); // 0x10003
             const KXx0ComError result = a.iso15693TxRxNBytes(h, nullptr, 0, big.data(), &o.rxLen, 0x00FF);
             if (o.rxLen == 0) o.rxLen = sizeof o.rx; // the latched channel copies nothing
             return result;
         },
         {{0xDE, {0xFF, 0x00}, 3}}},
        {"iso15693PhyTxRxNBytes",
         [](BoardApi& a, KXx0HANDLE h, O& o) {
             return a.iso15693PhyTxRxNBytes(h, kData16, 1, o.rx, &o.rxLen, 0xA0B0);
         },
         {{0xDD, {0xB0, 0xA0, 0x30}, 64}}},
        {"iso15693Deinit",
         [](BoardApi& a, KXx0HANDLE h, O&) { return a.iso15693Deinit(h, true); },
         {{0xDF, {1}, 0}},
         Result::Zero},
        // FeliCa
        {"felicaInitialize",
         [](BoardApi& a, KXx0HANDLE h, O&) { return a.felicaInitialize(h); },
         {{0xF0, {}, 1}}},
        {"felicaPoll",
         [](BoardApi& a, KXx0HANDLE h, O& o) {
             return a.felicaPoll(h, 0x100, 0x12, 0xFC, -1, o.list, &o.listCount, &o.collisions);
         },
         {{0xF1, {0x00, 0x12, 0xFC, 0xFF}, 254}}},
        {"felicaTxRxNBytes",
         [](BoardApi& a, KXx0HANDLE h, O& o) { return a.felicaTxRxNBytes(h, kData16, 2, o.rx, &o.rxLen); },
         {{0xF2, {0x30, 0x31}, 254}}},
        {"felicaDeInitialize",
         [](BoardApi& a, KXx0HANDLE h, O&) { return a.felicaDeInitialize(h, false); },
         {{0xFF, {0}, 0}},
         Result::Zero},
        // Kovio
        {"kovioInitialise",
         [](BoardApi& a, KXx0HANDLE h, O&) { return a.kovioInitialise(h); },
         {{0x80, {}, 0}}},
        {"kovioRead",
         [](BoardApi& a, KXx0HANDLE h, O& o) { return a.kovioRead(h, o.rx, &o.rxLen); },
         {{0x81, {}, 256}}},
        {"kovioDeinit",
         [](BoardApi& a, KXx0HANDLE h, O&) { return a.kovioDeinit(h, true); },
         {{0x8F, {1}, 0}},
         Result::Zero},
        // MIFARE and MIFARE Ultralight
        {"mifareInit", [](BoardApi& a, KXx0HANDLE h, O&) { return a.mifareInit(h); }, {{0xE0, {}, 0}}},
        {"mifareAuthenticate key flag true",
         [](BoardApi& a, KXx0HANDLE h, O&) { return a.mifareAuthenticate(h, 0x104, kUid8, 4, kKey, true); },
         {{0xE1, Bytes{0x04} + counting(6, 0x61) + Bytes{4} + counting(4, 0x11), 1}}},
        {"mifareAuthenticate key flag false",
         [](BoardApi& a, KXx0HANDLE h, O&) { return a.mifareAuthenticate(h, 7, kUid8, 7, kKey, false); },
         {{0xE2, Bytes{0x07} + counting(6, 0x61) + Bytes{7} + counting(7, 0x11), 1}}},
        {"mifareSendRequest",
         [](BoardApi& a, KXx0HANDLE h, O& o) {
             static char tx[] = {0x60, 0x04};
             return a.mifareSendRequest(h, tx, 2, o.rx, &o.rxLen);
         },
         {{0xE3, {0x60, 0x04}, 18}}},
        {"mifareReadBlock",
         [](BoardApi& a, KXx0HANDLE h, O& o) { return a.mifareReadBlock(h, 0x1FF, o.rx, &o.rxLen); },
         {{0xE5, {0xFF}, 18}}},
        {"mifareWriteBlock",
         [](BoardApi& a, KXx0HANDLE h, O&) { return a.mifareWriteBlock(h, 4, kData16, 16); },
         {{0xE6, Bytes{4} + counting(16, 0x30), 0}}},
        {"mifareDeinit",
         [](BoardApi& a, KXx0HANDLE h, O&) { return a.mifareDeinit(h, true); },
         {{0xEF, {1}, 0}}},
        {"mifareUlRead4Pages",
         [](BoardApi& a, KXx0HANDLE h, O& o) { return a.mifareUlRead4Pages(h, 0x10C, o.rx, &o.rxLen); },
         {{0xA7, {0x0C}, 16}}},
        {"mifareUlWritePage",
         [](BoardApi& a, KXx0HANDLE h, O&) { return a.mifareUlWritePage(h, 5, kData16, 4); },
         {{0xA8, {5, 0x30, 0x31, 0x32, 0x33}, 16}}},
        {"mifareUlLockPage 3",
         [](BoardApi& a, KXx0HANDLE h, O&) { return a.mifareUlLockPage(h, 3); },
         {{0xA8, {2, 0x00, 0x00, 0x08, 0x00}, 16}}},
        {"mifareUlLockPage 10",
         [](BoardApi& a, KXx0HANDLE h, O&) { return a.mifareUlLockPage(h, 10); },
         {{0xA8, {2, 0x00, 0x00, 0x00, 0x04}, 16}}},
        {"mifareUlLockPage 20",
         [](BoardApi& a, KXx0HANDLE h, O&) { return a.mifareUlLockPage(h, 20); },
         {{0xA8, {2, 0x00, 0x00, 0x00, 0x00}, 16}}},
        {"mifareUlLockPage 31",
         [](BoardApi& a, KXx0HANDLE h, O&) { return a.mifareUlLockPage(h, 31); },
         {{0xA8, {2, 0x00, 0x00, 0x00, 0x00}, 16}}},
        {"mifareUlLockPage 47",
         [](BoardApi& a, KXx0HANDLE h, O&) { return a.mifareUlLockPage(h, 47); },
         {{0xA8, {2, 0x00, 0x00, 0x00, 0x80}, 16}}},
        // NFC
        {"nfcInitialize",
         [](BoardApi& a, KXx0HANDLE h, O&) { return a.nfcInitialize(h, true, false, 0x12, 0xFE); },
         {{0xC0, {1, 0, 0x12, 0xFE}, 0}}},
        {"nfcTxNBytes",
         [](BoardApi& a, KXx0HANDLE h, O&) { return a.nfcTxNBytes(h, kData16, 3); },
         {{0xC1, {0x30, 0x31, 0x32}, 0}}},
        {"nfcRxNBytes",
         [](BoardApi& a, KXx0HANDLE h, O& o) { return a.nfcRxNBytes(h, o.rx, &o.rxLen); },
         {{0xC2, {}, 64}}},
        {"nfcSetTxBitrate",
         [](BoardApi& a, KXx0HANDLE h, O&) { return a.nfcSetTxBitrate(h, 2); },
         {{0xC4, {2}, 0}}},
        {"nfcSetRxBitrate",
         [](BoardApi& a, KXx0HANDLE h, O&) { return a.nfcSetRxBitrate(h, 3); },
         {{0xC5, {3}, 0}}},
        {"nfcDeInitialize",
         [](BoardApi& a, KXx0HANDLE h, O&) { return a.nfcDeInitialize(h); },
         {{0xCF, {}, 0}}},
        // Topaz
        {"topazInitialise",
         [](BoardApi& a, KXx0HANDLE h, O&) { return a.topazInitialise(h); },
         {{0x90, {}, 0}}},
        {"topazInventory",
         [](BoardApi& a, KXx0HANDLE h, O& o) { return a.topazInventory(h, o.first, o.second, o.third); },
         {{0x91, {0x26}, 8}}},
        {"topazReadUID",
         [](BoardApi& a, KXx0HANDLE h, O& o) { return a.topazReadUID(h, o.uid, o.second); },
         {{0x92, {}, 6}}},
        {"topazReadAll",
         [](BoardApi& a, KXx0HANDLE h, O& o) { return a.topazReadAll(h, kPupi, o.rx, &o.rxLen); },
         {{0x93, {0xA1, 0xA2, 0xA3, 0xA4}, 64}}},
        {"topazWriteByte",
         [](BoardApi& a, KXx0HANDLE h, O&) { return a.topazWriteByte(h, kPupi, 0x7F, 0x5A); },
         {{0x95, {0xA1, 0xA2, 0xA3, 0xA4, 0x7F, 0x5A}, 1}}},
        {"topazDeinit",
         [](BoardApi& a, KXx0HANDLE h, O&) { return a.topazDeinit(h, false); },
         {{0x9F, {0}, 0}},
         Result::Zero},
    };
    return table;
}

TEST_P(TagOperationsTest, EveryOperationSendsItsTelegrams) {
    Outputs outputs;
    for (const Row& row : rows()) {
        SCOPED_TRACE(row.name);
        model->clearRecord();
        outputs.reset();
        row.call(api, handle, outputs);
        const auto sent = commands();
        ASSERT_EQ(sent.size(), row.sent.size());
        for (std::size_t i = 0; i < sent.size(); ++i) {
            const Sent& expected = row.sent[i];
            Bytes payload{expected.command != 0 ? expected.command : GetParam().bitrateCommand};
            payload.insert(payload.end(), expected.parameters.begin(), expected.parameters.end());
            EXPECT_EQ(sent[i].payload, payload) << i;
            EXPECT_EQ(sent[i].answered, expected.announced) << i;
        }
    }
}

// The expected result of a row whose board status is `status`.
int expectedResult(const Row& row, int status, bool firstBoard) {
    switch (row.result) {
    case Result::Zero: return 0;
    case Result::StatusOnSecondBoard: return firstBoard ? 0 : status;
    default: return status;
    }
}

TEST_P(TagOperationsTest, EveryOperationReturnsTheFirmwareStatusOrZeroWhereItAlwaysDoes) {
    for (const Row& row : rows())
        for (const Sent& s : row.sent)
            reply(s.command != 0 ? s.command : GetParam().bitrateCommand, {}, 5);
    Outputs outputs;
    for (const Row& row : rows()) {
        outputs.reset();
        EXPECT_EQ(row.call(api, handle, outputs), expectedResult(row, 5, GetParam().firstBoard)) << row.name;
    }
}

TEST_P(TagOperationsTest, LatchedChannelSendsNothingAndWritesNothing) {
    Outputs outputs;
    for (const Row& row : rows()) {
        SCOPED_TRACE(row.name);
        ASSERT_NO_FATAL_FAILURE(latchError());
        outputs.reset();
        EXPECT_EQ(row.call(api, handle, outputs), expectedResult(row, 1, GetParam().firstBoard));
        EXPECT_TRUE(model->telegrams().empty());
        EXPECT_TRUE(outputs.nothingCopied());
        EXPECT_LT(api.checkConnection(handle), 0);
    }
}

TEST_P(TagOperationsTest, NullHandleIsRefusedBeforeAnything) {
    Outputs outputs;
    for (const Row& row : rows()) {
        outputs.reset();
        EXPECT_EQ(row.call(api, nullptr, outputs), Invalid_handleError) << row.name;
    }
    EXPECT_TRUE(model->telegrams().empty());
    EXPECT_TRUE(hidsim::calls(hidsim::Fn::Write).empty());
}

// --- ISO 14443-A ---

// [0][ATQA 04 00][size code][SAK, 0, 0][UID bytes AA BB ...]
Bytes selectAnswer(std::uint8_t sizeCode, std::size_t uidBytes, std::uint8_t sak = 0x08) {
    return Bytes{0x00, 0x04, 0x00, sizeCode, sak, 0x00, 0x00} + counting(uidBytes, 0xAA);
}

TEST_P(TagOperationsTest, Iso14443aSelectKeepsWhatItsStatusAndAnswerGive) {
    struct Case {
        const char* name;
        std::uint8_t status;
        Bytes answer;
        std::size_t capacity;
        int result;
        std::size_t uidCopied; // bytes of AA BB ... in uid
        bool atqa;
        bool sak;
        bool message;
    };
    const Case cases[] = {
        {"size code 1", 0, selectAnswer(1, 10), 10, 0, 4, true, true, false},
        {"size code 1, room for 2", 0, selectAnswer(1, 10), 2, 0, 2, true, true, false},
        {"size code 2", 0, selectAnswer(2, 10), 10, 0, 7, true, true, false},
        {"size code 2, room for 2", 0, selectAnswer(2, 10), 2, 0, 2, true, true, false},
        {"size code 3", 0, selectAnswer(3, 10), 10, 0, 10, true, true, false},
        {"size code 0, room for 5", 0, selectAnswer(0, 10), 5, 0, 5, true, true, false},
        {"answer longer than 17 bytes", 0, selectAnswer(3, 14), 12, 0, 10, true, true, false},
        {"16-byte answer: nine UID bytes", 0, selectAnswer(3, 9), 10, 0, 9, true, true, false},
        {"status 24", 24, selectAnswer(1, 10), 10, 24, 10, true, false, false},
        {"another status", 5, selectAnswer(1, 10), 10, 5, 10, false, false, false},
        {"short answer, status 0", 0, selectAnswer(1, 8), 10, FramingError, 0, false, false, true},
        {"empty answer, status 0", 0, {}, 10, FramingError, 0, false, false, true},
        {"short answer, another status", 4, selectAnswer(1, 8), 10, 4, 0, false, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        reply(0xA1, c.answer, c.status);
        Block uid(c.capacity);
        Block atqa(2);
        Block sak(1);
        std::size_t uidLen = c.capacity;
        EXPECT_EQ(api.iso14443aSelect(handle, 0x26, true, uid.get(), &uidLen, atqa.get(), sak.get()),
                  c.result);
        EXPECT_EQ(uidLen, c.uidCopied);
        EXPECT_EQ(uid.held(), uid.with(counting(10, 0xAA), c.uidCopied));
        EXPECT_EQ(atqa.held(), (c.atqa ? Bytes{0x04, 0x00} : Bytes(2, 0xEE)));
        EXPECT_EQ(sak.held(), Bytes{c.sak ? std::uint8_t{0x08} : std::uint8_t{0xEE}});
        EXPECT_EQ(messages(),
                  c.message ? std::vector<std::string>{named("iso14443aSelect", "received packet too short")}
                            : std::vector<std::string>{});
    }
}

TEST_P(TagOperationsTest, Iso14443aRatsCopiesAnAtsOfTwoBytesOrMore) {
    struct Case {
        std::uint8_t status;
        std::size_t answer;
        std::size_t capacity;
        int result;
        std::size_t copied;
    };
    for (const Case& c : {Case{0, 5, 10, 0, 5}, Case{0, 5, 3, 0, 3}, Case{0, 2, 2, 0, 2},
                          Case{0, 1, 10, 9, 0}, Case{0, 0, 10, 9, 0}, Case{6, 5, 10, 6, 0}}) {
        SCOPED_TRACE(std::to_string(c.answer) + " bytes, status " + std::to_string(c.status));
        reply(0xA4, counting(c.answer, 0x70), c.status);
        Block ats(c.capacity);
        std::size_t atsLen = c.capacity;
        EXPECT_EQ(api.iso14443aRATS(handle, 0, 0, ats.get(), &atsLen), c.result);
        EXPECT_EQ(atsLen, c.copied);
        EXPECT_EQ(ats.held(), ats.with(counting(c.answer, 0x70), c.copied));
    }
}

TEST_P(TagOperationsTest, Iso14443aPpsCodesAndTheBitRateCommandThatFollows) {
    struct Case {
        int cid;
        int dsRate;
        int drRate;
        Bytes pps;
        Bytes bitrates; // [tx][rx]
    };
    const Case cases[] = {
        {1, 424, 212, {0xD1, 0x11, 0x09}, {0x01, 0x02}},
        {0, 848, 1695, {0xD0, 0x11, 0x0C}, {0x04, 0x03}},
        {0, 106, 105, {0xD0, 0x11, 0x00}, {0x00, 0x00}},
        {0x30, 104, 212, {0x00, 0x11, 0x01}, {0x01, 0x00}},
        {-0xD1, 0, -1, {0xFF, 0x11, 0x00}, {0x00, 0x00}},
        {0, INT_MIN, 424, {0xD0, 0x11, 0x02}, {0x02, 0x00}},
        {0, INT_MAX, 3390, {0xD0, 0x11, 0x00}, {0x05, 0x18}},
    };
    // The PPS answer's status is the result; the bit-rate command's is not.
    reply(GetParam().bitrateCommand, {}, 7);
    reply(0xA5, {0xD1, 0x55, 0x66}, 3);
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.dsRate) + "/" + std::to_string(c.drRate));
        model->clearRecord();
        Block rx(2);
        std::size_t rxLen = 2;
        EXPECT_EQ(api.iso14443aPPS(handle, c.cid, c.dsRate, c.drRate, true, rx.get(), &rxLen), 3);
        EXPECT_EQ(rxLen, 2u);
        EXPECT_EQ(rx.held(), (Bytes{0xD1, 0x55}));
        const auto sent = commands();
        ASSERT_EQ(sent.size(), 2u);
        EXPECT_EQ(sent[0].payload, Bytes{0xA5} + c.pps);
        EXPECT_EQ(sent[1].payload, Bytes{GetParam().bitrateCommand} + c.bitrates);
    }
}

TEST_P(TagOperationsTest, Iso14443aHaltAndDeselectCopyTheAnswer) {
    for (std::uint8_t command : {0xA3, 0xA6}) {
        reply(command, counting(6, 0x40), 0x1D);
        Block rx(4);
        std::size_t rxLen = 4;
        const auto call = command == 0xA3 ? api.iso14443aHalt : api.iso14443aDeselect;
        EXPECT_EQ(call(handle, rx.get(), &rxLen), 0x1D);
        EXPECT_EQ(rxLen, 4u);
        EXPECT_EQ(rx.held(), counting(4, 0x40));
    }
}

// --- ISO 14443-B ---

TEST_P(TagOperationsTest, Iso14443bSelectDecidesByAnswerStatusAndLength) {
    struct Case {
        const char* name;
        std::uint8_t status;
        Bytes answer;
        int result;
        bool filled;
        const char* message;
    };
    const Bytes atqb = Bytes{0x50} + counting(11, 0x01);
    const Case cases[] = {
        {"ATQB", 0, atqb, 0, true, nullptr},
        {"ATQB and more", 0, atqb + Bytes{0x99}, 0, true, nullptr},
        {"another first byte", 0, Bytes{0x51} + counting(11, 0x01), 0, false, nullptr},
        {"empty", 0, {}, FramingError, false, "received packet too short"},
        {"empty with a status", 5, {}, 5, false, "received packet too short"},
        {"one byte", 0, {0x50}, FramingError, false, "Error Receiving data"},
        {"eleven bytes", 0, Bytes{0x50} + counting(10, 0x01), FramingError, false, "Error Receiving data"},
        {"ATQB with a status", 5, atqb, 5, false, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        reply(0xB1, c.answer, c.status);
        Block out(11);
        EXPECT_EQ(api.iso14443bSelect(handle, false, 0, 0, out.get()), c.result);
        EXPECT_EQ(out.held(), c.filled ? counting(11, 0x01) : Bytes(11, 0xEE));
        EXPECT_EQ(messages(), c.message != nullptr
                                  ? std::vector<std::string>{named("iso14443bSelect", c.message)}
                                  : std::vector<std::string>{});
    }
}

TEST_P(TagOperationsTest, Iso14443bAttribPackingPerLibrary) {
    struct Case {
        int dsi;
        int dri;
        int fsdi;
        std::uint8_t masked;   // second board
        std::uint8_t unmasked; // first board
    };
    for (const Case& c :
         {Case{1, 2, 8, 0x68, 0x68}, Case{0, 5, 8, 0x18, 0x58}, Case{0, 4, 16, 0x00, 0x50},
          Case{5, 0, 0, 0x40, 0x40}, Case{-1, -1, -1, 0xFF, 0xFF}, Case{2, 1, 0x1F, 0x9F, 0x9F}}) {
        model->clearRecord();
        char rx[2];
        std::size_t rxLen = sizeof rx;
        api.iso14443bWriteAttrb(handle, kPupi, c.dsi, c.dri, c.fsdi, 0x01, 0x02, rx, &rxLen);
        const auto sent = commands();
        ASSERT_EQ(sent.size(), 1u);
        EXPECT_EQ(sent[0].payload, (Bytes{0xB3, 0xA1, 0xA2, 0xA3, 0xA4, 0x00,
                                          GetParam().firstBoard ? c.unmasked : c.masked, 0x02, 0x01}))
            << c.dsi << "/" << c.dri << "/" << c.fsdi;
    }
}

TEST_P(TagOperationsTest, Iso14443bAttribHaltAndDeselectAnswers) {
    // An empty ATTRIB answer: the message, no bytes, the status.
    reply(0xB3, {}, 0);
    Block rx(4);
    std::size_t rxLen = 4;
    EXPECT_EQ(api.iso14443bWriteAttrb(handle, kPupi, 0, 0, 0, 0, 0, rx.get(), &rxLen), 0);
    EXPECT_EQ(rxLen, 0u);
    EXPECT_EQ(messages(),
              std::vector<std::string>{named("iso14443bWriteAttrb", "received packet too short")});
    reply(0xB3, counting(6, 0x20), 4);
    rxLen = 4;
    EXPECT_EQ(api.iso14443bWriteAttrb(handle, kPupi, 0, 0, 0, 0, 0, rx.get(), &rxLen), 4);
    EXPECT_EQ(rx.held(), counting(4, 0x20));
    EXPECT_TRUE(messages().empty());

    // Halt: 0 always; deselect: the status, 0 always in the first board's library.
    reply(0xB2, counting(3, 0x30), 6);
    reply(0xB4, counting(3, 0x30), 6);
    Block small(2);
    rxLen = 2;
    EXPECT_EQ(api.iso14443bHalt(handle, kPupi, small.get(), &rxLen), 0);
    EXPECT_EQ(small.held(), counting(2, 0x30));
    rxLen = 2;
    EXPECT_EQ(api.iso14443bDeselect(handle, small.get(), &rxLen), GetParam().firstBoard ? 0 : 6);
    EXPECT_EQ(rxLen, 2u);
}

// --- ISO 15693 ---

TEST_P(TagOperationsTest, Iso15693InventoryCopiesEntriesByCapacity) {
    struct Case {
        const char* name;
        std::uint8_t status;
        std::size_t entryBytes; // after the count byte
        std::size_t capacity;
        std::size_t count;
        std::size_t copiedBytes;
        const char* message;
    };
    const Case cases[] = {
        {"three entries, room for two", 0, 30, 2, 2, 20, nullptr},
        {"three entries, room for five", 0, 30, 5, 3, 30, nullptr},
        {"a short last entry", 0, 14, 3, 2, 14, nullptr},
        {"no entry", 0, 0, 3, 0, 0, nullptr},
        {"not found", 22, 10, 3, 1, 10, nullptr},
        {"collision", 29, 20, 3, 2, 20, "iso15693 inventory returned error RF_collisionError"},
        {"status above 127", 0x81, 0, 3, 0, 0, "iso15693 inventory returned error UnknownError -127"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // The board's count byte says 9 whatever came.
        reply(0xD2, Bytes{9} + counting(c.entryBytes, 0x01), c.status);
        Block entries(c.capacity * sizeof(Iso15693InventoryEntry));
        std::size_t count = c.capacity;
        EXPECT_EQ(api.iso15693sendInventoryRequest(
                      handle, 0, reinterpret_cast<Iso15693InventoryEntry*>(entries.get()), &count),
                  static_cast<std::int8_t>(c.status));
        EXPECT_EQ(count, c.count);
        EXPECT_EQ(entries.held(), entries.with(counting(c.entryBytes, 0x01), c.copiedBytes));
        EXPECT_EQ(messages(),
                  c.message != nullptr ? std::vector<std::string>{c.message} : std::vector<std::string>{});
    }
    // No room: nothing is read into a null list.
    std::size_t count = 0;
    EXPECT_EQ(api.iso15693sendInventoryRequest(handle, 1, nullptr, &count), 0);
    EXPECT_EQ(count, 0u);
}

// --- FeliCa and Kovio ---

TEST_P(TagOperationsTest, FelicaPollCopiesUpToTheCountAndTheCapacity) {
    struct Case {
        const char* name;
        std::uint8_t status;
        Bytes head; // [n][collisions]
        std::size_t entryBytes;
        std::size_t capacity;
        std::size_t count;
        std::size_t copiedBytes;
        std::size_t collisions;
    };
    const std::size_t unchanged = 0x5A;
    const Case cases[] = {
        {"three reported, room for one", 0, {3, 2}, 60, 1, 1, 20, 2},
        {"two reported, one and a half came", 0, {2, 0}, 30, 4, 2, 30, 0},
        {"five reported, two came", 0, {5, 1}, 40, 4, 2, 40, 1},
        {"one reported, two came", 0, {1, 0x7F}, 40, 4, 1, 20, 0x7F},
        {"negative collisions", 0, {1, 0xFF}, 20, 4, 1, 20, static_cast<std::size_t>(-1)},
        {"empty answer", 0, {}, 0, 4, 0, 0, 0},
        {"another status", 6, {2, 1}, 40, 4, 0, 0, unchanged},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        reply(0xF1, c.head + counting(c.entryBytes, 0x01), c.status);
        Block list(c.capacity * sizeof(FelicaPollEntry));
        std::size_t count = c.capacity;
        std::size_t collisions = unchanged;
        EXPECT_EQ(api.felicaPoll(handle, 0, 0, 0, 0, reinterpret_cast<FelicaPollEntry*>(list.get()), &count,
                                 &collisions),
                  c.status);
        EXPECT_EQ(count, c.count);
        EXPECT_EQ(collisions, c.collisions);
        EXPECT_EQ(list.held(), list.with(counting(c.entryBytes, 0x01), c.copiedBytes));
    }
    // -1 through a signed type.
    reply(0xF1, {0, 0xFF});
    std::size_t count = 0;
    std::size_t collisions = 0;
    api.felicaPoll(handle, 0, 0, 0, 0, nullptr, &count, &collisions);
    EXPECT_EQ(static_cast<std::int64_t>(collisions), -1);
}

// Operations whose answer, from an offset on, goes to an in-out buffer: the
// copy is bounded by what came and by the capacity, the length exact.
TEST_P(TagOperationsTest, InOutBuffersTakeWhatCameUpToTheirCapacity) {
    struct Case {
        const char* name;
        std::uint8_t command;
        std::size_t offset; // answer bytes dropped in front
        std::function<KXx0ComError(BoardApi&, KXx0HANDLE, char*, std::size_t*)> call;
    };
    const Case cases[] = {
        {"iso14443aHalt", 0xA3, 0,
         [](BoardApi& a, KXx0HANDLE h, char* rx, std::size_t* n) { return a.iso14443aHalt(h, rx, n); }},
        {"iso14443aPPS", 0xA5, 0,
         [](BoardApi& a, KXx0HANDLE h, char* rx, std::size_t* n) {
             return a.iso14443aPPS(h, 0, 0, 0, false, rx, n);
         }},
        {"iso14443bHalt", 0xB2, 0,
         [](BoardApi& a, KXx0HANDLE h, char* rx, std::size_t* n) {
             a.iso14443bHalt(h, kPupi, rx, n);
             return KXx0ComError{};
         }},
        {"iso14443bDeselect", 0xB4, 0,
         [](BoardApi& a, KXx0HANDLE h, char* rx, std::size_t* n) {
             a.iso14443bDeselect(h, rx, n);
             return KXx0ComError{};
         }},
        {"iso15693GetSystemInformation", 0xD6, 0,
         [](BoardApi& a, KXx0HANDLE h, char* rx, std::size_t* n) {
             return a.iso15693GetSystemInformation(h, nullptr, rx, n);
         }},
        {"iso15693ReadBlock", 0xD7, 0,
         [](BoardApi& a, KXx0HANDLE h, char* rx, std::size_t* n) {
             return a.iso15693ReadBlock(h, kUid8, 0, rx, n);
         }},
        {"iso15693WriteBlock", 0xD8, 0,
         [](BoardApi& a, KXx0HANDLE h, char* rx, std::size_t* n) {
             return a.iso15693WriteBlock(h, kUid8, 0, kData16, 4, rx, n, false);
         }},
        {"iso15693TxRxNBytes", 0xDE, 0,
         [](BoardApi& a, KXx0HANDLE h, char* rx, std::size_t* n) {
             return a.iso15693TxRxNBytes(h, nullptr, 0, rx, n, 0);
         }},
        {"iso15693PhyTxRxNBytes", 0xDD, 0,
         [](BoardApi& a, KXx0HANDLE h, char* rx, std::size_t* n) {
             return a.iso15693PhyTxRxNBytes(h, nullptr, 0, rx, n, 0);
         }},
        {"felicaTxRxNBytes", 0xF2, 0,
         [](BoardApi& a, KXx0HANDLE h, char* rx, std::size_t* n) {
             return a.felicaTxRxNBytes(h, nullptr, 0, rx, n);
         }},
        {"kovioRead", 0x81, 0,
         [](BoardApi& a, KXx0HANDLE h, char* rx, std::size_t* n) { return a.kovioRead(h, rx, n); }},
        {"mifareSendRequest", 0xE3, 0,
         [](BoardApi& a, KXx0HANDLE h, char* rx, std::size_t* n) {
             return a.mifareSendRequest(h, nullptr, 0, rx, n);
         }},
        {"mifareUlRead4Pages", 0xA7, 0,
         [](BoardApi& a, KXx0HANDLE h, char* rx, std::size_t* n) {
             return a.mifareUlRead4Pages(h, 4, rx, n);
         }},
        {"nfcRxNBytes", 0xC2, 1,
         [](BoardApi& a, KXx0HANDLE h, char* rx, std::size_t* n) { return a.nfcRxNBytes(h, rx, n); }},
        {"topazReadAll", 0x93, 2,
         [](BoardApi& a, KXx0HANDLE h, char* rx, std::size_t* n) { return a.topazReadAll(h, kPupi, rx, n); }},
    };
    for (const Case& c : cases) {
        for (std::size_t data : {std::size_t{0}, std::size_t{3}, std::size_t{16}, std::size_t{256}}) {
            for (std::size_t capacity : {std::size_t{0}, std::size_t{5}, std::size_t{100}}) {
                SCOPED_TRACE(std::string(c.name) + ": " + std::to_string(data) + " bytes into " +
                             std::to_string(capacity));
                reply(c.command, counting(c.offset, 0xF0) + counting(data, 0x01));
                Block rx(capacity);
                std::size_t rxLen = capacity;
                c.call(api, handle, capacity == 0 ? nullptr : rx.get(), &rxLen);
                const std::size_t copied = std::min(data, capacity);
                EXPECT_EQ(rxLen, copied);
                EXPECT_EQ(rx.held(), rx.with(counting(data, 0x01), copied));
            }
        }
    }
}

// --- MIFARE ---

TEST_P(TagOperationsTest, MifareReadBlockDropsTheTwoBytesOfAnExactAnswer) {
    struct Case {
        std::size_t answer;
        std::size_t capacity;
        std::size_t copied;
    };
    for (const Case& c :
         {Case{18, 20, 16}, Case{17, 20, 17}, Case{19, 20, 19}, Case{18, 8, 8}, Case{2, 20, 2}}) {
        reply(0xE5, counting(c.answer, 0x01), 0);
        Block rx(c.capacity);
        std::size_t rxLen = c.capacity;
        EXPECT_EQ(api.mifareReadBlock(handle, 1, rx.get(), &rxLen), 0);
        EXPECT_EQ(rxLen, c.copied) << c.answer;
        EXPECT_EQ(rx.held(), rx.with(counting(c.answer, 0x01), c.copied)) << c.answer;
    }
}

// --- Topaz ---

TEST_P(TagOperationsTest, TopazInventoryFillsItsOutputsByStatus) {
    struct Case {
        const char* name;
        std::uint8_t status;
        std::size_t answer;
        std::size_t first, second, third; // bytes written to each
    };
    const Case cases[] = {
        {"status 0, full", 0, 8, 2, 2, 4},        {"status 0, longer", 0, 12, 2, 2, 4},
        {"status 0, three bytes", 0, 3, 2, 1, 0}, {"status 0, six bytes", 0, 6, 2, 2, 2},
        {"status 24, full", 24, 8, 2, 0, 0},      {"status 24, one byte", 24, 1, 1, 0, 0},
        {"another status", 5, 8, 0, 0, 0},
    };
    const Bytes answer = counting(12, 0x01);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        reply(0x91, Bytes(answer.begin(), answer.begin() + static_cast<std::ptrdiff_t>(c.answer)), c.status);
        Block first(2), second(2), third(4);
        EXPECT_EQ(api.topazInventory(handle, first.get(), second.get(), third.get()), c.status);
        EXPECT_EQ(first.held(), first.with(counting(2, 0x01), c.first));
        EXPECT_EQ(second.held(), second.with(counting(2, 0x03), c.second));
        EXPECT_EQ(third.held(), third.with(counting(4, 0x05), c.third));
    }
}

TEST_P(TagOperationsTest, TopazReadUidSplitsLeadingBytesAndUid) {
    struct Case {
        std::size_t answer;
        std::size_t uid, second;
    };
    for (const Case& c : {Case{6, 4, 2}, Case{9, 4, 2}, Case{4, 2, 2}, Case{1, 0, 1}, Case{0, 0, 0}}) {
        reply(0x92, counting(c.answer, 0x01), 24);
        Block uid(4), second(2);
        EXPECT_EQ(api.topazReadUID(handle, uid.get(), second.get()), 24);
        EXPECT_EQ(uid.held(), uid.with(counting(4, 0x03), c.uid)) << c.answer;
        EXPECT_EQ(second.held(), second.with(counting(2, 0x01), c.second)) << c.answer;
    }
}

// --- argument checks ---

TEST_P(TagOperationsTest, NullPointersWrongLengthsAndOversizeParametersAreRefusedBeforeAnything) {
    char rx[8];
    std::size_t len = sizeof rx;
    std::size_t n = 1;
    Iso15693InventoryEntry entries[1];
    FelicaPollEntry list[1];
    static char big[2048];
    KXx0HANDLE h = handle;
    const std::vector<std::function<KXx0ComError()>> calls = {
        [&] { return api.iso14443aSelect(h, 0x26, true, nullptr, &len, rx, rx); },
        [&] { return api.iso14443aSelect(h, 0x26, true, rx, nullptr, rx, rx); },
        [&] { return api.iso14443aSelect(h, 0x26, true, rx, &len, nullptr, rx); },
        [&] { return api.iso14443aSelect(h, 0x26, true, rx, &len, rx, nullptr); },
        [&] { return api.iso14443aHalt(h, nullptr, &len); },
        [&] { return api.iso14443aHalt(h, rx, nullptr); },
        [&] { return api.iso14443aRATS(h, 0, 0, nullptr, &len); },
        [&] { return api.iso14443aRATS(h, 0, 0, rx, nullptr); },
        [&] { return api.iso14443aPPS(h, 0, 0, 0, true, nullptr, &len); },
        [&] { return api.iso14443aPPS(h, 0, 0, 0, true, rx, nullptr); },
        [&] { return api.iso14443aDeselect(h, nullptr, &len); },
        [&] { return api.iso14443aDeselect(h, rx, nullptr); },
        [&] { return api.iso14443bSelect(h, true, 0, 0, nullptr); },
        [&] { return api.iso14443bHalt(h, nullptr, rx, &len); },
        [&] { return api.iso14443bHalt(h, kPupi, nullptr, &len); },
        [&] { return api.iso14443bHalt(h, kPupi, rx, nullptr); },
        [&] { return api.iso14443bWriteAttrb(h, nullptr, 0, 0, 0, 0, 0, rx, &len); },
        [&] { return api.iso14443bWriteAttrb(h, kPupi, 0, 0, 0, 0, 0, nullptr, &len); },
        [&] { return api.iso14443bWriteAttrb(h, kPupi, 0, 0, 0, 0, 0, rx, nullptr); },
        [&] { return api.iso14443bDeselect(h, nullptr, &len); },
        [&] { return api.iso14443bDeselect(h, rx, nullptr); },
        [&] { return api.iso15693sendInventoryRequest(h, 0, nullptr, &n); },
        [&] { return api.iso15693sendInventoryRequest(h, 0, entries, nullptr); },
        [&] { return api.iso15693GetSystemInformation(h, kUid8, nullptr, &len); },
        [&] { return api.iso15693GetSystemInformation(h, kUid8, rx, nullptr); },
        [&] { return api.iso15693ReadBlock(h, kUid8, 0, nullptr, &len); },
        [&] { return api.iso15693ReadBlock(h, kUid8, 0, rx, nullptr); },
        [&] { return api.iso15693WriteBlock(h, kUid8, 0, nullptr, 1, rx, &len, false); },
        [&] { return api.iso15693WriteBlock(h, kUid8, 0, kData16, 1, nullptr, &len, false); },
        [&] { return api.iso15693WriteBlock(h, kUid8, 0, kData16, 1, rx, nullptr, false); },
        [&] { return api.iso15693TxRxNBytes(h, nullptr, 1, rx, &len, 0); },
        [&] { return api.iso15693TxRxNBytes(h, kData16, 1, nullptr, &len, 0); },
        [&] { return api.iso15693TxRxNBytes(h, kData16, 1, rx, nullptr, 0); },
        [&] { return api.iso15693PhyTxRxNBytes(h, nullptr, 1, rx, &len, 0); },
        [&] { return api.iso15693PhyTxRxNBytes(h, kData16, 1, rx, nullptr, 0); },
        [&] { return api.felicaPoll(h, 0, 0, 0, 0, nullptr, &n, &n); },
        [&] { return api.felicaPoll(h, 0, 0, 0, 0, list, nullptr, &n); },
        [&] { return api.felicaPoll(h, 0, 0, 0, 0, list, &n, nullptr); },
        [&] { return api.felicaTxRxNBytes(h, nullptr, 1, rx, &len); },
        [&] { return api.felicaTxRxNBytes(h, kData16, 1, nullptr, &len); },
        [&] { return api.felicaTxRxNBytes(h, kData16, 1, rx, nullptr); },
        [&] { return api.kovioRead(h, nullptr, &len); },
        [&] { return api.kovioRead(h, rx, nullptr); },
        [&] { return api.mifareAuthenticate(h, 0, nullptr, 4, kKey, true); },
        [&] { return api.mifareAuthenticate(h, 0, kUid8, 4, nullptr, true); },
        [&] { return api.mifareSendRequest(h, nullptr, 1, rx, &len); },
        [&] { return api.mifareSendRequest(h, rx, 1, nullptr, &len); },
        [&] { return api.mifareSendRequest(h, rx, 1, rx, nullptr); },
        [&] { return api.mifareReadBlock(h, 0, nullptr, &len); },
        [&] { return api.mifareReadBlock(h, 0, rx, nullptr); },
        [&] { return api.mifareWriteBlock(h, 0, nullptr, 16); },
        [&] { return api.mifareWriteBlock(h, 0, kData16, 15); },
        [&] { return api.mifareWriteBlock(h, 0, kData16, 17); },
        [&] { return api.mifareWriteBlock(h, 0, nullptr, 0); },
        [&] { return api.mifareUlRead4Pages(h, 0, nullptr, &len); },
        [&] { return api.mifareUlRead4Pages(h, 0, rx, nullptr); },
        [&] { return api.mifareUlWritePage(h, 0, nullptr, 4); },
        [&] { return api.nfcTxNBytes(h, nullptr, 1); },
        [&] { return api.nfcRxNBytes(h, nullptr, &len); },
        [&] { return api.nfcRxNBytes(h, rx, nullptr); },
        [&] { return api.topazInventory(h, nullptr, rx, rx); },
        [&] { return api.topazInventory(h, rx, nullptr, rx); },
        [&] { return api.topazInventory(h, rx, rx, nullptr); },
        [&] { return api.topazReadUID(h, nullptr, rx); },
        [&] { return api.topazReadUID(h, rx, nullptr); },
        [&] { return api.topazReadAll(h, nullptr, rx, &len); },
        [&] { return api.topazReadAll(h, kPupi, nullptr, &len); },
        [&] { return api.topazReadAll(h, kPupi, rx, nullptr); },
        [&] { return api.topazWriteByte(h, nullptr, 0, 0); },
        // One byte over a telegram: command byte and parameters above 1088.
        [&] { return api.iso15693WriteBlock(h, kUid8, 0, big, 1078, rx, &len, false); },
        [&] { return api.iso15693WriteBlock(h, nullptr, 0, big, std::size_t{1} << 40, rx, &len, false); },
        [&] { return api.iso15693TxRxNBytes(h, big, 1086, rx, &len, 0); },
        [&] { return api.iso15693PhyTxRxNBytes(h, big, 1086, rx, &len, 0); },
        [&] { return api.felicaTxRxNBytes(h, big, 1088, rx, &len); },
        [&] { return api.mifareAuthenticate(h, 0, big, 1080, kKey, false); },
        [&] { return api.mifareSendRequest(h, big, 1088, rx, &len); },
        [&] { return api.mifareUlWritePage(h, 0, big, 1087); },
        [&] { return api.nfcTxNBytes(h, big, 1088); },
    };
    for (std::size_t k = 0; k < calls.size(); ++k) {
        len = sizeof rx;
        n = 1;
        EXPECT_EQ(calls[k](), ParameterError) << k;
    }
    EXPECT_TRUE(model->telegrams().empty());
    EXPECT_TRUE(hidsim::calls(hidsim::Fn::Write).empty());
    // The largest telegrams go through, and the link stays clear.
    len = sizeof rx;
    EXPECT_EQ(api.iso15693WriteBlock(h, kUid8, 0, big, 1077, rx, &len, false), 0);
    len = sizeof rx;
    EXPECT_EQ(api.iso15693TxRxNBytes(h, big, 1085, rx, &len, 0), 0);
    EXPECT_EQ(api.mifareAuthenticate(h, 0, big, 1079, kKey, false), 0);
    EXPECT_EQ(api.nfcTxNBytes(h, big, 1087), 0);
    EXPECT_EQ(commands().size(), 4u);
    EXPECT_EQ(api.checkConnection(h), 0);
}

} // namespace
} // namespace board_link::test

// Board answers of any status, length and content into the board operations,
// those of the RF layer and those of the tag families: the fuzzer picks the
// operation, the status, the capacities and the answer bytes; every output
// buffer is a heap block of exactly its size, so a copy past a capacity or past
// the answer shows, and every in-out length must end within its capacity.
//
// Input: [operation][status][capacity high][capacity low][count][answer bytes...]
#include "board_variant.h"

#include <boardsim/board.h>
#include <boardsim/telegram_board.h>
#include <hidsim/hidsim.h>
#include <KXx0EVALOComm.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace {

struct Session {
    Session() {
        hidsim::reset();
        board = std::make_shared<boardsim::Board>();
        model = std::make_unique<boardsim::TelegramBoard>(board);
        boardsim::plug(board, KX20_PRODUCT_ID);
        handle = GetKX10();
        if (handle == nullptr) std::abort();
    }
    std::shared_ptr<boardsim::Board> board;
    std::unique_ptr<boardsim::TelegramBoard> model;
    KXx0HANDLE handle;
};

template <typename T> std::unique_ptr<T[]> block(std::size_t n) {
    return std::unique_ptr<T[]>(n == 0 ? nullptr : new T[n]);
}

// Every command byte the operations send, the bit-rate commands of both boards included.
constexpr std::uint8_t kCommands[] = {
    0x15, 0x18, 0x19, 0x20, 0x21, 0x23, 0x45, 0x50, 0x51, 0x52, 0x53, 0x54, 0x55, 0x56, 0x58, 0x59, 0x80,
    0x81, 0x8F, 0x90, 0x91, 0x92, 0x93, 0x95, 0x9F, 0xA0, 0xA1, 0xA3, 0xA4, 0xA5, 0xA6, 0xA7, 0xA8, 0xAF,
    0xB0, 0xB1, 0xB2, 0xB3, 0xB4, 0xBF, 0xC0, 0xC1, 0xC2, 0xC4, 0xC5, 0xCF, 0xD0, 0xD2, 0xD3, 0xD4, 0xD5,
    0xD6, 0xD7, 0xD8, 0xDD, 0xDE, 0xDF, 0xE0, 0xE1, 0xE2, 0xE3, 0xE5, 0xE6, 0xEF, 0xF0, 0xF1, 0xF2, 0xFF};

using InOutOperation = KXx0ComError (*)(KXx0HANDLE, char*, std::size_t*);

// An operation with an in-out buffer: an exact block, a length that ends within it.
void inOut(KXx0HANDLE h, std::size_t capacity, InOutOperation operation) {
    auto rx = block<char>(capacity);
    auto rxLen = std::make_unique<std::size_t>(capacity);
    operation(h, rx.get(), rxLen.get());
    if (*rxLen > capacity) std::abort();
}

const char kUid[8] = {1, 2, 3, 4, 5, 6, 7, 8};

// The tag-family operations that read an answer; `which` picks one.
void tagOperation(KXx0HANDLE h, std::uint8_t which, std::size_t capacity, std::uint8_t count) {
    switch (which % 24) {
    case 0: {
        auto uid = block<char>(capacity % 16);
        auto uidLen = std::make_unique<std::size_t>(capacity % 16);
        auto atqa = block<char>(2);
        auto sak = block<char>(1);
        iso14443aSelect(h, 0x26, true, uid.get(), uidLen.get(), atqa.get(), sak.get());
        if (*uidLen > capacity % 16) std::abort();
        break;
    }
    case 1:
        inOut(h, capacity,
              [](KXx0HANDLE x, char* rx, std::size_t* n) { return iso14443aRATS(x, 0, 0, rx, n); });
        break;
    case 2:
        inOut(h, capacity, [](KXx0HANDLE x, char* rx, std::size_t* n) {
            return iso14443aPPS(x, 0, 848, 212, true, rx, n);
        });
        break;
    case 3:
        inOut(h, capacity, iso14443aHalt);
        inOut(h, capacity, iso14443aDeselect);
        break;
    case 4: {
        auto out = block<char>(11);
        iso14443bSelect(h, true, 0, 0, out.get());
        break;
    }
    case 5:
        inOut(h, capacity, [](KXx0HANDLE x, char* rx, std::size_t* n) {
            return iso14443bWriteAttrb(x, kUid, 1, 2, 8, 0, 0, rx, n);
        });
        inOut(h, capacity,
              [](KXx0HANDLE x, char* rx, std::size_t* n) { return iso14443bHalt(x, kUid, rx, n); });
        inOut(h, capacity, iso14443bDeselect);
        break;
    case 6: {
        auto entries = block<Iso15693InventoryEntry>(count);
        auto n = std::make_unique<std::size_t>(count);
        iso15693sendInventoryRequest(h, count & 1, entries.get(), n.get());
        if (*n > count) std::abort();
        break;
    }
    case 7:
        inOut(h, capacity, [](KXx0HANDLE x, char* rx, std::size_t* n) {
            return iso15693GetSystemInformation(x, nullptr, rx, n);
        });
        break;
    case 8:
        inOut(h, capacity,
              [](KXx0HANDLE x, char* rx, std::size_t* n) { return iso15693ReadBlock(x, kUid, 1, rx, n); });
        break;
    case 9:
        inOut(h, capacity, [](KXx0HANDLE x, char* rx, std::size_t* n) {
            return iso15693WriteBlock(x, nullptr, 1, kUid, 4, rx, n, true);
        });
        break;
    case 10:
        inOut(h, capacity, [](KXx0HANDLE x, char* rx, std::size_t* n) {
            return iso15693TxRxNBytes(x, kUid, 2, rx, n, 0x0102);
        });
        inOut(h, capacity, [](KXx0HANDLE x, char* rx, std::size_t* n) {
            return iso15693PhyTxRxNBytes(x, kUid, 2, rx, n, 0x0102);
        });
        break;
    case 11: {
        auto list = block<FelicaPollEntry>(count);
        auto n = std::make_unique<std::size_t>(count);
        auto collisions = std::make_unique<std::size_t>(0);
        felicaPoll(h, 1, 2, 3, 4, list.get(), n.get(), collisions.get());
        if (*n > count) std::abort();
        break;
    }
    case 12:
        inOut(h, capacity,
              [](KXx0HANDLE x, char* rx, std::size_t* n) { return felicaTxRxNBytes(x, kUid, 3, rx, n); });
        break;
    case 13: inOut(h, capacity, kovioRead); break;
    case 14:
        inOut(h, capacity, [](KXx0HANDLE x, char* rx, std::size_t* n) {
            static char tx[] = {0x30, 0x04};
            return mifareSendRequest(x, tx, sizeof tx, rx, n);
        });
        break;
    case 15:
        inOut(h, capacity,
              [](KXx0HANDLE x, char* rx, std::size_t* n) { return mifareReadBlock(x, 4, rx, n); });
        break;
    case 16:
        inOut(h, capacity,
              [](KXx0HANDLE x, char* rx, std::size_t* n) { return mifareUlRead4Pages(x, 4, rx, n); });
        break;
    case 17: inOut(h, capacity, nfcRxNBytes); break;
    case 18: {
        auto first = block<char>(2);
        auto second = block<char>(2);
        auto third = block<char>(4);
        topazInventory(h, first.get(), second.get(), third.get());
        break;
    }
    case 19: {
        auto uid = block<char>(4);
        auto second = block<char>(2);
        topazReadUID(h, uid.get(), second.get());
        break;
    }
    case 20:
        inOut(h, capacity,
              [](KXx0HANDLE x, char* rx, std::size_t* n) { return topazReadAll(x, kUid, rx, n); });
        break;
    case 21:
        mifareAuthenticate(h, 4, kUid, count % 9, kUid, (count & 0x80) != 0);
        mifareWriteBlock(h, 4, nullptr, 0);
        mifareUlLockPage(h, count);
        break;
    case 22:
        iso14443aInit(h);
        iso14443bInit(h);
        iso15693Initialise(h, count, true);
        felicaInitialize(h);
        kovioInitialise(h);
        mifareInit(h);
        nfcInitialize(h, true, true, count, count);
        topazInitialise(h);
        iso15693StayQuiet(h, nullptr);
        iso15693Select(h, kUid);
        nfcTxNBytes(h, kUid, count % 9);
        nfcSetTxBitrate(h, count);
        nfcSetRxBitrate(h, count);
        topazWriteByte(h, kUid, count, count);
        mifareUlWritePage(h, count, kUid, 4);
        break;
    default:
        iso14443aDeinit(h, true);
        iso14443bDeinit(h, true);
        iso15693Deinit(h, true);
        felicaDeInitialize(h, true);
        kovioDeinit(h, true);
        mifareDeinit(h, true);
        nfcDeInitialize(h);
        topazDeinit(h, true);
        break;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Session session;
    if (size < 5) return 0;
    const std::uint8_t operation = data[0];
    const std::uint8_t status = data[1];
    const std::size_t capacity = static_cast<std::size_t>(data[2]) << 8 | data[3];
    const std::uint8_t count = data[4];
    const boardsim::Bytes answer(data + 5, data + std::min<std::size_t>(size, 5 + 1100));
    for (std::uint8_t command : kCommands)
        session.model->setCommand(command, boardsim::CommandReply{status, answer});
    KXx0HANDLE h = session.handle;

    std::uint16_t rcvLen = 0;
    const std::size_t cap16 = capacity & 0xFFFF;
    const std::uint8_t cap8 = static_cast<std::uint8_t>(capacity);
    // Operations 14 and up are the tag families'.
    switch (operation < 14 ? operation : 14) {
    case 0: {
        auto rx = block<std::uint8_t>((cap16 + 7) / 8);
        mosaGetTransceiveStatus(h, rx.get(), static_cast<std::uint16_t>(cap16), &rcvLen);
        break;
    }
    case 1: {
        auto rx = block<std::uint8_t>(cap16);
        mosaTransceiveBlockingRx(h, rx.get(), static_cast<std::uint16_t>(cap16), &rcvLen);
        break;
    }
    case 2: {
        auto rx = block<std::uint8_t>(cap16);
        mosaTransceiveBlockingTxRx(h, nullptr, 0, rx.get(), static_cast<std::uint16_t>(cap16), &rcvLen, 0, 0);
        break;
    }
    case 3: {
        auto rx = block<std::uint8_t>(cap8);
        mosaISO14443ATransceiveShortFrame(h, 0x26, rx.get(), cap8, &rcvLen, 0);
        break;
    }
    case 4: {
        std::uint8_t bytes = count % 8;
        std::uint8_t bits = cap8 % 8;
        auto frame = block<std::uint8_t>(bytes + 5u + (bits != 0 ? 1u : 0u));
        std::memset(frame.get(), 0, bytes + 5u + (bits != 0 ? 1u : 0u));
        mosaISO14443ATransceiveAnticollisionFrame(h, frame.get(), &bytes, &bits, &rcvLen, 0);
        break;
    }
    case 5: {
        auto rx = block<std::uint8_t>(cap8);
        mosaISO15693TransceiveAnticollisionFrame(h, nullptr, 0, rx.get(), cap8, &rcvLen);
        break;
    }
    case 6: {
        auto rx = block<std::uint8_t>(cap8);
        mosaISO15693TransceiveAnticollisionEOF(h, rx.get(), cap8, &rcvLen);
        break;
    }
    case 7: {
        auto rx = block<std::uint8_t>(cap8);
        mosaISO15693TransceiveEOF(h, rx.get(), cap8, &rcvLen);
        break;
    }
    case 8: {
        auto list = block<FelicaPollEntry>(count);
        auto devices = std::make_unique<std::uint8_t>();
        auto collisions = std::make_unique<std::uint8_t>();
        mosaFeliCaPoll(h, 1, 0xFFFF, 0, list.get(), count, devices.get(), collisions.get());
        break;
    }
    case 9: {
        auto amplitude = std::make_unique<double>();
        auto phase = std::make_unique<double>();
        antennaGetVector(h, amplitude.get(), phase.get());
        antennaRecalibrate(h);
        break;
    }
    case 10: {
        auto first = std::make_unique<std::uint8_t>();
        auto second = std::make_unique<std::uint8_t>();
        pollInterrupt(h, count, first.get(), second.get());
        break;
    }
    case 11: {
        auto answerValue = std::make_unique<int>(0);
        directCommand(h, count, answerValue.get());
        break;
    }
    case 12: {
        auto rx = block<char>(capacity);
        auto rxLen = std::make_unique<std::size_t>(capacity);
        auto value = std::make_unique<std::uint32_t>();
        txrxBytes(h, nullptr, 0, rx.get(), rxLen.get(), value.get());
        if (*rxLen > capacity) std::abort();
        break;
    }
    case 13: {
        int first = 0;
        int second = 0;
        antennaGetTriTre(h, &first, &second);
        break;
    }
    default: tagOperation(h, static_cast<std::uint8_t>(operation - 14), capacity, count); break;
    }
    // Whatever happened, the next input starts with a clear link and empty records.
    checkConnection(h);
    hidsim::clearCalls();
    session.model->clearRecord();
    return 0;
}

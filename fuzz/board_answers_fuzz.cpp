// Board answers of any status, length and content into the board operations:
// the fuzzer picks the operation, the status, the capacities and the answer
// bytes; every output buffer is a heap block of exactly its size, so a copy
// past a capacity or past the answer shows.
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

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Session session;
    if (size < 5) return 0;
    const std::uint8_t operation = data[0];
    const std::uint8_t status = data[1];
    const std::size_t capacity = static_cast<std::size_t>(data[2]) << 8 | data[3];
    const std::uint8_t count = data[4];
    const boardsim::Bytes answer(data + 5, data + std::min<std::size_t>(size, 5 + 1100));
    for (std::uint8_t command :
         {0x15, 0x18, 0x20, 0x21, 0x23, 0x50, 0x51, 0x52, 0x53, 0x54, 0x55, 0x56, 0x58, 0x59})
        session.model->setCommand(command, boardsim::CommandReply{status, answer});
    KXx0HANDLE h = session.handle;

    std::uint16_t rcvLen = 0;
    const std::size_t cap16 = capacity & 0xFFFF;
    const std::uint8_t cap8 = static_cast<std::uint8_t>(capacity);
    switch (operation % 14) {
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
    default: {
        int first = 0;
        int second = 0;
        antennaGetTriTre(h, &first, &second);
        break;
    }
    }
    // Whatever happened, the next input starts with a clear link and empty records.
    checkConnection(h);
    hidsim::clearCalls();
    session.model->clearRecord();
    return 0;
}

#include "board_reader.h"

#include "iso14443a_pcd.h"
#include "iso14443qb_pcd.h"
#include "trace_log.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace vemlasdknative {

namespace {

constexpr int kCollisionStatus = 29;  // RF_collisionError
constexpr int kIncompleteStatus = 40; // Incomplete_byteError: a 4-bit answer
constexpr byte_t kCollisionMark = 0x21;

// Frame delays, guard time and frame wait times in carrier cycles.
constexpr std::uint32_t kFdtIso15693 = MOSA_FDT_LISTEN_NFCV_POLLER;
constexpr std::uint32_t kFdtListenA = MOSA_FDT_LISTEN_NFCA_LISTENER;
constexpr std::uint32_t kFdtListenB = MOSA_FDT_LISTEN_NFCB_LISTENER;
constexpr std::uint32_t kFdtPoll14443 = MOSA_FDT_POLL_NFCA_POLLER;
constexpr std::uint32_t kGuardTime = MOSA_GT_NFCA;
constexpr std::uint32_t kFwtShortFrame = 1620;
constexpr std::uint32_t kFwtBlockingA = 1356000; // 100 ms
constexpr std::uint32_t kFwtIso15693 = 1356000;
constexpr std::uint32_t kFwtB = 678000; // 50 ms

constexpr std::uint8_t kModeNfcA = MOSA_MODE_POLL_NFCA;
constexpr std::uint8_t kModeNfcB = MOSA_MODE_POLL_NFCB;
constexpr std::uint8_t kModeNfcV = MOSA_MODE_POLL_NFCV;
constexpr std::uint8_t kRateIso15693Tx = MOSA_BR_26p48;
constexpr std::uint8_t kRateIso15693Fast = MOSA_BR_52p97;
constexpr byte_t kHighestRate = MOSA_BR_6780;

constexpr int kShortFrameCapacity = 100;
constexpr std::size_t kAnticollisionFrame = 7; // 2 header bytes and 5 answer bytes
constexpr int kEofCapacity = 255;              // the operation's capacity is one byte
constexpr std::size_t kHaltAnswer = 50;
constexpr std::size_t kUidSlot = 10;
constexpr std::uint8_t kRequestA = 0x26;
constexpr std::size_t kVersionName = 64;

// The receive room a transfer may use: the caller's length, within the
// buffer and the board's receive maximum.
int receiveRoom(const Buffer& rx) {
    return std::clamp(rx.length, 0, std::min(rx.capacity(), BoardReader::kMaxReceive));
}

bool isRequestA(byte_t command) {
    return command == 0x26 || command == 0x52;
}

bool isFirstAnticollisionFrame(const Buffer& tx) {
    return tx.length >= 2 && (tx.buf[0] == 0x93 || tx.buf[0] == 0x95 || tx.buf[0] == 0x97) &&
           tx.buf[1] == 0x20;
}

void writeText(char* text, const char* value) {
    if (text != nullptr) std::snprintf(text, kVersionTextSize, "%s", value);
}

} // namespace

BoardReader::BoardReader() {
    max_tx_buffer = kMaxTransmit;
    max_rx_buffer = kMaxReceive;
}

bool BoardReader::boardGone() {
    KXx0HANDLE board = boardHandle();
    return kxx0Entries.checkConnection != nullptr && board != nullptr &&
           kxx0Entries.checkConnection(board) != 0;
}

bool BoardReader::Connect() {
    KXx0HANDLE& board = boardHandle();
    if (board != nullptr) {
        if (!boardGone()) return true;
        if (kxx0Entries.ReleaseKX10 != nullptr) kxx0Entries.ReleaseKX10(board);
        board = nullptr;
    }
    if (moduleHandle() == nullptr || kxx0Entries.GetKX10 == nullptr) return false;
    board = kxx0Entries.GetKX10();
    return board != nullptr;
}

void BoardReader::Disconnect() {
    KXx0HANDLE& board = boardHandle();
    if (board != nullptr && kxx0Entries.ReleaseKX10 != nullptr) kxx0Entries.ReleaseKX10(board);
    board = nullptr;
}

bool BoardReader::firmwareVersion(std::uint32_t& version) {
    version = 0;
    return call(kxx0Entries.getFirmwareVersion, &version) == 0;
}

bool BoardReader::GetFirmwareVersion(char* text) {
    if (boardHandle() == nullptr) return false;
    std::uint32_t v = 0;
    if (!firmwareVersion(v)) {
        writeText(text, "");
        return false;
    }
    if (text != nullptr)
        std::snprintf(text, kVersionTextSize, "%u.%u.%u", v >> 16, (v >> 8) & 0xFF, v & 0xFF);
    // The library writes at most 50 and 10 bytes, unterminated at the limit.
    char name[kVersionName] = {};
    char version[kVersionName] = {};
    if (kxx0Entries.getVersion != nullptr && kxx0Entries.getVersion(name, version) == 0) {
        name[kVersionName - 1] = '\0';
        version[kVersionName - 1] = '\0';
        traceLog.Dbg("%s %s\n", name, version);
    }
    return true;
}

byte_t BoardReader::setModeFailed() {
    if (!boardGone()) return kModeFailed;
    traceLog.Dbg("Board disconnected!");
    return kModeBoardGone;
}

byte_t BoardReader::SetMode(byte_t* mode) {
    if (boardHandle() == nullptr || mode == nullptr) return kModeFailed;
    const int err = selected_protocol == FIELD_OFF ? call(kxx0Entries.mosaInitialize) : 0;
    selected_protocol = GetProtocol(mode);
    switch (selected_protocol) {
    case FIELD_OFF: return static_cast<byte_t>(call(kxx0Entries.mosaFieldOff));
    case ISO15693: mAppendCrc = SetCrcMode(mode); return setUpIso15693(prepare15693(err), mode);
    case ISO14443A: mAppendCrc = SetCrcMode(mode); return setUpIso14443(err, mode, kModeNfcA, kFdtListenA);
    case ISO14443B: mAppendCrc = SetCrcMode(mode); return setUpIso14443(err, mode, kModeNfcB, kFdtListenB);
    default: return setModeFailed();
    }
}

byte_t BoardReader::setUpIso15693(int err, const byte_t* mode) {
    const std::uint8_t rxRate = param15693_use_fast_rx_data_rate(mode) ? kRateIso15693Fast : kRateIso15693Tx;
    if (err != 0 || call(kxx0Entries.mosaSetMode, kModeNfcV, kRateIso15693Tx, rxRate) != 0)
        return setModeFailed();
    // The board sets these up whatever it answers.
    call(kxx0Entries.mosaSetFDTListen, kFdtIso15693);
    call(kxx0Entries.mosaSetFDTPoll, kFdtIso15693);
    call(kxx0Entries.mosaSetGT, kGuardTime);
    call(kxx0Entries.mosaFieldOnAndStarGT);
    return kModeSet;
}

byte_t BoardReader::setUpIso14443(int err, const byte_t* mode, std::uint8_t boardMode,
                                  std::uint32_t listenDelay) {
    // A rate byte past the rate table sets nothing up.
    if (err != 0 || params14443_tx_data_rate(mode) > kHighestRate ||
        params14443_rx_data_rate(mode) > kHighestRate)
        return setModeFailed();
    const auto tx = static_cast<std::uint8_t>(speed_14443[params14443_tx_data_rate(mode)]);
    const auto rx = static_cast<std::uint8_t>(speed_14443[params14443_rx_data_rate(mode)]);
    const bool set = call(kxx0Entries.mosaSetMode, boardMode, tx, rx) == 0 &&
                     call(kxx0Entries.mosaSetBitrate, tx, rx) == 0 &&
                     call(kxx0Entries.mosaSetFDTListen, listenDelay) == 0 &&
                     call(kxx0Entries.mosaSetFDTPoll, kFdtPoll14443) == 0 &&
                     call(kxx0Entries.mosaSetGT, kGuardTime) == 0 &&
                     call(kxx0Entries.mosaFieldOnAndStarGT) == 0;
    return set ? kModeSet : setModeFailed();
}

RfReaderBase::ReaderStatus BoardReader::transferFailed(Buffer* rx) {
    rx->length = 0;
    return boardGone() ? DISCONNECTED : DEFAULT_ERROR;
}

RfReaderBase::ReaderStatus BoardReader::transferDone(int status, int received, Buffer* rx,
                                                     bool acceptIncomplete) {
    if (status == 0 || (acceptIncomplete && status == kIncompleteStatus && received == 1)) {
        rx->length = received;
        return TRANSFER_OK;
    }
    if (status == kCollisionStatus) {
        if (rx->length > 0) {
            rx->buf[0] = kCollisionMark;
            rx->length = 1;
        }
        return COLLISION_DETECTED;
    }
    return transferFailed(rx);
}

RfReaderBase::ReaderStatus BoardReader::blockingTransfer(const Buffer& tx, Buffer* rx, std::uint32_t flags,
                                                         std::uint32_t fwt, bool acceptIncomplete) {
    const int room = rx->length;
    std::uint16_t reported = 0;
    const int status =
        call(kxx0Entries.mosaTransceiveBlockingTxRx, tx.buf, static_cast<std::uint16_t>(tx.length), rx->buf,
             static_cast<std::uint16_t>(room), &reported, flags, fwt);
    return transferDone(status, std::min<int>(reported, room), rx, acceptIncomplete);
}

RfReaderBase::ReaderStatus BoardReader::transceiveIso14443a(const Buffer& tx, Buffer* rx) {
    const int room = rx->length;
    std::uint16_t reported = 0;
    if (isRequestA(tx.buf[0])) {
        const int capacity = std::min(kShortFrameCapacity, room);
        const int status = call(kxx0Entries.mosaISO14443ATransceiveShortFrame, tx.buf[0], rx->buf,
                                static_cast<std::uint8_t>(capacity), &reported, kFwtShortFrame);
        return transferDone(status, std::min(reported / 8, capacity), rx, false);
    }
    if (isFirstAnticollisionFrame(tx)) {
        // The board writes the frame back, its two header bytes first.
        std::vector<byte_t> frame(std::max(kAnticollisionFrame, static_cast<std::size_t>(tx.length)));
        std::copy_n(tx.buf, tx.length, frame.begin());
        std::uint8_t bytes = 2;
        std::uint8_t bits = 0;
        const int status = call(kxx0Entries.mosaISO14443ATransceiveAnticollisionFrame, frame.data(), &bytes,
                                &bits, &reported, kFwtShortFrame);
        const int received = std::min({reported / 8, static_cast<int>(frame.size()) - 2, room});
        std::copy_n(frame.begin() + 2, received, rx->buf);
        return transferDone(status, received, rx, false);
    }
    // The board adds and removes the CRC; a 4-bit acknowledge counts as an answer.
    return blockingTransfer(tx, rx, MOSA_TXRX_FLAGS_CRC_TX_AUTO, kFwtBlockingA, true);
}

RfReaderBase::ReaderStatus BoardReader::Transceive(const Buffer& tx, byte_t /*pcd*/, Buffer* rx) {
    if (tx.length > kMaxTransmit || rx == nullptr) return DEFAULT_ERROR;
    rx->length = receiveRoom(*rx);
    if (tx.length <= 0 || tx.buf == nullptr) return transferFailed(rx);
    const std::uint32_t crcFlags = mAppendCrc ? MOSA_TXRX_FLAGS_CRC_TX_AUTO : MOSA_TXRX_FLAGS_CRC_TX_MANUAL;
    switch (selected_protocol) {
    case ISO15693: return blockingTransfer(tx, rx, crcFlags, kFwtIso15693, false);
    case ISO14443A: return transceiveIso14443a(tx, rx);
    case ISO14443B: return blockingTransfer(tx, rx, crcFlags, kFwtB, false);
    case FIELD_OFF: traceLog.Dbg("ERROR: Field is Off during Transceive\n"); return DEFAULT_ERROR;
    default: traceLog.Dbg("ERROR: Unsupported protocol %d\n", selected_protocol); return DEFAULT_ERROR;
    }
}

RfReaderBase::ReaderStatus BoardReader::Transceive(const Buffer& tx, Buffer* rx) {
    return Transceive(tx, 0, rx);
}

RfReaderBase::ReaderStatus BoardReader::Transceive14443a(byte_t /*frameMode*/, const Buffer& tx, Buffer* rx) {
    return Transceive(tx, 0, rx);
}

int BoardReader::selectTag(byte_t* uid, byte_t length) {
    return Iso14443ACommands().Iso14443aSelectTag(uid, length);
}

int BoardReader::deselectTag(byte_t* uid) {
    return Iso14443ACommands().Iso14443aDeselectTag(uid);
}

RfReaderBase::ReaderStatus BoardReader::SendReqA(Buffer* rx) {
    return Iso14443aIntoBuffer(&Iso14443ACommands::Iso14443aReqA, rx);
}

RfReaderBase::ReaderStatus BoardReader::SendWupA(Buffer* rx) {
    return Iso14443aIntoBuffer(&Iso14443ACommands::Iso14443aWupA, rx);
}

RfReaderBase::ReaderStatus BoardReader::SendHltA(Buffer* rx) {
    if (rx == nullptr) return DEFAULT_ERROR;
    const int room = std::clamp(rx->length, 0, rx->capacity());
    std::size_t length = static_cast<std::size_t>(room);
    if (call(kxx0Entries.iso14443aHalt, reinterpret_cast<char*>(rx->buf), &length) != 0) return DEFAULT_ERROR;
    rx->length = static_cast<std::int32_t>(std::min(length, static_cast<std::size_t>(room)));
    return TRANSFER_OK;
}

RfReaderBase::ReaderStatus BoardReader::SendEof(Buffer* rx) {
    if (rx == nullptr) return DEFAULT_ERROR;
    const int room = std::min(std::clamp(rx->length, 0, rx->capacity()), kEofCapacity);
    std::uint16_t reported = 0;
    if (call(kxx0Entries.mosaISO15693TransceiveAnticollisionEOF, rx->buf, static_cast<std::uint8_t>(room),
             &reported) != 0) {
        rx->length = 0;
        return DEFAULT_ERROR;
    }
    rx->length = std::min<int>(reported, room);
    return TRANSFER_OK;
}

int BoardReader::DllTxRx(const Buffer& tx, byte_t* rx) {
    if (tx.buf == nullptr || rx == nullptr) return 0;
    Buffer received(max_rx_buffer);
    if (Transceive(tx, &received) != TRANSFER_OK) return 0;
    std::copy_n(received.buf, received.length, rx);
    return received.length;
}

void BoardReader::Inventory(std::vector<Uid>& uids) {
    switch (selected_protocol) {
    case ISO14443A: inventoryIso14443a(uids); break;
    case ISO14443B: AppendQbInventory(uids); break;
    case ISO15693: inventoryIso15693(uids); break;
    default: break;
    }
}

void BoardReader::inventoryIso14443a(std::vector<Uid>& uids) {
    for (int found = 0; found < kMaxInventoryTags;) {
        char uid[kUidSlot] = {};
        std::size_t uidLength = kUidSlot;
        char atqa[2] = {};
        char sak[1] = {};
        if (call(kxx0Entries.iso14443aSelect, kRequestA, true, uid, &uidLength, atqa, sak) != 0) return;
        uids.emplace_back(reinterpret_cast<const byte_t*>(uid),
                          static_cast<std::int32_t>(std::min(uidLength, kUidSlot)));
        ++found;
        char answer[kHaltAnswer] = {};
        std::size_t answerLength = kHaltAnswer;
        if (call(kxx0Entries.iso14443aHalt, answer, &answerLength) != 0) return;
    }
}

void BoardReader::inventoryIso15693(std::vector<Uid>& uids) {
    Iso15693InventoryEntry entries[kMaxInventoryTags] = {};
    std::size_t count = kMaxInventoryTags;
    int status = kNotCalled;
    if (oneSlotFirst()) status = call(kxx0Entries.iso15693sendInventoryRequest, 0, entries, &count);
    if (status != 0) {
        count = kMaxInventoryTags;
        status = call(kxx0Entries.iso15693sendInventoryRequest, 1, entries, &count);
    }
    if (status != 0) return;
    const int found = std::min(static_cast<int>(static_cast<std::uint8_t>(count)), kMaxInventoryTags);
    for (int i = 0; i < found; ++i) {
        byte_t uid[sizeof entries[i].uid];
        std::reverse_copy(std::begin(entries[i].uid), std::end(entries[i].uid), uid);
        uids.emplace_back(uid, static_cast<std::int32_t>(sizeof uid));
    }
}

} // namespace vemlasdknative

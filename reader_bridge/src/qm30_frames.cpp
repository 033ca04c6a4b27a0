// The dongle's frame exchange: frames to the transceiver's send-and-receive
// command (code 4), its answers {result code, length byte, payload} decoded by
// protocol, the ISO 15693 end of frame and the controller's firmware
// inventory. Every answer is converted into a work area of its own size, and
// every length the answer states is checked against the bytes it brought.
#include "iso14443a_pcd.h"
#include "iso15693_pcd.h"
#include "lib_PCD.h"
#include "qm30.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

namespace vemlasdknative {

namespace {

constexpr std::int8_t kSendReceiveCode = 4;
constexpr std::int8_t kPcdOk = PCD_OK;
constexpr std::int8_t kPcdAck = PCD_ACK;
constexpr std::int8_t kPcdNack = PCD_NACK;

// Transmission flags (ISO 14443-A): the transceiver appends CRC_A; 8 valid bits.
constexpr byte_t kFlagAppendCrc = 0x20;
constexpr byte_t kFlagCrcWhole = 0x28;
constexpr byte_t kFlagWhole = 0x08;

// Before the payload: the result code and the length byte.
constexpr int kHead = 2;
// ISO 14443-A status bytes after the data (and CRC): S1, S2, S3.
constexpr int kStatusBytes = 3;
constexpr int kCrcBytes = 2;
constexpr byte_t kS1Collision = 0x80;
constexpr byte_t kBitIndex = 0x0F;
// ISO 15693: the status byte's collision bit, and the mark a collision leaves
// in the first data byte.
constexpr byte_t kVicinityCollision = 0x01;
constexpr byte_t kCollisionMark = 0x21;
// End of frame: a last payload byte of 3 is a collision; the data of answers
// of 4 to 34 bytes are passed on.
constexpr byte_t kEofCollision = 3;
constexpr int kEofShortest = 4;
constexpr int kEofLongest = 34;

// Work areas: the receive maximum and what surrounds the data.
constexpr int kWork14443 = Qm30::kMaxLength + 7;
constexpr int kWork15693 = Qm30::kMaxLength + 5;
// What one input report brings back: result, length and 61 data bytes.
constexpr int kReportAnswer = 64;

constexpr byte_t kHltA = 0x50;
constexpr int kEntryBytes = 9;
constexpr int kEntriesAt = 3;

using Status = RfReaderBase::ReaderStatus;

// The payload length L by the result code (0x80 and 0x90 the length byte,
// 0xA0 from 256, 0xC0 from 512); -1 for any other code, and when the payload
// runs past the `received` bytes of the answer.
int payloadLength(const byte_t* answer, int received) {
    int base = 0;
    switch (answer[0]) {
    case 0x80:
    case 0x90: base = 0; break;
    case 0xA0: base = 256; break;
    case 0xC0: base = 512; break;
    default: return -1;
    }
    const int length = base + answer[1];
    return kHead + length <= received ? length : -1;
}

bool validFrame(const Buffer& tx) {
    return tx.length >= 0 && (tx.length == 0 || tx.buf != nullptr);
}

int room(const Buffer& rx) {
    return std::clamp(rx.length, 0, rx.capacity());
}

// n bytes to the start of rx; an answer rx cannot hold is refused whole.
Status deliver(const byte_t* data, int n, Buffer* rx, Status status) {
    if (n > room(*rx)) return RfReaderBase::DEFAULT_ERROR;
    if (n > 0) std::memcpy(rx->buf, data, static_cast<std::size_t>(n));
    rx->length = n;
    return status;
}

} // namespace

RfReaderBase::ReaderStatus Qm30::Transceive(const Buffer& tx, Buffer* rx) {
    return Transceive(tx, kFlagCrcWhole, rx);
}

RfReaderBase::ReaderStatus Qm30::Transceive(const Buffer& tx, byte_t pcd, Buffer* rx) {
    if (tx.length > kMaxLength) return DEFAULT_ERROR;
    switch (selected_protocol) {
    case ISO15693: return SendReceive15693(tx, rx);
    case ISO14443A: return SendReceive14443A(tx, pcd, rx);
    case ISO14443B: return SendReceive14443B(tx, rx);
    default: return DEFAULT_ERROR;
    }
}

RfReaderBase::ReaderStatus Qm30::Transceive14443a(byte_t frameMode, const Buffer& tx, Buffer* rx) {
    if (tx.length > kMaxLength || selected_protocol != ISO14443A) return DEFAULT_ERROR;
    switch (frameMode) {
    case 0:
        if (tx.length > 0 && tx.buf != nullptr && tx.buf[0] == kHltA) {
            std::vector<byte_t> answer(kMaxLength);
            return Iso14443ACommands().Iso14443aHltA(answer.data(), kMaxLength) == kSuccessCode
                       ? TRANSFER_OK
                       : DEFAULT_ERROR;
        }
        return SendReceive14443A(tx, kFlagCrcWhole, rx);
    case 1: return SendReceive14443A(tx, 0, rx);
    case 2: return SendReceive14443A(tx, kFlagWhole, rx);
    default: return DEFAULT_ERROR;
    }
}

RfReaderBase::ReaderStatus Qm30::SendReceive14443A(const Buffer& tx, byte_t flag, Buffer* rx) {
    if (rx == nullptr || !validFrame(tx)) return DEFAULT_ERROR;
    std::vector<byte_t> frame(static_cast<std::size_t>(tx.length) + 1, flag);
    if (tx.length > 0) std::memcpy(frame.data(), tx.buf, static_cast<std::size_t>(tx.length));
    const int sent = flag != 0 ? tx.length + 1 : tx.length;

    std::array<byte_t, kWork14443> work{};
    const int received = SendDllCmd(hid_handle, frame.data(), sent, work.data(), kWork14443, DLL_TXRX);
    const std::int8_t check = CheckAnswer(kSendReceiveCode, work.data());
    if (check == kPcdAck || check == kPcdNack) {
        // The 4-bit value itself must have arrived.
        if (received <= kHead) return DEFAULT_ERROR;
        return deliver(work.data() + kHead, 1, rx, TRANSFER_OK);
    }
    if (check != kPcdOk) return DEFAULT_ERROR;
    const int length = payloadLength(work.data(), received);
    if (length < 0) return DEFAULT_ERROR;
    const int data = length - kStatusBytes - ((flag & kFlagAppendCrc) != 0 ? kCrcBytes : 0);
    if (data <= 0 || data >= kMaxLength || data > room(*rx)) return DEFAULT_ERROR;

    const byte_t* payload = work.data() + kHead;
    Status status = TRANSFER_OK;
    if ((payload[length - 3] & kS1Collision) != 0) {
        byte_collision = payload[length - 2];
        bit_collision = payload[length - 1] & kBitIndex;
        status = COLLISION_DETECTED;
    }
    return deliver(payload, data, rx, status);
}

RfReaderBase::ReaderStatus Qm30::SendReceive14443B(const Buffer& tx, Buffer* rx) {
    if (rx == nullptr || !validFrame(tx)) return DEFAULT_ERROR;
    std::array<byte_t, kWork14443> work{};
    const int received = SendDllCmd(hid_handle, tx.buf, tx.length, work.data(), kWork14443, DLL_TXRX);
    if (CheckAnswer(kSendReceiveCode, work.data()) != kPcdOk) return DEFAULT_ERROR;
    const int length = payloadLength(work.data(), received);
    if (length <= kStatusBytes || length - kStatusBytes >= kMaxLength) return DEFAULT_ERROR;
    return deliver(work.data() + kHead, length - kStatusBytes, rx, TRANSFER_OK);
}

RfReaderBase::ReaderStatus Qm30::SendReceive15693(const Buffer& tx, Buffer* rx) {
    if (rx == nullptr || !validFrame(tx)) return DEFAULT_ERROR;
    std::array<byte_t, kWork15693> work{};
    const int received = SendDllCmd(hid_handle, tx.buf, tx.length, work.data(), kWork15693, DLL_TXRX);
    const std::int8_t check = CheckAnswer(kSendReceiveCode, work.data());
    if (check == kPcdAck) return ACK;
    if (check == kPcdNack) return NACK;
    if (check != kPcdOk) return DEFAULT_ERROR;
    const int length = payloadLength(work.data(), received);
    const int data = length - kStatusBytes;
    if (length <= kStatusBytes || data >= kMaxLength || data > room(*rx)) return DEFAULT_ERROR;

    byte_t* payload = work.data() + kHead;
    Status status = TRANSFER_OK;
    if ((payload[length - 1] & kVicinityCollision) != 0) {
        payload[0] = kCollisionMark;
        status = COLLISION_DETECTED;
    } else if (Iso15693Commands().Iso15693IsCorrectCRC16Residue(payload, length - 1) !=
               Iso15693Commands::kSuccessCode) {
        status = CRC_ERROR;
    }
    return deliver(payload, data, rx, status);
}

RfReaderBase::ReaderStatus Qm30::SendEof(Buffer* rx) {
    if (rx == nullptr) return DEFAULT_ERROR;
    // Send-and-receive without data, raw: one report whatever the revision.
    const byte_t endOfFrame[] = {0x01, 0x04, 0x00};
    std::array<byte_t, kReportAnswer> answer{};
    const int received =
        SendDllCmd(hid_handle, endOfFrame, sizeof endOfFrame, answer.data(), kReportAnswer, DLL_KESTOCMD);
    if (CheckAnswer(kSendReceiveCode, answer.data()) != kPcdOk) return DEFAULT_ERROR;
    const int length = payloadLength(answer.data(), received);
    if (length < 0) return DEFAULT_ERROR;
    const byte_t* payload = answer.data() + kHead;
    // No payload, no status byte: no collision either.
    const Status status =
        length > 0 && payload[length - 1] == kEofCollision ? COLLISION_DETECTED : TRANSFER_OK;
    if (length < kEofShortest || length > kEofLongest) {
        rx->length = 0;
        return status;
    }
    return deliver(payload, length - kStatusBytes, rx, status);
}

RfReaderBase::ReaderStatus Qm30::SendInventoryCmdQm30(byte_t* rx, int capacity, byte_t parameter,
                                                      int* received) {
    if (received != nullptr) *received = 0;
    if (rx == nullptr || capacity < kEntriesAt) return DEFAULT_ERROR;
    const byte_t inventory[] = {0x02, 0xA0, 0x01, parameter};
    const int got = SendDllCmd(hid_handle, inventory, sizeof inventory, rx, capacity, DLL_KESTOCMD);
    if (received != nullptr) *received = got;
    return CheckAnswer(kSendReceiveCode, rx) == kPcdOk ? TRANSFER_OK : DEFAULT_ERROR;
}

void Qm30::Inventory(std::vector<Uid>& uids) {
    switch (selected_protocol) {
    case ISO14443A: {
        std::vector<Iso14443Tag> tags;
        Iso14443ACommands().Iso14443aAnticollision(tags);
        for (const Iso14443Tag& tag : tags)
            uids.emplace_back(tag.uid, static_cast<std::int32_t>(tag.uid_size));
        break;
    }
    case ISO15693:
        if (!inventory15693AlgoSw) firmwareInventory15693(uids);
        break;
    default: break;
    }
}

// The tag count the answer gives, cut to the whole entries it brought and to
// what the area holds; each entry's UID most significant byte first.
void Qm30::firmwareInventory15693(std::vector<Uid>& uids) {
    std::array<byte_t, kInventoryArea> area{};
    int received = 0;
    if (SendInventoryCmdQm30(area.data(), kInventoryArea, inventory15693AlgoParams, &received) != TRANSFER_OK)
        return;
    const int length = payloadLength(area.data(), received);
    if (length < 1) return;
    const int count = std::min({static_cast<int>(area[2]), (length - 1) / kEntryBytes, kMaxInventoryTags});
    for (int i = 0; i < count; ++i) {
        const byte_t* entry = area.data() + kEntriesAt + kEntryBytes * i;
        std::array<byte_t, kEntryBytes - 1> uid{};
        std::reverse_copy(entry + 1, entry + kEntryBytes, uid.begin());
        uids.emplace_back(uid.data(), static_cast<std::int32_t>(uid.size()));
    }
}

} // namespace vemlasdknative

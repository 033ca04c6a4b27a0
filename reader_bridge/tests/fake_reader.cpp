#include "fake_reader.h"

#include <algorithm>

namespace kestoreader_test {

namespace {

constexpr byte_t kValidBits = 0x0F;
constexpr byte_t kSplit = 0x40;
constexpr byte_t kCrc = 0x20;

} // namespace

RfReaderBase::ReaderStatus FakeReader::answer(const Bytes& bytes, ReaderStatus status, Buffer* rx) {
    const int room = std::clamp(rx->length, 0, rx->capacity());
    const int n = std::min(static_cast<int>(bytes.size()), room);
    std::copy_n(bytes.begin(), n, rx->buf);
    rx->length = n;
    return status;
}

std::optional<RfReaderBase::ReaderStatus> FakeReader::served(const Bytes& sent, byte_t flag, Buffer* rx) {
    log.push_back({sent, flag});
    ++exchanges_;
    if (rx == nullptr) return DEFAULT_ERROR;
    if (exchanges_ == failNth) return answer({}, DEFAULT_ERROR, rx);
    if (acknowledgeFrom > 0 && exchanges_ >= acknowledgeFrom)
        return answer({static_cast<byte_t>(acknowledge == ACK ? 0x0A : 0x05)}, acknowledge, rx);
    if (!script.empty()) {
        const Scripted next = script.front();
        script.pop_front();
        collisionByte_ = next.byte;
        collisionBit_ = next.bit;
        return answer(next.answer, next.status, rx);
    }
    return std::nullopt;
}

RfReaderBase::ReaderStatus FakeReader::Transceive(const Buffer& tx, byte_t pcd, Buffer* rx) {
    const Bytes sent(tx.buf, tx.buf + std::max(tx.length, 0));
    if (const auto status = served(sent, pcd, rx)) return *status;
    switch (selected_protocol) {
    case ISO15693: return byteFrame(sent, rfsim::Protocol::Iso15693, rx);
    case ISO14443B: return byteFrame(sent, rfsim::Protocol::Iso14443B, rx);
    default: return typeA(sent, pcd, rx);
    }
}

RfReaderBase::ReaderStatus FakeReader::SendEof(Buffer* rx) {
    if (const auto status = served({}, 0, rx)) return *status;
    if (selected_protocol != ISO15693) return answer({}, DEFAULT_ERROR, rx);
    return byteFrame({}, rfsim::Protocol::Iso15693, rx);
}

RfReaderBase::ReaderStatus FakeReader::byteFrame(const Bytes& sent, rfsim::Protocol protocol, Buffer* rx) {
    const bool endOfFrame = sent.empty();
    if (endOfFrame && protocol != rfsim::Protocol::Iso15693) return answer({}, DEFAULT_ERROR, rx);
    const auto heard = field.exchange(rfsim::Frame{sent, 8, !endOfFrame, protocol});
    if (!heard) return answer({}, DEFAULT_ERROR, rx);
    if (heard->collision)
        return protocol == rfsim::Protocol::Iso15693 ? answer(heard->bytes, COLLISION_DETECTED, rx)
                                                     : answer({}, DEFAULT_ERROR, rx);
    if (!rfsim::endsWithCrc(protocol, {heard->bytes, heard->lastBits}))
        return answer(heard->bytes, CRC_ERROR, rx);
    return answer(Bytes(heard->bytes.begin(), heard->bytes.end() - 2), TRANSFER_OK, rx);
}

RfReaderBase::ReaderStatus FakeReader::typeA(const Bytes& sent, byte_t pcd, Buffer* rx) {
    // The dongle's convention back to bits on air.
    Bytes data = sent;
    byte_t flag = pcd;
    if (pcd == 0) {
        if (data.empty()) return answer({}, DEFAULT_ERROR, rx);
        flag = data.back();
        data.pop_back();
    }
    int lastBits = flag & kValidBits;
    if (lastBits == 0 && (flag & kSplit) != 0 && !data.empty()) {
        data.pop_back(); // a split byte of which no bit is sent
        lastBits = 8;
    }
    const bool crc = (flag & kCrc) != 0;
    if (data.empty() || lastBits < 1 || lastBits > 8) return answer({}, DEFAULT_ERROR, rx);

    const auto heard = field.exchange(rfsim::Frame{data, lastBits, crc});
    if (!heard && endlessCollision) return answer({}, COLLISION_DETECTED, rx);
    if (!heard) return answer({}, DEFAULT_ERROR, rx);
    Bytes bytes = heard->bytes;
    if (crc && !heard->collision) {
        // The reader checks and removes the CRC the tag sent.
        if (!rfsim::endsWithCrcA({bytes, heard->lastBits})) return answer({}, DEFAULT_ERROR, rx);
        bytes.resize(bytes.size() - 2);
    }
    if (endlessCollision) {
        collisionByte_ = endlessCollision->first;
        collisionBit_ = endlessCollision->second;
        return answer(bytes, COLLISION_DETECTED, rx);
    }
    if (heard->collision) {
        collisionByte_ = static_cast<std::uint8_t>(heard->collision->byte);
        collisionBit_ = static_cast<std::uint8_t>(heard->collision->bit);
        return answer(bytes, COLLISION_DETECTED, rx);
    }
    return answer(bytes, TRANSFER_OK, rx);
}

std::int8_t FakeReader::GetCollisionPos(std::uint8_t* bytePos, std::uint8_t* bitPos) {
    if (silentCollisionPos) return 0;
    if (bytePos != nullptr) *bytePos = collisionByte_;
    if (bitPos != nullptr) *bitPos = collisionBit_;
    return 0;
}

} // namespace kestoreader_test

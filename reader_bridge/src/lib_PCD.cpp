#include "lib_PCD.h"

#include <algorithm>
#include <cstring>

namespace vemlasdknative {

namespace {

// Copies what the reader received into the caller's area, bounded by both.
void copyAnswer(const Buffer& received, byte_t* rx, int rxCapacity, int* rxLength) {
    const int got = std::clamp(received.length, 0, received.capacity());
    const int n = rx == nullptr ? 0 : std::clamp(got, 0, std::max(rxCapacity, 0));
    if (n > 0) std::memcpy(rx, received.buf, static_cast<std::size_t>(n));
    if (rxLength != nullptr) *rxLength = n;
}

Buffer receiveBuffer() {
    Buffer rx(handle->GetMaxReceiveLengthInBytes());
    rx.length = rx.capacity();
    return rx;
}

} // namespace

byte_t PCD_SendRecv(byte_t length, const byte_t* tx, byte_t* rx, int rxCapacity, int* rxLength, byte_t flag) {
    if (rxLength != nullptr) *rxLength = 0;
    if (handle == nullptr) return PCD_ERROR;
    Buffer frame(length);
    if (tx != nullptr && length > 0) std::memcpy(frame.buf, tx, length);
    Buffer received = receiveBuffer();
    const RfReaderBase::ReaderStatus status = handle->Transceive(frame, flag, &received);
    copyAnswer(received, rx, rxCapacity, rxLength);
    switch (status) {
    case RfReaderBase::TRANSFER_OK: return PCD_OK;
    case RfReaderBase::COLLISION_DETECTED: return PCD_COLLISION;
    case RfReaderBase::ACK: return PCD_ACK;
    case RfReaderBase::NACK: return PCD_NACK;
    default: return PCD_ERROR;
    }
}

byte_t PCD_SendRecv(byte_t length, const byte_t* tx, byte_t* rx, int rxCapacity, int* rxLength) {
    return PCD_SendRecv(length, tx, rx, rxCapacity, rxLength, PCD_FLAG_IN_FRAME);
}

byte_t PCD_SendRecv(byte_t length, const byte_t* tx, byte_t* rx, int rxCapacity) {
    return PCD_SendRecv(length, tx, rx, rxCapacity, nullptr, PCD_FLAG_IN_FRAME);
}

byte_t PCD_SendEof(byte_t* rx, int rxCapacity, int* rxLength) {
    if (rxLength != nullptr) *rxLength = 0;
    if (handle == nullptr) return PCD_ERROR;
    Buffer received = receiveBuffer();
    const RfReaderBase::ReaderStatus status = handle->SendEof(&received);
    copyAnswer(received, rx, rxCapacity, rxLength);
    if (status == RfReaderBase::TRANSFER_OK) return PCD_OK;
    if (status == RfReaderBase::COLLISION_DETECTED) return PCD_COLLISION;
    return PCD_ERROR;
}

std::int8_t PCD_GetCollisionPostion(std::uint8_t* bytePos, std::uint8_t* bitPos) {
    if (handle == nullptr) return static_cast<std::int8_t>(PCD_ERROR);
    return handle->GetCollisionPos(bytePos, bitPos);
}

int PCD_GetMaxTxLength() {
    return handle == nullptr ? 0 : handle->GetMaxTransmitLengthInBytes();
}

int PCD_GetMaxRxLength() {
    return handle == nullptr ? 0 : handle->GetMaxReceiveLengthInBytes();
}

} // namespace vemlasdknative

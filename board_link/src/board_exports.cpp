// The operations both board libraries export: the board object, versions and
// texts, the RF abstraction layer, the antenna, the interrupt poll, direct chip
// commands, registers and the raw transfer. Each one checks its arguments,
// sends one board command (two for a few) through the board object and copies
// what came back into the caller's buffers.
#include "board_variant.h"
#include "export_support.h"
#include "kesto_version_info.h"
#include "status_names.h"

#include <vkcommon/export.h>

namespace {

using namespace board_link;

// Command bytes of the operations.
constexpr std::uint8_t kCmdDirect = 0x15;
constexpr std::uint8_t kCmdRawTransfer = 0x18;
constexpr std::uint8_t kCmdAntennaVector = 0x20;
constexpr std::uint8_t kCmdPollInterrupt = 0x21;
constexpr std::uint8_t kCmdField = 0x22;
constexpr std::uint8_t kCmdInitialize = 0x40;
constexpr std::uint8_t kCmdDeinitialize = 0x42;
constexpr std::uint8_t kCmdSetMode = 0x43;
constexpr std::uint8_t kCmdSetFdtPoll = 0x47;
constexpr std::uint8_t kCmdSetFdtListen = 0x49;
constexpr std::uint8_t kCmdSetGt = 0x4B;
constexpr std::uint8_t kCmdStartTransceive = 0x4F;
constexpr std::uint8_t kCmdTransceiveStatus = 0x50;
constexpr std::uint8_t kCmdShortFrame = 0x51;
constexpr std::uint8_t kCmdAnticollisionFrame = 0x52;
constexpr std::uint8_t kCmdFeliCaPoll = 0x53;
constexpr std::uint8_t kCmdIso15693AnticollisionFrame = 0x54;
constexpr std::uint8_t kCmdIso15693AnticollisionEof = 0x55;
constexpr std::uint8_t kCmdIso15693Eof = 0x56;
constexpr std::uint8_t kCmdBlockingTx = 0x57;
constexpr std::uint8_t kCmdBlockingRx = 0x58;
constexpr std::uint8_t kCmdBlockingTxRx = 0x59;
constexpr std::uint8_t kRecalibrate = 0xD8;
constexpr std::uint8_t kTriRegister = 0x21;
constexpr std::uint8_t kTreRegister = 0x23;

constexpr std::uint32_t kBlockingReceiveTimeout = 10000;
constexpr std::uint32_t kCyclesPerMillisecond = 13560;
constexpr std::size_t kFeliCaEntry = sizeof(FelicaPollEntry);
// An ISO 14443-A anticollision frame: at most 7 bytes (SEL, NVB, the UID part
// and BCC), the last of them possibly partial (0 to 7 bits).
constexpr unsigned kLongestAnticollisionFrame = 7;
constexpr unsigned kMostPartialBits = 7;

constexpr int kRegisterReadError = -2;
constexpr int kRegisterWriteError = -3;

// [received length BE16][data]: *rcvLen = the length, at most `copyLimit`
// data bytes to rx.
KXx0ComError receivedFrame(const Exchange& e, std::uint8_t* rx, std::size_t copyLimit,
                           std::uint16_t* rcvLen) {
    *rcvLen = e.be16At(0);
    e.copy(2, rx, copyLimit);
    return widenStatus(e.status);
}

// The receiving RF-layer operations without a transmit part.
KXx0ComError receiveCommand(KXx0HANDLE handle, std::uint8_t command, std::uint8_t* rx, std::size_t rxCap,
                            std::uint16_t* rcvLen) {
    if (handle == nullptr) return Invalid_handleError;
    if (missing(rx, rxCap) || rcvLen == nullptr) return ParameterError;
    return receivedFrame(exchange(*boardOf(handle), command, {}, rxCap + 2), rx, rxCap, rcvLen);
}

KXx0ComError bitrateCommand(KXx0HANDLE handle, std::uint8_t txBr, std::uint8_t rxBr) {
    if (handle == nullptr) return Invalid_handleError;
    return widenStatus(setBitrates(*boardOf(handle), txBr, rxBr).status);
}

// A register read on the channel itself: 0 with the value stored when its
// answer was taken, otherwise the telegram's result (1, or 2 for another pid)
// and nothing stored. The channel's error stays latched.
std::uint8_t readChipRegister(KX20Com_UsbHid& board, std::uint8_t reg, int& value) {
    const auto hold = board.channel().hold();
    KXx0RegisterObject telegram(1, 1, reg);
    board.channel().queue(&telegram);
    board.channel().flush();
    if (board.channel().lastError() != 0 || !telegram.answered())
        return telegram.result() != 0 ? telegram.result() : kResultTransferFailed;
    value = static_cast<int>(telegram.value());
    return 0;
}

} // namespace

extern "C" {

VK_EXPORT KXx0HANDLE GetKX10(void) {
    std::unique_ptr<KX20Com_UsbHid> board = makeLibraryBoard();
    if (board->connect() != 0) return nullptr;
    board->getBoardInfo();
    return reinterpret_cast<KXx0HANDLE>(board.release());
}

VK_EXPORT void ReleaseKX10(KXx0HANDLE handle) {
    delete boardOf(handle);
}

VK_EXPORT KXx0ComError checkConnection(KXx0HANDLE handle) {
    if (handle == nullptr) return Invalid_handleError;
    KX20Com_UsbHid& board = *boardOf(handle);
    int first = 0;
    int second = 0;
    board.getObvsMode(first, second);
    return static_cast<KXx0ComError>(board.takeLinkErrors());
}

VK_EXPORT KXx0ComError getFirmwareVersion(KXx0HANDLE handle, uint32_t* version) {
    if (handle == nullptr) return Invalid_handleError;
    if (version == nullptr) return ParameterError;
    bool ok = true;
    *version = static_cast<std::uint32_t>(parseFirmwareText(boardOf(handle)->firmwareText(), ok));
    return ok ? NoError : RequestError;
}

VK_EXPORT KXx0ComError getVersion(char* name, char* version) {
    if (name == nullptr || version == nullptr) return RequestError;
    return readOwnVersion(ownVersionBlock(), name, 50, version, 10) ? NoError : RequestError;
}

VK_EXPORT const char* decodeFWError(KXx0HANDLE, KXx0ComError code) {
    return statusNameText(code);
}

VK_EXPORT KXx0ComError mosaInitialize(KXx0HANDLE handle) {
    return simpleCommand(handle, kCmdInitialize);
}

VK_EXPORT KXx0ComError mosaDeinitialize(KXx0HANDLE handle) {
    return simpleCommand(handle, kCmdDeinitialize);
}

VK_EXPORT KXx0ComError mosaFieldOnAndStarGT(KXx0HANDLE handle) {
    return simpleCommand(handle, kCmdField, Parameters().u8(1));
}

VK_EXPORT KXx0ComError mosaFieldOff(KXx0HANDLE handle) {
    return simpleCommand(handle, kCmdField, Parameters().u8(0));
}

VK_EXPORT KXx0ComError antennaEnableRFField(KXx0HANDLE handle, bool on) {
    return simpleCommand(handle, kCmdField, Parameters().u8(on ? 1 : 0));
}

VK_EXPORT KXx0ComError mosaSetMode(KXx0HANDLE handle, uint8_t mode, uint8_t txBr, uint8_t rxBr) {
    return simpleCommand(handle, kCmdSetMode, Parameters().u8(mode).u8(txBr).u8(rxBr));
}

VK_EXPORT KXx0ComError mosaSetBitrate(KXx0HANDLE handle, uint8_t txBr, uint8_t rxBr) {
    return bitrateCommand(handle, txBr, rxBr);
}

VK_EXPORT KXx0ComError setCarrierBitrate(KXx0HANDLE handle, uint8_t txBr, uint8_t rxBr) {
    return bitrateCommand(handle, txBr, rxBr);
}

VK_EXPORT KXx0ComError mosaSetFDTPoll(KXx0HANDLE handle, uint32_t fdt) {
    return simpleCommand(handle, kCmdSetFdtPoll, Parameters().be32(fdt));
}

VK_EXPORT KXx0ComError mosaSetFDTListen(KXx0HANDLE handle, uint32_t fdt) {
    return simpleCommand(handle, kCmdSetFdtListen, Parameters().be32(fdt));
}

VK_EXPORT KXx0ComError mosaSetGT(KXx0HANDLE handle, uint32_t gt) {
    return simpleCommand(handle, kCmdSetGt, Parameters().be32(gt));
}

VK_EXPORT KXx0ComError mosaStartTransceive(KXx0HANDLE handle, const uint8_t* tx, uint16_t txBits,
                                           uint32_t flags, uint32_t fwt) {
    if (handle == nullptr) return Invalid_handleError;
    const std::size_t n = (static_cast<std::size_t>(txBits) + 7) / 8;
    if (missing(tx, n)) return ParameterError;
    if (!fitsTelegram(2 + n + 8)) return ParameterError;
    return simpleCommand(handle, kCmdStartTransceive,
                         Parameters().be16(n * 8).bytes(tx, n).be32(flags).be32(fwt));
}

VK_EXPORT KXx0ComError mosaGetTransceiveStatus(KXx0HANDLE handle, uint8_t* rx, uint16_t rxCap,
                                               uint16_t* rcvLen) {
    if (handle == nullptr) return Invalid_handleError;
    // rxCap counts bits here; it sizes the expected answer as it stands.
    const std::size_t copyLimit = (static_cast<std::size_t>(rxCap) + 7) / 8;
    if (missing(rx, copyLimit) || rcvLen == nullptr) return ParameterError;
    return receivedFrame(exchange(*boardOf(handle), kCmdTransceiveStatus, {}, rxCap + 2u), rx, copyLimit,
                         rcvLen);
}

VK_EXPORT KXx0ComError mosaTransceiveBlockingTx(KXx0HANDLE handle, const uint8_t* tx, uint16_t txLen,
                                                uint32_t flags, uint32_t fwt) {
    if (handle == nullptr) return Invalid_handleError;
    if (missing(tx, txLen)) return ParameterError;
    if (!fitsTelegram(2u + txLen + 8u)) return ParameterError;
    return simpleCommand(handle, kCmdBlockingTx,
                         Parameters().be16(txLen).bytes(tx, txLen).be32(flags).be32(fwt));
}

VK_EXPORT KXx0ComError mosaTransceiveBlockingRx(KXx0HANDLE handle, uint8_t* rx, uint16_t rxCap,
                                                uint16_t* rcvLen) {
    if (handle == nullptr) return Invalid_handleError;
    if (missing(rx, rxCap) || rcvLen == nullptr) return ParameterError;
    KX20Com_UsbHid& board = *boardOf(handle);
    Exchange e;
    {
        RaisedReadTimeout raised(board, kBlockingReceiveTimeout);
        e = exchange(board, kCmdBlockingRx, {}, rxCap + 2u);
    }
    return receivedFrame(e, rx, rxCap, rcvLen);
}

VK_EXPORT KXx0ComError mosaTransceiveBlockingTxRx(KXx0HANDLE handle, const uint8_t* tx, uint16_t txLen,
                                                  uint8_t* rx, uint16_t rxCap, uint16_t* rcvLen,
                                                  uint32_t flags, uint32_t fwt) {
    if (handle == nullptr) return Invalid_handleError;
    if (missing(tx, txLen) || missing(rx, rxCap) || rcvLen == nullptr) return ParameterError;
    if (!fitsTelegram(2u + txLen + 8u + 2u)) return ParameterError;
    KX20Com_UsbHid& board = *boardOf(handle);
    const Parameters parameters = Parameters().be16(txLen).bytes(tx, txLen).be32(flags).be32(fwt).be16(rxCap);
    Exchange e;
    {
        RaisedReadTimeout raised(board, fwt / kCyclesPerMillisecond + 1000u);
        e = exchange(board, kCmdBlockingTxRx, parameters, rxCap + 2u);
    }
    return receivedFrame(e, rx, rxCap, rcvLen);
}

VK_EXPORT KXx0ComError mosaISO14443ATransceiveShortFrame(KXx0HANDLE handle, uint8_t frameCode, uint8_t* rx,
                                                         uint8_t rxCap, uint16_t* rcvLen, uint32_t fwt) {
    if (handle == nullptr) return Invalid_handleError;
    if (missing(rx, rxCap) || rcvLen == nullptr) return ParameterError;
    const Exchange e =
        exchange(*boardOf(handle), kCmdShortFrame, Parameters().u8(frameCode).be32(fwt), rxCap + 2u);
    // At most the board's own length of data bytes, then the capacity.
    return receivedFrame(e, rx, std::min<std::size_t>(e.be16At(0), rxCap), rcvLen);
}

VK_EXPORT KXx0ComError mosaISO14443ATransceiveAnticollisionFrame(KXx0HANDLE handle, uint8_t* frame,
                                                                 uint8_t* bytesToSend, uint8_t* bitsToSend,
                                                                 uint16_t* rcvLen, uint32_t fwt) {
    if (handle == nullptr) return Invalid_handleError;
    if (frame == nullptr || bytesToSend == nullptr || bitsToSend == nullptr || rcvLen == nullptr)
        return ParameterError;
    // The frame's size is not given: the longest frame bounds what is read and written.
    const unsigned partial = *bitsToSend != 0 ? 1u : 0u;
    if (*bitsToSend > kMostPartialBits || *bytesToSend + partial > kLongestAnticollisionFrame)
        return ParameterError;
    const std::size_t n = *bytesToSend + 5u + partial;
    const Exchange e = exchange(*boardOf(handle), kCmdAnticollisionFrame,
                                Parameters().u8(*bytesToSend).u8(*bitsToSend).be32(fwt).bytes(frame, n), 50);
    if (!e.answer.empty()) *bytesToSend = e.answer[0];
    if (e.answer.size() > 1) *bitsToSend = e.answer[1];
    *rcvLen = e.be16At(2);
    e.copy(4, frame, n);
    return widenStatus(e.status);
}

VK_EXPORT KXx0ComError mosaISO15693TransceiveAnticollisionFrame(KXx0HANDLE handle, uint8_t* tx, uint8_t txLen,
                                                                uint8_t* rx, uint8_t rxCap,
                                                                uint16_t* rcvLen) {
    if (handle == nullptr) return Invalid_handleError;
    if (missing(tx, txLen) || missing(rx, rxCap) || rcvLen == nullptr) return ParameterError;
    const Exchange e = exchange(*boardOf(handle), kCmdIso15693AnticollisionFrame,
                                Parameters().u8(txLen).bytes(tx, txLen), rxCap + 2u);
    return receivedFrame(e, rx, rxCap, rcvLen);
}

VK_EXPORT KXx0ComError mosaISO15693TransceiveAnticollisionEOF(KXx0HANDLE handle, uint8_t* rx, uint8_t rxCap,
                                                              uint16_t* rcvLen) {
    return receiveCommand(handle, kCmdIso15693AnticollisionEof, rx, rxCap, rcvLen);
}

VK_EXPORT KXx0ComError mosaISO15693TransceiveEOF(KXx0HANDLE handle, uint8_t* rx, uint8_t rxCap,
                                                 uint16_t* rcvLen) {
    return receiveCommand(handle, kCmdIso15693Eof, rx, rxCap, rcvLen);
}

VK_EXPORT KXx0ComError mosaFeliCaPoll(KXx0HANDLE handle, uint8_t slotCount, uint16_t systemCode,
                                      uint8_t requestCode, FelicaPollEntry* list, uint8_t listSize,
                                      uint8_t* devices, uint8_t* collisions) {
    if (handle == nullptr) return Invalid_handleError;
    if (missing(list, listSize) || devices == nullptr || collisions == nullptr) return ParameterError;
    const Exchange e = exchange(*boardOf(handle), kCmdFeliCaPoll,
                                Parameters().u8(slotCount).be16(systemCode).u8(requestCode).u8(listSize),
                                listSize * kFeliCaEntry + 4);
    *devices = e.at(0);
    *collisions = e.at(1);
    const std::size_t entries = std::min<std::size_t>(e.at(0), listSize);
    e.copy(2, list, entries * kFeliCaEntry);
    return widenStatus(e.status);
}

VK_EXPORT KXx0ComError antennaGetVector(KXx0HANDLE handle, double* amplitude, double* phase) {
    if (handle == nullptr) return Invalid_handleError;
    if (amplitude == nullptr || phase == nullptr) return ParameterError;
    KX20Com_UsbHid& board = *boardOf(handle);
    const Exchange e = exchange(board, kCmdAntennaVector, {}, 2);
    if (e.answer.size() < 2) {
        board.reportShortAnswer("antennaGetVector", "answer from device too short");
        return Internal;
    }
    *amplitude = e.answer[0] * 0.01302;
    *phase = (255 - e.answer[1]) / 255.0 * 120 + 30;
    return widenStatus(e.status);
}

VK_EXPORT KXx0ComError antennaRecalibrate(KXx0HANDLE handle) {
    if (handle == nullptr) return Invalid_handleError;
    KX20Com_UsbHid& board = *boardOf(handle);
    const Exchange e = exchange(board, kCmdDirect, Parameters().u8(kRecalibrate), 1);
    if (e.answer.empty()) {
        board.reportShortAnswer("antennaRecalibrate", "received packet too short");
        return static_cast<KXx0ComError>(-1);
    }
    return static_cast<KXx0ComError>(static_cast<std::int8_t>(e.answer[0]));
}

VK_EXPORT KXx0ComError antennaGetTriTre(KXx0HANDLE handle, int* first, int* second) {
    if (handle == nullptr) return Invalid_handleError;
    if (first == nullptr || second == nullptr) return ParameterError;
    KX20Com_UsbHid& board = *boardOf(handle);
    std::uint8_t status = readChipRegister(board, kTriRegister, *second);
    if (status == 0) status = readChipRegister(board, kTreRegister, *first);
    return widenStatus(status);
}

VK_EXPORT KXx0ComError pollInterrupt(KXx0HANDLE handle, uint8_t mask, uint8_t* first, uint8_t* second) {
    if (handle == nullptr) return Invalid_handleError;
    if (first == nullptr || second == nullptr) return ParameterError;
    const Exchange e = exchange(*boardOf(handle), kCmdPollInterrupt, Parameters().u8(mask), 2);
    if (e.status == 0 && e.answer.size() >= 2) {
        *first = e.answer[0];
        *second = e.answer[1];
    }
    return widenStatus(e.status);
}

VK_EXPORT KXx0ComError directCommand(KXx0HANDLE handle, int code, int* answer) {
    if (handle == nullptr) return Invalid_handleError;
    if (answer == nullptr) return ParameterError;
    const Exchange e =
        exchange(*boardOf(handle), kCmdDirect, Parameters().u8(static_cast<std::uint32_t>(code)), 4);
    auto value = static_cast<std::uint32_t>(*answer);
    for (std::size_t i = 0; i < 4 && i < e.answer.size(); ++i)
        value = (value & ~(0xFFu << (8 * i))) | (static_cast<std::uint32_t>(e.answer[i]) << (8 * i));
    *answer = static_cast<int>(value);
    return NoError;
}

VK_EXPORT KXx0ComError readRegister(KXx0HANDLE handle, uint8_t reg, uint8_t* value) {
    if (handle == nullptr) return Invalid_handleError;
    if (value == nullptr) return ParameterError;
    return boardOf(handle)->readRegister(reg, *value, true) == kRegisterReadError ? RequestError : NoError;
}

VK_EXPORT KXx0ComError writeRegister(KXx0HANDLE handle, uint8_t reg, uint8_t value) {
    if (handle == nullptr) return Invalid_handleError;
    return boardOf(handle)->writeRegister(reg, value, true, true) == kRegisterWriteError ? WriteError
                                                                                         : NoError;
}

VK_EXPORT KXx0ComError txrxBytes(KXx0HANDLE handle, const char* tx, size_t txLen, char* rx, size_t* rxLen,
                                 uint32_t* value) {
    if (handle == nullptr) return Invalid_handleError;
    if (missing(tx, txLen) || missingInOut(rx, rxLen) || value == nullptr) return ParameterError;
    if (!fitsTelegram(txLen)) return ParameterError;
    KX20Com_UsbHid& board = *boardOf(handle);
    const Exchange e = exchange(board, kCmdRawTransfer, Parameters().bytes(tx, txLen), *rxLen + 4);
    if (e.answer.size() < 4) {
        board.reportShortAnswer("txrxBytes", "received packet too short");
        *rxLen = 0;
        return e.status == 0 ? FramingError : widenStatus(e.status);
    }
    *value = static_cast<std::uint32_t>(e.answer[0]) | static_cast<std::uint32_t>(e.answer[1]) << 8 |
             static_cast<std::uint32_t>(e.answer[2]) << 16 | static_cast<std::uint32_t>(e.answer[3]) << 24;
    *rxLen = e.copy(4, rx, *rxLen);
    return widenStatus(e.status);
}

} // extern "C"

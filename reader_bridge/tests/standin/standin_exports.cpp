// The operations of a stand-in board library under their bare names, each
// handed to the shared core with the board this library stands for
// (KXX0_STANDIN_BOARD: Kx10 or Kx20). Which names a library exports is its
// export list's business.
#include "kxx0_standin.h"

#include <vkcommon/export.h>

namespace {

using kxx0standin::Board;
using kxx0standin::Core;

constexpr Board kBoard = Board::KXX0_STANDIN_BOARD;

Core& core() {
    return Core::instance();
}

std::int64_t value(const std::size_t* length) {
    return length == nullptr ? -1 : static_cast<std::int64_t>(*length);
}

} // namespace

extern "C" {

VK_EXPORT KXx0HANDLE GetKX10(void) {
    return core().getBoard(kBoard);
}
VK_EXPORT void ReleaseKX10(KXx0HANDLE handle) {
    core().release(kBoard, handle);
}
VK_EXPORT KXx0ComError checkConnection(KXx0HANDLE handle) {
    return core().checkConnection(kBoard, handle);
}
VK_EXPORT KXx0ComError getFirmwareVersion(KXx0HANDLE handle, uint32_t* version) {
    return core().firmwareVersion(kBoard, handle, version);
}
VK_EXPORT KXx0ComError getVersion(char* name, char* version) {
    return core().ownVersion(kBoard, name, version);
}
VK_EXPORT const char* decodeFWError(KXx0HANDLE handle, KXx0ComError code) {
    core().other(kBoard, "_decodeFWError@8", handle, {code});
    return "StandIn";
}

// RF abstraction layer.
VK_EXPORT KXx0ComError mosaInitialize(KXx0HANDLE handle) {
    return core().other(kBoard, "_mosaInitialize@4", handle, {});
}
VK_EXPORT KXx0ComError mosaDeinitialize(KXx0HANDLE handle) {
    return core().other(kBoard, "_mosaDeinitialize@4", handle, {});
}
VK_EXPORT KXx0ComError mosaFieldOnAndStarGT(KXx0HANDLE handle) {
    return core().other(kBoard, "_mosaFieldOnAndStarGT@4", handle, {});
}
VK_EXPORT KXx0ComError mosaFieldOff(KXx0HANDLE handle) {
    return core().other(kBoard, "_mosaFieldOff@4", handle, {});
}
VK_EXPORT KXx0ComError antennaEnableRFField(KXx0HANDLE handle, bool on) {
    return core().other(kBoard, "_antennaEnableRFField@8", handle, {on});
}
VK_EXPORT KXx0ComError mosaSetMode(KXx0HANDLE handle, uint8_t mode, uint8_t txBr, uint8_t rxBr) {
    return core().setMode(kBoard, handle, mode, txBr, rxBr);
}
VK_EXPORT KXx0ComError mosaSetBitrate(KXx0HANDLE handle, uint8_t txBr, uint8_t rxBr) {
    return core().other(kBoard, "_mosaSetBitrate@12", handle, {txBr, rxBr});
}
VK_EXPORT KXx0ComError setCarrierBitrate(KXx0HANDLE handle, uint8_t txBr, uint8_t rxBr) {
    return core().other(kBoard, "_setCarrierBitrate@12", handle, {txBr, rxBr});
}
VK_EXPORT KXx0ComError mosaSetFDTPoll(KXx0HANDLE handle, uint32_t fdt) {
    return core().other(kBoard, "_mosaSetFDTPoll@8", handle, {fdt});
}
VK_EXPORT KXx0ComError mosaSetFDTListen(KXx0HANDLE handle, uint32_t fdt) {
    return core().other(kBoard, "_mosaSetFDTListen@8", handle, {fdt});
}
VK_EXPORT KXx0ComError mosaSetGT(KXx0HANDLE handle, uint32_t gt) {
    return core().other(kBoard, "_mosaSetGT@8", handle, {gt});
}
VK_EXPORT KXx0ComError mosaStartTransceive(KXx0HANDLE handle, const uint8_t*, uint16_t txBits, uint32_t flags,
                                           uint32_t fwt) {
    return core().other(kBoard, "_mosaStartTransceive@20", handle, {txBits, flags, fwt});
}
VK_EXPORT KXx0ComError mosaGetTransceiveStatus(KXx0HANDLE handle, uint8_t*, uint16_t rxCap,
                                               uint16_t* rcvLen) {
    *rcvLen = 0;
    return core().other(kBoard, "_mosaGetTransceiveStatus@16", handle, {rxCap});
}
VK_EXPORT KXx0ComError mosaTransceiveBlockingTx(KXx0HANDLE handle, const uint8_t*, uint16_t txLen,
                                                uint32_t flags, uint32_t fwt) {
    return core().other(kBoard, "_mosaTransceiveBlockingTx@20", handle, {txLen, flags, fwt});
}
VK_EXPORT KXx0ComError mosaTransceiveBlockingRx(KXx0HANDLE handle, uint8_t*, uint16_t rxCap,
                                                uint16_t* rcvLen) {
    *rcvLen = 0;
    return core().other(kBoard, "_mosaTransceiveBlockingRx@16", handle, {rxCap});
}
VK_EXPORT KXx0ComError mosaTransceiveBlockingTxRx(KXx0HANDLE handle, const uint8_t* tx, uint16_t txLen,
                                                  uint8_t* rx, uint16_t rxCap, uint16_t* rcvLen,
                                                  uint32_t flags, uint32_t fwt) {
    return core().blocking(kBoard, handle, tx, txLen, rx, rxCap, rcvLen, flags, fwt);
}
VK_EXPORT KXx0ComError mosaISO14443ATransceiveShortFrame(KXx0HANDLE handle, uint8_t frameCode, uint8_t* rx,
                                                         uint8_t rxCap, uint16_t* rcvLen, uint32_t fwt) {
    return core().shortFrame(kBoard, handle, frameCode, rx, rxCap, rcvLen, fwt);
}
VK_EXPORT KXx0ComError mosaISO14443ATransceiveAnticollisionFrame(KXx0HANDLE handle, uint8_t* frame,
                                                                 uint8_t* bytesToSend, uint8_t* bitsToSend,
                                                                 uint16_t* rcvLen, uint32_t fwt) {
    return core().anticollisionFrame(kBoard, handle, frame, bytesToSend, bitsToSend, rcvLen, fwt);
}
VK_EXPORT KXx0ComError mosaISO15693TransceiveAnticollisionFrame(KXx0HANDLE handle, uint8_t*, uint8_t txLen,
                                                                uint8_t*, uint8_t rxCap, uint16_t* rcvLen) {
    *rcvLen = 0;
    return core().other(kBoard, "_mosaISO15693TransceiveAnticollisionFrame@24", handle, {txLen, rxCap});
}
VK_EXPORT KXx0ComError mosaISO15693TransceiveAnticollisionEOF(KXx0HANDLE handle, uint8_t* rx, uint8_t rxCap,
                                                              uint16_t* rcvLen) {
    return core().eof(kBoard, handle, rx, rxCap, rcvLen);
}
VK_EXPORT KXx0ComError mosaISO15693TransceiveEOF(KXx0HANDLE handle, uint8_t*, uint8_t rxCap,
                                                 uint16_t* rcvLen) {
    *rcvLen = 0;
    return core().other(kBoard, "_mosaISO15693TransceiveEOF@16", handle, {rxCap});
}
VK_EXPORT KXx0ComError mosaFeliCaPoll(KXx0HANDLE handle, uint8_t slotCount, uint16_t systemCode,
                                      uint8_t requestCode, FelicaPollEntry*, uint8_t listSize,
                                      uint8_t* devices, uint8_t* collisions) {
    *devices = 0;
    *collisions = 0;
    return core().other(kBoard, "_mosaFeliCaPoll@32", handle, {slotCount, systemCode, requestCode, listSize});
}

// Antenna, interrupts, chip commands and registers, raw transfer.
VK_EXPORT KXx0ComError antennaGetVector(KXx0HANDLE handle, double*, double*) {
    return core().other(kBoard, "_antennaGetVector@12", handle, {});
}
VK_EXPORT KXx0ComError antennaRecalibrate(KXx0HANDLE handle) {
    return core().other(kBoard, "_antennaRecalibrate@4", handle, {});
}
VK_EXPORT KXx0ComError antennaGetTriTre(KXx0HANDLE handle, int*, int*) {
    return core().other(kBoard, "_antennaGetTriTre@12", handle, {});
}
VK_EXPORT void antennaSetTrimVal(KXx0HANDLE handle, int value) {
    core().other(kBoard, "_antennaSetTrimVal@8", handle, {value});
}
VK_EXPORT KXx0ComError pollInterrupt(KXx0HANDLE handle, uint8_t mask, uint8_t*, uint8_t*) {
    return core().other(kBoard, "_pollInterrupt@16", handle, {mask});
}
VK_EXPORT KXx0ComError directCommand(KXx0HANDLE handle, int code, int*) {
    return core().other(kBoard, "_directCommand@12", handle, {code});
}
VK_EXPORT KXx0ComError readRegister(KXx0HANDLE handle, uint8_t reg, uint8_t*) {
    return core().other(kBoard, "_readRegister@12", handle, {reg});
}
VK_EXPORT KXx0ComError writeRegister(KXx0HANDLE handle, uint8_t reg, uint8_t value) {
    return core().other(kBoard, "_writeRegister@12", handle, {reg, value});
}
VK_EXPORT KXx0ComError txrxBytes(KXx0HANDLE handle, const char*, size_t txLen, char*, size_t* rxLen,
                                 uint32_t*) {
    return core().other(kBoard, "_txrxBytes@24", handle, {static_cast<std::int64_t>(txLen), value(rxLen)});
}

// ISO 14443-A.
VK_EXPORT KXx0ComError iso14443aInit(KXx0HANDLE handle) {
    return core().other(kBoard, "_iso14443aInit@4", handle, {});
}
VK_EXPORT KXx0ComError iso14443aSelect(KXx0HANDLE handle, uint8_t requestCode, bool flag, char* uid,
                                       size_t* uidLen, char* atqa, char* sak) {
    return core().select(kBoard, handle, requestCode, flag, uid, uidLen, atqa, sak);
}
VK_EXPORT KXx0ComError iso14443aHalt(KXx0HANDLE handle, char* rx, size_t* rxLen) {
    return core().halt(kBoard, handle, rx, rxLen);
}
VK_EXPORT KXx0ComError iso14443aRATS(KXx0HANDLE handle, int p1, int p2, char*, size_t* atsLen) {
    return core().other(kBoard, "_iso14443aRATS@20", handle, {p1, p2, value(atsLen)});
}
VK_EXPORT KXx0ComError iso14443aPPS(KXx0HANDLE handle, int cid, int dsRate, int drRate, bool change, char*,
                                    size_t* rxLen) {
    return core().other(kBoard, "_iso14443aPPS@28", handle, {cid, dsRate, drRate, change, value(rxLen)});
}
VK_EXPORT KXx0ComError iso14443aDeselect(KXx0HANDLE handle, char*, size_t* rxLen) {
    return core().other(kBoard, "_iso14443aDeselect@12", handle, {value(rxLen)});
}
VK_EXPORT KXx0ComError iso14443aDeinit(KXx0HANDLE handle, bool flag) {
    return core().other(kBoard, "_iso14443aDeinit@8", handle, {flag});
}

// ISO 14443-B.
VK_EXPORT KXx0ComError iso14443bInit(KXx0HANDLE handle) {
    return core().other(kBoard, "_iso14443bInit@4", handle, {});
}
VK_EXPORT KXx0ComError iso14443bSelect(KXx0HANDLE handle, bool flag, uint8_t p2, uint8_t p3, char*) {
    return core().other(kBoard, "_iso14443bSelect@20", handle, {flag, p2, p3});
}
VK_EXPORT KXx0ComError iso14443bHalt(KXx0HANDLE handle, const char*, char*, size_t* rxLen) {
    return core().other(kBoard, "_iso14443bHalt@16", handle, {value(rxLen)});
}
VK_EXPORT KXx0ComError iso14443bWriteAttrb(KXx0HANDLE handle, const char*, int dsi, int dri, int fsdi,
                                           uint8_t p6, uint8_t p7, char*, size_t* rxLen) {
    return core().other(kBoard, "_iso14443bWriteAttrb@36", handle, {dsi, dri, fsdi, p6, p7, value(rxLen)});
}
VK_EXPORT KXx0ComError iso14443bDeselect(KXx0HANDLE handle, char*, size_t* rxLen) {
    return core().other(kBoard, "_iso14443bDeselect@12", handle, {value(rxLen)});
}
VK_EXPORT KXx0ComError iso14443bDeinit(KXx0HANDLE handle, bool flag) {
    return core().other(kBoard, "_iso14443bDeinit@8", handle, {flag});
}

// ISO 15693.
VK_EXPORT KXx0ComError iso15693Initialise(KXx0HANDLE handle, int p1, bool p2) {
    return core().other(kBoard, "_iso15693Initialise@12", handle, {p1, p2});
}
VK_EXPORT KXx0ComError iso15693sendInventoryRequest(KXx0HANDLE handle, int slots16,
                                                    Iso15693InventoryEntry* entries, size_t* count) {
    return core().inventory(kBoard, handle, slots16, entries, count);
}
VK_EXPORT KXx0ComError iso15693StayQuiet(KXx0HANDLE handle, const char*) {
    return core().other(kBoard, "_iso15693StayQuiet@8", handle, {});
}
VK_EXPORT KXx0ComError iso15693Select(KXx0HANDLE handle, const char*) {
    return core().other(kBoard, "_iso15693Select@8", handle, {});
}
VK_EXPORT KXx0ComError iso15693GetSystemInformation(KXx0HANDLE handle, const char*, char*, size_t* rxLen) {
    return core().other(kBoard, "_iso15693GetSystemInformation@16", handle, {value(rxLen)});
}
VK_EXPORT KXx0ComError iso15693ReadBlock(KXx0HANDLE handle, const char*, uint8_t block, char*,
                                         size_t* rxLen) {
    return core().other(kBoard, "_iso15693ReadBlock@20", handle, {block, value(rxLen)});
}
VK_EXPORT KXx0ComError iso15693WriteBlock(KXx0HANDLE handle, const char*, uint8_t block, const char*,
                                          size_t dataLen, char*, size_t* rxLen, bool option) {
    return core().other(kBoard, "_iso15693WriteBlock@32", handle,
                        {block, static_cast<std::int64_t>(dataLen), value(rxLen), option});
}
VK_EXPORT KXx0ComError iso15693TxRxNBytes(KXx0HANDLE handle, const char*, size_t txLen, char*, size_t* rxLen,
                                          uint16_t param) {
    return core().other(kBoard, "_iso15693TxRxNBytes@24", handle,
                        {static_cast<std::int64_t>(txLen), value(rxLen), param});
}
VK_EXPORT KXx0ComError iso15693PhyTxRxNBytes(KXx0HANDLE handle, const char*, size_t txLen, char*,
                                             size_t* rxLen, uint16_t param) {
    return core().other(kBoard, "_iso15693PhyTxRxNBytes@24", handle,
                        {static_cast<std::int64_t>(txLen), value(rxLen), param});
}
VK_EXPORT KXx0ComError iso15693Deinit(KXx0HANDLE handle, bool flag) {
    return core().other(kBoard, "_iso15693Deinit@8", handle, {flag});
}

// FeliCa.
VK_EXPORT KXx0ComError felicaInitialize(KXx0HANDLE handle) {
    return core().other(kBoard, "_felicaInitialize@4", handle, {});
}
VK_EXPORT KXx0ComError felicaPoll(KXx0HANDLE handle, int p1, int p2, int p3, int p4, FelicaPollEntry*,
                                  size_t* count, size_t*) {
    return core().other(kBoard, "_felicaPoll@32", handle, {p1, p2, p3, p4, value(count)});
}
VK_EXPORT KXx0ComError felicaTxRxNBytes(KXx0HANDLE handle, const char*, size_t txLen, char*, size_t* rxLen) {
    return core().other(kBoard, "_felicaTxRxNBytes@20", handle,
                        {static_cast<std::int64_t>(txLen), value(rxLen)});
}
VK_EXPORT KXx0ComError felicaDeInitialize(KXx0HANDLE handle, bool flag) {
    return core().other(kBoard, "_felicaDeInitialize@8", handle, {flag});
}

// Kovio.
VK_EXPORT KXx0ComError kovioInitialise(KXx0HANDLE handle) {
    return core().other(kBoard, "_kovioInitialise@4", handle, {});
}
VK_EXPORT KXx0ComError kovioRead(KXx0HANDLE handle, char*, size_t* rxLen) {
    return core().other(kBoard, "_kovioRead@12", handle, {value(rxLen)});
}
VK_EXPORT KXx0ComError kovioDeinit(KXx0HANDLE handle, bool flag) {
    return core().other(kBoard, "_kovioDeinit@8", handle, {flag});
}

// MIFARE and MIFARE Ultralight.
VK_EXPORT KXx0ComError mifareInit(KXx0HANDLE handle) {
    return core().other(kBoard, "_mifareInit@4", handle, {});
}
VK_EXPORT KXx0ComError mifareAuthenticate(KXx0HANDLE handle, uint32_t block, const char*, size_t uidLen,
                                          const char*, bool keyFlag) {
    return core().other(kBoard, "_mifareAuthenticate@24", handle,
                        {block, static_cast<std::int64_t>(uidLen), keyFlag});
}
VK_EXPORT KXx0ComError mifareSendRequest(KXx0HANDLE handle, char*, size_t txLen, char*, size_t* rxLen) {
    return core().other(kBoard, "_mifareSendRequest@20", handle,
                        {static_cast<std::int64_t>(txLen), value(rxLen)});
}
VK_EXPORT KXx0ComError mifareReadBlock(KXx0HANDLE handle, uint32_t block, char*, size_t* rxLen) {
    return core().other(kBoard, "_mifareReadBlock@16", handle, {block, value(rxLen)});
}
VK_EXPORT KXx0ComError mifareWriteBlock(KXx0HANDLE handle, uint32_t block, const char*, size_t dataLen) {
    return core().other(kBoard, "_mifareWriteBlock@16", handle, {block, static_cast<std::int64_t>(dataLen)});
}
VK_EXPORT KXx0ComError mifareDeinit(KXx0HANDLE handle, bool flag) {
    return core().other(kBoard, "_mifareDeinit@8", handle, {flag});
}
VK_EXPORT KXx0ComError mifareUlRead4Pages(KXx0HANDLE handle, int page, char*, size_t* rxLen) {
    return core().other(kBoard, "_mifareUlRead4Pages@16", handle, {page, value(rxLen)});
}
VK_EXPORT KXx0ComError mifareUlWritePage(KXx0HANDLE handle, int page, const char*, size_t dataLen) {
    return core().other(kBoard, "_mifareUlWritePage@16", handle, {page, static_cast<std::int64_t>(dataLen)});
}
VK_EXPORT KXx0ComError mifareUlLockPage(KXx0HANDLE handle, int page) {
    return core().other(kBoard, "_mifareUlLockPage@8", handle, {page});
}

// NFC.
VK_EXPORT KXx0ComError nfcInitialize(KXx0HANDLE handle, bool p1, bool p2, uint8_t p3, uint8_t p4) {
    return core().other(kBoard, "_nfcInitialize@20", handle, {p1, p2, p3, p4});
}
VK_EXPORT KXx0ComError nfcTxNBytes(KXx0HANDLE handle, const char*, size_t txLen) {
    return core().other(kBoard, "_nfcTxNBytes@12", handle, {static_cast<std::int64_t>(txLen)});
}
VK_EXPORT KXx0ComError nfcRxNBytes(KXx0HANDLE handle, char*, size_t* rxLen) {
    return core().other(kBoard, "_nfcRxNBytes@12", handle, {value(rxLen)});
}
VK_EXPORT KXx0ComError nfcSetTxBitrate(KXx0HANDLE handle, uint8_t rate) {
    return core().other(kBoard, "_nfcSetTxBitrate@8", handle, {rate});
}
VK_EXPORT KXx0ComError nfcSetRxBitrate(KXx0HANDLE handle, uint8_t rate) {
    return core().other(kBoard, "_nfcSetRxBitrate@8", handle, {rate});
}
VK_EXPORT KXx0ComError nfcDeInitialize(KXx0HANDLE handle) {
    return core().other(kBoard, "_nfcDeInitialize@4", handle, {});
}

// Topaz.
VK_EXPORT KXx0ComError topazInitialise(KXx0HANDLE handle) {
    return core().other(kBoard, "_topazInitialise@4", handle, {});
}
VK_EXPORT KXx0ComError topazInventory(KXx0HANDLE handle, char*, char*, char*) {
    return core().other(kBoard, "_topazInventory@16", handle, {});
}
VK_EXPORT KXx0ComError topazReadUID(KXx0HANDLE handle, char*, char*) {
    return core().other(kBoard, "_topazReadUID@12", handle, {});
}
VK_EXPORT KXx0ComError topazReadAll(KXx0HANDLE handle, const char*, char*, size_t* rxLen) {
    return core().other(kBoard, "_topazReadAll@16", handle, {value(rxLen)});
}
VK_EXPORT KXx0ComError topazWriteByte(KXx0HANDLE handle, const char*, uint8_t address, uint8_t data) {
    return core().other(kBoard, "_topazWriteByte@16", handle, {address, data});
}
VK_EXPORT KXx0ComError topazDeinit(KXx0HANDLE handle, bool flag) {
    return core().other(kBoard, "_topazDeinit@8", handle, {flag});
}

} // extern "C"

// NFC byte transfer: initialise, transmit, receive, the two bit rates and
// de-initialise.
#include "export_support.h"

#include <vkcommon/export.h>

namespace {

using namespace board_link;

constexpr std::uint8_t kCmdInit = 0xC0;
constexpr std::uint8_t kCmdTx = 0xC1;
constexpr std::uint8_t kCmdRx = 0xC2;
constexpr std::uint8_t kCmdTxBitrate = 0xC4;
constexpr std::uint8_t kCmdRxBitrate = 0xC5;
constexpr std::uint8_t kCmdDeinit = 0xCF;

// The receive answer's first byte is not data.
constexpr std::size_t kRxDataOffset = 1;

} // namespace

extern "C" {

VK_EXPORT KXx0ComError nfcInitialize(KXx0HANDLE handle, bool p1, bool p2, uint8_t p3, uint8_t p4) {
    return simpleCommand(handle, kCmdInit, Parameters().u8(p1 ? 1 : 0).u8(p2 ? 1 : 0).u8(p3).u8(p4));
}

VK_EXPORT KXx0ComError nfcTxNBytes(KXx0HANDLE handle, const char* tx, size_t txLen) {
    if (handle == nullptr) return Invalid_handleError;
    if (missing(tx, txLen)) return ParameterError;
    if (!fitsTelegram(txLen)) return ParameterError;
    return simpleCommand(handle, kCmdTx, Parameters().bytes(tx, txLen));
}

VK_EXPORT KXx0ComError nfcRxNBytes(KXx0HANDLE handle, char* rx, size_t* rxLen) {
    if (handle == nullptr) return Invalid_handleError;
    if (missingInOut(rx, rxLen)) return ParameterError;
    return widenStatus(receiveInOut(handle, kCmdRx, {}, *rxLen, kRxDataOffset, rx, rxLen).status);
}

VK_EXPORT KXx0ComError nfcSetTxBitrate(KXx0HANDLE handle, uint8_t rate) {
    return simpleCommand(handle, kCmdTxBitrate, Parameters().u8(rate));
}

VK_EXPORT KXx0ComError nfcSetRxBitrate(KXx0HANDLE handle, uint8_t rate) {
    return simpleCommand(handle, kCmdRxBitrate, Parameters().u8(rate));
}

VK_EXPORT KXx0ComError nfcDeInitialize(KXx0HANDLE handle) {
    return simpleCommand(handle, kCmdDeinit);
}

} // extern "C"

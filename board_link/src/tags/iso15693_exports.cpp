// ISO 15693: initialise, inventory, stay quiet, select, system information,
// block read and write, the two pass-through exchanges and de-initialise.
// A null UID addresses the selected tag (flag 0x10) where the request carries
// a UID; eight zero bytes stand in for it.
#include "export_support.h"

#include <vkcommon/export.h>

namespace {

using namespace board_link;

constexpr std::uint8_t kCmdInit = 0xD0;
constexpr std::uint8_t kCmdInventoryOneSlot = 0xD2;
constexpr std::uint8_t kCmdInventory16Slots = 0xD3;
constexpr std::uint8_t kCmdStayQuiet = 0xD4;
constexpr std::uint8_t kCmdSelect = 0xD5;
constexpr std::uint8_t kCmdSystemInformation = 0xD6;
constexpr std::uint8_t kCmdReadBlock = 0xD7;
constexpr std::uint8_t kCmdWriteBlock = 0xD8;
constexpr std::uint8_t kCmdPhyTxRx = 0xDD;
constexpr std::uint8_t kCmdTxRx = 0xDE;
constexpr std::uint8_t kCmdDeinit = 0xDF;

constexpr std::size_t kUid = 8;
constexpr std::uint8_t kFlagSelect = 0x10;
constexpr std::uint8_t kFlagOption = 0x40;
// One count byte and 16 entries.
constexpr std::size_t kInventoryAnswer = 1 + 16 * sizeof(Iso15693InventoryEntry);
constexpr std::uint8_t kFiller[kUid] = {};

// [flags][UID, or the filler for a null one]; a null UID adds the select flag.
Parameters addressed(const char* uid, std::uint8_t flags) {
    if (uid == nullptr) return Parameters().u8(flags | kFlagSelect).bytes(kFiller, kUid);
    return Parameters().u8(flags).bytes(uid, kUid);
}

// Stay quiet and select: [0x00][UID], or [0x00] alone for a null UID.
KXx0ComError addressOnly(KXx0HANDLE handle, std::uint8_t command, const char* uid) {
    Parameters parameters = Parameters().u8(0);
    if (uid != nullptr) parameters.bytes(uid, kUid);
    return simpleCommand(handle, command, parameters);
}

KXx0ComError passThrough(KXx0HANDLE handle, std::uint8_t command, const char* tx, size_t txLen, char* rx,
                         size_t* rxLen, uint16_t param) {
    if (handle == nullptr) return Invalid_handleError;
    if (missing(tx, txLen) || missingInOut(rx, rxLen)) return ParameterError;
    if (!fitsTelegram(2 + txLen)) return ParameterError;
    const Parameters parameters = Parameters().u8(param).u8(param >> 8).bytes(tx, txLen);
    return widenStatus(receiveInOut(handle, command, parameters, *rxLen, 0, rx, rxLen).status);
}

} // namespace

extern "C" {

VK_EXPORT KXx0ComError iso15693Initialise(KXx0HANDLE handle, int p1, bool p2) {
    return simpleCommand(handle, kCmdInit, Parameters().u8(static_cast<std::uint32_t>(p1)).u8(p2 ? 1 : 0), 4);
}

VK_EXPORT KXx0ComError iso15693sendInventoryRequest(KXx0HANDLE handle, int slots16,
                                                    Iso15693InventoryEntry* entries, size_t* count) {
    if (handle == nullptr) return Invalid_handleError;
    if (count == nullptr || missing(entries, *count)) return ParameterError;
    KX20Com_UsbHid& board = *boardOf(handle);
    const std::size_t capacity = *count;
    *count = 0;
    const Exchange e =
        exchange(board, slots16 == 0 ? kCmdInventoryOneSlot : kCmdInventory16Slots, {}, kInventoryAnswer);
    const KXx0ComError status = widenStatus(e.status);
    if (status != NoError && status != NotFound)
        board.reportMessage(
            QStringLiteral("iso15693 inventory returned error %1").arg(board.statusName(status)));
    // The board's count byte is not used: every entry that came is one, the
    // last one with the bytes it has.
    constexpr std::size_t kEntry = sizeof(Iso15693InventoryEntry);
    for (std::size_t offset = 1; offset < e.answer.size() && *count < capacity; offset += kEntry)
        e.copy(offset, &entries[(*count)++], kEntry);
    return status;
}

VK_EXPORT KXx0ComError iso15693StayQuiet(KXx0HANDLE handle, const char* uid) {
    return addressOnly(handle, kCmdStayQuiet, uid);
}

VK_EXPORT KXx0ComError iso15693Select(KXx0HANDLE handle, const char* uid) {
    return addressOnly(handle, kCmdSelect, uid);
}

VK_EXPORT KXx0ComError iso15693GetSystemInformation(KXx0HANDLE handle, const char* uid, char* rx,
                                                    size_t* rxLen) {
    if (handle == nullptr) return Invalid_handleError;
    if (missingInOut(rx, rxLen)) return ParameterError;
    return widenStatus(
        receiveInOut(handle, kCmdSystemInformation, addressed(uid, 0), 15, 0, rx, rxLen).status);
}

VK_EXPORT KXx0ComError iso15693ReadBlock(KXx0HANDLE handle, const char* uid, uint8_t block, char* rx,
                                         size_t* rxLen) {
    if (handle == nullptr) return Invalid_handleError;
    if (missingInOut(rx, rxLen)) return ParameterError;
    return widenStatus(
        receiveInOut(handle, kCmdReadBlock, addressed(uid, 0).u8(block), 40, 0, rx, rxLen).status);
}

VK_EXPORT KXx0ComError iso15693WriteBlock(KXx0HANDLE handle, const char* uid, uint8_t block, const char* data,
                                          size_t dataLen, char* rx, size_t* rxLen, bool option) {
    if (handle == nullptr) return Invalid_handleError;
    if (missing(data, dataLen) || missingInOut(rx, rxLen)) return ParameterError;
    if (!fitsTelegram(1 + kUid + 1 + dataLen)) return ParameterError;
    const Parameters parameters = addressed(uid, option ? kFlagOption : 0).u8(block).bytes(data, dataLen);
    return widenStatus(receiveInOut(handle, kCmdWriteBlock, parameters, 2, 0, rx, rxLen).status);
}

VK_EXPORT KXx0ComError iso15693TxRxNBytes(KXx0HANDLE handle, const char* tx, size_t txLen, char* rx,
                                          size_t* rxLen, uint16_t param) {
    return passThrough(handle, kCmdTxRx, tx, txLen, rx, rxLen, param);
}

VK_EXPORT KXx0ComError iso15693PhyTxRxNBytes(KXx0HANDLE handle, const char* tx, size_t txLen, char* rx,
                                             size_t* rxLen, uint16_t param) {
    return passThrough(handle, kCmdPhyTxRx, tx, txLen, rx, rxLen, param);
}

VK_EXPORT KXx0ComError iso15693Deinit(KXx0HANDLE handle, bool flag) {
    return commandWithoutResult(handle, kCmdDeinit, Parameters().u8(flag ? 1 : 0));
}

} // extern "C"

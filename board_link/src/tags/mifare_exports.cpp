// MIFARE: initialise, authenticate, raw request, block read and write and
// de-initialise; MIFARE Ultralight: read four pages, write and lock a page.
#include "export_support.h"

#include <vkcommon/export.h>

namespace {

using namespace board_link;

constexpr std::uint8_t kCmdInit = 0xE0;
constexpr std::uint8_t kCmdAuthenticateKeyA = 0xE1; // keyFlag true
constexpr std::uint8_t kCmdAuthenticateKeyB = 0xE2;
constexpr std::uint8_t kCmdRequest = 0xE3;
constexpr std::uint8_t kCmdReadBlock = 0xE5;
constexpr std::uint8_t kCmdWriteBlock = 0xE6;
constexpr std::uint8_t kCmdDeinit = 0xEF;
constexpr std::uint8_t kCmdUlRead4Pages = 0xA7;
constexpr std::uint8_t kCmdUlWritePage = 0xA8;

constexpr std::size_t kKey = 6;
constexpr std::size_t kBlock = 16;
// A block answer: the 16 data bytes and 2 more, which are dropped.
constexpr std::size_t kBlockAnswer = 18;
constexpr std::size_t kUlAnswer = 16;
// The Ultralight lock bits live in bytes 2 and 3 of page 2.
constexpr std::uint32_t kLockPage = 2;

KXx0ComError ulWritePage(KXx0HANDLE handle, std::uint32_t page, const void* data, std::size_t dataLen) {
    return simpleCommand(handle, kCmdUlWritePage, Parameters().u8(page).bytes(data, dataLen), kUlAnswer);
}

} // namespace

extern "C" {

VK_EXPORT KXx0ComError mifareInit(KXx0HANDLE handle) {
    return simpleCommand(handle, kCmdInit);
}

VK_EXPORT KXx0ComError mifareAuthenticate(KXx0HANDLE handle, uint32_t block, const char* uid, size_t uidLen,
                                          const char* key, bool keyFlag) {
    if (handle == nullptr) return Invalid_handleError;
    if (missing(uid, uidLen) || key == nullptr) return ParameterError;
    if (!fitsTelegram(1 + kKey + 1 + uidLen)) return ParameterError;
    const Parameters parameters =
        Parameters().u8(block).bytes(key, kKey).u8(static_cast<std::uint32_t>(uidLen)).bytes(uid, uidLen);
    return simpleCommand(handle, keyFlag ? kCmdAuthenticateKeyA : kCmdAuthenticateKeyB, parameters, 1);
}

VK_EXPORT KXx0ComError mifareSendRequest(KXx0HANDLE handle, char* tx, size_t txLen, char* rx, size_t* rxLen) {
    if (handle == nullptr) return Invalid_handleError;
    if (missing(tx, txLen) || missingInOut(rx, rxLen)) return ParameterError;
    if (!fitsTelegram(txLen)) return ParameterError;
    return widenStatus(
        receiveInOut(handle, kCmdRequest, Parameters().bytes(tx, txLen), kBlockAnswer, 0, rx, rxLen).status);
}

VK_EXPORT KXx0ComError mifareReadBlock(KXx0HANDLE handle, uint32_t block, char* rx, size_t* rxLen) {
    if (handle == nullptr) return Invalid_handleError;
    if (missingInOut(rx, rxLen)) return ParameterError;
    Exchange e = exchange(*boardOf(handle), kCmdReadBlock, Parameters().u8(block), kBlockAnswer);
    if (e.answer.size() == kBlockAnswer) e.answer.resize(kBlock);
    copyInOut(e, 0, rx, rxLen);
    return widenStatus(e.status);
}

VK_EXPORT KXx0ComError mifareWriteBlock(KXx0HANDLE handle, uint32_t block, const char* data, size_t dataLen) {
    if (handle == nullptr) return Invalid_handleError;
    if (missing(data, dataLen) || dataLen != kBlock) return ParameterError;
    return simpleCommand(handle, kCmdWriteBlock, Parameters().u8(block).bytes(data, kBlock));
}

VK_EXPORT KXx0ComError mifareDeinit(KXx0HANDLE handle, bool flag) {
    return simpleCommand(handle, kCmdDeinit, Parameters().u8(flag ? 1 : 0));
}

VK_EXPORT KXx0ComError mifareUlRead4Pages(KXx0HANDLE handle, int page, char* rx, size_t* rxLen) {
    if (handle == nullptr) return Invalid_handleError;
    if (missingInOut(rx, rxLen)) return ParameterError;
    return widenStatus(receiveInOut(handle, kCmdUlRead4Pages,
                                    Parameters().u8(static_cast<std::uint32_t>(page)), kUlAnswer, 0, rx,
                                    rxLen)
                           .status);
}

VK_EXPORT KXx0ComError mifareUlWritePage(KXx0HANDLE handle, int page, const char* data, size_t dataLen) {
    if (handle == nullptr) return Invalid_handleError;
    if (missing(data, dataLen)) return ParameterError;
    if (!fitsTelegram(1 + dataLen)) return ParameterError;
    return ulWritePage(handle, static_cast<std::uint32_t>(page), data, dataLen);
}

VK_EXPORT KXx0ComError mifareUlLockPage(KXx0HANDLE handle, int page) {
    // The page's lock bit, kept to the 16 bits of the two lock bytes.
    const std::uint32_t mask = (1u << (static_cast<std::uint32_t>(page) & 31u)) & 0xFFFFu;
    const std::uint8_t lockBytes[] = {0, 0, static_cast<std::uint8_t>(mask),
                                      static_cast<std::uint8_t>(mask >> 8)};
    return ulWritePage(handle, kLockPage, lockBytes, sizeof lockBytes);
}

} // extern "C"

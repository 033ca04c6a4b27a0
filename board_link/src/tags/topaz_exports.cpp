// Topaz: initialise, inventory, read the UID, read all, write a byte and
// de-initialise.
#include "export_support.h"

#include <vkcommon/export.h>

namespace {

using namespace board_link;

constexpr std::uint8_t kCmdInit = 0x90;
constexpr std::uint8_t kCmdInventory = 0x91;
constexpr std::uint8_t kCmdReadUid = 0x92;
constexpr std::uint8_t kCmdReadAll = 0x93;
constexpr std::uint8_t kCmdWriteByte = 0x95;
constexpr std::uint8_t kCmdDeinit = 0x9F;

constexpr std::uint8_t kReqa = 0x26;
constexpr std::size_t kUid = 4;
// Read UID and read all answer two leading bytes before their data.
constexpr std::size_t kHeader = 2;

} // namespace

extern "C" {

VK_EXPORT KXx0ComError topazInitialise(KXx0HANDLE handle) {
    return simpleCommand(handle, kCmdInit);
}

VK_EXPORT KXx0ComError topazInventory(KXx0HANDLE handle, char* first, char* second, char* third) {
    if (handle == nullptr) return Invalid_handleError;
    if (first == nullptr || second == nullptr || third == nullptr) return ParameterError;
    const Exchange e = exchange(*boardOf(handle), kCmdInventory, Parameters().u8(kReqa), 8);
    if (e.status == NoError || e.status == NotSupported) e.copy(0, first, 2);
    if (e.status == NoError) {
        e.copy(2, second, 2);
        e.copy(4, third, 4);
    }
    return widenStatus(e.status);
}

VK_EXPORT KXx0ComError topazReadUID(KXx0HANDLE handle, char* uid, char* second) {
    if (handle == nullptr) return Invalid_handleError;
    if (uid == nullptr || second == nullptr) return ParameterError;
    const Exchange e = exchange(*boardOf(handle), kCmdReadUid, {}, kHeader + kUid);
    e.copy(kHeader, uid, kUid);
    e.copy(0, second, kHeader);
    return widenStatus(e.status);
}

VK_EXPORT KXx0ComError topazReadAll(KXx0HANDLE handle, const char* uid, char* rx, size_t* rxLen) {
    if (handle == nullptr) return Invalid_handleError;
    if (uid == nullptr || missingInOut(rx, rxLen)) return ParameterError;
    return widenStatus(
        receiveInOut(handle, kCmdReadAll, Parameters().bytes(uid, kUid), *rxLen, kHeader, rx, rxLen).status);
}

VK_EXPORT KXx0ComError topazWriteByte(KXx0HANDLE handle, const char* uid, uint8_t address, uint8_t data) {
    if (handle == nullptr) return Invalid_handleError;
    if (uid == nullptr) return ParameterError;
    return simpleCommand(handle, kCmdWriteByte, Parameters().bytes(uid, kUid).u8(address).u8(data), 1);
}

VK_EXPORT KXx0ComError topazDeinit(KXx0HANDLE handle, bool flag) {
    return commandWithoutResult(handle, kCmdDeinit, Parameters().u8(flag ? 1 : 0));
}

} // extern "C"

// Kovio: initialise, read and de-initialise.
#include "export_support.h"

#include <vkcommon/export.h>

namespace {

using namespace board_link;

constexpr std::uint8_t kCmdInit = 0x80;
constexpr std::uint8_t kCmdRead = 0x81;
constexpr std::uint8_t kCmdDeinit = 0x8F;

constexpr std::size_t kReadAnswer = 256;

} // namespace

extern "C" {

VK_EXPORT KXx0ComError kovioInitialise(KXx0HANDLE handle) {
    return simpleCommand(handle, kCmdInit);
}

VK_EXPORT KXx0ComError kovioRead(KXx0HANDLE handle, char* rx, size_t* rxLen) {
    if (handle == nullptr) return Invalid_handleError;
    if (missingInOut(rx, rxLen)) return ParameterError;
    return widenStatus(receiveInOut(handle, kCmdRead, {}, kReadAnswer, 0, rx, rxLen).status);
}

VK_EXPORT KXx0ComError kovioDeinit(KXx0HANDLE handle, bool flag) {
    return commandWithoutResult(handle, kCmdDeinit, Parameters().u8(flag ? 1 : 0));
}

} // extern "C"

// KX10EVALOComm: the first board, with the antenna trim of its own.
#include "board_variant.h"

#include <KXx0EVALOComm.h>
#include <vkcommon/export.h>

namespace board_link {

std::unique_ptr<KX20Com_UsbHid> makeLibraryBoard() {
    return std::make_unique<KX10Communication>();
}

} // namespace board_link

extern "C" VK_EXPORT void antennaSetTrimVal(KXx0HANDLE handle, int value) {
    if (handle == nullptr) return;
    constexpr std::uint32_t kTrimRegister = 0x21;
    auto* board = reinterpret_cast<board_link::KX20Com_UsbHid*>(handle);
    const auto trim = static_cast<std::uint8_t>(((static_cast<unsigned>(value) & 0xFFu) | 0x10u) * 8u);
    board_link::KXx0RegisterObject telegram(1, 1, kTrimRegister, trim);
    board->channel().write(&telegram);
    board->channel().flush();
}

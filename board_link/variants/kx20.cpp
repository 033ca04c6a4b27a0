// KX20EVALOComm: the second board.
#include "board_variant.h"

namespace board_link {

std::unique_ptr<KX20Com_UsbHid> makeLibraryBoard() {
    return std::make_unique<KX20Com_UsbHid>(kKx20Board);
}

} // namespace board_link

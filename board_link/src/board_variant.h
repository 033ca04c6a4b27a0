// What each board library defines for itself: its board object and its own
// version strings. The operations shared by both libraries reach them here.
#ifndef BOARD_LINK_BOARD_VARIANT_H
#define BOARD_LINK_BOARD_VARIANT_H

#include "kx20_com_usb_hid.h"

#include <vkplatform/version_info.h>

#include <memory>

namespace board_link {

// A new, unconnected board object of the library's board.
std::unique_ptr<KX20Com_UsbHid> makeLibraryBoard();

// The library's own version block (ProductName, ProductVersion), generated
// with the library.
const vkplatform::version::Block& ownVersionBlock();

} // namespace board_link

#endif

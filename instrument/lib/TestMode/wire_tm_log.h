// Log category of the wire test mode.
#ifndef ZRB_WIRE_TM_LOG_H
#define ZRB_WIRE_TM_LOG_H

#include "zrb_log.h"

namespace zrb {

ZRB_LOG_CATEGORY(kWireTmLog, "ZRB_WireTM");

} // namespace zrb

#endif

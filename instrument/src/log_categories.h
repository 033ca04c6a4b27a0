// The session's log categories.
#ifndef ZRB_LOG_CATEGORIES_H
#define ZRB_LOG_CATEGORIES_H

#include "zrb_log.h"

namespace zrb {

ZRB_LOG_CATEGORY(kScpiLog, "ZRB_SCPI");     // transport
ZRB_LOG_CATEGORY(kClientLog, "ZRB_CLIENT"); // commands and their replies

// Request and reply lines, looked up on every record.
inline constexpr const char* kTxTrace = "main_ZRB_SCPI_TX";
inline constexpr const char* kRxTrace = "main_ZRB_SCPI_RX";

} // namespace zrb

#endif

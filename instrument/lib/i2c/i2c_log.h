// Log category of the I2C stimuli and transactions.
#ifndef ZRB_I2C_LOG_H
#define ZRB_I2C_LOG_H

#include "zrb_log.h"

namespace zrb {

ZRB_LOG_CATEGORY(kI2cLog, "ZRB_I2C");

} // namespace zrb

#endif

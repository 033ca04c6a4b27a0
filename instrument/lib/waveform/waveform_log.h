// Log categories of the waveform code.
#ifndef ZRB_WAVEFORM_LOG_H
#define ZRB_WAVEFORM_LOG_H

#include "zrb_log.h"

namespace zrb {

ZRB_LOG_CATEGORY(kQuantityLog, "Quantity");
ZRB_LOG_CATEGORY(kWaveformLog, "Waveform");
ZRB_LOG_CATEGORY(kWaveformsLog, "Waveforms");

} // namespace zrb

#endif

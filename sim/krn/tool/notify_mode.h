// krnsim --notify: a reader that calls a notification listener and notifies
// on a period, printing what the host sends back.
#ifndef KRNSIM_TOOL_NOTIFY_MODE_H
#define KRNSIM_TOOL_NOTIFY_MODE_H

#include "options.h"

#include <csignal>

namespace krnsim::tool {

// Runs until one of `stopSignals` (blocked by the caller) arrives: 0, or 1 when
// the listener cannot be reached or refuses the handshake.
int runNotify(const Options& options, const sigset_t& stopSignals);

} // namespace krnsim::tool

#endif

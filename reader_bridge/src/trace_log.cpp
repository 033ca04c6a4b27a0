#include "trace_log.h"

namespace vemlasdknative {

TraceLog traceLog;

} // namespace vemlasdknative

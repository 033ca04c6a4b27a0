// The last error and last unit status. They are the plain exported variables
// g_iLastError and g_ucLastStatus (the interface); the library reads and writes
// them only through these functions, as atomic objects, so concurrent calls are
// free of data races (their values still overwrite each other).
#ifndef VKFU_LAST_STATE_H
#define VKFU_LAST_STATE_H

#include <cstdint>

namespace vkfu {

int lastError();
void setLastError(int code);
std::uint8_t lastStatus();
void setLastStatus(std::uint8_t status);

} // namespace vkfu

#endif

#include "last_state.h"

#include <vkfu.h>

#include <atomic>

extern "C" {
VKFU_API int g_iLastError = 0;
VKFU_API unsigned char g_ucLastStatus = 0;
}

namespace vkfu {

int lastError() {
    return std::atomic_ref<int>(g_iLastError).load();
}

void setLastError(int code) {
    std::atomic_ref<int>(g_iLastError).store(code);
}

std::uint8_t lastStatus() {
    return std::atomic_ref<unsigned char>(g_ucLastStatus).load();
}

void setLastStatus(std::uint8_t status) {
    std::atomic_ref<unsigned char>(g_ucLastStatus).store(status);
}

} // namespace vkfu

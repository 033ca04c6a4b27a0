#include "KX10.h"

#include <cstdio>

namespace vemlasdknative {

namespace {

constexpr std::uint32_t kVersionMask = 0xFFFF00; // major and minor
constexpr std::uint32_t kAcceptedVersion = 0x010100;

} // namespace

kx10::kx10() {
    Load_DLLKXx0(&kx10_dllHandle, "KX10EVALOComm.dll");
}

bool kx10::CheckVersion(char* text) {
    if (kx10_handle == nullptr) return false;
    std::uint32_t v = 0;
    const bool reported = firmwareVersion(v);
    if (reported && (v & kVersionMask) == kAcceptedVersion) {
        if (text != nullptr) text[0] = '\0';
        return true;
    }
    if (text != nullptr)
        std::snprintf(text, kVersionTextSize,
                      "KX10 firmware version mismatch: current=%u.%u.%u, expected=1.1.x", v >> 16,
                      (v >> 8) & 0xFF, v & 0xFF);
    return false;
}

} // namespace vemlasdknative

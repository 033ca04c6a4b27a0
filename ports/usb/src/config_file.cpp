#include "config_file.h"

#include <vkcommon/param_text.h>

#include <climits>
#include <cstring>

namespace vkusb {

namespace {

// The value right after the first occurrence of `key`, or null.
const char* valueOf(const char* text, const char* key) {
    const char* at = std::strstr(text, key);
    return at != nullptr ? at + std::strlen(key) : nullptr;
}

// A decimal int after `key` (leading blanks and a sign allowed, saturated to
// int); false when the key is absent or no digits follow.
bool readInt(const char* text, const char* key, int& out) {
    const char* value = valueOf(text, key);
    if (value == nullptr) return false;
    const vk::ParsedNumber number = vk::parseDecimal(value);
    if (!number.hasDigits) return false;
    if (number.value > INT_MAX)
        out = INT_MAX;
    else if (number.value < INT_MIN)
        out = INT_MIN;
    else
        out = static_cast<int>(number.value);
    return true;
}

} // namespace

std::size_t readConfigText(std::FILE* file, char (&text)[kConfigTextSize]) {
    std::memset(text, 0, sizeof text);
    return std::fread(text, 1, kConfigTextSize - 1, file);
}

void applyConfigText(const char* text, UsbConfig& config) {
    readInt(text, "libusb_debuglevel=", config.libusbDebugLevel);
    readInt(text, "vkusb_debuglevel=", config.traceLevel);
    if (const char* mode = valueOf(text, "vkusb_hotplug=")) config.hotplugMode = *mode - '0';
    int rateMs = 0;
    if (readInt(text, "vkusb_updaterate=", rateMs)) {
        if (rateMs < kMinimumUpdateRateMs) rateMs = kMinimumUpdateRateMs;
        config.intervalUs = static_cast<std::int64_t>(rateMs) * 1000;
    }
    if (std::strstr(text, "nopnp") != nullptr) config.hotplugMode = 0;
}

} // namespace vkusb

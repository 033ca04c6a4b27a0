// The configuration file: a few "key=value" texts found anywhere in its first
// 1023 bytes (first occurrence, comments included).
#ifndef VKUSB_CONFIG_FILE_H
#define VKUSB_CONFIG_FILE_H

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace vkusb {

// Size of the zeroed buffer the file is read into; at most one byte less is read.
inline constexpr std::size_t kConfigTextSize = 1024;

inline constexpr int kDefaultHotplugMode = 1;
inline constexpr std::int64_t kDefaultIntervalUs = 300000;
inline constexpr int kMinimumUpdateRateMs = 10;

struct UsbConfig {
    int libusbDebugLevel = 0;
    int traceLevel = 0;
    int hotplugMode = kDefaultHotplugMode;
    std::int64_t intervalUs = kDefaultIntervalUs; // watch interval in microseconds
};

// Path of the configuration file this build reads (one small source per build).
extern const char* const kConfigFilePath;

// Reads at most kConfigTextSize - 1 bytes of `file` into `text` (zeroed first,
// always terminated). Returns the number of bytes read.
std::size_t readConfigText(std::FILE* file, char (&text)[kConfigTextSize]);

// Applies the keys found in `text` (NUL-terminated) to `config`:
//   "libusb_debuglevel=" and "vkusb_debuglevel=" read a decimal number,
//   "vkusb_hotplug=" takes the one character after the key minus '0',
//   "vkusb_updaterate=" reads milliseconds (raised to 10; no number keeps the
//   interval), "nopnp" sets mode 0 whatever "vkusb_hotplug=" said.
void applyConfigText(const char* text, UsbConfig& config);

} // namespace vkusb

#endif

// Any file content, read as the USB port library reads its configuration file:
// at most 1023 bytes into a zeroed buffer, then the keys are looked up.
#include "config_file.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    char text[vkusb::kConfigTextSize];
    static char empty = '\0';
    void* bytes = size > 0 ? const_cast<uint8_t*>(data) : static_cast<void*>(&empty);
    std::FILE* file = fmemopen(bytes, size > 0 ? size : 1, "r");
    if (file == nullptr) return 0;
    vkusb::readConfigText(file, text);
    std::fclose(file);
    vkusb::UsbConfig config;
    vkusb::applyConfigText(text, config);
    if (config.intervalUs < 10000) __builtin_trap();
    return 0;
}

// Any file content, read as the data-manager core reads a configuration file:
// either the whole image is replaced or nothing is.
#include "config_file.h"
#include "data_memory.h"

#include <cstdint>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::vector<std::uint8_t> image(vkdm::kImageBlocks * vkdm::kBlockSize, 0x5A);
    const int rc = vkdm::parseConfigText(text, image);
    if (rc != 0 && rc != -116) __builtin_trap();
    if (image.size() != static_cast<std::size_t>(vkdm::kImageBlocks * vkdm::kBlockSize)) __builtin_trap();
    return 0;
}

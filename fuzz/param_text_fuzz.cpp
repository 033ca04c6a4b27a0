// Parameter texts come from callers unchecked: the key upper-casing and the
// number read must stay inside their bounds for any bytes.
#include <vkcommon/param_text.h>

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    char key[vk::kKeyBufferSize];
    const bool fits = vk::upperCaseKey(text.c_str(), key);
    if (fits != (std::char_traits<char>::length(text.c_str()) < vk::kKeyBufferSize)) __builtin_trap();
    const auto parsed = vk::parseDecimal(text.c_str());
    if (!parsed.hasDigits && parsed.value != 0) __builtin_trap();
    return 0;
}

#include "hex_text.h"

#include "log_categories.h"

#include <vkcommon/hex_digit.h>

namespace zrb {

std::string bin2str(const std::uint8_t* bytes, std::size_t count) {
    std::string text;
    text.reserve(2 * count);
    for (std::size_t i = 0; i < count; ++i) {
        text.push_back(vk::kHexDigits[bytes[i] >> 4]);
        text.push_back(vk::kHexDigits[bytes[i] & 0x0F]);
    }
    return text;
}

bool str2bin(std::uint8_t* dest, unsigned size, std::string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const std::size_t index = i / 2;
        if (index >= size) {
            const std::string copy(text);
            ZRB_LOG(kClientLog, ZLOG_LEVEL_ERROR,
                    "destination storage (%d bytes) can't hold value '%s' passed by server",
                    static_cast<int>(size), copy.c_str());
            return false;
        }
        const int value = vk::hexDigitValue(text[i]);
        if (value < 0) {
            const std::string copy(text);
            ZRB_LOG(kClientLog, ZLOG_LEVEL_ERROR,
                    "Value '%s' passed by server is not an hex string as expected", copy.c_str());
            return false;
        }
        if (i % 2 == 0) {
            dest[index] = static_cast<std::uint8_t>(value << 4);
        } else {
            dest[index] = static_cast<std::uint8_t>(dest[index] | value);
        }
    }
    return true;
}

} // namespace zrb

// Bytes as the program prints them: "%02X" pairs separated by blanks.
#ifndef KRNSIM_TOOL_HEX_TEXT_H
#define KRNSIM_TOOL_HEX_TEXT_H

#include <krnsim/types.h>

#include <cstdio>
#include <string>

namespace krnsim::tool {

inline std::string hexText(ByteView bytes) {
    std::string text;
    char pair[4];
    for (const std::uint8_t byte : bytes) {
        std::snprintf(pair, sizeof pair, "%02X ", byte);
        text += pair;
    }
    if (!text.empty()) text.pop_back();
    return text;
}

} // namespace krnsim::tool

#endif

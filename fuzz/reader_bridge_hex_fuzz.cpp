// Any text through the hex reader: it converts only pairs of hex digits, stops
// at the first other pair, never writes past chars / 2 + 1 bytes, and agrees
// with the writer on the way back.
#include "utils.h"

#include <cctype>
#include <cstdint>
#include <cstring>
#include <vector>

using namespace vemlasdknative;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<char> text(data, data + size);
    const int chars = static_cast<int>(size);
    std::vector<unsigned char> bytes(size / 2 + 1);
    int result = Asc2Hex(bytes.data(), text.data(), chars);

    std::size_t good = 0;
    while (good < size / 2 && std::isxdigit(static_cast<unsigned char>(text[2 * good])) &&
           std::isxdigit(static_cast<unsigned char>(text[2 * good + 1])))
        ++good;
    if (result != (good == size / 2 ? 1 : 0)) __builtin_trap();
    if (bytes[good] != 0) __builtin_trap();

    std::vector<char> back(2 * good + 1);
    Hex2Asc(back.data(), bytes.data(), static_cast<int>(good));
    for (std::size_t i = 0; i < 2 * good; ++i)
        if (back[i] != std::toupper(static_cast<unsigned char>(text[i]))) __builtin_trap();

    if (size >= 2) {
        std::vector<unsigned char> tail(size / 2 + 1);
        Asc2HexWithCursor(tail.data(), text.data(), chars - 2, 2);
        if (good >= 2 && tail[0] != bytes[1]) __builtin_trap();
    }
    return 0;
}

#include <krnsim/command_lengths.h>

#include <array>

namespace krnsim {

namespace {

enum class Rule : std::uint8_t { Unknown, Fixed, Minimum, Special };

struct Length {
    Rule rule = Rule::Unknown;
    std::uint16_t n = 0;
};

constexpr std::array<Length, 256> makeRules() {
    std::array<Length, 256> rules{};
    auto fixed = [&](std::uint8_t command, std::uint16_t n) { rules[command] = {Rule::Fixed, n}; };
    auto minimum = [&](std::uint8_t command, std::uint16_t n) { rules[command] = {Rule::Minimum, n}; };
    auto special = [&](std::uint8_t command) { rules[command] = {Rule::Special, 0}; };
    // Reader commands 0x18 to 0x8C.
    special(0x18); // by mode: 16 or 23
    for (const std::uint8_t command :
         {0x1A, 0x1B, 0x1C, 0x31, 0x32, 0x33, 0x55, 0x63, 0x65, 0x69, 0x6D, 0x6F, 0x74, 0x75, 0x86, 0x88})
        fixed(command, 0);
    minimum(0x1E, 5);
    minimum(0x1F, 3);
    for (const std::uint8_t command : {0x21, 0x34, 0x52, 0x64, 0x66, 0x6A, 0x76, 0x80, 0x82, 0x83})
        fixed(command, 1);
    fixed(0x22, 2);
    fixed(0x35, 5);
    fixed(0x68, 6);
    special(0x6B); // 0 (noise threshold) or 6 (RF synchronisation)
    fixed(0x6C, 6);
    special(0x6E); // 1, or 2 for mode 0x21
    fixed(0x71, 8);
    special(0x72); // 2 + 4 x count
    special(0x7A); // 6 + length
    fixed(0x81, 15);
    fixed(0x85, 4);
    fixed(0x87, 9);
    fixed(0x8A, 6);
    special(0x8B); // 5 + count x (size + 2)
    fixed(0x8C, 6);
    // Reader commands 0x9F to 0xAD.
    minimum(0x9F, 3);
    fixed(0xA0, 4);
    fixed(0xA2, 8);
    special(0xA3); // 4 + key length
    special(0xAD); // 3 + key length
    // Authentication and the secured channel.
    minimum(0xAE, 0);
    minimum(0xAF, 0);
    // Transponder commands.
    for (const std::uint8_t command : {0xB0, 0xB2, 0xB3, 0xFE})
        minimum(command, 0);
    for (const std::uint8_t command : {0xB1, 0xB4, 0xB5})
        minimum(command, 1);
    // Transparent, SAM and card-crypto commands.
    minimum(0xBB, 7);
    minimum(0xBC, 2); // command queue: [first][second][commands]
    for (const std::uint8_t command : {0xBD, 0xBE, 0xBF})
        minimum(command, 3);
    minimum(0xC0, 2);
    minimum(0xC1, 6);
    minimum(0xC2, 2);
    minimum(0xC3, 2);
    return rules;
}

constexpr auto kRules = makeRules();

bool specialMatches(std::uint8_t command, ByteView d) {
    const std::size_t n = d.size();
    switch (command) {
    case 0x18: return n >= 1 && ((d[0] == 0 && n == 16) || (d[0] == 1 && n == 23));
    case 0x6B: return n == 0 || n == 6;
    case 0x6E: return n >= 1 && n == (d[0] == 0x21 ? 2u : 1u);
    case 0x72: return n >= 2 && n == 2 + 4u * d[1];
    case 0x7A: return n >= 6 && n == 6u + d[5];
    case 0x8B: return n >= 5 && n == 5 + std::size_t{d[3]} * (d[4] + 2u);
    case 0xA3: return n >= 4 && n == 4u + d[3];
    case 0xAD: return n >= 3 && n == 3u + d[2];
    default: return false;
    }
}

} // namespace

bool isKnownCommand(std::uint8_t command) {
    return kRules[command].rule != Rule::Unknown;
}

std::optional<bool> lengthMatches(std::uint8_t command, ByteView data) {
    const Length& length = kRules[command];
    switch (length.rule) {
    case Rule::Unknown: return std::nullopt;
    case Rule::Fixed: return data.size() == length.n;
    case Rule::Minimum: return data.size() >= length.n;
    case Rule::Special: return specialMatches(command, data);
    }
    return std::nullopt;
}

} // namespace krnsim

// Version information as a library or program carries it: a block of
// translations (language, code page) and of strings under
// "\StringFileInfo\<language><code page>\<key>" (8 lower-case hex digits),
// queried by path.
#ifndef VKPLATFORM_VERSION_INFO_H
#define VKPLATFORM_VERSION_INFO_H

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace vkplatform::version {

struct Translation {
    std::uint16_t language;
    std::uint16_t codePage;
};

struct String {
    const char* path;  // "\StringFileInfo\000904b0\ProductName"
    const char* value; // NUL-terminated
};

struct Block {
    const Translation* translations;
    std::size_t translationCount;
    const String* strings;
    std::size_t stringCount;
};

inline constexpr char kTranslationPath[] = "\\VarFileInfo\\Translation";

// Finds `subBlock` in `block`: "\VarFileInfo\Translation" gives the
// translations (length in bytes, 4 per translation), a string path its text
// (length in characters with the terminator). False when the block has none.
inline bool VerQueryValueA(const Block* block, const char* subBlock, const void** value, unsigned* length) {
    if (block == nullptr || subBlock == nullptr || value == nullptr || length == nullptr) return false;
    if (std::strcmp(subBlock, kTranslationPath) == 0) {
        if (block->translationCount == 0) return false;
        *value = block->translations;
        *length = static_cast<unsigned>(block->translationCount * sizeof(Translation));
        return true;
    }
    for (std::size_t i = 0; i < block->stringCount; ++i) {
        if (std::strcmp(block->strings[i].path, subBlock) == 0) {
            *value = block->strings[i].value;
            *length = static_cast<unsigned>(std::strlen(block->strings[i].value) + 1);
            return true;
        }
    }
    return false;
}

// The version resources `id` (1 or 101) of the process's main program. Linux
// programs carry none.
inline const Block* hostVersionBlock(int) {
    return nullptr;
}

} // namespace vkplatform::version

#endif

#include <krnsim/demo_field.h>

#include <numeric>

namespace krnsim {

void addDemoTags(Reader& reader) {
    Tag first;
    first.uid = {0xE0, 0x04, 0x01, 0x00, 0x12, 0x34, 0x56, 0x78};
    first.type = 0x03;
    first.blockSize = 4;
    first.blockCount = 8;
    for (std::uint8_t block = 0; block < 8; ++block)
        first.blocks.insert(first.blocks.end(), 4, block);
    reader.addTag(first);

    Tag second;
    second.uid = {0xE0, 0x04, 0x01, 0x00, 0x9A, 0xBC, 0xDE, 0xF0};
    second.type = 0x03;
    second.blockSize = 8;
    second.blockCount = 16;
    second.blocks.resize(128);
    std::iota(second.blocks.begin(), second.blocks.end(), std::uint8_t{0});
    second.readOnly = true;
    reader.addTag(second);
}

} // namespace krnsim

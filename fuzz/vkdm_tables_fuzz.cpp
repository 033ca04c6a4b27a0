// Any reader data and status, stored as an inventory (0xB0) and as notification
// records (0x22, 0x74): the first four bytes choose status, TR-DATA bytes and
// record count; the tables never grow past their capacity.
#include "tables.h"

#include <cstdint>
#include <mutex>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) return 0;
    std::mutex lock;
    vkdm::Tables tables(lock);
    const int sizes[4] = {1 + (data[1] & 0x0F), 4, 2, 2};
    tables.setSize(VKDM_TABLE_ISO, 1 + (data[0] & 0x3F), sizes);
    tables.setSize(VKDM_TABLE_BRM, 1 + (data[0] & 0x3F), sizes);
    const std::uint8_t* body = data + 4;
    const int length = static_cast<int>(size - 4);
    const int stored = tables.storeInventory(body, length, data[0]);
    if (stored > tables.capacity(VKDM_TABLE_ISO)) __builtin_trap();
    const std::uint8_t command = (data[3] & 1) != 0 ? 0x74 : 0x22;
    tables.storeBrm(command, body, length, data[1], data[2], data[3]);
    if (tables.length(VKDM_TABLE_BRM) > tables.capacity(VKDM_TABLE_BRM)) __builtin_trap();
    for (int i = 0; i < tables.length(VKDM_TABLE_BRM); ++i) {
        if (tables.verify(i, VKDM_TABLE_BRM) != 0) __builtin_trap();
    }
    return 0;
}

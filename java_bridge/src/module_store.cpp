#include "module_store.h"

namespace nubokrn4j {

namespace {

// Data id of an ISO-table item's selected flag.
constexpr unsigned int kSelectedFlag = 0x80000002;

// The core's setters take their data as non-const; they only read it.
unsigned char* writable(const std::uint8_t* data) {
    return const_cast<unsigned char*>(data);
}

} // namespace

int ModuleStore::setByte(const char* id, std::uint8_t value) {
    return module_.SetData(id, static_cast<unsigned char>(value));
}

int ModuleStore::setUint(const char* id, std::uint32_t value) {
    return module_.SetData(id, static_cast<unsigned int>(value));
}

int ModuleStore::setBytes(const char* id, const std::uint8_t* data, int count) {
    return module_.SetData(id, writable(data), count);
}

int ModuleStore::getByte(const char* id, std::uint8_t& value) {
    unsigned char byte = 0;
    const int r = module_.GetData(id, &byte);
    if (r < 0) return r;
    value = byte;
    return 0;
}

void ModuleStore::setLastError(int code) {
    module_.SetLastError(code);
}

void ModuleStore::setRecordCount(int count) {
    module_.m_BrmRecordCount = count;
}

int ModuleStore::storeInventory(const std::uint8_t* data, int length, int status) {
    return module_.Set_0xB0_IsoTableData(writable(data), length, status);
}

int ModuleStore::storeRecords(std::uint8_t command, const std::uint8_t* data, int length) {
    return module_.SetBrmTableData(command, writable(data), length);
}

void ModuleStore::clearFirstSelected() {
    const int index = module_.FindTableIndex(0, VKDM_TABLE_ISO, kSelectedFlag, true);
    if (index < 0) return;
    if (VKDM_ISOTabItem* item = module_.GetISOTableItem(static_cast<unsigned int>(index)))
        item->SetSelected(false);
}

} // namespace nubokrn4j

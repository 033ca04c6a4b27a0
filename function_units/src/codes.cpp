#include "codes.h"

namespace vkfu {

namespace {

struct ErrorRow {
    int code;
    const char* text;
};

constexpr ErrorRow kErrors[] = {
    {kNullPointer, "VKFU: an internal pointer is NULL"},
    {kNoMemory, "VKFU: no more memory"},
    {-4105, "VKFU: unsupported function"},
    {kWrongLength, "VKFU: protocol length error"},
    {-4131, "VKFU: checksum error"},
    {kTimeout, "VKFU: Timeout"},
    {kUnknownStatus, "VKFU: unknown status"},
    {kNoAnswer, "VKFU: no receive protocol"},
    {-4150, "VKFU: unknown parameter"},
    {-4151, "VKFU: parameter out of range"},
    {kUnknownCode, "VKFU: unknown error code"},
};

struct StatusRow {
    std::uint8_t status;
    const char* text;
};

constexpr StatusRow kStatuses[] = {
    {0x00, "OK"},
    {0x0F, "Unit: Busy"},
    {0x10, "Unit: EEPROM Error"},
    {0x11, "Unit: Parameter Range Error"},
    {0x15, "Unit: Read Protection"},
    {0x16, "Unit: Write Protection"},
    {0x80, "Unit: Unknown Command"},
};

} // namespace

const char* errorText(int code) {
    for (const ErrorRow& row : kErrors)
        if (row.code == code) return row.text;
    return nullptr;
}

const char* statusText(std::uint8_t status) {
    for (const StatusRow& row : kStatuses)
        if (row.status == status) return row.text;
    return nullptr;
}

} // namespace vkfu

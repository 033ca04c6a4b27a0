#include "codes.h"

#include <cstring>

namespace vkdm {

namespace {

struct Row {
    int code;
    const char* text;
};

constexpr Row kTexts[] = {
    {kUnknownCode, "VKDM: unknown error code"},
    {kBadIdentifier, "VKDM: malformed parameter identifier or hex text"},
    {kValueTooLong, "VKDM: value longer than its field"},
    {kValueDoesNotFit, "VKDM: value does not fit the requested type"},
    {kOutOfRange, "VKDM: index or address out of range"},
    {kBadLength, "VKDM: length out of range"},
    {kUnknownType, "VKDM: unknown type or parameter"},
    {kNoData, "VKDM: no data received"},
    {kNotConnected, "VKDM: not connected to a reader"},
    {kAlreadyConnected, "VKDM: already connected"},
    {kUnknownName, "VKDM: unknown configuration parameter name"},
    {kFileNotWritten, "VKDM: file cannot be written"},
    {kFileNotRead, "VKDM: file cannot be read"},
    {kNoRecord, "VKDM: no table record"},
    {kBadFile, "VKDM: malformed configuration file"},
    {kWrongPortKind, "VKDM: operation not offered for this port kind"},
    {kNotSupported, "VKDM: operation not supported"},
    {kNoObject, "VKDM: object cannot be made"},
    {kNullArgument, "VKDM: null argument or missing buffer"},
    {kStopped, "VKDM: stopped by the caller"},
    {kNoAnswer, "VKDM: the reader did not answer"},
    {kUnknownTable, "VKDM: unknown table"},
    {kUnknownDataId, "VKDM: unknown table data id"},
    {kEmptySize, "VKDM: table size is 0"},
    {kTooLong, "VKDM: request data too long"},
    {kNeverFilled, "VKDM: table record never filled"},
    {kBadRecord, "VKDM: malformed record data"},
    {kTableFull, "VKDM: table full"},
    {kBadPosition, "VKDM: child position out of range"},
    {kAncestor, "VKDM: a unit cannot be a child of itself or of its descendants"},
    {kNoChild, "VKDM: no child at this position"},
    {kDependency, "VKDM: a library the core needs is missing or too old"},
    {kNotListenerPort, "VKDM: port not open for this listener"},
    {kNotListed, "VKDM: handle not listed"},
    {kListEmpty, "VKDM: list empty"},
    {kNotRegistered, "VKDM: handle not registered"},
    {kSlotTaken, "VKDM: listener slot holds another object"},
    {kOldVersion, "VKDM: core version older than required"},
};

} // namespace

const char* coreText(int code) {
    for (const Row& row : kTexts) {
        if (row.code == code) return row.text;
    }
    return nullptr;
}

void copyText(char* text, const char* src) {
    std::size_t n = std::strlen(src);
    if (n > 127) n = 127;
    std::memcpy(text, src, n);
    text[n] = '\0';
}

} // namespace vkdm

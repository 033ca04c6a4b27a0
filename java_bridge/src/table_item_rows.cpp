#include "table_item_rows.h"

namespace nubokrn4j {

namespace {

constexpr ItemRow byteRow(const char* field, std::uint32_t id, When when = When::Always) {
    return {field, "B", Source::Byte, id, Role::Flags, Count::Fixed, 1, when};
}
constexpr ItemRow flagRow(const char* field, std::uint32_t id) {
    return {field, "Z", Source::Flag, id, Role::Flags, Count::Fixed, 1, When::Always};
}
constexpr ItemRow bytesRow(const char* field, std::uint32_t id, Count count, int fixed = 0) {
    return {field, "[B", Source::Bytes, id, Role::Flags, count, fixed, When::Always};
}
constexpr ItemRow roleRow(const char* field, const char* signature, Role role, When when = When::Always) {
    return {field, signature, Source::RoleByte, 0, role, Count::Fixed, 1, when};
}
constexpr ItemRow roleBytesRow(const char* field, Role role, int count, When when = When::Always) {
    return {field, "[B", Source::RoleBytes, 0, role, Count::Fixed, count, when};
}
constexpr ItemRow uidRow() {
    // Always read: the UID length decides whether the field is set.
    return {"uid", "[B", Source::Uid, kIdUid, Role::Flags, Count::Fixed, 0, When::Always};
}
constexpr ItemRow blocksRow(const char* field, std::uint32_t id) {
    return {field, "[[B", Source::Blocks, id, Role::Flags, Count::Fixed, 4, When::Always};
}

constexpr ItemRow kBrmRows[] = {
    byteRow("transponderType", kIdTransponderType),
    byteRow("epcType", 0x0800000A),
    byteRow("dbAddress", 0x01000002),
    {"blockCount", "I", Source::Number, 0x01000003, Role::Flags, Count::Fixed, 1, When::Always},
    byteRow("blockSize", 0x04000004),
    byteRow("antennaNumber", 0x01000004),
    byteRow("input", 0x01000006),
    byteRow("state", 0x01000007),
    roleRow("AFI", "B", Role::Afi),
    roleRow("DsfID", "B", Role::Dsfid),
    roleRow("IDDT", "B", Role::Iddt),
    roleRow("direction", "B", Role::Direction),
    flagRow("isUid", 0x80000003),
    flagRow("isEpc", 0x80000004),
    flagRow("isDB", 0x80000009),
    flagRow("isAntNr", 0x8000000B),
    flagRow("isTIMER", 0x8000000A),
    flagRow("isDATE", 0x8000000C),
    flagRow("isInput", 0x8000000E),
    roleRow("isDirection", "Z", Role::DirectionValid),
    flagRow("isRSSI", kIdRssiFlag),
    flagRow("isMacAddress", 0x80000010),
    uidRow(),
    bytesRow("rxPubData", 0x04000001, Count::Rx),
    {"time", "Lde/varek/VkKrnReaderTime;", Source::Time, 0, Role::Flags, Count::Fixed, 0, When::Always},
    bytesRow("macAddress", 0x01000008, Count::Fixed, 6),
    bytesRow("class1Gen2PC", 0x08000018, Count::Fixed, 2),
    roleBytesRow("class1Gen2XPC_W1", Role::XpcW1, 2),
    byteRow("antCount", 0x04000008, When::Rssi),
    roleBytesRow("antNumber", Role::AntNumbers, 32, When::Rssi),
    roleBytesRow("antRSSI", Role::AntRssi, 32, When::Rssi),
};

constexpr ItemRow kIsoRows[] = {
    byteRow("transponderType", kIdTransponderType),
    roleRow("flags", "B", Role::Flags),
    byteRow("epcType", 0x0800000A),
    uidRow(),
    bytesRow("class1Gen2PC", 0x08000018, Count::Fixed, 2),
    roleBytesRow("class1Gen2XPC_W1", Role::XpcW1, 2),
    byteRow("DsfID", 0x0800000C, When::Type3),
    roleRow("chipID", "B", Role::TypeSpecific0, When::Type10or11),
    roleRow("IDDT", "B", Role::TypeSpecific0, When::Type9or132),
    byteRow("trInfo", 0x0800000F, When::Type4),
    byteRow("optInfo", 0x08000010),
    byteRow("protoInfo", 0x08000017, When::Type5),
    roleRow("productCode", "B", Role::TypeSpecific0, When::Type17),
    roleRow("fabCode", "B", Role::TypeSpecific1, When::Type17),
    roleRow("appCode", "B", Role::TypeSpecific2, When::Type17),
    roleRow("embedderCode", "B", Role::TypeSpecific3, When::Type17),
    roleRow("verlog", "B", Role::TypeSpecific0, When::Type16),
    roleRow("config", "B", Role::TypeSpecific1, When::Type16),
    {"atr", "[B", Source::Atr, 0, Role::Flags, Count::Fixed, 0, When::Type16WithAtr},
    byteRow("FSCI", 0x08000011),
    byteRow("FWI", 0x08000012),
    byteRow("DSI", 0x08000013),
    byteRow("DRI", 0x08000014),
    byteRow("CID", 0x08000016),
    byteRow("NAD", 0x08000015),
    byteRow("AFI", 0x0800000B),
    {"memSize", "I", Source::BigEndian16, 0x0800000D, Role::Flags, Count::Fixed, 2, When::Always},
    byteRow("ICRef", 0x0800000E),
    byteRow("blockSize", 0x04000004),
    flagRow("isUid", 0x80000003),
    flagRow("isEpc", 0x80000004),
    flagRow("isAFI", 0x80000005),
    flagRow("isSysInfo", 0x80000008),
    flagRow("isRSSI", kIdRssiFlag),
    flagRow("isBlockSizeSet", 0x80000001),
    flagRow("isSelected", 0x80000002),
    bytesRow("rxPubData", 0x04000001, Count::Rx),
    bytesRow("rxDB_EpcBank", 0x04001001, Count::Fixed, 256),
    bytesRow("rxDB_TidBank", 0x04001003, Count::Fixed, 256),
    bytesRow("rxDB_ResBank", 0x04001005, Count::Fixed, 256),
    bytesRow("txPubData", 0x04000002, Count::Tx),
    bytesRow("txDB_EpcBank", 0x04001002, Count::Fixed, 256),
    bytesRow("txDB_TidBank", 0x04001004, Count::Fixed, 256),
    bytesRow("txDB_ResBank", 0x04001006, Count::Fixed, 256),
    bytesRow("securityStatus", 0x04000003, Count::Size1),
    blocksRow("rxCfgData", 0x02000001),
    blocksRow("txCfgData", 0x02000002),
    byteRow("antCount", 0x04000008, When::Rssi),
    roleBytesRow("antNumber", Role::AntNumbers, 8, When::Rssi),
    roleBytesRow("antStatus", Role::AntStatus, 8, When::Rssi),
    roleBytesRow("antRSSI", Role::AntRssi, 8, When::Rssi),
    roleBytesRow("challenge", Role::Challenge, 10, When::Rssi),
    roleBytesRow("cryptoBlock", Role::CryptoBlock, 32, When::Rssi),
};

constexpr WriteRow kIsoWriteRows[] = {
    {"transponderType", "B", Target::Byte, kIdTransponderType, 1},
    {"epcType", "B", Target::Byte, 0x0800000A, 1},
    {"uid", "[B", Target::Uid, kIdUid, 0},
    {"DsfID", "B", Target::Byte, 0x0800000C, 1},
    {"AFI", "B", Target::Byte, 0x0800000B, 1},
    {"memSize", "I", Target::Number, 0x0800000D, 1},
    {"ICRef", "B", Target::Byte, 0x0800000E, 1},
    {"blockSize", "B", Target::Byte, 0x04000004, 1},
    {"isUid", "Z", Target::Flag, 0x80000003, 1},
    {"isAFI", "Z", Target::Flag, 0x80000005, 1},
    {"isSysInfo", "Z", Target::Flag, 0x80000008, 1},
    {"isBlockSizeSet", "Z", Target::Flag, 0x80000001, 1},
    {"isSelected", "Z", Target::Flag, 0x80000002, 1},
    {"rxPubData", "[B", Target::Bytes, 0x04000001, 8192},
    {"rxDB_EpcBank", "[B", Target::Bytes, 0x04001001, 256},
    {"rxDB_TidBank", "[B", Target::Bytes, 0x04001003, 256},
    {"rxDB_ResBank", "[B", Target::Bytes, 0x04001005, 256},
    {"txPubData", "[B", Target::Bytes, 0x04000002, 8192},
    {"txDB_EpcBank", "[B", Target::Bytes, 0x04001002, 256},
    {"txDB_TidBank", "[B", Target::Bytes, 0x04001004, 256},
    {"txDB_ResBank", "[B", Target::Bytes, 0x04001006, 256},
    {"securityStatus", "[B", Target::Bytes, 0x04000003, 256},
    {"rxCfgData", "[[B", Target::Blocks, 0x02000001, 4},
    {"txCfgData", "[[B", Target::Blocks, 0x02000002, 4},
};

} // namespace

std::span<const ItemRow> brmItemRows() {
    return kBrmRows;
}

std::span<const ItemRow> isoItemRows() {
    return kIsoRows;
}

std::span<const WriteRow> isoWriteRows() {
    return kIsoWriteRows;
}

} // namespace nubokrn4j

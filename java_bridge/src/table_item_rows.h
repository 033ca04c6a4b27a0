// The fields of the table item classes as rows: the Java field, its JNI type,
// where its value comes from (or goes to) and when it is set, in the order the
// natives fill and write them. No JVM here.
#ifndef NUBOKRN4J_TABLE_ITEM_ROWS_H
#define NUBOKRN4J_TABLE_ITEM_ROWS_H

#include "table_rules.h"

#include <cstdint>
#include <span>

namespace nubokrn4j {

inline constexpr std::uint32_t kIdTransponderType = 0x08000001;
inline constexpr std::uint32_t kIdUid = 0x08000002;
inline constexpr std::uint32_t kIdUidLength = 0x08000003;
inline constexpr std::uint32_t kIdRssiFlag = 0x8000000F;

// Values a record holds without a data id.
enum class Role : std::uint8_t {
    Flags,
    Afi,
    Dsfid,
    Iddt,
    Direction,
    DirectionValid,
    TypeSpecific0,
    TypeSpecific1,
    TypeSpecific2,
    TypeSpecific3,
    XpcW1,
    AntNumbers,
    AntStatus,
    AntRssi,
    Challenge,
    CryptoBlock,
};

// Where a field's value comes from when an item is read.
enum class Source : std::uint8_t {
    Byte,        // "B": the core's byte form of the data id
    Flag,        // "Z": its flag form
    Number,      // "I": its 32-bit form
    Bytes,       // "[B": its bytes form, `count` bytes
    Uid,         // "[B": bytes of the UID length's count (0: not set)
    BigEndian16, // "I": two bytes of the bytes form, big-endian
    RoleByte,    // "B" or "Z": one value of the record's own
    RoleBytes,   // "[B": `count` bytes of the record's own
    Atr,         // "[B": the ATR of the type-specific area
    Time,        // the reader-time object from the time and date bytes
    Blocks,      // "[[B": four block bytes(b, 4) of the data id
};

// The byte count of a Bytes row.
enum class Count : std::uint8_t { Fixed, Rx, Tx, Size1 };

struct ItemRow {
    const char* field;
    const char* signature;
    Source source;
    std::uint32_t dataId; // or 0
    Role role;            // RoleByte, RoleBytes
    Count count;
    int fixed; // Fixed counts and role byte counts
    When when;
};

std::span<const ItemRow> brmItemRows();
std::span<const ItemRow> isoItemRows();

// The fields SetTableItem writes back into the ISO table, in order.
enum class Target : std::uint8_t {
    Byte,   // "B" to the byte form
    Number, // "I" to the 32-bit form
    Flag,   // "Z" to the flag form
    Bytes,  // "[B": the first `count` bytes of the array
    Uid,    // "[B": the length (32-bit form of the UID length), then the whole array
    Blocks, // "[[B": the first 4 bytes of each of the four elements, block by block
};

struct WriteRow {
    const char* field;
    const char* signature;
    Target target;
    std::uint32_t dataId;
    int count;
};

std::span<const WriteRow> isoWriteRows();

} // namespace nubokrn4j

#endif

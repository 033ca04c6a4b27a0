// Pure rules of the table natives: when a row of an item applies, the time and
// size arithmetic of records, and the range test of the addressed natives.
#ifndef NUBOKRN4J_TABLE_RULES_H
#define NUBOKRN4J_TABLE_RULES_H

#include <array>
#include <cstdint>
#include <optional>
#include <span>

namespace nubokrn4j {

// When a field of a table item is set.
enum class When : std::uint8_t {
    Always,
    UidPresent,    // the UID length read is not 0
    Type3,         // ISO transponder type 3
    Type10or11,    // 0x0A, 0x0B
    Type9or132,    // 0x09, 0x84
    Type4,         //
    Type5,         //
    Type17,        // 0x11
    Type16,        // 0x10
    Type16WithAtr, // type 16 and an ATR count above 0
    Rssi,          // the item's isRSSI read true
};

// What an item has read so far that later rows depend on.
struct ItemFacts {
    std::uint8_t transponderType = 0; // compared unsigned
    std::uint32_t uidLength = 0;
    std::uint8_t atrCount = 0; // type-specific byte 2
    bool rssi = false;
};

bool rowApplies(When when, const ItemFacts& facts);

// A BRM record's time and date bytes as the reader-time object holds them.
struct ReaderTime {
    int hour, minute, mSecond, year, month, day, timezone;
};
ReaderTime readerTime(std::span<const std::uint8_t, 4> time, std::span<const std::uint8_t, 5> date);

// Two bytes, big-endian (memSize).
int bigEndian16(std::span<const std::uint8_t, 2> bytes);

// A record's sizes as the item natives take them: every size above 0 and each
// product within an int; nothing otherwise (the natives raise -126). `sizes`
// holds 2 (BRM) or 4 (ISO) sizes; the products are sizes[0] x sizes[1] and,
// for four sizes, sizes[2] x sizes[3].
struct RecordBytes {
    int rx = 0; // received public data
    int tx = 0; // transmitted public data (ISO only)
};
std::optional<RecordBytes> recordBytes(std::span<const int> sizes);

// Bytes address .. address + length - 1 inside a buffer of `size` bytes, in 64
// bits (address + length may pass the int range).
bool rangeInside(std::int32_t address, std::int32_t length, std::int64_t size);

// The UID room of an item read: a UID length above this is refused (-126).
inline constexpr std::uint32_t kMaxItemUid = 256;

} // namespace nubokrn4j

#endif

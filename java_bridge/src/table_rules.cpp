#include "table_rules.h"

#include <climits>

namespace nubokrn4j {

bool rowApplies(When when, const ItemFacts& facts) {
    const std::uint8_t type = facts.transponderType;
    switch (when) {
    case When::Always: return true;
    case When::UidPresent: return facts.uidLength != 0;
    case When::Type3: return type == 3;
    case When::Type10or11: return type == 0x0A || type == 0x0B;
    case When::Type9or132: return type == 0x09 || type == 0x84;
    case When::Type4: return type == 4;
    case When::Type5: return type == 5;
    case When::Type17: return type == 0x11;
    case When::Type16: return type == 0x10;
    case When::Type16WithAtr: return type == 0x10 && facts.atrCount != 0;
    case When::Rssi: return facts.rssi;
    }
    return false;
}

ReaderTime readerTime(std::span<const std::uint8_t, 4> time, std::span<const std::uint8_t, 5> date) {
    return ReaderTime{time[0], time[1], time[2] * 256 + time[3], date[0] * 100 + date[1], date[2],
                      date[3], date[4]};
}

int bigEndian16(std::span<const std::uint8_t, 2> bytes) {
    return bytes[0] * 256 + bytes[1];
}

std::optional<RecordBytes> recordBytes(std::span<const int> sizes) {
    for (int size : sizes) {
        if (size <= 0) return std::nullopt;
    }
    auto product = [](int a, int b) -> std::optional<int> {
        const std::int64_t n = std::int64_t{a} * b;
        if (n > INT_MAX) return std::nullopt;
        return static_cast<int>(n);
    };
    RecordBytes bytes;
    if (sizes.size() >= 2) {
        const auto rx = product(sizes[0], sizes[1]);
        if (!rx) return std::nullopt;
        bytes.rx = *rx;
    }
    if (sizes.size() >= 4) {
        const auto tx = product(sizes[2], sizes[3]);
        if (!tx) return std::nullopt;
        bytes.tx = *tx;
    }
    return bytes;
}

bool rangeInside(std::int32_t address, std::int32_t length, std::int64_t size) {
    if (address < 0 || length < 0) return false;
    return std::int64_t{address} + length <= size;
}

} // namespace nubokrn4j

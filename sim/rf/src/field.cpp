#include <rfsim/field.h>

#include <algorithm>

namespace rfsim {

namespace {

int bitAt(const Bytes& bytes, std::size_t i) {
    return (bytes[i / 8] >> (i % 8)) & 1;
}

// Bit by bit over the reflected polynomial x^16 + x^12 + x^5 + 1.
std::uint16_t crc13239(std::span<const std::uint8_t> bytes, std::uint16_t preset) {
    std::uint16_t crc = preset;
    for (std::uint8_t byte : bytes) {
        crc ^= byte;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) != 0 ? static_cast<std::uint16_t>((crc >> 1) ^ 0x8408)
                                 : static_cast<std::uint16_t>(crc >> 1);
    }
    return crc;
}

std::uint16_t crcOf(Protocol protocol, std::span<const std::uint8_t> bytes) {
    return protocol == Protocol::Iso14443A ? crcA(bytes) : crcB(bytes);
}

} // namespace

std::size_t Bits::bitCount() const {
    if (bytes.empty()) return 0;
    return (bytes.size() - 1) * 8 + static_cast<std::size_t>(lastBits);
}

void Field::remove(const Tag& tag) {
    std::erase_if(tags_, [&](const std::unique_ptr<Tag>& placed) { return placed.get() == &tag; });
}

std::optional<Answer> Field::exchange(const Frame& frame) {
    const bool endOfFrame = frame.protocol == Protocol::Iso15693 && frame.bytes.empty();
    if (frame.lastBits < 1 || frame.lastBits > 8) return std::nullopt;
    if (frame.bytes.empty() && !endOfFrame) return std::nullopt;
    if (frame.appendCrc && (frame.lastBits != 8 || frame.bytes.empty())) return std::nullopt;
    const Bits air{frame.appendCrc ? withCrc(frame.protocol, frame.bytes) : frame.bytes, frame.lastBits};

    std::vector<Bits> answers;
    for (const auto& tag : tags_) {
        if (tag->protocol() != frame.protocol) continue;
        if (auto answer = tag->hear(air); answer && !answer->bytes.empty()) answers.push_back(*answer);
    }
    if (answers.empty()) return std::nullopt;
    return combine(answers);
}

void Field::switchOff() {
    for (const auto& tag : tags_)
        tag->powerOff();
}

Answer combine(std::span<const Bits> answers) {
    std::size_t longest = 0;
    for (const Bits& a : answers)
        longest = std::max(longest, a.bitCount());

    Answer out;
    out.bytes.assign((longest + 7) / 8, 0);
    out.lastBits = longest % 8 == 0 ? 8 : static_cast<int>(longest % 8);
    for (std::size_t i = 0; i < longest && !out.collision; ++i) {
        int seen = -1;
        bool differ = false;
        for (const Bits& a : answers) {
            if (i >= a.bitCount()) continue;
            const int bit = bitAt(a.bytes, i);
            if (seen >= 0 && bit != seen) differ = true;
            seen = bit;
        }
        if (differ) out.collision = Collision{i / 8, static_cast<int>(i % 8)};
        if (differ || seen == 1) out.bytes[i / 8] |= static_cast<std::uint8_t>(1u << (i % 8));
    }
    return out;
}

std::uint16_t crcA(std::span<const std::uint8_t> bytes) {
    return crc13239(bytes, 0x6363);
}

std::uint16_t crcB(std::span<const std::uint8_t> bytes) {
    return static_cast<std::uint16_t>(~crc13239(bytes, 0xFFFF));
}

Bytes withCrc(Protocol protocol, Bytes bytes) {
    const std::uint16_t crc = crcOf(protocol, bytes);
    bytes.push_back(static_cast<std::uint8_t>(crc & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>(crc >> 8));
    return bytes;
}

bool endsWithCrc(Protocol protocol, const Bits& air) {
    if (air.lastBits != 8 || air.bytes.size() < 3) return false;
    const std::size_t n = air.bytes.size() - 2;
    const std::uint16_t crc = crcOf(protocol, std::span(air.bytes).first(n));
    return air.bytes[n] == (crc & 0xFF) && air.bytes[n + 1] == (crc >> 8);
}

Bytes withCrcA(Bytes bytes) {
    return withCrc(Protocol::Iso14443A, std::move(bytes));
}

bool endsWithCrcA(const Bits& air) {
    return endsWithCrc(Protocol::Iso14443A, air);
}

} // namespace rfsim

#include <rfsim/iso14443a_tag.h>

#include <stdexcept>

namespace rfsim {

namespace {

constexpr std::uint8_t kReqA = 0x26;
constexpr std::uint8_t kWupA = 0x52;
constexpr std::uint8_t kCascadeTag = 0x88;
constexpr std::uint8_t kSakIncomplete = 0x04;
constexpr std::uint8_t kSakAts = 0x20;
constexpr std::uint8_t kSelectNvb = 0x70;
constexpr std::uint8_t kSelectCodes[] = {0x93, 0x95, 0x97};

bool isShortFrame(const Bits& air, std::uint8_t command) {
    return air.bytes.size() == 1 && air.lastBits == 7 && (air.bytes[0] & 0x7F) == command;
}

// The bytes before a correct CRC_A; nothing when the frame has none.
std::optional<Bytes> payload(const Bits& air) {
    if (!endsWithCrcA(air)) return std::nullopt;
    return Bytes(air.bytes.begin(), air.bytes.end() - 2);
}

Bits sent(Bytes bytes) {
    return Bits{std::move(bytes), 8};
}

} // namespace

Iso14443aTag::Iso14443aTag(Config config) : config_(std::move(config)) {
    const std::size_t n = config_.uid.size();
    if (n != 4 && n != 7 && n != 10) throw std::invalid_argument("UID of 4, 7 or 10 bytes");
}

std::array<std::uint8_t, 2> Iso14443aTag::atqa() const {
    if (config_.atqa) return *config_.atqa;
    return {static_cast<std::uint8_t>(0x04 | ((levels() - 1) << 6)), 0x00};
}

std::array<std::uint8_t, 5> Iso14443aTag::cascadeBytes(int level) const {
    const Bytes& uid = config_.uid;
    std::array<std::uint8_t, 5> out{};
    const bool last = level == levels();
    const std::size_t first = static_cast<std::size_t>(level - 1) * 3;
    if (last) {
        for (std::size_t i = 0; i < 4; ++i)
            out[i] = uid[first + i];
    } else {
        out[0] = kCascadeTag;
        for (std::size_t i = 0; i < 3; ++i)
            out[i + 1] = uid[first + i];
    }
    out[4] = static_cast<std::uint8_t>(out[0] ^ out[1] ^ out[2] ^ out[3]);
    return out;
}

std::optional<Bits> Iso14443aTag::hear(const Bits& air) {
    const bool wakeUp = isShortFrame(air, kWupA);
    switch (state_) {
    case State::Idle:
    case State::Halt:
        if (wakeUp || (state_ == State::Idle && isShortFrame(air, kReqA))) {
            state_ = State::Ready;
            level_ = 1;
            const auto a = atqa();
            return sent({a[0], a[1]});
        }
        return std::nullopt;
    case State::Ready: return heardWhileReady(air);
    case State::Active: return heardWhileActive(air);
    case State::Protocol: return heardInProtocol(air);
    }
    return std::nullopt;
}

void Iso14443aTag::powerOff() {
    state_ = State::Idle;
    level_ = 1;
}

std::optional<Bits> Iso14443aTag::ignore() {
    state_ = State::Idle;
    return std::nullopt;
}

std::optional<Bits> Iso14443aTag::heardWhileReady(const Bits& air) {
    if (air.bytes.size() < 2 || air.bytes[0] != kSelectCodes[level_ - 1]) return ignore();
    const auto cascade = cascadeBytes(level_);
    const std::uint8_t nvb = air.bytes[1];

    if (nvb == kSelectNvb) {
        const auto select = payload(air);
        if (!select || select->size() != 7) return ignore();
        if (!std::equal(cascade.begin(), cascade.end(), select->begin() + 2)) return std::nullopt;
        if (level_ < levels()) {
            ++level_;
            return sent(withCrcA({kSakIncomplete}));
        }
        state_ = State::Active;
        return sent(withCrcA({config_.sak}));
    }

    // Anticollision: NVB counts the bytes sent (SEL and NVB included) in its
    // high nibble and the bits of a further partial byte in its low nibble.
    const int wholeBytes = nvb >> 4;
    const int extraBits = nvb & 0x0F;
    if (wholeBytes < 2 || wholeBytes > 6 || extraBits > 7 || (wholeBytes == 6 && extraBits > 0))
        return ignore();
    const std::size_t frameBytes = static_cast<std::size_t>(wholeBytes) + (extraBits > 0 ? 1 : 0);
    const int frameLastBits = extraBits > 0 ? extraBits : 8;
    if (air.bytes.size() != frameBytes || air.lastBits != frameLastBits) return ignore();

    const int known = (wholeBytes - 2) * 8 + extraBits;
    for (int i = 0; i < known; ++i) {
        const int heard = (air.bytes[2 + i / 8] >> (i % 8)) & 1;
        const int mine = (cascade[static_cast<std::size_t>(i / 8)] >> (i % 8)) & 1;
        if (heard != mine) return std::nullopt;
    }
    // The rest of the cascade bytes, starting with the split byte whose known
    // low bits read 0.
    Bytes rest(cascade.begin() + known / 8, cascade.end());
    rest[0] &= static_cast<std::uint8_t>(0xFF << (known % 8));
    return sent(std::move(rest));
}

std::optional<Bits> Iso14443aTag::heardWhileActive(const Bits& air) {
    const auto command = payload(air);
    if (command && *command == Bytes{0x50, 0x00}) {
        state_ = State::Halt;
        return std::nullopt;
    }
    if (command && command->size() == 2 && (*command)[0] == 0xE0 && (config_.sak & kSakAts) != 0) {
        state_ = State::Protocol;
        return sent(withCrcA(config_.ats));
    }
    return ignore();
}

std::optional<Bits> Iso14443aTag::heardInProtocol(const Bits& air) {
    const auto command = payload(air);
    if (!command) return std::nullopt;
    if ((command->size() == 2 || command->size() == 3) && ((*command)[0] & 0xF0) == 0xD0)
        return sent(withCrcA({(*command)[0]}));
    if (*command == Bytes{0xC2}) {
        state_ = State::Halt;
        return sent(withCrcA({0xC2}));
    }
    return std::nullopt;
}

} // namespace rfsim

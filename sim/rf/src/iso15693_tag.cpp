#include <rfsim/iso15693_tag.h>

namespace rfsim {

namespace {

constexpr std::uint8_t kFlagInventory = 0x04;
constexpr std::uint8_t kFlagAfi = 0x10;       // with inventory
constexpr std::uint8_t kFlagOneSlot = 0x20;   // with inventory
constexpr std::uint8_t kFlagSelected = 0x10;  // without inventory
constexpr std::uint8_t kFlagAddressed = 0x20; // without inventory
constexpr std::uint8_t kInventory = 0x01, kStayQuiet = 0x02, kSelect = 0x25, kResetToReady = 0x26;
constexpr std::size_t kUidBytes = 8;
constexpr int kLongestMask = 64;

std::uint64_t lowBits(std::uint64_t value, int bits) {
    return bits >= 64 ? value : value & ((std::uint64_t{1} << bits) - 1);
}

} // namespace

Bytes Iso15693Tag::uidBytes() const {
    Bytes out;
    for (std::size_t i = 0; i < kUidBytes; ++i)
        out.push_back(static_cast<std::uint8_t>(config_.uid >> (8 * i)));
    return out;
}

Bytes Iso15693Tag::inventoryAnswer() const {
    Bytes out{0x00, config_.dsfid};
    const Bytes uid = uidBytes();
    out.insert(out.end(), uid.begin(), uid.end());
    return out;
}

void Iso15693Tag::powerOff() {
    state_ = State::Ready;
    slotsToWait_ = -1;
}

std::optional<Bits> Iso15693Tag::answer(Bytes bytes) const {
    return Bits{withCrc(Protocol::Iso15693, std::move(bytes)), 8};
}

std::optional<Bits> Iso15693Tag::hear(const Bits& air) {
    if (air.bytes.empty()) return endOfFrame();
    // Any request ends the slots of an inventory before it.
    slotsToWait_ = -1;
    if (!endsWithCrc(Protocol::Iso15693, air)) return std::nullopt;
    const Bytes request(air.bytes.begin(), air.bytes.end() - 2);
    if (request.size() < 2) return std::nullopt;
    if ((request[0] & kFlagInventory) != 0)
        return request[1] == kInventory ? inventory(request) : std::nullopt;
    return addressed(request);
}

std::optional<Bits> Iso15693Tag::endOfFrame() {
    if (slotsToWait_ <= 0) return std::nullopt;
    if (--slotsToWait_ > 0) return std::nullopt;
    slotsToWait_ = -1;
    return answer(inventoryAnswer());
}

std::optional<Bits> Iso15693Tag::inventory(const Bytes& request) {
    if (state_ == State::Quiet) return std::nullopt;
    const std::uint8_t flags = request[0];
    std::size_t at = 2;
    if ((flags & kFlagAfi) != 0) {
        if (request.size() <= at) return std::nullopt;
        const std::uint8_t afi = request[at++];
        if (afi != 0 && afi != config_.afi) return std::nullopt;
    }
    if (request.size() <= at) return std::nullopt;
    const int maskBits = request[at++];
    if (maskBits > kLongestMask) return std::nullopt;
    const std::size_t maskBytes = (static_cast<std::size_t>(maskBits) + 7) / 8;
    if (request.size() != at + maskBytes) return std::nullopt;
    std::uint64_t mask = 0;
    for (std::size_t i = 0; i < maskBytes; ++i)
        mask |= std::uint64_t{request[at + i]} << (8 * i);
    if (lowBits(config_.uid, maskBits) != lowBits(mask, maskBits)) return std::nullopt;

    if ((flags & kFlagOneSlot) != 0) return answer(inventoryAnswer());
    // 16 slots: the slot number is the next 4 UID bits; past the UID's 64 bits
    // there are none.
    if (maskBits + 4 > kLongestMask) return std::nullopt;
    const int slot = static_cast<int>((config_.uid >> maskBits) & 0x0F);
    if (slot == 0) return answer(inventoryAnswer());
    slotsToWait_ = slot;
    return std::nullopt;
}

std::optional<Bits> Iso15693Tag::addressed(const Bytes& request) {
    const std::uint8_t flags = request[0];
    const std::uint8_t command = request[1];
    bool forMe = false;
    if ((flags & kFlagAddressed) != 0) {
        if (request.size() < 2 + kUidBytes) return std::nullopt;
        forMe = Bytes(request.begin() + 2, request.begin() + 2 + kUidBytes) == uidBytes();
    } else if ((flags & kFlagSelected) != 0) {
        forMe = state_ == State::Selected;
    }

    switch (command) {
    case kStayQuiet:
        if (forMe && (flags & kFlagAddressed) != 0) state_ = State::Quiet;
        return std::nullopt;
    case kSelect:
        if ((flags & kFlagAddressed) == 0) return std::nullopt;
        if (forMe) {
            state_ = State::Selected;
            return answer({0x00});
        }
        if (state_ == State::Selected) state_ = State::Ready;
        return std::nullopt;
    case kResetToReady:
        if (!forMe) return std::nullopt;
        state_ = State::Ready;
        return answer({0x00});
    default: return std::nullopt;
    }
}

} // namespace rfsim

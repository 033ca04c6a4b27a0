#include <rfsim/qb_tag.h>

#include <stdexcept>

namespace rfsim {

namespace {

constexpr std::uint8_t kReset = 0x0C;
constexpr std::uint8_t kCall = 0x06;
constexpr std::uint8_t kInitiate = 0x00;
constexpr std::uint8_t kPCall16 = 0x04;
constexpr std::uint8_t kSelect = 0x0E;
constexpr std::uint8_t kGetUid = 0x0B;
constexpr std::uint8_t kMarkerLowNibble = 0x06;

} // namespace

QbTag::QbTag(Config config) : config_(config) {
    if (config_.slot < 0 || config_.slot > 15) throw std::invalid_argument("slot of 0 to 15");
}

Bytes QbTag::uidBytes() const {
    Bytes out;
    for (int i = 0; i < 8; ++i)
        out.push_back(static_cast<std::uint8_t>(config_.uid >> (8 * i)));
    return out;
}

std::optional<Bits> QbTag::answer(Bytes bytes) const {
    return Bits{withCrc(Protocol::Iso14443B, std::move(bytes)), 8};
}

std::optional<Bits> QbTag::hear(const Bits& air) {
    if (!endsWithCrc(Protocol::Iso14443B, air)) return std::nullopt;
    const Bytes command(air.bytes.begin(), air.bytes.end() - 2);
    const std::uint8_t id = config_.chipId;

    if (command == Bytes{kReset}) {
        state_ = State::Inventory;
        return std::nullopt;
    }
    if (command.size() == 2 && command[0] == kSelect) {
        if (command[1] != id) {
            state_ = State::Released;
            return std::nullopt;
        }
        state_ = State::Selected;
        return answer({id});
    }
    if (command == Bytes{kGetUid}) return state_ == State::Selected ? answer(uidBytes()) : std::nullopt;
    if (state_ != State::Inventory) return std::nullopt;

    if (command == Bytes{kCall, kInitiate}) return answer({id});
    if (command == Bytes{kCall, kPCall16}) return config_.slot == 0 ? answer({id}) : std::nullopt;
    if (command.size() == 1 && (command[0] & 0x0F) == kMarkerLowNibble && command[0] >> 4 == config_.slot)
        return answer({id});
    return std::nullopt;
}

} // namespace rfsim

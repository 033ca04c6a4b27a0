// A short-range type B (QB) tag: a one-byte chip identifier, the time slot
// (0 to 15) it answers in, and an 8-byte UID read after selection.
//
// Every command must end with a correct CRC_B (the tag ignores it otherwise),
// and every answer carries the tag's CRC_B:
// - {0x0C} reset: back to inventory, from any state; no answer.
// - {0x06, 0x00} initiate: every tag in inventory answers its identifier.
// - {0x06, 0x04} PCall16: the slot-0 tags in inventory answer.
// - {(slot << 4) + 0x06} slot marker: the tags of that slot in inventory answer.
// - {0x0E, identifier} select: the tag with that identifier is selected and
//   answers its identifier; every other tag is released.
// - {0x0B} get UID: the selected tag answers its UID, low byte first.
// A released tag answers nothing but a reset and a select of its identifier.
#ifndef RFSIM_QB_TAG_H
#define RFSIM_QB_TAG_H

#include "field.h"

#include <cstdint>

namespace rfsim {

class QbTag : public Tag {
  public:
    enum class State { Inventory, Selected, Released };

    struct Config {
        std::uint8_t chipId = 0;
        int slot = 0; // 0 to 15
        std::uint64_t uid = 0;
    };

    // Throws std::invalid_argument for a slot outside 0 to 15.
    explicit QbTag(Config config);

    Protocol protocol() const override { return Protocol::Iso14443B; }
    std::optional<Bits> hear(const Bits& air) override;
    // Back to inventory, as after power-up.
    void powerOff() override { state_ = State::Inventory; }

    State state() const { return state_; }
    const Config& config() const { return config_; }
    // The UID as the tag sends it, low byte first.
    Bytes uidBytes() const;

  private:
    std::optional<Bits> answer(Bytes bytes) const;

    Config config_;
    State state_ = State::Inventory;
};

} // namespace rfsim

#endif

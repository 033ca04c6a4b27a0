// An ISO 15693 (vicinity) tag: an 8-byte UID sent low byte first, DSFID, AFI
// and the states ready, quiet and selected.
//
// A request is {flags, command, parameters} and must end with a correct CRC
// (the tag ignores it otherwise); every answer starts with the flags byte 0x00
// and carries the tag's CRC.
// - Inventory (0x01, flags with 0x04): [AFI when flags has 0x10], mask length
//   in bits (at most 64), the mask in (length + 7) / 8 bytes. A tag in ready
//   or selected whose AFI matches (a requested AFI of 0 matches any) and whose
//   UID's low mask-length bits equal the mask answers {0x00, DSFID, UID}: at
//   once with flags 0x20 (one slot); with 16 slots in the slot numbered by
//   the next 4 UID bits: slot 0 answers the request, slot s the s-th end of
//   frame after it (any other request ends the slots).
// - Stay quiet (0x02, addressed: flags with 0x20, then the UID): that tag
//   goes quiet and no longer answers inventories; no answer.
// - Select (0x25, addressed): that tag is selected and answers {0x00}; a
//   selected tag addressed with another UID goes back to ready.
// - Reset to ready (0x26, addressed or, with flags 0x10, the selected tag):
//   ready again, answer {0x00}.
#ifndef RFSIM_ISO15693_TAG_H
#define RFSIM_ISO15693_TAG_H

#include "field.h"

#include <cstdint>

namespace rfsim {

class Iso15693Tag : public Tag {
  public:
    enum class State { Ready, Quiet, Selected };

    struct Config {
        std::uint64_t uid = 0;
        std::uint8_t dsfid = 0;
        std::uint8_t afi = 0;
    };

    explicit Iso15693Tag(Config config) : config_(config) {}

    Protocol protocol() const override { return Protocol::Iso15693; }
    std::optional<Bits> hear(const Bits& air) override;
    // Back to ready, as after power-up.
    void powerOff() override;

    State state() const { return state_; }
    const Config& config() const { return config_; }
    // The UID as the tag sends it, low byte first.
    Bytes uidBytes() const;
    // The inventory answer {0x00, DSFID, UID} without its CRC.
    Bytes inventoryAnswer() const;

  private:
    std::optional<Bits> inventory(const Bytes& request);
    std::optional<Bits> addressed(const Bytes& request);
    std::optional<Bits> endOfFrame();
    std::optional<Bits> answer(Bytes bytes) const;

    Config config_;
    State state_ = State::Ready;
    int slotsToWait_ = -1; // ends of frame until this tag's slot; -1: no slots open
};

} // namespace rfsim

#endif

// An ISO 14443-A tag: UID of 4, 7 or 10 bytes over one to three cascade
// levels, ATQA, SAKs, ATS, PPS and DESELECT, and the states of ISO/IEC
// 14443-3 (idle, ready per cascade level, active, halt) with the protocol
// state that RATS enters.
#ifndef RFSIM_ISO14443A_TAG_H
#define RFSIM_ISO14443A_TAG_H

#include "field.h"

#include <array>
#include <cstdint>
#include <optional>

namespace rfsim {

class Iso14443aTag : public Tag {
  public:
    enum class State { Idle, Ready, Active, Protocol, Halt };

    struct Config {
        Bytes uid; // 4, 7 or 10 bytes, in the order the tag sends them
        // Unset: 0x04 with the UID size in bits 6-7 (0 single, 1 double, 2 triple), then 0x00.
        std::optional<std::array<std::uint8_t, 2>> atqa;
        std::uint8_t sak = 0x08;                    // the final SAK; every level before it answers 0x04
        Bytes ats = {0x05, 0x78, 0x80, 0x70, 0x02}; // answered to RATS when `sak` has 0x20
    };

    // Throws std::invalid_argument for a UID of another size.
    explicit Iso14443aTag(Config config);

    Protocol protocol() const override { return Protocol::Iso14443A; }
    std::optional<Bits> hear(const Bits& air) override;
    // Back to idle, as after power-up.
    void powerOff() override;

    State state() const { return state_; }
    // Cascade level (1 to 3) the tag is at while ready.
    int level() const { return level_; }
    int levels() const { return static_cast<int>(config_.uid.size() / 3); }
    const Config& config() const { return config_; }
    std::array<std::uint8_t, 2> atqa() const;
    // The five bytes of a cascade level: cascade tag or UID bytes, then BCC.
    std::array<std::uint8_t, 5> cascadeBytes(int level) const;

  private:
    std::optional<Bits> heardWhileReady(const Bits& air);
    std::optional<Bits> heardWhileActive(const Bits& air);
    std::optional<Bits> heardInProtocol(const Bits& air);
    std::optional<Bits> ignore();

    Config config_;
    State state_ = State::Idle;
    int level_ = 1;
};

} // namespace rfsim

#endif

// The unit commands: one table row per command, run by one runner per
// transparent reader command.
#ifndef VKFU_UNIT_COMMANDS_H
#define VKFU_UNIT_COMMANDS_H

#include "answer_check.h"

#include <cstdint>
#include <initializer_list>

namespace vkfu {

// How the request is laid out and which reader command carries it.
enum class Layout : std::uint8_t {
    Iso,          // 0xBF, mode 1: 02 1F 02 [command] FE [unit] [values]
    IsoGetValues, // 0xBF, mode 5: 02 1F 00 04 02 [command] FE [unit]
    Uhf,          // 0xBB: [bits hi][bits lo] 00 00 E0 0F FE [command] [values]
};

struct UnitCommand {
    std::uint8_t code;
    Layout layout;
    AnswerShape shape;
};

// clang-format off
inline constexpr UnitCommand kDatSoftVersion{0xC0, Layout::Iso, AnswerShape::Version};
inline constexpr UnitCommand kDatCpuReset{0xC1, Layout::Iso, AnswerShape::UnitStatus};
inline constexpr UnitCommand kDatSetCapacities{0xC2, Layout::Iso, AnswerShape::UnitStatus};
inline constexpr UnitCommand kDatGetValues{0xC3, Layout::IsoGetValues, AnswerShape::Values};
inline constexpr UnitCommand kDatSetOutput{0xC4, Layout::Iso, AnswerShape::UnitStatus};
inline constexpr UnitCommand kDatReTuning{0xC5, Layout::Iso, AnswerShape::UnitStatus};
inline constexpr UnitCommand kDatStartTuning{0xC6, Layout::Iso, AnswerShape::UnitStatus};
inline constexpr UnitCommand kDatSwitchAntenna{0xC7, Layout::Iso, AnswerShape::UnitStatus};
inline constexpr UnitCommand kDatStoreSettings{0xC8, Layout::Iso, AnswerShape::UnitStatus};
inline constexpr UnitCommand kDatDetect{0xC9, Layout::Iso, AnswerShape::UnitStatus};
inline constexpr UnitCommand kDatSetAddress{0xCA, Layout::Iso, AnswerShape::UnitStatus};
inline constexpr UnitCommand kDatSetMode{0xCB, Layout::Iso, AnswerShape::UnitStatus};
inline constexpr UnitCommand kMuxSoftVersion{0xDF, Layout::Iso, AnswerShape::Version};
inline constexpr UnitCommand kMuxCpuReset{0xDE, Layout::Iso, AnswerShape::UnitStatus};
inline constexpr UnitCommand kMuxSelectChannel{0xDD, Layout::Iso, AnswerShape::UnitStatus};
inline constexpr UnitCommand kMuxDetect{0xDC, Layout::Iso, AnswerShape::UnitStatus};
inline constexpr UnitCommand kUmuxSoftVersion{0xDF, Layout::Uhf, AnswerShape::UmuxVersion};
inline constexpr UnitCommand kUmuxCpuReset{0xDE, Layout::Uhf, AnswerShape::UmuxStatus};
inline constexpr UnitCommand kUmuxSelectChannel{0xDD, Layout::Uhf, AnswerShape::UmuxStatus};
inline constexpr UnitCommand kUmuxDetectGetPower{0xDC, Layout::Uhf, AnswerShape::UmuxPower};
// clang-format on

// A DAT or MUX command through VKKRN_0xBF_ISOTranspCmd. `output` receives the
// command's data (null allowed only for commands without data).
int runIso(const UnitCommand& command, int reader, std::uint8_t busAddress, std::uint8_t unit,
           std::initializer_list<std::uint8_t> values, std::uint8_t* output);
// A UMUX command through VKKRN_0xBB_C1G2_TranspCmd: the unit status goes to
// `status`, the command's data to `output`.
int runUhf(const UnitCommand& command, int reader, std::uint8_t busAddress,
           std::initializer_list<std::uint8_t> values, std::uint8_t* status, std::uint8_t* output);

} // namespace vkfu

#endif

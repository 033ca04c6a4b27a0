// The check of a unit's answer: from the reader status and the answer bytes a
// transparent command handed back, the command's result, what to copy to the
// caller and how the last error and last unit status change. A pure function,
// so that every answer a reader can give is tested and fuzzed without one.
#ifndef VKFU_ANSWER_CHECK_H
#define VKFU_ANSWER_CHECK_H

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace vkfu {

// What a command expects back.
enum class AnswerShape : std::uint8_t {
    UnitStatus,  // DAT/MUX, 4 bytes: [lead][unit status][2 bytes]; the unit status is the result
    Version,     // DAT/MUX, 11 bytes: [lead][unit status][7 version bytes][2 bytes]
    Values,      // DAT get values, 10 bytes: [lead][unit status][6 values][2 bytes]
    UmuxVersion, // UMUX, 9 bytes: [unit status][6 version bytes][2 bytes]; copied on unit status 0
    UmuxPower,   // UMUX, 9 bytes: [unit status][6 power bytes][2 bytes]; copied whatever the status
    UmuxStatus,  // UMUX, 3 bytes: [unit status][2 bytes]
};

// Answer length in bytes the command asks the reader for.
std::size_t answerLength(AnswerShape shape);
// Bytes copied to the caller's data output (0: the command has none).
std::size_t outputLength(AnswerShape shape);
// Whether the command goes through the UHF transparent command.
bool isUmux(AnswerShape shape);

struct AnswerOutcome {
    int result = 0;
    // Answer bytes [copyFrom, copyFrom + copyCount) go to the caller's data output.
    std::size_t copyFrom = 0;
    std::size_t copyCount = 0;
    // The caller's unit status byte (UMUX), when written.
    std::optional<std::uint8_t> unitStatus;
    // New values of the last error and the last unit status, when they change.
    std::optional<int> lastError;
    std::optional<std::uint8_t> lastStatus;

    bool operator==(const AnswerOutcome&) const = default;
};

// Reads no byte outside `answer`; copyFrom + copyCount never exceeds its size,
// and copyCount is 0 or outputLength(shape).
AnswerOutcome checkAnswer(int readerStatus, std::span<const std::uint8_t> answer, AnswerShape shape);

} // namespace vkfu

#endif

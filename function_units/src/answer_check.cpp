#include "answer_check.h"

#include "codes.h"

namespace vkfu {

namespace {

constexpr int kStatusNobodyAnswered = 1;
constexpr int kStatusReaderError = 2;
constexpr int kStatusNoData = 0x84; // DAT and MUX only: handed back as it is

AnswerOutcome failure(int code) {
    AnswerOutcome outcome;
    outcome.result = code;
    outcome.lastError = code;
    return outcome;
}

AnswerOutcome returned(int value) {
    AnswerOutcome outcome;
    outcome.result = value;
    return outcome;
}

// DAT and MUX: [lead][unit status][data].
AnswerOutcome checkUnitAnswer(std::span<const std::uint8_t> answer, AnswerShape shape) {
    const std::size_t length = answerLength(shape);
    if (answer.size() < 2) return failure(kWrongLength);
    const std::uint8_t unit = answer[1];
    if (shape == AnswerShape::UnitStatus) {
        if (answer.size() != length) return failure(kWrongLength);
        AnswerOutcome outcome = returned(unit);
        outcome.lastStatus = unit;
        return outcome;
    }
    if (unit != 0) {
        AnswerOutcome outcome = returned(unit);
        outcome.lastStatus = unit;
        return outcome;
    }
    if (answer.size() != length) return failure(kWrongLength);
    AnswerOutcome outcome = returned(0);
    outcome.copyFrom = 2;
    outcome.copyCount = outputLength(shape);
    outcome.lastStatus = 0;
    return outcome;
}

// UMUX: [unit status][data]; the command itself succeeds whatever the unit said.
AnswerOutcome checkUmuxAnswer(std::span<const std::uint8_t> answer, AnswerShape shape) {
    const std::uint8_t unit = answer[0];
    const bool whole = answer.size() == answerLength(shape);
    AnswerOutcome outcome = returned(0);
    switch (shape) {
    case AnswerShape::UmuxVersion:
        outcome.unitStatus = unit;
        if (unit == 0) {
            if (!whole) {
                AnswerOutcome wrong = failure(kWrongLength);
                wrong.unitStatus = unit;
                return wrong;
            }
            outcome.copyFrom = 1;
            outcome.copyCount = outputLength(shape);
        }
        outcome.lastStatus = 0;
        return outcome;
    case AnswerShape::UmuxPower:
        if (!whole) return failure(kWrongLength);
        outcome.unitStatus = unit;
        outcome.copyFrom = 1;
        outcome.copyCount = outputLength(shape);
        outcome.lastStatus = 0;
        return outcome;
    default: // UmuxStatus
        if (!whole) return failure(kWrongLength);
        outcome.unitStatus = unit;
        outcome.lastStatus = unit;
        return outcome;
    }
}

} // namespace

std::size_t answerLength(AnswerShape shape) {
    switch (shape) {
    case AnswerShape::UnitStatus: return 4;
    case AnswerShape::Version: return 11;
    case AnswerShape::Values: return 10;
    case AnswerShape::UmuxVersion:
    case AnswerShape::UmuxPower: return 9;
    case AnswerShape::UmuxStatus: return 3;
    }
    return 0;
}

std::size_t outputLength(AnswerShape shape) {
    switch (shape) {
    case AnswerShape::Version: return 7;
    case AnswerShape::Values:
    case AnswerShape::UmuxVersion:
    case AnswerShape::UmuxPower: return 6;
    case AnswerShape::UnitStatus:
    case AnswerShape::UmuxStatus: return 0;
    }
    return 0;
}

bool isUmux(AnswerShape shape) {
    return shape == AnswerShape::UmuxVersion || shape == AnswerShape::UmuxPower ||
           shape == AnswerShape::UmuxStatus;
}

AnswerOutcome checkAnswer(int readerStatus, std::span<const std::uint8_t> answer, AnswerShape shape) {
    if (readerStatus < 0) return returned(readerStatus);
    if (readerStatus == kStatusNobodyAnswered) return failure(kTimeout);
    if (readerStatus == kStatusReaderError) return failure(kReaderStatus2);
    const bool umux = isUmux(shape);
    if (readerStatus != 0 && (umux || readerStatus != kStatusNoData)) return returned(readerStatus);
    if (answer.empty()) return readerStatus == kStatusNoData ? returned(kStatusNoData) : failure(kNoAnswer);
    return umux ? checkUmuxAnswer(answer, shape) : checkUnitAnswer(answer, shape);
}

} // namespace vkfu

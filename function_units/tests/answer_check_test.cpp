// The answer check alone: reader status, answer bytes and shape in; result,
// copy, unit status and changes of the last error and last status out.
#include "answer_check.h"
#include "hex_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vkfu {
namespace {

using vkfu_test::hex;

constexpr int kNone = -1;

struct Row {
    int status;
    const char* answer;
    AnswerShape shape;
    int result;
    int lastError = kNone;
    int lastStatus = kNone;
    int unitStatus = kNone;
    std::size_t copyFrom = 0;
    std::size_t copyCount = 0;
};

AnswerOutcome expected(const Row& row) {
    AnswerOutcome outcome;
    outcome.result = row.result;
    outcome.copyFrom = row.copyFrom;
    outcome.copyCount = row.copyCount;
    if (row.lastError != kNone) outcome.lastError = row.lastError;
    if (row.lastStatus != kNone) outcome.lastStatus = static_cast<std::uint8_t>(row.lastStatus);
    if (row.unitStatus != kNone) outcome.unitStatus = static_cast<std::uint8_t>(row.unitStatus);
    return outcome;
}

constexpr auto kVersion = AnswerShape::Version;
constexpr auto kValues = AnswerShape::Values;
constexpr auto kStatus4 = AnswerShape::UnitStatus;
constexpr auto kUmuxVersion = AnswerShape::UmuxVersion;
constexpr auto kUmuxPower = AnswerShape::UmuxPower;
constexpr auto kUmux3 = AnswerShape::UmuxStatus;

const char* const kDatVersion = "02 00 01 02 03 04 05 06 07 00 00";
const char* const kUmuxNine = "00 01 02 03 04 05 06 00 00";

const Row kRows[] = {
    // Reader results before the answer is looked at.
    {-1230, kDatVersion, kVersion, -1230},
    {-4031, "", kUmux3, -4031},
    {1, kDatVersion, kVersion, -4132, -4132},
    {1, "", kUmux3, -4132, -4132},
    {2, kDatVersion, kStatus4, -4031, -4031},
    {2, kUmuxNine, kUmuxPower, -4031, -4031},
    {0x83, kDatVersion, kVersion, 0x83},
    {0x83, kUmuxNine, kUmuxVersion, 0x83},
    {0x84, "", kVersion, 0x84},
    {0x84, "", kUmux3, 0x84},
    {0x84, kUmuxNine, kUmuxVersion, 0x84},
    {0x84, kDatVersion, kVersion, 0, kNone, 0, kNone, 2, 7},
    {0, "", kStatus4, -4134, -4134},
    {0, "", kUmuxPower, -4134, -4134},
    // DAT and MUX: [lead][unit status][data].
    {0, kDatVersion, kVersion, 0, kNone, 0, kNone, 2, 7},
    {0, "02 00 01 02 03 04 05 06 00 00", kValues, 0, kNone, 0, kNone, 2, 6},
    {0, "02 00 00 00", kStatus4, 0, kNone, 0},
    {0, "02 0F 00 00", kStatus4, 15, kNone, 15},
    {0, "02", kVersion, -4130, -4130},
    {0, "02", kStatus4, -4130, -4130},
    {0, "02 11", kVersion, 17, kNone, 17},
    {0, "02 11", kStatus4, -4130, -4130},
    {0, "02 00 00", kStatus4, -4130, -4130},
    {0, "02 00 00 00 00", kStatus4, -4130, -4130},
    {0, "02 00 01 02 03 04 05 06 07 00", kVersion, -4130, -4130},
    {0, "02 00 01 02 03 04 05 06 07 00 00 00", kVersion, -4130, -4130},
    {0, "02 10 01 02 03 04 05 06 00 00", kValues, 16, kNone, 16},
    {0, "02 00 01 02 03 04 05 06 00", kValues, -4130, -4130},
    // UMUX: [unit status][data].
    {0, kUmuxNine, kUmuxVersion, 0, kNone, 0, 0, 1, 6},
    {0, "0F", kUmuxVersion, 0, kNone, 0, 0x0F},
    {0, "80 01 02 03 04 05 06 00 00", kUmuxVersion, 0, kNone, 0, 0x80},
    {0, "00", kUmuxVersion, -4130, -4130, kNone, 0},
    {0, "00 01 02 03 04 05 06 00 00 00", kUmuxVersion, -4130, -4130, kNone, 0},
    {0, kUmuxNine, kUmuxPower, 0, kNone, 0, 0, 1, 6},
    {0, "11 01 02 03 04 05 06 00 00", kUmuxPower, 0, kNone, 0, 0x11, 1, 6},
    {0, "11", kUmuxPower, -4130, -4130},
    {0, "00 00 00", kUmux3, 0, kNone, 0, 0},
    {0, "0F 00 00", kUmux3, 0, kNone, 0x0F, 0x0F},
    {0, "0F 00", kUmux3, -4130, -4130},
    {0, "0F 00 00 00", kUmux3, -4130, -4130},
};

TEST(VkfuAnswerCheck, Table) {
    for (const Row& row : kRows) {
        SCOPED_TRACE(std::to_string(row.status) + " [" + row.answer + "] shape " +
                     std::to_string(static_cast<int>(row.shape)));
        const std::vector<std::uint8_t> answer = hex(row.answer);
        const AnswerOutcome outcome = checkAnswer(row.status, answer, row.shape);
        const AnswerOutcome want = expected(row);
        EXPECT_EQ(outcome.result, want.result);
        EXPECT_EQ(outcome.lastError, want.lastError);
        EXPECT_EQ(outcome.lastStatus, want.lastStatus);
        EXPECT_EQ(outcome.unitStatus, want.unitStatus);
        EXPECT_EQ(outcome.copyFrom, want.copyFrom);
        EXPECT_EQ(outcome.copyCount, want.copyCount);
    }
}

} // namespace
} // namespace vkfu

// Any reader status, answer bytes and answer shape through libvkfu's answer
// check: the first byte chooses the shape, the next four give the status, the
// rest is the answer. Nothing is read outside the answer, and the bytes to copy
// lie inside it and fill exactly the shape's output.
#include "answer_check.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 5) return 0;
    constexpr vkfu::AnswerShape kShapes[] = {vkfu::AnswerShape::UnitStatus, vkfu::AnswerShape::Version,
                                             vkfu::AnswerShape::Values,     vkfu::AnswerShape::UmuxVersion,
                                             vkfu::AnswerShape::UmuxPower,  vkfu::AnswerShape::UmuxStatus};
    const vkfu::AnswerShape shape = kShapes[data[0] % std::size(kShapes)];
    std::uint32_t bits = 0;
    std::memcpy(&bits, data + 1, sizeof bits);
    // Mostly small statuses, where the interesting branches are.
    const int status = (data[0] & 0x80) != 0 ? static_cast<int>(bits) : static_cast<int>(bits % 260) - 2;
    // The answer in a buffer of its own exact size, so a read past it is caught.
    const std::vector<std::uint8_t> answer(data + 5, data + size);
    const vkfu::AnswerOutcome outcome = vkfu::checkAnswer(status, answer, shape);

    const std::size_t room = vkfu::outputLength(shape);
    if (outcome.copyCount != 0 && outcome.copyCount != room) __builtin_trap();
    if (outcome.copyFrom + outcome.copyCount > answer.size()) __builtin_trap();
    if (outcome.unitStatus && !vkfu::isUmux(shape)) __builtin_trap();
    if (outcome.result > 0xFF && outcome.result != status) __builtin_trap();
    if (room > 0) {
        const auto output = std::make_unique<std::uint8_t[]>(room);
        if (outcome.copyCount > 0)
            std::memcpy(output.get(), answer.data() + outcome.copyFrom, outcome.copyCount);
    }
    return 0;
}

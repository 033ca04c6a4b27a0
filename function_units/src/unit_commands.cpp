#include "unit_commands.h"

#include "codes.h"
#include "last_state.h"

#include <vkkrn.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <new>

namespace vkfu {

namespace {

// libvkkrn copies the reply data and a zero byte into the answer buffer without
// being told its size: the buffer holds the reader's whole data buffer and the
// zero. Each call has its own, on the heap.
constexpr std::size_t kAnswerCapacity = 65538;
using AnswerBuffer = std::unique_ptr<std::uint8_t[]>;

constexpr std::uint8_t kIsoModeCommand = 1;
constexpr std::uint8_t kIsoModeGetValues = 5;
constexpr std::uint8_t kUnitBroadcast = 0xFE;
constexpr std::size_t kMaxRequest = 11;

struct Request {
    std::array<std::uint8_t, kMaxRequest> bytes{};
    std::size_t length = 0;

    void add(std::uint8_t byte) { bytes[length++] = byte; }
    void add(std::initializer_list<std::uint8_t> more) {
        for (const std::uint8_t byte : more)
            add(byte);
    }
};

// The pointer tests, then the last error cleared and the answer buffer made.
// Returns 0 to go on, else the command's result.
int prepare(AnswerShape shape, const std::uint8_t* status, const std::uint8_t* output, AnswerBuffer& answer) {
    if ((isUmux(shape) && status == nullptr) || (outputLength(shape) > 0 && output == nullptr)) {
        setLastError(kNullPointer);
        return kNullPointer;
    }
    setLastError(0);
    answer.reset(new (std::nothrow) std::uint8_t[kAnswerCapacity]);
    if (!answer) {
        setLastError(kNoMemory);
        return kNoMemory;
    }
    return 0;
}

// Hands the checked answer to the caller and the last error and status.
int finish(int readerStatus, const std::uint8_t* answer, std::size_t length, AnswerShape shape,
           std::uint8_t* status, std::uint8_t* output) {
    const AnswerOutcome outcome =
        checkAnswer(readerStatus, std::span(answer, std::min(length, kAnswerCapacity - 1)), shape);
    if (outcome.copyCount > 0) std::memcpy(output, answer + outcome.copyFrom, outcome.copyCount);
    if (outcome.unitStatus) *status = *outcome.unitStatus;
    if (outcome.lastError) setLastError(*outcome.lastError);
    if (outcome.lastStatus) setLastStatus(*outcome.lastStatus);
    return outcome.result;
}

} // namespace

int runIso(const UnitCommand& command, int reader, std::uint8_t busAddress, std::uint8_t unit,
           std::initializer_list<std::uint8_t> values, std::uint8_t* output) {
    AnswerBuffer answer;
    if (const int refused = prepare(command.shape, nullptr, output, answer); refused != 0) return refused;

    Request request;
    int mode = kIsoModeCommand;
    if (command.layout == Layout::IsoGetValues) {
        mode = kIsoModeGetValues;
        request.add({0x02, 0x1F, 0x00, 0x04, 0x02, command.code, kUnitBroadcast, unit});
    } else {
        request.add({0x02, 0x1F, 0x02, command.code, kUnitBroadcast, unit});
        request.add(values);
    }
    const int bits = static_cast<int>(8 * answerLength(command.shape));
    int length = 0;
    const int readerStatus =
        VKKRN_0xBF_ISOTranspCmd(reader, busAddress, mode, bits, request.bytes.data(),
                                static_cast<int>(request.length), answer.get(), &length, 0);
    return finish(readerStatus, answer.get(), length > 0 ? static_cast<std::size_t>(length) : 0,
                  command.shape, nullptr, output);
}

int runUhf(const UnitCommand& command, int reader, std::uint8_t busAddress,
           std::initializer_list<std::uint8_t> values, std::uint8_t* status, std::uint8_t* output) {
    AnswerBuffer answer;
    if (const int refused = prepare(command.shape, status, output, answer); refused != 0) return refused;

    // The bit field counts the bits from the unit header to the end.
    const std::size_t tail = 4 + values.size();
    Request request;
    request.add({static_cast<std::uint8_t>((8 * tail) >> 8), static_cast<std::uint8_t>(8 * tail), 0x00, 0x00,
                 0xE0, 0x0F, kUnitBroadcast, command.code});
    request.add(values);
    const unsigned bits = static_cast<unsigned>(8 * answerLength(command.shape));
    unsigned length = 0;
    const int readerStatus =
        VKKRN_0xBB_C1G2_TranspCmd(reader, busAddress, 1, 6, 0, 0, bits, request.bytes.data(),
                                  static_cast<unsigned>(request.length), answer.get(), &length);
    return finish(readerStatus, answer.get(), length, command.shape, status, output);
}

} // namespace vkfu

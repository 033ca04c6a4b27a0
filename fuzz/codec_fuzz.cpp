// Frames from readers and callers arrive unchecked. The first input byte picks
// the frame mode and the hex reading, the rest is the frame. Oracles: every
// accepted frame has CRC residue 0; an accepted frame whose form the choice
// rule picks rebuilds byte for byte; a standard frame converted to advanced
// and back is restored.
#include "vkkrn_codec/crc16.h"
#include "vkkrn_codec/frame.h"
#include "vkkrn_codec/hex.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

using namespace vkkrn::codec;

void check(bool condition) {
    if (!condition) __builtin_trap();
}

FrameForm formOf(std::span<const std::uint8_t> frame) {
    return frame[0] == kAdvancedMark ? FrameForm::Advanced : FrameForm::Standard;
}

void splitAndRebuild(std::span<const std::uint8_t> frame, FrameMode mode) {
    static std::vector<std::uint8_t> rebuilt(0x10001);
    RequestParts request;
    if (splitRequest(frame, request) == 0) {
        check(crc16(frame) == 0);
        if (chooseForm(FrameKind::Request, mode, request.data.size()) == formOf(frame)) {
            const int n = buildRequest(mode, request.adr, request.cmd, request.data, rebuilt);
            check(n == static_cast<int>(frame.size()));
            check(std::equal(frame.begin(), frame.end(), rebuilt.begin()));
        }
    }
    ReplyParts reply;
    const int status = splitReply(frame, reply);
    if (status >= 0) {
        check(crc16(frame) == 0);
        check(status == reply.status);
        if (chooseForm(FrameKind::Reply, mode, reply.data.size()) == formOf(frame)) {
            const int n = buildReply(mode, reply.adr, reply.cmd, reply.status, reply.data, rebuilt);
            check(n == static_cast<int>(frame.size()));
            check(std::equal(frame.begin(), frame.end(), rebuilt.begin()));
        }
    }
}

void convertBothWays(std::span<const std::uint8_t> frame) {
    static std::vector<std::uint8_t> advanced(0x10003);
    static std::vector<std::uint8_t> standard(0x10003);
    const int toStandard = convertToStandard(frame, standard);
    if (toStandard > 0) check(crc16({standard.data(), static_cast<std::size_t>(toStandard)}) == 0);
    const int toAdvanced = convertToAdvanced(frame, advanced);
    if (toAdvanced <= 0) return;
    const std::span<const std::uint8_t> converted(advanced.data(), static_cast<std::size_t>(toAdvanced));
    check(crc16(converted) == 0);
    if (frame[0] == kAdvancedMark || converted.size() > 0xFF) return;
    const int back = convertToStandard(converted, standard);
    check(back == static_cast<int>(frame[0]));
    check(std::equal(standard.begin(), standard.begin() + back, frame.begin()));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const std::uint8_t selector = data[0];
    const FrameMode mode = (selector & 1) ? FrameMode::Advanced : FrameMode::Standard;
    std::span<const std::uint8_t> input(data + 1, size - 1);
    std::vector<std::uint8_t> decoded;
    if (selector & 2) {
        decoded.resize(input.size() / 2);
        const auto n = decodeHex(input, decoded);
        if (!n) return 0;
        std::vector<char> text(input.size() + 1);
        check(encodeHex({decoded.data(), *n}, std::span<char>(text)) == input.size());
        for (std::size_t i = 0; i < input.size(); ++i) {
            const char c = static_cast<char>(input[i]);
            check(text[i] == ((c >= 'a' && c <= 'f') ? c - 'a' + 'A' : c));
        }
        input = {decoded.data(), *n};
    }
    if (input.empty()) return 0;
    splitAndRebuild(input, mode);
    convertBothWays(input);
    return 0;
}

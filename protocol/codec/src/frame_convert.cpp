// Converting frames between the standard and the advanced form. Both forms of a
// frame carry the same bytes between the length field and the CRC, so a
// conversion rewrites the length field and the CRC around them.
#include "frame_bytes.h"
#include "vkkrn_codec/frame.h"

#include <algorithm>
#include <cstring>

namespace vkkrn::codec {

namespace {

// The smallest frame of each form (a request without data).
constexpr std::size_t kSmallestStandard = kStandardRequestOverhead;
constexpr std::size_t kSmallestAdvanced = kAdvancedRequestOverhead;
constexpr std::size_t kLargestStandard = 0xFF;

// Checks the frame the length field names within the given bytes.
int checkStated(std::span<const std::uint8_t> in, std::size_t length) {
    if (length > in.size()) return kLengthError;
    if (!hasValidCrc(in.first(length))) return kChecksumError;
    return 0;
}

int copyUnchanged(std::span<const std::uint8_t> in, std::size_t length, std::span<std::uint8_t> out) {
    if (out.size() < length) return kOutOfRange;
    if (out.data() != in.data()) std::memmove(out.data(), in.data(), length);
    return static_cast<int>(length);
}

} // namespace

int convertToStandard(std::span<const std::uint8_t> in, std::span<std::uint8_t> out) noexcept {
    if (in.size() > kLargestStandard || in.size() < kSmallestStandard) return kOutOfRange;
    if (in[0] == kAdvancedMark) {
        if (in[1] != 0) return kOutOfRange;
        if (in.size() < kSmallestAdvanced) return kOutOfRange;
    }
    if (in[0] >= kSmallestStandard) {
        const std::size_t length = in[0];
        if (const int fault = checkStated(in, length)) return fault;
        return copyUnchanged(in, length, out);
    }
    if (in[0] != kAdvancedMark) return kLengthError; // 0, 1, 3, 4: no frame starts so
    const std::size_t length = in[2];
    if (length < kSmallestAdvanced) return kLengthError;
    if (const int fault = checkStated(in, length)) return fault;
    const std::size_t newLength = length - 2;
    if (out.size() < newLength) return kOutOfRange;
    // [L - 2][bytes 3 .. L - 3][CRC]; out may be in itself.
    std::memmove(out.data() + 1, in.data() + 3, length - 5);
    out[0] = static_cast<std::uint8_t>(newLength);
    putCrc(out.first(newLength));
    return static_cast<int>(newLength);
}

int convertToAdvanced(std::span<const std::uint8_t> in, std::span<std::uint8_t> out) noexcept {
    if (in.size() > kMaxFrameLength + 1) return kOutOfRange;
    if (in.empty()) return kOutOfRange;
    if (in[0] == kAdvancedMark) {
        if (in.size() < kSmallestAdvanced) return kOutOfRange;
        const std::size_t length = readBigEndian16(&in[1]);
        if (length < kSmallestAdvanced) return kLengthError;
        if (const int fault = checkStated(in, length)) return fault;
        return copyUnchanged(in, length, out);
    }
    if (in.size() > kLargestStandard || in.size() < kSmallestStandard) return kOutOfRange;
    const std::size_t length = in[0];
    if (length < kSmallestStandard) return kLengthError;
    if (const int fault = checkStated(in, length)) return fault;
    const std::size_t newLength = length + 2;
    if (out.size() < newLength) return kOutOfRange;
    // [02][LEN + 2, 16 bits][bytes 1 .. LEN - 3][CRC]; out may be in itself.
    std::memmove(out.data() + 3, in.data() + 1, length - 3);
    out[0] = kAdvancedMark;
    out[1] = static_cast<std::uint8_t>(newLength >> 8);
    out[2] = static_cast<std::uint8_t>(newLength);
    putCrc(out.first(newLength));
    return static_cast<int>(newLength);
}

} // namespace vkkrn::codec

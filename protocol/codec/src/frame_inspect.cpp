// Reading what a frame states about itself: its length and its key bytes.
#include "frame_bytes.h"
#include "vkkrn_codec/frame.h"

namespace vkkrn::codec {

std::size_t statedLength(std::span<const std::uint8_t> frame, std::uint8_t minStandard) noexcept {
    if (frame.empty()) return 0;
    if (frame[0] == kAdvancedMark) return frame.size() >= 3 ? readBigEndian16(&frame[1]) : 0;
    return frame[0] >= minStandard ? frame[0] : 0;
}

ByteRange keyBytes(std::span<const std::uint8_t> requestFrame) noexcept {
    const std::size_t dataStart = !requestFrame.empty() && requestFrame[0] == kAdvancedMark ? 5 : 3;
    if (requestFrame.size() < dataStart + 2) return {};
    const std::size_t dataEnd = requestFrame.size() - 2;
    if (dataEnd <= dataStart) return {};
    switch (requestFrame[dataStart - 1]) {
    case 0xA2:
    case 0xAD: return {dataStart, dataEnd};
    case 0xA3: return {dataStart + 1, dataEnd};
    case 0xB2: {
        const std::uint8_t mode = requestFrame[dataStart];
        if (mode == 0xB0 || mode == 0xB2) return {dataStart + 2, dataEnd};
        return {};
    }
    default: return {};
    }
}

} // namespace vkkrn::codec

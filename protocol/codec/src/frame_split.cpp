// Checking and splitting received frames. Every read is preceded by a check of
// the count against the smallest frame of the form, so no input can make the
// splitter read past it.
#include "frame_bytes.h"
#include "vkkrn_codec/frame.h"

namespace vkkrn::codec {

int splitRequest(std::span<const std::uint8_t> frame, RequestParts& parts) noexcept {
    if (frame.empty()) return kLengthError;
    std::size_t header;
    std::size_t length;
    if (frame[0] == kAdvancedMark) {
        if (frame.size() < kAdvancedRequestOverhead) return kLengthError;
        length = readBigEndian16(&frame[1]);
        header = 3;
    } else {
        if (frame.size() < kStandardRequestOverhead) return kLengthError;
        length = frame[0];
        header = 1;
    }
    if (length != frame.size()) return kLengthError;
    if (!hasValidCrc(frame)) return kChecksumError;
    parts.adr = frame[header];
    parts.cmd = frame[header + 1];
    parts.data = frame.subspan(header + 2, length - header - 4);
    return 0;
}

bool isUndersizedStandardReply(std::span<const std::uint8_t> frame) noexcept {
    return frame.size() > 1 && frame[0] != kAdvancedMark && frame[0] < kStandardReplyOverhead;
}

int splitReply(std::span<const std::uint8_t> frame, ReplyParts& parts) noexcept {
    if (frame.size() <= 1) return kLengthError;
    std::size_t header;
    std::size_t length;
    if (frame[0] == kAdvancedMark) {
        if (frame.size() < kAdvancedReplyOverhead) return kLengthError;
        length = readBigEndian16(&frame[1]);
        header = 3;
    } else {
        if (isUndersizedStandardReply(frame) || frame.size() < kStandardReplyOverhead) return kLengthError;
        length = frame[0];
        header = 1;
    }
    if (length != frame.size()) return kLengthError;
    if (!hasValidCrc(frame)) return kChecksumError;
    parts.adr = frame[header];
    parts.cmd = frame[header + 1];
    parts.status = frame[header + 2];
    parts.data = frame.subspan(header + 3, length - header - 5);
    return parts.status;
}

} // namespace vkkrn::codec

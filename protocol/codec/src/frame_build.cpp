// Building frames: header, data, CRC low byte first, then one uncounted zero.
#include "frame_bytes.h"
#include "vkkrn_codec/crc16.h"
#include "vkkrn_codec/frame.h"

#include <cstring>

namespace vkkrn::codec {

std::optional<FrameForm> chooseForm(FrameKind kind, FrameMode mode, std::size_t n) noexcept {
    const bool request = kind == FrameKind::Request;
    const std::size_t standardMax = request ? kMaxStandardRequestData : kMaxStandardReplyData;
    const std::size_t advancedMax = request ? kMaxAdvancedRequestData : kMaxAdvancedReplyData;
    if (n <= standardMax && mode != FrameMode::Advanced) return FrameForm::Standard;
    if (n <= advancedMax) return FrameForm::Advanced;
    return std::nullopt;
}

std::size_t frameLength(FrameKind kind, FrameForm form, std::size_t n) noexcept {
    if (kind == FrameKind::Request)
        return n + (form == FrameForm::Standard ? kStandardRequestOverhead : kAdvancedRequestOverhead);
    return n + (form == FrameForm::Standard ? kStandardReplyOverhead : kAdvancedReplyOverhead);
}

namespace {

// Writes [length field][adr][cmd]([status]) and the data, then the CRC and the
// zero byte; `status` is written only for replies.
int build(FrameKind kind, FrameMode mode, std::uint8_t adr, std::uint8_t cmd, std::uint8_t status,
          std::span<const std::uint8_t> data, std::span<std::uint8_t> out) noexcept {
    const auto form = chooseForm(kind, mode, data.size());
    if (!form) return kOutOfRange;
    const std::size_t length = frameLength(kind, *form, data.size());
    if (out.size() < length + 1) return kOutOfRange;

    std::uint8_t* p = out.data();
    if (*form == FrameForm::Advanced) {
        *p++ = kAdvancedMark;
        *p++ = static_cast<std::uint8_t>(length >> 8);
        *p++ = static_cast<std::uint8_t>(length);
    } else {
        *p++ = static_cast<std::uint8_t>(length);
    }
    *p++ = adr;
    *p++ = cmd;
    if (kind == FrameKind::Reply) *p++ = status;
    if (!data.empty()) std::memcpy(p, data.data(), data.size());
    p += data.size();
    const std::size_t covered = static_cast<std::size_t>(p - out.data());
    putCrc(out.first(covered + 2));
    out[length] = 0;
    return static_cast<int>(length);
}

} // namespace

int buildRequest(FrameMode mode, std::uint8_t adr, std::uint8_t cmd, std::span<const std::uint8_t> data,
                 std::span<std::uint8_t> out) noexcept {
    return build(FrameKind::Request, mode, adr, cmd, 0, data, out);
}

int buildReply(FrameMode mode, std::uint8_t adr, std::uint8_t cmd, std::uint8_t status,
               std::span<const std::uint8_t> data, std::span<std::uint8_t> out) noexcept {
    return build(FrameKind::Reply, mode, adr, cmd, status, data, out);
}

} // namespace vkkrn::codec

// Host-protocol frames, standard and advanced, requests and replies. All
// lengths count the whole frame, CRC included:
//
//   standard request  [LEN][ADR][CMD][data][CRC lo][CRC hi]                   LEN = n + 5
//   advanced request  [02][LEN hi][LEN lo][ADR][CMD][data][CRC lo][CRC hi]    LEN = n + 7
//   standard reply    [LEN][ADR][CMD][STATUS][data][CRC lo][CRC hi]           LEN = n + 6
//   advanced reply    [02][LEN hi][LEN lo][ADR][CMD][STATUS][data][CRC..]     LEN = n + 8
//
// Pure functions over caller buffers: nothing here keeps state, locks or
// allocates.
#ifndef VKKRN_CODEC_FRAME_H
#define VKKRN_CODEC_FRAME_H

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace vkkrn::codec {

// Results of the codec, in the reader protocol library's numbering.
inline constexpr int kLengthError = -4030;   // frame too short, length field not the count
inline constexpr int kChecksumError = -4031; // CRC over the frame does not give 0
inline constexpr int kOutOfRange = -4051;    // data too long, buffer too small, not convertible

inline constexpr std::uint8_t kAdvancedMark = 0x02;
inline constexpr std::size_t kMaxFrameLength = 0xFFFF;

// Data limits per form. A standard reply stops at 249 data bytes: 250 would
// need a length byte of 256.
inline constexpr std::size_t kMaxStandardRequestData = 250;
inline constexpr std::size_t kMaxStandardReplyData = 249;
inline constexpr std::size_t kMaxAdvancedRequestData = 65528;
inline constexpr std::size_t kMaxAdvancedReplyData = 65527;

// Bytes around the data of each form (header and CRC).
inline constexpr std::size_t kStandardRequestOverhead = 5;
inline constexpr std::size_t kAdvancedRequestOverhead = 7;
inline constexpr std::size_t kStandardReplyOverhead = 6;
inline constexpr std::size_t kAdvancedReplyOverhead = 8;

// The reader's frame mode (reader parameter FRAMESUPPORT).
enum class FrameMode : int { Standard = 1, Advanced = 2 };

enum class FrameForm { Standard, Advanced };

enum class FrameKind { Request, Reply };

// The form a frame of n data bytes takes: standard while it fits and the mode is
// not ADVANCED, otherwise advanced; nothing when n exceeds the advanced limit.
std::optional<FrameForm> chooseForm(FrameKind kind, FrameMode mode, std::size_t n) noexcept;

// Whole frame length of n data bytes in `form`.
std::size_t frameLength(FrameKind kind, FrameForm form, std::size_t n) noexcept;

// Builds a frame into `out`, followed by one uncounted zero byte. Returns the
// frame length, or kOutOfRange when the data are too long for any form or `out`
// cannot hold the frame and its zero byte (nothing written then). `data` must not
// overlap `out`.
int buildRequest(FrameMode mode, std::uint8_t adr, std::uint8_t cmd, std::span<const std::uint8_t> data,
                 std::span<std::uint8_t> out) noexcept;
int buildReply(FrameMode mode, std::uint8_t adr, std::uint8_t cmd, std::uint8_t status,
               std::span<const std::uint8_t> data, std::span<std::uint8_t> out) noexcept;

struct RequestParts {
    std::uint8_t adr = 0;
    std::uint8_t cmd = 0;
    std::span<const std::uint8_t> data; // inside the frame
};

struct ReplyParts {
    std::uint8_t adr = 0;
    std::uint8_t cmd = 0;
    std::uint8_t status = 0;
    std::span<const std::uint8_t> data; // inside the frame
};

// Checks a request frame of frame.size() bytes: 0, kLengthError or
// kChecksumError. `parts` is written only on success. Never reads past the frame.
int splitRequest(std::span<const std::uint8_t> frame, RequestParts& parts) noexcept;

// Checks a reply frame: its STATUS (0..255), kLengthError or kChecksumError.
// `parts` is written only on success. Never reads past the frame.
int splitReply(std::span<const std::uint8_t> frame, ReplyParts& parts) noexcept;

// A reply that fails because its standard length byte is below 6 (the shortest
// standard reply): such bytes are not reported as a received frame.
bool isUndersizedStandardReply(std::span<const std::uint8_t> frame) noexcept;

// Conversions between the forms, for requests and replies alike (a reply's
// STATUS travels with the copied bytes). The input frame is in.size() bytes as
// the caller gave it; the converted (or unchanged) frame is written to `out`,
// without a trailing zero. Returns the frame length written, kOutOfRange,
// kLengthError or kChecksumError; `out` is untouched on failure.
int convertToStandard(std::span<const std::uint8_t> in, std::span<std::uint8_t> out) noexcept;
int convertToAdvanced(std::span<const std::uint8_t> in, std::span<std::uint8_t> out) noexcept;

// The frame length a frame states in its own length field: bytes 1 and 2 of an
// advanced frame, the first byte of a standard one when it is at least
// `minStandard`; 0 when the frame states none (or is too short to read it).
std::size_t statedLength(std::span<const std::uint8_t> frame, std::uint8_t minStandard) noexcept;

// Data bytes of a request frame that carry key material and are never shown:
// 0xA2 and 0xAD all data bytes, 0xA3 all but the first, 0xB2 all but the first
// two when the first is 0xB0 or 0xB2. An empty range for any other frame.
struct ByteRange {
    std::size_t begin = 0;
    std::size_t end = 0;
    bool empty() const { return begin >= end; }
    bool contains(std::size_t i) const { return i >= begin && i < end; }
};
ByteRange keyBytes(std::span<const std::uint8_t> requestFrame) noexcept;

} // namespace vkkrn::codec

#endif

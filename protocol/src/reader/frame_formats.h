// The data format argument of the frame exports and reader methods.
#ifndef VKKRN_FRAME_FORMATS_H
#define VKKRN_FRAME_FORMATS_H

namespace vkkrn {

inline constexpr int kFormatRaw = 0;         // bytes; secured wrap while a channel is active
inline constexpr int kFormatHex = 1;         // hex text; as 0
inline constexpr int kFormatCaptureRaw = 10; // as 0, and the frame is captured and announced
inline constexpr int kFormatCaptureHex = 11; // hex text; as 10
inline constexpr int kFormatPlain = 20;      // bytes; never wrapped

constexpr bool isFrameFormat(int format) {
    return format == kFormatRaw || format == kFormatHex || format == kFormatCaptureRaw ||
           format == kFormatCaptureHex || format == kFormatPlain;
}

constexpr bool isHexFormat(int format) {
    return format == kFormatHex || format == kFormatCaptureHex;
}

} // namespace vkkrn

#endif

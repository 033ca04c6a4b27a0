// The reader's own frame code: CRC16 and reply/request frames of the host protocol.
//
// Standard request  [LEN][ADR][CMD][data][CRC lo][CRC hi]                 LEN = n + 5
// Advanced request  [02][LEN hi][LEN lo][ADR][CMD][data][CRC lo][CRC hi]  LEN = n + 7
// Standard reply    [LEN][ADR][CMD][STATUS][data][CRC lo][CRC hi]         LEN = n + 6
// Advanced reply    [02][LEN hi][LEN lo][ADR][CMD][STATUS][data][CRC]     LEN = n + 8
// LEN always counts the whole frame. The CRC (reflected 0x8408, preset 0xFFFF, no
// final XOR) covers every byte before it and is sent low byte first, so a whole
// frame checks to 0.
#ifndef KRNSIM_FRAME_H
#define KRNSIM_FRAME_H

#include <krnsim/types.h>

#include <cstddef>

namespace krnsim {

enum class Form : std::uint8_t { Standard, Advanced };

inline constexpr std::uint8_t kAdvancedMark = 0x02;
inline constexpr std::size_t kStandardRequestOverhead = 5;
inline constexpr std::size_t kAdvancedRequestOverhead = 7;
inline constexpr std::size_t kStandardReplyOverhead = 6;
inline constexpr std::size_t kAdvancedReplyOverhead = 8;
inline constexpr std::size_t kMaxStandardRequestData = 250;
// A standard reply of 250 data bytes would need LEN 256 in one byte.
inline constexpr std::size_t kMaxStandardReplyData = 249;
inline constexpr std::size_t kMaxAdvancedRequestData = 65528;
inline constexpr std::size_t kMaxAdvancedReplyData = 65527;
inline constexpr std::size_t kMaxFrameLength = 65535;

// Table-driven CRC16 over `data`.
std::uint16_t crc16(ByteView data);
// The same CRC computed bit by bit with any reflected polynomial and preset.
std::uint16_t crc16Bitwise(ByteView data, std::uint16_t poly = 0x8408, std::uint16_t preset = 0xFFFF);

// Appends the CRC of `frame` to it, low byte first.
void appendCrc(Bytes& frame);
// Recomputes the trailing two CRC bytes of a whole frame in place.
void rewriteCrc(Bytes& frame);

// The form a reply takes: the request's, but advanced when forced or when the
// data do not fit a standard reply.
Form replyForm(Form requestForm, std::size_t dataLength, bool forceAdvanced);

// Build whole frames. Throw std::invalid_argument when the data do not fit the form.
Bytes buildReply(Form form, std::uint8_t address, std::uint8_t command, std::uint8_t status, ByteView data);
Bytes buildRequest(Form form, std::uint8_t address, std::uint8_t command, ByteView data);

// Position of the fields inside a frame of either form.
inline constexpr std::size_t headerLength(Form form) {
    return form == Form::Advanced ? 3 : 1;
}

} // namespace krnsim

#endif

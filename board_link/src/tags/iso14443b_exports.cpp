// ISO 14443-B: initialise, select (building a tag record), halt, ATTRIB,
// deselect and de-initialise.
#include "export_support.h"
#include "tag_records.h"

#include <vkcommon/export.h>

namespace {

using namespace board_link;

constexpr std::uint8_t kCmdInit = 0xB0;
constexpr std::uint8_t kCmdSelect = 0xB1;
constexpr std::uint8_t kCmdHalt = 0xB2;
constexpr std::uint8_t kCmdAttrib = 0xB3;
constexpr std::uint8_t kCmdDeselect = 0xB4;
constexpr std::uint8_t kCmdDeinit = 0xBF;

constexpr std::size_t kPupi = 4;
// The select answer (ATQB): [0x50][PUPI, 4][application data, 4][protocol info, 3].
constexpr std::size_t kSelectAnswer = 13;
constexpr std::size_t kSelectMinimum = 12;
constexpr std::uint8_t kAtqb = 0x50;
constexpr std::size_t kOut = 11;

// ATTRIB parameter 2: [dsi, 2 bits][dri, 2 bits][fsdi, 4 bits]; the first
// board's library does not keep dri and fsdi to their fields.
std::uint8_t attribParameter2(const BoardVariant& variant, int dsi, int dri, int fsdi) {
    const auto s = static_cast<std::uint32_t>(dsi);
    const auto r = static_cast<std::uint32_t>(dri);
    const auto f = static_cast<std::uint32_t>(fsdi);
    if (variant.attribMasked) return static_cast<std::uint8_t>(s * 64u + (r & 3u) * 16u + (f & 15u));
    return static_cast<std::uint8_t>((s * 64u) | (r * 16u) | f);
}

} // namespace

extern "C" {

VK_EXPORT KXx0ComError iso14443bInit(KXx0HANDLE handle) {
    return simpleCommand(handle, kCmdInit, {}, 1);
}

VK_EXPORT KXx0ComError iso14443bSelect(KXx0HANDLE handle, bool flag, uint8_t p2, uint8_t p3, char* out) {
    if (handle == nullptr) return Invalid_handleError;
    if (out == nullptr) return ParameterError;
    KX20Com_UsbHid& board = *boardOf(handle);
    Iso14443bRecord record;
    const Exchange e =
        exchange(board, kCmdSelect, Parameters().u8(flag ? 1 : 0).u8(p2).u8(p3), kSelectAnswer);
    // Success without a tag is no success.
    if (e.answer.empty()) {
        board.reportShortAnswer("iso14443bSelect", "received packet too short");
        return e.status == 0 ? FramingError : widenStatus(e.status);
    }
    if (e.status != 0) return widenStatus(e.status);
    if (e.answer.size() < kSelectMinimum) {
        board.reportShortAnswer("iso14443bSelect", "Error Receiving data");
        return FramingError;
    }
    if (e.answer[0] != kAtqb) return NoError;
    record.uid = answerField(e.answer, 1, kPupi);
    record.applicationData = answerField(e.answer, 5, 4);
    record.protocolInfo = answerField(e.answer, 9, 3);
    const QByteArray tag = record.uid + record.applicationData + record.protocolInfo;
    std::memcpy(out, tag.constData(), kOut);
    return NoError;
}

VK_EXPORT KXx0ComError iso14443bHalt(KXx0HANDLE handle, const char* pupi, char* rx, size_t* rxLen) {
    if (handle == nullptr) return Invalid_handleError;
    if (pupi == nullptr || missingInOut(rx, rxLen)) return ParameterError;
    receiveInOut(handle, kCmdHalt, Parameters().bytes(pupi, kPupi), 1, 0, rx, rxLen);
    return NoError;
}

VK_EXPORT KXx0ComError iso14443bWriteAttrb(KXx0HANDLE handle, const char* pupi, int dsi, int dri, int fsdi,
                                           uint8_t p6, uint8_t p7, char* rx, size_t* rxLen) {
    if (handle == nullptr) return Invalid_handleError;
    if (pupi == nullptr || missingInOut(rx, rxLen)) return ParameterError;
    KX20Com_UsbHid& board = *boardOf(handle);
    const Parameters parameters = Parameters()
                                      .bytes(pupi, kPupi)
                                      .u8(0)
                                      .u8(attribParameter2(board.variant(), dsi, dri, fsdi))
                                      .u8(p7)
                                      .u8(p6);
    const Exchange e = exchange(board, kCmdAttrib, parameters, 2);
    if (e.answer.empty()) board.reportShortAnswer("iso14443bWriteAttrb", "received packet too short");
    copyInOut(e, 0, rx, rxLen);
    return widenStatus(e.status);
}

VK_EXPORT KXx0ComError iso14443bDeselect(KXx0HANDLE handle, char* rx, size_t* rxLen) {
    if (handle == nullptr) return Invalid_handleError;
    if (missingInOut(rx, rxLen)) return ParameterError;
    const Exchange e = receiveInOut(handle, kCmdDeselect, {}, 1, 0, rx, rxLen);
    return boardOf(handle)->variant().typeBDeselectStatus ? widenStatus(e.status) : NoError;
}

VK_EXPORT KXx0ComError iso14443bDeinit(KXx0HANDLE handle, bool flag) {
    return commandWithoutResult(handle, kCmdDeinit, Parameters().u8(flag ? 1 : 0), 1);
}

} // extern "C"

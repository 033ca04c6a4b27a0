// ISO 14443-A: initialise, select (building a tag record), halt, RATS, PPS
// with the bit-rate change that follows it, deselect and de-initialise.
#include "export_support.h"
#include "tag_records.h"

#include <vkcommon/export.h>

#include <cmath>

namespace {

using namespace board_link;

constexpr std::uint8_t kCmdInit = 0xA0;
constexpr std::uint8_t kCmdSelect = 0xA1;
constexpr std::uint8_t kCmdHalt = 0xA3;
constexpr std::uint8_t kCmdRats = 0xA4;
constexpr std::uint8_t kCmdPps = 0xA5;
constexpr std::uint8_t kCmdDeselect = 0xA6;
constexpr std::uint8_t kCmdDeinit = 0xAF;

// The select answer: [unused][ATQA, 2][size code][SAK, 3][UID, up to 10].
constexpr std::size_t kSelectAnswer = 17;
constexpr std::size_t kSelectMinimum = 16;
constexpr std::size_t kAtqaOffset = 1;
constexpr std::size_t kSizeCodeOffset = 3;
constexpr std::size_t kSakOffset = 4;
constexpr std::size_t kUidOffset = 7;
constexpr int kMaxUid = 10;
constexpr std::uint8_t kAtsSupportedBit = 0x20;

constexpr std::uint8_t kPpsNoChange = 0x01;
constexpr std::uint8_t kPpsWithPps1 = 0x11;

// The UID length a size code gives: 1 single, 2 double, else triple size.
int uidLength(std::uint8_t sizeCode) {
    return sizeCode == 1 ? 4 : sizeCode == 2 ? 7 : kMaxUid;
}

// PPS1's code of a bit rate in kbit/s.
std::uint8_t ppsCode(int rate) {
    switch (rate) {
    case 212: return 1;
    case 424: return 2;
    case 848: return 3;
    default: return 0;
    }
}

// The RF layer's bit-rate code of a rate in kbit/s: log2(rate / 105) toward
// zero, cut to 8 bits. Rates below 105 (their logarithm is negative, or
// undefined at 0 and below) give 0.
std::uint8_t bitrateCode(int rate) {
    if (rate < 105) return 0;
    const float quotient = static_cast<float>(rate) / 105.0f;
    return static_cast<std::uint8_t>(static_cast<int>(std::trunc(std::log(quotient) / std::log(2.0))) & 0xFF);
}

} // namespace

extern "C" {

VK_EXPORT KXx0ComError iso14443aInit(KXx0HANDLE handle) {
    return simpleCommand(handle, kCmdInit);
}

VK_EXPORT KXx0ComError iso14443aSelect(KXx0HANDLE handle, uint8_t requestCode, bool flag, char* uid,
                                       size_t* uidLen, char* atqa, char* sak) {
    if (handle == nullptr) return Invalid_handleError;
    if (missingInOut(uid, uidLen) || atqa == nullptr || sak == nullptr) return ParameterError;
    KX20Com_UsbHid& board = *boardOf(handle);
    QList<Iso14443aRecord> records;
    const Exchange e =
        exchange(board, kCmdSelect, Parameters().u8(requestCode).u8(flag ? 1 : 0), kSelectAnswer);
    if (e.answer.size() < kSelectMinimum) {
        board.reportShortAnswer("iso14443aSelect", "received packet too short");
        *uidLen = 0;
        // Success without a tag is no success.
        return e.status == 0 ? FramingError : widenStatus(e.status);
    }
    const QByteArray atqaBytes = answerField(e.answer, kAtqaOffset, 2);
    QByteArray uidBytes = answerField(e.answer, kUidOffset, kMaxUid);
    if (e.status == NotSupported) {
        Iso14443aRecord record(0, {});
        record.atqa = atqaBytes;
        if (!hasUid(records, uidBytes)) records.append(record);
    } else if (e.status == NoError) {
        uidBytes.truncate(uidLength(e.answer[kSizeCodeOffset]));
        const std::uint8_t sakByte = e.answer[kSakOffset];
        Iso14443aRecord record(0, {});
        record.uid = uidBytes;
        record.atqa = atqaBytes;
        record.sak = QByteArray(1, static_cast<char>(sakByte));
        record.atsSupported = (sakByte & kAtsSupportedBit) != 0 ? 1 : 0;
        if (!hasUid(records, uidBytes)) records.append(record);
    }
    const std::size_t copied = std::min<std::size_t>(*uidLen, static_cast<std::size_t>(uidBytes.size()));
    if (copied != 0) std::memcpy(uid, uidBytes.constData(), copied);
    *uidLen = copied;
    if (!records.isEmpty()) {
        const Iso14443aRecord& found = records.first();
        std::memcpy(atqa, found.atqa.constData(), static_cast<std::size_t>(found.atqa.size()));
        if (!found.sak.isEmpty()) *sak = found.sak.back();
    }
    return widenStatus(e.status);
}

VK_EXPORT KXx0ComError iso14443aHalt(KXx0HANDLE handle, char* rx, size_t* rxLen) {
    if (handle == nullptr) return Invalid_handleError;
    if (missingInOut(rx, rxLen)) return ParameterError;
    return widenStatus(receiveInOut(handle, kCmdHalt, {}, 0, 0, rx, rxLen).status);
}

VK_EXPORT KXx0ComError iso14443aRATS(KXx0HANDLE handle, int p1, int p2, char* ats, size_t* atsLen) {
    if (handle == nullptr) return Invalid_handleError;
    if (missingInOut(ats, atsLen)) return ParameterError;
    const Exchange e =
        exchange(*boardOf(handle), kCmdRats,
                 Parameters().u8(static_cast<std::uint32_t>(p1)).u8(static_cast<std::uint32_t>(p2)), 128);
    if (e.status != 0) {
        *atsLen = 0;
        return widenStatus(e.status);
    }
    if (e.answer.size() < 2) {
        *atsLen = 0;
        return FramingError;
    }
    copyInOut(e, 0, ats, atsLen);
    return NoError;
}

VK_EXPORT KXx0ComError iso14443aPPS(KXx0HANDLE handle, int cid, int dsRate, int drRate, bool change, char* rx,
                                    size_t* rxLen) {
    if (handle == nullptr) return Invalid_handleError;
    if (missingInOut(rx, rxLen)) return ParameterError;
    KX20Com_UsbHid& board = *boardOf(handle);
    Parameters parameters;
    parameters.u8(0xD0u + static_cast<std::uint32_t>(cid));
    if (change)
        parameters.u8(kPpsWithPps1).u8(ppsCode(dsRate) * 4u + ppsCode(drRate));
    else
        parameters.u8(kPpsNoChange);
    const Exchange e = exchange(board, kCmdPps, parameters, 2);
    copyInOut(e, 0, rx, rxLen);
    // The new rates apply whatever the tag answered; this command's status is not used.
    if (change) setBitrates(board, bitrateCode(drRate), bitrateCode(dsRate));
    return widenStatus(e.status);
}

VK_EXPORT KXx0ComError iso14443aDeselect(KXx0HANDLE handle, char* rx, size_t* rxLen) {
    if (handle == nullptr) return Invalid_handleError;
    if (missingInOut(rx, rxLen)) return ParameterError;
    return widenStatus(receiveInOut(handle, kCmdDeselect, {}, 0, 0, rx, rxLen).status);
}

VK_EXPORT KXx0ComError iso14443aDeinit(KXx0HANDLE handle, bool flag) {
    return simpleCommand(handle, kCmdDeinit, Parameters().u8(flag ? 1 : 0));
}

} // extern "C"

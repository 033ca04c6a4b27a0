// Reader information (command 0x66 per mode) and diagnostic (0x6E per mode)
// into the module's records. Every field of both records is a byte or a byte
// array, so the fields of one mode lie next to each other without padding and
// a mode's data fill them in the record's order.
#include "codes.h"
#include "hex.h"
#include "state.h"

#include <vkkrn.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <vector>

namespace vkdm {

namespace {

// Bytes first .. last of a record, in the record's order.
#define VKDM_SPAN(Record, first, last)                                                                       \
    { offsetof(Record, first), offsetof(Record, last) + sizeof(Record::last) - offsetof(Record, first) }

struct Span {
    std::size_t offset;
    std::size_t size;
};

struct InfoMode {
    unsigned char mode;
    bool VKDM_ReaderInfo::*flag;
    Span parts[2];
};

// Information modes in reading order, with the network parts (modes 0x50 to
// 0x57 of this core) after mode 0x41. A reply shorter than its fields fills
// what it holds; the rest stays zero.
const InfoMode kInfoModes[] = {
    {0x00, &VKDM_ReaderInfo::mode00, {VKDM_SPAN(VKDM_ReaderInfo, rfcSwVer, rfcUhfTrType), {}}},
    {0x01, &VKDM_ReaderInfo::mode01, {VKDM_SPAN(VKDM_ReaderInfo, accSwVer, accHwType), {}}},
    {0x02, &VKDM_ReaderInfo::mode02, {VKDM_SPAN(VKDM_ReaderInfo, usbSwVer, usbHwType), {}}},
    {0x03, &VKDM_ReaderInfo::mode03, {VKDM_SPAN(VKDM_ReaderInfo, decoderType, selfTest), {}}},
    {0x04, &VKDM_ReaderInfo::mode04, {VKDM_SPAN(VKDM_ReaderInfo, dlqFctTemplate, dlqFct), {}}},
    {0x05, &VKDM_ReaderInfo::mode05, {VKDM_SPAN(VKDM_ReaderInfo, bootSwVer, bootSwVer), {}}},
    {0x06, &VKDM_ReaderInfo::mode06, {VKDM_SPAN(VKDM_ReaderInfo, keybStatus, keybHwVer), {}}},
    {0x07, &VKDM_ReaderInfo::mode07, {VKDM_SPAN(VKDM_ReaderInfo, dlqioSwVer, dlqioNoOfSignalers), {}}},
    {0x08,
     &VKDM_ReaderInfo::mode08,
     {VKDM_SPAN(VKDM_ReaderInfo, rfcSupportedTagDriver, rfcSupportedTagDriver), {}}},
    {0x10, &VKDM_ReaderInfo::mode10, {VKDM_SPAN(VKDM_ReaderInfo, rfcHwInfo, rfcInfo), {}}},
    {0x11, &VKDM_ReaderInfo::mode11, {VKDM_SPAN(VKDM_ReaderInfo, noOfSlots, slotInfo), {}}},
    {0x12, &VKDM_ReaderInfo::mode12, {VKDM_SPAN(VKDM_ReaderInfo, rfcCpuManufacturer, rfcCpuFlashSize), {}}},
    {0x40, &VKDM_ReaderInfo::mode40, {VKDM_SPAN(VKDM_ReaderInfo, noOfCfgPages, cfgReadPermissions), {}}},
    {0x41,
     &VKDM_ReaderInfo::mode41,
     {VKDM_SPAN(VKDM_ReaderInfo, noOfCfgPages, noOfCfgPages),
      VKDM_SPAN(VKDM_ReaderInfo, cfgWritePermissions, cfgWritePermissions)}},
    {0x50, &VKDM_ReaderInfo::lanMac, {VKDM_SPAN(VKDM_ReaderInfo, lanMacAddr, lanMacAddr), {}}},
    {0x51, &VKDM_ReaderInfo::lanIp, {VKDM_SPAN(VKDM_ReaderInfo, lanIpV4, lanIpV6), {}}},
    {0x52, &VKDM_ReaderInfo::lanNetmask, {VKDM_SPAN(VKDM_ReaderInfo, lanNetmaskV4, lanNetmaskV6), {}}},
    {0x53, &VKDM_ReaderInfo::lanGateway, {VKDM_SPAN(VKDM_ReaderInfo, lanGatewayV4, lanGatewayV6), {}}},
    {0x54, &VKDM_ReaderInfo::wlanMac, {VKDM_SPAN(VKDM_ReaderInfo, wlanMacAddr, wlanMacAddr), {}}},
    {0x55, &VKDM_ReaderInfo::wlanIp, {VKDM_SPAN(VKDM_ReaderInfo, wlanIpV4, wlanIpV6), {}}},
    {0x56, &VKDM_ReaderInfo::wlanNetmask, {VKDM_SPAN(VKDM_ReaderInfo, wlanNetmaskV4, wlanNetmaskV6), {}}},
    {0x57, &VKDM_ReaderInfo::wlanGateway, {VKDM_SPAN(VKDM_ReaderInfo, wlanGatewayV4, wlanGatewayV6), {}}},
    {0x60, &VKDM_ReaderInfo::mode60, {VKDM_SPAN(VKDM_ReaderInfo, noOfInputs, noOfRelays), {}}},
    {0x61, &VKDM_ReaderInfo::mode61, {VKDM_SPAN(VKDM_ReaderInfo, peopleCounter, peopleCounter), {}}},
    {0x80, &VKDM_ReaderInfo::mode80, {VKDM_SPAN(VKDM_ReaderInfo, rfcDevID, rfcLicenseUhfFct), {}}},
};

struct DiagnosticMode {
    unsigned char mode;
    bool VKDM_ReaderDiagnostic::*flag;
    Span part;
};

const DiagnosticMode kDiagnosticModes[] = {
    {0x01, &VKDM_ReaderDiagnostic::mode01, VKDM_SPAN(VKDM_ReaderDiagnostic, flagsA, flagsB)},
    {0x03, &VKDM_ReaderDiagnostic::mode03, VKDM_SPAN(VKDM_ReaderDiagnostic, muxStatusCh, muxStatusCh)},
    {0x04, &VKDM_ReaderDiagnostic::mode04, VKDM_SPAN(VKDM_ReaderDiagnostic, intErrorA, intErrorB)},
    {0x05, &VKDM_ReaderDiagnostic::mode05, VKDM_SPAN(VKDM_ReaderDiagnostic, muxOut, muxOut)},
    {0x20, &VKDM_ReaderDiagnostic::mode20, VKDM_SPAN(VKDM_ReaderDiagnostic, firmwareStatus, firmwareStatus)},
    {0x21, &VKDM_ReaderDiagnostic::mode21,
     VKDM_SPAN(VKDM_ReaderDiagnostic, configParaChangeStatus, configParaChangeStatus)},
};

#undef VKDM_SPAN

// Copies the parts from `data` in order; a short reply fills what it holds and
// the rest of the parts becomes zero.
void fill(unsigned char* record, const Span* parts, int count, const unsigned char* data, int length) {
    std::size_t at = 0;
    for (int p = 0; p < count; ++p) {
        const Span& part = parts[p];
        if (part.size == 0) continue;
        const std::size_t left =
            length > 0 && static_cast<std::size_t>(length) > at ? static_cast<std::size_t>(length) - at : 0;
        const std::size_t n = left < part.size ? left : part.size;
        std::memset(record + part.offset, 0, part.size);
        if (n > 0) std::memcpy(record + part.offset, data + at, n);
        at += part.size;
    }
}

// The frequency byte is the seventh of mode 0x10.
constexpr int kFrequencyByte = 6;

} // namespace

bool isInfoMode(unsigned mode) {
    for (const InfoMode& m : kInfoModes) {
        if (m.mode == mode) return true;
    }
    return false;
}

void storeInfoMode(unsigned char mode, const unsigned char* data, int length, VKDM_ReaderInfo& info) {
    for (const InfoMode& m : kInfoModes) {
        if (m.mode != mode) continue;
        fill(reinterpret_cast<unsigned char*>(&info), m.parts, 2, data, length);
        info.*m.flag = true;
        if (mode == 0x10 && length > kFrequencyByte) info.isRfcFrequency = true;
    }
}

namespace {

// Asks the reader mode by mode: `ask`(mode, buffer) gives the reader's result,
// `store`(mode entry, buffer) files a reply of status 0; a status above 0 leaves
// the mode unread. A code for the first mode fails the read; a later one ends it
// and is kept in `laterCode`.
template <typename Modes, typename Ask, typename Store>
int readModes(const Modes& modes, std::size_t bufferSize, int& laterCode, Ask ask, Store store) {
    laterCode = 0;
    std::vector<unsigned char> buffer(bufferSize);
    bool first = true;
    for (const auto& m : modes) {
        std::fill(buffer.begin(), buffer.end(), 0);
        const int rc = ask(m.mode, buffer.data());
        if (rc < 0) {
            if (first) return rc;
            laterCode = rc;
            return 0;
        }
        first = false;
        if (rc == 0) store(m, buffer);
    }
    return 0;
}

} // namespace

int readReaderInfo(int reader, int adr, VKDM_ReaderInfo& info, int& laterCode) {
    info = VKDM_ReaderInfo{};
    // Room for the longest reply as hex text.
    return readModes(
        kInfoModes, 131075, laterCode,
        [&](unsigned char mode, unsigned char* out) {
            return VKKRN_0x66_ReaderInfo(reader, adr, mode, out, 1);
        },
        [&](const InfoMode& m, const std::vector<unsigned char>& buffer) {
            const std::vector<std::uint8_t> data = hexReply(buffer);
            storeInfoMode(m.mode, data.data(), static_cast<int>(data.size()), info);
        });
}

int readReaderDiagnostic(int reader, int adr, VKDM_ReaderDiagnostic& diagnostic, int& laterCode) {
    diagnostic = VKDM_ReaderDiagnostic{};
    // The whole reply and a NUL; mode 0x21 sends the first byte (0) along.
    return readModes(
        kDiagnosticModes, 65538, laterCode,
        [&](unsigned char mode, unsigned char* out) { return VKKRN_0x6E_RdDiag(reader, adr, mode, out); },
        [&](const DiagnosticMode& m, const std::vector<unsigned char>& buffer) {
            std::memcpy(reinterpret_cast<unsigned char*>(&diagnostic) + m.part.offset, buffer.data(),
                        m.part.size);
            diagnostic.*m.flag = true;
        });
}

} // namespace vkdm

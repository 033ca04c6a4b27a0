#include "report_rules.h"

#include <cstring>

namespace nubokrn4j {

namespace {

using I = InfoGroup;
using D = DiagnosticGroup;
using V = RowValue;

// A row whose value sits at `member` of the record, `plus` bytes further.
#define VK_INFO(field, value, member, plus, count, group)                                                    \
    InfoRow {                                                                                                \
        field, value, offsetof(VKDM_ReaderInfo, member) + (plus), count, group                               \
    }
#define VK_DIAG(field, value, member, plus, count, group)                                                    \
    DiagnosticRow {                                                                                          \
        field, value, offsetof(VKDM_ReaderDiagnostic, member) + (plus), count, group                         \
    }

constexpr InfoRow kInfoRows[] = {
    VK_INFO("isMode0x00Read", V::Flag, mode00, 0, 1, I::Always),
    VK_INFO("isMode0x01Read", V::Flag, mode01, 0, 1, I::Always),
    VK_INFO("isMode0x02Read", V::Flag, mode02, 0, 1, I::Always),
    VK_INFO("isMode0x03Read", V::Flag, mode03, 0, 1, I::Always),
    VK_INFO("isMode0x04Read", V::Flag, mode04, 0, 1, I::Always),
    VK_INFO("isMode0x05Read", V::Flag, mode05, 0, 1, I::Always),
    VK_INFO("isMode0x06Read", V::Flag, mode06, 0, 1, I::Always),
    VK_INFO("isMode0x07Read", V::Flag, mode07, 0, 1, I::Always),
    VK_INFO("isMode0x08Read", V::Flag, mode08, 0, 1, I::Always),
    VK_INFO("isMode0x10Read", V::Flag, mode10, 0, 1, I::Always),
    VK_INFO("isMode0x11Read", V::Flag, mode11, 0, 1, I::Always),
    VK_INFO("isMode0x12Read", V::Flag, mode12, 0, 1, I::Always),
    VK_INFO("isMode0x40Read", V::Flag, mode40, 0, 1, I::Always),
    VK_INFO("isMode0x41Read", V::Flag, mode41, 0, 1, I::Always),
    VK_INFO("isMode0x60Read", V::Flag, mode60, 0, 1, I::Always),
    VK_INFO("isMode0x61Read", V::Flag, mode61, 0, 1, I::Always),
    VK_INFO("isMode0x80Read", V::Flag, mode80, 0, 1, I::Always),
    VK_INFO("isRfcFrequency", V::Flag, isRfcFrequency, 0, 1, I::Always),

    VK_INFO("rfcSwVer", V::Bytes, rfcSwVer, 0, 2, I::Mode00),
    VK_INFO("rfcDevVer", V::Byte, rfcDevVer, 0, 1, I::Mode00),
    VK_INFO("rfcHwType", V::Byte, rfcHwType, 0, 1, I::Mode00),
    VK_INFO("readerType", V::Byte, readerType, 0, 1, I::Mode00),
    VK_INFO("rfcTrType", V::Bytes, rfcTrType, 0, 2, I::Mode00),
    VK_INFO("rfcRxBufferSize", V::Bytes, rfcRxBufferSize, 0, 2, I::Mode00),
    VK_INFO("rfcTxBufferSize", V::Bytes, rfcTxBufferSize, 0, 2, I::Mode00),
    VK_INFO("rfcUhfTrType", V::Bytes, rfcUhfTrType, 0, 2, I::Mode00),
    VK_INFO("accSwVer", V::Bytes, accSwVer, 0, 2, I::Mode01),
    VK_INFO("accDevVer", V::Byte, accDevVer, 0, 1, I::Mode01),
    VK_INFO("accHwType", V::Byte, accHwType, 0, 1, I::Mode01),
    VK_INFO("usbSwVer", V::Bytes, usbSwVer, 0, 2, I::Mode02),
    VK_INFO("usbDevVer", V::Byte, usbDevVer, 0, 1, I::Mode02),
    VK_INFO("usbHwType", V::Byte, usbHwType, 0, 1, I::Mode02),
    VK_INFO("fpgaSwVer", V::Bytes, decoderType, 0, 2, I::Mode03),
    VK_INFO("fpgaDevVer", V::Byte, decoderType, 2, 1, I::Mode03),
    VK_INFO("fpgaHwType", V::Byte, decoderType, 3, 1, I::Mode03),
    VK_INFO("decoderType", V::Bytes, decoderType, 0, 5, I::Mode03),
    VK_INFO("selfTest", V::Byte, selfTest, 0, 1, I::Mode03),
    VK_INFO("dlqFctTemplate", V::Byte, dlqFctTemplate, 0, 1, I::Mode04Template),
    VK_INFO("dlqFctList0", V::Byte, dlqFct, 0, 1, I::Mode04Template),
    VK_INFO("dlqFctList1", V::Byte, dlqFct, 1, 1, I::Mode04List),
    VK_INFO("dlqFctList2", V::Byte, dlqFct, 2, 1, I::Mode04List),
    VK_INFO("fwIdentifier", V::Bytes, dlqFct, 3, 2, I::Mode04List),
    VK_INFO("bootSwVer", V::Bytes, bootSwVer, 0, 2, I::Mode05),
    VK_INFO("keybStatus", V::Bytes, keybStatus, 0, 2, I::Mode06),
    VK_INFO("keybSwVer", V::Bytes, keybSwVer, 0, 2, I::Mode06),
    VK_INFO("keybHwVer", V::Bytes, keybHwVer, 0, 2, I::Mode06),
    VK_INFO("dlqioSwVer", V::Bytes, dlqioSwVer, 0, 2, I::Mode07),
    VK_INFO("dlqioHwVer", V::Byte, dlqioHwVer, 0, 1, I::Mode07),
    VK_INFO("dlqioNoOfInputs", V::Byte, dlqioNoOfInputs, 0, 1, I::Mode07),
    VK_INFO("dlqioNoOfOutputs", V::Byte, dlqioNoOfOutputs, 0, 1, I::Mode07),
    VK_INFO("dlqioNoOfRelays", V::Byte, dlqioNoOfRelays, 0, 1, I::Mode07),
    VK_INFO("dlqioNoOfSignalers", V::Byte, dlqioNoOfSignalers, 0, 1, I::Mode07),
    VK_INFO("rfcSupportedTagDriver", V::Bytes, rfcSupportedTagDriver, 0, 14, I::Mode08),
    VK_INFO("rfcHwInfo", V::Bytes, rfcHwInfo, 0, 2, I::Mode10),
    VK_INFO("rfcDHw", V::Bytes, rfcDHw, 0, 2, I::Mode10),
    VK_INFO("rfcAHw", V::Bytes, rfcAHw, 0, 2, I::Mode10),
    VK_INFO("rfcFrequency", V::Byte, rfcFrequency, 0, 1, I::Mode10),
    VK_INFO("rfcPortTypes", V::Byte, rfcPortTypes, 0, 1, I::Mode10),
    VK_INFO("rfcInfo", V::Byte, rfcInfo, 0, 1, I::Mode10),
    VK_INFO("noOfSlots", V::Byte, noOfSlots, 0, 1, I::Mode11),
    VK_INFO("slotInfo", V::Bytes, slotInfo, 0, 4, I::Mode11),
    VK_INFO("rfcCpuManufacturer", V::Byte, rfcCpuManufacturer, 0, 1, I::Mode12),
    VK_INFO("rfcCpuType", V::Bytes, rfcCpuType, 0, 2, I::Mode12),
    VK_INFO("rfcCpuRevision", V::Byte, rfcCpuRevision, 0, 1, I::Mode12),
    VK_INFO("rfcCpuFlashSize", V::Bytes, rfcCpuFlashSize, 0, 4, I::Mode12),
    VK_INFO("noOfCfgPages", V::Bytes, noOfCfgPages, 0, 2, I::Mode40),
    VK_INFO("cfgReadPermissions", V::Bytes, cfgReadPermissions, 0, 16, I::Mode40),
    VK_INFO("noOfCfgPages", V::Bytes, noOfCfgPages, 0, 2, I::Mode41),
    VK_INFO("cfgWritePermissions", V::Bytes, cfgWritePermissions, 0, 16, I::Mode41),
    VK_INFO("lanMac", V::Bytes, lanMacAddr, 0, 6, I::LanMac),
    VK_INFO("lanIpV4", V::Bytes, lanIpV4, 0, 4, I::LanIp),
    VK_INFO("lanIpV6", V::Bytes, lanIpV6, 0, 16, I::LanIp),
    VK_INFO("lanNetmaskV4", V::Bytes, lanNetmaskV4, 0, 4, I::LanNetmask),
    VK_INFO("lanNetmaskV6", V::Bytes, lanNetmaskV6, 0, 16, I::LanNetmask),
    VK_INFO("lanGatewayV4", V::Bytes, lanGatewayV4, 0, 4, I::LanGateway),
    VK_INFO("lanGatewayV6", V::Bytes, lanGatewayV6, 0, 16, I::LanGateway),
    VK_INFO("wlanMac", V::Bytes, wlanMacAddr, 0, 6, I::WlanMac),
    VK_INFO("wlanIpV4", V::Bytes, wlanIpV4, 0, 4, I::WlanIp),
    VK_INFO("wlanIpV6", V::Bytes, wlanIpV6, 0, 16, I::WlanIp),
    VK_INFO("wlanNetmaskV4", V::Bytes, wlanNetmaskV4, 0, 4, I::WlanNetmask),
    VK_INFO("wlanNetmaskV6", V::Bytes, wlanNetmaskV6, 0, 16, I::WlanNetmask),
    VK_INFO("wlanGatewayV4", V::Bytes, wlanGatewayV4, 0, 4, I::WlanGateway),
    VK_INFO("wlanGatewayV6", V::Bytes, wlanGatewayV6, 0, 16, I::WlanGateway),
    VK_INFO("noOfInputs", V::Byte, noOfInputs, 0, 1, I::Mode60),
    VK_INFO("noOfOutputs", V::Byte, noOfOutputs, 0, 1, I::Mode60),
    VK_INFO("noOfRelays", V::Byte, noOfRelays, 0, 1, I::Mode60),
    VK_INFO("noOfPeopleCounter", V::PeopleCounter, peopleCounter, 0, 6, I::Mode61),
    VK_INFO("rfcDevID", V::Bytes, rfcDevID, 0, 4, I::Mode80),
    VK_INFO("rfcLicenseCustom", V::Bytes, rfcLicenseCustom, 0, 4, I::Mode80),
    VK_INFO("rfcLicenseFw", V::Bytes, rfcLicenseFw, 0, 2, I::Mode80),
    VK_INFO("rfcLicenseTrType", V::Bytes, rfcLicenseTrType, 0, 2, I::Mode80),
    VK_INFO("rfcLicenseFct", V::Bytes, rfcLicenseFct, 0, 2, I::Mode80),
    VK_INFO("rfcLicenseUhfTrType", V::Bytes, rfcLicenseUhfTrType, 0, 2, I::Mode80),
    VK_INFO("rfcLicenseUhfFct", V::Bytes, rfcLicenseUhfFct, 0, 2, I::Mode80),
    VK_INFO("rfcFrequency", V::Byte, rfcFrequency, 0, 1, I::Frequency),
};

constexpr DiagnosticRow kDiagnosticRows[] = {
    VK_DIAG("isMode0x01Read", V::Flag, mode01, 0, 1, D::Always),
    VK_DIAG("isMode0x03Read", V::Flag, mode03, 0, 1, D::Always),
    VK_DIAG("isMode0x04Read", V::Flag, mode04, 0, 1, D::Always),
    VK_DIAG("isMode0x05Read", V::Flag, mode05, 0, 1, D::Always),
    VK_DIAG("isMode0x20Read", V::Flag, mode20, 0, 1, D::Always),
    VK_DIAG("isMode0x21Read", V::Flag, mode21, 0, 1, D::Always),
    VK_DIAG("flagsA", V::Byte, flagsA, 0, 1, D::Mode01),
    VK_DIAG("flagsB", V::Byte, flagsB, 0, 1, D::Mode01),
    VK_DIAG("muxStatusCh1", V::Byte, muxStatusCh, 0, 1, D::Mode03),
    VK_DIAG("muxStatusCh2", V::Byte, muxStatusCh, 1, 1, D::Mode03),
    VK_DIAG("muxStatusCh3", V::Byte, muxStatusCh, 2, 1, D::Mode03),
    VK_DIAG("muxStatusCh4", V::Byte, muxStatusCh, 3, 1, D::Mode03),
    VK_DIAG("muxStatusCh5", V::Byte, muxStatusCh, 4, 1, D::Mode03),
    VK_DIAG("muxStatusCh6", V::Byte, muxStatusCh, 5, 1, D::Mode03),
    VK_DIAG("muxStatusCh7", V::Byte, muxStatusCh, 6, 1, D::Mode03),
    VK_DIAG("muxStatusCh8", V::Byte, muxStatusCh, 7, 1, D::Mode03),
    VK_DIAG("intErrorA", V::Byte, intErrorA, 0, 1, D::Mode04),
    VK_DIAG("intErrorB", V::Byte, intErrorB, 0, 1, D::Mode04),
    VK_DIAG("muxStatus_Out1", V::Byte, muxOut, 0, 1, D::Mode05),
    VK_DIAG("muxPhaseError_LT50R_Out1", V::Byte, muxOut, 1, 1, D::Mode05),
    VK_DIAG("muxPhaseError_GT50R_Out1", V::Byte, muxOut, 2, 1, D::Mode05),
    VK_DIAG("muxStatus_Out2", V::Byte, muxOut, 3, 1, D::Mode05),
    VK_DIAG("muxPhaseError_LT50R_Out2", V::Byte, muxOut, 4, 1, D::Mode05),
    VK_DIAG("muxPhaseError_GT50R_Out2", V::Byte, muxOut, 5, 1, D::Mode05),
    VK_DIAG("muxStatus_Out3", V::Byte, muxOut, 6, 1, D::Mode05),
    VK_DIAG("muxPhaseError_LT50R_Out3", V::Byte, muxOut, 7, 1, D::Mode05),
    VK_DIAG("muxPhaseError_GT50R_Out3", V::Byte, muxOut, 8, 1, D::Mode05),
    VK_DIAG("muxStatus_Out4", V::Byte, muxOut, 9, 1, D::Mode05),
    VK_DIAG("muxPhaseError_LT50R_Out4", V::Byte, muxOut, 10, 1, D::Mode05),
    VK_DIAG("muxPhaseError_GT50R_Out4", V::Byte, muxOut, 11, 1, D::Mode05),
    VK_DIAG("firmwareStatus", V::FirmwareText, firmwareStatus, 0, 31, D::Mode20),
    VK_DIAG("configParaChangeStatus", V::Byte, configParaChangeStatus, 0, 1, D::Mode21),
};

#undef VK_INFO
#undef VK_DIAG

} // namespace

bool hasFunctionTemplate(std::uint8_t readerType) {
    return (readerType >= 80 && readerType <= 89) || readerType == 100;
}

bool hasFunctionList(std::uint8_t readerType) {
    return (readerType >= 82 && readerType <= 87) || readerType == 89 || readerType == 100;
}

bool groupSet(const VKDM_ReaderInfo& i, InfoGroup group) {
    switch (group) {
    case I::Always: return true;
    case I::Mode00: return i.mode00;
    case I::Mode01: return i.mode01;
    case I::Mode02: return i.mode02;
    case I::Mode03: return i.mode03;
    // The reader type comes from the record whether or not mode 0x00 was read.
    case I::Mode04Template: return i.mode04 && hasFunctionTemplate(i.readerType);
    case I::Mode04List: return i.mode04 && hasFunctionList(i.readerType);
    case I::Mode05: return i.mode05;
    case I::Mode06: return i.mode06;
    case I::Mode07: return i.mode07;
    case I::Mode08: return i.mode08;
    case I::Mode10: return i.mode10;
    case I::Mode11: return i.mode11;
    case I::Mode12: return i.mode12;
    case I::Mode40: return i.mode40;
    case I::Mode41: return i.mode41;
    case I::LanMac: return i.lanMac;
    case I::LanIp: return i.lanIp;
    case I::LanNetmask: return i.lanNetmask;
    case I::LanGateway: return i.lanGateway;
    case I::WlanMac: return i.wlanMac;
    case I::WlanIp: return i.wlanIp;
    case I::WlanNetmask: return i.wlanNetmask;
    case I::WlanGateway: return i.wlanGateway;
    case I::Mode60: return i.mode60;
    case I::Mode61: return i.mode61;
    case I::Mode80: return i.mode80;
    case I::Frequency: return i.isRfcFrequency;
    }
    return false;
}

bool groupSet(const VKDM_ReaderDiagnostic& d, DiagnosticGroup group) {
    switch (group) {
    case D::Always: return true;
    case D::Mode01: return d.mode01;
    case D::Mode03: return d.mode03;
    case D::Mode04: return d.mode04;
    case D::Mode05: return d.mode05;
    case D::Mode20: return d.mode20;
    case D::Mode21: return d.mode21;
    }
    return false;
}

int peopleCounterCount(std::span<const std::uint8_t, 6> entries) {
    int count = 0;
    for (std::size_t k = 0; k < 6; k += 2) {
        if (entries[k] == 1) ++count;
    }
    return count;
}

std::string_view boundedText(const std::uint8_t* text, std::size_t max) {
    const char* chars = reinterpret_cast<const char*>(text);
    return std::string_view(chars, strnlen(chars, max));
}

std::span<const InfoRow> infoRows() {
    return kInfoRows;
}

std::span<const DiagnosticRow> diagnosticRows() {
    return kDiagnosticRows;
}

} // namespace nubokrn4j

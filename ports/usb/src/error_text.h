// English texts of the library's result codes.
#ifndef VKUSB_ERROR_TEXT_H
#define VKUSB_ERROR_TEXT_H

namespace vkusb {

// Result codes the library produces or names.
enum : int {
    kOk = 0,
    kErrEmptyDeviceList = -1100,
    kErrNullPointer = -1102,
    kErrSetConfiguration = -1104,
    kErrUnsupportedOption = -1106,
    kErrUnsupportedMethod = -1107,
    kErrNoConfiguration = -1108,
    kErrLibUsbUnavailable = -1109,
    kErrNoDeviceFound = -1112,
    kErrNoScanIndex = -1115, // has no text
    kErrHandleNull = -1121,
    kErrHandleNegative = -1122,
    kErrNoDeviceHandle = -1123,
    kErrTimeout = -1130,
    kErrNoSendData = -1131,
    kErrUnknownInterface = -1132,
    kErrReceiveBufferTooSmall = -1134,
    kErrSendLength = -1135,
    kErrNotPresent = -1137,
    kErrBulkTransfer = -1139,
    kErrNotScanned = -1140,
    kErrCannotOpen = -1143,
    kErrNotOpened = -1144,
    kErrClaim = -1145,
    kErrUnknownParameter = -1150,
    kErrOutOfRange = -1151,
    kErrIndexOutOfRange = -1153,
    kErrUnknownScanOption = -1154,
    kErrUnknownCode = -1155,
    kErrParameterSyntax = -1156,
    kErrParameterNotAvailable = -1157,
    kErrDeviceDescriptorRead = -1166,
    kErrConfigDescriptorRead = -1167,
    kErrStringDescriptorRead = -1168,
    kErrControlTransfer = -1180,
};

// VKUSB_GetScanListPara's answer for an index outside the scan list.
inline constexpr int kScanListIndexOutside = 1115;

// The text of a code, or null when the code has none.
const char* knownErrorText(int code);

// Copies the code's text to `text` (at least 57 bytes). A code without text is
// formatted into g_cVkusbErrorText under a lock and copied from there. Returns
// 0, or kErrUnknownCode for a code without text.
int copyErrorText(int code, char* text);

} // namespace vkusb

#endif

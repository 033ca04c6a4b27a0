#include "error_text.h"

#include <vkusb/vkusb.h>

#include <cstdio>
#include <cstring>
#include <iterator>
#include <mutex>

char g_cVkusbErrorText[256] = {};

namespace vkusb {

namespace {

struct ErrorText {
    int code;
    const char* text;
};

constexpr ErrorText kErrorTexts[] = {
    {0, "VKUSB: OK"},
    {-1100, "VKUSB: (-1100) empty device list"},
    {-1101, "VKUSB: (-1101) empty scan list"},
    {-1102, "VKUSB: (-1102) pointer is NULL"},
    {-1103, "VKUSB: (-1103) no more memory"},
    {-1104, "VKUSB: (-1104) The USB configuration could not be set"},
    {-1105, "VKUSB: (-1105) Error in Kernel-Function"},
    {-1106, "VKUSB: (-1106) unsupported option"},
    {-1107, "VKUSB: (-1107) unsupported method"},
    {-1108, "VKUSB: (-1108) device has no configuration"},
    {-1109, "VKUSB: (-1109) libUSB-API not available"},
    {-1110, "VKUSB: (-1110) no varek device"},
    {-1111, "VKUSB: (-1111) search mismatch"},
    {-1112, "VKUSB: (-1112) no device found"},
    {-1113, "VKUSB: (-1113) device is already scanned"},
    {-1114, "VKUSB: (-1114) scanlist overflow"},
    {-1120, "VKUSB: (-1120) unknown device handle"},
    {-1121, "VKUSB: (-1121) device handle is null"},
    {-1122, "VKUSB: (-1122) device handle is negative"},
    {-1123, "VKUSB: (-1123) no device handle found"},
    {-1130, "VKUSB: (-1130) timeout"},
    {-1131, "VKUSB: (-1131) no send data"},
    {-1132, "VKUSB: (-1132) unknown interface"},
    {-1133, "VKUSB: (-1133) unknown direction"},
    {-1134, "VKUSB: (-1134) receive buffer is too small"},
    {-1135, "VKUSB: (-1135) send data length is fault"},
    {-1136, "VKUSB: (-1136) unknown descriptor type"},
    {-1137, "VKUSB: (-1137) device is not present"},
    {-1138, "VKUSB: (-1138) error in transmit process"},
    {-1139, "VKUSB: (-1139) bulk transfer error"},
    {-1140, "VKUSB: (-1140) device not scanned"},
    {-1141, "VKUSB: (-1141) device is not in scanlist"},
    {-1142, "VKUSB: (-1142) device list handle is null"},
    {-1143, "VKUSB: (-1143) device cannot be opened"},
    {-1144, "VKUSB: (-1144) device is not opened"},
    {-1145, "VKUSB: (-1145) interface cannot be claimed"},
    {-1146, "VKUSB: (-1146) wrong device, another device was expected"},
    {-1150, "VKUSB: (-1150) unknown parameter"},
    {-1151, "VKUSB: (-1151) parameter out of range"},
    {-1152, "VKUSB: (-1152) odd parameter string"},
    {-1153, "VKUSB: (-1153) index out of range"},
    {-1154, "VKUSB: (-1154) unknown scan option"},
    {-1155, "VKUSB: (-1155) unknown error code"},
    {-1156, "VKUSB: (-1156) parameter syntax error"},
    {-1157, "VKUSB: (-1157) parameter not available"},
    {-1160, "VKUSB: (-1160) device descriptor length is fault"},
    {-1161, "VKUSB: (-1161) configuration descriptor length is fault"},
    {-1162, "VKUSB: (-1162) interface descriptor length is fault"},
    {-1163, "VKUSB: (-1163) endpoint descriptor length is fault"},
    {-1164, "VKUSB: (-1164) HID descriptor length is fault"},
    {-1165, "VKUSB: (-1165) string descriptor length is fault"},
    {-1166, "VKUSB: (-1166) device descriptor read error"},
    {-1167, "VKUSB: (-1167) configuration descriptor read error"},
    {-1168, "VKUSB: (-1168) string descriptor read error"},
    {-1170, "VKUSB: (-1170) device has to much interfaces"},
    {-1171, "VKUSB: (-1171) device has to much endpoints"},
    {-1172, "VKUSB: (-1172) device has to much strings"},
    {-1180, "VKUSB: (-1180) control transfer error"},
};

// Guards g_cVkusbErrorText while an unknown code is formatted and copied out.
std::mutex g_unknownTextMutex;

} // namespace

const char* knownErrorText(int code) {
    for (const ErrorText& entry : kErrorTexts) {
        if (entry.code == code) return entry.text;
    }
    return nullptr;
}

int copyErrorText(int code, char* text) {
    if (const char* known = knownErrorText(code)) {
        std::strcpy(text, known);
        return kOk;
    }
    std::lock_guard lock(g_unknownTextMutex);
    std::snprintf(g_cVkusbErrorText, sizeof g_cVkusbErrorText, "VKUSB: Unknown Error: 0x%X (%d)",
                  static_cast<unsigned>(code), code);
    std::strcpy(text, g_cVkusbErrorText);
    return kErrUnknownCode;
}

} // namespace vkusb

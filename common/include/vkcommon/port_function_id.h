// PortFunctionId: the number under which a port-library function is bound at run
// time by name. The reader protocol library and the transponder APDU library bind
// from this one table; the numbering leaves gaps, and an id without a row binds
// to nothing.
#ifndef VKCOMMON_PORT_FUNCTION_ID_H
#define VKCOMMON_PORT_FUNCTION_ID_H

#include <array>
#include <string_view>

namespace vk {

enum class PortLibrary { None, Serial, Usb, Tcp };

struct PortFunctionRow {
    int id;
    std::string_view name;
};

inline constexpr std::string_view kSerialLibraryFile = "libvkcom.so";
inline constexpr std::string_view kUsbLibraryFile = "libvkusb.so";
inline constexpr std::string_view kTcpLibraryFile = "libvktcp.so";

constexpr PortLibrary portLibraryOf(int id) {
    if (id >= 1000 && id <= 1099) return PortLibrary::Serial;
    if (id >= 1100 && id <= 1199) return PortLibrary::Usb;
    if (id >= 1200 && id <= 1299) return PortLibrary::Tcp;
    return PortLibrary::None;
}

constexpr std::string_view portLibraryFile(PortLibrary library) {
    switch (library) {
    case PortLibrary::Serial: return kSerialLibraryFile;
    case PortLibrary::Usb: return kUsbLibraryFile;
    case PortLibrary::Tcp: return kTcpLibraryFile;
    case PortLibrary::None: break;
    }
    return {};
}

inline constexpr std::array<PortFunctionRow, 16> kSerialPortFunctions{{
    {1000, "VIZER_GetDLLVersion"},
    {1001, "VIZER_GetErrorText"},
    {1002, "VIZER_GetLastError"},
    {1003, "VIZER_DetectPort"},
    {1010, "VIZER_AddEventHandler"},
    {1011, "VIZER_DelEventHandler"},
    {1020, "VIZER_OpenPort"},
    {1021, "VIZER_ClosePort"},
    {1022, "VIZER_GetPortList"},
    {1023, "VIZER_GetPortPara"},
    {1024, "VIZER_SetPortPara"},
    {1025, "VIZER_DoPortCmd"},
    {1026, "VIZER_GetPortHnd"},
    {1030, "VIZER_Transceive"},
    {1031, "VIZER_Transmit"},
    {1032, "VIZER_Receive"},
}};

inline constexpr std::array<PortFunctionRow, 19> kUsbPortFunctions{{
    {1100, "VKUSB_GetDLLVersion"}, {1102, "VKUSB_GetErrorText"},    {1110, "VKUSB_Scan"},
    {1111, "VKUSB_ScanAndOpen"},   {1112, "VKUSB_GetScanListPara"}, {1113, "VKUSB_GetScanListSize"},
    {1114, "VKUSB_ClearScanList"}, {1120, "VKUSB_AddEventHandler"}, {1121, "VKUSB_DelEventHandler"},
    {1130, "VKUSB_OpenDevice"},    {1131, "VKUSB_CloseDevice"},     {1132, "VKUSB_IsDevicePresent"},
    {1133, "VKUSB_GetDeviceList"}, {1134, "VKUSB_GetDevicePara"},   {1135, "VKUSB_SetDevicePara"},
    {1136, "VKUSB_GetDeviceHnd"},  {1140, "VKUSB_Transceive"},      {1141, "VKUSB_Transmit"},
    {1142, "VKUSB_Receive"},
}};

inline constexpr std::array<PortFunctionRow, 15> kTcpPortFunctions{{
    {1200, "VKTCP_GetDLLVersion"},
    {1201, "VKTCP_GetErrorText"},
    {1202, "VKTCP_GetLastError"},
    {1210, "VKTCP_AddEventHandler"},
    {1211, "VKTCP_DelEventHandler"},
    {1220, "VKTCP_Detect"},
    {1221, "VKTCP_Connect"},
    {1222, "VKTCP_DisConnect"},
    {1223, "VKTCP_GetSocketList"},
    {1224, "VKTCP_GetSocketPara"},
    {1225, "VKTCP_SetSocketPara"},
    {1226, "VKTCP_GetSocketHnd"},
    {1230, "VKTCP_Transceive"},
    {1231, "VKTCP_Transmit"},
    {1232, "VKTCP_Receive"},
}};

// The exported name bound under `id`, or an empty view when the id has no row.
constexpr std::string_view portFunctionName(int id) {
    auto find = [id](const auto& rows) -> std::string_view {
        for (const auto& row : rows) {
            if (row.id == id) return row.name;
        }
        return {};
    };
    switch (portLibraryOf(id)) {
    case PortLibrary::Serial: return find(kSerialPortFunctions);
    case PortLibrary::Usb: return find(kUsbPortFunctions);
    case PortLibrary::Tcp: return find(kTcpPortFunctions);
    case PortLibrary::None: break;
    }
    return {};
}

} // namespace vk

#endif

// PortHandle: the int a port library hands out. The top four bits name the port
// type, the low 28 bits are the library's running count (1 .. 0x0FFFFFFF, then 1).
#ifndef VKCOMMON_PORT_HANDLE_H
#define VKCOMMON_PORT_HANDLE_H

#include <cstdint>

namespace vk {

enum class PortType : unsigned { Serial = 0, Usb = 1, Tcp = 2, PlugIn = 7 };

inline constexpr int kPortTypeShift = 28;
inline constexpr int kPortCountMax = 0x0FFFFFFF;
// The handle that names a port served by an external plug-in.
inline constexpr int kPlugInPortHandle = 0x70000001;

constexpr unsigned portTypeBits(int handle) {
    return (static_cast<std::uint32_t>(handle) >> kPortTypeShift) & 0xFu;
}

constexpr bool isPortType(int handle, PortType type) {
    return portTypeBits(handle) == static_cast<unsigned>(type);
}

// The count that follows `count`: 1 after 0x0FFFFFFF (and after anything invalid).
constexpr int nextPortCount(int count) {
    return (count < 0 || count >= kPortCountMax) ? 1 : count + 1;
}

constexpr int makePortHandle(PortType type, int count) {
    return static_cast<int>((static_cast<std::uint32_t>(type) << kPortTypeShift) |
                            (static_cast<std::uint32_t>(count) & kPortCountMax));
}

constexpr int portCount(int handle) {
    return handle & kPortCountMax;
}

} // namespace vk

#endif

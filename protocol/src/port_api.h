// The port-library functions this library calls, bound by id through the
// registry's binder. Their types come from the port libraries' headers; nothing
// of them is linked.
#ifndef VKKRN_PORT_API_H
#define VKKRN_PORT_API_H

#include <vkcom/vizer.h>
#include <vkusb/vkusb.h>

#include <cstdint>

extern "C" {
typedef void (*VKTCP_EventCallback)(void* pAny, int socketHandle, int eventId, int value);
typedef struct _VKTCP_EVENT_INIT {
    void* pAny;
    uint32_t eventId;
    uint32_t reserved;
    uint32_t flag;
    VKTCP_EventCallback callback;
} _VKTCP_EVENT_INIT;
typedef int (*VKTCP_GetErrorText_Fn)(int code, char* text);
typedef int (*VKTCP_AddEventHandler_Fn)(int handle, _VKTCP_EVENT_INIT* record);
typedef int (*VKTCP_DelEventHandler_Fn)(int handle, _VKTCP_EVENT_INIT* record);
typedef int (*VKTCP_GetSocketPara_Fn)(int handle, const char* key, char* value);
typedef int (*VKTCP_SetSocketPara_Fn)(int handle, const char* key, const char* value);
#define VKTCP_EVENT_DISCONNECT 2
#define VKTCP_EVENT_FLAG_CONTEXT 3
}

namespace vkkrn {

using VIZER_GetErrorText_Fn = decltype(&::VIZER_GetErrorText);
using VIZER_GetPortPara_Fn = decltype(&::VIZER_GetPortPara);
using VIZER_SetPortPara_Fn = decltype(&::VIZER_SetPortPara);
using VKUSB_GetErrorText_Fn = decltype(&::VKUSB_GetErrorText);
using VKUSB_GetDevicePara_Fn = decltype(&::VKUSB_GetDevicePara);
using VKUSB_SetDevicePara_Fn = decltype(&::VKUSB_SetDevicePara);

// The address bound under `id` by the library's registry, or null.
void* boundPortFunction(int id);

// The bound function `id` as type Fn, or null.
template <typename Fn> Fn portFunction(int id) {
    return reinterpret_cast<Fn>(boundPortFunction(id));
}

} // namespace vkkrn

#endif

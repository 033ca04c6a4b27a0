// The exported interface: each function hands its arguments to the registry,
// which checks them, and never lets an exception out.
#include "error_codes.h"
#include "error_texts.h"
#include "vktcp_drv_hnd.h"

#include <vkcommon/export.h>
#include <vkcommon/guarded.h>

#include <vktcp.h>

#include <cstddef>

using vktcp::VKTCPDrvHnd;

static_assert(sizeof(void*) != 8 || sizeof(_VKTCP_EVENT_INIT) == 32, "handler record layout");
static_assert(sizeof(void*) != 8 || offsetof(_VKTCP_EVENT_INIT, callback) == 24, "handler record layout");

VK_EXTERN_C_BEGIN
VK_EXPORT char g_cVktcpErrorText[vktcp::kErrorTextBufferSize] = {};
VK_EXTERN_C_END
VK_EXPORT VKTCPDrvHnd g_LibVkTcpDrvHnd(g_cVktcpErrorText);

using vk::guarded;

VK_EXTERN_C_BEGIN

VK_EXPORT void VKTCP_GetDLLVersion(char* version) {
    guarded(0, [&] {
        g_LibVkTcpDrvHnd.GetDLLVersion(version);
        return 0;
    });
}

VK_EXPORT int VKTCP_GetErrorText(int code, char* text) {
    return guarded(vktcp::kErrUnknownCode, [&] { return g_LibVkTcpDrvHnd.GetErrorText(code, text); });
}

VK_EXPORT int VKTCP_GetLastError(int handle, int* code, char* text) {
    return guarded(vktcp::kErrUnknownCode, [&] { return g_LibVkTcpDrvHnd.GetLastError(handle, code, text); });
}

VK_EXPORT int VKTCP_AddEventHandler(int handle, _VKTCP_EVENT_INIT* record) {
    return guarded(vktcp::kErrNoMemory, [&] { return g_LibVkTcpDrvHnd.AddEventHandler(handle, record); });
}

VK_EXPORT int VKTCP_DelEventHandler(int handle, _VKTCP_EVENT_INIT* record) {
    return guarded(vktcp::kErrNoMemory, [&] { return g_LibVkTcpDrvHnd.DelEventHandler(handle, record); });
}

VK_EXPORT int VKTCP_Detect(const char* host, int port) {
    return guarded(vktcp::kErrCreateSocket, [&] { return g_LibVkTcpDrvHnd.Detect(host, port); });
}

VK_EXPORT int VKTCP_Connect(const char* host, int port) {
    return guarded(vktcp::kErrCreateSocket, [&] { return g_LibVkTcpDrvHnd.Connect(host, port); });
}

VK_EXPORT int VKTCP_DisConnect(int handle) {
    return guarded(vktcp::kErrClose, [&] { return g_LibVkTcpDrvHnd.DisConnect(handle); });
}

VK_EXPORT int VKTCP_GetSocketList(int handle) {
    return guarded(vktcp::kErrUnknownListHandle, [&] { return g_LibVkTcpDrvHnd.GetSocketList(handle); });
}

VK_EXPORT int VKTCP_GetSocketPara(int handle, const char* key, char* value) {
    return guarded(vktcp::kErrUnknownParameter,
                   [&] { return g_LibVkTcpDrvHnd.GetSocketPara(handle, key, value); });
}

VK_EXPORT int VKTCP_SetSocketPara(int handle, const char* key, const char* value) {
    return guarded(vktcp::kErrChangeParameter,
                   [&] { return g_LibVkTcpDrvHnd.SetSocketPara(handle, key, value); });
}

VK_EXPORT int VKTCP_GetSocketHnd(const char* host, int port) {
    return guarded(vktcp::kErrHandleNotFound, [&] { return g_LibVkTcpDrvHnd.GetSocketHnd(host, port); });
}

VK_EXPORT int VKTCP_Transceive(int handle, const uint8_t* request, int requestLength, uint8_t* reply,
                               int replySize) {
    return guarded(vktcp::kErrRead, [&] {
        return g_LibVkTcpDrvHnd.Transceive(handle, request, requestLength, reply, replySize);
    });
}

VK_EXPORT int VKTCP_Transmit(int handle, const uint8_t* data, int length) {
    return guarded(vktcp::kErrTransmit, [&] { return g_LibVkTcpDrvHnd.Transmit(handle, data, length); });
}

VK_EXPORT int VKTCP_Receive(int handle, uint8_t* buffer, int bufferSize) {
    return guarded(vktcp::kErrRead, [&] { return g_LibVkTcpDrvHnd.Receive(handle, buffer, bufferSize); });
}

VK_EXPORT int VKTCP_GetSocketState(const char* host, int port) {
    return guarded(0, [&] { return g_LibVkTcpDrvHnd.GetSocketState(host, port); });
}

VK_EXTERN_C_END

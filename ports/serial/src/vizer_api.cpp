// The exported functions: check the arguments in their order, find the port,
// call it, keep the last error; nothing thrown gets past them.
#include <vkcom/vizer.h>

#include "error_codes.h"
#include "vizer_drv_hnd.h"

#include <vkcommon/param_text.h>

#include <cstring>
#include <memory>

VIZER_API vkcom::VIZERDrvHnd g_LibVizerDrvHnd;

namespace {

using vkcom::VKPort;
using namespace vkcom;
using PortRef = std::shared_ptr<VKPort>;

VIZERDrvHnd& registry() {
    return g_LibVizerDrvHnd;
}

// Checks 1 to 6 of a function that takes a handle. `pointers` is false when a
// required pointer is null; `lengthZero` true when a transfer length is 0.
// Stores and returns the failure, or finds the port and clears the library's
// last error. The caller shares the port while it uses it.
int checkHandle(int handle, bool pointers, bool lengthZero, PortRef& port) {
    if (handle < 0) return registry().fail(kErrHandleNegative);
    if (handle == 0) return registry().fail(kErrHandleZero);
    if (!pointers) return registry().fail(kErrNullPointer);
    const VIZERDrvHnd::Lookup lookup = registry().find(handle);
    if (lookup.listEmpty) return registry().fail(kErrEmptyList);
    if (lengthZero) return registry().fail(kErrNoTransmitProtocol);
    if (lookup.port == nullptr) return registry().fail(kErrNoHandle);
    port = lookup.port;
    registry().setLastError(kOk);
    return kOk;
}

// Runs `body`, turning anything thrown into a stored code.
template <typename Body> int guarded(Body&& body) {
    try {
        return body();
    } catch (...) { // only an allocation can fail here
        return registry().fail(kErrNoMemory);
    }
}

// The parameter functions: library keys first, then the port.
template <typename PortCall>
int parameter(int handle, char* key, char* value, bool set, PortCall&& portCall) {
    if (handle < 0) return registry().fail(kErrHandleNegative);
    if (key == nullptr || value == nullptr) return registry().fail(kErrNullPointer);
    char upper[vk::kKeyBufferSize];
    if (!vk::upperCaseKey(key, upper)) return registry().fail(kErrOutOfRange);
    int result = 0;
    if (set ? registry().librarySet(upper, value, result) : registry().libraryGet(upper, value, result))
        return result;
    PortRef port;
    const int checked = checkHandle(handle, true, false, port);
    if (checked != kOk) return checked;
    return portCall(*port, upper);
}

} // namespace

extern "C" {

VIZER_API void VIZER_GetDLLVersion(char* version) {
    if (version == nullptr) {
        registry().setLastError(kErrNullPointer);
        return;
    }
    std::strcpy(version, "03.01.00");
}

VIZER_API int VIZER_GetErrorText(int code, char* text) {
    return guarded([&] { return registry().GetErrorText(code, text); });
}

VIZER_API int VIZER_GetLastError(int handle, int* code, char* text) {
    return guarded([&] { return registry().GetLastError(handle, code, text); });
}

VIZER_API int VIZER_DetectPort(int portNumber) {
    return guarded([&] { return registry().DetectPort(portNumber); });
}

VIZER_API int VIZER_AddEventHandler(int handle, _VIZER_EVENT_INIT* record) {
    return guarded([&] {
        PortRef port;
        const int checked = checkHandle(handle, true, false, port);
        return checked != kOk ? checked : port->AddEventHandler(record);
    });
}

VIZER_API int VIZER_DelEventHandler(int handle, _VIZER_EVENT_INIT* record) {
    return guarded([&] {
        PortRef port;
        const int checked = checkHandle(handle, true, false, port);
        return checked != kOk ? checked : port->DelEventHandler(record);
    });
}

VIZER_API int VIZER_OpenPort(char* portNumber) {
    return guarded([&] { return registry().OpenPort(portNumber); });
}

VIZER_API int VIZER_ClosePort(int handle) {
    return guarded([&] {
        if (handle < 0) return registry().fail(kErrHandleNegative);
        if (handle == 0) return registry().fail(kErrHandleZero);
        return registry().ClosePort(handle);
    });
}

VIZER_API int VIZER_GetPortList(int handle) {
    return guarded([&] { return registry().GetPortList(handle); });
}

VIZER_API int VIZER_GetPortPara(int handle, char* key, char* value) {
    return guarded([&] {
        return parameter(handle, key, value, false,
                         [value](VKPort& port, const char* upper) { return port.GetPortPara(upper, value); });
    });
}

VIZER_API int VIZER_SetPortPara(int handle, char* key, char* value) {
    return guarded([&] {
        return parameter(handle, key, value, true,
                         [value](VKPort& port, const char* upper) { return port.SetPortPara(upper, value); });
    });
}

VIZER_API int VIZER_DoPortCmd(int handle, char* command, char* value) {
    return guarded([&] {
        PortRef port;
        const int checked = checkHandle(handle, command != nullptr && value != nullptr, false, port);
        return checked != kOk ? checked : port->DoPortCmd(command, value);
    });
}

VIZER_API int VIZER_GetPortHnd(char* portNumber) {
    return guarded([&] { return registry().GetPortHnd(portNumber); });
}

VIZER_API int VIZER_Transceive(int handle, uint8_t* request, int requestLength, uint8_t* reply,
                               int replySize) {
    return guarded([&] {
        PortRef port;
        const int checked =
            checkHandle(handle, request != nullptr && reply != nullptr, requestLength == 0, port);
        return checked != kOk ? checked : port->Transceive(request, requestLength, reply, replySize);
    });
}

VIZER_API int VIZER_Transmit(int handle, uint8_t* data, int length) {
    return guarded([&] {
        PortRef port;
        const int checked = checkHandle(handle, data != nullptr, length == 0, port);
        return checked != kOk ? checked : port->Transmit(data, length);
    });
}

VIZER_API int VIZER_Receive(int handle, uint8_t* buffer, int bufferSize) {
    return guarded([&] {
        PortRef port;
        const int checked = checkHandle(handle, buffer != nullptr, false, port);
        return checked != kOk ? checked : port->Receive(buffer, bufferSize);
    });
}

} // extern "C"

VIZER_API int VIZER_AddEventHandlerEx(int handle, _VIZER_INTERNAL_EVENT_INIT* record) {
    return guarded([&] {
        PortRef port;
        const int checked = checkHandle(handle, true, false, port);
        return checked != kOk ? checked : port->AddEventHandlerEx(record);
    });
}

VIZER_API int VIZER_DelEventHandlerEx(int handle, _VIZER_INTERNAL_EVENT_INIT* record) {
    return guarded([&] {
        PortRef port;
        const int checked = checkHandle(handle, true, false, port);
        return checked != kOk ? checked : port->DelEventHandlerEx(record);
    });
}

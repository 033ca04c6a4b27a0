#include "vizer_api.h"

#include <dlfcn.h>

#include <string>

namespace vkcom_test {

namespace {

template <typename Function> void bind(void* library, Function& slot, const char* name) {
    slot = reinterpret_cast<Function>(::dlsym(library, name));
}

} // namespace

bool VizerApi::complete() const {
    return GetDLLVersion && GetErrorText && GetLastError && DetectPort && AddEventHandler &&
           DelEventHandler && OpenPort && ClosePort && GetPortList && GetPortPara && SetPortPara &&
           DoPortCmd && GetPortHnd && Transceive && Transmit && Receive && AddEventHandlerEx &&
           DelEventHandlerEx;
}

int VizerApi::libraryError() const {
    int code = 0;
    char text[128];
    GetLastError(0, &code, text);
    return code;
}

int VizerApi::setText(int handle, const char* key, const char* value) const {
    std::string k(key), v(value);
    return SetPortPara(handle, k.data(), v.data());
}

std::string VizerApi::get(int handle, const char* key, int* result) const {
    std::string k(key);
    char value[512] = {};
    const int r = GetPortPara(handle, k.data(), value);
    if (result != nullptr) *result = r;
    return r == 0 ? std::string(value) : std::string();
}

VizerApi loadVizerApi(void* library) {
    VizerApi api;
    bind(library, api.GetDLLVersion, "VIZER_GetDLLVersion");
    bind(library, api.GetErrorText, "VIZER_GetErrorText");
    bind(library, api.GetLastError, "VIZER_GetLastError");
    bind(library, api.DetectPort, "VIZER_DetectPort");
    bind(library, api.AddEventHandler, "VIZER_AddEventHandler");
    bind(library, api.DelEventHandler, "VIZER_DelEventHandler");
    bind(library, api.OpenPort, "VIZER_OpenPort");
    bind(library, api.ClosePort, "VIZER_ClosePort");
    bind(library, api.GetPortList, "VIZER_GetPortList");
    bind(library, api.GetPortPara, "VIZER_GetPortPara");
    bind(library, api.SetPortPara, "VIZER_SetPortPara");
    bind(library, api.DoPortCmd, "VIZER_DoPortCmd");
    bind(library, api.GetPortHnd, "VIZER_GetPortHnd");
    bind(library, api.Transceive, "VIZER_Transceive");
    bind(library, api.Transmit, "VIZER_Transmit");
    bind(library, api.Receive, "VIZER_Receive");
    bind(library, api.AddEventHandlerEx, "_Z23VIZER_AddEventHandlerExiP26_VIZER_INTERNAL_EVENT_INIT");
    bind(library, api.DelEventHandlerEx, "_Z23VIZER_DelEventHandlerExiP26_VIZER_INTERNAL_EVENT_INIT");
    return api;
}

} // namespace vkcom_test

#include "vkusb_api.h"

#include <dlfcn.h>

#include <array>

namespace vkusbtest {

namespace {

template <typename Pointer> bool bind(void* library, const char* name, Pointer& out, std::string& missing) {
    out = reinterpret_cast<Pointer>(dlsym(library, name));
    if (out == nullptr) missing += std::string(" ") + name;
    return out != nullptr;
}

} // namespace

int VkUsbApi::lastError() const {
    int code = 0;
    char text[256];
    GetLastError(0, &code, text);
    return code;
}

std::string VkUsbApi::para(int handle, const char* key, int* result) const {
    char value[256] = "untouched";
    const int r = GetDevicePara(handle, const_cast<char*>(key), value);
    if (result != nullptr) *result = r;
    return value;
}

std::string VkUsbApi::scanListPara(int index, const char* key, int* result) const {
    char value[256] = "untouched";
    const int r = GetScanListPara(index, const_cast<char*>(key), value);
    if (result != nullptr) *result = r;
    return value;
}

int VkUsbApi::setPara(int handle, const char* key, const char* value) const {
    return SetDevicePara(handle, const_cast<char*>(key), const_cast<char*>(value));
}

std::string loadApi(const char* file, VkUsbApi& api) {
    api = VkUsbApi{};
    api.library = dlopen(file, RTLD_NOW | RTLD_LOCAL);
    if (api.library == nullptr) return std::string("dlopen: ") + dlerror();
    std::string missing;
    void* l = api.library;
    bind(l, "VKUSB_GetDLLVersion", api.GetDLLVersion, missing);
    bind(l, "VKUSB_GetErrorText", api.GetErrorText, missing);
    bind(l, "VKUSB_GetLastError", api.GetLastError, missing);
    bind(l, "VKUSB_GetDrvVersion", api.GetDrvVersion, missing);
    bind(l, "VKUSB_Scan", api.Scan, missing);
    bind(l, "VKUSB_ScanAndOpen", api.ScanAndOpen, missing);
    bind(l, "VKUSB_GetScanListPara", api.GetScanListPara, missing);
    bind(l, "VKUSB_GetScanListSize", api.GetScanListSize, missing);
    bind(l, "VKUSB_ClearScanList", api.ClearScanList, missing);
    bind(l, "VKUSB_AddEventHandler", api.AddEventHandler, missing);
    bind(l, "VKUSB_DelEventHandler", api.DelEventHandler, missing);
    bind(l, "VKUSB_OpenDevice", api.OpenDevice, missing);
    bind(l, "VKUSB_CloseDevice", api.CloseDevice, missing);
    bind(l, "VKUSB_IsDevicePresent", api.IsDevicePresent, missing);
    bind(l, "VKUSB_GetDeviceList", api.GetDeviceList, missing);
    bind(l, "VKUSB_GetDevicePara", api.GetDevicePara, missing);
    bind(l, "VKUSB_SetDevicePara", api.SetDevicePara, missing);
    bind(l, "VKUSB_GetDeviceHnd", api.GetDeviceHnd, missing);
    bind(l, "VKUSB_Transceive", api.Transceive, missing);
    bind(l, "VKUSB_Transmit", api.Transmit, missing);
    bind(l, "VKUSB_Receive", api.Receive, missing);
    bind(l, "VKLOG_SetLevel", api.SetLevel, missing);
    bind(l, "VKLOG_Level", api.Level, missing);
    bind(l, "VKLOG_Msg", api.Msg, missing);
    bind(l, "g_cVkusbErrorText", api.errorText, missing);
    bind(l, "g_bVkUsbAndroidUnroot", api.androidUnroot, missing);
    bind(l, "g_jvm", api.jvm, missing);
    if (!missing.empty()) return "unbound:" + missing;
    return {};
}

std::string unloadApi(const char* file, VkUsbApi& api) {
    if (api.library == nullptr) return {};
    const int closed = dlclose(api.library);
    api = VkUsbApi{};
    if (closed != 0) return std::string("dlclose: ") + dlerror();
    if (void* still = dlopen(file, RTLD_NOW | RTLD_NOLOAD)) {
        dlclose(still);
        return std::string(file) + " is still loaded after dlclose";
    }
    return {};
}

} // namespace vkusbtest

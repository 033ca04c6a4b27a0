// The flat interface of a libvkusb build, bound at run time by name as its
// callers bind it.
#ifndef VKUSB_TESTS_VKUSB_API_H
#define VKUSB_TESTS_VKUSB_API_H

#include <vkusb/vkusb.h>

#include <string>

namespace vkusbtest {

struct VkUsbApi {
    void* library = nullptr;
    decltype(&VKUSB_GetDLLVersion) GetDLLVersion = nullptr;
    decltype(&VKUSB_GetErrorText) GetErrorText = nullptr;
    decltype(&VKUSB_GetLastError) GetLastError = nullptr;
    decltype(&VKUSB_GetDrvVersion) GetDrvVersion = nullptr;
    decltype(&VKUSB_Scan) Scan = nullptr;
    decltype(&VKUSB_ScanAndOpen) ScanAndOpen = nullptr;
    decltype(&VKUSB_GetScanListPara) GetScanListPara = nullptr;
    decltype(&VKUSB_GetScanListSize) GetScanListSize = nullptr;
    decltype(&VKUSB_ClearScanList) ClearScanList = nullptr;
    decltype(&VKUSB_AddEventHandler) AddEventHandler = nullptr;
    decltype(&VKUSB_DelEventHandler) DelEventHandler = nullptr;
    decltype(&VKUSB_OpenDevice) OpenDevice = nullptr;
    decltype(&VKUSB_CloseDevice) CloseDevice = nullptr;
    decltype(&VKUSB_IsDevicePresent) IsDevicePresent = nullptr;
    decltype(&VKUSB_GetDeviceList) GetDeviceList = nullptr;
    decltype(&VKUSB_GetDevicePara) GetDevicePara = nullptr;
    decltype(&VKUSB_SetDevicePara) SetDevicePara = nullptr;
    decltype(&VKUSB_GetDeviceHnd) GetDeviceHnd = nullptr;
    decltype(&VKUSB_Transceive) Transceive = nullptr;
    decltype(&VKUSB_Transmit) Transmit = nullptr;
    decltype(&VKUSB_Receive) Receive = nullptr;
    decltype(&VKLOG_SetLevel) SetLevel = nullptr;
    decltype(&VKLOG_Level) Level = nullptr;
    decltype(&VKLOG_Msg) Msg = nullptr;
    char* errorText = nullptr; // g_cVkusbErrorText
    bool* androidUnroot = nullptr;
    void** jvm = nullptr;

    // The library's last error (VKUSB_GetLastError with handle 0).
    int lastError() const;
    // Device parameter as text; `result` receives the function's result.
    std::string para(int handle, const char* key, int* result = nullptr) const;
    std::string scanListPara(int index, const char* key, int* result = nullptr) const;
    int setPara(int handle, const char* key, const char* value) const;
};

// dlopen()s `file` (found through LD_LIBRARY_PATH) and binds every name; returns
// an error text, empty on success.
std::string loadApi(const char* file, VkUsbApi& api);
// dlclose()s the library; an error text, empty when it is really unloaded.
std::string unloadApi(const char* file, VkUsbApi& api);

} // namespace vkusbtest

#endif

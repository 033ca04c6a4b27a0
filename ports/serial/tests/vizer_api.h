// The library's functions as a table, filled either by dlsym from the loaded
// libvkcom.so (black-box tests) or from the linked core (core tests), so that
// helpers serve both programs.
#ifndef VKCOM_TESTS_VIZER_API_H
#define VKCOM_TESTS_VIZER_API_H

#include <vkcom/vizer.h>

#include <string>

namespace vkcom_test {

struct VizerApi {
    decltype(&VIZER_GetDLLVersion) GetDLLVersion = nullptr;
    decltype(&VIZER_GetErrorText) GetErrorText = nullptr;
    decltype(&VIZER_GetLastError) GetLastError = nullptr;
    decltype(&VIZER_DetectPort) DetectPort = nullptr;
    decltype(&VIZER_AddEventHandler) AddEventHandler = nullptr;
    decltype(&VIZER_DelEventHandler) DelEventHandler = nullptr;
    decltype(&VIZER_OpenPort) OpenPort = nullptr;
    decltype(&VIZER_ClosePort) ClosePort = nullptr;
    decltype(&VIZER_GetPortList) GetPortList = nullptr;
    decltype(&VIZER_GetPortPara) GetPortPara = nullptr;
    decltype(&VIZER_SetPortPara) SetPortPara = nullptr;
    decltype(&VIZER_DoPortCmd) DoPortCmd = nullptr;
    decltype(&VIZER_GetPortHnd) GetPortHnd = nullptr;
    decltype(&VIZER_Transceive) Transceive = nullptr;
    decltype(&VIZER_Transmit) Transmit = nullptr;
    decltype(&VIZER_Receive) Receive = nullptr;
    int (*AddEventHandlerEx)(int, _VIZER_INTERNAL_EVENT_INIT*) = nullptr;
    int (*DelEventHandlerEx)(int, _VIZER_INTERNAL_EVENT_INIT*) = nullptr;

    // Every entry bound.
    bool complete() const;
    // The library's last error (GetLastError with handle 0 clears it: this
    // reads it through a throw-away text buffer and returns the code).
    int libraryError() const;
    int setText(int handle, const char* key, const char* value) const;
    // Reads a parameter; "" with the code in `result` on failure.
    std::string get(int handle, const char* key, int* result = nullptr) const;
};

// Fills the table from a library opened with dlopen.
VizerApi loadVizerApi(void* library);

} // namespace vkcom_test

#endif

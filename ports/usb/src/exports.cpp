// The flat interface: check the arguments in order, call the registry, store
// the result as the library's last error. No exception leaves a function.
#include "drv_hnd.h"
#include "error_text.h"
#include "event_handlers.h"

#include <vkusb/vkusb.h>

#include <cstring>
#include <new>
#include <system_error>

using vkusb::g_VkUsbMan;

namespace {

int store(int code) {
    g_VkUsbMan.SetLastError(code);
    return code;
}

// Stores a negative result; a count, index or handle leaves the last error at 0.
int storeFailure(int result) {
    g_VkUsbMan.SetLastError(result < 0 ? result : vkusb::kOk);
    return result;
}

template <typename Body> int guarded(Body&& body) {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return store(-1103);
    } catch (...) {
        return store(-1105);
    }
}

// Checks of the per-device transfer functions, in their order: handle, pointers.
int checkHandle(int handle) {
    if (handle < 0) return vkusb::kErrHandleNegative;
    if (handle == 0) return vkusb::kErrHandleNull;
    return vkusb::kOk;
}

} // namespace

void VKUSB_GetDLLVersion(char* text) {
    if (text == nullptr) {
        store(vkusb::kErrNullPointer);
        return;
    }
    std::strcpy(text, VKUSB_DLL_VERSION);
}

int VKUSB_GetErrorText(int code, char* text) {
    if (text == nullptr) return store(vkusb::kErrNullPointer);
    store(vkusb::kOk);
    return store(vkusb::copyErrorText(code, text));
}

int VKUSB_GetLastError(int handle, int* code, char* text) {
    if (code == nullptr) return store(vkusb::kErrNullPointer);
    return guarded([&] {
        *code = handle == 0 ? g_VkUsbMan.LastError() : g_VkUsbMan.GetDeviceLastError(handle);
        return VKUSB_GetErrorText(*code, text);
    });
}

int VKUSB_GetDrvVersion(char* /*text*/) {
    return store(vkusb::kErrUnsupportedMethod);
}

int VKUSB_Scan(int option, _VKUSB_SCANSEARCH* filter) {
    store(vkusb::kOk);
    return guarded([&] { return storeFailure(g_VkUsbMan.Scan(option, filter, false)); });
}

int VKUSB_ScanAndOpen(int option, _VKUSB_SCANSEARCH* filter) {
    store(vkusb::kOk);
    return guarded([&] { return storeFailure(g_VkUsbMan.Scan(option, filter, true)); });
}

int VKUSB_GetScanListPara(int index, char* key, char* value) {
    if (key == nullptr || value == nullptr) return store(vkusb::kErrNullPointer);
    store(vkusb::kOk);
    return guarded([&] { return store(g_VkUsbMan.GetScanListPara(index, key, value)); });
}

int VKUSB_GetScanListSize(void) {
    store(vkusb::kOk);
    return guarded([] { return g_VkUsbMan.GetScanListSize(); });
}

int VKUSB_ClearScanList(void) {
    store(vkusb::kOk);
    return guarded([] { return store(g_VkUsbMan.ClearScanList()); });
}

int VKUSB_AddEventHandler(int handle, _VKUSB_EVENT_INIT* init) {
    if (init == nullptr) return store(vkusb::kErrNullPointer);
    store(vkusb::kOk);
    if (handle != 0) return store(vkusb::kErrUnsupportedOption);
    return guarded([&] { return store(vkusb::addEventHandler(*init)); });
}

int VKUSB_DelEventHandler(int handle, _VKUSB_EVENT_INIT* init) {
    if (init == nullptr) return store(vkusb::kErrNullPointer);
    store(vkusb::kOk);
    if (handle != 0) return store(vkusb::kErrUnsupportedOption);
    return guarded([&] { return store(vkusb::delEventHandler(*init)); });
}

int VKUSB_OpenDevice(uint32_t deviceId) {
    return guarded([&] { return storeFailure(g_VkUsbMan.OpenDevice(deviceId)); });
}

int VKUSB_CloseDevice(int handle) {
    if (const int check = checkHandle(handle)) return store(check);
    return guarded([&] { return store(g_VkUsbMan.CloseDevice(handle)); });
}

int VKUSB_IsDevicePresent(int handle) {
    if (const int check = checkHandle(handle)) return store(check);
    return guarded([&] { return storeFailure(g_VkUsbMan.IsDevicePresent(handle)); });
}

int VKUSB_GetDeviceList(int handle) {
    return guarded([&] { return storeFailure(g_VkUsbMan.GetDeviceList(handle)); });
}

int VKUSB_GetDevicePara(int handle, char* key, char* value) {
    if (handle < -1) return store(vkusb::kErrHandleNegative);
    if (key == nullptr || value == nullptr) return store(vkusb::kErrNullPointer);
    return guarded([&] { return store(g_VkUsbMan.GetDevicePara(handle, key, value)); });
}

int VKUSB_SetDevicePara(int handle, char* key, char* value) {
    if (handle < -1) return store(vkusb::kErrHandleNegative);
    if (key == nullptr || value == nullptr) return store(vkusb::kErrNullPointer);
    return guarded([&] { return store(g_VkUsbMan.SetDevicePara(handle, key, value)); });
}

int VKUSB_GetDeviceHnd(uint32_t deviceId) {
    return guarded([&] { return storeFailure(g_VkUsbMan.GetDeviceHnd(deviceId)); });
}

int VKUSB_Transceive(int handle, char* interfaceName, int /*mode*/, uint8_t* tx, int txLength, uint8_t* rx,
                     int rxLength) {
    if (const int check = checkHandle(handle)) return store(check);
    if (interfaceName == nullptr || tx == nullptr || rx == nullptr) return store(vkusb::kErrNullPointer);
    if (txLength <= 0) return store(vkusb::kErrNoSendData);
    if (rxLength <= 0) return store(vkusb::kErrReceiveBufferTooSmall);
    return guarded([&] {
        return storeFailure(g_VkUsbMan.Transceive(handle, interfaceName, tx, txLength, rx, rxLength));
    });
}

int VKUSB_Transmit(int handle, char* interfaceName, uint8_t* tx, int length) {
    if (const int check = checkHandle(handle)) return store(check);
    if (interfaceName == nullptr || tx == nullptr) return store(vkusb::kErrNullPointer);
    if (length <= 0) return store(vkusb::kErrNoSendData);
    return guarded([&] { return store(g_VkUsbMan.Transmit(handle, interfaceName, tx, length)); });
}

int VKUSB_Receive(int handle, char* interfaceName, uint8_t* rx, int length) {
    if (const int check = checkHandle(handle)) return store(check);
    if (interfaceName == nullptr || rx == nullptr) return store(vkusb::kErrNullPointer);
    if (length <= 0) return store(vkusb::kErrReceiveBufferTooSmall);
    // The byte count of a successful read becomes the last error as well.
    return guarded([&] { return store(g_VkUsbMan.Receive(handle, interfaceName, rx, length)); });
}

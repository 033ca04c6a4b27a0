// A stand-in "libvkusb.so" for the reader's USB generation test: the device name
// query gives a scripted name or a scripted failure. Built also without
// VKUSB_GetDevicePara (WITHOUT_GET_DEVICE_PARA).
#include <vkusb/vkusb.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>

#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

struct UsbScript {
    std::mutex mutex;
    std::string deviceName = "ID KRN.MAX-U";
    int failure = 0; // non-zero: the query returns it
    int queries = 0;
    int lastHandle = 0;
    std::string timeout = "3000";
};

UsbScript& script() {
    static UsbScript s;
    return s;
}

// A port library may upper-case the key in place: writing to a read-only key
// faults here as it would there.
void touchKey(char* key) {
    volatile char* k = key;
    k[0] = k[0];
}

} // namespace

FAKE_EXPORT void FAKE_UsbScript(const char* deviceName, int failure) {
    std::lock_guard<std::mutex> lock(script().mutex);
    script().deviceName = deviceName;
    script().failure = failure;
}

FAKE_EXPORT int FAKE_UsbQueries() {
    std::lock_guard<std::mutex> lock(script().mutex);
    return script().queries;
}

FAKE_EXPORT int FAKE_UsbLastHandle() {
    std::lock_guard<std::mutex> lock(script().mutex);
    return script().lastHandle;
}

#ifndef WITHOUT_GET_DEVICE_PARA
FAKE_EXPORT int VKUSB_GetDevicePara(int handle, char* key, char* value) {
    touchKey(key);
    std::lock_guard<std::mutex> lock(script().mutex);
    script().lastHandle = handle;
    if (std::strcmp(key, "DeviceName") == 0) {
        ++script().queries;
        if (script().failure != 0) return script().failure;
        std::strcpy(value, script().deviceName.c_str());
        return 0;
    }
    if (std::strcmp(key, "Timeout") == 0) {
        std::strcpy(value, script().timeout.c_str());
        return 0;
    }
    return -1150;
}
#endif

FAKE_EXPORT int VKUSB_SetDevicePara(int handle, char* key, char* value) {
    touchKey(key);
    std::lock_guard<std::mutex> lock(script().mutex);
    script().lastHandle = handle;
    if (std::strcmp(key, "Timeout") != 0) return -1150;
    script().timeout = value;
    return 0;
}

FAKE_EXPORT int VKUSB_GetErrorText(int code, char* text) {
    std::sprintf(text, "FAKEUSB: (%d)", code);
    return 0;
}

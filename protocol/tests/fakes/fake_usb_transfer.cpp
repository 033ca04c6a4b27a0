// A stand-in "libvkusb.so" for the USB plug-ins: a device whose name the test
// scripts (and so the reader's USB generation), that records every transfer
// (interface, mode, bytes) and answers with scripted replies. A transfer can be
// held in the stand-in until the test releases it.
#include <vkusb/vkusb.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

struct Transfer {
    std::string interfaceName;
    int mode = -1; // -1: a transmit or receive
    std::vector<std::uint8_t> bytes;
};

struct Reply {
    int result = 0;
    std::vector<std::uint8_t> bytes;
};

struct Device {
    std::mutex mutex;
    std::string name = "ID KRN.GWT473-U";
    std::string timeout = "3000";
    int timeoutReadResult = 0;  // not 0: reading "Timeout" fails with it
    int timeoutWriteResult = 0; // not 0: setting "Timeout" fails with it
    std::vector<Transfer> transfers;
    std::deque<Reply> replies;
    std::condition_variable changed;
    bool holdNext = false;             // the next transfer waits for FAKE_UsbRelease
    bool holding = false;              // a transfer waits now
    std::vector<std::string> settings; // "key=value" of every VKUSB_SetDevicePara
};

Device& device() {
    static Device d;
    return d;
}

// The next scripted reply into rx (a result of 0 when none is queued).
int answer(std::uint8_t* rx, int size) {
    Device& d = device();
    if (d.replies.empty()) return 0;
    Reply reply = std::move(d.replies.front());
    d.replies.pop_front();
    const std::size_t n = std::min(reply.bytes.size(), static_cast<std::size_t>(size > 0 ? size : 0));
    if (n > 0) std::memcpy(rx, reply.bytes.data(), n);
    return reply.result;
}

} // namespace

FAKE_EXPORT void FAKE_UsbSetName(const char* name) {
    std::lock_guard<std::mutex> lock(device().mutex);
    device().name = name;
}

// Queues a reply: `result` is returned, `n` bytes written to the reply buffer.
FAKE_EXPORT void FAKE_UsbQueueReply(int result, const std::uint8_t* bytes, int n) {
    std::lock_guard<std::mutex> lock(device().mutex);
    device().replies.push_back({result, std::vector<std::uint8_t>(bytes, bytes + n)});
}

FAKE_EXPORT void FAKE_UsbReset() {
    std::lock_guard<std::mutex> lock(device().mutex);
    device().transfers.clear();
    device().replies.clear();
    device().holdNext = false;
    device().timeout = "3000";
    device().timeoutReadResult = 0;
    device().timeoutWriteResult = 0;
    device().settings.clear();
}

// Makes reading and setting "Timeout" fail with these results (0: they work).
FAKE_EXPORT void FAKE_UsbFailTimeout(int readResult, int writeResult) {
    std::lock_guard<std::mutex> lock(device().mutex);
    device().timeoutReadResult = readResult;
    device().timeoutWriteResult = writeResult;
}

// The values "Timeout" was set to, in order, each ended by '\n', into `out` (`size` bytes).
FAKE_EXPORT void FAKE_UsbTimeoutsSet(char* out, int size) {
    std::lock_guard<std::mutex> lock(device().mutex);
    std::string all;
    const std::string key = "Timeout=";
    for (const std::string& line : device().settings) {
        if (line.compare(0, key.size(), key) == 0) all += line.substr(key.size()) + "\n";
    }
    std::snprintf(out, static_cast<std::size_t>(size), "%s", all.c_str());
}

// The next transfer is recorded, then waits until FAKE_UsbRelease.
FAKE_EXPORT void FAKE_UsbHoldNext() {
    std::lock_guard<std::mutex> lock(device().mutex);
    device().holdNext = true;
}

// 1 once a transfer is held, 0 when none is after `ms` milliseconds.
FAKE_EXPORT int FAKE_UsbWaitHeld(int ms) {
    std::unique_lock<std::mutex> lock(device().mutex);
    return device().changed.wait_for(lock, std::chrono::milliseconds(ms), [] { return device().holding; })
               ? 1
               : 0;
}

FAKE_EXPORT void FAKE_UsbRelease() {
    std::lock_guard<std::mutex> lock(device().mutex);
    device().holdNext = false;
    device().holding = false;
    device().changed.notify_all();
}

// The VKUSB_SetDevicePara calls so far, as "key=value" lines.
FAKE_EXPORT int FAKE_UsbSettings(char* out, int size) {
    std::lock_guard<std::mutex> lock(device().mutex);
    std::string all;
    for (const std::string& line : device().settings)
        all += line + "\n";
    std::snprintf(out, static_cast<std::size_t>(size), "%s", all.c_str());
    return static_cast<int>(device().settings.size());
}

FAKE_EXPORT int FAKE_UsbTransferCount() {
    std::lock_guard<std::mutex> lock(device().mutex);
    return static_cast<int>(device().transfers.size());
}

// Transfer i: its interface name (64 bytes) and mode; returns its byte count and
// copies up to `size` bytes.
FAKE_EXPORT int FAKE_UsbTransfer(int i, char* interfaceName, int* mode, std::uint8_t* bytes, int size) {
    std::lock_guard<std::mutex> lock(device().mutex);
    const Transfer& t = device().transfers.at(static_cast<std::size_t>(i));
    std::snprintf(interfaceName, 64, "%s", t.interfaceName.c_str());
    *mode = t.mode;
    std::memcpy(bytes, t.bytes.data(), std::min(t.bytes.size(), static_cast<std::size_t>(size)));
    return static_cast<int>(t.bytes.size());
}

FAKE_EXPORT int VKUSB_GetDevicePara(int /*handle*/, char* key, char* value) {
    std::lock_guard<std::mutex> lock(device().mutex);
    if (std::strcmp(key, "DeviceName") == 0) {
        std::strcpy(value, device().name.c_str());
        return 0;
    }
    if (std::strcmp(key, "Timeout") == 0) {
        if (device().timeoutReadResult != 0) return device().timeoutReadResult;
        std::strcpy(value, device().timeout.c_str());
        return 0;
    }
    return -1150;
}

FAKE_EXPORT int VKUSB_SetDevicePara(int /*handle*/, char* key, char* value) {
    std::lock_guard<std::mutex> lock(device().mutex);
    device().settings.push_back(std::string(key) + "=" + value);
    if (std::strcmp(key, "ResetPipe") == 0) return 0;
    if (std::strcmp(key, "Timeout") != 0) return -1150;
    if (device().timeoutWriteResult != 0) return device().timeoutWriteResult;
    device().timeout = value;
    return 0;
}

FAKE_EXPORT int VKUSB_GetErrorText(int code, char* text) {
    std::snprintf(text, 64, "VKUSB: (%d) fake", code);
    return 0;
}

FAKE_EXPORT int VKUSB_Transceive(int /*handle*/, char* interfaceName, int mode, std::uint8_t* tx,
                                 int txLength, std::uint8_t* rx, int rxSize) {
    std::unique_lock<std::mutex> lock(device().mutex);
    Device& d = device();
    d.transfers.push_back({interfaceName, mode, std::vector<std::uint8_t>(tx, tx + txLength)});
    if (d.holdNext) {
        d.holdNext = false;
        d.holding = true;
        d.changed.notify_all();
        d.changed.wait(lock, [&d] { return !d.holding; });
    }
    return answer(rx, rxSize);
}

FAKE_EXPORT int VKUSB_Transmit(int /*handle*/, char* interfaceName, std::uint8_t* tx, int length) {
    std::lock_guard<std::mutex> lock(device().mutex);
    device().transfers.push_back({interfaceName, -1, std::vector<std::uint8_t>(tx, tx + length)});
    return 0;
}

FAKE_EXPORT int VKUSB_Receive(int /*handle*/, char* interfaceName, std::uint8_t* rx, int length) {
    std::lock_guard<std::mutex> lock(device().mutex);
    device().transfers.push_back({interfaceName, -1, {}});
    return answer(rx, length);
}

// The reader's text parameters (keys arrive upper-cased) and the port
// parameters it passes on to its port library. Parameters take neither the
// command lock nor the event-list lock, except PORTHND, which replaces the port
// plug-in and so waits for a running command.
#include "exchange/port_para_call.h"
#include "exchange/port_para_ids.h"
#include "reader/reader.h"
#include "texts/error_codes.h"
#include "texts/error_texts.h"
#include "texts/text_writer.h"

#include <vkcommon/param_text.h>
#include <vkcommon/port_handle.h>

#include <cstdio>
#include <cstring>
#include <limits>
#include <string_view>

namespace {

using namespace vkkrn;

// Longest LOGFILENAME and FRAMESUPPORT value.
constexpr std::size_t kLongValue = 256;
// Room for a port parameter key or value passed on (the port libraries take
// less).
constexpr std::size_t kPortValueSize = 512;

int readInt(const char* text) {
    const std::int64_t v = vk::readSaturated(text);
    if (v > std::numeric_limits<int>::max()) return std::numeric_limits<int>::max();
    if (v < std::numeric_limits<int>::min()) return std::numeric_limits<int>::min();
    return static_cast<int>(v);
}

// A switch is on only when its value reads as 1.
unsigned char readSwitch(const char* text) {
    return readInt(text) == 1 ? 1 : 0;
}

void writeInt(char* out, int value) {
    std::snprintf(out, 16, "%d", value);
}

void writeText(char* out, std::string_view text) {
    std::memcpy(out, text.data(), text.size());
    out[text.size()] = '\0';
}

} // namespace

std::atomic<unsigned char>* VKKRNReader::switchOf(std::string_view key) {
    if (key == "LOGPROT") return &logProtFlag_;
    if (key == "LOGFILE") return &logFileFlag_;
    if (key == "SENDPROTTOAPP") return &sendProtToAppFlag_;
    if (key == "CHKRECBUSADR") return &chkRecBusAdrFlag_;
    if (key == "CONVHEXTOSTRING") return &convHexToStringFlag_;
    return nullptr;
}

int VKKRNReader::SetReaderPara(const char* key, const char* value) {
    const std::string_view k(key);
    if (auto* flag = switchOf(k)) {
        flag->store(readSwitch(value));
        return 0;
    }
    if (k == "PORTHND") return storeResult(setPortHandle(readInt(value)));
    if (k == "LOGLEVEL") {
        const int level = readInt(value);
        if (level < 0) return storeResult(kErrOutOfRange);
        logLevel_.store(level);
        return storeResult(0);
    }
    if (k == "BUSYTO" || k == "REPCNT") {
        const bool busy = k == "BUSYTO";
        const int v = readInt(value);
        if (busy ? (v < 0 || v > 60) : (v < 1 || v > 99)) return storeResult(kErrOutOfRange);
        (busy ? busyTimeout_ : repeatCount_).store(v);
        return storeResult(0);
    }
    if (k == "LOGFILENAME") {
        const std::size_t n = vk::boundedLength(value, kLongValue + 1);
        if (n > kLongValue) return storeResult(kErrOutOfRange);
        std::lock_guard<std::mutex> lock(captureMutex_);
        std::memcpy(logFileName_, value, n);
        logFileName_[n] = '\0';
        return 0;
    }
    if (k == "FRAMESUPPORT") return setFrameSupport(value);
    return storeResult(kErrUnknownParameter);
}

int VKKRNReader::setFrameSupport(const char* value) {
    const std::size_t n = vk::boundedLength(value, kLongValue + 1);
    if (n > kLongValue) return storeResult(kErrOutOfRange);
    if (IsFrameLocked()) return storeResult(kErrLocked);
    char upper[kLongValue + 1];
    for (std::size_t i = 0; i < n; ++i)
        upper[i] = (value[i] >= 'a' && value[i] <= 'z') ? static_cast<char>(value[i] - 'a' + 'A') : value[i];
    const std::string_view v(upper, n);
    int mode;
    if (v == "STANDARD")
        mode = 1;
    else if (v == "ADVANCED")
        mode = 2;
    else
        return storeResult(kErrUnknownParameter);
    // Mode and lock change together: a lock set since the test above wins.
    if (!changeFrameModeUnlocked(mode)) return storeResult(kErrLocked);
    return 0;
}

int VKKRNReader::setPortHandle(int handle) {
    if (GetCommMode() == static_cast<int>(vk::PortType::PlugIn)) {
        portHandle_.store(handle);
        return 0;
    }
    if (handle < 0) return kErrOutOfRange;
    if (handle == 0) {
        // The plug-in stays on its earlier port; only the reader's handle reads 0.
        portHandle_.store(0);
        return 0;
    }
    const unsigned type = vk::portTypeBits(handle);
    if (vk::portCount(handle) == 0 || type > static_cast<unsigned>(vk::PortType::Tcp)) return kErrOutOfRange;
    auto lock = Lock();
    SetPortHnd(handle);
    const int rc = SetCommMode(static_cast<int>(type));
    return rc == kErrNoMemory ? rc : 0;
}

int VKKRNReader::GetReaderPara(const char* key, char* value) {
    const std::string_view k(key);
    if (auto* flag = switchOf(k)) {
        writeText(value, flag->load() ? "1" : "0");
        return storeResult(0);
    }
    if (k == "PORTHND") {
        const int handle = portHandle_.load();
        writeInt(value, handle < 1 ? 0 : handle);
        return storeResult(0);
    }
    if (k == "LOGFILENAME") {
        std::lock_guard<std::mutex> lock(captureMutex_);
        writeText(value, logFileName_);
        SetLastError(0);
        return 0;
    }
    if (k == "BUSYTO" || k == "REPCNT") {
        writeInt(value, (k == "BUSYTO" ? busyTimeout_ : repeatCount_).load());
        return storeResult(0);
    }
    if (k == "FRAMESUPPORT") {
        switch (GetCommFrame()) {
        case 1: writeText(value, "STANDARD"); return 0;
        case 2: writeText(value, "ADVANCED"); return 0;
        default: writeText(value, "UNDEFINED"); return storeResult(kErrNoValue);
        }
    }
    if (k == "SENDSTR") return storeResult(composeLastSend(value, kReaderTextSize, Cipher().holds()));
    if (k == "RECSTR") {
        int length;
        {
            std::lock_guard<std::mutex> lock(captureMutex_);
            length = lastReceiveLength_;
        }
        if (length <= 0) return storeResult(kErrNoValue);
        TextWriter line(value, kReaderTextSize);
        return storeResult(composeLastReceive(line, Cipher().holds()));
    }
    if (k == "ERRCODE") {
        writeInt(value, GetLastError());
        return storeResult(0);
    }
    if (k == "RECBUSADR") {
        std::lock_guard<std::mutex> lock(captureMutex_);
        writeInt(value, lastReceivedBusAddress_);
        SetLastError(0);
        return 0;
    }
    if (k == "ERRSTR") return storeResult(copyErrorText(GetLastError(), value, library_));
    if (k == "USBGENERATION") {
        const bool usb = GetCommMode() == static_cast<int>(vk::PortType::Usb);
        writeText(value, !usb ? "0" : (GetUsbGeneration() == 0 ? "1" : "2"));
        return storeResult(0);
    }
    return storeResult(kErrUnknownParameter);
}

int VKKRNReader::SetPortPara(const char* key, const char* value) {
    // The port libraries take writable texts: pass copies.
    char copy[kPortValueSize];
    const std::size_t n = vk::boundedLength(value, sizeof copy);
    if (n >= sizeof copy) return storeResult(kErrOutOfRange);
    std::memcpy(copy, value, n + 1);
    return portPara(key, copy, false);
}

int VKKRNReader::GetPortPara(const char* key, char* value) {
    return portPara(key, value, true);
}

int VKKRNReader::portPara(const char* key, char* value, bool get) {
    const int handle = portHandle_.load();
    const int portType = static_cast<int>(vk::portTypeBits(handle));
    const PortParaIds* ids = portParaIds(portType);
    if (ids == nullptr) return storeResult(0);
    char keyCopy[kPortValueSize];
    const std::size_t n = vk::boundedLength(key, sizeof keyCopy);
    if (n >= sizeof keyCopy) return storeResult(kErrOutOfRange);
    std::memcpy(keyCopy, key, n + 1);
    return storeResult(
        callPortPara(library_, portType, get ? ids->getId : ids->setId, handle, keyCopy, value, !get));
}

bool VKKRNReader::changeFrameMode(int mode, bool force) {
    int state = frameState_.load();
    for (;;) {
        if (!force && (state & kFrameLocked) != 0) return false;
        const int next = (state & kFrameLocked) | (mode & kFrameModeMask);
        if (frameState_.compare_exchange_weak(state, next)) return true;
    }
}

int VKKRNReader::storeResult(int rc) {
    SetLastError(rc);
    return rc;
}

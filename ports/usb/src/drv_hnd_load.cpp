// What the registry does when the library loads and unloads, and the library
// keys reached with handle -1.
#include "drv_hnd.h"

#include "error_text.h"
#include "event_handlers.h"
#include "trace.h"

#include <vkcommon/param_text.h>

#include <cerrno>
#include <cinttypes>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace vkusb {

namespace {

// The libusb interface version the library is built for, as the init trace names it.
constexpr unsigned kLibUsbApiVersion = 0x1000103;

void setLibUsbDebug(bool ready, int level) {
    if (!ready) return; // there is no default context to set it on
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    libusb_set_debug(nullptr, level);
#pragma GCC diagnostic pop
}

// "%lu" without a sign: leading blanks, then digits; false for a sign, no digits
// or a value past the unsigned 64-bit range.
bool readUnsigned(const char* text, std::uint64_t& value) {
    std::size_t i = 0;
    while (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))
        ++i;
    if (text[i] < '0' || text[i] > '9') return false;
    value = 0;
    for (; text[i] >= '0' && text[i] <= '9'; ++i) {
        const unsigned digit = static_cast<unsigned>(text[i] - '0');
        if (value > (UINT64_MAX - digit) / 10) return false;
        value = value * 10 + digit;
    }
    return true;
}

} // namespace

VKDrvHnd::VKDrvHnd() {
    Load();
}

void VKDrvHnd::Load() {
    g_bVkUsbAndroidUnroot = false;
    std::FILE* file = std::fopen(kConfigFilePath, "r");

    libusbReady_ = libusb_init(nullptr) == 0;
    if (!libusbReady_) lastError_ = kErrLibUsbUnavailable;
    const libusb_version* version = libusb_get_version();
    if (libusb_has_capability(LIBUSB_CAP_HAS_CAPABILITY) == 0) lastError_ = kErrLibUsbUnavailable;

    pthread_mutex_init(&g_MtxEvtInitAry, nullptr);
    watcher_ = std::thread([this] { WatchThread(); });

    hasHotplug_ = libusb_has_capability(LIBUSB_CAP_HAS_HOTPLUG) != 0;
    UsbConfig config;
    libusbDebugLevel_ = config.libusbDebugLevel;
    traceLevel_ = config.traceLevel;
    hotplugMode_ = config.hotplugMode;
    setLibUsbDebug(libusbReady_, libusbDebugLevel_);
    VKLOG_SetLevel(traceLevel_);

    if (file != nullptr) {
        char text[kConfigTextSize];
        readConfigText(file, text);
        std::fclose(file);
        applyConfigText(text, config);
        libusbDebugLevel_ = config.libusbDebugLevel;
        setLibUsbDebug(libusbReady_, libusbDebugLevel_);
        traceLevel_ = config.traceLevel;
        VKLOG_SetLevel(traceLevel_);
        hotplugMode_ = config.hotplugMode;
        intervalUs_ = config.intervalUs;
    }
    if (hotplugMode_ == 2 && !hasHotplug_) hotplugMode_ = 0;

    TraceLoad(version);
    if (hotplugMode_ == 1) {
        suspend_ = false;
        trace(kTraceLibrary, "init", "vkUSB-UpdateRate=%" PRId64 "msec", intervalUs_.load() / 1000);
    } else if (hotplugMode_ == 2) {
        RegisterHotplug();
    }
    // The thread started waiting before the file was read: it waits anew with
    // the interval and suspend flag now set.
    WakeWatcher();
}

void VKDrvHnd::TraceLoad(const libusb_version* version) const {
    if (!traceOn(kTraceLibrary)) return;
    if (version != nullptr) {
        trace(kTraceLibrary, "init", "libUSB-Version=%u.%u.%u.%u%s   API=%X", version->major, version->minor,
              version->micro, version->nano, version->rc != nullptr ? version->rc : "", kLibUsbApiVersion);
    }
    trace(kTraceLibrary, "init", "libUSB-DebugLevel=%d", libusbDebugLevel_);
    trace(kTraceLibrary, "init", "libUSB-HasHotPlug=%d", hasHotplug_ ? 1 : 0);
    trace(kTraceLibrary, "init", "vkUSB-Version=" VKUSB_DLL_VERSION);
    trace(kTraceLibrary, "init", "vkUSB-DebugLevel=%d", traceLevel_);
    trace(kTraceLibrary, "init", "vkUSB-UseHotPlug=%d", hotplugMode_);
}

VKDrvHnd::~VKDrvHnd() {
    trace(kTraceLibrary, "exit", "cleaning up ...");
    {
        std::lock_guard lock(watchMutex_);
        stop_ = true;
        watchWake_.notify_all();
    }
    if (watcher_.joinable()) watcher_.join();
    {
        std::lock_guard scan(scanMutex_);
        DeregisterHotplug();
        ReleaseHotplugQueue();
        std::lock_guard list(listMutex_);
        EmptyScanList();
        EmptyOpenList();
    }
    // Handlers run holding the event-list mutex and may take the scan mutex: the
    // list is emptied outside it.
    clearEventHandlers();
    pthread_mutex_destroy(&g_MtxEvtInitAry);
    if (libusbReady_) libusb_exit(nullptr);
    trace(kTraceLibrary, "exit", "... done");
}

int VKDrvHnd::GetLibraryPara(const char* key, char* value) {
    lastError_ = kOk;
    char upper[vk::kKeyBufferSize];
    if (!vk::upperCaseKey(key, upper)) return kErrUnknownParameter;
    if (std::strcmp(upper, "HOTPLUG-MODE") == 0) {
        std::snprintf(value, kTextFieldSize, "%u", static_cast<unsigned>(hotplugMode_));
        return kOk;
    }
    return kErrUnknownParameter;
}

int VKDrvHnd::SetLibraryPara(const char* key, const char* value) {
    trace(kTraceLibrary, "set library para", "%s = '%s'", key, value);
    lastError_ = kOk;
    char upper[vk::kKeyBufferSize];
    if (!vk::upperCaseKey(key, upper)) return kErrUnknownParameter;
    if (std::strcmp(upper, "HOTPLUG-UPDATERATE") == 0) {
        if (g_bVkUsbAndroidUnroot) return kErrParameterSyntax;
        std::uint64_t rate = 0;
        if (!readUnsigned(value, rate) || rate <= 9 || rate > static_cast<std::uint64_t>(INT64_MAX))
            return kErrOutOfRange;
        intervalUs_ = static_cast<std::int64_t>(rate);
        WakeWatcher();
        return kOk;
    }
    if (std::strcmp(upper, "HOTPLUG-SUSPEND") == 0) {
        if (g_bVkUsbAndroidUnroot) return kErrParameterSyntax;
        if (std::strcmp(value, "0") == 0) {
            suspend_ = false;
            WakeWatcher();
            return kOk;
        }
        if (std::strcmp(value, "1") == 0) {
            suspend_ = true;
            WakeWatcher();
            return kOk;
        }
        return kErrOutOfRange;
    }
    return kErrUnknownParameter;
}

} // namespace vkusb

// A stand-in "libvktcp.so" that keeps the event handlers registered with it and
// fires a disconnection on demand.
#include <vktcp.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

// "name:handle;" (no std::to_string: its unique symbol would keep this library
// loaded after dlclose).
std::string entry(const char* name, int handle) {
    char text[48];
    std::snprintf(text, sizeof text, "%s:%d;", name, handle);
    return text;
}

struct Entry {
    int handle;
    std::uint32_t eventId;
    VKTCP_EventCallback callback;
    void* pAny;
};

struct Handlers {
    std::mutex mutex; // held while handlers run, as the real library does
    std::vector<Entry> entries;
    std::string log;
    int* remainingAtUnload = nullptr;
    int* unloaded = nullptr;

    ~Handlers() {
        if (remainingAtUnload != nullptr) *remainingAtUnload = static_cast<int>(entries.size());
        if (unloaded != nullptr) *unloaded = 1;
    }
};

Handlers& handlers() {
    static Handlers h;
    return h;
}

} // namespace

FAKE_EXPORT int VKTCP_AddEventHandler(int handle, _VKTCP_EVENT_INIT* record) {
    if (record == nullptr || record->flag != 3) return -1250;
    Handlers& h = handlers();
    std::lock_guard<std::mutex> lock(h.mutex);
    h.log += entry("add", handle);
    for (const Entry& e : h.entries) {
        if (e.handle == handle && e.eventId == record->eventId && e.callback == record->callback) return 0;
    }
    h.entries.push_back({handle, record->eventId, record->callback, record->pAny});
    return 0;
}

FAKE_EXPORT int VKTCP_DelEventHandler(int handle, _VKTCP_EVENT_INIT* record) {
    if (record == nullptr) return -1250;
    Handlers& h = handlers();
    std::lock_guard<std::mutex> lock(h.mutex);
    h.log += entry("del", handle);
    for (auto it = h.entries.begin(); it != h.entries.end(); ++it) {
        if (it->handle == handle && it->eventId == record->eventId && it->callback == record->callback) {
            h.entries.erase(it);
            return 0;
        }
    }
    return -1250;
}

FAKE_EXPORT int VKTCP_GetErrorText(int code, char* text) {
    std::sprintf(text, "FAKETCP: (%d)", code);
    return 0;
}

// Handlers registered on `handle` (all handles for -1).
FAKE_EXPORT int FAKE_TcpHandlerCount(int handle) {
    std::lock_guard<std::mutex> lock(handlers().mutex);
    int n = 0;
    for (const Entry& e : handlers().entries)
        n += (handle == -1 || e.handle == handle) ? 1 : 0;
    return n;
}

// Calls every disconnection handler of `handle` under the handler lock.
FAKE_EXPORT void FAKE_TcpFireDisconnect(int handle) {
    std::lock_guard<std::mutex> lock(handlers().mutex);
    handlers().log += entry("fire", handle);
    for (const Entry& e : handlers().entries) {
        if (e.handle == handle && e.eventId == 2) e.callback(e.pAny, handle, 2, 0);
    }
}

// The log of calls: "add:H;del:H;fire:H;"; returns its length.
FAKE_EXPORT int FAKE_TcpLog(char* out, int size) {
    std::lock_guard<std::mutex> lock(handlers().mutex);
    std::snprintf(out, static_cast<std::size_t>(size), "%s", handlers().log.c_str());
    return static_cast<int>(handlers().log.size());
}

// When this library is unloaded, writes the number of handlers left and 1.
FAKE_EXPORT void FAKE_TcpReportAtUnload(int* remaining, int* unloaded) {
    std::lock_guard<std::mutex> lock(handlers().mutex);
    handlers().remainingAtUnload = remaining;
    handlers().unloaded = unloaded;
}

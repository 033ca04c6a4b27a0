#include "event_handlers.h"

#include "error_text.h"

#include <algorithm>

namespace vkusb {

namespace {

// Set while this thread runs handlers: the list is being walked, so it must
// not change (and its mutex is held).
thread_local bool t_dispatching = false;

bool sameHandler(const _VKUSB_INTERNAL_EVENT_INIT& entry, const _VKUSB_EVENT_INIT& init) {
    return entry.eventId == init.eventId && entry.callback == init.callback;
}

} // namespace

int addEventHandler(const _VKUSB_EVENT_INIT& init) {
    if (init.flag != VKUSB_EVENT_FLAG) return kErrUnknownParameter;
    if (t_dispatching) return kErrUnsupportedMethod;
    PthreadLock lock(g_MtxEvtInitAry);
    const bool known = std::any_of(g_EvtInitAry.begin(), g_EvtInitAry.end(),
                                   [&init](const auto& entry) { return sameHandler(*entry, init); });
    if (!known) {
        g_EvtInitAry.push_back(std::make_unique<_VKUSB_INTERNAL_EVENT_INIT>(
            _VKUSB_INTERNAL_EVENT_INIT{init.eventId, VKUSB_EVENT_FLAG, init.callback}));
    }
    return kOk;
}

int delEventHandler(const _VKUSB_EVENT_INIT& init) {
    if (init.flag != VKUSB_EVENT_FLAG) return kErrUnknownParameter;
    if (t_dispatching) return kErrUnsupportedMethod;
    PthreadLock lock(g_MtxEvtInitAry);
    const auto it = std::find_if(g_EvtInitAry.begin(), g_EvtInitAry.end(),
                                 [&init](const auto& entry) { return sameHandler(*entry, init); });
    if (it == g_EvtInitAry.end()) return kErrUnknownParameter;
    g_EvtInitAry.erase(it);
    return kOk;
}

void ExecEventInitListCallbacks(std::uint32_t eventId, int deviceHandle, std::uint32_t deviceId) {
    PthreadLock lock(g_MtxEvtInitAry);
    t_dispatching = true;
    for (const auto& entry : g_EvtInitAry) {
        if (entry->flag == VKUSB_EVENT_FLAG && entry->callback != nullptr && entry->eventId == eventId)
            entry->callback(deviceHandle, deviceId);
    }
    t_dispatching = false;
}

void clearEventHandlers() {
    PthreadLock lock(g_MtxEvtInitAry);
    g_EvtInitAry.clear();
}

} // namespace vkusb

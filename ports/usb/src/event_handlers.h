// The connect and disconnect handlers callers register. The list lives apart
// from the registry: it is constructed before the registry and destroyed after
// it; its mutex stands apart from the registry's lock order and is initialised
// and destroyed by the registry.
#ifndef VKUSB_EVENT_HANDLERS_H
#define VKUSB_EVENT_HANDLERS_H

#include <vkusb/vkusb.h>

#include <pthread.h>

#include <cstdint>
#include <memory>
#include <vector>

namespace vkusb {

// The library's own copy of a registered handler.
struct _VKUSB_INTERNAL_EVENT_INIT {
    std::uint32_t eventId;
    std::uint32_t flag;
    VKUSB_EVENT_CALLBACK callback;
};

extern std::vector<std::unique_ptr<_VKUSB_INTERNAL_EVENT_INIT>> g_EvtInitAry;
// Guards g_EvtInitAry; held while handlers run.
extern pthread_mutex_t g_MtxEvtInitAry;

// 0, or -1150 for a flag other than 3, or -1107 from inside a handler. A
// handler with the same event id and callback is kept once.
int addEventHandler(const _VKUSB_EVENT_INIT& init);
// 0, or -1150 for a flag other than 3 or no such handler, or -1107 from inside
// a handler.
int delEventHandler(const _VKUSB_EVENT_INIT& init);
void clearEventHandlers();

// Calls, in registration order, every handler of `eventId` with (handle, id),
// holding the list's mutex. Handlers may call the library but not add or
// remove handlers: on the dispatching thread that gives -1107.
void ExecEventInitListCallbacks(std::uint32_t eventId, int deviceHandle, std::uint32_t deviceId);

// RAII lock of a POSIX mutex.
class PthreadLock {
  public:
    explicit PthreadLock(pthread_mutex_t& mutex) : mutex_(mutex) { pthread_mutex_lock(&mutex_); }
    ~PthreadLock() { pthread_mutex_unlock(&mutex_); }
    PthreadLock(const PthreadLock&) = delete;
    PthreadLock& operator=(const PthreadLock&) = delete;

  private:
    pthread_mutex_t& mutex_;
};

} // namespace vkusb

#endif

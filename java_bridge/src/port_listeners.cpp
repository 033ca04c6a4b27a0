#include "port_listeners.h"

#include "callback_env.h"
#include "java_cache.h"
#include "module_4j.h"

#include <algorithm>

namespace nubokrn4j {

std::atomic<jmethodID> g_jmidOnVkdmCommEvent{nullptr};
std::atomic<jmethodID> g_jmidOnVkdmUsbEvent{nullptr};

namespace {

constexpr int kRts = 4;
constexpr int kDtr = 5;
constexpr int kUsbConnect = 1;
constexpr int kUsbDisconnect = 2;

void callAll(JNIEnv* env, const std::vector<jobject>& listeners, jmethodID method, const jvalue* args) {
    for (jobject listener : listeners) {
        callListener(env, listener, method, args);
        env->DeleteLocalRef(listener);
    }
}

// On the thread that set the line, inside the serial library's port lock.
template <int Event> void serialEvent(int portNumber, int state) {
    CallbackEnv env(g_jvm.load());
    if (!env) return;
    const auto listeners = PortListeners::instance().serialListeners(env.get(), Event, portNumber);
    jvalue args[3] = {};
    args[0].i = Event;
    args[1].i = portNumber;
    args[2].i = state;
    callAll(env.get(), listeners, g_jmidOnVkdmCommEvent.load(), args);
}

// On the USB library's watch thread, attached for the call.
template <int Event> void usbEvent(int deviceHandle, std::uint32_t deviceId) {
    CallbackEnv env(g_jvm.load());
    if (!env) return;
    const auto listeners = PortListeners::instance().usbListeners(env.get(), Event);
    jvalue args[3] = {};
    args[0].i = Event;
    args[1].i = deviceHandle;
    args[2].j = static_cast<jlong>(deviceId);
    callAll(env.get(), listeners, g_jmidOnVkdmUsbEvent.load(), args);
}

} // namespace

SerialCallback serialCallbackFor(int event) {
    if (event == kRts) return &serialEvent<kRts>;
    if (event == kDtr) return &serialEvent<kDtr>;
    return nullptr;
}

UsbCallback usbCallbackFor(int event) {
    if (event == kUsbConnect) return &usbEvent<kUsbConnect>;
    if (event == kUsbDisconnect) return &usbEvent<kUsbDisconnect>;
    return nullptr;
}

PortListeners& PortListeners::instance() {
    static PortListeners listeners;
    return listeners;
}

void PortListeners::addSerial(VKDM_KRNReaderModule_4J* module, int event, int portNumber) {
    std::lock_guard lock(mutex_);
    entries_.push_back({module, event, portNumber, false});
}

void PortListeners::removeSerial(VKDM_KRNReaderModule_4J* module, int event) {
    std::lock_guard lock(mutex_);
    std::erase_if(entries_, [&](const Entry& e) { return !e.usb && e.module == module && e.event == event; });
}

void PortListeners::addUsb(VKDM_KRNReaderModule_4J* module, int event) {
    std::lock_guard lock(mutex_);
    entries_.push_back({module, event, 0, true});
}

void PortListeners::removeUsb(VKDM_KRNReaderModule_4J* module, int event) {
    std::lock_guard lock(mutex_);
    std::erase_if(entries_, [&](const Entry& e) { return e.usb && e.module == module && e.event == event; });
}

int PortListeners::usbListenerCount(int event) const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(std::count_if(entries_.begin(), entries_.end(),
                                          [&](const Entry& e) { return e.usb && e.event == event; }));
}

std::vector<jobject> PortListeners::collect(JNIEnv* env, bool usb, int event, int portNumber) const {
    std::vector<jobject> listeners;
    std::lock_guard lock(mutex_);
    for (const Entry& e : entries_) {
        if (e.usb != usb || e.event != event || (!usb && e.portNumber != portNumber)) continue;
        // An entry holds a use of the module's reader slot: its reference lives.
        jobject local = env->NewLocalRef(e.module->Listeners().slot(Slot::Reader).weak);
        if (local != nullptr) listeners.push_back(local);
    }
    return listeners;
}

std::vector<jobject> PortListeners::serialListeners(JNIEnv* env, int event, int portNumber) const {
    return collect(env, false, event, portNumber);
}

std::vector<jobject> PortListeners::usbListeners(JNIEnv* env, int event) const {
    return collect(env, true, event, 0);
}

} // namespace nubokrn4j

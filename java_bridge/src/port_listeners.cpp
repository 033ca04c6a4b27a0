#include "port_listeners.h"

#include "callback_env.h"
#include "java_cache.h"
#include "module_4j.h"

#include <algorithm>
#include <utility>

namespace nubokrn4j {

std::atomic<jmethodID> g_jmidOnVkdmCommEvent{nullptr};
std::atomic<jmethodID> g_jmidOnVkdmUsbEvent{nullptr};

namespace {

constexpr int kRts = 4;
constexpr int kDtr = 5;
constexpr int kUsbConnect = 1;
constexpr int kUsbDisconnect = 2;

// Set while this thread runs one of the bridge's callbacks.
thread_local bool t_inCallback = false;

void callAll(JNIEnv* env, const std::vector<jobject>& listeners, jmethodID method, const jvalue* args) {
    for (jobject listener : listeners) {
        callListener(env, listener, method, args);
        env->DeleteLocalRef(listener);
    }
}

// On the thread that set the line, inside the serial library's port lock.
template <int Event> void serialEvent(int portNumber, int state) {
    const PortListeners::InCallback inCallback;
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
    const PortListeners::InCallback inCallback;
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

PortListeners::InCallback::InCallback() : outer_(std::exchange(t_inCallback, true)) {}

PortListeners::InCallback::~InCallback() {
    t_inCallback = outer_;
}

PortListeners& PortListeners::instance() {
    // Never destroyed: the module registry, a global made before the first use
    // of this table, deletes the modules still listed at exit, and each drops
    // its listeners here. A function-local object would be gone by then; this
    // one stays reachable through the pointer, so the leak checker passes it.
    static PortListeners* const listeners = new PortListeners;
    return *listeners;
}

std::vector<PortListeners::Entry>::iterator PortListeners::find(VKDM_KRNReaderModule_4J* module,
                                                                const Key& key) {
    return std::find_if(entries_.begin(), entries_.end(),
                        [&](const Entry& e) { return e.module == module && e.key == key; });
}

bool PortListeners::listened(const Key& key) const {
    return std::any_of(entries_.begin(), entries_.end(), [&](const Entry& e) { return e.key == key; });
}

void PortListeners::awaitIdle(std::unique_lock<std::mutex>& lock, const Key& key) {
    if (t_inCallback) return;
    idle_.wait(lock, [&] {
        const auto it = registrations_.find(key);
        return it == registrations_.end() || !it->second.calling;
    });
}

void PortListeners::forgetUnused(const Key& key) {
    const auto it = registrations_.find(key);
    if (it != registrations_.end() && !it->second.calling && !it->second.registered && !listened(key))
        registrations_.erase(it);
}

int PortListeners::settle(std::unique_lock<std::mutex>& lock, const Key& key) {
    // Nodes of the map stay where they are; this one is not erased while a
    // thread calls the library for it.
    Registration& reg = registrations_[key];
    int first = 0;
    bool called = false;
    for (;;) {
        const bool wanted = listened(key);
        if (wanted == reg.registered) break;
        const auto call = wanted ? reg.calls.add : reg.calls.remove;
        reg.calling = true;
        lock.unlock();
        const int r = call(key.port, key.event);
        lock.lock();
        reg.calling = false;
        // What the library holds changes with a call it accepted only.
        if (r >= 0) reg.registered = wanted;
        if (!called) first = r;
        called = true;
        if (r < 0) break;
    }
    idle_.notify_all();
    forgetUnused(key);
    return first;
}

int PortListeners::add(VKDM_KRNReaderModule_4J* module, const Key& key, int portNumber, const Calls& calls) {
    std::unique_lock lock(mutex_);
    awaitIdle(lock, key);
    Registration& reg = registrations_[key];
    reg.calls = calls;
    if (auto it = find(module, key); it != entries_.end())
        ++it->uses;
    else
        entries_.push_back({module, key, portNumber, 1});
    // A callback's thread while another calls the library: that one settles.
    if (reg.calling) return 0;
    const int r = settle(lock, key);
    if (r < 0) {
        if (auto it = find(module, key); it != entries_.end() && --it->uses == 0) entries_.erase(it);
        forgetUnused(key);
    }
    return r < 0 ? r : 0;
}

int PortListeners::remove(VKDM_KRNReaderModule_4J* module, const Key& key, int none) {
    std::unique_lock lock(mutex_);
    awaitIdle(lock, key);
    auto it = find(module, key);
    if (it == entries_.end()) return none;
    const Entry removed{it->module, it->key, it->portNumber, 1};
    if (--it->uses == 0) entries_.erase(it);
    // A callback's thread while another calls the library: that one settles.
    if (registrations_[key].calling) return 0;
    const int r = settle(lock, key);
    if (r < 0) {
        // The listener stays; the library gets the callback again at the next change.
        if (auto back = find(module, key); back != entries_.end())
            ++back->uses;
        else
            entries_.push_back(removed);
    }
    return r < 0 ? r : 0;
}

int PortListeners::drop(VKDM_KRNReaderModule_4J* module, bool usb, int event) {
    std::unique_lock lock(mutex_);
    int dropped = 0;
    std::vector<Key> keys;
    for (auto it = entries_.begin(); it != entries_.end();) {
        if (it->module == module && it->key.usb == usb && it->key.event == event) {
            dropped += it->uses;
            keys.push_back(it->key);
            it = entries_.erase(it);
        } else {
            ++it;
        }
    }
    // No entry names the module any more; a thread calling the library for one
    // of its keys settles the rest after its call.
    for (const Key& key : keys) {
        if (!registrations_[key].calling) settle(lock, key);
    }
    return dropped;
}

std::vector<jobject> PortListeners::collect(JNIEnv* env, bool usb, int event, int portNumber) const {
    std::vector<jobject> listeners;
    std::lock_guard lock(mutex_);
    for (const Entry& e : entries_) {
        if (e.key.usb != usb || e.key.event != event || (!usb && e.portNumber != portNumber)) continue;
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

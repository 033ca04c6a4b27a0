// Who listens to the port libraries' events: the serial library's RTS and DTR
// changes of a module's port, and the USB library's readers plugged in and
// pulled out. Neither library tells its callback which handler record it
// serves, so the bridge registers one callback per event (and serial port) and
// keeps here, for the whole process, which modules receive it.
//
// The table and the library's registration change as one step: the first
// listener of an event registers the bridge's callback with the library before
// its add returns, the last one's removal takes it away, and adds and removals
// of that event made meanwhile wait for that library call (the library keeps
// one handler per callback, so two calls in flight could leave it without one
// while a module listens). A thread that runs one of the bridge's callbacks
// never waits for it: the call in flight may itself wait for that callback to
// return (the USB library removes a handler only between passes over them).
// What such a thread changes meanwhile, the thread whose call is in flight
// brings the library in line with once its call has returned.
#ifndef NUBOKRN4J_PORT_LISTENERS_H
#define NUBOKRN4J_PORT_LISTENERS_H

#include <jni.h>

#include <atomic>
#include <compare>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <vector>

class VKDM_KRNReaderModule_4J;

namespace nubokrn4j {

// The Java methods of these listeners, looked up at the first add.
extern std::atomic<jmethodID> g_jmidOnVkdmCommEvent; // (event, port number, state) "(III)V"
extern std::atomic<jmethodID> g_jmidOnVkdmUsbEvent;  // (event, device handle, device id) "(IIJ)V"

// The callbacks registered with the libraries, by event.
using SerialCallback = void (*)(int portNumber, int state);
using UsbCallback = void (*)(int deviceHandle, std::uint32_t deviceId);
SerialCallback serialCallbackFor(int event);
UsbCallback usbCallbackFor(int event);

class PortListeners {
  public:
    // One registration of the bridge's callback with a library: USB (port 0)
    // or the serial library on a port handle, for one event.
    struct Key {
        bool usb = false;
        int event = 0;
        int port = 0;
        friend auto operator<=>(const Key&, const Key&) = default;
    };
    // The library calls that register and remove the callback of an event on a
    // port (both set): 0, or the library's negative code.
    struct Calls {
        int (*add)(int port, int event) = nullptr;
        int (*remove)(int port, int event) = nullptr;
    };

    // Marks the calling thread, while it lives, as running one of the bridge's
    // callbacks.
    class InCallback {
      public:
        InCallback();
        ~InCallback();
        InCallback(const InCallback&) = delete;
        InCallback& operator=(const InCallback&) = delete;

      private:
        bool outer_;
    };

    // The process's table (a test may make tables of its own).
    static PortListeners& instance();
    PortListeners() = default;
    PortListeners(const PortListeners&) = delete;
    PortListeners& operator=(const PortListeners&) = delete;

    // One more listener of `module` to `key`; `portNumber` is what the serial
    // library's callback reports for that port. The library gets the callback
    // first when no module listens to the key. 0, or the library's refusal
    // (then nothing is added).
    int add(VKDM_KRNReaderModule_4J* module, const Key& key, int portNumber, const Calls& calls);
    // One listener of `module` to `key` less; the last of the key takes the
    // callback from the library. 0, `none` when the module has no listener
    // there, or the library's refusal (then nothing is removed).
    int remove(VKDM_KRNReaderModule_4J* module, const Key& key, int none);
    // Every listener of `module` to the event of that library, on any port,
    // goes at once (the module is ending); a removal from the library follows
    // when it was the last, made by this thread or by the one whose library
    // call for that key is in flight. Its answer is not reported. The number
    // of listeners removed.
    int drop(VKDM_KRNReaderModule_4J* module, bool usb, int event);

    // Local references to the listeners of an event (each module's reader
    // slot), made under the leaf mutex; the caller calls and deletes them.
    std::vector<jobject> serialListeners(JNIEnv* env, int event, int portNumber) const;
    std::vector<jobject> usbListeners(JNIEnv* env, int event) const;

  private:
    struct Entry {
        VKDM_KRNReaderModule_4J* module;
        Key key;
        int portNumber; // serial only
        int uses;       // the module's listeners to the key
    };
    struct Registration {
        Calls calls;
        bool registered = false; // the library holds the callback (after the last call it accepted)
        bool calling = false;    // a thread calls the library for the key
    };
    std::vector<jobject> collect(JNIEnv* env, bool usb, int event, int portNumber) const;
    std::vector<Entry>::iterator find(VKDM_KRNReaderModule_4J* module, const Key& key);
    bool listened(const Key& key) const;
    // Erases the registration of a key no module listens to and the library
    // does not hold (none while a library call for it is in flight).
    void forgetUnused(const Key& key);
    // Waits until no thread calls the library for `key`; returns at once on a
    // callback's thread.
    void awaitIdle(std::unique_lock<std::mutex>& lock, const Key& key);
    // Calls the library until its registration of `key` matches the table
    // (registered while a module listens). The result of the first call (0 when
    // none was needed); the calls stop at a failure.
    int settle(std::unique_lock<std::mutex>& lock, const Key& key);

    // Leaf: guards the entries and registrations; held while listener
    // references are made (no Java code runs then), never while Java or a
    // library is called. A removal drops its entry before the module gives the
    // slot use back.
    mutable std::mutex mutex_;
    // Signalled when a library call for a key has returned.
    std::condition_variable idle_;
    std::vector<Entry> entries_;
    std::map<Key, Registration> registrations_;
};

} // namespace nubokrn4j

#endif

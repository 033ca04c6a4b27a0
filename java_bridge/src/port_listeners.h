// Who listens to the port libraries' events: the serial library's RTS and DTR
// changes of a module's port, and the USB library's readers plugged in and
// pulled out. Neither library tells its callback which handler record it
// serves, so the bridge registers one callback per event and keeps here, for
// the whole process, which modules receive it.
#ifndef NUBOKRN4J_PORT_LISTENERS_H
#define NUBOKRN4J_PORT_LISTENERS_H

#include <jni.h>

#include <atomic>
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
    static PortListeners& instance();

    void addSerial(VKDM_KRNReaderModule_4J* module, int event, int portNumber);
    void removeSerial(VKDM_KRNReaderModule_4J* module, int event);
    void addUsb(VKDM_KRNReaderModule_4J* module, int event);
    void removeUsb(VKDM_KRNReaderModule_4J* module, int event);
    // Modules listening to a USB event.
    int usbListenerCount(int event) const;

    // Local references to the listeners of an event (each module's reader
    // slot), made under the leaf mutex; the caller calls and deletes them.
    std::vector<jobject> serialListeners(JNIEnv* env, int event, int portNumber) const;
    std::vector<jobject> usbListeners(JNIEnv* env, int event) const;

  private:
    struct Entry {
        VKDM_KRNReaderModule_4J* module;
        int event;
        int portNumber; // serial only
        bool usb;
    };
    std::vector<jobject> collect(JNIEnv* env, bool usb, int event, int portNumber) const;

    // Leaf: guards the entries; held while listener references are made (no
    // Java code runs then), never while Java or a library is called. A removal
    // drops its entry before the module gives the slot use back.
    mutable std::mutex mutex_;
    std::vector<Entry> entries_;
};

} // namespace nubokrn4j

#endif

// Java listeners of a reader module: reader events (the reader library calls
// Java itself), the serial port's RTS and DTR lines and USB hot-plug (the
// bridge's callbacks, port_listeners). Every registration holds one use of the
// reader slot, counted per (kind, event).
#include "bridge_codes.h"
#include "callback_env.h"
#include "java_cache.h"
#include "module_4j.h"
#include "port_listeners.h"

#include <vkcom/vizer.h>
#include <vkkrn_jni.h>
#include <vkusb/vkusb.h>

#include <cstdlib>

using nubokrn4j::kBadKindOrEvent;
using nubokrn4j::kNoEnv;
using nubokrn4j::kNoReaderHandle;
using nubokrn4j::kNoSerialPort;
using nubokrn4j::kNullArgument;
using nubokrn4j::kReaderNotRegistered;
using nubokrn4j::kSlotHeld;
using nubokrn4j::ListenerKind;
using nubokrn4j::PortListeners;
using nubokrn4j::Slot;

namespace {

constexpr unsigned int kViZerGetPortPara = 1023;
constexpr unsigned int kViZerAddHandler = 1010;
constexpr unsigned int kViZerDelHandler = 1011;
constexpr unsigned int kVkUsbAddHandler = 1120;
constexpr unsigned int kVkUsbDelHandler = 1121;

constexpr int kFlagJava = 101;

bool readerEvent(int event) {
    return (event >= 2 && event <= 6) || event == 101;
}

bool serialEvent(int event) {
    return event == VIZER_EVENT_RTS || event == VIZER_EVENT_DTR;
}

bool usbEvent(int event) {
    return event == VKUSB_EVENT_CONNECT || event == VKUSB_EVENT_DISCONNECT;
}

// The handler record of a Java listener of a reader event.
_VKKRN_INTERNAL_EVENT_INIT readerRecord(JavaVM* vm, jobject weak, int event) {
    _VKKRN_INTERNAL_EVENT_INIT record{};
    record.uiUse = static_cast<unsigned int>(event);
    record.uiFlag = kFlagJava;
    record.jvm = vm;
    record.object = weak;
    const bool text = event == 2 || event == 3 || event == 101;
    record.method = text ? nubokrn4j::g_jmidOnVkKrnStrEvent : nubokrn4j::g_jmidOnVkKrnPrtEvent;
    return record;
}

_VIZER_EVENT_INIT serialRecord(int event) {
    _VIZER_EVENT_INIT record{};
    record.eventId = static_cast<std::uint32_t>(event);
    record.flag = VIZER_EVENT_FLAG_CALLBACK;
    record.callback = nubokrn4j::serialCallbackFor(event);
    return record;
}

_VKUSB_EVENT_INIT usbRecord(int event) {
    _VKUSB_EVENT_INIT record{};
    record.eventId = static_cast<std::uint32_t>(event);
    record.flag = VKUSB_EVENT_FLAG;
    record.callback = nubokrn4j::usbCallbackFor(event);
    return record;
}

// The registration of the bridge's callbacks, as the listener table makes it:
// the libraries' functions looked up through the core when called (the module
// that asked may be gone by then). A library without the function to remove a
// handler has none to remove.
template <typename Function> Function* serialFunction(unsigned int id) {
    return reinterpret_cast<Function*>(VKDM_Base::GetViZerFunction(id));
}

template <typename Function> Function* usbFunction(unsigned int id) {
    return reinterpret_cast<Function*>(VKDM_Base::GetVkUsbFunction(id));
}

int addSerialCallback(int port, int event) {
    auto* add = serialFunction<decltype(VIZER_AddEventHandler)>(kViZerAddHandler);
    if (add == nullptr) return kNullArgument;
    _VIZER_EVENT_INIT record = serialRecord(event);
    return add(port, &record);
}

int removeSerialCallback(int port, int event) {
    auto* del = serialFunction<decltype(VIZER_DelEventHandler)>(kViZerDelHandler);
    if (del == nullptr) return 0;
    _VIZER_EVENT_INIT record = serialRecord(event);
    return del(port, &record);
}

int addUsbCallback(int, int event) {
    auto* add = usbFunction<decltype(VKUSB_AddEventHandler)>(kVkUsbAddHandler);
    if (add == nullptr) return kNullArgument;
    _VKUSB_EVENT_INIT record = usbRecord(event);
    return add(0, &record);
}

int removeUsbCallback(int, int event) {
    auto* del = usbFunction<decltype(VKUSB_DelEventHandler)>(kVkUsbDelHandler);
    if (del == nullptr) return 0;
    _VKUSB_EVENT_INIT record = usbRecord(event);
    return del(0, &record);
}

constexpr PortListeners::Calls kSerialCalls{&addSerialCallback, &removeSerialCallback};
constexpr PortListeners::Calls kUsbCalls{&addUsbCallback, &removeUsbCallback};

PortListeners::Key serialKey(int port, int event) {
    return {false, event, port};
}

PortListeners::Key usbKey(int event) {
    return {true, event, 0};
}

// A listener method of de/varek/VkdmKrnReader, looked up once; null with the
// JVM's NoSuchMethodError pending when the class lacks it.
jmethodID listenerMethod(JNIEnv* env, std::atomic<jmethodID>& cached, const char* name,
                         const char* signature) {
    if (jmethodID id = cached.load()) return id;
    jclass cls = static_cast<jclass>(env->NewLocalRef(nubokrn4j::g_jcVkdmReader));
    if (cls == nullptr) return nullptr;
    jmethodID id = env->GetMethodID(cls, name, signature);
    env->DeleteLocalRef(cls);
    if (id == nullptr || env->ExceptionCheck()) return nullptr;
    cached.store(id);
    return id;
}

} // namespace

// ---- reader events --------------------------------------------------------------

int VKDM_KRNReaderModule_4J::AddKrnEventHandler(JavaVM* vm, jobject listener, int event) {
    const int reader = GetReaderHnd();
    if (reader <= 0) {
        SetLastError(kNoReaderHandle);
        return kNoReaderHandle;
    }
    if (nubokrn4j::envOf(vm) == nullptr) return kNoEnv;
    if (!readerEvent(event)) {
        SetLastError(kBadKindOrEvent);
        return kBadKindOrEvent;
    }
    jweak weak = m_listeners.addRegistration(ListenerKind::Reader, event, listener);
    if (weak == nullptr) {
        SetLastError(kNullArgument);
        return kNullArgument;
    }
    _VKKRN_INTERNAL_EVENT_INIT record = readerRecord(vm, weak, event);
    const int r = VKKRN_AddEventHandlerEx(reader, &record);
    SetLastError(r);
    if (r < 0) m_listeners.removeRegistration(ListenerKind::Reader, event);
    return r;
}

int VKDM_KRNReaderModule_4J::DelKrnEventHandler(JavaVM* vm, jobject, int event) {
    const int reader = GetReaderHnd();
    if (reader <= 0) {
        SetLastError(kNoReaderHandle);
        return kNoReaderHandle;
    }
    if (!readerEvent(event)) {
        SetLastError(kBadKindOrEvent);
        return kBadKindOrEvent;
    }
    const int held = m_listeners.registrations(ListenerKind::Reader, event);
    if (held > 1) {
        // The reader library keeps one entry for the event while others remain.
        if (nubokrn4j::envOf(vm) == nullptr) return kNoEnv;
        m_listeners.removeRegistration(ListenerKind::Reader, event);
        SetLastError(0);
        return 0;
    }
    _VKKRN_INTERNAL_EVENT_INIT record = readerRecord(vm, m_listeners.slot(Slot::Reader).weak, event);
    const int r = VKKRN_DelEventHandlerEx(reader, &record);
    if (nubokrn4j::envOf(vm) == nullptr) return kNoEnv;
    // The use goes back only when the library no longer holds the reference.
    if (held == 1 && (r == 0 || r == kReaderNotRegistered))
        m_listeners.removeRegistration(ListenerKind::Reader, event);
    SetLastError(r);
    return r;
}

// ---- serial lines ------------------------------------------------------------------

int VKDM_KRNReaderModule_4J::AddComEventHandler(JavaVM* vm, jobject listener, int event) {
    const int port = GetPortHnd();
    if (m_PortKind != VKDM_PORT_SERIAL || port < 0) {
        SetLastError(kNoSerialPort);
        return kNoSerialPort;
    }
    auto* add = reinterpret_cast<decltype(&VIZER_AddEventHandler)>(GetViZerFunction(kViZerAddHandler));
    auto* portPara = reinterpret_cast<decltype(&VIZER_GetPortPara)>(GetViZerFunction(kViZerGetPortPara));
    if (add == nullptr || portPara == nullptr) {
        SetLastError(kNullArgument);
        return kNullArgument;
    }
    if (!serialEvent(event)) {
        SetLastError(kBadKindOrEvent);
        return kBadKindOrEvent;
    }
    JNIEnv* env = nubokrn4j::envOf(vm);
    if (env == nullptr) return kNoEnv;
    if (listenerMethod(env, nubokrn4j::g_jmidOnVkdmCommEvent, "onVkdmCommEvent", "(III)V") == nullptr)
        return kNoEnv;
    char number[256] = {};
    char key[] = "PORTNR";
    if (const int read = portPara(port, key, number); read < 0) {
        SetLastError(read);
        return read;
    }
    if (m_listeners.addRegistration(ListenerKind::Serial, event, listener) == nullptr) {
        SetLastError(kNullArgument);
        return kNullArgument;
    }
    const int r =
        PortListeners::instance().add(this, serialKey(port, event), std::atoi(number), kSerialCalls);
    if (r < 0) {
        m_listeners.removeRegistration(ListenerKind::Serial, event);
        SetLastError(r);
        return r;
    }
    SetLastError(0);
    return 0;
}

int VKDM_KRNReaderModule_4J::DelComEventHandler(JavaVM* vm, jobject, int event) {
    if (m_listeners.registrations(ListenerKind::Serial, event) == 0) {
        SetLastError(kNoSerialPort);
        return kNoSerialPort;
    }
    if (nubokrn4j::envOf(vm) == nullptr) return kNoEnv;
    const int r = PortListeners::instance().remove(this, serialKey(GetPortHnd(), event), kNoSerialPort);
    if (r < 0) {
        SetLastError(r);
        return r;
    }
    m_listeners.removeRegistration(ListenerKind::Serial, event);
    SetLastError(0);
    return 0;
}

void VKDM_KRNReaderModule_4J::dropSerialListeners() {
    for (const int event : {VIZER_EVENT_RTS, VIZER_EVENT_DTR}) {
        // A table entry is made after its registration is counted and removed
        // before it is given back: none without a count.
        if (m_listeners.registrations(ListenerKind::Serial, event) == 0) continue;
        PortListeners::instance().drop(this, false, event);
        while (m_listeners.removeRegistration(ListenerKind::Serial, event)) {
        }
    }
}

int VKDM_KRNReaderModule_4J::DisConnect() {
    dropSerialListeners();
    return VKDM_KRNReaderModule::DisConnect();
}

// ---- USB hot-plug ---------------------------------------------------------------------

int VKDM_KRNReaderModule_4J::AddUsbEventHandler(JavaVM* vm, jobject listener, int event) {
    if (!usbEvent(event)) {
        SetLastError(kBadKindOrEvent);
        return kBadKindOrEvent;
    }
    auto* add = reinterpret_cast<decltype(&VKUSB_AddEventHandler)>(GetVkUsbFunction(kVkUsbAddHandler));
    if (add == nullptr) {
        SetLastError(kNullArgument);
        return kNullArgument;
    }
    JNIEnv* env = nubokrn4j::envOf(vm);
    if (env == nullptr) return kNoEnv;
    const auto slot = m_listeners.slot(Slot::Reader);
    if (slot.weak != nullptr && env->IsSameObject(slot.weak, listener) == JNI_FALSE) {
        SetLastError(kSlotHeld);
        return kSlotHeld;
    }
    if (listenerMethod(env, nubokrn4j::g_jmidOnVkdmUsbEvent, "onVkdmUsbEvent", "(IIJ)V") == nullptr)
        return kNoEnv;
    if (m_listeners.addRegistration(ListenerKind::Usb, event, listener) == nullptr) {
        SetLastError(kNullArgument);
        return kNullArgument;
    }
    const int r = PortListeners::instance().add(this, usbKey(event), 0, kUsbCalls);
    if (r < 0) {
        m_listeners.removeRegistration(ListenerKind::Usb, event);
        SetLastError(r);
        return r;
    }
    SetLastError(0);
    return 0;
}

int VKDM_KRNReaderModule_4J::DelUsbEventHandler(JavaVM* vm, jobject, int event) {
    if (m_listeners.registrations(ListenerKind::Usb, event) == 0) {
        SetLastError(kNoSerialPort);
        return kNoSerialPort;
    }
    if (nubokrn4j::envOf(vm) == nullptr) return kNoEnv;
    const int r = PortListeners::instance().remove(this, usbKey(event), kNoSerialPort);
    if (r < 0) {
        SetLastError(r);
        return r;
    }
    m_listeners.removeRegistration(ListenerKind::Usb, event);
    SetLastError(0);
    return 0;
}

void VKDM_KRNReaderModule_4J::dropUsbListeners() {
    for (const int event : {VKUSB_EVENT_CONNECT, VKUSB_EVENT_DISCONNECT}) {
        if (m_listeners.registrations(ListenerKind::Usb, event) == 0) continue;
        PortListeners::instance().drop(this, true, event);
        while (m_listeners.removeRegistration(ListenerKind::Usb, event)) {
        }
    }
}

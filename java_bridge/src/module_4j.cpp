#include "module_4j.h"

#include "java_cache.h"

#include <vktcl.h>

#include <dlfcn.h>

namespace nubokrn4j {

namespace {

JNIEnv* currentEnv() {
    JavaVM* vm = g_jvm.load();
    JNIEnv* env = nullptr;
    if (vm == nullptr || vm->GetEnv(reinterpret_cast<void**>(&env), kJniVersion) != JNI_OK) return nullptr;
    return env;
}

} // namespace

jweak JniReferenceOps::newWeak(jobject object) {
    JNIEnv* env = currentEnv();
    if (env == nullptr || object == nullptr) return nullptr;
    return env->NewWeakGlobalRef(object);
}

void JniReferenceOps::deleteWeak(jweak weak) {
    // Without a JNIEnv (process exit) the reference is left to the JVM's end.
    if (JNIEnv* env = currentEnv()) env->DeleteWeakGlobalRef(weak);
}

} // namespace nubokrn4j

// A member is named only once the constructor runs (m_jniRefs is constructed
// before m_listeners), never in the call that delegates to it.
VKDM_KRNReaderModule_4J::VKDM_KRNReaderModule_4J() : VKDM_KRNReaderModule_4J(nullptr) {}

VKDM_KRNReaderModule_4J::VKDM_KRNReaderModule_4J(nubokrn4j::ReferenceOps& refs)
    : VKDM_KRNReaderModule_4J(&refs) {}

VKDM_KRNReaderModule_4J::VKDM_KRNReaderModule_4J(nubokrn4j::ReferenceOps* refs)
    : m_ApduResponse(std::make_unique<unsigned char[]>(kApduResponseSize)),
      m_listeners(refs != nullptr ? *refs : m_jniRefs, m_TaskActive) {
    m_PortKind = VKDM_PORT_NONE;
}

VKDM_KRNReaderModule_4J::~VKDM_KRNReaderModule_4J() {
    // Deleting the T=CL session waits for its APDU worker, deleting the reader
    // for its task thread: no callback reaches this object afterwards.
    if (const int session = m_TclSession.exchange(0); session > 0) VKTCL_DeleteTransponder(session);
    if (IsConnected()) DisConnect();
    dropUsbListeners();
    m_listeners.releaseAll();
}

int VKDM_KRNReaderModule_4J::CachedFunctionCount() const {
    int n = 0;
    for (const auto& slot : m_cached)
        if (slot.load() != nullptr) ++n;
    return n;
}

void* VKDM_KRNReaderModule_4J::cachedSymbol(Cached which, void* library, const char* name) {
    std::atomic<void*>& slot = m_cached[which];
    if (void* found = slot.load()) return found;
    void* symbol = ::dlsym(library, name);
    if (symbol != nullptr) slot.store(symbol);
    return symbol;
}

// One port library's lookups: ids in [low, low + 99], the two handler
// functions looked up by name at low + 50 and low + 51, the rest the core's.
struct VKDM_KRNReaderModule_4J::PortLookup {
    unsigned int low;
    Cached add;
    const char* addName;
    const char* delName;
    void* (*load)();
    void* (*coreFunction)(unsigned int);
};

void* VKDM_KRNReaderModule_4J::lookup(const PortLookup& port, unsigned int id) {
    if (id < port.low || id > port.low + 99) return nullptr;
    void* library = port.load();
    if (library == nullptr) return nullptr;
    if (id == port.low + 50) return cachedSymbol(port.add, library, port.addName);
    if (id == port.low + 51) return cachedSymbol(static_cast<Cached>(port.add + 1), library, port.delName);
    return port.coreFunction(id);
}

void* VKDM_KRNReaderModule_4J::GetViZerFunction(unsigned int id) {
    static constexpr PortLookup kSerial{1000,
                                        SerialAdd,
                                        "VIZER_AddEventHandlerEx",
                                        "VIZER_DelEventHandlerEx",
                                        &VKDM_Base::LoadViZer,
                                        &VKDM_Base::GetViZerFunction};
    return lookup(kSerial, id);
}

void* VKDM_KRNReaderModule_4J::GetVkUsbFunction(unsigned int id) {
    static constexpr PortLookup kUsb{1100,
                                     UsbAdd,
                                     "VKUSB_AddEventHandlerEx",
                                     "VKUSB_DelEventHandlerEx",
                                     &VKDM_Base::LoadVkUsb,
                                     &VKDM_Base::GetVkUsbFunction};
    return lookup(kUsb, id);
}

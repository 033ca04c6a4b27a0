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

VKDM_KRNReaderModule_4J::VKDM_KRNReaderModule_4J() : VKDM_KRNReaderModule_4J(m_jniRefs) {}

VKDM_KRNReaderModule_4J::VKDM_KRNReaderModule_4J(nubokrn4j::ReferenceOps& refs)
    : m_ApduResponse(std::make_unique<unsigned char[]>(kApduResponseSize)), m_listeners(refs, m_TaskActive) {
    m_PortKind = VKDM_PORT_NONE;
}

VKDM_KRNReaderModule_4J::~VKDM_KRNReaderModule_4J() {
    // Deleting the T=CL session waits for its APDU worker, deleting the reader
    // for its task thread: no callback reaches this object afterwards.
    if (const int session = m_TclSession.exchange(0); session > 0) VKTCL_DeleteTransponder(session);
    if (IsConnected()) DisConnect();
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

void* VKDM_KRNReaderModule_4J::GetViZerFunction(unsigned int id) {
    if (id < 1000 || id > 1099) return nullptr;
    void* library = LoadViZer();
    if (library == nullptr) return nullptr;
    if (id == 1050) return cachedSymbol(SerialAdd, library, "VIZER_AddEventHandlerEx");
    if (id == 1051) return cachedSymbol(SerialDel, library, "VIZER_DelEventHandlerEx");
    return VKDM_Base::GetViZerFunction(id);
}

void* VKDM_KRNReaderModule_4J::GetVkUsbFunction(unsigned int id) {
    if (id < 1100 || id > 1199) return nullptr;
    void* library = LoadVkUsb();
    if (library == nullptr) return nullptr;
    if (id == 1150) return cachedSymbol(UsbAdd, library, "VKUSB_AddEventHandlerEx");
    if (id == 1151) return cachedSymbol(UsbDel, library, "VKUSB_DelEventHandlerEx");
    return VKDM_Base::GetVkUsbFunction(id);
}

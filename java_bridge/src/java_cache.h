// What JNI_OnLoad keeps for the natives and the callbacks: the JVM, weak
// references to the four classes and their callback method ids, and the global
// lock g_mutex.
#ifndef NUBOKRN4J_JAVA_CACHE_H
#define NUBOKRN4J_JAVA_CACHE_H

#include <jni.h>

#include <atomic>

namespace nubokrn4j {

inline constexpr jint kJniVersion = 0x00010002; // JNI 1.2

extern std::atomic<JavaVM*> g_jvm;
extern jweak g_jcVkdmFunctionUnit;
extern jweak g_jcVkdmReader;
extern jmethodID g_jmidOnVkKrnStrEvent;
extern jmethodID g_jmidOnVkKrnPrtEvent;
extern jmethodID g_jmidOnVkdmNewTag;
extern jmethodID g_jmidOnVkdmNewNotification;
extern jmethodID g_jmidOnVkdmSAMResponse;
extern jweak g_jcVkdmDlqCommandQueue;
extern jmethodID g_jmidOnVkdmQueueResponse;
extern jweak g_jcVkdmDlqApdu;
extern jmethodID g_jmidOnVkdmApduResponse;

// The global lock: serialises Init with the connect natives. Taken first in the
// lock order (before a registry's list mutex); never held across a throw.
void VKDM_P();
void VKDM_V();

} // namespace nubokrn4j

#endif

// Loading and unloading by the JVM: the Java cache and the global lock.
#include "java_cache.h"

#include <jni.h>
#include <pthread.h>

namespace nubokrn4j {

namespace {

pthread_mutex_t g_mutex;
bool g_mutexMade = false;

struct MethodEntry {
    jmethodID* id;
    const char* name;
    const char* signature;
};

// A class's weak reference and its method ids; false (local reference dropped,
// the JVM's error pending) when a step fails.
bool cacheClass(JNIEnv* env, const char* name, jweak& weak, std::initializer_list<MethodEntry> methods) {
    jclass local = env->FindClass(name);
    if (local == nullptr || env->ExceptionCheck()) return false;
    weak = env->NewWeakGlobalRef(local);
    bool ok = weak != nullptr && !env->ExceptionCheck();
    for (const MethodEntry& m : methods) {
        if (!ok) break;
        *m.id = env->GetMethodID(local, m.name, m.signature);
        ok = *m.id != nullptr && !env->ExceptionCheck();
    }
    env->DeleteLocalRef(local);
    return ok;
}

void dropClasses(JNIEnv* env) {
    for (jweak* weak : {&g_jcVkdmReader, &g_jcVkdmFunctionUnit, &g_jcVkdmDlqCommandQueue, &g_jcVkdmDlqApdu}) {
        if (*weak != nullptr && env != nullptr) env->DeleteWeakGlobalRef(*weak);
        *weak = nullptr;
    }
}

} // namespace

void VKDM_P() {
    pthread_mutex_lock(&g_mutex);
}

void VKDM_V() {
    pthread_mutex_unlock(&g_mutex);
}

} // namespace nubokrn4j

using namespace nubokrn4j;

extern "C" JNIEXPORT jint JNICALL JNI_OnLoad(JavaVM* vm, void*) {
    g_jvm.store(vm);
    JNIEnv* env = nullptr;
    if (vm->GetEnv(reinterpret_cast<void**>(&env), kJniVersion) != JNI_OK || env == nullptr) return -1;
    const bool cached = cacheClass(env, "de/varek/VkdmKrnFunctionUnit", g_jcVkdmFunctionUnit, {}) &&
                        cacheClass(env, "de/varek/VkdmKrnReader", g_jcVkdmReader,
                                   {{&g_jmidOnVkKrnStrEvent, "onVkKrnEvent", "(ILjava/lang/String;)V"},
                                    {&g_jmidOnVkKrnPrtEvent, "onVkKrnEvent", "(I[B)V"},
                                    {&g_jmidOnVkdmNewTag, "onVkdmNewTag", "(IB)V"},
                                    {&g_jmidOnVkdmNewNotification, "onVkdmNewNotification", "(IB)V"},
                                    {&g_jmidOnVkdmSAMResponse, "onVkdmNewSAMResponse", "(I[B)V"}}) &&
                        cacheClass(env, "de/varek/VkdmDlqCommandQueue", g_jcVkdmDlqCommandQueue,
                                   {{&g_jmidOnVkdmQueueResponse, "onVkdmQueueResponse", "(IB[B)V"}}) &&
                        cacheClass(env, "de/varek/VkdmDlqApdu", g_jcVkdmDlqApdu,
                                   {{&g_jmidOnVkdmApduResponse, "onVkdmApduResponse", "(I[B)V"}});
    if (!cached) {
        // The JVM refuses the library; what was made so far goes.
        dropClasses(env);
        return -1;
    }
    if (pthread_mutex_init(&g_mutex, nullptr) != 0) {
        dropClasses(env);
        return -1;
    }
    g_mutexMade = true;
    return kJniVersion;
}

extern "C" JNIEXPORT void JNICALL JNI_OnUnload(JavaVM* vm, void*) {
    if (g_mutexMade) {
        pthread_mutex_destroy(&g_mutex);
        g_mutexMade = false;
    }
    JNIEnv* env = nullptr;
    if (vm->GetEnv(reinterpret_cast<void**>(&env), kJniVersion) != JNI_OK) env = nullptr;
    if (env != nullptr) dropClasses(env);
}

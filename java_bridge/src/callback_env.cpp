#include "callback_env.h"

#include "java_cache.h"

namespace nubokrn4j {

JNIEnv* envOf(JavaVM* vm) {
    JNIEnv* env = nullptr;
    if (vm == nullptr || vm->GetEnv(reinterpret_cast<void**>(&env), kJniVersion) != JNI_OK) return nullptr;
    return env;
}

CallbackEnv::CallbackEnv(JavaVM* vm) {
    if (vm == nullptr) return;
    JNIEnv* env = nullptr;
    const jint got = vm->GetEnv(reinterpret_cast<void**>(&env), kJniVersion);
    if (got == JNI_OK) {
        env_ = env;
        return;
    }
    // Only a detached thread is attached, and only what was attached here is
    // detached again.
    if (got != JNI_EDETACHED) return;
    if (vm->AttachCurrentThread(reinterpret_cast<void**>(&env), nullptr) != JNI_OK || env == nullptr) return;
    attachedTo_ = vm;
    env_ = env;
}

CallbackEnv::~CallbackEnv() {
    if (attachedTo_ != nullptr) attachedTo_->DetachCurrentThread();
}

void callListener(JNIEnv* env, jobject listener, jmethodID method, const jvalue* args) {
    if (env == nullptr || listener == nullptr || method == nullptr) return;
    jobject local = env->NewLocalRef(listener);
    if (local == nullptr) return;
    env->CallVoidMethodA(local, method, args);
    if (env->ExceptionCheck()) {
        env->ExceptionDescribe();
        env->ExceptionClear();
    }
    env->DeleteLocalRef(local);
}

} // namespace nubokrn4j

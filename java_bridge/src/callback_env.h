// A JNIEnv for a callback on a thread of another library: the thread's own
// when it is attached already, else one attached for the callback and detached
// after it. Calls of a listener's void method that never leave an exception
// pending.
#ifndef NUBOKRN4J_CALLBACK_ENV_H
#define NUBOKRN4J_CALLBACK_ENV_H

#include <jni.h>

namespace nubokrn4j {

class CallbackEnv {
  public:
    explicit CallbackEnv(JavaVM* vm);
    ~CallbackEnv();
    CallbackEnv(const CallbackEnv&) = delete;
    CallbackEnv& operator=(const CallbackEnv&) = delete;
    // Null when the thread could not be attached.
    JNIEnv* get() const { return env_; }
    explicit operator bool() const { return env_ != nullptr; }

  private:
    JavaVM* attachedTo_ = nullptr;
    JNIEnv* env_ = nullptr;
};

// The JNIEnv of the calling thread when it is attached; null otherwise.
JNIEnv* envOf(JavaVM* vm);

// Calls `method` on the object behind `listener` (a weak or local reference);
// nothing when it is null or collected. An exception the listener throws is
// described and cleared. Every local reference made here is deleted.
void callListener(JNIEnv* env, jobject listener, jmethodID method, const jvalue* args);

} // namespace nubokrn4j

#endif

// The Java event recorder (vkkrntest.EventRecorder) seen from a test: its
// entry count, an entry's text and whether the thread of its last call lives.
#ifndef VKKRN_TESTS_JAVA_EVENT_RECORDER_H
#define VKKRN_TESTS_JAVA_EVENT_RECORDER_H

#include <vktesting/test_jvm.h>

#include <jni.h>

#include <string>

namespace vkkrn_test {

struct JavaEventRecorder {
    JNIEnv* env = nullptr;
    jclass cls = nullptr;
    jobject object = nullptr;

    int count() const {
        const int n = env->CallIntMethod(object, env->GetMethodID(cls, "count", "()I"));
        vktesting::expectNoJavaException(env); // -Xcheck:jni wants the check before the next call
        return n;
    }
    std::u16string entry(int i) const {
        const auto text = static_cast<jstring>(
            env->CallObjectMethod(object, env->GetMethodID(cls, "entry", "(I)Ljava/lang/String;"), i));
        vktesting::expectNoJavaException(env);
        const jchar* chars = env->GetStringChars(text, nullptr);
        std::u16string out(reinterpret_cast<const char16_t*>(chars),
                           static_cast<std::size_t>(env->GetStringLength(text)));
        env->ReleaseStringChars(text, chars);
        env->DeleteLocalRef(text);
        return out;
    }
    bool lastThreadAlive() const {
        const bool alive = env->CallBooleanMethod(object, env->GetMethodID(cls, "lastThreadAlive", "()Z"));
        vktesting::expectNoJavaException(env);
        return alive;
    }
};

} // namespace vkkrn_test

#endif

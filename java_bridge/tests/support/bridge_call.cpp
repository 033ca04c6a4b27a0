#include "bridge_call.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace vkbridge {

namespace {

// CheckJNI wants an exception check after every call into Java.
bool failed(JNIEnv* env) {
    if (!env->ExceptionCheck()) return false;
    env->ExceptionClear();
    return true;
}

} // namespace

std::string utf8(JNIEnv* env, jstring string) {
    if (string == nullptr) return {};
    const char* chars = env->GetStringUTFChars(string, nullptr);
    std::string text = chars != nullptr ? chars : "";
    if (chars != nullptr) env->ReleaseStringUTFChars(string, chars);
    return text;
}

std::string hexText(const std::vector<std::uint8_t>& bytes) {
    std::string text;
    char pair[3];
    for (std::uint8_t b : bytes) {
        std::snprintf(pair, sizeof pair, "%02X", b);
        text += pair;
    }
    return text;
}

std::u16string utf16(JNIEnv* env, jstring string) {
    if (string == nullptr) return {};
    const jsize n = env->GetStringLength(string);
    std::u16string text(static_cast<std::size_t>(n), u'\0');
    env->GetStringRegion(string, 0, n, reinterpret_cast<jchar*>(text.data()));
    return text;
}

std::optional<Thrown> takeException(JNIEnv* env) {
    jthrowable exception = env->ExceptionOccurred();
    if (exception == nullptr) return std::nullopt;
    env->ExceptionClear();
    Thrown thrown;
    jclass type = env->GetObjectClass(exception);
    jclass classClass = env->FindClass("java/lang/Class");
    jmethodID getName = env->GetMethodID(classClass, "getName", "()Ljava/lang/String;");
    auto name = static_cast<jstring>(env->CallObjectMethod(type, getName));
    failed(env);
    thrown.className = utf8(env, name);
    env->DeleteLocalRef(name);
    jmethodID getCode = env->GetMethodID(type, "getCode", "()I");
    if (getCode != nullptr) {
        thrown.code = env->CallIntMethod(exception, getCode);
        failed(env);
    } else {
        env->ExceptionClear(); // NoSuchMethodError: a JVM error has no code
    }
    jclass throwable = env->FindClass("java/lang/Throwable");
    jmethodID getMessage = env->GetMethodID(throwable, "getMessage", "()Ljava/lang/String;");
    auto message = static_cast<jstring>(env->CallObjectMethod(exception, getMessage));
    failed(env);
    thrown.message = utf8(env, message);
    thrown.message16 = utf16(env, message);
    env->DeleteLocalRef(message);
    env->DeleteLocalRef(throwable);
    env->DeleteLocalRef(classClass);
    env->DeleteLocalRef(type);
    env->DeleteLocalRef(exception);
    return thrown;
}

Outcome callStatic(JNIEnv* env, const char* className, const char* name, const char* signature,
                   const std::vector<jvalue>& args) {
    Outcome outcome;
    jclass type = env->FindClass(className);
    if (type == nullptr) {
        outcome.thrown = takeException(env);
        ADD_FAILURE() << "no class " << className;
        return outcome;
    }
    jmethodID method = env->GetStaticMethodID(type, name, signature);
    if (method == nullptr) {
        outcome.thrown = takeException(env);
        env->DeleteLocalRef(type);
        ADD_FAILURE() << "no method " << name << signature;
        return outcome;
    }
    const std::string sig = signature;
    const char result = sig[sig.find(')') + 1];
    const jvalue* a = args.empty() ? nullptr : args.data();
    switch (result) {
    case 'V': env->CallStaticVoidMethodA(type, method, a); break;
    case 'I': outcome.value.i = env->CallStaticIntMethodA(type, method, a); break;
    case 'J': outcome.value.j = env->CallStaticLongMethodA(type, method, a); break;
    case 'B': outcome.value.b = env->CallStaticByteMethodA(type, method, a); break;
    case 'Z': outcome.value.z = env->CallStaticBooleanMethodA(type, method, a); break;
    default: outcome.value.l = env->CallStaticObjectMethodA(type, method, a); break;
    }
    outcome.thrown = takeException(env);
    if (result == 'L' || result == '[') {
        outcome.isNull = outcome.value.l == nullptr;
        if (sig.substr(sig.find(')') + 1) == "Ljava/lang/String;" && outcome.value.l != nullptr) {
            outcome.text = utf8(env, static_cast<jstring>(outcome.value.l));
            env->DeleteLocalRef(outcome.value.l);
            outcome.value.l = nullptr;
        }
    }
    env->DeleteLocalRef(type);
    return outcome;
}

Outcome callReader(JNIEnv* env, const char* name, const char* signature, const std::vector<jvalue>& args) {
    return callStatic(env, "de/varek/VkdmKrnReader", name, signature, args);
}

jobject newObject(JNIEnv* env, const char* className) {
    jclass type = env->FindClass(className);
    if (type == nullptr) return nullptr;
    jmethodID init = env->GetMethodID(type, "<init>", "()V");
    jobject object = init != nullptr ? env->NewObject(type, init) : nullptr;
    env->DeleteLocalRef(type);
    return object;
}

std::vector<std::string> recordedCalls(JNIEnv* env, jobject listener, int count, int timeoutMs) {
    std::vector<std::string> calls;
    jclass type = env->GetObjectClass(listener);
    jfieldID field = env->GetFieldID(type, "recorder", "Lvkbridge/Recorder;");
    env->DeleteLocalRef(type);
    if (field == nullptr) {
        takeException(env);
        ADD_FAILURE() << "the listener has no recorder";
        return calls;
    }
    jobject recorder = env->GetObjectField(listener, field);
    jclass recorderClass = env->GetObjectClass(recorder);
    jmethodID await = env->GetMethodID(recorderClass, "await", "(IJ)Z");
    jmethodID countOf = env->GetMethodID(recorderClass, "count", "()I");
    jmethodID call = env->GetMethodID(recorderClass, "call", "(I)Ljava/lang/String;");
    env->CallBooleanMethod(recorder, await, count, static_cast<jlong>(timeoutMs));
    if (failed(env)) ADD_FAILURE() << "await threw";
    const int n = env->CallIntMethod(recorder, countOf);
    if (failed(env)) ADD_FAILURE() << "count threw";
    for (int i = 0; i < n; ++i) {
        auto line = static_cast<jstring>(env->CallObjectMethod(recorder, call, i));
        if (failed(env)) ADD_FAILURE() << "call threw";
        calls.push_back(utf8(env, line));
        env->DeleteLocalRef(line);
    }
    env->DeleteLocalRef(recorderClass);
    env->DeleteLocalRef(recorder);
    return calls;
}

} // namespace vkbridge

// Java values for the natives' tests: byte arrays and strings to and from the
// test JVM, each failing the test on a pending Java exception.
#ifndef KESTOREADER_TESTS_JAVA_VALUES_H
#define KESTOREADER_TESTS_JAVA_VALUES_H

#include <vktesting/test_jvm.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kestoreader_test {

using JavaBytes = std::vector<std::uint8_t>;

inline jbyteArray javaBytes(JNIEnv* env, const JavaBytes& bytes) {
    jbyteArray array = env->NewByteArray(static_cast<jsize>(bytes.size()));
    vktesting::expectNoJavaException(env);
    env->SetByteArrayRegion(array, 0, static_cast<jsize>(bytes.size()),
                            reinterpret_cast<const jbyte*>(bytes.data()));
    vktesting::expectNoJavaException(env);
    return array;
}

// The bytes of a Java array; nothing for null.
inline std::optional<JavaBytes> bytesOf(JNIEnv* env, jbyteArray array) {
    if (array == nullptr) return std::nullopt;
    JavaBytes bytes(static_cast<std::size_t>(env->GetArrayLength(array)));
    env->GetByteArrayRegion(array, 0, static_cast<jsize>(bytes.size()),
                            reinterpret_cast<jbyte*>(bytes.data()));
    vktesting::expectNoJavaException(env);
    env->DeleteLocalRef(array);
    return bytes;
}

// The byte arrays of a Java byte[][]; nothing for null.
inline std::optional<std::vector<JavaBytes>> arraysOf(JNIEnv* env, jobjectArray array) {
    if (array == nullptr) return std::nullopt;
    std::vector<JavaBytes> out;
    const jsize n = env->GetArrayLength(array);
    for (jsize i = 0; i < n; ++i) {
        auto element = static_cast<jbyteArray>(env->GetObjectArrayElement(array, i));
        vktesting::expectNoJavaException(env);
        out.push_back(bytesOf(env, element).value_or(JavaBytes{0xEE, 0xEE}));
    }
    env->DeleteLocalRef(array);
    return out;
}

inline std::optional<std::string> textOf(JNIEnv* env, jstring text) {
    if (text == nullptr) return std::nullopt;
    const char* chars = env->GetStringUTFChars(text, nullptr);
    vktesting::expectNoJavaException(env);
    std::string out(chars);
    env->ReleaseStringUTFChars(text, chars);
    env->DeleteLocalRef(text);
    return out;
}

} // namespace kestoreader_test

#endif

// Java values for the natives' tests: byte arrays and strings to and from the
// test JVM, each failing the test on a pending Java exception.
#ifndef KESTOREADER_TESTS_JAVA_VALUES_H
#define KESTOREADER_TESTS_JAVA_VALUES_H

#include <vktesting/test_jvm.h>

#include <gtest/gtest.h>

#include <cstdarg>
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

// An instance of a class that declares the reader class's natives, called as
// Java code calls them; every call fails the test on a pending exception.
class JavaReader {
  public:
    // Finds the class (running its static initializer) and makes an instance
    // without running a constructor.
    JavaReader(JNIEnv* env, const char* className) : env_(env) {
        type_ = env->FindClass(className);
        vktesting::expectNoJavaException(env);
        if (type_ != nullptr) self_ = env->AllocObject(type_);
        vktesting::expectNoJavaException(env);
    }

    jclass type() const { return type_; }
    bool ready() const { return self_ != nullptr; }

    std::optional<JavaBytes> bytes(const char* name, const char* signature, ...) {
        va_list args;
        va_start(args, signature);
        auto result = static_cast<jbyteArray>(env_->CallObjectMethodV(self_, method(name, signature), args));
        va_end(args);
        vktesting::expectNoJavaException(env_);
        return bytesOf(env_, result);
    }
    std::optional<std::vector<JavaBytes>> antiCollision(jbyteArray ignored) {
        auto result = static_cast<jobjectArray>(
            env_->CallObjectMethod(self_, method("antiCollision", "([B)[[B"), ignored));
        vktesting::expectNoJavaException(env_);
        if (result != nullptr) {
            jclass arrayOfArrays = env_->FindClass("[[B");
            EXPECT_TRUE(env_->IsInstanceOf(result, arrayOfArrays));
            env_->DeleteLocalRef(arrayOfArrays);
        }
        return arraysOf(env_, result);
    }
    std::optional<std::string> text(const char* name) {
        auto result =
            static_cast<jstring>(env_->CallObjectMethod(self_, method(name, "()Ljava/lang/String;")));
        vktesting::expectNoJavaException(env_);
        return textOf(env_, result);
    }
    jint integer(const char* name, const char* signature, ...) {
        va_list args;
        va_start(args, signature);
        jint result = env_->CallIntMethodV(self_, method(name, signature), args);
        va_end(args);
        vktesting::expectNoJavaException(env_);
        return result;
    }
    jbyte selectReaderMode(jbyteArray mode) {
        jbyte result = env_->CallByteMethod(self_, method("selectReaderMode", "([B)B"), mode);
        vktesting::expectNoJavaException(env_);
        return result;
    }
    bool flag(const char* name) {
        jboolean result = env_->CallBooleanMethod(self_, method(name, "()Z"));
        vktesting::expectNoJavaException(env_);
        return result == JNI_TRUE;
    }
    void action(const char* name, const char* signature, ...) {
        va_list args;
        va_start(args, signature);
        env_->CallVoidMethodV(self_, method(name, signature), args);
        va_end(args);
        vktesting::expectNoJavaException(env_);
    }

  private:
    jmethodID method(const char* name, const char* signature) {
        jmethodID id = env_->GetMethodID(type_, name, signature);
        vktesting::expectNoJavaException(env_);
        return id;
    }

    JNIEnv* env_;
    jclass type_ = nullptr;
    jobject self_ = nullptr;
};

// What every native answers while no reader is current.
inline void expectNoReaderDefaults(JNIEnv* env, JavaReader& reader) {
    EXPECT_FALSE(reader.flag("isConnected"));
    EXPECT_EQ(reader.text("getName"), "");
    EXPECT_EQ(reader.text("checkVersion"), "Cannot get version");
    EXPECT_EQ(reader.text("getFirmwareVersion"), "");
    EXPECT_EQ(reader.selectReaderMode(javaBytes(env, {2, 0, 0, 0})), 3);
    EXPECT_EQ(reader.bytes("sendReceive", "([B)[B", javaBytes(env, {0x26})), JavaBytes{3});
    EXPECT_EQ(reader.bytes("sendReceive14443a", "(B[B)[B", jbyte{0}, javaBytes(env, {0x26})), JavaBytes{3});
    for (const char* name : {"sendReqA", "sendWupA", "sendHltA", "sendRats", "sendPps"})
        EXPECT_EQ(reader.bytes(name, "()[B"), JavaBytes{3}) << name;
    EXPECT_EQ(reader.antiCollision(nullptr), std::vector<JavaBytes>{});
    reader.action("setAnticollisionAlgo", "([B)V", javaBytes(env, {1, 4}));
    EXPECT_EQ(reader.integer("getMaxTransmitLengthInBytes", "()I"), 0);
    EXPECT_EQ(reader.integer("getMaxReceiveLengthInBytes", "()I"), 0);
    EXPECT_EQ(reader.integer("selectTag14443A", "([B)I", javaBytes(env, {1, 2, 3, 4})), 255);
    EXPECT_EQ(reader.integer("deselectTag14443A", "([B)I", javaBytes(env, {1, 2, 3, 4})), 255);
}

} // namespace kestoreader_test

#endif

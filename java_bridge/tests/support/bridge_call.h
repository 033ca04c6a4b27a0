// Test support for the bridge's natives: call a native as Java calls it (a
// static method bound by the JVM by name) and see what came back: the result,
// or the exception's class, code and message. Also reads the Java recorders
// (vkbridge.Recorder) of listener objects.
#ifndef VKBRIDGE_BRIDGE_CALL_H
#define VKBRIDGE_BRIDGE_CALL_H

#include <jni.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vkbridge {

struct Thrown {
    std::string className; // "de.varek.VkdmException"
    int code = 0;          // getCode(), when the class has it
    std::string message;   // modified UTF-8
    std::u16string message16;
};

struct Outcome {
    jvalue value{};      // the result (object results: a local reference the caller deletes)
    bool isNull = false; // an object result that is null
    std::string text;    // a String result as modified UTF-8
    std::optional<Thrown> thrown;
};

// Calls the static method `name` with `signature` of `className` ("de/varek/VkdmKrnReader").
// A String result is copied into `text` and its reference deleted. A pending
// exception is taken and cleared.
Outcome callStatic(JNIEnv* env, const char* className, const char* name, const char* signature,
                   const std::vector<jvalue>& args = {});
// The same on de/varek/VkdmKrnReader.
Outcome callReader(JNIEnv* env, const char* name, const char* signature,
                   const std::vector<jvalue>& args = {});

inline jvalue I(jint v) {
    jvalue j{};
    j.i = v;
    return j;
}
inline jvalue J(jlong v) {
    jvalue j{};
    j.j = v;
    return j;
}
inline jvalue B(jbyte v) {
    jvalue j{};
    j.b = v;
    return j;
}
inline jvalue Z(bool v) {
    jvalue j{};
    j.z = v ? JNI_TRUE : JNI_FALSE;
    return j;
}
inline jvalue L(jobject v) {
    jvalue j{};
    j.l = v;
    return j;
}

// The pending exception, cleared; nothing when none is pending.
std::optional<Thrown> takeException(JNIEnv* env);
std::string utf8(JNIEnv* env, jstring string);
// Bytes as the natives' hex text: two upper-case digits each ("%02X").
std::string hexText(const std::vector<std::uint8_t>& bytes);
std::u16string utf16(JNIEnv* env, jstring string);

// A new object of a class with a no-argument constructor (a local reference).
jobject newObject(JNIEnv* env, const char* className);
// The calls a listener's `recorder` field holds, after waiting up to
// `timeoutMs` for `count` of them.
std::vector<std::string> recordedCalls(JNIEnv* env, jobject listener, int count, int timeoutMs);

} // namespace vkbridge

#endif

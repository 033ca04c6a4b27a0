// Fields of Java objects by name, as the data classes carry them: one setter
// per JNI type, each looking the field up per call and releasing what it made
// (a byte array, a String) once stored; readers of the same kinds. Every
// function that can leave a Java exception pending (a missing field raises
// NoSuchFieldError) reports it: false, or nothing.
#ifndef NUBOKRN4J_JAVA_FIELDS_H
#define NUBOKRN4J_JAVA_FIELDS_H

#include <jni.h>

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace nubokrn4j {

// An object of a class found by name, with the class: both local references,
// deleted with the holder. Empty with an exception pending or when the class
// or constructor gave nothing.
class JavaObject {
  public:
    JavaObject(JNIEnv* env, const char* className);
    ~JavaObject();
    JavaObject(const JavaObject&) = delete;
    JavaObject& operator=(const JavaObject&) = delete;

    // Finds the class; false when the JVM gave none.
    bool findClass();
    // Constructs through `signature` ("()V", "(II)V", ...); false when no object.
    bool construct(const char* signature, ...);

    jclass type() const { return type_; }
    jobject object() const { return object_; }
    // Hands the object over to the caller (a local reference it deletes).
    jobject release();

  private:
    JNIEnv* env_;
    const char* className_;
    jclass type_ = nullptr;
    jobject object_ = nullptr;
};

bool setBooleanField(JNIEnv* env, jobject object, jclass type, const char* name, bool value);
bool setByteField(JNIEnv* env, jobject object, jclass type, const char* name, std::uint8_t value);
bool setIntField(JNIEnv* env, jobject object, jclass type, const char* name, jint value);
// A new byte[] of exactly these bytes.
bool setBytesField(JNIEnv* env, jobject object, jclass type, const char* name,
                   std::span<const std::uint8_t> bytes);
// A new String of the text through the bridge's converter (any bytes).
bool setStringField(JNIEnv* env, jobject object, jclass type, const char* name, std::string_view text);
// An object reference of the field's signature; the value is the caller's.
bool setObjectField(JNIEnv* env, jobject object, jclass type, const char* name, const char* signature,
                    jobject value);

// A new byte[] of the bytes; null with an exception pending.
jbyteArray newByteArray(JNIEnv* env, std::span<const std::uint8_t> bytes);

std::optional<std::uint8_t> byteField(JNIEnv* env, jobject object, jclass type, const char* name);
std::optional<bool> booleanField(JNIEnv* env, jobject object, jclass type, const char* name);
std::optional<jint> intField(JNIEnv* env, jobject object, jclass type, const char* name);
// An object field's value (a local reference the caller deletes); nothing with
// an exception pending, a null value when the field holds null.
std::optional<jobject> objectField(JNIEnv* env, jobject object, jclass type, const char* name,
                                   const char* signature);

// The first `count` bytes of a byte[] (GetByteArrayRegion: a shorter array
// leaves the JVM's bounds exception pending and gives nothing).
std::optional<std::vector<std::uint8_t>> arrayBytes(JNIEnv* env, jbyteArray array, jsize count);

} // namespace nubokrn4j

#endif

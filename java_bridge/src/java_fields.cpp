#include "java_fields.h"

#include "java_text.h"

#include <cstdarg>

namespace nubokrn4j {

namespace {

bool pending(JNIEnv* env) {
    return env->ExceptionCheck() == JNI_TRUE;
}

jfieldID fieldId(JNIEnv* env, jclass type, const char* name, const char* signature) {
    jfieldID id = env->GetFieldID(type, name, signature);
    if (pending(env)) return nullptr;
    return id;
}

// Stores a local reference and deletes it.
bool storeReference(JNIEnv* env, jobject object, jclass type, const char* name, const char* signature,
                    jobject value) {
    if (value == nullptr) return false;
    const bool stored = setObjectField(env, object, type, name, signature, value);
    env->DeleteLocalRef(value);
    return stored;
}

} // namespace

JavaObject::JavaObject(JNIEnv* env, const char* className) : env_(env), className_(className) {}

JavaObject::~JavaObject() {
    if (object_ != nullptr) env_->DeleteLocalRef(object_);
    if (type_ != nullptr) env_->DeleteLocalRef(type_);
}

bool JavaObject::findClass() {
    type_ = env_->FindClass(className_);
    if (pending(env_) && type_ != nullptr) {
        env_->DeleteLocalRef(type_);
        type_ = nullptr;
    }
    return type_ != nullptr;
}

bool JavaObject::construct(const char* signature, ...) {
    jmethodID init = env_->GetMethodID(type_, "<init>", signature);
    if (init == nullptr || pending(env_)) return false;
    va_list args;
    va_start(args, signature);
    object_ = env_->NewObjectV(type_, init, args);
    va_end(args);
    if (pending(env_) && object_ != nullptr) {
        env_->DeleteLocalRef(object_);
        object_ = nullptr;
    }
    return object_ != nullptr;
}

jobject JavaObject::release() {
    jobject object = object_;
    object_ = nullptr;
    return object;
}

bool setBooleanField(JNIEnv* env, jobject object, jclass type, const char* name, bool value) {
    jfieldID id = fieldId(env, type, name, "Z");
    if (id == nullptr) return false;
    env->SetBooleanField(object, id, value ? JNI_TRUE : JNI_FALSE);
    return !pending(env);
}

bool setByteField(JNIEnv* env, jobject object, jclass type, const char* name, std::uint8_t value) {
    jfieldID id = fieldId(env, type, name, "B");
    if (id == nullptr) return false;
    env->SetByteField(object, id, static_cast<jbyte>(value));
    return !pending(env);
}

bool setIntField(JNIEnv* env, jobject object, jclass type, const char* name, jint value) {
    jfieldID id = fieldId(env, type, name, "I");
    if (id == nullptr) return false;
    env->SetIntField(object, id, value);
    return !pending(env);
}

bool setObjectField(JNIEnv* env, jobject object, jclass type, const char* name, const char* signature,
                    jobject value) {
    jfieldID id = fieldId(env, type, name, signature);
    if (id == nullptr) return false;
    env->SetObjectField(object, id, value);
    return !pending(env);
}

jbyteArray newByteArray(JNIEnv* env, std::span<const std::uint8_t> bytes) {
    jbyteArray array = env->NewByteArray(static_cast<jsize>(bytes.size()));
    if (array == nullptr || pending(env)) return nullptr;
    if (!bytes.empty())
        env->SetByteArrayRegion(array, 0, static_cast<jsize>(bytes.size()),
                                reinterpret_cast<const jbyte*>(bytes.data()));
    if (pending(env)) {
        env->DeleteLocalRef(array);
        return nullptr;
    }
    return array;
}

bool setBytesField(JNIEnv* env, jobject object, jclass type, const char* name,
                   std::span<const std::uint8_t> bytes) {
    return storeReference(env, object, type, name, "[B", newByteArray(env, bytes));
}

bool setStringField(JNIEnv* env, jobject object, jclass type, const char* name, std::string_view text) {
    return storeReference(env, object, type, name, "Ljava/lang/String;", newJavaString(env, text));
}

std::optional<std::uint8_t> byteField(JNIEnv* env, jobject object, jclass type, const char* name) {
    jfieldID id = fieldId(env, type, name, "B");
    if (id == nullptr) return std::nullopt;
    const jbyte value = env->GetByteField(object, id);
    if (pending(env)) return std::nullopt;
    return static_cast<std::uint8_t>(value);
}

std::optional<bool> booleanField(JNIEnv* env, jobject object, jclass type, const char* name) {
    jfieldID id = fieldId(env, type, name, "Z");
    if (id == nullptr) return std::nullopt;
    const jboolean value = env->GetBooleanField(object, id);
    if (pending(env)) return std::nullopt;
    return value != JNI_FALSE;
}

std::optional<jint> intField(JNIEnv* env, jobject object, jclass type, const char* name) {
    jfieldID id = fieldId(env, type, name, "I");
    if (id == nullptr) return std::nullopt;
    const jint value = env->GetIntField(object, id);
    if (pending(env)) return std::nullopt;
    return value;
}

std::optional<jobject> objectField(JNIEnv* env, jobject object, jclass type, const char* name,
                                   const char* signature) {
    jfieldID id = fieldId(env, type, name, signature);
    if (id == nullptr) return std::nullopt;
    jobject value = env->GetObjectField(object, id);
    if (pending(env)) {
        if (value != nullptr) env->DeleteLocalRef(value);
        return std::nullopt;
    }
    return value;
}

std::optional<std::vector<std::uint8_t>> arrayBytes(JNIEnv* env, jbyteArray array, jsize count) {
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(count));
    if (count > 0) env->GetByteArrayRegion(array, 0, count, reinterpret_cast<jbyte*>(bytes.data()));
    if (pending(env)) return std::nullopt;
    return bytes;
}

} // namespace nubokrn4j

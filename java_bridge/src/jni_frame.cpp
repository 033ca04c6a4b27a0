#include "jni_frame.h"

#include "java_text.h"

namespace nubokrn4j {

namespace {

jint throwClass(JNIEnv* env, ExceptionClass cls, jint handle, jint code, std::string_view function,
                int line) {
    if (env->ExceptionCheck()) return JNI_ERR;
    const bool status = cls == ExceptionClass::Vkdm && code >= 0;
    const std::string text =
        toModifiedUtf8(codeText(handle, code, status, g_VkdmReaderManager, g_VkdmFunctionUnitManager));
    return throwWithMessage(env, cls, composeMessage(code, status, text, function, line), code);
}

} // namespace

jint throwWithMessage(JNIEnv* env, ExceptionClass cls, const std::string& message, jint code) {
    if (env->ExceptionCheck()) return JNI_ERR;
    LocalFrame frame(env, 4);
    if (!frame) return JNI_ERR;
    // Looked up at every throw: the class may come from any loader's jar.
    jclass type = env->FindClass(exceptionClassName(cls));
    if (type == nullptr || env->ExceptionCheck()) return JNI_ERR;
    jmethodID init = env->GetMethodID(type, "<init>", "(Ljava/lang/String;I)V");
    if (init == nullptr || env->ExceptionCheck()) return JNI_ERR;
    jstring jmessage = env->NewStringUTF(message.c_str());
    if (jmessage == nullptr || env->ExceptionCheck()) return JNI_ERR;
    jobject exception = env->NewObject(type, init, jmessage, code);
    if (exception == nullptr || env->ExceptionCheck()) return JNI_ERR;
    return env->Throw(static_cast<jthrowable>(exception));
}

jint ExecuteVkdmException(JNIEnv* env, jint handle, jint code, std::string_view function, int line) {
    return throwClass(env, ExceptionClass::Vkdm, handle, code, function, line);
}

jint ExecutePortDriverException(JNIEnv* env, jint handle, jint code, std::string_view function, int line) {
    return throwClass(env, ExceptionClass::PortDriver, handle, code, function, line);
}

jint ExecuteReaderDriverException(JNIEnv* env, jint handle, jint code, std::string_view function, int line) {
    return throwClass(env, ExceptionClass::ReaderDriver, handle, code, function, line);
}

jint throwByRange(JNIEnv* env, jint handle, jint code, RangeTable ranges, std::string_view function,
                  int line) {
    const auto cls = chooseException(code, ranges);
    if (!cls) return JNI_ERR;
    return throwClass(env, *cls, handle, code, function, line);
}

// ---- holders ------------------------------------------------------------------

UtfChars::UtfChars(JNIEnv* env, jstring string) : env_(env), string_(string) {
    if (string_ == nullptr || env_->ExceptionCheck()) return;
    chars_ = env_->GetStringUTFChars(string_, nullptr);
    if (env_->ExceptionCheck() && chars_ != nullptr) {
        env_->ReleaseStringUTFChars(string_, chars_);
        chars_ = nullptr;
    }
}

UtfChars::~UtfChars() {
    if (chars_ != nullptr) env_->ReleaseStringUTFChars(string_, chars_);
}

namespace {

jbyte* elementsOf(JNIEnv* env, jbyteArray a) {
    return env->GetByteArrayElements(a, nullptr);
}
jboolean* elementsOf(JNIEnv* env, jbooleanArray a) {
    return env->GetBooleanArrayElements(a, nullptr);
}
jint* elementsOf(JNIEnv* env, jintArray a) {
    return env->GetIntArrayElements(a, nullptr);
}
jlong* elementsOf(JNIEnv* env, jlongArray a) {
    return env->GetLongArrayElements(a, nullptr);
}
void release(JNIEnv* env, jbyteArray a, jbyte* e) {
    env->ReleaseByteArrayElements(a, e, 0);
}
void release(JNIEnv* env, jbooleanArray a, jboolean* e) {
    env->ReleaseBooleanArrayElements(a, e, 0);
}
void release(JNIEnv* env, jintArray a, jint* e) {
    env->ReleaseIntArrayElements(a, e, 0);
}
void release(JNIEnv* env, jlongArray a, jlong* e) {
    env->ReleaseLongArrayElements(a, e, 0);
}

} // namespace

template <typename Array, typename Element>
ArrayElements<Array, Element>::ArrayElements(JNIEnv* env, Array array) : env_(env), array_(array) {
    if (array_ == nullptr || env_->ExceptionCheck()) return;
    length_ = env_->GetArrayLength(array_);
    if (env_->ExceptionCheck()) return;
    elements_ = elementsOf(env_, array_);
    if (env_->ExceptionCheck() && elements_ != nullptr) {
        release(env_, array_, elements_);
        elements_ = nullptr;
    }
}

template <typename Array, typename Element> ArrayElements<Array, Element>::~ArrayElements() {
    if (elements_ != nullptr) release(env_, array_, elements_);
}

template class ArrayElements<jbyteArray, jbyte>;
template class ArrayElements<jbooleanArray, jboolean>;
template class ArrayElements<jintArray, jint>;
template class ArrayElements<jlongArray, jlong>;

// ---- the check sequence ----------------------------------------------------------

bool NativeFrame::references(std::initializer_list<const void*> refs, int line) {
    for (const void* ref : refs) {
        if (ref == nullptr) {
            fail(kNullArgument, line);
            return false;
        }
    }
    return true;
}

VKDM_KRNReaderModule_4J* NativeFrame::module(int line) {
    VKDM_KRNReaderModule_4J* found = g_VkdmReaderManager.SearchReaderModule(handle_);
    if (found == nullptr) fail(kNotRegistered, line);
    return found;
}

VKDM_KRNFunctionUnit* NativeFrame::unit(int line) {
    VKDM_KRNFunctionUnit* found = g_VkdmFunctionUnitManager.SearchModule(handle_);
    if (found == nullptr) fail(kNotRegistered, line);
    return found;
}

VKDM_KRNFunctionUnit* NativeFrame::unitOnLiveModule(int line) {
    VKDM_KRNFunctionUnit* found = unit(line);
    if (found == nullptr) return nullptr;
    if (g_VkdmReaderManager.SearchReaderModule(g_VkdmFunctionUnitManager.GetReaderModuleOf(handle_)) ==
        nullptr) {
        fail(kNotRegistered, line);
        return nullptr;
    }
    return found;
}

const char* NativeFrame::chars(const UtfChars& text, int line) {
    if (text.get() != nullptr) return text.get();
    if (!pending()) fail(kNullArgument, line);
    return nullptr;
}

jint NativeFrame::fail(jint code, int line) {
    ExecuteVkdmException(env_, handle_, code, function_, line);
    return code;
}

jint NativeFrame::result(jint code, int line) {
    if (code < 0) throwByRange(env_, handle_, code, ranges_, function_, line);
    return code;
}

} // namespace nubokrn4j

// The frame every native of the bridge runs in: the exception builders, holders
// that give back what the JVM lent (UTF characters, array elements, local
// frames) on every path, and one argument-check sequence:
//   reference arguments (-121), handle lookup (-141), conversions in parameter
//   order, the core call, releases, the throw chosen by the native's range table.
// After every JNI call that can raise, the native checks before the next; with
// an exception pending it only releases and returns, and never throws again.
#ifndef NUBOKRN4J_JNI_FRAME_H
#define NUBOKRN4J_JNI_FRAME_H

#include "bridge_codes.h"
#include "messages.h"
#include "registry.h"

#include <jni.h>

#include <initializer_list>
#include <string>
#include <string_view>

namespace nubokrn4j {

// The three builders: the message for (handle, code), one Java exception thrown.
// The result of Throw, or JNI_ERR when nothing was thrown (an exception was
// already pending, or the class or its constructor is missing: the JVM's own
// error is pending then).
jint ExecuteVkdmException(JNIEnv* env, jint handle, jint code, std::string_view function, int line);
jint ExecutePortDriverException(JNIEnv* env, jint handle, jint code, std::string_view function, int line);
jint ExecuteReaderDriverException(JNIEnv* env, jint handle, jint code, std::string_view function, int line);
// The builder the range table picks; nothing for a code of 0 or more.
jint throwByRange(JNIEnv* env, jint handle, jint code, RangeTable ranges, std::string_view function,
                  int line);
// Throws `cls` with a message composed by the caller (modified UTF-8).
jint throwWithMessage(JNIEnv* env, ExceptionClass cls, const std::string& message, jint code);

// PushLocalFrame / PopLocalFrame.
class LocalFrame {
  public:
    LocalFrame(JNIEnv* env, jint capacity) : env_(env), pushed_(env->PushLocalFrame(capacity) == 0) {}
    ~LocalFrame() {
        if (pushed_) env_->PopLocalFrame(nullptr);
    }
    LocalFrame(const LocalFrame&) = delete;
    LocalFrame& operator=(const LocalFrame&) = delete;
    explicit operator bool() const { return pushed_; }
    // Pops the frame now; `result` lives on as a reference of the frame below.
    jobject pop(jobject result) {
        if (!pushed_) return result;
        pushed_ = false;
        return env_->PopLocalFrame(result);
    }

  private:
    JNIEnv* env_;
    bool pushed_;
};

// A String's modified UTF-8 characters, released on every path.
class UtfChars {
  public:
    UtfChars(JNIEnv* env, jstring string);
    ~UtfChars();
    UtfChars(const UtfChars&) = delete;
    UtfChars& operator=(const UtfChars&) = delete;
    // Null for a null String, when an exception is pending, or when the JVM gave none.
    const char* get() const { return chars_; }

  private:
    JNIEnv* env_;
    jstring string_;
    const char* chars_ = nullptr;
};

// A primitive array's elements, given back with mode 0 (copied back and freed)
// on every path.
template <typename Array, typename Element> class ArrayElements {
  public:
    ArrayElements(JNIEnv* env, Array array);
    ~ArrayElements();
    ArrayElements(const ArrayElements&) = delete;
    ArrayElements& operator=(const ArrayElements&) = delete;
    Element* get() const { return elements_; }
    jsize length() const { return length_; }

  private:
    JNIEnv* env_;
    Array array_;
    Element* elements_ = nullptr;
    jsize length_ = 0;
};
using ByteElements = ArrayElements<jbyteArray, jbyte>;
using BooleanElements = ArrayElements<jbooleanArray, jboolean>;
using IntElements = ArrayElements<jintArray, jint>;
using LongElements = ArrayElements<jlongArray, jlong>;

// One native's run: its handle, function-name text and range table.
class NativeFrame {
  public:
    NativeFrame(JNIEnv* env, jint handle, std::string function, RangeTable ranges = kVkdmOnly)
        : env_(env), handle_(handle), function_(std::move(function)), ranges_(ranges) {}

    JNIEnv* env() const { return env_; }
    jint handle() const { return handle_; }
    bool pending() const { return env_->ExceptionCheck() == JNI_TRUE; }
    // The function-name text, composed per call (for example with the arguments).
    void setFunction(std::string function) { function_ = std::move(function); }

    // False after throwing -121 when any reference argument is null.
    bool references(std::initializer_list<const void*> refs, int line);
    // The listed module or unit; null after throwing -141.
    VKDM_KRNReaderModule_4J* module(int line);
    VKDM_KRNFunctionUnit* unit(int line);
    // The listed unit whose reader module is still listed; null after throwing
    // -141 with the unit's handle (a unit outliving its module would reach a
    // freed reader).
    VKDM_KRNFunctionUnit* unitOnLiveModule(int line);
    // A converted String: its characters, or null after throwing -121 (or with
    // the JVM's exception pending).
    const char* chars(const UtfChars& text, int line);
    // Throws `code` through VkdmException; returns it.
    jint fail(jint code, int line);
    // Throws a negative `code` by the range table; returns it.
    jint result(jint code, int line);

  private:
    JNIEnv* env_;
    jint handle_;
    std::string function_;
    RangeTable ranges_;
};

} // namespace nubokrn4j

#endif

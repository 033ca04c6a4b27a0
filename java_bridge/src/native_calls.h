// Pieces the natives share beside the frame: String arguments held for one
// call, the global lock for one core call, and the run of a native that only
// looks its module up and asks it.
#ifndef NUBOKRN4J_NATIVE_CALLS_H
#define NUBOKRN4J_NATIVE_CALLS_H

#include "java_cache.h"
#include "jni_frame.h"

#include <array>
#include <cstddef>
#include <optional>

namespace nubokrn4j {

// The String arguments of one native, converted in parameter order after the
// handle lookup and released when the holder goes (before the native throws on
// its result, when the holder's scope ends first).
template <std::size_t N> class NativeTexts {
  public:
    // Converts each String in order; false when one conversion ended the native
    // (the JVM's exception pending, or -121 thrown for a null text).
    bool convert(NativeFrame& frame, const std::array<jstring, N>& strings, int line) {
        for (std::size_t k = 0; k < N; ++k) {
            holders_[k].emplace(frame.env(), strings[k]);
            chars_[k] = frame.chars(*holders_[k], line);
            if (chars_[k] == nullptr) return false;
        }
        return true;
    }
    const char* operator[](std::size_t k) const { return chars_[k]; }

  private:
    std::array<std::optional<UtfChars>, N> holders_;
    std::array<const char*, N> chars_{};
};

// The global lock for one core call.
class GlobalLock {
  public:
    GlobalLock() { VKDM_P(); }
    ~GlobalLock() { VKDM_V(); }
    GlobalLock(const GlobalLock&) = delete;
    GlobalLock& operator=(const GlobalLock&) = delete;
};

// The listed module's answer `ask`(module), returned as it is; `unlisted`
// after -141 was thrown.
template <typename Result, typename Ask>
Result askModule(JNIEnv* env, jint handle, const char* function, Result unlisted, Ask&& ask) {
    NativeFrame frame(env, handle, function);
    VKDM_KRNReaderModule_4J* module = frame.module(__LINE__);
    if (module == nullptr) return unlisted;
    return ask(module);
}

// The same for a result that a negative value throws by `ranges`.
template <typename Ask>
jint askModule(JNIEnv* env, jint handle, const char* function, RangeTable ranges, Ask&& ask) {
    NativeFrame frame(env, handle, function, ranges);
    VKDM_KRNReaderModule_4J* module = frame.module(__LINE__);
    if (module == nullptr) return kNotRegistered;
    return frame.result(ask(module), __LINE__);
}

} // namespace nubokrn4j

#endif

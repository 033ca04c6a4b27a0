// The String arguments of one native, converted in parameter order after the
// handle lookup and released when the holder goes (before the native throws on
// its result, when the holder's scope ends first).
#ifndef NUBOKRN4J_NATIVE_TEXTS_H
#define NUBOKRN4J_NATIVE_TEXTS_H

#include "java_cache.h"
#include "jni_frame.h"

#include <array>
#include <cstddef>
#include <optional>

namespace nubokrn4j {

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

} // namespace nubokrn4j

#endif

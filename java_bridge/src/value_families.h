// The value natives as families: one routine per family, run for every key
// kind (value_keys.h) and Java type. Each native is one call of its family's
// routine with its descriptor (texts, key, value).
//
// The shared sequence: null references (-121), the module (-141), the key's
// text (-121 when the JVM gives none), the value's text, the family's step,
// then the releases (array elements, the key's characters, the value's
// characters) and, for a negative result, one VkdmException. With a Java
// exception pending nothing more is raised.
#ifndef NUBOKRN4J_VALUE_FAMILIES_H
#define NUBOKRN4J_VALUE_FAMILIES_H

#include "bridge_codes.h"
#include "java_text.h"
#include "jni_frame.h"
#include "value_keys.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace nubokrn4j {

// A step's result, and whether the core gave it (a configuration native names
// the parameter and the reader only then).
struct Step {
    jint code;
    bool fromCore;
};

// What a getter's Java array element holds and what the core fills for it.
template <typename Array> struct ArraySlot;
template <> struct ArraySlot<jbooleanArray> {
    using Elements = BooleanElements;
    using Core = bool;
    static Core load(jboolean e) { return e != JNI_FALSE; }
    static jboolean store(Core v) { return v ? JNI_TRUE : JNI_FALSE; }
};
template <> struct ArraySlot<jbyteArray> {
    using Elements = ByteElements;
    using Core = unsigned char;
    static Core load(jbyte e) { return static_cast<Core>(e); }
    static jbyte store(Core v) { return static_cast<jbyte>(v); }
};
template <> struct ArraySlot<jintArray> {
    using Elements = IntElements;
    using Core = unsigned int;
    static Core load(jint e) { return static_cast<Core>(e); }
    static jint store(Core v) { return static_cast<jint>(v); }
};
// The core's unsigned 32 bits, zero-extended: never stored through a jlong*.
template <> struct ArraySlot<jlongArray> {
    using Elements = LongElements;
    using Core = unsigned int;
    static Core load(jlong e) { return static_cast<Core>(e); }
    static jlong store(Core v) { return static_cast<jlong>(v); }
};

// Java scalars in the core's types: a long is cut to its low 32 bits.
inline bool coreValue(jboolean v) {
    return v != JNI_FALSE;
}
inline unsigned char coreValue(jbyte v) {
    return static_cast<unsigned char>(v);
}
inline unsigned int coreValue(jint v) {
    return static_cast<unsigned int>(v);
}
inline unsigned int coreValue(jlong v) {
    return static_cast<unsigned int>(static_cast<std::uint64_t>(v));
}

// The shared sequence around `body`(module, value characters or null).
template <typename Key, typename Body>
jint runKeyed(NativeFrame& frame, const Texts& texts, Key& key, std::initializer_list<const void*> refs,
              jstring value, Body&& body) {
    if (!frame.references(refs, __LINE__)) return 0;
    if constexpr (Key::kHasText) {
        if (!frame.references({key.text()}, __LINE__)) return 0;
    }
    VKDM_KRNReaderModule_4J* module = frame.module(__LINE__);
    if (module == nullptr) return kNotRegistered;
    Step step{0, false};
    {
        // Declared in reverse release order: the key's characters go before the value's.
        std::optional<UtfChars> valueChars;
        std::optional<UtfChars> keyChars;
        if constexpr (Key::kHasText) {
            keyChars.emplace(frame.env(), key.text());
            const char* chars = frame.chars(*keyChars, __LINE__);
            if (chars == nullptr) return kNullArgument;
            key.taken(chars);
        }
        const char* valueText = nullptr;
        if (value != nullptr) {
            valueChars.emplace(frame.env(), value);
            valueText = frame.chars(*valueChars, __LINE__);
            if (valueText == nullptr) return kNullArgument;
        }
        step = body(*module, valueText);
    }
    if (step.code < 0) {
        if (step.fromCore) {
            if (auto function = key.failureFunction(texts, *module)) frame.setFunction(std::move(*function));
        }
        frame.fail(step.code, __LINE__);
    }
    return step.code;
}

// Getters of one value into element 0 (boolean[], int[], long[]; the table's byte[]).
// An empty array is refused (-105): the core would write element 0.
template <typename Key, typename Array>
jint getScalarInto(JNIEnv* env, jint handle, const Texts& texts, Key key, Array array) {
    NativeFrame frame(env, handle, texts.function);
    return runKeyed(frame, texts, key, {array}, nullptr,
                    [&](VKDM_KRNReaderModule_4J& m, const char*) -> Step {
                        typename ArraySlot<Array>::Elements elements(env, array);
                        if (elements.get() == nullptr) return {kNullArgument, false};
                        if (elements.length() == 0) return {kEmptyArray, false};
                        typename ArraySlot<Array>::Core value = ArraySlot<Array>::load(elements.get()[0]);
                        const int r = key.get(m, &value);
                        if (r >= 0) elements.get()[0] = ArraySlot<Array>::store(value);
                        return {r, true};
                    });
}

// byte[] getters by identifier or name: one element through the core's
// single-byte form, more through its buffer form with the array's length.
template <typename Key>
jint getBytesInto(JNIEnv* env, jint handle, const Texts& texts, Key key, jbyteArray array) {
    NativeFrame frame(env, handle, texts.function);
    return runKeyed(frame, texts, key, {array}, nullptr,
                    [&](VKDM_KRNReaderModule_4J& m, const char*) -> Step {
                        ByteElements elements(env, array);
                        if (elements.get() == nullptr) return {kNullArgument, false};
                        if (elements.length() == 0) return {kEmptyArray, false};
                        auto* bytes = reinterpret_cast<unsigned char*>(elements.get());
                        if (elements.length() == 1) return {key.get(m, bytes), true};
                        return {key.get(m, bytes, static_cast<int>(elements.length())), true};
                    });
}

// byte[] setters: the whole array with its length, also a single byte.
// `refuseEmpty`: an empty array is -105 before the core.
template <typename Key>
jint setBytesFrom(JNIEnv* env, jint handle, const Texts& texts, Key key, jbyteArray array, bool refuseEmpty) {
    NativeFrame frame(env, handle, texts.function);
    return runKeyed(frame, texts, key, {array}, nullptr,
                    [&](VKDM_KRNReaderModule_4J& m, const char*) -> Step {
                        ByteElements elements(env, array);
                        if (elements.get() == nullptr) return {kNullArgument, false};
                        if (refuseEmpty && elements.length() == 0) return {kEmptyArray, false};
                        auto* bytes = reinterpret_cast<unsigned char*>(elements.get());
                        return {key.set(m, bytes, static_cast<int>(elements.length())), true};
                    });
}

enum class Write { Set, Find };

// Scalar setters and searches: the Java value converted to the core's type.
template <Write op, typename Key, typename Value>
jint putScalar(JNIEnv* env, jint handle, const Texts& texts, Key key, Value value) {
    NativeFrame frame(env, handle, texts.function);
    return runKeyed(frame, texts, key, {}, nullptr, [&](VKDM_KRNReaderModule_4J& m, const char*) -> Step {
        if constexpr (op == Write::Set)
            return {key.set(m, coreValue(value)), true};
        else
            return {key.find(m, coreValue(value)), true};
    });
}

// Text setters and the text search: a copy of the String's characters.
template <Write op, typename Key>
jint putText(JNIEnv* env, jint handle, const Texts& texts, Key key, jstring value) {
    NativeFrame frame(env, handle, texts.function);
    return runKeyed(frame, texts, key, {value}, value,
                    [&](VKDM_KRNReaderModule_4J& m, const char* text) -> Step {
                        if constexpr (op == Write::Set)
                            return {key.set(m, std::string(text)), true};
                        else
                            return {key.find(m, std::string(text)), true};
                    });
}

// Text getters: a new String when the core returns 0, else null (a positive
// status raises nothing).
template <typename Key> jstring getText(JNIEnv* env, jint handle, const Texts& texts, Key key) {
    NativeFrame frame(env, handle, texts.function);
    jstring result = nullptr;
    runKeyed(frame, texts, key, {}, nullptr, [&](VKDM_KRNReaderModule_4J& m, const char*) -> Step {
        std::string text;
        const int r = key.get(m, text);
        if (r == 0) result = newJavaString(env, text);
        return {r, true};
    });
    return frame.pending() ? nullptr : result;
}

// The block byte getter: a buffer of the call's own (an empty array asks the
// core for 0 bytes), copied into the array only when the core returns 0.
inline jint getBlockInto(JNIEnv* env, jint handle, const Texts& texts, BlockKey key, jbyteArray array) {
    NativeFrame frame(env, handle, texts.function);
    return runKeyed(
        frame, texts, key, {array}, nullptr, [&](VKDM_KRNReaderModule_4J& m, const char*) -> Step {
            const jsize n = env->GetArrayLength(array);
            if (frame.pending()) return {0, false};
            // Never a null buffer, which the core refuses: room for one byte at least.
            std::vector<unsigned char> buffer(static_cast<std::size_t>(n) + 1);
            const int r = key.get(m, buffer.data(), static_cast<int>(n));
            if (r == 0 && n > 0)
                env->SetByteArrayRegion(array, 0, n, reinterpret_cast<const jbyte*>(buffer.data()));
            return {r, true};
        });
}

} // namespace nubokrn4j

#endif

// The natives of de.varek.VkdmKrnFunctionUnit: units made on reader modules,
// arranged in trees, read and written by parameter identifier, and sending
// their commands through libvkfu.
#include "bridge_codes.h"
#include "java_text.h"
#include "jni_frame.h"
#include "native_calls.h"

#include <de_varek_VkdmKrnFunctionUnit.h>

#include <cstdint>
#include <string>

using namespace nubokrn4j;

namespace {

// The standard choice, and libvkfu's own codes (-4100 itself excluded) to
// VkReaderDriverException as well.
constexpr CodeRange kUnitProtocolRows[] = {
    {-1299, -1000, ExceptionClass::PortDriver},
    {-4099, -4001, ExceptionClass::ReaderDriver},
    {-4199, -4101, ExceptionClass::ReaderDriver},
};

// A data native on the unit: the id (and a String value) converted, then
// `call`(unit, texts); a negative result throws through VkdmException.
template <std::size_t N, typename Call>
jint unitData(JNIEnv* env, jint handle, const std::array<jstring, N>& strings, const char* function,
              Call&& call) {
    NativeFrame frame(env, handle, function, kVkdmOnly);
    for (jstring s : strings)
        if (!frame.references({s}, __LINE__)) return kNullArgument;
    VKDM_KRNFunctionUnit* unit = frame.unit(__LINE__);
    if (unit == nullptr) return kNotRegistered;
    int r;
    {
        NativeTexts<N> texts;
        if (!texts.convert(frame, strings, __LINE__)) return 0;
        r = call(unit, texts);
    }
    return frame.result(r, __LINE__);
}

// A GetData native: the unit's value of the id (as `Value`) into element 0 of
// the array, left as it was when the unit gives none; unsigned values reach a
// wider element zero-extended. An empty array is -105 before the unit is asked.
template <typename Value, typename Element, typename Array>
jint unitGetData(JNIEnv* env, jint handle, jstring id, Array array, const char* function) {
    NativeFrame frame(env, handle, function, kVkdmOnly);
    if (!frame.references({id, array}, __LINE__)) return kNullArgument;
    VKDM_KRNFunctionUnit* unit = frame.unit(__LINE__);
    if (unit == nullptr) return kNotRegistered;
    int r = 0;
    jint refused = 0; // a code thrown after the releases
    {
        NativeTexts<1> texts;
        if (!texts.convert(frame, {id}, __LINE__)) return 0;
        ArrayElements<Array, Element> elements(env, array);
        if (elements.get() == nullptr) {
            if (frame.pending()) return 0;
            refused = kNullArgument;
        } else if (elements.length() < 1) {
            refused = kEmptyArray;
        } else {
            Value value{};
            r = unit->GetData(texts[0], &value);
            if (r >= 0) elements.get()[0] = static_cast<Element>(value);
        }
    }
    if (refused != 0) return frame.fail(refused, __LINE__);
    return frame.result(r, __LINE__);
}

VKDM_KRNFunctionUnit* listedUnit(JNIEnv* env, jint handle, const char* function) {
    NativeFrame frame(env, handle, function);
    return frame.unit(__LINE__);
}

} // namespace

JNIEXPORT jint JNICALL Java_de_varek_VkdmKrnFunctionUnit_Init(JNIEnv* env, jclass, jint moduleHandle,
                                                              jint type) {
    static constexpr char kFunction[] = "VkdmKrnFunctionUnit_Init";
    NativeFrame frame(env, moduleHandle, kFunction);
    VKDM_KRNReaderModule_4J* module = frame.module(__LINE__);
    if (module == nullptr) return kNotRegistered;
    const int unit = g_VkdmFunctionUnitManager.CreateModule(module, type);
    // Handle 0: the message carries the text of -106 whatever the code.
    if (unit < 1) ExecuteVkdmException(env, 0, unit, kFunction, __LINE__);
    return unit;
}

JNIEXPORT jint JNICALL Java_de_varek_VkdmKrnFunctionUnit_Destroy(JNIEnv*, jclass, jint handle) {
    return g_VkdmFunctionUnitManager.DeleteModule(handle);
}

JNIEXPORT jint JNICALL Java_de_varek_VkdmKrnFunctionUnit_AddChild(JNIEnv* env, jclass, jint handle,
                                                                  jint position, jint childHandle) {
    NativeFrame frame(env, handle, "VkdmKrnFunctionUnit_AddChild");
    VKDM_KRNFunctionUnit* unit = frame.unit(__LINE__);
    if (unit == nullptr) return kNotRegistered;
    VKDM_KRNFunctionUnit* child = g_VkdmFunctionUnitManager.SearchModule(childHandle);
    if (child == nullptr) return frame.fail(kNotRegistered, __LINE__);
    return unit->AddChild(position, child);
}

JNIEXPORT jint JNICALL Java_de_varek_VkdmKrnFunctionUnit_DelChild(JNIEnv* env, jclass, jint handle,
                                                                  jint position) {
    VKDM_KRNFunctionUnit* unit = listedUnit(env, handle, "VkdmKrnFunctionUnit_DelChild");
    return unit != nullptr ? unit->DelChild(position) : kNotRegistered;
}

JNIEXPORT jint JNICALL Java_de_varek_VkdmKrnFunctionUnit_GetFUType(JNIEnv* env, jclass, jint handle) {
    VKDM_KRNFunctionUnit* unit = listedUnit(env, handle, "VkdmKrnFunctionUnit_GetFUType");
    return unit != nullptr ? unit->GetFUType() : kNotRegistered;
}

JNIEXPORT jint JNICALL Java_de_varek_VkdmKrnFunctionUnit_GetLastError(JNIEnv* env, jclass, jint handle) {
    VKDM_KRNFunctionUnit* unit = listedUnit(env, handle, "VkdmKrnFunctionUnit_GetLastError");
    return unit != nullptr ? unit->GetLastError() : kNotRegistered;
}

JNIEXPORT jstring JNICALL Java_de_varek_VkdmKrnFunctionUnit_GetErrorText(JNIEnv* env, jclass, jint handle,
                                                                         jint code) {
    VKDM_KRNFunctionUnit* unit = listedUnit(env, handle, "VkdmKrnFunctionUnit_GetErrorText");
    if (unit == nullptr) return nullptr;
    char text[256] = {};
    const int r = unit->GetErrorText(text, code);
    text[sizeof text - 1] = '\0';
    return r == 0 ? newJavaString(env, text) : nullptr;
}

// ---- data by parameter identifier -------------------------------------------

JNIEXPORT jint JNICALL Java_de_varek_VkdmKrnFunctionUnit_GetData__ILjava_lang_String_2_3Z(
    JNIEnv* env, jclass, jint handle, jstring id, jbooleanArray value) {
    return unitGetData<bool, jboolean>(env, handle, id, value,
                                       "VkdmKrnFunctionUnit_GetData(jint, jstring, jbooleanArray)");
}

JNIEXPORT jint JNICALL Java_de_varek_VkdmKrnFunctionUnit_GetData__ILjava_lang_String_2_3B(JNIEnv* env, jclass,
                                                                                          jint handle,
                                                                                          jstring id,
                                                                                          jbyteArray value) {
    return unitGetData<unsigned char, jbyte>(env, handle, id, value,
                                             "VkdmKrnFunctionUnit_GetData(jint, jstring, jbyteArray)");
}

JNIEXPORT jint JNICALL Java_de_varek_VkdmKrnFunctionUnit_GetData__ILjava_lang_String_2_3I(JNIEnv* env, jclass,
                                                                                          jint handle,
                                                                                          jstring id,
                                                                                          jintArray value) {
    return unitGetData<unsigned int, jint>(env, handle, id, value,
                                           "VkdmKrnFunctionUnit_GetData(jint, jstring, jintArray)");
}

JNIEXPORT jint JNICALL Java_de_varek_VkdmKrnFunctionUnit_GetData__ILjava_lang_String_2_3J(JNIEnv* env, jclass,
                                                                                          jint handle,
                                                                                          jstring id,
                                                                                          jlongArray value) {
    return unitGetData<unsigned int, jlong>(env, handle, id, value,
                                            "VkdmKrnFunctionUnit_GetData(jint, jstring, jlongArray)");
}

JNIEXPORT jstring JNICALL Java_de_varek_VkdmKrnFunctionUnit_GetStringData(JNIEnv* env, jclass, jint handle,
                                                                          jstring id) {
    std::string value;
    const jint r = unitData<1>(env, handle, {id}, "VkdmKrnFunctionUnit_GetStringData",
                               [&value](VKDM_KRNFunctionUnit* unit, const NativeTexts<1>& texts) {
                                   return unit->GetData(texts[0], value);
                               });
    if (r != 0 || env->ExceptionCheck()) return nullptr;
    return newJavaString(env, value);
}

JNIEXPORT jint JNICALL Java_de_varek_VkdmKrnFunctionUnit_SetData__ILjava_lang_String_2Z(JNIEnv* env, jclass,
                                                                                        jint handle,
                                                                                        jstring id,
                                                                                        jboolean value) {
    return unitData<1>(env, handle, {id}, "VkdmKrnFunctionUnit_SetData(jint, jstring, jboolean)",
                       [value](VKDM_KRNFunctionUnit* unit, const NativeTexts<1>& texts) {
                           return unit->SetData(texts[0], value != JNI_FALSE);
                       });
}

JNIEXPORT jint JNICALL Java_de_varek_VkdmKrnFunctionUnit_SetData__ILjava_lang_String_2B(JNIEnv* env, jclass,
                                                                                        jint handle,
                                                                                        jstring id,
                                                                                        jbyte value) {
    return unitData<1>(env, handle, {id}, "VkdmKrnFunctionUnit_SetData(jint, jstring, jbyte)",
                       [value](VKDM_KRNFunctionUnit* unit, const NativeTexts<1>& texts) {
                           return unit->SetData(texts[0], static_cast<unsigned char>(value));
                       });
}

JNIEXPORT jint JNICALL Java_de_varek_VkdmKrnFunctionUnit_SetData__ILjava_lang_String_2I(JNIEnv* env, jclass,
                                                                                        jint handle,
                                                                                        jstring id,
                                                                                        jint value) {
    return unitData<1>(env, handle, {id}, "VkdmKrnFunctionUnit_SetData(jint, jstring, jint)",
                       [value](VKDM_KRNFunctionUnit* unit, const NativeTexts<1>& texts) {
                           return unit->SetData(texts[0], static_cast<unsigned int>(value));
                       });
}

JNIEXPORT jint JNICALL Java_de_varek_VkdmKrnFunctionUnit_SetData__ILjava_lang_String_2J(JNIEnv* env, jclass,
                                                                                        jint handle,
                                                                                        jstring id,
                                                                                        jlong value) {
    // The low 32 bits, unsigned.
    const auto low = static_cast<unsigned int>(static_cast<std::uint64_t>(value) & 0xFFFFFFFFu);
    return unitData<1>(env, handle, {id}, "VkdmKrnFunctionUnit_SetData(jint, jstring, jlong)",
                       [low](VKDM_KRNFunctionUnit* unit, const NativeTexts<1>& texts) {
                           return unit->SetData(texts[0], low);
                       });
}

JNIEXPORT jint JNICALL Java_de_varek_VkdmKrnFunctionUnit_SetData__ILjava_lang_String_2Ljava_lang_String_2(
    JNIEnv* env, jclass, jint handle, jstring id, jstring value) {
    return unitData<2>(env, handle, {id, value}, "VkdmKrnFunctionUnit_SetData(jint, jstring, jstring)",
                       [](VKDM_KRNFunctionUnit* unit, const NativeTexts<2>& texts) {
                           return unit->SetData(texts[0], std::string(texts[1]));
                       });
}

JNIEXPORT jint JNICALL Java_de_varek_VkdmKrnFunctionUnit_SendProtocol(JNIEnv* env, jclass, jint handle,
                                                                      jbyte command) {
    NativeFrame frame(env, handle, "VkdmKrnFunctionUnit_SendProtocol", RangeTable{kUnitProtocolRows});
    // The unit reaches its reader only here: a unit whose module is gone is
    // refused before it could touch the freed reader.
    VKDM_KRNFunctionUnit* unit = frame.unitOnLiveModule(__LINE__);
    if (unit == nullptr) return kNotRegistered;
    return frame.result(unit->SendProtocol(static_cast<unsigned char>(command)), __LINE__);
}

// Data memory by parameter identifier and configuration parameters by name:
// each native is its family's routine (value_families.h) with its texts.
#include "value_families.h"

#include <de_varek_VkdmKrnReader.h>

using namespace nubokrn4j;

namespace {

// ---- descriptors --------------------------------------------------------------

constexpr Texts kGetDataBool{"VkdmKrnReader_GetData(jint, jstring, jbooleanArray)"};
constexpr Texts kGetDataBytes{"VkdmKrnReader_GetData(jint, jstring, jbyteArray)"};
constexpr Texts kGetDataInt{"VkdmKrnReader_GetData(jint, jstring, jintArray)"};
constexpr Texts kGetDataLong{"VkdmKrnReader_GetData(jint, jstring, jlongArray)"};
constexpr Texts kGetStringData{"VkdmKrnReader_GetStringData"};
constexpr Texts kGetDataBlock{"VkdmKrnReader_GetData(jint, jbyteArray, jint, jint)"};
constexpr Texts kSetDataBool{"VkdmKrnReader_SetData(jint, jstring, jboolean)"};
constexpr Texts kSetDataByte{"VkdmKrnReader_SetData(jint, jstring, jbyte)"};
constexpr Texts kSetDataBytes{"VkdmKrnReader_SetData(jint, jstring, jbyteArray)"};
constexpr Texts kSetDataInt{"VkdmKrnReader_SetData(jint, jstring, jint)"};
constexpr Texts kSetDataLong{"VkdmKrnReader_SetData(jint, jstring, jlong)"};
constexpr Texts kSetDataString{"VkdmKrnReader_SetData(jint, jstring, jstring)"};

constexpr char kGetHead[] = "VkdmKrnReader_GetConfigPara(jint, ";
constexpr char kSetHead[] = "VkdmKrnReader_SetConfigPara(jint, ";
constexpr Texts kGetConfigBool{"VkdmKrnReader_GetConfigPara(jint, jstring, jbooleanArray)", kGetHead,
                               ", jbooleanArray, jboolean) with Reader: "};
constexpr Texts kGetConfigBytes{"VkdmKrnReader_GetConfigPara(jint, jstring, jbyteArray)", kGetHead,
                                ", jbyteArray, jboolean) with Reader: "};
constexpr Texts kGetConfigInt{"VkdmKrnReader_GetConfigPara(jint, jstring, jintArray)", kGetHead,
                              ", jintArray, jboolean) with Reader: "};
constexpr Texts kGetConfigLong{"VkdmKrnReader_GetConfigPara(jint, jstring, jlongArray)", kGetHead,
                               ", jlongArray, jboolean) with Reader: "};
constexpr Texts kGetStringConfig{"VkdmKrnReader_GetStringConfigPara",
                                 "VkdmKrnReader_GetStringConfigPara(jint, ", ", jboolean) with Reader: "};
constexpr Texts kSetConfigBool{"VkdmKrnReader_SetConfigPara(jint, jstring, jboolean)", kSetHead,
                               ", jboolean, jboolean) with Reader: "};
constexpr Texts kSetConfigByte{"VkdmKrnReader_SetConfigPara(jint, jstring, jbyte)", kSetHead,
                               ",jbyte , jboolean) with Reader: "};
constexpr Texts kSetConfigBytes{"VkdmKrnReader_SetConfigPara(jint, jstring, jbyteArray)", kSetHead,
                                ",jbyteArray , jboolean) with Reader: "};
constexpr Texts kSetConfigInt{"VkdmKrnReader_SetConfigPara(jint, jstring, jint)", kSetHead,
                              ",jint , jboolean) with Reader: "};
constexpr Texts kSetConfigLong{"VkdmKrnReader_SetConfigPara(jint, jstring, jlong)", kSetHead,
                               ",jlong , jboolean) with Reader: "};
constexpr Texts kSetConfigString{"VkdmKrnReader_SetConfigPara(jint, jstring, jstring)", kSetHead,
                                 ",jstring , jboolean) with Reader: "};
constexpr Texts kConfigLength{"VkdmKrnReader_GetConfigParaLength(jint, jstring, jlong)"};

} // namespace

// ---- data memory --------------------------------------------------------------

JNIEXPORT jint JNICALL Java_de_varek_VkdmKrnReader_GetData__ILjava_lang_String_2_3Z(JNIEnv* env, jclass,
                                                                                    jint h, jstring id,
                                                                                    jbooleanArray v) {
    return getScalarInto(env, h, kGetDataBool, MemoryKey(id), v);
}

JNIEXPORT jint JNICALL Java_de_varek_VkdmKrnReader_GetData__ILjava_lang_String_2_3B(JNIEnv* env, jclass,
                                                                                    jint h, jstring id,
                                                                                    jbyteArray v) {
    return getBytesInto(env, h, kGetDataBytes, MemoryKey(id), v);
}

JNIEXPORT jint JNICALL Java_de_varek_VkdmKrnReader_GetData__ILjava_lang_String_2_3I(JNIEnv* env, jclass,
                                                                                    jint h, jstring id,
                                                                                    jintArray v) {
    return getScalarInto(env, h, kGetDataInt, MemoryKey(id), v);
}

JNIEXPORT jint JNICALL Java_de_varek_VkdmKrnReader_GetData__ILjava_lang_String_2_3J(JNIEnv* env, jclass,
                                                                                    jint h, jstring id,
                                                                                    jlongArray v) {
    return getScalarInto(env, h, kGetDataLong, MemoryKey(id), v);
}

JNIEXPORT jstring JNICALL Java_de_varek_VkdmKrnReader_GetStringData(JNIEnv* env, jclass, jint h, jstring id) {
    return getText(env, h, kGetStringData, MemoryKey(id));
}

// Memory by number: the core writes `count` bytes from `address` into the
// array, so a count outside the array's length is refused (-105) first.
JNIEXPORT jint JNICALL Java_de_varek_VkdmKrnReader_GetData__II_3BII(JNIEnv* env, jclass, jint h, jint id,
                                                                    jbyteArray v, jint address, jint count) {
    NativeFrame frame(env, h, kGetDataBlock.function);
    if (!frame.references({v}, __LINE__)) return 0;
    VKDM_KRNReaderModule_4J* module = frame.module(__LINE__);
    if (module == nullptr) return kNotRegistered;
    int r = 0;
    {
        ByteElements elements(env, v);
        if (elements.get() == nullptr) return frame.fail(kNullArgument, __LINE__);
        if (count < 0 || count > elements.length()) {
            r = kEmptyArray;
        } else {
            r = module->GetData(id, reinterpret_cast<unsigned char*>(elements.get()), address, count);
        }
    }
    if (r < 0) frame.fail(r, __LINE__);
    return r;
}

JNIEXPORT jint JNICALL Java_de_varek_VkdmKrnReader_SetData__ILjava_lang_String_2Z(JNIEnv* env, jclass, jint h,
                                                                                  jstring id, jboolean v) {
    return putScalar<Write::Set>(env, h, kSetDataBool, MemoryKey(id), v);
}

JNIEXPORT jint JNICALL Java_de_varek_VkdmKrnReader_SetData__ILjava_lang_String_2B(JNIEnv* env, jclass, jint h,
                                                                                  jstring id, jbyte v) {
    return putScalar<Write::Set>(env, h, kSetDataByte, MemoryKey(id), v);
}

JNIEXPORT jint JNICALL Java_de_varek_VkdmKrnReader_SetData__ILjava_lang_String_2_3B(JNIEnv* env, jclass,
                                                                                    jint h, jstring id,
                                                                                    jbyteArray v) {
    return setBytesFrom(env, h, kSetDataBytes, MemoryKey(id), v, true);
}

JNIEXPORT jint JNICALL Java_de_varek_VkdmKrnReader_SetData__ILjava_lang_String_2I(JNIEnv* env, jclass, jint h,
                                                                                  jstring id, jint v) {
    return putScalar<Write::Set>(env, h, kSetDataInt, MemoryKey(id), v);
}

JNIEXPORT jint JNICALL Java_de_varek_VkdmKrnReader_SetData__ILjava_lang_String_2J(JNIEnv* env, jclass, jint h,
                                                                                  jstring id, jlong v) {
    return putScalar<Write::Set>(env, h, kSetDataLong, MemoryKey(id), v);
}

JNIEXPORT jint JNICALL Java_de_varek_VkdmKrnReader_SetData__ILjava_lang_String_2Ljava_lang_String_2(
    JNIEnv* env, jclass, jint h, jstring id, jstring v) {
    return putText<Write::Set>(env, h, kSetDataString, MemoryKey(id), v);
}

// ---- configuration parameters ---------------------------------------------------

JNIEXPORT jint JNICALL Java_de_varek_VkdmKrnReader_GetConfigPara__ILjava_lang_String_2_3ZZ(
    JNIEnv* env, jclass, jint h, jstring name, jbooleanArray v, jboolean flag) {
    return getScalarInto(env, h, kGetConfigBool, ConfigKey(name, flag), v);
}

JNIEXPORT jint JNICALL Java_de_varek_VkdmKrnReader_GetConfigPara__ILjava_lang_String_2_3BZ(
    JNIEnv* env, jclass, jint h, jstring name, jbyteArray v, jboolean flag) {
    return getBytesInto(env, h, kGetConfigBytes, ConfigKey(name, flag), v);
}

JNIEXPORT jint JNICALL Java_de_varek_VkdmKrnReader_GetConfigPara__ILjava_lang_String_2_3IZ(
    JNIEnv* env, jclass, jint h, jstring name, jintArray v, jboolean flag) {
    return getScalarInto(env, h, kGetConfigInt, ConfigKey(name, flag), v);
}

JNIEXPORT jint JNICALL Java_de_varek_VkdmKrnReader_GetConfigPara__ILjava_lang_String_2_3JZ(
    JNIEnv* env, jclass, jint h, jstring name, jlongArray v, jboolean flag) {
    return getScalarInto(env, h, kGetConfigLong, ConfigKey(name, flag), v);
}

JNIEXPORT jstring JNICALL Java_de_varek_VkdmKrnReader_GetStringConfigPara(JNIEnv* env, jclass, jint h,
                                                                          jstring name, jboolean flag) {
    return getText(env, h, kGetStringConfig, ConfigKey(name, flag));
}

JNIEXPORT jint JNICALL Java_de_varek_VkdmKrnReader_SetConfigPara__ILjava_lang_String_2ZZ(JNIEnv* env, jclass,
                                                                                         jint h, jstring name,
                                                                                         jboolean v,
                                                                                         jboolean flag) {
    return putScalar<Write::Set>(env, h, kSetConfigBool, ConfigKey(name, flag), v);
}

JNIEXPORT jint JNICALL Java_de_varek_VkdmKrnReader_SetConfigPara__ILjava_lang_String_2BZ(JNIEnv* env, jclass,
                                                                                         jint h, jstring name,
                                                                                         jbyte v,
                                                                                         jboolean flag) {
    return putScalar<Write::Set>(env, h, kSetConfigByte, ConfigKey(name, flag), v);
}

JNIEXPORT jint JNICALL Java_de_varek_VkdmKrnReader_SetConfigPara__ILjava_lang_String_2_3BZ(
    JNIEnv* env, jclass, jint h, jstring name, jbyteArray v, jboolean flag) {
    return setBytesFrom(env, h, kSetConfigBytes, ConfigKey(name, flag), v, true);
}

JNIEXPORT jint JNICALL Java_de_varek_VkdmKrnReader_SetConfigPara__ILjava_lang_String_2IZ(JNIEnv* env, jclass,
                                                                                         jint h, jstring name,
                                                                                         jint v,
                                                                                         jboolean flag) {
    return putScalar<Write::Set>(env, h, kSetConfigInt, ConfigKey(name, flag), v);
}

JNIEXPORT jint JNICALL Java_de_varek_VkdmKrnReader_SetConfigPara__ILjava_lang_String_2JZ(JNIEnv* env, jclass,
                                                                                         jint h, jstring name,
                                                                                         jlong v,
                                                                                         jboolean flag) {
    return putScalar<Write::Set>(env, h, kSetConfigLong, ConfigKey(name, flag), v);
}

JNIEXPORT jint JNICALL Java_de_varek_VkdmKrnReader_SetConfigPara__ILjava_lang_String_2Ljava_lang_String_2Z(
    JNIEnv* env, jclass, jint h, jstring name, jstring v, jboolean flag) {
    return putText<Write::Set>(env, h, kSetConfigString, ConfigKey(name, flag), v);
}

// The byte count of a named parameter: its access identifier (GetAccessID with
// true), then the count of that identifier; either's failure is thrown once.
JNIEXPORT jint JNICALL Java_de_varek_VkdmKrnReader_GetConfigParaLength(JNIEnv* env, jclass, jint h,
                                                                       jstring name) {
    NativeFrame frame(env, h, kConfigLength.function);
    if (!frame.references({name}, __LINE__)) return 0;
    VKDM_KRNReaderModule_4J* module = frame.module(__LINE__);
    if (module == nullptr) return kNotRegistered;
    std::string access;
    int r = 0;
    {
        UtfChars chars(env, name);
        const char* text = frame.chars(chars, __LINE__);
        if (text == nullptr) return kNullArgument;
        r = module->GetAccessID(std::string(text), access, true);
    }
    if (r >= 0) r = VKDM_GetByteCntOfID(access.c_str());
    if (r < 0) frame.fail(r, __LINE__);
    return r;
}

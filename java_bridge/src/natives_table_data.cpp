// Single values of the core's tables, searches, verification, sizes and the
// raw byte ranges of ISO records: each native is its family's routine
// (value_families.h) with its texts, or one core call.
#include "native_calls.h"
#include "table_rules.h"
#include "value_families.h"

#include <de_varek_VkdmKrnReader.h>

using namespace nubokrn4j;

namespace {

constexpr jint kNoRecordOrRange = -104;
constexpr jint kNeverFilled = -128;

// ---- descriptors --------------------------------------------------------------

constexpr Texts kGetBool{"VkdmKrnReader_GetTableData(jint, jint, jint, jint, jbooleanArray)"};
constexpr Texts kGetByte{"VkdmKrnReader_GetTableData(jint, jint, jint, jint, jbyteArray)"};
constexpr Texts kGetInt{"VkdmKrnReader_GetTableData(jint, jint, jint, jint, jintArray)"};
constexpr Texts kGetLong{"VkdmKrnReader_GetTableData(jint, jint, jint, jint, jlongArray)"};
constexpr Texts kGetString{"VkdmKrnReader_GetStringTableData(jint, jint, jint, jint)"};
constexpr Texts kSetBool{"VkdmKrnReader_SetTableData(jint, jint, jint, jint, jboolean)"};
constexpr Texts kSetByte{"VkdmKrnReader_SetTableData(jint, jint, jint, jint, jbyte)"};
constexpr Texts kSetInt{"VkdmKrnReader_SetTableData(jint, jint, jint, jint, jint)"};
constexpr Texts kSetLong{"VkdmKrnReader_SetTableData(jint, jint, jint, jint, jlong)"};
constexpr Texts kSetString{"VkdmKrnReader_SetTableData(jint, jint, jint, jint, jstring)"};
constexpr Texts kGetBlock{"VkdmKrnReader_GetTableData(jint, jint, jint, jint, jint, jbyteArray)"};
constexpr Texts kGetBlockString{"VkdmKrnReader_GetStringTableData(jint, jint, jint, jint, jint)"};
constexpr Texts kSetBlock{"VkdmKrnReader_SetTableData(jint, jint, jint, jint, jint, jbyteArray)"};
constexpr Texts kSetBlockString{"VkdmKrnReader_SetTableData(jint, jint, jint, jint, jint, jstring)"};
constexpr Texts kGetAddressed{"Java_de_varek_VkdmKrnReader_GetTableDataAddressed"};
constexpr Texts kSetAddressed{"Java_de_varek_VkdmKrnReader_SetTableDataAddressed"};
constexpr Texts kVerify{"VkdmKrnReader_VerifyTableData"};
constexpr Texts kFindBool{"VkdmKrnReader_FindTableIndex(jint, jint, jint, jint, jboolean)"};
constexpr Texts kFindByte{"VkdmKrnReader_FindTableIndex(jint, jint, jint, jint, jbyte)"};
constexpr Texts kFindInt{"VkdmKrnReader_FindTableIndex(jint, jint, jint, jint, jint)"};
constexpr Texts kFindLong{"VkdmKrnReader_FindTableIndex(jint, jint, jint, jint, jlong)"};
constexpr Texts kFindString{"VkdmKrnReader_FindTableIndex(jint, jint, jint, jint, jstring)"};
constexpr Texts kSetSize{"VkdmKrnReader_SetTableSize"};
constexpr Texts kGetSize{"VkdmKrnReader_GetTableSize"};
constexpr Texts kGetLength{"VkdmKrnReader_GetTableLength"};
constexpr Texts kSetLength{"VkdmKrnReader_SetTableLength"};
constexpr Texts kReset{"VkdmKrnReader_ResetTable"};

// The addressed natives: the ISO record at `index` and its received (read) or
// transmit (write) data, reached by range through the core. The array's length
// must be the length argument (-105, tested before the module); the range must
// lie inside the data's current size (-104). The table ids are not read.
enum class Direction { Read, Write };

jint addressed(JNIEnv* env, jint handle, const Texts& texts, jint index, jint address, jint length,
               jbyteArray data, Direction direction) {
    NativeFrame frame(env, handle, texts.function);
    if (!frame.references({data}, __LINE__)) return kNullArgument;
    const jsize n = env->GetArrayLength(data);
    if (frame.pending()) return 0;
    if (n != length) return frame.fail(kEmptyArray, __LINE__);
    VKDM_KRNReaderModule_4J* module = frame.module(__LINE__);
    if (module == nullptr) return kNotRegistered;
    VKDM_ISOTabItem* record = module->GetISOTableItem(static_cast<unsigned>(index));
    if (record == nullptr) return frame.fail(kNoRecordOrRange, __LINE__);
    const int size = direction == Direction::Read ? record->GetRxDataSize() : record->GetTxDataSize();
    if (!rangeInside(address, length, size)) return frame.fail(kNoRecordOrRange, __LINE__);
    if (direction == Direction::Read) {
        std::vector<unsigned char> buffer(static_cast<std::size_t>(length) + 1);
        // The core tests the range again under its lock (the record may have shrunk).
        if (const int r = record->ReadRxData(address, buffer.data(), length); r < 0)
            return frame.fail(r, __LINE__);
        if (length > 0)
            env->SetByteArrayRegion(data, 0, length, reinterpret_cast<const jbyte*>(buffer.data()));
        return 0;
    }
    ByteElements elements(env, data);
    if (elements.get() == nullptr) return frame.pending() ? 0 : frame.fail(kNullArgument, __LINE__);
    const int r =
        record->WriteTxData(address, reinterpret_cast<const unsigned char*>(elements.get()), length);
    if (r < 0) return frame.fail(r, __LINE__);
    return 0;
}

} // namespace

// ---- one value by index, table id and data id ------------------------------------

JNIEXPORT jint JNICALL Java_de_varek_VkdmKrnReader_GetTableData__IIII_3Z(JNIEnv* env, jclass, jint h, jint i,
                                                                         jint t, jint d, jbooleanArray v) {
    return getScalarInto(env, h, kGetBool, TableKey(i, t, d), v);
}

JNIEXPORT jint JNICALL Java_de_varek_VkdmKrnReader_GetTableData__IIII_3B(JNIEnv* env, jclass, jint h, jint i,
                                                                         jint t, jint d, jbyteArray v) {
    return getScalarInto(env, h, kGetByte, TableKey(i, t, d), v);
}

JNIEXPORT jint JNICALL Java_de_varek_VkdmKrnReader_GetTableData__IIII_3I(JNIEnv* env, jclass, jint h, jint i,
                                                                         jint t, jint d, jintArray v) {
    return getScalarInto(env, h, kGetInt, TableKey(i, t, d), v);
}

JNIEXPORT jint JNICALL Java_de_varek_VkdmKrnReader_GetTableData__IIII_3J(JNIEnv* env, jclass, jint h, jint i,
                                                                         jint t, jint d, jlongArray v) {
    return getScalarInto(env, h, kGetLong, TableKey(i, t, d), v);
}

JNIEXPORT jstring JNICALL Java_de_varek_VkdmKrnReader_GetStringTableData__IIII(JNIEnv* env, jclass, jint h,
                                                                               jint i, jint t, jint d) {
    return getText(env, h, kGetString, TableKey(i, t, d));
}

JNIEXPORT jint JNICALL Java_de_varek_VkdmKrnReader_SetTableData__IIIIZ(JNIEnv* env, jclass, jint h, jint i,
                                                                       jint t, jint d, jboolean v) {
    return putScalar<Write::Set>(env, h, kSetBool, TableKey(i, t, d), v);
}

JNIEXPORT jint JNICALL Java_de_varek_VkdmKrnReader_SetTableData__IIIIB(JNIEnv* env, jclass, jint h, jint i,
                                                                       jint t, jint d, jbyte v) {
    return putScalar<Write::Set>(env, h, kSetByte, TableKey(i, t, d), v);
}

JNIEXPORT jint JNICALL Java_de_varek_VkdmKrnReader_SetTableData__IIIII(JNIEnv* env, jclass, jint h, jint i,
                                                                       jint t, jint d, jint v) {
    return putScalar<Write::Set>(env, h, kSetInt, TableKey(i, t, d), v);
}

JNIEXPORT jint JNICALL Java_de_varek_VkdmKrnReader_SetTableData__IIIIJ(JNIEnv* env, jclass, jint h, jint i,
                                                                       jint t, jint d, jlong v) {
    return putScalar<Write::Set>(env, h, kSetLong, TableKey(i, t, d), v);
}

JNIEXPORT jint JNICALL Java_de_varek_VkdmKrnReader_SetTableData__IIIILjava_lang_String_2(JNIEnv* env, jclass,
                                                                                         jint h, jint i,
                                                                                         jint t, jint d,
                                                                                         jstring v) {
    return putText<Write::Set>(env, h, kSetString, TableKey(i, t, d), v);
}

// ---- blocks -------------------------------------------------------------------------

JNIEXPORT jint JNICALL Java_de_varek_VkdmKrnReader_GetTableData__IIIII_3B(JNIEnv* env, jclass, jint h, jint i,
                                                                          jint t, jint d, jint b,
                                                                          jbyteArray v) {
    return getBlockInto(env, h, kGetBlock, BlockKey(i, t, d, b), v);
}

JNIEXPORT jstring JNICALL Java_de_varek_VkdmKrnReader_GetStringTableData__IIIII(JNIEnv* env, jclass, jint h,
                                                                                jint i, jint t, jint d,
                                                                                jint b) {
    return getText(env, h, kGetBlockString, BlockKey(i, t, d, b));
}

JNIEXPORT jint JNICALL Java_de_varek_VkdmKrnReader_SetTableData__IIIII_3B(JNIEnv* env, jclass, jint h, jint i,
                                                                          jint t, jint d, jint b,
                                                                          jbyteArray v) {
    return setBytesFrom(env, h, kSetBlock, BlockKey(i, t, d, b), v, false);
}

JNIEXPORT jint JNICALL Java_de_varek_VkdmKrnReader_SetTableData__IIIIILjava_lang_String_2(JNIEnv* env, jclass,
                                                                                          jint h, jint i,
                                                                                          jint t, jint d,
                                                                                          jint b, jstring v) {
    return putText<Write::Set>(env, h, kSetBlockString, BlockKey(i, t, d, b), v);
}

// ---- byte ranges of ISO records ------------------------------------------------------

JNIEXPORT jint JNICALL Java_de_varek_VkdmKrnReader_GetTableDataAddressed(JNIEnv* env, jclass, jint h, jint i,
                                                                         jint, jint, jint address,
                                                                         jint length, jbyteArray v) {
    return addressed(env, h, kGetAddressed, i, address, length, v, Direction::Read);
}

JNIEXPORT jint JNICALL Java_de_varek_VkdmKrnReader_SetTableDataAddressed(JNIEnv* env, jclass, jint h, jint i,
                                                                         jint, jint, jint address,
                                                                         jint length, jbyteArray v) {
    return addressed(env, h, kSetAddressed, i, address, length, v, Direction::Write);
}

// ---- searches, verification, sizes --------------------------------------------------

JNIEXPORT jint JNICALL Java_de_varek_VkdmKrnReader_VerifyTableData(JNIEnv* env, jclass, jint h, jint i,
                                                                   jint t, jint first, jint second) {
    return askModule(env, h, kVerify.function, kNotRegistered, [&](VKDM_KRNReaderModule_4J* m) {
        const int r = m->VerifyTableData(i, static_cast<unsigned>(t), first, second);
        // A record never filled (-128) is an answer, not a failure.
        if (r < 0 && r != kNeverFilled) ExecuteVkdmException(env, h, r, kVerify.function, __LINE__);
        return r;
    });
}

JNIEXPORT jint JNICALL Java_de_varek_VkdmKrnReader_FindTableIndex__IIIIZ(JNIEnv* env, jclass, jint h, jint i,
                                                                         jint t, jint d, jboolean v) {
    return putScalar<Write::Find>(env, h, kFindBool, TableKey(i, t, d), v);
}

JNIEXPORT jint JNICALL Java_de_varek_VkdmKrnReader_FindTableIndex__IIIIB(JNIEnv* env, jclass, jint h, jint i,
                                                                         jint t, jint d, jbyte v) {
    return putScalar<Write::Find>(env, h, kFindByte, TableKey(i, t, d), v);
}

JNIEXPORT jint JNICALL Java_de_varek_VkdmKrnReader_FindTableIndex__IIIII(JNIEnv* env, jclass, jint h, jint i,
                                                                         jint t, jint d, jint v) {
    return putScalar<Write::Find>(env, h, kFindInt, TableKey(i, t, d), v);
}

JNIEXPORT jint JNICALL Java_de_varek_VkdmKrnReader_FindTableIndex__IIIIJ(JNIEnv* env, jclass, jint h, jint i,
                                                                         jint t, jint d, jlong v) {
    return putScalar<Write::Find>(env, h, kFindLong, TableKey(i, t, d), v);
}

JNIEXPORT jint JNICALL Java_de_varek_VkdmKrnReader_FindTableIndex__IIIILjava_lang_String_2(
    JNIEnv* env, jclass, jint h, jint i, jint t, jint d, jstring v) {
    return putText<Write::Find>(env, h, kFindString, TableKey(i, t, d), v);
}

JNIEXPORT jint JNICALL Java_de_varek_VkdmKrnReader_SetTableSize__III(JNIEnv* env, jclass, jint h, jint t,
                                                                     jint size) {
    return askModule(env, h, kSetSize.function, kVkdmOnly, [&](VKDM_KRNReaderModule_4J* m) {
        return m->SetTableSize(static_cast<unsigned>(t), size);
    });
}

JNIEXPORT jint JNICALL Java_de_varek_VkdmKrnReader_SetTableSize__IIIIIII(JNIEnv* env, jclass, jint h, jint t,
                                                                         jint capacity, jint s1, jint s2,
                                                                         jint s3, jint s4) {
    return askModule(env, h, kSetSize.function, kVkdmOnly, [&](VKDM_KRNReaderModule_4J* m) {
        return m->SetTableSize(static_cast<unsigned>(t), capacity, s1, s2, s3, s4);
    });
}

JNIEXPORT jint JNICALL Java_de_varek_VkdmKrnReader_GetTableSize(JNIEnv* env, jclass, jint h, jint t) {
    return askModule(env, h, kGetSize.function, kVkdmOnly,
                     [&](VKDM_KRNReaderModule_4J* m) { return m->GetTableSize(static_cast<unsigned>(t)); });
}

JNIEXPORT jint JNICALL Java_de_varek_VkdmKrnReader_GetTableLength(JNIEnv* env, jclass, jint h, jint t) {
    return askModule(env, h, kGetLength.function, kVkdmOnly,
                     [&](VKDM_KRNReaderModule_4J* m) { return m->GetTableLength(static_cast<unsigned>(t)); });
}

JNIEXPORT jint JNICALL Java_de_varek_VkdmKrnReader_SetTableLength(JNIEnv* env, jclass, jint h, jint t,
                                                                  jint length) {
    return askModule(env, h, kSetLength.function, kVkdmOnly, [&](VKDM_KRNReaderModule_4J* m) {
        return m->SetTableLength(static_cast<unsigned>(t), static_cast<unsigned>(length));
    });
}

JNIEXPORT jint JNICALL Java_de_varek_VkdmKrnReader_ResetTable(JNIEnv* env, jclass, jint h, jint t,
                                                              jint mode) {
    return askModule(env, h, kReset.function, kVkdmOnly, [&](VKDM_KRNReaderModule_4J* m) {
        return m->ResetTable(static_cast<unsigned>(t), static_cast<unsigned>(mode));
    });
}

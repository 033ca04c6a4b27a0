// The natives of de.varek.VkdmKrnReader that move a module's configuration
// between the reader, the module and XML files, and give its last error and
// status with their texts. The four transfers between reader and module, and
// the last error and status, hand Java the core's result, negative codes
// included; Serialize and the file transfers throw theirs.
#include "java_text.h"
#include "jni_frame.h"
#include "native_calls.h"

#include <de_varek_VkdmKrnReader.h>

using namespace nubokrn4j;

namespace {

using FlagOperation = int (VKDM_KRNReader::*)(bool);
using FileOperation = int (VKDM_KRNReaderModule::*)(const char*);

jint flagOperation(JNIEnv* env, jint handle, jboolean flag, const char* function, FlagOperation operation) {
    return askModule(env, handle, function, kNotRegistered,
                     [&](VKDM_KRNReaderModule_4J* m) { return (m->*operation)(flag != JNI_FALSE); });
}

// `call`(module, file-name text) with the checks of a String native; a negative
// result throws through VkdmException.
template <typename Call>
jint fileOperation(JNIEnv* env, jint handle, jstring fileName, const char* function, Call&& call) {
    NativeFrame frame(env, handle, function, kVkdmOnly);
    if (!frame.references({fileName}, __LINE__)) return kNullArgument;
    VKDM_KRNReaderModule_4J* module = frame.module(__LINE__);
    if (module == nullptr) return kNotRegistered;
    int r;
    {
        NativeTexts<1> texts;
        if (!texts.convert(frame, {fileName}, __LINE__)) return 0;
        r = call(module, texts[0]);
    }
    return frame.result(r, __LINE__);
}

// A text of the module: a String when the core knows it (result 0), else null.
template <typename Call> jstring moduleText(JNIEnv* env, jint handle, const char* function, Call&& call) {
    return askModule(env, handle, function, jstring{}, [&](VKDM_KRNReaderModule_4J* m) -> jstring {
        char text[256] = {};
        const int r = call(m, text);
        text[sizeof text - 1] = '\0';
        return r == 0 ? newJavaString(env, text) : nullptr;
    });
}

} // namespace

JNIEXPORT jint JNICALL Java_de_varek_VkdmKrnReader_ReadCompleteConfiguration(JNIEnv* env, jclass, jint handle,
                                                                             jboolean flag) {
    return flagOperation(env, handle, flag, "VkdmKrnReader_ReadCompleteConfiguration",
                         &VKDM_KRNReader::ReadCompleteConfiguration);
}

JNIEXPORT jint JNICALL Java_de_varek_VkdmKrnReader_WriteCompleteConfiguration(JNIEnv* env, jclass,
                                                                              jint handle, jboolean flag) {
    return flagOperation(env, handle, flag, "VkdmKrnReader_WriteCompleteConfiguration",
                         &VKDM_KRNReader::WriteCompleteConfiguration);
}

JNIEXPORT jint JNICALL Java_de_varek_VkdmKrnReader_ResetCompleteConfiguration(JNIEnv* env, jclass,
                                                                              jint handle, jboolean flag) {
    return flagOperation(env, handle, flag, "VkdmKrnReader_ResetCompleteConfiguration",
                         &VKDM_KRNReader::ResetCompleteConfiguration);
}

JNIEXPORT jint JNICALL Java_de_varek_VkdmKrnReader_ApplyConfiguration(JNIEnv* env, jclass, jint handle,
                                                                      jboolean flag) {
    return flagOperation(env, handle, flag, "VkdmKrnReader_ApplyConfiguration",
                         &VKDM_KRNReader::ApplyConfiguration);
}

JNIEXPORT jint JNICALL Java_de_varek_VkdmKrnReader_Serialize(JNIEnv* env, jclass, jint handle, jboolean flag,
                                                             jstring fileName) {
    const bool store = flag != JNI_FALSE;
    return fileOperation(
        env, handle, fileName, "VkdmKrnReader_Serialize",
        [store](VKDM_KRNReaderModule_4J* m, const char* file) { return m->Serialize(store, file); });
}

JNIEXPORT jint JNICALL Java_de_varek_VkdmKrnReader_TransferXmlFileToReaderCfg(JNIEnv* env, jclass,
                                                                              jint handle, jstring fileName) {
    return fileOperation(
        env, handle, fileName, "VkdmKrnReader_TransferXmlFileToReaderCfg",
        [](VKDM_KRNReaderModule_4J* m, const char* file) { return m->TransferXmlFileToReaderCfg(file); });
}

JNIEXPORT jint JNICALL Java_de_varek_VkdmKrnReader_TransferReaderCfgToXmlFile(JNIEnv* env, jclass,
                                                                              jint handle, jstring fileName) {
    return fileOperation(
        env, handle, fileName, "VkdmKrnReader_TransferReaderCfgToXmlFile",
        [](VKDM_KRNReaderModule_4J* m, const char* file) { return m->TransferReaderCfgToXmlFile(file); });
}

JNIEXPORT jint JNICALL Java_de_varek_VkdmKrnReader_GetLastError(JNIEnv* env, jclass, jint handle) {
    return askModule(env, handle, "VkdmKrnReader_GetLastError", kNotRegistered,
                     [](VKDM_KRNReaderModule_4J* m) { return m->GetLastError(); });
}

JNIEXPORT jint JNICALL Java_de_varek_VkdmKrnReader_GetLastStatus(JNIEnv* env, jclass, jint handle) {
    return askModule(env, handle, "VkdmKrnReader_GetLastStatus", kNotRegistered,
                     [](VKDM_KRNReaderModule_4J* m) { return m->GetLastStatus(); });
}

JNIEXPORT jstring JNICALL Java_de_varek_VkdmKrnReader_GetErrorText(JNIEnv* env, jclass, jint handle,
                                                                   jint code) {
    return moduleText(env, handle, "VkdmKrnReader_GetErrorText",
                      [code](VKDM_KRNReaderModule_4J* m, char* text) { return m->GetErrorText(text, code); });
}

JNIEXPORT jstring JNICALL Java_de_varek_VkdmKrnReader_GetStatusText(JNIEnv* env, jclass, jint handle,
                                                                    jbyte status) {
    return moduleText(env, handle, "VkdmKrnReader_GetStatusText",
                      [status](VKDM_KRNReaderModule_4J* m, char* text) {
                          return m->GetStatusText(text, static_cast<unsigned char>(status));
                      });
}

// Natives of de.varek.VkdmKrnReader that exchange T=CL APDUs with an ISO
// 14443-4 card (the answer returned, or sent to a VkdmDlqApdu listener), ping
// it and deselect it, through the module's session.
#include "java_cache.h"
#include "jni_frame.h"

#include <de_varek_VkdmKrnReader.h>

#include <vector>

using namespace nubokrn4j;

namespace {

constexpr int kResponseSize = 65537;

// The APDU's elements, or null after the native's end was set: -121 thrown
// for none, -105 for an empty array, or the JVM's exception pending.
jbyte* apduOf(NativeFrame& frame, const ByteElements& elements, jint& refused, int line) {
    refused = 0;
    if (frame.pending()) return nullptr;
    if (elements.get() == nullptr) {
        refused = frame.fail(kNullArgument, line);
        return nullptr;
    }
    if (elements.length() < 1) {
        refused = frame.fail(kEmptyArray, line);
        return nullptr;
    }
    return elements.get();
}

using TclCommand = int (VKDM_KRNReaderModule_4J::*)(bool, unsigned char);

jint tclCommand(JNIEnv* env, jint handle, jboolean useCid, jbyte cid, const char* function,
                TclCommand command) {
    NativeFrame frame(env, handle, function);
    VKDM_KRNReaderModule_4J* module = frame.module(__LINE__);
    if (module == nullptr) return kNotRegistered;
    const int r = (module->*command)(useCid == JNI_TRUE, static_cast<unsigned char>(cid));
    if (r < 0) frame.fail(r, __LINE__);
    return r;
}

} // namespace

JNIEXPORT jint JNICALL Java_de_varek_VkdmKrnReader_SendTclApdu__I_3BBBZZLde_varek_VkdmDlqApdu_2(
    JNIEnv* env, jclass, jint handle, jbyteArray apdu, jbyte cid, jbyte nad, jboolean useCid, jboolean useNad,
    jobject listener) {
    NativeFrame frame(env, handle, "VkdmKrnReader_SendTclApdu_Async");
    // A null listener is refused before anything is taken.
    if (!frame.references({listener}, __LINE__)) return kNullArgument;
    VKDM_KRNReaderModule_4J* module = frame.module(__LINE__);
    if (module == nullptr) return kNotRegistered;
    ByteElements elements(env, apdu);
    jint refused = 0;
    jbyte* bytes = apduOf(frame, elements, refused, __LINE__);
    if (bytes == nullptr) return refused;
    _VKDM_TASK_INIT_4J record{};
    record.vm = g_jvm.load();
    record.listener = listener;
    record.use = 1;
    record.method = g_jmidOnVkdmApduResponse;
    record.kind = 5;
    // The APDU library has copied the APDU when this returns.
    const int r =
        module->SendTclApdu(reinterpret_cast<unsigned char*>(bytes),
                            static_cast<unsigned int>(elements.length()), static_cast<unsigned char>(cid),
                            static_cast<unsigned char>(nad), useCid == JNI_TRUE, useNad == JNI_TRUE, &record);
    if (r != 0) frame.fail(r, __LINE__);
    return r;
}

JNIEXPORT jint JNICALL Java_de_varek_VkdmKrnReader_SendTclApdu__I_3BBBZZ_3B_3I(
    JNIEnv* env, jclass, jint handle, jbyteArray apdu, jbyte cid, jbyte nad, jboolean useCid, jboolean useNad,
    jbyteArray response, jintArray responseLength) {
    NativeFrame frame(env, handle, "VkdmKrnReader_SendTclApdu_Sync");
    if (!frame.references({response, responseLength}, __LINE__)) return kNullArgument;
    VKDM_KRNReaderModule_4J* module = frame.module(__LINE__);
    if (module == nullptr) return kNotRegistered;
    std::vector<unsigned char> answer(kResponseSize);
    unsigned int n = 0;
    int r = 0;
    {
        ByteElements elements(env, apdu);
        jint refused = 0;
        jbyte* bytes = apduOf(frame, elements, refused, __LINE__);
        if (bytes == nullptr) return refused;
        r = module->SendTclApdu(reinterpret_cast<unsigned char*>(bytes),
                                static_cast<unsigned int>(elements.length()), static_cast<unsigned char>(cid),
                                static_cast<unsigned char>(nad), useCid == JNI_TRUE, useNad == JNI_TRUE,
                                answer.data(), kResponseSize, &n);
    }
    if (r < 0) return frame.fail(r, __LINE__);
    // A reader status byte of the exchange: the arrays stay as they were.
    if (r > 0) return r;
    // An empty length array raises the JVM's bounds exception here.
    const jint length = static_cast<jint>(n);
    env->SetIntArrayRegion(responseLength, 0, 1, &length);
    if (frame.pending()) return 0;
    const jsize room = env->GetArrayLength(response);
    if (frame.pending()) return 0;
    if (room < 1 || length > room) return frame.fail(kEmptyArray, __LINE__);
    env->SetByteArrayRegion(response, 0, length, reinterpret_cast<const jbyte*>(answer.data()));
    if (frame.pending()) return 0;
    return 0;
}

JNIEXPORT jint JNICALL Java_de_varek_VkdmKrnReader_SendTclDeselect(JNIEnv* env, jclass, jint handle,
                                                                   jboolean useCid, jbyte cid) {
    return tclCommand(env, handle, useCid, cid, "VkdmKrnReader_SendTclDeselect",
                      &VKDM_KRNReaderModule_4J::SendTclDeselect);
}

JNIEXPORT jint JNICALL Java_de_varek_VkdmKrnReader_SendTclPing(JNIEnv* env, jclass, jint handle,
                                                               jboolean useCid, jbyte cid) {
    return tclCommand(env, handle, useCid, cid, "VkdmKrnReader_SendTclPing",
                      &VKDM_KRNReaderModule_4J::SendTclPing);
}

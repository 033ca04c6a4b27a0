// Natives of de.varek.VkdmKrnReader that start and end asynchronous tasks,
// send SAM commands and command queues whose replies arrive later, and
// register Java listeners of reader, serial-line and USB events. Each call
// fills a task record of its own.
#include "java_cache.h"
#include "jni_frame.h"
#include "key_wipe.h"

#include <de_varek_VkdmKrnReader.h>

#include <cstring>

using namespace nubokrn4j;

namespace {

// A listener must be an object of the class whose method will be called.
bool isListenerOf(JNIEnv* env, jobject listener, jweak cls) {
    if (listener == nullptr) return false;
    auto local = static_cast<jclass>(env->NewLocalRef(cls));
    if (local == nullptr) return false;
    const bool ok = env->IsInstanceOf(listener, local) == JNI_TRUE;
    env->DeleteLocalRef(local);
    return ok;
}

// Reads the key text into the record: its length halved above 1, its bytes
// from the hex digits (read where the JVM put them: no copy of the text). 0, or
// what the native returns: the code thrown, or 0 with the JVM's exception
// pending.
jint readKey(NativeFrame& frame, jstring key, _VKDM_TASK_INIT_4J& record, int line) {
    UtfChars chars(frame.env(), key);
    if (frame.pending()) return 0;
    if (chars.get() == nullptr) return frame.fail(kNullArgument, line);
    const std::size_t length = std::strlen(chars.get());
    record.keyLength = static_cast<std::uint32_t>(length > 1 ? length / 2 : length);
    if (VKDM_ConvHexStrToHexUChar(chars.get(), record.key, static_cast<int>(sizeof record.key)) < 0)
        return frame.fail(kBadKindOrEvent, line);
    return 0;
}

// What the reply of a SAM command or command queue needs: its listener's
// class, the method called and the task kind.
struct ReplyNative {
    jweak listenerClass;
    jmethodID method;
    std::uint32_t kind;
};

// The SAM and queue natives up to the module call: the data and listener
// (-121, returning 0), the lookup, the request's elements (-105 when empty);
// `send` (module, bytes, array length, record) starts the request and throws.
template <typename Send>
jint sendWithReply(NativeFrame& frame, jbyteArray data, jobject listener, jint timeout,
                   const ReplyNative& reply, Send send) {
    JNIEnv* env = frame.env();
    if (data == nullptr || !isListenerOf(env, listener, reply.listenerClass)) {
        if (!frame.pending()) frame.fail(kNullArgument, __LINE__);
        return 0;
    }
    VKDM_KRNReaderModule_4J* module = frame.module(__LINE__);
    if (module == nullptr) return kNotRegistered;
    ByteElements elements(env, data);
    if (frame.pending()) return 0;
    if (elements.get() == nullptr) return frame.fail(kNullArgument, __LINE__);
    if (elements.length() < 1) return frame.fail(kEmptyArray, __LINE__);
    _VKDM_TASK_INIT_4J record{};
    record.vm = g_jvm.load();
    record.listener = listener;
    record.use = 1;
    record.method = reply.method;
    record.kind = reply.kind;
    record.timeout = static_cast<std::uint32_t>(timeout);
    return send(*module, reinterpret_cast<unsigned char*>(elements.get()), elements.length(), record);
}

using ListenerOperation = int (VKDM_KRNReaderModule_4J::*)(JavaVM*, jobject, int);

// The six listener natives: the listener (when read) is checked, the module
// looked up, the operation's non-zero result thrown.
jint listenerNative(JNIEnv* env, jint handle, jobject listener, jint event, const char* function,
                    ListenerOperation operation, bool readsListener) {
    NativeFrame frame(env, handle, function);
    if (readsListener && !isListenerOf(env, listener, g_jcVkdmReader)) {
        if (frame.pending()) return 0;
        return frame.fail(kNullArgument, __LINE__);
    }
    VKDM_KRNReaderModule_4J* module = frame.module(__LINE__);
    if (module == nullptr) return kNotRegistered;
    const int r = (module->*operation)(g_jvm.load(), listener, event);
    if (r != 0 && !frame.pending()) frame.fail(r, __LINE__);
    return r;
}

} // namespace

JNIEXPORT jint JNICALL Java_de_varek_VkdmKrnReader_StartAsyncTask(
    JNIEnv* env, jclass, jint handle, jint kind, jint keepConnection, jint, jint port, jint acknowledge,
    jbyte timeout, jboolean cipher, jstring key, jboolean keepAlive, jint keepAlive1, jint keepAlive2,
    jint keepAlive3, jobject listener) {
    NativeFrame frame(env, handle, "VkdmKrnReader_StartAsyncTask");
    VKDM_KRNReaderModule_4J* module = frame.module(__LINE__);
    if (module == nullptr) return kNotRegistered;
    _VKDM_TASK_INIT_4J record{};
    const KeyWipe wipeKey(record.key);
    record.vm = g_jvm.load();
    record.listener = listener;
    if (kind == 1 || kind == 2) {
        record.use = 1;
        record.method = g_jmidOnVkdmNewTag;
    } else if (kind == 3) {
        record.use = 2;
        record.method = g_jmidOnVkdmNewNotification;
    } else {
        return frame.fail(kBadKindOrEvent, __LINE__);
    }
    record.reserved = 0;
    record.kind = static_cast<std::uint32_t>(kind);
    record.keepConnection = static_cast<std::uint32_t>(keepConnection);
    record.acknowledge = static_cast<std::uint32_t>(acknowledge);
    record.port = static_cast<std::uint32_t>(port);
    record.timeout = static_cast<std::uint32_t>(static_cast<std::int32_t>(timeout));
    record.cipher = cipher == JNI_TRUE ? 1 : 0;
    if (record.cipher != 0) {
        if (const jint refused = readKey(frame, key, record, __LINE__); refused != 0 || frame.pending())
            return refused;
    }
    if (keepAlive == JNI_TRUE) {
        if (keepAlive1 == 0 || keepAlive3 == 0) return frame.fail(kBadKindOrEvent, __LINE__);
        record.keepAlive = 1;
        record.keepAliveValues[0] = static_cast<std::uint32_t>(keepAlive1);
        record.keepAliveValues[1] = static_cast<std::uint32_t>(keepAlive2);
        record.keepAliveValues[2] = static_cast<std::uint32_t>(keepAlive3);
    }
    if (!isListenerOf(env, listener, g_jcVkdmReader)) {
        if (frame.pending()) return 0;
        return frame.fail(kNullArgument, __LINE__);
    }
    const int r = module->StartAsyncTask(&record);
    if (r != 0) frame.fail(r, __LINE__);
    return r;
}

JNIEXPORT jint JNICALL Java_de_varek_VkdmKrnReader_CancelAsyncTask(JNIEnv* env, jclass, jint handle) {
    NativeFrame frame(env, handle, "VkdmKrnReader_CancelAsyncTask");
    VKDM_KRNReaderModule_4J* module = frame.module(__LINE__);
    if (module == nullptr) return kNotRegistered;
    return module->CancelAsyncTask();
}

JNIEXPORT jint JNICALL Java_de_varek_VkdmKrnReader_TriggerAsyncTask(JNIEnv* env, jclass, jint handle) {
    NativeFrame frame(env, handle, "VkdmKrnReader_TriggerAsyncTask");
    VKDM_KRNReaderModule_4J* module = frame.module(__LINE__);
    if (module == nullptr) return kNotRegistered;
    return module->TriggerAsyncTask();
}

JNIEXPORT jint JNICALL Java_de_varek_VkdmKrnReader_SendSAMCommand(JNIEnv* env, jclass, jint handle,
                                                                  jint samSlot, jbyteArray data, jint timeout,
                                                                  jobject listener) {
    NativeFrame frame(env, handle, "VkdmKrnReader_SendSAMCommand");
    const ReplyNative sam{g_jcVkdmReader, g_jmidOnVkdmSAMResponse, 6};
    return sendWithReply(
        frame, data, listener, timeout, sam,
        [&](VKDM_KRNReaderModule_4J& module, unsigned char* bytes, jsize count, _VKDM_TASK_INIT_4J& record) {
            const int r = module.SendSAMCommand(samSlot, bytes, count, &record);
            if (r < 0) frame.fail(r, __LINE__);
            return r;
        });
}

JNIEXPORT jint JNICALL Java_de_varek_VkdmKrnReader_SendCommandQueue(JNIEnv* env, jclass, jint handle,
                                                                    jint first, jint second, jbyteArray data,
                                                                    jint length, jint timeout,
                                                                    jobject listener) {
    NativeFrame frame(env, handle, "VkdmKrnReader_SendCommandQueue");
    const ReplyNative queue{g_jcVkdmDlqCommandQueue, g_jmidOnVkdmQueueResponse, 4};
    return sendWithReply(
        frame, data, listener, timeout, queue,
        [&](VKDM_KRNReaderModule_4J& module, unsigned char* bytes, jsize count, _VKDM_TASK_INIT_4J& record) {
            // The length sent stays within the array.
            if (length < 0 || length > count) return frame.fail(kEmptyArray, __LINE__);
            const int r = module.SendCommandQueue(first, second, bytes, length, &record);
            if (r != 0) frame.fail(r, __LINE__);
            return r;
        });
}

JNIEXPORT jint JNICALL Java_de_varek_VkdmKrnReader_AddReaderEventListener(JNIEnv* env, jclass, jint handle,
                                                                          jobject listener, jint event) {
    return listenerNative(env, handle, listener, event, "VkdmKrnReader_AddReaderEventListener",
                          &VKDM_KRNReaderModule_4J::AddKrnEventHandler, true);
}

JNIEXPORT jint JNICALL Java_de_varek_VkdmKrnReader_RemoveReaderEventListener(JNIEnv* env, jclass, jint handle,
                                                                             jobject listener, jint event) {
    return listenerNative(env, handle, listener, event, "VkdmKrnReader_RemoveReaderEventListener",
                          &VKDM_KRNReaderModule_4J::DelKrnEventHandler, false);
}

JNIEXPORT jint JNICALL Java_de_varek_VkdmKrnReader_AddCOMMEventListener(JNIEnv* env, jclass, jint handle,
                                                                        jobject listener, jint event) {
    return listenerNative(env, handle, listener, event, "VkdmKrnReader_AddCOMMEventListener",
                          &VKDM_KRNReaderModule_4J::AddComEventHandler, true);
}

JNIEXPORT jint JNICALL Java_de_varek_VkdmKrnReader_RemoveCOMMEventListener(JNIEnv* env, jclass, jint handle,
                                                                           jobject listener, jint event) {
    return listenerNative(env, handle, listener, event, "VkdmKrnReader_RemoveCOMMEventListener",
                          &VKDM_KRNReaderModule_4J::DelComEventHandler, false);
}

JNIEXPORT jint JNICALL Java_de_varek_VkdmKrnReader_AddUSBEventListener(JNIEnv* env, jclass, jint handle,
                                                                       jobject listener, jint event) {
    return listenerNative(env, handle, listener, event, "VkdmKrnReader_AddUSBEventListener",
                          &VKDM_KRNReaderModule_4J::AddUsbEventHandler, true);
}

JNIEXPORT jint JNICALL Java_de_varek_VkdmKrnReader_RemoveUSBEventListener(JNIEnv* env, jclass, jint handle,
                                                                          jobject listener, jint event) {
    return listenerNative(env, handle, listener, event, "VkdmKrnReader_RemoveUSBEventListener",
                          &VKDM_KRNReaderModule_4J::DelUsbEventHandler, false);
}

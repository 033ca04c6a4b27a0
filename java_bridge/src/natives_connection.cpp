// The natives of de.varek.VkdmKrnReader that connect a reader module, report
// its connection, set and read port and protocol-log parameters and keep its
// bus address, frame support and reader type.
#include "java_text.h"
#include "jni_frame.h"
#include "native_calls.h"

#include <de_varek_VkdmKrnReader.h>
#include <vkkrn.h>

#include <cstdint>
#include <cstring>
#include <string>

using namespace nubokrn4j;

namespace {

// libvktcp's socket-state codes go to VkPortDriverException; every other
// negative code to VkdmException.
constexpr CodeRange kTcpStateRows[] = {{-1299, -1200, ExceptionClass::PortDriver}};
// libvkkrn's own codes go to VkReaderDriverException.
constexpr CodeRange kLogParaRows[] = {{-4099, -4001, ExceptionClass::ReaderDriver}};

constexpr unsigned int kDoPortCmd = 1025; // VIZER_DoPortCmd
using DoPortCmd = int (*)(int, char*, char*);

// The modem-line keys that bypass the core, compared exactly.
bool isModemLineKey(const char* key) {
    return std::strcmp(key, "SetRTS") == 0 || std::strcmp(key, "SetDTR") == 0;
}

std::string composedName(const char* native, const char* key, const char* value) {
    return std::string("Java_de_varek_VkdmKrnReader_") + native + "(\"" + key + "\", \"" + value + "\")";
}

// The three connects: the core's call under the global lock, released before
// the throw.
template <typename Connect> jint connect(JNIEnv* env, jint handle, const char* function, Connect&& call) {
    return askModule(env, handle, function, kStandardRanges, [&call](VKDM_KRNReaderModule_4J* m) {
        GlobalLock lock;
        return call(m);
    });
}

} // namespace

JNIEXPORT jint JNICALL Java_de_varek_VkdmKrnReader_ConnectCOMM(JNIEnv* env, jclass, jint handle, jint port) {
    return connect(env, handle, "VkdmKrnReader_ConnectCOMM",
                   [port](VKDM_KRNReaderModule_4J* m) { return m->ConnectCOMM(port); });
}

JNIEXPORT jint JNICALL Java_de_varek_VkdmKrnReader_ConnectTCP(JNIEnv* env, jclass, jint handle, jstring host,
                                                              jint port) {
    NativeFrame frame(env, handle, "VkdmKrnReader_ConnectTCP", kStandardRanges);
    if (!frame.references({host}, __LINE__)) return kNullArgument;
    VKDM_KRNReaderModule_4J* module = frame.module(__LINE__);
    if (module == nullptr) return kNotRegistered;
    int r;
    {
        NativeTexts<1> texts;
        if (!texts.convert(frame, {host}, __LINE__)) return 0;
        GlobalLock lock;
        r = module->ConnectTCP(texts[0], port);
    }
    return frame.result(r, __LINE__);
}

JNIEXPORT jint JNICALL Java_de_varek_VkdmKrnReader_ConnectUSB(JNIEnv* env, jclass, jint handle,
                                                              jlong deviceId) {
    // The device id is the low 32 bits, unsigned.
    const auto id = static_cast<unsigned int>(static_cast<std::uint64_t>(deviceId) & 0xFFFFFFFFu);
    return connect(env, handle, "VkdmKrnReader_ConnectUSB",
                   [id](VKDM_KRNReaderModule_4J* m) { return m->ConnectUSB(id); });
}

JNIEXPORT jint JNICALL Java_de_varek_VkdmKrnReader_DisConnect(JNIEnv* env, jclass, jint handle) {
    return askModule(env, handle, "VkdmKrnReader_DisConnect", kStandardRanges,
                     [](VKDM_KRNReaderModule_4J* m) { return m->DisConnect(); });
}

JNIEXPORT jboolean JNICALL Java_de_varek_VkdmKrnReader_IsConnected(JNIEnv* env, jclass, jint handle) {
    return askModule(env, handle, "VkdmKrnReader_IsConnected", jboolean{JNI_FALSE},
                     [](VKDM_KRNReaderModule_4J* m) { return m->IsConnected() ? JNI_TRUE : JNI_FALSE; });
}

JNIEXPORT jint JNICALL Java_de_varek_VkdmKrnReader_GetTcpConnectionState(JNIEnv* env, jclass, jint handle) {
    return askModule(env, handle, "VkdmKrnReader_GetTcpConnectionState", RangeTable{kTcpStateRows},
                     [](VKDM_KRNReaderModule_4J* m) { return m->GetTcpConnectionState(); });
}

JNIEXPORT jint JNICALL Java_de_varek_VkdmKrnReader_SetPortPara(JNIEnv* env, jclass, jint handle, jstring key,
                                                               jstring value) {
    NativeFrame frame(env, handle, "VkdmKrnReader_SetPortPara", kStandardRanges);
    if (!frame.references({key, value}, __LINE__)) return kNullArgument;
    VKDM_KRNReaderModule_4J* module = frame.module(__LINE__);
    if (module == nullptr) return kNotRegistered;
    int r = 0;
    bool noDoPortCmd = false;
    {
        NativeTexts<2> texts;
        if (!texts.convert(frame, {key, value}, __LINE__)) return 0;
        if (isModemLineKey(texts[0])) {
            // Straight to the serial library, whose answer is not the caller's;
            // nothing to do without a port.
            const int port = module->GetPortHnd();
            if (port > 0) {
                auto doPortCmd = reinterpret_cast<DoPortCmd>(module->GetViZerFunction(kDoPortCmd));
                noDoPortCmd = doPortCmd == nullptr;
                if (doPortCmd != nullptr) {
                    std::string command = texts[0];
                    std::string argument = texts[1];
                    doPortCmd(port, command.data(), argument.data());
                }
            }
        } else {
            r = module->SetPortPara(texts[0], texts[1]);
            if (r < 0) frame.setFunction(composedName("SetPortPara", texts[0], texts[1]));
        }
    }
    if (noDoPortCmd) return frame.fail(kNullArgument, __LINE__);
    return frame.result(r, __LINE__);
}

JNIEXPORT jstring JNICALL Java_de_varek_VkdmKrnReader_GetPortPara(JNIEnv* env, jclass, jint handle,
                                                                  jstring key) {
    NativeFrame frame(env, handle, "VkdmKrnReader_GetPortPara", kStandardRanges);
    if (!frame.references({key}, __LINE__)) return nullptr;
    VKDM_KRNReaderModule_4J* module = frame.module(__LINE__);
    if (module == nullptr) return nullptr;
    char value[256] = {};
    int r;
    {
        NativeTexts<1> texts;
        if (!texts.convert(frame, {key}, __LINE__)) return nullptr;
        r = module->GetPortPara(texts[0], value);
    }
    value[sizeof value - 1] = '\0';
    if (r == 0) return newJavaString(env, value);
    frame.result(r, __LINE__);
    return nullptr;
}

JNIEXPORT jint JNICALL Java_de_varek_VkdmKrnReader_SetLogPara(JNIEnv* env, jclass, jint handle, jstring key,
                                                              jstring value) {
    NativeFrame frame(env, handle, "VkdmKrnReader_SetLogPara", RangeTable{kLogParaRows});
    if (!frame.references({key, value}, __LINE__)) return kNullArgument;
    VKDM_KRNReaderModule_4J* module = frame.module(__LINE__);
    if (module == nullptr) return kNotRegistered;
    int r;
    {
        NativeTexts<2> texts;
        if (!texts.convert(frame, {key, value}, __LINE__)) return 0;
        // The reader handle as it is: 0 on an unconnected module, which libvkkrn answers.
        r = VKKRN_SetReaderPara(module->GetReaderHnd(), texts[0], texts[1]);
        if (r < 0) frame.setFunction(composedName("SetLogPara", texts[0], texts[1]));
    }
    return frame.result(r, __LINE__);
}

JNIEXPORT void JNICALL Java_de_varek_VkdmKrnReader_SetBusAddress(JNIEnv* env, jclass, jint handle,
                                                                 jbyte address) {
    askModule(env, handle, "VkdmKrnReader_SetBusAddress", 0, [address](VKDM_KRNReaderModule_4J* m) {
        m->SetBusAddress(static_cast<unsigned char>(address));
        return 0;
    });
}

JNIEXPORT jbyte JNICALL Java_de_varek_VkdmKrnReader_GetBusAddress(JNIEnv* env, jclass, jint handle) {
    return askModule(env, handle, "VkdmKrnReader_GetBusAddress", jbyte{0},
                     [](VKDM_KRNReaderModule_4J* m) { return static_cast<jbyte>(m->GetBusAddress()); });
}

JNIEXPORT jint JNICALL Java_de_varek_VkdmKrnReader_GetProtocolFrameSupport(JNIEnv* env, jclass, jint handle) {
    return askModule(env, handle, "VkdmKrnReader_GetProtocolFrameSupport", kNotRegistered,
                     [](VKDM_KRNReaderModule_4J* m) { return m->GetProtocolFrameSupport(); });
}

JNIEXPORT jint JNICALL Java_de_varek_VkdmKrnReader_SetProtocolFrameSupport(JNIEnv* env, jclass, jint handle,
                                                                           jint value) {
    return askModule(env, handle, "VkdmKrnReader_SetProtocolFrameSupport", kNotRegistered,
                     [value](VKDM_KRNReaderModule_4J* m) { return m->SetProtocolFrameSupport(value); });
}

JNIEXPORT jstring JNICALL Java_de_varek_VkdmKrnReader_GetFamilyCode(JNIEnv* env, jclass, jint handle) {
    return askModule(env, handle, "VkdmKrnReader_GetFamilyCode", jstring{},
                     [env](VKDM_KRNReaderModule_4J* m) { return newJavaString(env, m->GetFamilyCode()); });
}

JNIEXPORT jstring JNICALL Java_de_varek_VkdmKrnReader_GetReaderName(JNIEnv* env, jclass, jint handle) {
    return askModule(env, handle, "VkdmKrnReader_GetReaderName", jstring{},
                     [env](VKDM_KRNReaderModule_4J* m) { return newJavaString(env, m->GetReaderName()); });
}

JNIEXPORT jint JNICALL Java_de_varek_VkdmKrnReader_GetReaderType(JNIEnv* env, jclass, jint handle) {
    return askModule(env, handle, "VkdmKrnReader_GetReaderType", kNotRegistered,
                     [](VKDM_KRNReaderModule_4J* m) { return m->GetReaderType(); });
}

JNIEXPORT jint JNICALL Java_de_varek_VkdmKrnReader_SetReaderType(JNIEnv* env, jclass, jint handle,
                                                                 jint type) {
    return askModule(env, handle, "VkdmKrnReader_SetReaderType", kVkdmOnly,
                     [type](VKDM_KRNReaderModule_4J* m) { return m->SetReaderType(type); });
}

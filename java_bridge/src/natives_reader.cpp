// The natives of de.varek.VkdmKrnReader that make, destroy and lock reader
// modules and report versions, and the empty natives of VkdmLoggerInternal.
#include "java_cache.h"
#include "java_text.h"
#include "jni_frame.h"

#include <de_varek_VkdmKrnReader.h>
#include <de_varek_VkdmLoggerInternal.h>

#include <cstdio>

using namespace nubokrn4j;

namespace {

constexpr jint kVersionTooOld = -149;

std::string moduleErrorText(VKDM_KRNReaderModule_4J* module, int code) {
    char text[256] = {};
    module->GetErrorText(text, code);
    text[sizeof text - 1] = '\0';
    return toModifiedUtf8(text);
}

} // namespace

JNIEXPORT jint JNICALL Java_de_varek_VkdmKrnReader_Init(JNIEnv* env, jclass) {
    static constexpr char kFunction[] = "VkdmKrnReader_Init";
    VKDM_P();
    const int handle = g_VkdmReaderManager.CreateReaderModule(3);
    if (handle <= 0) {
        VKDM_V();
        ExecuteVkdmException(env, 0, handle, kFunction, __LINE__);
        return handle;
    }
    VKDM_KRNReaderModule_4J* module = g_VkdmReaderManager.SearchReaderModule(handle);
    if (module == nullptr) {
        VKDM_V();
        ExecuteVkdmException(env, handle, kNotRegistered, kFunction, __LINE__);
        return kNotRegistered;
    }

    const std::string coreVersion = VKDM_Base::GetLibVersion();
    if (packedVersion(coreVersion) < packedVersion(kBridgeVersion)) {
        const std::string line = "VkdmKrnCoreVC60: V" + toModifiedUtf8(coreVersion) +
                                 " detected, but at least V" + kBridgeVersion + " expected";
        const std::string message = "\n" + moduleErrorText(module, kVersionTooOld) + "\n" + line;
        // Java never learns the handle: the module goes at once.
        g_VkdmReaderManager.DeleteReaderModule(handle);
        VKDM_V();
        throwWithMessage(env, ExceptionClass::Vkdm, message, kVersionTooOld);
        return 0;
    }

    std::string dependencies;
    const int r = module->EvalLibDependencies(dependencies);
    if (r == 0) {
        VKDM_V();
        return handle;
    }
    const std::string message = "\n" + moduleErrorText(module, r) +
                                "\nnative Library Version: " + kBridgeVersion + "\n\n" +
                                toModifiedUtf8(dependencies);
    g_VkdmReaderManager.DeleteReaderModule(handle);
    VKDM_V();
    throwWithMessage(env, ExceptionClass::Vkdm, message, r);
    return 0;
}

JNIEXPORT jint JNICALL Java_de_varek_VkdmKrnReader_Destroy(JNIEnv*, jclass, jint handle) {
    return g_VkdmReaderManager.DeleteReaderModule(handle);
}

JNIEXPORT jint JNICALL Java_de_varek_VkdmKrnReader_Lock(JNIEnv*, jclass) {
    return g_VkdmReaderManager.VKDM_LockMutexInit(0);
}

JNIEXPORT jint JNICALL Java_de_varek_VkdmKrnReader_Unlock(JNIEnv*, jclass) {
    g_VkdmReaderManager.VKDM_UnLockMutexInit();
    return 0;
}

JNIEXPORT jstring JNICALL Java_de_varek_VkdmKrnReader_GetLibVersion(JNIEnv* env, jclass, jint handle) {
    NativeFrame frame(env, handle, "VkdmKrnReader_GetLibVersion");
    if (frame.module(__LINE__) == nullptr) return nullptr;
    return newJavaString(env, VKDM_Base::GetLibVersion());
}

JNIEXPORT jint JNICALL Java_de_varek_VkdmKrnReader_VerifyLibVersion(JNIEnv* env, jclass, jint handle,
                                                                    jint major, jint minor, jint patch) {
    NativeFrame frame(env, handle, "VkdmKrnReader_VerifyLibVersion");
    if (frame.module(__LINE__) == nullptr) return kNotRegistered;
    const auto core = versionFields(VKDM_Base::GetLibVersion());
    const int wanted[3] = {major, minor, patch};
    for (int k = 0; k < 3; ++k) {
        if (core[static_cast<std::size_t>(k)] < wanted[k]) return -1;
        if (core[static_cast<std::size_t>(k)] > wanted[k]) return 0;
    }
    return 0;
}

JNIEXPORT jstring JNICALL Java_de_varek_VkdmKrnReader_GetDependentLibVersions(JNIEnv* env, jclass,
                                                                              jint handle) {
    NativeFrame frame(env, handle, "VkdmKrnReader_GetDependentLibVersions");
    VKDM_KRNReaderModule_4J* module = frame.module(__LINE__);
    if (module == nullptr) return nullptr;
    const std::string text = module->GetDependentLibVersions() + "VKDM:  V" + VKDM_Base::GetLibVersion() +
                             " installed\nNUBOKRN4J: V" + kBridgeVersion + " installed\n";
    return newJavaString(env, text);
}

JNIEXPORT jint JNICALL Java_de_varek_VkdmKrnReader_GetVkkrnHandle(JNIEnv* env, jclass, jint handle) {
    NativeFrame frame(env, handle, "VkdmKrnReader_GetVkkrnHandle");
    VKDM_KRNReaderModule_4J* module = frame.module(__LINE__);
    if (module == nullptr) return kNotRegistered;
    return module->GetReaderHnd();
}

// ---- VkdmLoggerInternal: the bridge keeps no log ---------------------------------

JNIEXPORT jint JNICALL Java_de_varek_VkdmLoggerInternal_Init(JNIEnv*, jclass, jlong) {
    return 0;
}

JNIEXPORT void JNICALL Java_de_varek_VkdmLoggerInternal_Destroy(JNIEnv*, jclass) {}

JNIEXPORT void JNICALL Java_de_varek_VkdmLoggerInternal_Trace(JNIEnv*, jclass, jint, jstring) {}

JNIEXPORT void JNICALL Java_de_varek_VkdmLoggerInternal_TraceWPara(JNIEnv*, jclass, jint, jstring, jstring) {}

JNIEXPORT void JNICALL Java_de_varek_VkdmLoggerInternal_SetProp1(JNIEnv*, jclass, jstring, jstring) {}

JNIEXPORT void JNICALL Java_de_varek_VkdmLoggerInternal_SetProp2(JNIEnv*, jclass, jstring, jint) {}

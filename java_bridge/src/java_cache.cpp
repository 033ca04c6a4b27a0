#include "java_cache.h"

namespace nubokrn4j {

std::atomic<JavaVM*> g_jvm{nullptr};
jweak g_jcVkdmFunctionUnit = nullptr;
jweak g_jcVkdmReader = nullptr;
jmethodID g_jmidOnVkKrnStrEvent = nullptr;
jmethodID g_jmidOnVkKrnPrtEvent = nullptr;
jmethodID g_jmidOnVkdmNewTag = nullptr;
jmethodID g_jmidOnVkdmNewNotification = nullptr;
jmethodID g_jmidOnVkdmSAMResponse = nullptr;
jweak g_jcVkdmDlqCommandQueue = nullptr;
jmethodID g_jmidOnVkdmQueueResponse = nullptr;
jweak g_jcVkdmDlqApdu = nullptr;
jmethodID g_jmidOnVkdmApduResponse = nullptr;

} // namespace nubokrn4j

#include "core_calls.h"

#include <vkdm/vkdm_control.h>

namespace vkbridge {

void startCoreLog() {
    VKDM_CTL_SetCallLog(1);
    VKDM_CTL_ClearCallLog();
}

void stopCoreLog() {
    VKDM_CTL_SetCallLog(0);
}

std::vector<std::string> coreCalls() {
    std::vector<std::string> lines;
    const int count = VKDM_CTL_CallLogCount();
    for (int k = 0; k < count; ++k) {
        char line[1024] = {};
        if (VKDM_CTL_CallLogLine(k, line, static_cast<int>(sizeof line)) == 0) lines.emplace_back(line);
    }
    return lines;
}

std::vector<std::string> coreCalls(const std::string& prefix) {
    std::vector<std::string> matching;
    for (std::string& line : coreCalls())
        if (line.rfind(prefix, 0) == 0) matching.push_back(std::move(line));
    return matching;
}

JavaString::JavaString(JNIEnv* env, const char* utf)
    : env_(env), string_(utf != nullptr ? env->NewStringUTF(utf) : nullptr) {}

JavaString::JavaString(JNIEnv* env, const std::u16string& utf16)
    : env_(env), string_(env->NewString(reinterpret_cast<const jchar*>(utf16.data()),
                                        static_cast<jsize>(utf16.size()))) {}

JavaString::~JavaString() {
    if (string_ != nullptr) env_->DeleteLocalRef(string_);
}

} // namespace vkbridge

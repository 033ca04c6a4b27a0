#include "control.h"

#include "codes.h"

#include <vkdm/vkdm_control.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <vector>

namespace vkdm {

namespace {

constexpr const char* kVersion = "04.07.00";
constexpr std::size_t kMaxLogLines = 4096;

struct ControlState {
    std::mutex mutex;
    std::string version = kVersion;
    bool dependencyForced = false;
    int dependencyResult = 0;
    std::string dependencyText;
    std::map<std::string, int> forced;
    std::vector<VKDM_KRNReaderModule*> modules;
    bool logOn = false;
    std::deque<std::string> log;
};

// Never destroyed: the bridge's registry deletes leftover modules while the process exits, after
// function-local statics of this library may already be gone, and every delete reports here.
ControlState& state() {
    static ControlState* s = new ControlState;
    return *s;
}

} // namespace

namespace {

void logLocked(ControlState& s, const char* op, const char* overload, const std::string& id, long long length,
               const std::string& value) {
    if (!s.logOn) return;
    std::string line = std::string(op) + "(" + overload + ")";
    if (!id.empty()) line += " id=" + id;
    if (length >= 0) line += " len=" + std::to_string(length);
    if (!value.empty()) line += " value=" + value;
    if (s.log.size() == kMaxLogLines) s.log.pop_front();
    s.log.push_back(std::move(line));
}

} // namespace

bool enter(const char* op, const char* overload, const std::string& id, long long length,
           const std::string& value, int& result) {
    ControlState& s = state();
    std::lock_guard<std::mutex> guard(s.mutex);
    logLocked(s, op, overload, id, length, value);
    if (s.forced.empty()) return false;
    auto it = s.forced.find(op);
    if (it == s.forced.end()) return false;
    result = it->second;
    s.forced.erase(it);
    return true;
}

void logCall(const char* op, const std::string& id) {
    ControlState& s = state();
    std::lock_guard<std::mutex> guard(s.mutex);
    logLocked(s, op, "", id, -1, "");
}

std::string versionText() {
    ControlState& s = state();
    std::lock_guard<std::mutex> guard(s.mutex);
    return s.version;
}

bool forcedDependency(int& result, std::string& text) {
    ControlState& s = state();
    std::lock_guard<std::mutex> guard(s.mutex);
    if (!s.dependencyForced) return false;
    result = s.dependencyResult;
    text = s.dependencyText;
    return true;
}

void addModule(VKDM_KRNReaderModule* module) {
    ControlState& s = state();
    std::lock_guard<std::mutex> guard(s.mutex);
    s.modules.push_back(module);
}

void removeModule(VKDM_KRNReaderModule* module) {
    ControlState& s = state();
    std::lock_guard<std::mutex> guard(s.mutex);
    s.modules.erase(std::remove(s.modules.begin(), s.modules.end(), module), s.modules.end());
}

} // namespace vkdm

using vkdm::state;

extern "C" {

int VKDM_CTL_SetVersion(const char* version) {
    if (version != nullptr && std::strlen(version) > 31) return vkdm::kValueTooLong;
    std::lock_guard<std::mutex> guard(state().mutex);
    state().version = version != nullptr ? version : vkdm::kVersion;
    return 0;
}

int VKDM_CTL_SetDependencyResult(int result, const char* text) {
    std::lock_guard<std::mutex> guard(state().mutex);
    state().dependencyForced = text != nullptr;
    state().dependencyResult = result;
    state().dependencyText = text != nullptr ? text : "";
    return 0;
}

int VKDM_CTL_ForceResult(const char* name, int result) {
    std::lock_guard<std::mutex> guard(state().mutex);
    if (name == nullptr) {
        state().forced.clear();
        return 0;
    }
    state().forced[name] = result;
    return 0;
}

int VKDM_CTL_ModuleCount(void) {
    std::lock_guard<std::mutex> guard(state().mutex);
    return static_cast<int>(state().modules.size());
}

VKDM_KRNReaderModule* VKDM_CTL_FindModule(int handle) {
    std::vector<VKDM_KRNReaderModule*> modules;
    {
        std::lock_guard<std::mutex> guard(state().mutex);
        modules = state().modules;
    }
    for (VKDM_KRNReaderModule* m : modules) {
        if (m->GetModuleHnd() == handle) return m;
    }
    return nullptr;
}

int VKDM_CTL_SetCallLog(int on) {
    std::lock_guard<std::mutex> guard(state().mutex);
    state().logOn = on != 0;
    return 0;
}

int VKDM_CTL_ClearCallLog(void) {
    std::lock_guard<std::mutex> guard(state().mutex);
    state().log.clear();
    return 0;
}

int VKDM_CTL_CallLogCount(void) {
    std::lock_guard<std::mutex> guard(state().mutex);
    return static_cast<int>(state().log.size());
}

int VKDM_CTL_CallLogLine(int index, char* text, int size) {
    if (text == nullptr || size < 1) return vkdm::kNullArgument;
    std::lock_guard<std::mutex> guard(state().mutex);
    if (index < 0 || index >= static_cast<int>(state().log.size())) return vkdm::kOutOfRange;
    const std::string& line = state().log[static_cast<std::size_t>(index)];
    const std::size_t n = std::min(line.size(), static_cast<std::size_t>(size - 1));
    std::memcpy(text, line.data(), n);
    text[n] = '\0';
    return 0;
}

} // extern "C"

// What the control interface sets and reads: the version text, the dependency
// result, forced results, live modules and the call log. One mutex guards it
// all; it is a leaf.
#ifndef VKDM_CONTROL_STATE_H
#define VKDM_CONTROL_STATE_H

#include <string>

class VKDM_KRNReaderModule;

namespace vkdm {

// Logs the call (when the log is on) and, when a result is forced for `op`,
// takes it into `result` and returns true.
bool enter(const char* op, const char* overload, const std::string& id, long long length,
           const std::string& value, int& result);
inline bool enter(const char* op, int& result) {
    return enter(op, "", "", -1, "", result);
}
// Logs the call (when the log is on) of an operation no result can be forced for.
void logCall(const char* op, const std::string& id);

std::string versionText();
// True and the forced result and text when the dependency check is forced.
bool forcedDependency(int& result, std::string& text);

void addModule(VKDM_KRNReaderModule* module);
void removeModule(VKDM_KRNReaderModule* module);

} // namespace vkdm

#endif

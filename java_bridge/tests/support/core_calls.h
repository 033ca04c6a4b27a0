// What the data-manager core saw: its call log through the control interface.
// And Java Strings for test arguments, deleted with their holder.
#ifndef VKBRIDGE_CORE_CALLS_H
#define VKBRIDGE_CORE_CALLS_H

#include <jni.h>

#include <string>
#include <vector>

namespace vkbridge {

// Turns the core's call log on and empties it; off again.
void startCoreLog();
void stopCoreLog();
// The lines logged since, oldest first.
std::vector<std::string> coreCalls();
// The logged lines that begin with `prefix` (an operation, "ConnectTCP(").
std::vector<std::string> coreCalls(const std::string& prefix);

// A local reference to a new String, deleted at the end of the scope. From
// modified UTF-8 or from UTF-16 (for NUL and supplementary characters).
class JavaString {
  public:
    JavaString(JNIEnv* env, const char* utf);
    JavaString(JNIEnv* env, const std::u16string& utf16);
    ~JavaString();
    JavaString(const JavaString&) = delete;
    JavaString& operator=(const JavaString&) = delete;
    jstring get() const { return string_; }
    operator jstring() const { return string_; }

  private:
    JNIEnv* env_;
    jstring string_;
};

} // namespace vkbridge

#endif

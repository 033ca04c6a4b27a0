// Fixture of the JVM tests of the data, report and table natives: a reader
// module made through Init, its core object (control interface), the core's
// call log, and helpers that make Java arrays and read Java fields.
#ifndef NUBOKRN4J_DATA_JVM_FIXTURE_H
#define NUBOKRN4J_DATA_JVM_FIXTURE_H

#include "bridge_call.h"

#include <vkdm/vkdm_control.h>
#include <vktesting/test_jvm.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vkdata {

using vkbridge::B;
using vkbridge::I;
using vkbridge::J;
using vkbridge::L;
using vkbridge::Outcome;
using vkbridge::Z;
using Bytes = std::vector<std::uint8_t>;

constexpr int kUnlisted = 0x10000FFF;

// A local reference, deleted at the end of its scope.
template <typename T> class Local {
  public:
    Local(JNIEnv* env, T ref) : env_(env), ref_(ref) {}
    ~Local() {
        if (ref_ != nullptr) env_->DeleteLocalRef(ref_);
    }
    Local(const Local&) = delete;
    Local& operator=(const Local&) = delete;
    Local(Local&& other) noexcept : env_(other.env_), ref_(other.ref_) { other.ref_ = nullptr; }
    T get() const { return ref_; }
    operator T() const { return ref_; }

  private:
    JNIEnv* env_;
    T ref_;
};

// Fields of a Java object, read by name (a missing field fails the test).
class Fields {
  public:
    Fields(JNIEnv* env, jobject object);
    ~Fields();
    Fields(const Fields&) = delete;
    Fields& operator=(const Fields&) = delete;
    std::uint8_t byte(const char* name) const;
    bool flag(const char* name) const;
    int number(const char* name) const;
    // Nothing for a null array.
    std::optional<Bytes> bytes(const char* name) const;
    std::optional<std::string> text(const char* name) const;
    std::u16string text16(const char* name) const;
    Local<jobject> object(const char* name, const char* signature) const;
    void setObject(const char* name, const char* signature, jobject value) const;

  private:
    jfieldID id(const char* name, const char* signature) const;
    JNIEnv* env_;
    jobject object_;
    jclass type_;
};

class DataJvmTest : public ::testing::Test {
  protected:
    JNIEnv* env = vktesting::testJniEnv();
    int handle = 0;
    VKDM_KRNReaderModule* module = nullptr;

    void SetUp() override;
    void TearDown() override;

    Outcome call(const char* name, const char* signature, const std::vector<jvalue>& args) {
        return vkbridge::callReader(env, name, signature, args);
    }
    // The core's call log since the last clear, and a fresh start.
    std::vector<std::string> log() const;
    // The lines of one operation ("GetConfigPara").
    std::vector<std::string> logOf(const std::string& operation) const;
    void clearLog() const { VKDM_CTL_ClearCallLog(); }

    Local<jstring> str(const char* text) const { return {env, env->NewStringUTF(text)}; }
    Local<jbyteArray> bytes(const Bytes& values) const;
    Local<jbooleanArray> booleans(const std::vector<bool>& values) const;
    Local<jintArray> ints(const std::vector<jint>& values) const;
    Local<jlongArray> longs(const std::vector<jlong>& values) const;
    Bytes read(jbyteArray array) const;
    std::vector<bool> read(jbooleanArray array) const;
    std::vector<jint> read(jintArray array) const;
    std::vector<jlong> read(jlongArray array) const;
};

// A VkdmException with this code whose message names `function`.
void expectThrown(const Outcome& o, int code, const std::string& function);

} // namespace vkdata

#endif

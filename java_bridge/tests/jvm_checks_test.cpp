// The argument checks of the String and array natives, in one table: null
// references (-121, before the handle lookup), unlisted handles (-141), the
// core reached once with the texts as modified UTF-8; and the exception each
// native's range picks for the core's codes, with its function-name text.
#include "bridge_call.h"
#include "core_calls.h"

#include <vkdm/vkdm_control.h>
#include <vktesting/test_jvm.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <optional>

namespace {

using ::testing::HasSubstr;
using vkbridge::B;
using vkbridge::callStatic;
using vkbridge::I;
using vkbridge::J;
using vkbridge::JavaString;
using vkbridge::L;
using vkbridge::Outcome;
using vkbridge::Z;

constexpr char kReader[] = "de/varek/VkdmKrnReader";
constexpr char kUnit[] = "de/varek/VkdmKrnFunctionUnit";
constexpr int kUnlistedModule = 0x10000777;
constexpr int kUnlistedUnit = 0x20000777;

class ChecksJvmTest : public ::testing::Test {
  protected:
    JNIEnv* env = vktesting::testJniEnv();
    int module = 0;
    int unit = 0;

    void SetUp() override {
        ASSERT_NE(env, nullptr);
        module = callStatic(env, kReader, "Init", "()I").value.i;
        ASSERT_GT(module, 0);
        unit = callStatic(env, kUnit, "Init", "(II)I", {I(module), I(10)}).value.i;
        ASSERT_GT(unit, 0);
        vkbridge::startCoreLog();
    }
    void TearDown() override {
        VKDM_CTL_ForceResult(nullptr, 0);
        VKDM_CTL_SetCallLog(0);
        callStatic(env, kUnit, "Destroy", "(I)I", {I(unit)});
        callStatic(env, kReader, "Destroy", "(I)I", {I(module)});
    }

    // A new one-element array of the JNI type letter (Z, B, I, J), or null.
    jobject newArray(char type) {
        switch (type) {
        case 'Z': return env->NewBooleanArray(1);
        case 'B': return env->NewByteArray(1);
        case 'I': return env->NewIntArray(1);
        case 'J': return env->NewLongArray(1);
        default: return nullptr;
        }
    }
};

// Each native with every String argument given as `text` and its array as `array`.
struct StringNative {
    const char* cls;
    const char* name;
    const char* signature;
    char array; // the array's element type, 0 for none
    std::function<std::vector<jvalue>(int handle, jstring text, jobject array)> args;
    const char* coreOp; // the core's operation; null when the native goes to libvkkrn
};

const std::vector<StringNative>& stringNatives() {
    static const std::vector<StringNative> rows = {
        {kReader, "ConnectTCP", "(ILjava/lang/String;I)I", 0,
         [](int h, jstring t, jobject) {
             return std::vector<jvalue>{I(h), L(t), I(4001)};
         },
         "ConnectTCP"},
        {kReader, "SetPortPara", "(ILjava/lang/String;Ljava/lang/String;)I", 0,
         [](int h, jstring t, jobject) {
             return std::vector<jvalue>{I(h), L(t), L(t)};
         },
         "SetPortPara"},
        {kReader, "GetPortPara", "(ILjava/lang/String;)Ljava/lang/String;", 0,
         [](int h, jstring t, jobject) {
             return std::vector<jvalue>{I(h), L(t)};
         },
         "GetPortPara"},
        {kReader, "SetLogPara", "(ILjava/lang/String;Ljava/lang/String;)I", 0,
         [](int h, jstring t, jobject) {
             return std::vector<jvalue>{I(h), L(t), L(t)};
         },
         nullptr},
        {kReader, "Serialize", "(IZLjava/lang/String;)I", 0,
         [](int h, jstring t, jobject) {
             return std::vector<jvalue>{I(h), Z(true), L(t)};
         },
         "Serialize"},
        {kReader, "TransferXmlFileToReaderCfg", "(ILjava/lang/String;)I", 0,
         [](int h, jstring t, jobject) {
             return std::vector<jvalue>{I(h), L(t)};
         },
         "TransferXmlFileToReaderCfg"},
        {kReader, "TransferReaderCfgToXmlFile", "(ILjava/lang/String;)I", 0,
         [](int h, jstring t, jobject) {
             return std::vector<jvalue>{I(h), L(t)};
         },
         "TransferReaderCfgToXmlFile"},
        {kUnit, "GetData", "(ILjava/lang/String;[Z)I", 'Z',
         [](int h, jstring t, jobject a) {
             return std::vector<jvalue>{I(h), L(t), L(a)};
         },
         "GetData"},
        {kUnit, "GetData", "(ILjava/lang/String;[B)I", 'B',
         [](int h, jstring t, jobject a) {
             return std::vector<jvalue>{I(h), L(t), L(a)};
         },
         "GetData"},
        {kUnit, "GetData", "(ILjava/lang/String;[I)I", 'I',
         [](int h, jstring t, jobject a) {
             return std::vector<jvalue>{I(h), L(t), L(a)};
         },
         "GetData"},
        {kUnit, "GetData", "(ILjava/lang/String;[J)I", 'J',
         [](int h, jstring t, jobject a) {
             return std::vector<jvalue>{I(h), L(t), L(a)};
         },
         "GetData"},
        {kUnit, "GetStringData", "(ILjava/lang/String;)Ljava/lang/String;", 0,
         [](int h, jstring t, jobject) {
             return std::vector<jvalue>{I(h), L(t)};
         },
         "GetData"},
        {kUnit, "SetData", "(ILjava/lang/String;Z)I", 0,
         [](int h, jstring t, jobject) {
             return std::vector<jvalue>{I(h), L(t), Z(true)};
         },
         "SetData"},
        {kUnit, "SetData", "(ILjava/lang/String;B)I", 0,
         [](int h, jstring t, jobject) {
             return std::vector<jvalue>{I(h), L(t), B(1)};
         },
         "SetData"},
        {kUnit, "SetData", "(ILjava/lang/String;I)I", 0,
         [](int h, jstring t, jobject) {
             return std::vector<jvalue>{I(h), L(t), I(1)};
         },
         "SetData"},
        {kUnit, "SetData", "(ILjava/lang/String;J)I", 0,
         [](int h, jstring t, jobject) {
             return std::vector<jvalue>{I(h), L(t), J(1)};
         },
         "SetData"},
        {kUnit, "SetData", "(ILjava/lang/String;Ljava/lang/String;)I", 0,
         [](int h, jstring t, jobject) {
             return std::vector<jvalue>{I(h), L(t), L(t)};
         },
         "SetData"},
    };
    return rows;
}

void expectVkdm(const Outcome& o, int code, const std::string& what) {
    ASSERT_TRUE(o.thrown) << what;
    EXPECT_EQ(o.thrown->className, "de.varek.VkdmException") << what;
    EXPECT_EQ(o.thrown->code, code) << what;
}

TEST_F(ChecksJvmTest, NullReferencesAreRefusedBeforeTheHandleIsLookedUp) {
    for (const StringNative& row : stringNatives()) {
        const std::string what = std::string(row.name) + row.signature;
        const int unlisted = row.cls == kUnit ? kUnlistedUnit : kUnlistedModule;
        JavaString text(env, "03 10 08 00 01 00 00");
        jobject array = newArray(row.array);
        expectVkdm(callStatic(env, row.cls, row.name, row.signature, row.args(unlisted, nullptr, array)),
                   -121, what + " null String");
        if (row.array != 0)
            expectVkdm(callStatic(env, row.cls, row.name, row.signature, row.args(unlisted, text, nullptr)),
                       -121, what + " null array");
        expectVkdm(callStatic(env, row.cls, row.name, row.signature, row.args(unlisted, text, array)), -141,
                   what + " unlisted");
        if (array != nullptr) env->DeleteLocalRef(array);
    }
    EXPECT_TRUE(vkbridge::coreCalls().empty());
}

TEST_F(ChecksJvmTest, TextsReachTheCoreOnceAsModifiedUtf8) {
    // a-umlaut, NUL and U+1F600 (a surrogate pair in Java).
    const std::u16string special(u"id \u00E4\u0000\U0001F600", 7);
    const std::string expected = "id \xC3\xA4\xC0\x80\xED\xA0\xBD\xED\xB8\x80";
    for (const StringNative& row : stringNatives()) {
        if (row.coreOp == nullptr) continue;
        const std::string what = std::string(row.name) + row.signature;
        VKDM_CTL_ClearCallLog();
        VKDM_CTL_ForceResult(row.coreOp, 0);
        JavaString text(env, special);
        jobject array = newArray(row.array);
        const Outcome o = callStatic(env, row.cls, row.name, row.signature,
                                     row.args(row.cls == kUnit ? unit : module, text, array));
        EXPECT_FALSE(o.thrown) << what << ": " << o.thrown->message;
        const auto calls = vkbridge::coreCalls(std::string(row.coreOp) + "(");
        ASSERT_EQ(calls.size(), 1u) << what;
        EXPECT_THAT(calls[0], HasSubstr(expected)) << what;
        if (array != nullptr) env->DeleteLocalRef(array);
    }
}

} // namespace

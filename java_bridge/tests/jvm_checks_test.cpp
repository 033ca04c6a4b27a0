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

// ---- ranges: the exception each native picks for the core's codes ------------

constexpr char kVkdm[] = "de.varek.VkdmException";
constexpr char kPort[] = "de.varek.VkPortDriverException";
constexpr char kDriver[] = "de.varek.VkReaderDriverException";

struct Code {
    int code;
    const char* thrown; // null: returned without an exception
};

const std::vector<Code> kStandard = {
    {-99, kVkdm},     {-100, kVkdm},  {-999, kVkdm},  {-1000, kPort}, {-1099, kPort}, {-1100, kPort},
    {-1199, kPort},   {-1200, kPort}, {-1299, kPort}, {-1300, kVkdm}, {-4000, kVkdm}, {-4001, kDriver},
    {-4099, kDriver}, {-4100, kVkdm}, {-4150, kVkdm}, {0, nullptr},   {7, nullptr}};
const std::vector<Code> kTcpState = {{-1050, kVkdm}, {-1199, kVkdm}, {-1200, kPort},
                                     {-1299, kPort}, {-1300, kVkdm}, {-4050, kVkdm},
                                     {-150, kVkdm},  {0, nullptr},   {3, nullptr}};
const std::vector<Code> kVkdmOnly = {{-1, kVkdm},    {-1200, kVkdm}, {-4050, kVkdm},
                                     {-4150, kVkdm}, {0, nullptr},   {5, nullptr}};
const std::vector<Code> kUnitProtocol = {{-1200, kPort},   {-4001, kDriver}, {-4099, kDriver}, {-4100, kVkdm},
                                         {-4101, kDriver}, {-4150, kDriver}, {-4199, kDriver}, {-4200, kVkdm},
                                         {-150, kVkdm},    {0, nullptr},     {9, nullptr}};
const std::vector<Code> kReturned = {
    {-150, nullptr}, {-1200, nullptr}, {-4050, nullptr}, {0, nullptr}, {2, nullptr}};

struct RangeNative {
    const char* cls;
    const char* name;
    const char* signature;
    const char* op;       // the core operation whose result is forced
    const char* function; // the function-name text of the exception
    const std::vector<Code>* codes;
};

TEST_F(ChecksJvmTest, EachNativeThrowsTheCoreCodesByItsRange) {
    const RangeNative rows[] = {
        {kReader, "ConnectCOMM", "(II)I", "ConnectCOMM", "VkdmKrnReader_ConnectCOMM", &kStandard},
        {kReader, "ConnectTCP", "(ILjava/lang/String;I)I", "ConnectTCP", "VkdmKrnReader_ConnectTCP",
         &kStandard},
        {kReader, "ConnectUSB", "(IJ)I", "ConnectUSB", "VkdmKrnReader_ConnectUSB", &kStandard},
        {kReader, "DisConnect", "(I)I", "DisConnect", "VkdmKrnReader_DisConnect", &kStandard},
        {kReader, "GetTcpConnectionState", "(I)I", "GetTcpConnectionState",
         "VkdmKrnReader_GetTcpConnectionState", &kTcpState},
        {kReader, "SetPortPara", "(ILjava/lang/String;Ljava/lang/String;)I", "SetPortPara",
         "Java_de_varek_VkdmKrnReader_SetPortPara(\"KEY\", \"KEY\")", &kStandard},
        {kReader, "GetPortPara", "(ILjava/lang/String;)Ljava/lang/String;", "GetPortPara",
         "VkdmKrnReader_GetPortPara", &kStandard},
        {kReader, "SetReaderType", "(II)I", "SetReaderType", "VkdmKrnReader_SetReaderType", &kVkdmOnly},
        {kReader, "SetProtocolFrameSupport", "(II)I", "SetProtocolFrameSupport", "", &kReturned},
        {kReader, "ReadCompleteConfiguration", "(IZ)I", "ReadCompleteConfiguration", "", &kReturned},
        {kReader, "WriteCompleteConfiguration", "(IZ)I", "WriteCompleteConfiguration", "", &kReturned},
        {kReader, "ResetCompleteConfiguration", "(IZ)I", "ResetCompleteConfiguration", "", &kReturned},
        {kReader, "ApplyConfiguration", "(IZ)I", "ApplyConfiguration", "", &kReturned},
        {kReader, "Serialize", "(IZLjava/lang/String;)I", "Serialize", "VkdmKrnReader_Serialize", &kVkdmOnly},
        {kReader, "TransferXmlFileToReaderCfg", "(ILjava/lang/String;)I", "TransferXmlFileToReaderCfg",
         "VkdmKrnReader_TransferXmlFileToReaderCfg", &kVkdmOnly},
        {kReader, "TransferReaderCfgToXmlFile", "(ILjava/lang/String;)I", "TransferReaderCfgToXmlFile",
         "VkdmKrnReader_TransferReaderCfgToXmlFile", &kVkdmOnly},
        {kUnit, "SendProtocol", "(IB)I", "SendProtocol", "VkdmKrnFunctionUnit_SendProtocol", &kUnitProtocol},
        {kUnit, "AddChild", "(III)I", "AddChild", "", &kReturned},
        {kUnit, "DelChild", "(II)I", "DelChild", "", &kReturned},
        {kUnit, "GetData", "(ILjava/lang/String;[Z)I", "GetData",
         "VkdmKrnFunctionUnit_GetData(jint, jstring, jbooleanArray)", &kVkdmOnly},
        {kUnit, "GetData", "(ILjava/lang/String;[B)I", "GetData",
         "VkdmKrnFunctionUnit_GetData(jint, jstring, jbyteArray)", &kVkdmOnly},
        {kUnit, "GetData", "(ILjava/lang/String;[I)I", "GetData",
         "VkdmKrnFunctionUnit_GetData(jint, jstring, jintArray)", &kVkdmOnly},
        {kUnit, "GetData", "(ILjava/lang/String;[J)I", "GetData",
         "VkdmKrnFunctionUnit_GetData(jint, jstring, jlongArray)", &kVkdmOnly},
        {kUnit, "GetStringData", "(ILjava/lang/String;)Ljava/lang/String;", "GetData",
         "VkdmKrnFunctionUnit_GetStringData", &kVkdmOnly},
        {kUnit, "SetData", "(ILjava/lang/String;Z)I", "SetData",
         "VkdmKrnFunctionUnit_SetData(jint, jstring, jboolean)", &kVkdmOnly},
        {kUnit, "SetData", "(ILjava/lang/String;B)I", "SetData",
         "VkdmKrnFunctionUnit_SetData(jint, jstring, jbyte)", &kVkdmOnly},
        {kUnit, "SetData", "(ILjava/lang/String;I)I", "SetData",
         "VkdmKrnFunctionUnit_SetData(jint, jstring, jint)", &kVkdmOnly},
        {kUnit, "SetData", "(ILjava/lang/String;J)I", "SetData",
         "VkdmKrnFunctionUnit_SetData(jint, jstring, jlong)", &kVkdmOnly},
        {kUnit, "SetData", "(ILjava/lang/String;Ljava/lang/String;)I", "SetData",
         "VkdmKrnFunctionUnit_SetData(jint, jstring, jstring)", &kVkdmOnly},
    };
    JavaString key(env, "KEY");
    for (const RangeNative& row : rows) {
        const bool onUnit = row.cls == kUnit;
        const std::string signature = row.signature;
        const bool stringResult = signature.back() == ';';
        for (const Code& c : *row.codes) {
            const std::string what = std::string(row.name) + signature + " " + std::to_string(c.code);
            // The arguments: the handle, then KEY for Strings, a one-element
            // array, the unit itself as a child, 1 for the rest.
            std::vector<jvalue> args{I(onUnit ? unit : module)};
            jobject array = nullptr;
            for (std::size_t k = 2; signature[k] != ')'; ++k) {
                if (signature[k] == 'L') {
                    args.push_back(L(key));
                    k = signature.find(';', k);
                } else if (signature[k] == '[') {
                    array = newArray(signature[++k]);
                    args.push_back(L(array));
                } else if (signature[k] == 'Z') {
                    args.push_back(Z(true));
                } else if (signature[k] == 'J') {
                    args.push_back(J(1));
                } else {
                    args.push_back(I(std::string(row.name) == "AddChild" && args.size() == 2 ? unit : 1));
                }
            }
            ASSERT_EQ(VKDM_CTL_ForceResult(row.op, c.code), 0);
            const Outcome o = callStatic(env, row.cls, row.name, row.signature, args);
            VKDM_CTL_ForceResult(nullptr, 0);
            if (array != nullptr) env->DeleteLocalRef(array);
            if (c.thrown == nullptr) {
                EXPECT_FALSE(o.thrown) << what << ": " << o.thrown->message;
                if (stringResult)
                    EXPECT_EQ(o.isNull, c.code != 0) << what;
                else
                    EXPECT_EQ(o.value.i, c.code) << what;
                continue;
            }
            ASSERT_TRUE(o.thrown) << what;
            EXPECT_EQ(o.thrown->className, c.thrown) << what;
            EXPECT_EQ(o.thrown->code, c.code) << what;
            EXPECT_THAT(o.thrown->message,
                        HasSubstr(std::string("(in Function: ") + row.function + ", Line: "))
                << what;
        }
    }
}

} // namespace

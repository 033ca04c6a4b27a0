// Data memory by identifier and configuration parameters by name, from Java:
// the core form each overload reaches (the core's call log), the conversions,
// the refusals before the core, and the texts of failures.
#include "data_jvm_fixture.h"

#include <vkdm/vkdm_core.h>

namespace {

using namespace vkdata;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

constexpr char kByteId[] = "03 10 00 00 01 00 00"; // one byte
constexpr char kWordId[] = "03 10 00 01 04 00 00"; // four bytes
constexpr char kSixId[] = "03 10 06 02 06 00 00";  // six bytes

TEST_F(DataJvmTest, GettersReachTheCoreFormOfTheirArray) {
    ASSERT_EQ(module->SetData(kByteId, static_cast<unsigned char>(0xA5)), 0);
    unsigned char six[6] = {1, 2, 3, 4, 5, 6};
    ASSERT_EQ(module->SetData(kSixId, six, 6), 0);
    ASSERT_EQ(module->SetData(kWordId, 5u), 0);
    auto id = str(kByteId);
    auto sixId = str(kSixId);
    auto word = str(kWordId);
    clearLog();

    auto flag = booleans({false, false});
    EXPECT_EQ(call("GetData", "(ILjava/lang/String;[Z)I", {I(handle), L(id), L(flag)}).value.i, 0);
    EXPECT_EQ(read(flag.get()), (std::vector<bool>{true, false}));
    // One element: the single-byte form; more: the buffer form with the length.
    auto one = bytes({0});
    EXPECT_EQ(call("GetData", "(ILjava/lang/String;[B)I", {I(handle), L(id), L(one)}).value.i, 0);
    EXPECT_EQ(read(one.get()), Bytes{0xA5});
    auto three = bytes({9, 9, 9});
    EXPECT_EQ(call("GetData", "(ILjava/lang/String;[B)I", {I(handle), L(sixId), L(three)}).value.i, 0);
    EXPECT_EQ(read(three.get()), (Bytes{1, 2, 3}));
    auto number = ints({7, 7, 7});
    EXPECT_EQ(call("GetData", "(ILjava/lang/String;[I)I", {I(handle), L(word), L(number)}).value.i, 0);
    EXPECT_EQ(read(number.get()), (std::vector<jint>{5, 7, 7}));
    auto wide = longs({-1, -1});
    EXPECT_EQ(call("GetData", "(ILjava/lang/String;[J)I", {I(handle), L(word), L(wide)}).value.i, 0);
    EXPECT_EQ(read(wide.get()), (std::vector<jlong>{5, -1}));
    EXPECT_THAT(log(),
                ElementsAre("GetData(bool) id=03 10 00 00 01 00 00", "GetData(u8) id=03 10 00 00 01 00 00",
                            "GetData(bytes) id=03 10 06 02 06 00 00 len=3",
                            "GetData(u32) id=03 10 00 01 04 00 00", "GetData(u32) id=03 10 00 01 04 00 00"));

    // The unsigned 32 bits reach a long zero-extended, an int as they are.
    ASSERT_EQ(module->SetData(kWordId, 0xFFFFFFFFu), 0);
    EXPECT_EQ(call("GetData", "(ILjava/lang/String;[J)I", {I(handle), L(word), L(wide)}).value.i, 0);
    EXPECT_EQ(read(wide.get()), (std::vector<jlong>{4294967295LL, -1}));
    EXPECT_EQ(call("GetData", "(ILjava/lang/String;[I)I", {I(handle), L(word), L(number)}).value.i, 0);
    EXPECT_EQ(read(number.get())[0], -1);
}

TEST_F(DataJvmTest, SettersConvertToTheCoreTypes) {
    auto id = str(kWordId);
    auto text = str("AB");
    auto one = bytes({0x42});
    struct Row {
        const char* signature;
        jvalue value;
        const char* logged;
    };
    const Row rows[] = {
        {"(ILjava/lang/String;Z)I", Z(true), "SetData(bool) id=03 10 00 01 04 00 00 value=1"},
        {"(ILjava/lang/String;B)I", B(-1), "SetData(u8) id=03 10 00 01 04 00 00 value=255"},
        {"(ILjava/lang/String;I)I", I(-1), "SetData(u32) id=03 10 00 01 04 00 00 value=4294967295"},
        {"(ILjava/lang/String;J)I", J((1LL << 32) + 5), "SetData(u32) id=03 10 00 01 04 00 00 value=5"},
        {"(ILjava/lang/String;J)I", J(-1), "SetData(u32) id=03 10 00 01 04 00 00 value=4294967295"},
        {"(ILjava/lang/String;Ljava/lang/String;)I", L(text),
         "SetData(string) id=03 10 00 01 04 00 00 len=2 value=AB"},
        // Even one byte goes through the buffer form.
        {"(ILjava/lang/String;[B)I", L(one), "SetData(bytes) id=03 10 00 01 04 00 00 len=1"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.signature);
        clearLog();
        const Outcome o = call("SetData", row.signature, {I(handle), L(id), row.value});
        EXPECT_FALSE(o.thrown);
        EXPECT_EQ(o.value.i, 0);
        EXPECT_THAT(log(), ElementsAre(::testing::StartsWith(row.logged)));
    }
}

// Every array and String argument, the handle, and empty arrays, against the
// getters and setters of both families.
TEST_F(DataJvmTest, RefusalsComeBeforeTheCore) {
    auto id = str(kByteId);
    auto name = str("OperatingMode");
    auto emptyBooleans = booleans({});
    auto emptyBytes = bytes({});
    auto emptyInts = ints({});
    auto emptyLongs = longs({});
    auto oneByte = bytes({1});
    struct Row {
        const char* method;
        const char* signature;
        std::vector<jvalue> args;
        int code;
        const char* function;
    };
    const std::string g = "VkdmKrnReader_GetData(jint, jstring, ";
    const std::string c = "VkdmKrnReader_GetConfigPara(jint, jstring, ";
    const Row rows[] = {
        // Empty arrays: the core would write element 0.
        {"GetData", "(ILjava/lang/String;[Z)I", {I(handle), L(id), L(emptyBooleans)}, -105, "jbooleanArray)"},
        {"GetData", "(ILjava/lang/String;[B)I", {I(handle), L(id), L(emptyBytes)}, -105, "jbyteArray)"},
        {"GetData", "(ILjava/lang/String;[I)I", {I(handle), L(id), L(emptyInts)}, -105, "jintArray)"},
        {"GetData", "(ILjava/lang/String;[J)I", {I(handle), L(id), L(emptyLongs)}, -105, "jlongArray)"},
        {"GetConfigPara",
         "(ILjava/lang/String;[ZZ)I",
         {I(handle), L(name), L(emptyBooleans), Z(true)},
         -105,
         "jbooleanArray)"},
        {"GetConfigPara",
         "(ILjava/lang/String;[BZ)I",
         {I(handle), L(name), L(emptyBytes), Z(true)},
         -105,
         "jbyteArray)"},
        {"GetConfigPara",
         "(ILjava/lang/String;[IZ)I",
         {I(handle), L(name), L(emptyInts), Z(true)},
         -105,
         "jintArray)"},
        {"GetConfigPara",
         "(ILjava/lang/String;[JZ)I",
         {I(handle), L(name), L(emptyLongs), Z(true)},
         -105,
         "jlongArray)"},
        {"SetData", "(ILjava/lang/String;[B)I", {I(handle), L(id), L(emptyBytes)}, -105, "jbyteArray)"},
        {"SetConfigPara",
         "(ILjava/lang/String;[BZ)I",
         {I(handle), L(name), L(emptyBytes), Z(true)},
         -105,
         "jbyteArray)"},
        // Null references, also with an unlisted handle: before the lookup.
        {"GetData", "(ILjava/lang/String;[B)I", {I(handle), L(nullptr), L(oneByte)}, -121, "jbyteArray)"},
        {"GetData", "(ILjava/lang/String;[B)I", {I(kUnlisted), L(id), L(nullptr)}, -121, "jbyteArray)"},
        {"SetData",
         "(ILjava/lang/String;Ljava/lang/String;)I",
         {I(kUnlisted), L(id), L(nullptr)},
         -121,
         "jstring)"},
        {"SetData", "(ILjava/lang/String;I)I", {I(kUnlisted), L(nullptr), I(1)}, -121, "jint)"},
        {"GetConfigPara",
         "(ILjava/lang/String;[IZ)I",
         {I(kUnlisted), L(nullptr), L(emptyInts), Z(true)},
         -121,
         "jintArray)"},
        {"SetConfigPara",
         "(ILjava/lang/String;Ljava/lang/String;Z)I",
         {I(handle), L(name), L(nullptr), Z(true)},
         -121,
         "jstring)"},
        // An unlisted handle with every argument there.
        {"GetData",
         "(ILjava/lang/String;[Z)I",
         {I(kUnlisted), L(id), L(emptyBooleans)},
         -141,
         "jbooleanArray)"},
        {"SetData", "(ILjava/lang/String;J)I", {I(kUnlisted), L(id), J(1)}, -141, "jlong)"},
        {"SetConfigPara",
         "(ILjava/lang/String;ZZ)I",
         {I(kUnlisted), L(name), Z(true), Z(true)},
         -141,
         "jboolean)"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.method) + row.signature + " " + std::to_string(row.code));
        clearLog();
        const Outcome o = call(row.method, row.signature, row.args);
        const std::string head =
            std::string(row.method) == "GetData"         ? g
            : std::string(row.method) == "SetData"       ? "VkdmKrnReader_SetData(jint, jstring, "
            : std::string(row.method) == "GetConfigPara" ? c
                                                         : "VkdmKrnReader_SetConfigPara(jint, jstring, ";
        expectThrown(o, row.code, head + row.function);
        EXPECT_TRUE(log().empty()) << log().front();
    }
}

TEST_F(DataJvmTest, StringGettersOnZeroPositiveAndNegative) {
    unsigned char text[6] = {'h', 0xE9, 'l', 'l', 'o', 0};
    ASSERT_EQ(module->SetData(kSixId, text, 6), 0);
    auto id = str(kSixId);
    // A core text of any bytes reaches Java as a valid String.
    Outcome o = call("GetStringData", "(ILjava/lang/String;)Ljava/lang/String;", {I(handle), L(id)});
    EXPECT_FALSE(o.thrown);
    EXPECT_EQ(o.text, "h\xC3\xA9llo");
    VKDM_CTL_ForceResult("GetData", 3);
    o = call("GetStringData", "(ILjava/lang/String;)Ljava/lang/String;", {I(handle), L(id)});
    EXPECT_FALSE(o.thrown);
    EXPECT_TRUE(o.isNull);
    VKDM_CTL_ForceResult("GetData", -110);
    o = call("GetStringData", "(ILjava/lang/String;)Ljava/lang/String;", {I(handle), L(id)});
    EXPECT_TRUE(o.isNull);
    expectThrown(o, -110, "VkdmKrnReader_GetStringData");
    auto bad = str("1 2");
    o = call("GetStringData", "(ILjava/lang/String;)Ljava/lang/String;", {I(handle), L(bad)});
    expectThrown(o, -101, "VkdmKrnReader_GetStringData");
}

TEST_F(DataJvmTest, BlockReadByNumberWithinTheArray) {
    ASSERT_EQ(module->SetConfigPara("DeviceName", std::string("READER"), true), 0);
    // DeviceName: block 50 of 14-byte blocks.
    const int at = 50 * 14;
    auto buffer = bytes(Bytes(8, 0xEE));
    const char* signature = "(II[BII)I";
    Outcome o = call("GetData", signature, {I(handle), I(1), L(buffer), I(at), I(6)});
    EXPECT_FALSE(o.thrown);
    EXPECT_EQ(o.value.i, 0);
    EXPECT_EQ(read(buffer.get()), (Bytes{'R', 'E', 'A', 'D', 'E', 'R', 0xEE, 0xEE}));
    EXPECT_EQ(call("GetData", signature, {I(handle), I(1), L(buffer), I(at), I(8)}).value.i, 0);
    // A count past the array or below 0 is refused before the core writes.
    clearLog();
    for (int count : {9, -1, 1 << 30}) {
        o = call("GetData", signature, {I(handle), I(1), L(buffer), I(at), I(count)});
        expectThrown(o, -105, "VkdmKrnReader_GetData(jint, jbyteArray, jint, jint)");
    }
    EXPECT_TRUE(log().empty());
    o = call("GetData", signature, {I(handle), I(7), L(buffer), I(0), I(1)});
    expectThrown(o, -106, "VkdmKrnReader_GetData(jint, jbyteArray, jint, jint)");
    o = call("GetData", signature, {I(handle), I(1), L(nullptr), I(0), I(1)});
    expectThrown(o, -121, "VkdmKrnReader_GetData(jint, jbyteArray, jint, jint)");
    o = call("GetData", signature, {I(kUnlisted), I(1), L(buffer), I(0), I(1)});
    expectThrown(o, -141, "VkdmKrnReader_GetData(jint, jbyteArray, jint, jint)");
}

TEST_F(DataJvmTest, ConfigurationFormsOnNamedParameters) {
    auto mode = str("OperatingMode");
    auto response = str("ResponseTime");
    auto device = str("DeviceName");
    auto text = str("KRN-1");
    auto two = bytes({0x12, 0x34});
    struct Row {
        const char* signature;
        jstring name;
        jvalue value;
        const char* logged;
    };
    const Row setters[] = {
        {"(ILjava/lang/String;ZZ)I", mode, Z(true), "SetConfigPara(bool) id=OperatingMode value=1"},
        {"(ILjava/lang/String;BZ)I", mode, B(-2), "SetConfigPara(u8) id=OperatingMode value=254"},
        {"(ILjava/lang/String;IZ)I", response, I(0x1234), "SetConfigPara(u32) id=ResponseTime value=4660"},
        {"(ILjava/lang/String;JZ)I", response, J((7LL << 32) | 0x2345),
         "SetConfigPara(u32) id=ResponseTime value=9029"},
        {"(ILjava/lang/String;[BZ)I", response, L(two), "SetConfigPara(bytes) id=ResponseTime"},
        {"(ILjava/lang/String;Ljava/lang/String;Z)I", device, L(text),
         "SetConfigPara(string) id=DeviceName value=KRN-1"},
    };
    for (const Row& row : setters) {
        SCOPED_TRACE(row.signature);
        clearLog();
        const Outcome o = call("SetConfigPara", row.signature, {I(handle), L(row.name), row.value, Z(true)});
        EXPECT_FALSE(o.thrown);
        EXPECT_EQ(o.value.i, 0);
        EXPECT_THAT(logOf("SetConfigPara"), ElementsAre(::testing::StartsWith(row.logged)));
    }
    clearLog();
    auto flag = booleans({false});
    EXPECT_EQ(
        call("GetConfigPara", "(ILjava/lang/String;[ZZ)I", {I(handle), L(mode), L(flag), Z(false)}).value.i,
        0);
    EXPECT_EQ(read(flag.get()), std::vector<bool>{true});
    auto one = bytes({0});
    EXPECT_EQ(
        call("GetConfigPara", "(ILjava/lang/String;[BZ)I", {I(handle), L(mode), L(one), Z(false)}).value.i,
        0);
    EXPECT_EQ(read(one.get()), Bytes{0xFE});
    auto pair = bytes({0, 0});
    EXPECT_EQ(call("GetConfigPara", "(ILjava/lang/String;[BZ)I", {I(handle), L(response), L(pair), Z(false)})
                  .value.i,
              0);
    EXPECT_EQ(read(pair.get()), (Bytes{0x12, 0x34}));
    auto number = ints({0, 9});
    EXPECT_EQ(
        call("GetConfigPara", "(ILjava/lang/String;[IZ)I", {I(handle), L(response), L(number), Z(false)})
            .value.i,
        0);
    EXPECT_EQ(read(number.get()), (std::vector<jint>{0x1234, 9}));
    auto wide = longs({-1});
    EXPECT_EQ(call("GetConfigPara", "(ILjava/lang/String;[JZ)I", {I(handle), L(response), L(wide), Z(false)})
                  .value.i,
              0);
    EXPECT_EQ(read(wide.get()), std::vector<jlong>{0x1234});
    const Outcome s = call("GetStringConfigPara", "(ILjava/lang/String;Z)Ljava/lang/String;",
                           {I(handle), L(device), Z(true)});
    EXPECT_FALSE(s.thrown);
    EXPECT_EQ(s.text, "KRN-1");
    EXPECT_THAT(logOf("GetConfigPara"),
                ElementsAre("GetConfigPara(bool) id=OperatingMode", "GetConfigPara(u8) id=OperatingMode",
                            "GetConfigPara(bytes) id=ResponseTime", "GetConfigPara(u32) id=ResponseTime",
                            "GetConfigPara(u32) id=ResponseTime", "GetConfigPara(string) id=DeviceName"));
}

// A failing configuration native names the parameter as Java passed it and the
// reader, between its head and its tail.
TEST_F(DataJvmTest, ConfigurationFailuresComposeTheirTexts) {
    auto name = str("No\"Such");
    auto value = str("x");
    auto one = bytes({1});
    auto flag = booleans({false});
    auto number = ints({0});
    auto wide = longs({0});
    const std::string reader = module->GetReaderName();
    struct Row {
        const char* method;
        const char* signature;
        jvalue value;
        const char* head;
        const char* tail;
    };
    const char* set = "VkdmKrnReader_SetConfigPara(jint, ";
    const char* get = "VkdmKrnReader_GetConfigPara(jint, ";
    const Row rows[] = {
        {"SetConfigPara", "(ILjava/lang/String;ZZ)I", Z(true), set, ", jboolean, jboolean) with Reader: "},
        {"SetConfigPara", "(ILjava/lang/String;BZ)I", B(1), set, ",jbyte , jboolean) with Reader: "},
        {"SetConfigPara", "(ILjava/lang/String;[BZ)I", L(one), set, ",jbyteArray , jboolean) with Reader: "},
        {"SetConfigPara", "(ILjava/lang/String;IZ)I", I(1), set, ",jint , jboolean) with Reader: "},
        {"SetConfigPara", "(ILjava/lang/String;JZ)I", J(1), set, ",jlong , jboolean) with Reader: "},
        {"SetConfigPara", "(ILjava/lang/String;Ljava/lang/String;Z)I", L(value), set,
         ",jstring , jboolean) with Reader: "},
        {"GetConfigPara", "(ILjava/lang/String;[ZZ)I", L(flag), get,
         ", jbooleanArray, jboolean) with Reader: "},
        {"GetConfigPara", "(ILjava/lang/String;[BZ)I", L(one), get, ", jbyteArray, jboolean) with Reader: "},
        {"GetConfigPara", "(ILjava/lang/String;[IZ)I", L(number), get,
         ", jintArray, jboolean) with Reader: "},
        {"GetConfigPara", "(ILjava/lang/String;[JZ)I", L(wide), get, ", jlongArray, jboolean) with Reader: "},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.signature);
        const Outcome o = call(row.method, row.signature, {I(handle), L(name), row.value, Z(true)});
        expectThrown(o, -112, std::string(row.head) + "\"No\"Such\"" + row.tail + reader);
    }
    const Outcome s = call("GetStringConfigPara", "(ILjava/lang/String;Z)Ljava/lang/String;",
                           {I(handle), L(name), Z(true)});
    EXPECT_TRUE(s.isNull);
    expectThrown(s, -112,
                 "VkdmKrnReader_GetStringConfigPara(jint, \"No\"Such\", jboolean) with Reader: " + reader);
    // A positive result is no failure: null, nothing thrown.
    VKDM_CTL_ForceResult("GetConfigPara", 2);
    const Outcome positive = call("GetStringConfigPara", "(ILjava/lang/String;Z)Ljava/lang/String;",
                                  {I(handle), L(name), Z(true)});
    EXPECT_TRUE(positive.isNull);
    EXPECT_FALSE(positive.thrown);
}

TEST_F(DataJvmTest, ConfigurationParameterLength) {
    auto response = str("ResponseTime");
    auto device = str("DeviceName");
    auto unknown = str("NoSuch");
    const char* signature = "(ILjava/lang/String;)I";
    EXPECT_EQ(call("GetConfigParaLength", signature, {I(handle), L(response)}).value.i, 2);
    EXPECT_EQ(call("GetConfigParaLength", signature, {I(handle), L(device)}).value.i, 14);
    clearLog();
    const Outcome o = call("GetConfigParaLength", signature, {I(handle), L(unknown)});
    expectThrown(o, -112, "VkdmKrnReader_GetConfigParaLength(jint, jstring, jlong)");
    // Only the access identifier was asked for.
    EXPECT_THAT(log(), ElementsAre("GetAccessID() id=NoSuch"));
    expectThrown(call("GetConfigParaLength", signature, {I(handle), L(nullptr)}), -121,
                 "VkdmKrnReader_GetConfigParaLength(jint, jstring, jlong)");
    expectThrown(call("GetConfigParaLength", signature, {I(kUnlisted), L(response)}), -141,
                 "VkdmKrnReader_GetConfigParaLength(jint, jstring, jlong)");
}

TEST_F(DataJvmTest, CoreFailuresOfTheDataMemoryAreThrownOnce) {
    auto bad = str("03 10");
    auto value = str("x");
    auto one = bytes({0});
    struct Row {
        const char* method;
        const char* signature;
        jvalue value;
        const char* function;
    };
    const Row rows[] = {
        {"GetData", "(ILjava/lang/String;[B)I", L(one), "VkdmKrnReader_GetData(jint, jstring, jbyteArray)"},
        {"SetData", "(ILjava/lang/String;[B)I", L(one), "VkdmKrnReader_SetData(jint, jstring, jbyteArray)"},
        {"SetData", "(ILjava/lang/String;Ljava/lang/String;)I", L(value),
         "VkdmKrnReader_SetData(jint, jstring, jstring)"},
        {"SetData", "(ILjava/lang/String;B)I", B(1), "VkdmKrnReader_SetData(jint, jstring, jbyte)"},
    };
    for (const Row& row : rows) {
        const Outcome o = call(row.method, row.signature, {I(handle), L(bad), row.value});
        expectThrown(o, -101, row.function);
    }
}

} // namespace

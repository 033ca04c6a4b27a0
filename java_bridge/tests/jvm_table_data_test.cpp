// Single table values from Java: the core form and conversion of each family,
// refusals, text getters, verification, sizes, and the addressed byte ranges
// of ISO records; end to end, an inventory through the core read back.
#include "data_jvm_fixture.h"
#include "simulated_module.h"

#include <climits>

namespace {

using namespace vkdata;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::StartsWith;

constexpr int kIso = 2;
constexpr int kBrm = 1;
constexpr int kType = 0x08000001;
constexpr int kBlockCount = 0x01000003; // BRM, 32-bit
constexpr int kRssi = 0x8000000F;
constexpr int kRxPub = 0x04000001;
constexpr int kTxPub = 0x04000002;
constexpr int kUid = 0x08000002;

class TableDataJvmTest : public DataJvmTest {
  protected:
    void SetUp() override {
        DataJvmTest::SetUp();
        ASSERT_EQ(module->SetTableData(0, kIso, kType, static_cast<unsigned char>(0x84)), 0);
        ASSERT_EQ(module->SetTableData(0, kBrm, kBlockCount, 5u), 0);
        clearLog();
    }
};

TEST_F(TableDataJvmTest, ArrayGettersIntoElementZero) {
    auto flag = booleans({true, true});
    ASSERT_EQ(module->SetTableData(0, kIso, kRssi, false), 0);
    EXPECT_EQ(call("GetTableData", "(IIII[Z)I", {I(handle), I(0), I(kIso), I(kRssi), L(flag)}).value.i, 0);
    EXPECT_EQ(read(flag.get()), (std::vector<bool>{false, true}));
    auto byte = bytes({0, 9});
    EXPECT_EQ(call("GetTableData", "(IIII[B)I", {I(handle), I(0), I(kIso), I(kType), L(byte)}).value.i, 0);
    EXPECT_EQ(read(byte.get()), (Bytes{0x84, 9}));
    auto number = ints({0, 9});
    EXPECT_EQ(
        call("GetTableData", "(IIII[I)I", {I(handle), I(0), I(kBrm), I(kBlockCount), L(number)}).value.i, 0);
    EXPECT_EQ(read(number.get()), (std::vector<jint>{5, 9}));
    auto wide = longs({-1, -1});
    EXPECT_EQ(call("GetTableData", "(IIII[J)I", {I(handle), I(0), I(kBrm), I(kBlockCount), L(wide)}).value.i,
              0);
    EXPECT_EQ(read(wide.get()), (std::vector<jlong>{5, -1}));
    ASSERT_EQ(module->SetTableData(0, kBrm, kBlockCount, 0xFFFFFFFFu), 0);
    EXPECT_EQ(call("GetTableData", "(IIII[J)I", {I(handle), I(0), I(kBrm), I(kBlockCount), L(wide)}).value.i,
              0);
    EXPECT_EQ(read(wide.get())[0], 4294967295LL);
    EXPECT_THAT(logOf("GetTableData"),
                ElementsAre(StartsWith("GetTableData(bool) id=2/0/0x8000000F"),
                            StartsWith("GetTableData(u8) id=2/0/0x08000001"),
                            StartsWith("GetTableData(u32) id=1/0/0x01000003"),
                            StartsWith("GetTableData(u32)"), StartsWith("GetTableData(u32)")));
}

TEST_F(TableDataJvmTest, SettersAndSearchesConvert) {
    auto text = str("E004");
    struct Row {
        const char* method;
        const char* signature;
        jvalue value;
        const char* logged;
    };
    const Row rows[] = {
        {"SetTableData", "(IIIIZ)I", Z(true), "SetTableData(bool) id=2/0/0x8000000F value=1"},
        {"SetTableData", "(IIIIB)I", B(-1), "SetTableData(u8) id=2/0/0x8000000F value=255"},
        {"SetTableData", "(IIIII)I", I(-2), "SetTableData(u32) id=2/0/0x8000000F value=4294967294"},
        {"SetTableData", "(IIIIJ)I", J((1LL << 32) + 5), "SetTableData(u32) id=2/0/0x8000000F value=5"},
        {"SetTableData", "(IIIILjava/lang/String;)I", L(text),
         "SetTableData(string) id=2/0/0x8000000F len=4 value=E004"},
        {"FindTableIndex", "(IIIIZ)I", Z(true), "FindTableIndex(bool) id=2/0/0x8000000F value=1"},
        {"FindTableIndex", "(IIIIB)I", B(-1), "FindTableIndex(u8) id=2/0/0x8000000F value=255"},
        {"FindTableIndex", "(IIIII)I", I(-2), "FindTableIndex(u32) id=2/0/0x8000000F value=4294967294"},
        {"FindTableIndex", "(IIIIJ)I", J((1LL << 32) + 5), "FindTableIndex(u32) id=2/0/0x8000000F value=5"},
        {"FindTableIndex", "(IIIILjava/lang/String;)I", L(text),
         "FindTableIndex(string) id=2/0/0x8000000F len=4 value=E004"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.method) + row.signature);
        clearLog();
        VKDM_CTL_ForceResult(row.method, 7); // what the core gives goes back to Java
        const Outcome o = call(row.method, row.signature, {I(handle), I(0), I(kIso), I(kRssi), row.value});
        EXPECT_FALSE(o.thrown);
        EXPECT_EQ(o.value.i, 7);
        EXPECT_THAT(log(), ElementsAre(StartsWith(row.logged)));
    }
    VKDM_CTL_ForceResult(nullptr, 0);
    // Searches against the real table: every form, a text one included.
    ASSERT_EQ(module->SetTableData(3, kIso, kType, static_cast<unsigned char>(0xF0)), 0);
    unsigned char uid[2] = {0xE0, 0x04};
    ASSERT_EQ(module->SetTableData(3, kIso, kUid, uid, 2), 0);
    ASSERT_EQ(module->SetTableData(3, kIso, 0x08000003, 2u), 0);
    EXPECT_EQ(
        call("FindTableIndex", "(IIIIB)I", {I(handle), I(0), I(kIso), I(kType), B(static_cast<jbyte>(0xF0))})
            .value.i,
        3);
    EXPECT_EQ(call("FindTableIndex", "(IIIII)I", {I(handle), I(0), I(kIso), I(kType), I(0x84)}).value.i, 0);
    EXPECT_EQ(call("FindTableIndex", "(IIIIJ)I", {I(handle), I(1), I(kIso), I(kType), J((9LL << 32) | 0xF0)})
                  .value.i,
              3);
    EXPECT_EQ(
        call("FindTableIndex", "(IIIILjava/lang/String;)I", {I(handle), I(0), I(kIso), I(kUid), L(text)})
            .value.i,
        3);
    EXPECT_EQ(call("FindTableIndex", "(IIIIZ)I", {I(handle), I(0), I(kIso), I(kRssi), Z(false)}).value.i, 0);
    expectThrown(call("FindTableIndex", "(IIIIB)I", {I(handle), I(0), I(kIso), I(kType), B(1)}), -115,
                 "VkdmKrnReader_FindTableIndex(jint, jint, jint, jint, jbyte)");
}

TEST_F(TableDataJvmTest, RefusalsAndCoreFailures) {
    auto emptyBooleans = booleans({});
    auto emptyBytes = bytes({});
    auto emptyInts = ints({});
    auto emptyLongs = longs({});
    auto one = ints({0});
    auto text = str("00");
    struct Row {
        const char* method;
        const char* signature;
        std::vector<jvalue> args;
        int code;
        const char* function;
    };
    const Row rows[] = {
        {"GetTableData",
         "(IIII[Z)I",
         {I(handle), I(0), I(kIso), I(kRssi), L(emptyBooleans)},
         -105,
         "VkdmKrnReader_GetTableData(jint, jint, jint, jint, jbooleanArray)"},
        {"GetTableData",
         "(IIII[B)I",
         {I(handle), I(0), I(kIso), I(kType), L(emptyBytes)},
         -105,
         "VkdmKrnReader_GetTableData(jint, jint, jint, jint, jbyteArray)"},
        {"GetTableData",
         "(IIII[I)I",
         {I(handle), I(0), I(kIso), I(kType), L(emptyInts)},
         -105,
         "VkdmKrnReader_GetTableData(jint, jint, jint, jint, jintArray)"},
        {"GetTableData",
         "(IIII[J)I",
         {I(handle), I(0), I(kIso), I(kType), L(emptyLongs)},
         -105,
         "VkdmKrnReader_GetTableData(jint, jint, jint, jint, jlongArray)"},
        {"GetTableData",
         "(IIII[I)I",
         {I(kUnlisted), I(0), I(kIso), I(kType), L(nullptr)},
         -121,
         "VkdmKrnReader_GetTableData(jint, jint, jint, jint, jintArray)"},
        {"SetTableData",
         "(IIIILjava/lang/String;)I",
         {I(kUnlisted), I(0), I(kIso), I(kType), L(nullptr)},
         -121,
         "VkdmKrnReader_SetTableData(jint, jint, jint, jint, jstring)"},
        {"SetTableData",
         "(IIIIILjava/lang/String;)I",
         {I(handle), I(0), I(kIso), I(kType), I(0), L(nullptr)},
         -121,
         "VkdmKrnReader_SetTableData(jint, jint, jint, jint, jint, jstring)"},
        {"FindTableIndex",
         "(IIIILjava/lang/String;)I",
         {I(handle), I(0), I(kIso), I(kType), L(nullptr)},
         -121,
         "VkdmKrnReader_FindTableIndex(jint, jint, jint, jint, jstring)"},
        {"GetTableData",
         "(IIIII[B)I",
         {I(handle), I(0), I(kIso), I(kRxPub), I(0), L(nullptr)},
         -121,
         "VkdmKrnReader_GetTableData(jint, jint, jint, jint, jint, jbyteArray)"},
        {"SetTableData",
         "(IIIII[B)I",
         {I(handle), I(0), I(kIso), I(kTxPub), I(0), L(nullptr)},
         -121,
         "VkdmKrnReader_SetTableData(jint, jint, jint, jint, jint, jbyteArray)"},
        {"GetTableData",
         "(IIII[I)I",
         {I(kUnlisted), I(0), I(kIso), I(kType), L(one)},
         -141,
         "VkdmKrnReader_GetTableData(jint, jint, jint, jint, jintArray)"},
        {"SetTableData",
         "(IIIIZ)I",
         {I(kUnlisted), I(0), I(kIso), I(kType), Z(true)},
         -141,
         "VkdmKrnReader_SetTableData(jint, jint, jint, jint, jboolean)"},
        {"FindTableIndex",
         "(IIIILjava/lang/String;)I",
         {I(kUnlisted), I(0), I(kIso), I(kType), L(text)},
         -141,
         "VkdmKrnReader_FindTableIndex(jint, jint, jint, jint, jstring)"},
        {"GetTableSize", "(II)I", {I(kUnlisted), I(kIso)}, -141, "VkdmKrnReader_GetTableSize"},
        // The core's codes.
        {"GetTableData",
         "(IIII[I)I",
         {I(handle), I(0), I(7), I(kType), L(one)},
         -124,
         "VkdmKrnReader_GetTableData(jint, jint, jint, jint, jintArray)"},
        {"SetTableData",
         "(IIIII)I",
         {I(handle), I(0), I(kIso), I(0x12345678), I(1)},
         -125,
         "VkdmKrnReader_SetTableData(jint, jint, jint, jint, jint)"},
        {"SetTableSize", "(III)I", {I(handle), I(kIso), I(0)}, -105, "VkdmKrnReader_SetTableSize"},
        {"SetTableSize",
         "(IIIIIII)I",
         {I(handle), I(kIso), I(16), I(1), I(1), I(1), I(0)},
         -105,
         "VkdmKrnReader_SetTableSize"},
        {"GetTableLength", "(II)I", {I(handle), I(9)}, -124, "VkdmKrnReader_GetTableLength"},
        {"SetTableLength", "(III)I", {I(handle), I(kIso), I(-1)}, -104, "VkdmKrnReader_SetTableLength"},
        {"ResetTable", "(III)I", {I(handle), I(0), I(0)}, -124, "VkdmKrnReader_ResetTable"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.method) + row.signature + " " + std::to_string(row.code));
        clearLog();
        expectThrown(call(row.method, row.signature, row.args), row.code, row.function);
        if (row.code == -105 && std::string(row.method) == "GetTableData") {
            EXPECT_TRUE(log().empty());
        }
    }
}

TEST_F(TableDataJvmTest, TextGetters) {
    const char* plain = "(IIII)Ljava/lang/String;";
    const char* block = "(IIIII)Ljava/lang/String;";
    Outcome o = call("GetStringTableData", plain, {I(handle), I(0), I(kIso), I(kType)});
    EXPECT_FALSE(o.thrown);
    EXPECT_EQ(o.text, "84");
    Bytes pub(32);
    for (std::size_t k = 0; k < pub.size(); ++k)
        pub[k] = static_cast<std::uint8_t>(k);
    ASSERT_EQ(module->SetTableData(0, kIso, kRxPub, pub.data(), 32), 0);
    o = call("GetStringTableData", block, {I(handle), I(0), I(kIso), I(kRxPub), I(1)});
    EXPECT_FALSE(o.thrown);
    EXPECT_EQ(o.text, "04050607"); // block 1 of the 4-byte blocks
    VKDM_CTL_ForceResult("GetTableData", 5);
    o = call("GetStringTableData", plain, {I(handle), I(0), I(kIso), I(kType)});
    EXPECT_FALSE(o.thrown);
    EXPECT_TRUE(o.isNull);
    o = call("GetStringTableData", block, {I(handle), I(9), I(kIso), I(kType), I(0)});
    EXPECT_TRUE(o.isNull);
    expectThrown(o, -115, "VkdmKrnReader_GetStringTableData(jint, jint, jint, jint, jint)");
    o = call("GetStringTableData", plain, {I(kUnlisted), I(0), I(kIso), I(kType)});
    EXPECT_TRUE(o.isNull);
    expectThrown(o, -141, "VkdmKrnReader_GetStringTableData(jint, jint, jint, jint)");
}

TEST_F(TableDataJvmTest, BlockBytes) {
    Bytes pub(16);
    for (std::size_t k = 0; k < pub.size(); ++k)
        pub[k] = static_cast<std::uint8_t>(0xA0 + k);
    ASSERT_EQ(module->SetTableData(0, kIso, kRxPub, pub.data(), 16), 0);
    const char* get = "(IIIII[B)I";
    auto four = bytes(Bytes(4, 0xEE));
    EXPECT_EQ(call("GetTableData", get, {I(handle), I(0), I(kIso), I(kRxPub), I(2), L(four)}).value.i, 0);
    EXPECT_EQ(read(four.get()), (Bytes{0xA8, 0xA9, 0xAA, 0xAB}));
    // An empty array asks the core for 0 bytes.
    auto empty = bytes({});
    clearLog();
    const Outcome o = call("GetTableData", get, {I(handle), I(0), I(kIso), I(kRxPub), I(0), L(empty)});
    EXPECT_FALSE(o.thrown);
    EXPECT_EQ(o.value.i, 0);
    EXPECT_THAT(log(), ElementsAre("GetTableData(block) id=2/0/0x04000001 len=0 value=0"));
    // A positive status leaves the array as it was, without an exception.
    VKDM_CTL_ForceResult("GetTableData", 2);
    auto kept = bytes(Bytes(4, 0x11));
    const Outcome positive = call("GetTableData", get, {I(handle), I(0), I(kIso), I(kRxPub), I(0), L(kept)});
    EXPECT_FALSE(positive.thrown);
    EXPECT_EQ(positive.value.i, 2);
    EXPECT_EQ(read(kept.get()), Bytes(4, 0x11));
    expectThrown(call("GetTableData", get, {I(handle), I(0), I(kIso), I(kRxPub), I(-1), L(kept)}), -104,
                 "VkdmKrnReader_GetTableData(jint, jint, jint, jint, jint, jbyteArray)");
    EXPECT_EQ(read(kept.get()), Bytes(4, 0x11));
    // The setters: the whole array with its length, a block or a text.
    auto two = bytes({0x55, 0x66});
    clearLog();
    EXPECT_EQ(call("SetTableData", "(IIIII[B)I", {I(handle), I(0), I(kIso), I(kTxPub), I(3), L(two)}).value.i,
              0);
    auto hex = str("C0C1C2C3");
    EXPECT_EQ(call("SetTableData", "(IIIIILjava/lang/String;)I",
                   {I(handle), I(0), I(kIso), I(kTxPub), I(0), L(hex)})
                  .value.i,
              0);
    EXPECT_THAT(log(), ElementsAre(StartsWith("SetTableData(block) id=2/0/0x04000002 len=2 value=3"),
                                   StartsWith("SetTableData(block string) id=2/0/0x04000002 len=8")));
    unsigned char tx[8] = {};
    ASSERT_EQ(module->GetTableData(0, kIso, kTxPub, tx, 8), 0);
    EXPECT_EQ(Bytes(tx, tx + 8), (Bytes{0xC0, 0xC1, 0xC2, 0xC3, 0, 0, 0x55, 0x66}));
}

TEST_F(TableDataJvmTest, VerifySizesLengthAndReset) {
    const char* verify = "(IIIII)I";
    EXPECT_EQ(call("VerifyTableData", verify, {I(handle), I(0), I(kIso), I(3), I(4)}).value.i, 0);
    // Never filled: -128 comes back as a value.
    const Outcome never = call("VerifyTableData", verify, {I(handle), I(1), I(kIso), I(3), I(4)});
    EXPECT_FALSE(never.thrown);
    EXPECT_EQ(never.value.i, -128);
    expectThrown(call("VerifyTableData", verify, {I(handle), I(100000), I(kIso), I(0), I(0)}), -104,
                 "VkdmKrnReader_VerifyTableData");
    expectThrown(call("VerifyTableData", verify, {I(handle), I(0), I(5), I(0), I(0)}), -124,
                 "VkdmKrnReader_VerifyTableData");
    clearLog();
    EXPECT_EQ(call("SetTableSize", "(III)I", {I(handle), I(kIso), I(300)}).value.i, 0);
    EXPECT_EQ(
        call("SetTableSize", "(IIIIIII)I", {I(handle), I(kBrm), I(64), I(16), I(8), I(-7), I(-9)}).value.i,
        0);
    EXPECT_EQ(call("GetTableSize", "(II)I", {I(handle), I(kIso)}).value.i, 300);
    EXPECT_EQ(call("GetTableLength", "(II)I", {I(handle), I(kIso)}).value.i, 1);
    EXPECT_EQ(call("SetTableLength", "(III)I", {I(handle), I(kIso), I(5)}).value.i, 0);
    EXPECT_EQ(call("GetTableLength", "(II)I", {I(handle), I(kIso)}).value.i, 5);
    EXPECT_EQ(call("ResetTable", "(III)I", {I(handle), I(kIso), I(-1)}).value.i, 0);
    EXPECT_EQ(call("GetTableLength", "(II)I", {I(handle), I(kIso)}).value.i, 0);
    EXPECT_EQ(call("VerifyTableData", verify, {I(handle), I(0), I(kIso), I(-3), I(INT_MIN)}).value.i, -128);
    EXPECT_THAT(log(),
                ElementsAre("SetTableSize(capacity) id=2 len=300",
                            "SetTableSize(sizes) id=1 len=64 value=16,8,-7,-9", "GetTableSize() id=2",
                            "GetTableLength() id=2", "SetTableLength() id=2 len=5", "GetTableLength() id=2",
                            "ResetTable() id=2 value=4294967295", "GetTableLength() id=2",
                            "VerifyTableData() id=2/0/0x00000000 value=-3,-2147483648"));
}

// ---- byte ranges of ISO records ---------------------------------------------------

class AddressedJvmTest : public TableDataJvmTest {
  protected:
    void SetUp() override {
        TableDataJvmTest::SetUp();
        // Received and transmit data of 16 bytes each (sizes 4 x 4).
        ASSERT_EQ(module->SetTableSize(kIso, 256, 4, 4, 4, 4), 0);
        Bytes rx(16), tx(16, 0x99);
        for (std::size_t k = 0; k < rx.size(); ++k)
            rx[k] = static_cast<std::uint8_t>(k + 1);
        ASSERT_EQ(module->SetTableData(0, kIso, kRxPub, rx.data(), 16), 0);
        ASSERT_EQ(module->SetTableData(0, kIso, kTxPub, tx.data(), 16), 0);
        clearLog();
    }
    Outcome addressed(const char* method, int h, int index, int address, int length, jbyteArray data) {
        // The table ids are not read: any value.
        return call(method, "(IIIIII[B)I", {I(h), I(index), I(77), I(-5), I(address), I(length), L(data)});
    }
    static std::string function(const char* method) {
        return std::string("Java_de_varek_VkdmKrnReader_") + method;
    }
};

TEST_F(AddressedJvmTest, ReadRanges) {
    struct Row {
        int address;
        int length;
        int code; // 0 or the code thrown
    };
    const Row rows[] = {{10, 6, 0},    {0, 16, 0},    {16, 0, 0},         {11, 6, -104},
                        {-1, 6, -104}, {17, 0, -104}, {INT_MAX, 1, -104}, {INT_MAX - 2, 8, -104}};
    for (const Row& row : rows) {
        SCOPED_TRACE(std::to_string(row.address) + "+" + std::to_string(row.length));
        auto data = bytes(Bytes(static_cast<std::size_t>(row.length), 0xEE));
        const Outcome o = addressed("GetTableDataAddressed", handle, 0, row.address, row.length, data);
        if (row.code != 0) {
            expectThrown(o, row.code, function("GetTableDataAddressed"));
            EXPECT_EQ(read(data.get()), Bytes(static_cast<std::size_t>(row.length), 0xEE));
            continue;
        }
        EXPECT_FALSE(o.thrown);
        Bytes expected(static_cast<std::size_t>(row.length));
        for (int k = 0; k < row.length; ++k)
            expected[static_cast<std::size_t>(k)] = static_cast<std::uint8_t>(row.address + k + 1);
        EXPECT_EQ(read(data.get()), expected);
    }
    EXPECT_TRUE(log().empty()); // the core is asked nothing
}

TEST_F(AddressedJvmTest, RefusalsComeInTheirOrder) {
    auto six = bytes(Bytes(6));
    for (const char* method : {"GetTableDataAddressed", "SetTableDataAddressed"}) {
        SCOPED_TRACE(method);
        // The length before the handle.
        expectThrown(addressed(method, kUnlisted, 0, 0, 5, six), -105, function(method));
        expectThrown(addressed(method, kUnlisted, 0, 0, 6, nullptr), -121, function(method));
        expectThrown(addressed(method, kUnlisted, 0, 0, 6, six), -141, function(method));
        expectThrown(addressed(method, handle, 1, 0, 6, six), -104, function(method)); // no record
        expectThrown(addressed(method, handle, -1, 0, 6, six), -104, function(method));
    }
}

TEST_F(AddressedJvmTest, AWriteChangesTheTransmitDataOnly) {
    auto data = bytes({1, 2, 3});
    Outcome o = addressed("SetTableDataAddressed", handle, 0, 13, 3, data); // up to the end
    EXPECT_FALSE(o.thrown);
    EXPECT_EQ(o.value.i, 0);
    unsigned char tx[16] = {}, rx[16] = {};
    ASSERT_EQ(module->GetTableData(0, kIso, kTxPub, tx, 16), 0);
    ASSERT_EQ(module->GetTableData(0, kIso, kRxPub, rx, 16), 0);
    Bytes expected(16, 0x99);
    expected[13] = 1;
    expected[14] = 2;
    expected[15] = 3;
    EXPECT_EQ(Bytes(tx, tx + 16), expected);
    EXPECT_EQ(rx[13], 14);
    // One past the end, or an address near the int range's end: nothing changes.
    o = addressed("SetTableDataAddressed", handle, 0, 14, 3, data);
    expectThrown(o, -104, function("SetTableDataAddressed"));
    o = addressed("SetTableDataAddressed", handle, 0, INT_MAX - 1, 3, data);
    expectThrown(o, -104, function("SetTableDataAddressed"));
    ASSERT_EQ(module->GetTableData(0, kIso, kTxPub, tx, 16), 0);
    EXPECT_EQ(Bytes(tx, tx + 16), expected);
    auto empty = bytes({});
    o = addressed("SetTableDataAddressed", handle, 0, 16, 0, empty);
    EXPECT_FALSE(o.thrown);
    EXPECT_EQ(o.value.i, 0);
}

// ---- end to end ----------------------------------------------------------------

class InventorySimulatedTest : public vkbridge::SimulatedModuleTest {};

TEST_F(InventorySimulatedTest, AnInventoryThroughTheCoreReadBack) {
    krnsim::Tag tag;
    tag.type = 0x03;
    tag.uid = {0xE0, 0x04, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06};
    simulator.reader().addTag(tag);
    ASSERT_GE(core()->SendProtocol(0xB0), 0);
    EXPECT_EQ(vkbridge::callReader(env, "GetTableLength", "(II)I", {I(handle), I(kIso)}).value.i, 1);
    const Outcome uid = vkbridge::callReader(env, "GetStringTableData", "(IIII)Ljava/lang/String;",
                                             {I(handle), I(0), I(kIso), I(kUid)});
    ASSERT_FALSE(uid.thrown);
    EXPECT_EQ(uid.text, "E004010203040506");
    const Outcome item =
        vkbridge::callReader(env, "GetTableItem", "(III)Ljava/lang/Object;", {I(handle), I(0), I(kIso)});
    ASSERT_FALSE(item.thrown) << item.thrown->message;
    Local<jobject> object(env, item.value.l);
    Fields f(env, object);
    EXPECT_EQ(f.byte("transponderType"), 3);
    EXPECT_TRUE(f.flag("isUid"));
    EXPECT_EQ(f.bytes("uid"), (Bytes{0xE0, 0x04, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06}));
    // The information mode that the core's 0x66 reads, stored through SetData.
    Local<jstring> id(env, env->NewStringUTF("03 10 66 00 01 00 00"));
    EXPECT_EQ(
        vkbridge::callReader(env, "SetData", "(ILjava/lang/String;B)I", {I(handle), L(id), B(0x80)}).value.i,
        0);
    simulator.reader().setReaderInfo(0x80, Bytes{1, 2, 3, 4});
    ASSERT_GE(core()->SendProtocol(0x66), 0);
    const Outcome info = vkbridge::callReader(env, "ReadReaderInfo", "(IZ)Lde/varek/VkdmKrnReaderInfo;",
                                              {I(handle), Z(false)});
    ASSERT_FALSE(info.thrown);
    Local<jobject> infoObject(env, info.value.l);
    EXPECT_EQ(Fields(env, infoObject).bytes("rfcDevID"), (Bytes{1, 2, 3, 4}));
}

} // namespace

// Table records as Java items and ISO items written back: the rows each
// transponder type sets, the conditions, the arithmetic, the failures, whole
// tables, and writing items field by field into the core's ISO table.
#include "data_jvm_fixture.h"

#include <map>
#include <set>

namespace {

using namespace vkdata;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

constexpr unsigned kBrm = 1;
constexpr unsigned kIso = 2;
constexpr char kGetItem[] = "(III)Ljava/lang/Object;";
constexpr char kSetItem[] = "(IILjava/lang/Object;)I";

class TableItemJvmTest : public DataJvmTest {
  protected:
    void setByte(int index, unsigned table, unsigned id, unsigned char value) {
        ASSERT_EQ(module->SetTableData(index, table, id, value), 0) << std::hex << id;
    }
    void setBytes(int index, unsigned table, unsigned id, Bytes value) {
        ASSERT_EQ(module->SetTableData(index, table, id, value.data(), static_cast<int>(value.size())), 0)
            << std::hex << id;
    }
    void poke(int index, unsigned table, const char* role, const Bytes& value) {
        ASSERT_EQ(VKDM_CTL_PokeTableRecord(module, table, index, role, 0, value.data(),
                                           static_cast<int>(value.size())),
                  0)
            << role;
    }
    void setUid(int index, const Bytes& uid) {
        setBytes(index, kIso, 0x08000002, uid);
        ASSERT_EQ(module->SetTableData(index, kIso, 0x08000003, static_cast<unsigned>(uid.size())), 0);
    }
    Outcome item(int index, unsigned table) {
        return call("GetTableItem", kGetItem, {I(handle), I(index), I(table)});
    }
    Local<jobject> itemObject(int index, unsigned table) {
        const Outcome o = item(index, table);
        EXPECT_FALSE(o.thrown) << o.thrown->message;
        return {env, o.value.l};
    }
    Local<jobject> named(const char* identifier) {
        jclass type = env->FindClass("vkbridge/NamedIsoItem");
        jmethodID init = env->GetMethodID(type, "<init>", "(Ljava/lang/String;)V");
        auto text = str(identifier);
        Local<jobject> object(env, env->NewObject(type, init, text.get()));
        env->DeleteLocalRef(type);
        return object;
    }
    void setArray(jobject object, const char* field, const Bytes& value) {
        auto array = bytes(value);
        Fields(env, object).setObject(field, "[B", array);
    }
};

TEST_F(TableItemJvmTest, IsoRowsByTransponderType) {
    struct Row {
        int type;
        std::set<std::string> set; // of the type-dependent fields
    };
    const Row rows[] = {
        {1, {}},
        {3, {"DsfID"}},
        {4, {"trInfo"}},
        {5, {"protoInfo"}},
        {9, {"IDDT"}},
        {10, {"chipID"}},
        {11, {"chipID"}},
        {16, {"verlog", "config", "atr"}},
        {17, {"productCode", "fabCode", "appCode", "embedderCode"}},
        {132, {"IDDT"}}, // 0x84, compared unsigned
        {131, {}},
        {138, {}},
    };
    const std::map<std::string, std::uint8_t> values = {
        {"DsfID", 0x11},   {"trInfo", 0x22},  {"protoInfo", 0x33},   {"IDDT", 0xA0},
        {"chipID", 0xA0},  {"verlog", 0xA0},  {"config", 0xA1},      {"productCode", 0xA0},
        {"fabCode", 0xA1}, {"appCode", 0x03}, {"embedderCode", 0xB0}};
    int index = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.type);
        setByte(index, kIso, 0x08000001, static_cast<unsigned char>(row.type));
        setByte(index, kIso, 0x0800000C, 0x11);
        setByte(index, kIso, 0x0800000F, 0x22);
        setByte(index, kIso, 0x08000017, 0x33);
        setByte(index, kIso, 0x08000010, 0x44);
        poke(index, kIso, "typeSpecific", {0xA0, 0xA1, 3, 0xB0, 0xB1, 0xB2, 0xB3});
        auto object = itemObject(index, kIso);
        ASSERT_NE(object.get(), nullptr);
        Fields f(env, object);
        EXPECT_EQ(f.byte("transponderType"), row.type);
        EXPECT_EQ(f.number("index"), index);
        EXPECT_EQ(f.byte("optInfo"), 0x44); // always
        for (const auto& [field, value] : values)
            EXPECT_EQ(f.byte(field.c_str()), row.set.count(field) ? value : 0) << field;
        EXPECT_EQ(f.bytes("atr"), row.set.count("atr") ? (Bytes{0xB0, 0xB1, 0xB2}) : Bytes{});
        ++index;
    }
    // Type 16 with an ATR count of 0: verlog and config, the ATR as constructed.
    setByte(index, kIso, 0x08000001, 16);
    poke(index, kIso, "typeSpecific", {0x01, 0x02, 0, 0xB0});
    auto object = itemObject(index, kIso);
    Fields f(env, object);
    EXPECT_EQ(f.byte("verlog"), 0x01);
    EXPECT_EQ(f.byte("config"), 0x02);
    EXPECT_EQ(f.bytes("atr"), Bytes{});
    // The longest ATR the count byte can name stays inside the area.
    poke(index, kIso, "typeSpecific", Bytes{0x01, 0x02, 0xFF});
    EXPECT_EQ(Fields(env, itemObject(index, kIso)).bytes("atr")->size(), 255u);
}

TEST_F(TableItemJvmTest, IsoValuesSizesAndTheRssiRows) {
    ASSERT_EQ(module->SetTableSize(kIso, 16, 4, 8, 2, 3), 0);
    setUid(0, {0xE0, 0x04, 1, 2, 3, 4, 5, 6});
    setBytes(0, kIso, 0x0800000D, {0x01, 0x00});
    setBytes(0, kIso, 0x04000001, Bytes(32, 0x5A));
    setBytes(0, kIso, 0x02000002, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15});
    setByte(0, kIso, 0x04000008, 3);
    poke(0, kIso, "flags", {0x81});
    poke(0, kIso, "xpcW1", {0xC1, 0xC2});
    poke(0, kIso, "antNumbers", {1, 2, 3, 4, 5, 6, 7, 8});
    poke(0, kIso, "challenge", Bytes(10, 0xCC));
    poke(0, kIso, "cryptoBlock", Bytes(32, 0xCB));
    for (bool rssi : {false, true}) {
        SCOPED_TRACE(rssi);
        ASSERT_EQ(module->SetTableData(0, kIso, 0x8000000F, rssi), 0);
        auto object = itemObject(0, kIso);
        ASSERT_NE(object.get(), nullptr);
        Fields f(env, object);
        EXPECT_EQ(f.number("size1"), 4);
        EXPECT_EQ(f.number("size4"), 3);
        EXPECT_EQ(f.byte("flags"), 0x81);
        EXPECT_EQ(f.bytes("uid"), (Bytes{0xE0, 0x04, 1, 2, 3, 4, 5, 6}));
        EXPECT_EQ(f.bytes("class1Gen2XPC_W1"), (Bytes{0xC1, 0xC2}));
        EXPECT_EQ(f.number("memSize"), 256);
        EXPECT_EQ(f.bytes("rxPubData"), Bytes(32, 0x5A)); // size 1 x size 2
        EXPECT_EQ(f.bytes("txPubData")->size(), 6u);      // size 3 x size 4
        EXPECT_EQ(f.bytes("securityStatus")->size(), 4u); // size 1
        EXPECT_EQ(f.bytes("rxDB_EpcBank")->size(), 256u);
        EXPECT_EQ(f.flag("isRSSI"), rssi);
        auto blocks = f.object("txCfgData", "[[B");
        ASSERT_EQ(env->GetArrayLength(static_cast<jobjectArray>(blocks.get())), 4);
        Local<jbyteArray> third(env, static_cast<jbyteArray>(env->GetObjectArrayElement(
                                         static_cast<jobjectArray>(blocks.get()), 2)));
        EXPECT_EQ(read(third.get()), (Bytes{8, 9, 10, 11}));
        // The rows behind isRSSI keep their constructor values while it reads false.
        EXPECT_EQ(f.byte("antCount"), rssi ? 3 : 0);
        EXPECT_EQ(f.bytes("antNumber"), rssi ? (Bytes{1, 2, 3, 4, 5, 6, 7, 8}) : Bytes(8, 0));
        EXPECT_EQ(f.bytes("challenge"), rssi ? Bytes(10, 0xCC) : Bytes(10, 0));
        EXPECT_EQ(f.bytes("cryptoBlock"), rssi ? Bytes(32, 0xCB) : Bytes(32, 0));
    }
}

TEST_F(TableItemJvmTest, UidLengths) {
    setByte(0, kIso, 0x08000001, 1);
    // Length 0: the field as constructed.
    EXPECT_EQ(Fields(env, itemObject(0, kIso)).bytes("uid"), Bytes{});
    // A length past the item's room: refused before anything is read.
    const Bytes length300 = {0, 0, 0x01, 0x2C};
    ASSERT_EQ(VKDM_CTL_PokeTableRecord(module, kIso, 0, nullptr, 0x08000003, length300.data(), 4), 0);
    clearLog();
    Outcome o = item(0, kIso);
    EXPECT_TRUE(o.isNull);
    expectThrown(o, -126, "VkdmKrnReader_GetTableItem");
    EXPECT_TRUE(logOf("GetTableData").size() > 0);
    EXPECT_THAT(logOf("GetTableData").back(), HasSubstr("0x08000003"));
    // Within the item's room but past the core's: the core's code.
    const Bytes length100 = {0, 0, 0, 100};
    ASSERT_EQ(VKDM_CTL_PokeTableRecord(module, kIso, 0, nullptr, 0x08000003, length100.data(), 4), 0);
    expectThrown(item(0, kIso), -105, "VkdmKrnReader_GetTableItem");
}

TEST_F(TableItemJvmTest, BrmTimeDateRolesAndRssi) {
    setByte(0, kBrm, 0x08000001, 7);
    setBytes(0, kBrm, 0x01000001, {12, 34, 0x01, 0xF4});
    setBytes(0, kBrm, 0x01000005, {20, 24, 2, 29, 1});
    ASSERT_EQ(module->SetTableData(0, kBrm, 0x01000003, 0x10203u), 0);
    setBytes(0, kBrm, 0x01000008, {1, 2, 3, 4, 5, 6});
    poke(0, kBrm, "afi", {0xAF});
    poke(0, kBrm, "dsfid", {0xD5});
    poke(0, kBrm, "direction", {2});
    poke(0, kBrm, "directionValid", {1});
    poke(0, kBrm, "antRssi", Bytes(32, 0x77));
    setByte(0, kBrm, 0x04000008, 9);
    for (bool rssi : {false, true}) {
        ASSERT_EQ(module->SetTableData(0, kBrm, 0x8000000F, rssi), 0);
        auto object = itemObject(0, kBrm);
        ASSERT_NE(object.get(), nullptr);
        Fields f(env, object);
        EXPECT_EQ(f.byte("transponderType"), 7);
        EXPECT_EQ(f.number("blockCount"), 0x10203);
        EXPECT_EQ(f.byte("AFI"), 0xAF);
        EXPECT_EQ(f.byte("DsfID"), 0xD5);
        EXPECT_EQ(f.byte("direction"), 2);
        EXPECT_TRUE(f.flag("isDirection"));
        EXPECT_EQ(f.bytes("macAddress"), (Bytes{1, 2, 3, 4, 5, 6}));
        EXPECT_EQ(f.bytes("rxPubData")->size(), 8192u);
        auto time = f.object("time", "Lde/varek/VkKrnReaderTime;");
        Fields t(env, time);
        EXPECT_EQ(t.number("hour"), 12);
        EXPECT_EQ(t.number("minute"), 34);
        EXPECT_EQ(t.number("mSecond"), 500);
        EXPECT_EQ(t.number("year"), 2024);
        EXPECT_EQ(t.number("month"), 2);
        EXPECT_EQ(t.number("day"), 29);
        EXPECT_EQ(t.number("timezone"), 1);
        EXPECT_EQ(f.byte("antCount"), rssi ? 9 : 0);
        EXPECT_EQ(f.bytes("antRSSI"), rssi ? Bytes(32, 0x77) : Bytes(32, 0));
    }
}

TEST_F(TableItemJvmTest, ItemFailures) {
    expectThrown(item(0, 3), -124, "VkdmKrnReader_GetTableItem");
    expectThrown(item(0, kIso), -115, "VkdmKrnReader_GetTableItem");
    expectThrown(item(-1, kBrm), -115, "VkdmKrnReader_GetTableItem");
    expectThrown(call("GetTableItem", kGetItem, {I(kUnlisted), I(0), I(kIso)}), -141,
                 "VkdmKrnReader_GetTableItem");
    setByte(0, kIso, 0x08000001, 1);
    setByte(0, kBrm, 0x08000001, 1);
    struct Row {
        unsigned table;
        int sizes[4];
    };
    const Row rows[] = {{kIso, {256, 32, 256, 0}},    {kIso, {0, 32, 256, 32}}, {kIso, {-1, -1, 4, 4}},
                        {kIso, {65536, 65536, 1, 1}}, {kBrm, {256, 0, 0, 0}},   {kBrm, {-2, 8, 0, 0}}};
    for (const Row& row : rows) {
        ASSERT_EQ(VKDM_CTL_SetReportedSizes(module, row.table, 0, row.sizes[0], row.sizes[1], row.sizes[2],
                                            row.sizes[3]),
                  0);
        clearLog();
        const Outcome o = item(0, row.table);
        EXPECT_TRUE(o.isNull);
        expectThrown(o, -126, "VkdmKrnReader_GetTableItem");
        EXPECT_TRUE(log().empty()); // before any value is read
    }
}

TEST_F(TableItemJvmTest, WholeTables) {
    const char* signature = "(II)[Ljava/lang/Object;";
    Outcome o = call("GetTable", signature, {I(handle), I(kIso)});
    EXPECT_TRUE(o.isNull);
    expectThrown(o, -115, "VkdmKrnReader_GetTable");
    expectThrown(call("GetTable", signature, {I(handle), I(0)}), -124, "VkdmKrnReader_GetTable");
    expectThrown(call("GetTable", signature, {I(kUnlisted), I(kIso)}), -141, "VkdmKrnReader_GetTable");
    // Many items, each with its arrays: CheckJNI sees a few local references only.
    constexpr int n = 200;
    ASSERT_EQ(module->SetTableLength(kIso, n), 0);
    for (int i = 0; i < n; ++i)
        setByte(i, kIso, 0x08000001, static_cast<unsigned char>(i));
    o = call("GetTable", signature, {I(handle), I(kIso)});
    ASSERT_FALSE(o.thrown) << o.thrown->message;
    Local<jobjectArray> items(env, static_cast<jobjectArray>(o.value.l));
    ASSERT_EQ(env->GetArrayLength(items), n);
    for (int i = 0; i < n; i += 37) {
        Local<jobject> element(env, env->GetObjectArrayElement(items, i));
        Fields f(env, element);
        EXPECT_EQ(f.number("index"), i);
        EXPECT_EQ(f.byte("transponderType"), i);
    }
    // A failing element: its own exception reaches Java.
    ASSERT_EQ(VKDM_CTL_SetReportedSizes(module, kIso, 3, 0, 1, 1, 1), 0);
    o = call("GetTable", signature, {I(handle), I(kIso)});
    EXPECT_TRUE(o.isNull);
    expectThrown(o, -126, "VkdmKrnReader_GetTableItem");
}

TEST_F(TableItemJvmTest, AnItemWrittenBackReadsTheSame) {
    setByte(0, kIso, 0x08000001, 3);
    setByte(0, kIso, 0x0800000A, 2);
    setUid(0, {1, 2, 3, 4, 5, 6, 7});
    setByte(0, kIso, 0x0800000C, 0x0C);
    setByte(0, kIso, 0x0800000B, 0x0B);
    setBytes(0, kIso, 0x0800000D, {0x12, 0x34});
    setByte(0, kIso, 0x0800000E, 0x0E);
    setByte(0, kIso, 0x04000004, 4);
    for (unsigned flag : {0x80000003u, 0x80000005u, 0x80000002u})
        ASSERT_EQ(module->SetTableData(0, kIso, flag, true), 0);
    Bytes pub(8192);
    for (std::size_t k = 0; k < pub.size(); ++k)
        pub[k] = static_cast<std::uint8_t>(k * 13);
    setBytes(0, kIso, 0x04000001, pub);
    setBytes(0, kIso, 0x04000002, Bytes(pub.rbegin(), pub.rend()));
    setBytes(0, kIso, 0x04001003, Bytes(256, 0x73));
    setBytes(0, kIso, 0x04000003, Bytes(256, 0x53));
    setBytes(0, kIso, 0x02000001, {9, 8, 7, 6, 5, 4, 3, 2, 1, 0, 1, 2, 3, 4, 5, 6});
    auto original = itemObject(0, kIso);
    ASSERT_NE(original.get(), nullptr);
    const Outcome w = call("SetTableItem", kSetItem, {I(handle), I(1), L(original)});
    ASSERT_FALSE(w.thrown) << w.thrown->message;
    EXPECT_EQ(w.value.i, 0);
    auto copy = itemObject(1, kIso);
    Fields a(env, original), b(env, copy);
    for (const char* field : {"transponderType", "epcType", "DsfID", "AFI", "ICRef", "blockSize"})
        EXPECT_EQ(a.byte(field), b.byte(field)) << field;
    for (const char* field : {"isUid", "isAFI", "isSysInfo", "isBlockSizeSet", "isSelected"})
        EXPECT_EQ(a.flag(field), b.flag(field)) << field;
    EXPECT_EQ(b.number("memSize"), 0x1234);
    for (const char* field : {"uid", "rxPubData", "txPubData", "rxDB_EpcBank", "rxDB_TidBank", "rxDB_ResBank",
                              "txDB_EpcBank", "txDB_TidBank", "txDB_ResBank", "securityStatus"})
        EXPECT_EQ(a.bytes(field), b.bytes(field)) << field;
    auto blocks = b.object("rxCfgData", "[[B");
    Local<jbyteArray> first(
        env, static_cast<jbyteArray>(env->GetObjectArrayElement(static_cast<jobjectArray>(blocks.get()), 0)));
    EXPECT_EQ(read(first.get()), (Bytes{9, 8, 7, 6}));
}

TEST_F(TableItemJvmTest, IdentifiersAndNullItems) {
    struct Row {
        const char* identifier;
        int code;
    };
    for (const Row& row : {Row{"BRM", -118}, Row{"iso", -124}, Row{"ISO ", -124}, Row{"", -124}}) {
        auto object = named(row.identifier);
        expectThrown(call("SetTableItem", kSetItem, {I(handle), I(0), L(object)}), row.code,
                     "VkdmKrnReader_SetTableItem");
    }
    Local<jobject> brm(env, [&] {
        jclass type = env->FindClass("de/varek/VkdmBrmTableItem");
        jobject o = env->NewObject(type, env->GetMethodID(type, "<init>", "(II)V"), 1, 1);
        env->DeleteLocalRef(type);
        return o;
    }());
    expectThrown(call("SetTableItem", kSetItem, {I(handle), I(0), L(brm)}), -118,
                 "VkdmKrnReader_SetTableItem");
    expectThrown(call("SetTableItem", kSetItem, {I(handle), I(0), L(nullptr)}), -106,
                 "VkdmKrnReader_SetTableItem");
    auto iso = named("ISO");
    expectThrown(call("SetTableItem", kSetItem, {I(kUnlisted), I(0), L(iso)}), -141,
                 "VkdmKrnReader_SetTableItem");
    EXPECT_TRUE(logOf("SetTableData").empty());
}

TEST_F(TableItemJvmTest, WritingStopsWhereAFieldFails) {
    // An empty UID fails after the two writes before it.
    auto object = named("ISO");
    expectThrown(call("SetTableItem", kSetItem, {I(handle), I(0), L(object)}), -126,
                 "VkdmKrnReader_SetTableItem");
    EXPECT_THAT(logOf("SetTableData"), ElementsAre(HasSubstr("0x08000001"), HasSubstr("0x0800000A")));
    // A short rxPubData: the JVM's bounds exception, the fields before it written.
    setArray(object, "uid", {1, 2});
    setArray(object, "rxPubData", Bytes(100));
    clearLog();
    Outcome o = call("SetTableItem", kSetItem, {I(handle), I(0), L(object)});
    ASSERT_TRUE(o.thrown);
    EXPECT_EQ(o.thrown->className, "java.lang.ArrayIndexOutOfBoundsException");
    EXPECT_EQ(logOf("SetTableData").size(), 14u); // 13 fields, the UID with its length
    EXPECT_THAT(logOf("SetTableData").back(), HasSubstr("0x80000002"));
    // A null array field or element: -121 where the JVM would crash.
    setArray(object, "rxPubData", Bytes(8192));
    Fields(env, object).setObject("txDB_TidBank", "[B", nullptr);
    expectThrown(call("SetTableItem", kSetItem, {I(handle), I(0), L(object)}), -121,
                 "VkdmKrnReader_SetTableItem");
    setArray(object, "txDB_TidBank", Bytes(256));
    auto blocks = Fields(env, object).object("txCfgData", "[[B");
    env->SetObjectArrayElement(static_cast<jobjectArray>(blocks.get()), 3, nullptr);
    expectThrown(call("SetTableItem", kSetItem, {I(handle), I(0), L(object)}), -121,
                 "VkdmKrnReader_SetTableItem");
    auto four = bytes({1, 2, 3, 4});
    env->SetObjectArrayElement(static_cast<jobjectArray>(blocks.get()), 3, four);
    o = call("SetTableItem", kSetItem, {I(handle), I(0), L(object)});
    EXPECT_FALSE(o.thrown);
    EXPECT_EQ(o.value.i, 0);
}

TEST_F(TableItemJvmTest, SetTableWritesElementIToIndexI) {
    const char* signature = "(I[Ljava/lang/Object;)I";
    for (int i = 0; i < 3; ++i) {
        setByte(5 + i, kIso, 0x08000001, static_cast<unsigned char>(0x40 + i));
        setUid(5 + i, {static_cast<std::uint8_t>(i + 1)});
    }
    jclass type = env->FindClass("java/lang/Object");
    Local<jobjectArray> items(env, env->NewObjectArray(3, type, nullptr));
    env->DeleteLocalRef(type);
    for (int i = 0; i < 3; ++i) {
        auto element = itemObject(5 + i, kIso);
        env->SetObjectArrayElement(items, i, element);
    }
    Outcome o = call("SetTable", signature, {I(handle), L(items)});
    ASSERT_FALSE(o.thrown) << o.thrown->message;
    for (int i = 0; i < 3; ++i) {
        unsigned char value = 0;
        EXPECT_EQ(module->GetTableData(i, kIso, 0x08000001, &value), 0);
        EXPECT_EQ(value, 0x40 + i);
    }
    // A failing element: only its own exception; the elements before it stay written.
    ASSERT_EQ(module->ResetTable(kIso, 0), 0);
    auto empty = named("ISO");
    env->SetObjectArrayElement(items, 1, empty);
    o = call("SetTable", signature, {I(handle), L(items)});
    expectThrown(o, -126, "VkdmKrnReader_SetTableItem");
    EXPECT_EQ(module->GetTableLength(kIso), 2); // index 0 and 1 written, 2 not
    unsigned char value = 0;
    EXPECT_EQ(module->GetTableData(0, kIso, 0x08000001, &value), 0);
    EXPECT_EQ(value, 0x40);
    EXPECT_EQ(module->VerifyTableData(2, kIso, 0, 0), -128);
    // The array as a whole.
    expectThrown(call("SetTable", signature, {I(handle), L(nullptr)}), -106, "VkdmKrnReader_SetTable");
    jclass objectClass = env->FindClass("java/lang/Object");
    Local<jobjectArray> none(env, env->NewObjectArray(0, objectClass, nullptr));
    Local<jobjectArray> withBrm(env, env->NewObjectArray(1, objectClass, nullptr));
    Local<jobjectArray> withNull(env, env->NewObjectArray(1, objectClass, nullptr));
    env->DeleteLocalRef(objectClass);
    expectThrown(call("SetTable", signature, {I(handle), L(none)}), -115, "VkdmKrnReader_SetTable");
    auto brm = named("BRM");
    env->SetObjectArrayElement(withBrm, 0, brm);
    expectThrown(call("SetTable", signature, {I(handle), L(withBrm)}), -118, "VkdmKrnReader_SetTable");
    expectThrown(call("SetTable", signature, {I(handle), L(withNull)}), -121, "VkdmKrnReader_SetTable");
    expectThrown(call("SetTable", signature, {I(kUnlisted), L(withBrm)}), -141, "VkdmKrnReader_SetTable");
}

} // namespace

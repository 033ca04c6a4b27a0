// The function-unit natives from a real JVM: units made on a module connected
// to the simulated reader, trees, data by identifier in every Java type, and
// unit commands through libvkfu to the simulator's function-unit bus.
#include "core_calls.h"
#include "simulated_module.h"

#include <krnsim/function_units.h>
#include <vktesting/test_jvm.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;
using vkbridge::B;
using vkbridge::callStatic;
using vkbridge::I;
using vkbridge::J;
using vkbridge::JavaString;
using vkbridge::L;
using vkbridge::Outcome;
using vkbridge::Z;

constexpr char kUnit[] = "de/varek/VkdmKrnFunctionUnit";
constexpr int U = 0x20000000;
constexpr char kByteId[] = "04 01 00 00 01 00 00"; // value 1 of a unit, one byte
constexpr char kWordId[] = "05 00 00 00 04 00 00"; // a four-byte field

class UnitJvmTest : public vkbridge::SimulatedModuleTest {
  protected:
    Outcome unitCall(const char* name, const char* signature, const std::vector<jvalue>& args) {
        return callStatic(env, kUnit, name, signature, args);
    }
    int makeUnit(int type, int module = 0) {
        const Outcome o = unitCall("Init", "(II)I", {I(module != 0 ? module : handle), I(type)});
        EXPECT_FALSE(o.thrown) << o.thrown->message;
        return o.value.i;
    }
    int fuType(int unit) { return unitCall("GetFUType", "(I)I", {I(unit)}).value.i; }

    Outcome setByte(int unit, const char* id, jbyte value) {
        JavaString text(env, id);
        return unitCall("SetData", "(ILjava/lang/String;B)I", {I(unit), L(text), B(value)});
    }
    Outcome setInt(int unit, const char* id, jint value) {
        JavaString text(env, id);
        return unitCall("SetData", "(ILjava/lang/String;I)I", {I(unit), L(text), I(value)});
    }
    Outcome setLong(int unit, const char* id, jlong value) {
        JavaString text(env, id);
        return unitCall("SetData", "(ILjava/lang/String;J)I", {I(unit), L(text), J(value)});
    }
    Outcome stringData(int unit, const char* id) {
        JavaString text(env, id);
        return unitCall("GetStringData", "(ILjava/lang/String;)Ljava/lang/String;", {I(unit), L(text)});
    }
    // GetData into a Java array of `length` elements of the JNI type letter,
    // each `fill`; element 0 afterwards (as a long).
    struct Read {
        Outcome outcome;
        jlong element0 = 0;
    };
    Read getData(int unit, const char* id, char type, jsize length, jlong fill) {
        JavaString text(env, id);
        Read read;
        const std::string signature = std::string("(ILjava/lang/String;[") + type + ")I";
        switch (type) {
        case 'Z': {
            jbooleanArray a = env->NewBooleanArray(length);
            for (jsize k = 0; k < length; ++k) {
                const jboolean v = fill != 0 ? JNI_TRUE : JNI_FALSE;
                env->SetBooleanArrayRegion(a, k, 1, &v);
            }
            read.outcome = unitCall("GetData", signature.c_str(), {I(unit), L(text), L(a)});
            jboolean v = 0;
            if (length > 0) env->GetBooleanArrayRegion(a, 0, 1, &v);
            read.element0 = v;
            env->DeleteLocalRef(a);
            break;
        }
        case 'B': {
            jbyteArray a = env->NewByteArray(length);
            for (jsize k = 0; k < length; ++k) {
                const auto v = static_cast<jbyte>(fill);
                env->SetByteArrayRegion(a, k, 1, &v);
            }
            read.outcome = unitCall("GetData", signature.c_str(), {I(unit), L(text), L(a)});
            jbyte v = 0;
            if (length > 0) env->GetByteArrayRegion(a, 0, 1, &v);
            read.element0 = v;
            env->DeleteLocalRef(a);
            break;
        }
        case 'I': {
            jintArray a = env->NewIntArray(length);
            for (jsize k = 0; k < length; ++k) {
                const auto v = static_cast<jint>(fill);
                env->SetIntArrayRegion(a, k, 1, &v);
            }
            read.outcome = unitCall("GetData", signature.c_str(), {I(unit), L(text), L(a)});
            jint v = 0;
            if (length > 0) env->GetIntArrayRegion(a, 0, 1, &v);
            read.element0 = v;
            env->DeleteLocalRef(a);
            break;
        }
        default: {
            jlongArray a = env->NewLongArray(length);
            for (jsize k = 0; k < length; ++k)
                env->SetLongArrayRegion(a, k, 1, &fill);
            read.outcome = unitCall("GetData", signature.c_str(), {I(unit), L(text), L(a)});
            jlong v = 0;
            if (length > 0) env->GetLongArrayRegion(a, 0, 1, &v);
            read.element0 = v;
            env->DeleteLocalRef(a);
            break;
        }
        }
        return read;
    }
};

TEST_F(UnitJvmTest, UnitsOfTheThreeTypesAndARefusedType) {
    EXPECT_EQ(makeUnit(10), U + 1);
    EXPECT_EQ(makeUnit(11), U + 2);
    EXPECT_EQ(makeUnit(12), U + 3);
    // What the native returns with its exception does not reach Java.
    const Outcome o = unitCall("Init", "(II)I", {I(handle), I(9)});
    ASSERT_TRUE(o.thrown);
    EXPECT_EQ(o.thrown->className, "de.varek.VkdmException");
    EXPECT_EQ(o.thrown->code, -106);
    char text[256] = {};
    VKDM_Base::GetErrorText(text, -106);
    EXPECT_THAT(o.thrown->message, StartsWith(std::string("\nError -106 - ") + text + "\n"));
    EXPECT_THAT(o.thrown->message, HasSubstr("(in Function: VkdmKrnFunctionUnit_Init, Line: "));
    // The refused type used up a number.
    EXPECT_EQ(makeUnit(11), U + 5);
    EXPECT_EQ(fuType(U + 3), 12);
}

TEST_F(UnitJvmTest, UnlistedModulesAndUnitsThrow141) {
    Outcome o = unitCall("Init", "(II)I", {I(0x10000999), I(10)});
    ASSERT_TRUE(o.thrown);
    EXPECT_EQ(o.thrown->code, -141);
    const int unit = makeUnit(10);
    o = unitCall("AddChild", "(III)I", {I(unit), I(1), I(U + 99)});
    ASSERT_TRUE(o.thrown);
    EXPECT_EQ(o.thrown->code, -141);
    EXPECT_THAT(o.thrown->message, HasSubstr("(in Function: VkdmKrnFunctionUnit_AddChild, Line: "));
    struct Row {
        const char* name;
        const char* signature;
        std::vector<jvalue> args;
    };
    const Row rows[] = {{"AddChild", "(III)I", {I(U + 99), I(1), I(unit)}},
                        {"DelChild", "(II)I", {I(U + 99), I(1)}},
                        {"GetFUType", "(I)I", {I(U + 99)}},
                        {"GetLastError", "(I)I", {I(U + 99)}},
                        {"GetErrorText", "(II)Ljava/lang/String;", {I(U + 99), I(-100)}},
                        {"SendProtocol", "(IB)I", {I(U + 99), B(0x20)}}};
    for (const Row& row : rows) {
        o = unitCall(row.name, row.signature, row.args);
        ASSERT_TRUE(o.thrown) << row.name;
        EXPECT_EQ(o.thrown->code, -141) << row.name;
    }
    // Destroy of an unlisted unit only says so.
    o = unitCall("Destroy", "(I)I", {I(U + 99)});
    EXPECT_FALSE(o.thrown);
    EXPECT_EQ(o.value.i, -139);
}

TEST_F(UnitJvmTest, TreesAndDestroyingOnlyTheUnitNamed) {
    const int parent = makeUnit(11);
    const int child = makeUnit(10);
    Outcome o = unitCall("AddChild", "(III)I", {I(parent), I(1), I(child)});
    EXPECT_FALSE(o.thrown);
    EXPECT_EQ(o.value.i, 0);
    // The core's refusals are returned, not thrown.
    o = unitCall("AddChild", "(III)I", {I(child), I(1), I(parent)});
    EXPECT_FALSE(o.thrown);
    EXPECT_EQ(o.value.i, -132);
    o = unitCall("DelChild", "(II)I", {I(parent), I(5)});
    EXPECT_FALSE(o.thrown);
    EXPECT_LT(o.value.i, 0);
    EXPECT_EQ(unitCall("Destroy", "(I)I", {I(parent)}).value.i, 0);
    EXPECT_EQ(fuType(child), 10);
    EXPECT_EQ(unitCall("Destroy", "(I)I", {I(parent)}).value.i, -139);
}

TEST_F(UnitJvmTest, DataInEveryJavaType) {
    const int unit = makeUnit(10);
    // byte: 0xFF arrives as -1 and is 255 to the unit.
    ASSERT_EQ(setByte(unit, kByteId, -1).value.i, 0);
    EXPECT_EQ(getData(unit, kByteId, 'B', 1, 0).element0, -1);
    EXPECT_EQ(getData(unit, kByteId, 'I', 1, 0).element0, 255);
    EXPECT_EQ(getData(unit, kByteId, 'Z', 1, 0).element0, JNI_TRUE);
    {
        JavaString id(env, kByteId);
        ASSERT_EQ(unitCall("SetData", "(ILjava/lang/String;Z)I", {I(unit), L(id), Z(false)}).value.i, 0);
    }
    EXPECT_EQ(getData(unit, kByteId, 'Z', 1, 1).element0, JNI_FALSE);
    // long: only the low 32 bits reach the unit.
    ASSERT_EQ(setLong(unit, kWordId, 0x100000007LL).value.i, 0);
    EXPECT_EQ(getData(unit, kWordId, 'I', 1, 0).element0, 7);
    // long[]: the unit's unsigned value zero-extended, whatever the element held.
    EXPECT_EQ(getData(unit, kWordId, 'J', 1, -1).element0, 7);
    ASSERT_EQ(setInt(unit, kWordId, -1).value.i, 0);
    EXPECT_EQ(getData(unit, kWordId, 'J', 3, -1).element0, 0xFFFFFFFFLL);
    EXPECT_EQ(getData(unit, kWordId, 'I', 1, 0).element0, -1);
    // A value wider than the type: the core's code thrown, the element unchanged.
    const Read wide = getData(unit, kWordId, 'B', 1, 42);
    ASSERT_TRUE(wide.outcome.thrown);
    EXPECT_EQ(wide.outcome.thrown->code, -103);
    EXPECT_EQ(wide.element0, 42);
}

TEST_F(UnitJvmTest, EmptyArraysAreRefusedBeforeTheUnitIsAsked) {
    const int unit = makeUnit(10);
    vkbridge::startCoreLog();
    for (const char type : {'Z', 'B', 'I', 'J'}) {
        const Read read = getData(unit, kByteId, type, 0, 0);
        ASSERT_TRUE(read.outcome.thrown) << type;
        EXPECT_EQ(read.outcome.thrown->className, "de.varek.VkdmException");
        EXPECT_EQ(read.outcome.thrown->code, -105) << type;
    }
    EXPECT_TRUE(vkbridge::coreCalls().empty());
    vkbridge::stopCoreLog();
}

TEST_F(UnitJvmTest, StringData) {
    const int unit = makeUnit(12);
    {
        JavaString id(env, kWordId);
        JavaString value(env, "AB");
        ASSERT_EQ(unitCall("SetData", "(ILjava/lang/String;Ljava/lang/String;)I", {I(unit), L(id), L(value)})
                      .value.i,
                  0);
    }
    Outcome o = stringData(unit, kWordId);
    EXPECT_FALSE(o.thrown);
    EXPECT_EQ(o.text, "AB");
    o = stringData(unit, "not an identifier");
    ASSERT_TRUE(o.thrown);
    EXPECT_EQ(o.thrown->code, -101);
    EXPECT_TRUE(o.isNull);
}

TEST_F(UnitJvmTest, ErrorTextsOfTheUnit) {
    const int unit = makeUnit(10);
    Outcome o = unitCall("GetErrorText", "(II)Ljava/lang/String;", {I(unit), I(-4150)});
    EXPECT_FALSE(o.thrown);
    EXPECT_FALSE(o.isNull);
    o = unitCall("GetErrorText", "(II)Ljava/lang/String;", {I(unit), I(-555)});
    EXPECT_FALSE(o.thrown);
    EXPECT_TRUE(o.isNull);
    EXPECT_EQ(unitCall("GetLastError", "(I)I", {I(unit)}).value.i, 0);
}

TEST_F(UnitJvmTest, CommandsReachTheSimulatedTunerAndOutputsLandInTheUnit) {
    krnsim::FunctionUnitBus bus;
    bus.attach(simulator.reader());
    bus.addDat(1);
    const int unit = makeUnit(10);
    ASSERT_EQ(setByte(unit, "04 00 00 00 01 00 00", 1).value.i, 0); // the tuner's bus address
    Outcome o = unitCall("SendProtocol", "(IB)I", {I(unit), B(static_cast<jbyte>(0xC0))});
    EXPECT_FALSE(o.thrown) << o.thrown->message;
    EXPECT_GE(o.value.i, 0);
    o = stringData(unit, "04 02 00 00 07 00 00");
    EXPECT_EQ(o.text, std::string("DAT\x01\x02\x03\x04"));
    ASSERT_EQ(setByte(unit, kByteId, 7).value.i, 0);
    o = unitCall("SendProtocol", "(IB)I", {I(unit), B(static_cast<jbyte>(0xC4))});
    EXPECT_FALSE(o.thrown) << o.thrown->message;
    EXPECT_EQ(bus.dat(1)->output, 7);
    // No tuner at that address: libvkfu's code, thrown as the reader driver's.
    ASSERT_EQ(setByte(unit, "04 00 00 00 01 00 00", 9).value.i, 0);
    o = unitCall("SendProtocol", "(IB)I", {I(unit), B(static_cast<jbyte>(0xC0))});
    ASSERT_TRUE(o.thrown);
    EXPECT_EQ(unitCall("GetLastError", "(I)I", {I(unit)}).value.i, o.thrown->code);
}

TEST_F(UnitJvmTest, AUnitWhoseModuleWasDestroyedRefusesCommandsAndKeepsItsData) {
    const int module = addModule(true);
    const int unit = makeUnit(10, module);
    ASSERT_EQ(setByte(unit, kByteId, 3).value.i, 0);
    ASSERT_EQ(vkbridge::callReader(env, "Destroy", "(I)I", {I(module)}).value.i, 0);
    const Outcome o = unitCall("SendProtocol", "(IB)I", {I(unit), B(static_cast<jbyte>(0xC0))});
    ASSERT_TRUE(o.thrown);
    EXPECT_EQ(o.thrown->className, "de.varek.VkdmException");
    EXPECT_EQ(o.thrown->code, -141);
    EXPECT_EQ(fuType(unit), 10);
    EXPECT_EQ(getData(unit, kByteId, 'I', 1, 0).element0, 3);
}

} // namespace

// The connection natives from a real JVM against the simulated reader: TCP
// (and a pseudo-terminal), disconnecting, refused connects, the global lock.
#include "core_calls.h"
#include "simulated_module.h"

#include <vkdm/vkdm_control.h>
#include <vktesting/test_jvm.h>

#include <vkkrn.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <thread>

namespace {

using ::testing::HasSubstr;
using vkbridge::B;
using vkbridge::callReader;
using vkbridge::I;
using vkbridge::J;
using vkbridge::JavaString;
using vkbridge::L;
using vkbridge::Outcome;

class ConnectionJvmTest : public vkbridge::SimulatedModuleTest {
  protected:
    Outcome setPortPara(int module, const char* key, const char* value) {
        JavaString k(env, key);
        JavaString v(env, value);
        return callReader(env, "SetPortPara", "(ILjava/lang/String;Ljava/lang/String;)I",
                          {I(module), L(k), L(v)});
    }
    Outcome getPortPara(int module, const char* key) {
        JavaString k(env, key);
        return callReader(env, "GetPortPara", "(ILjava/lang/String;)Ljava/lang/String;", {I(module), L(k)});
    }
    Outcome setLogPara(int module, const char* key, const char* value) {
        JavaString k(env, key);
        JavaString v(env, value);
        return callReader(env, "SetLogPara", "(ILjava/lang/String;Ljava/lang/String;)I",
                          {I(module), L(k), L(v)});
    }
    // A module connected through ConnectCOMM to a pseudo-terminal of the simulator.
    int ptyModule() {
        const krnsim::PtyEndpoint pty = simulator.openPty();
        const int module = addModule(false);
        EXPECT_EQ(setPortPara(module, "PORTPREFIX", "/dev/pts/").value.i, 0);
        const int number = std::stoi(pty.slavePath.substr(pty.slavePath.rfind('/') + 1));
        const Outcome o = callReader(env, "ConnectCOMM", "(II)I", {I(module), I(number + 1)});
        EXPECT_FALSE(o.thrown) << o.thrown->message;
        EXPECT_EQ(o.value.i, 0);
        return module;
    }
    std::string readerPara(int module, const char* key) {
        char value[256] = {};
        EXPECT_EQ(VKKRN_GetReaderPara(coreModule(module)->GetReaderHnd(), key, value), 0) << key;
        return value;
    }
};

TEST_F(ConnectionJvmTest, TcpConnectGivesAReaderHandleAndDisconnectEndsIt) {
    EXPECT_EQ(simulator.acceptCount(endpoint.id), 1u);
    Outcome o = callReader(env, "IsConnected", "(I)Z", {I(handle)});
    EXPECT_FALSE(o.thrown);
    EXPECT_TRUE(o.value.z);
    o = callReader(env, "GetVkkrnHandle", "(I)I", {I(handle)});
    EXPECT_GT(o.value.i, 0);
    o = callReader(env, "DisConnect", "(I)I", {I(handle)});
    EXPECT_FALSE(o.thrown);
    EXPECT_EQ(o.value.i, 0);
    EXPECT_FALSE(callReader(env, "IsConnected", "(I)Z", {I(handle)}).value.z);
}

TEST_F(ConnectionJvmTest, RefusedTcpPortThrowsThePortDriverExceptionAndKeepsTheModule) {
    // A port of its own: modules on one host and port share the socket.
    const krnsim::TcpEndpoint closed = simulator.listenTcp();
    simulator.stopListening(closed.id);
    const int other = addModule(false);
    ASSERT_GT(other, 0);
    const Outcome o = connectTcp(other, closed.port);
    ASSERT_TRUE(o.thrown);
    EXPECT_EQ(o.thrown->className, "de.varek.VkPortDriverException");
    EXPECT_LE(o.thrown->code, -1200);
    EXPECT_GE(o.thrown->code, -1299);
    EXPECT_THAT(o.thrown->message, ::testing::HasSubstr("(in Function: VkdmKrnReader_ConnectTCP, Line: "));
    EXPECT_NE(coreModule(other), nullptr);
    EXPECT_FALSE(callReader(env, "IsConnected", "(I)Z", {I(other)}).value.z);
}

TEST_F(ConnectionJvmTest, SerialConnectOnAPseudoTerminal) {
    const int module = ptyModule();
    EXPECT_TRUE(callReader(env, "IsConnected", "(I)Z", {I(module)}).value.z);
    EXPECT_GT(coreModule(module)->GetPortHnd(), 0);
    // A module on a serial line has no TCP state: the core's code, thrown.
    const Outcome o = callReader(env, "GetTcpConnectionState", "(I)I", {I(module)});
    ASSERT_TRUE(o.thrown);
    EXPECT_EQ(o.thrown->className, "de.varek.VkdmException");
    EXPECT_EQ(o.thrown->code, -117);
    EXPECT_EQ(callReader(env, "DisConnect", "(I)I", {I(module)}).value.i, 0);
}

TEST_F(ConnectionJvmTest, TcpStateOfAConnectedModule) {
    const Outcome o = callReader(env, "GetTcpConnectionState", "(I)I", {I(handle)});
    EXPECT_FALSE(o.thrown) << o.thrown->message;
    EXPECT_GE(o.value.i, 0);
}

TEST_F(ConnectionJvmTest, UsbConnectWithoutAReaderThrowsThePortDriverException) {
    const int other = addModule(false);
    const Outcome o = callReader(env, "ConnectUSB", "(IJ)I", {I(other), J(0x100000005LL)});
    ASSERT_TRUE(o.thrown);
    EXPECT_EQ(o.thrown->className, "de.varek.VkPortDriverException");
    EXPECT_LE(o.thrown->code, -1100);
    EXPECT_GE(o.thrown->code, -1199);
    EXPECT_NE(coreModule(other), nullptr);
}

TEST_F(ConnectionJvmTest, OnlyTheLowHalfOfTheUsbDeviceIdReachesTheCore) {
    const int other = addModule(false);
    vkbridge::startCoreLog();
    for (const jlong id : {0x100000005LL, -1LL}) {
        VKDM_CTL_ForceResult("ConnectUSB", 0);
        EXPECT_EQ(callReader(env, "ConnectUSB", "(IJ)I", {I(other), J(id)}).value.i, 0);
    }
    EXPECT_THAT(vkbridge::coreCalls("ConnectUSB("),
                ::testing::ElementsAre("ConnectUSB() value=5", "ConnectUSB() value=4294967295"));
    vkbridge::stopCoreLog();
}

TEST_F(ConnectionJvmTest, ModulesConnectingFromTwoThreadsBothConnect) {
    const int first = addModule(false);
    const int second = addModule(false);
    const krnsim::TcpEndpoint another = simulator.listenTcp();
    vkbridge::startCoreLog();
    auto connectOnThread = [](int module, int port) {
        JNIEnv* threadEnv = vktesting::testJniEnv();
        JavaString host(threadEnv, "127.0.0.1");
        const Outcome o =
            callReader(threadEnv, "ConnectTCP", "(ILjava/lang/String;I)I", {I(module), L(host), I(port)});
        EXPECT_FALSE(o.thrown);
        EXPECT_EQ(o.value.i, 0);
    };
    {
        std::thread a([&] {
            connectOnThread(first, endpoint.port);
            vktesting::testJvm()->DetachCurrentThread();
        });
        std::thread b([&] {
            connectOnThread(second, another.port);
            vktesting::testJvm()->DetachCurrentThread();
        });
        a.join();
        b.join();
    }
    EXPECT_EQ(vkbridge::coreCalls("ConnectTCP(").size(), 2u);
    vkbridge::stopCoreLog();
    EXPECT_TRUE(callReader(env, "IsConnected", "(I)Z", {I(first)}).value.z);
    EXPECT_TRUE(callReader(env, "IsConnected", "(I)Z", {I(second)}).value.z);
    EXPECT_EQ(simulator.acceptCount(another.id), 1u);
}

// ---- modem lines and port parameters ---------------------------------------------

TEST_F(ConnectionJvmTest, ModemKeysGoToTheSerialLibraryAndReturnZero) {
    const int module = ptyModule();
    vkbridge::startCoreLog();
    for (const char* key : {"SetRTS", "SetDTR"}) {
        const Outcome o = setPortPara(module, key, "ON");
        EXPECT_FALSE(o.thrown) << key;
        EXPECT_EQ(o.value.i, 0) << key;
        // A pseudo-terminal has no modem lines: the serial library refused.
        const Outcome error = getPortPara(module, "ERRCODE");
        EXPECT_FALSE(error.thrown);
        EXPECT_EQ(error.text, "-1040") << key;
    }
    EXPECT_TRUE(vkbridge::coreCalls("SetPortPara(").empty());
    // Another spelling is an ordinary key of the core.
    setPortPara(module, "setrts", "ON");
    EXPECT_EQ(vkbridge::coreCalls("SetPortPara(").size(), 1u);
    vkbridge::stopCoreLog();
}

TEST_F(ConnectionJvmTest, ModemKeysWithoutAPortDoNothing) {
    const int module = addModule(false);
    vkbridge::startCoreLog();
    const Outcome o = setPortPara(module, "SetRTS", "ON");
    EXPECT_FALSE(o.thrown);
    EXPECT_EQ(o.value.i, 0);
    EXPECT_TRUE(vkbridge::coreCalls().empty());
    vkbridge::stopCoreLog();
}

TEST_F(ConnectionJvmTest, PortParameterStringOrNull) {
    const int module = addModule(false);
    ASSERT_EQ(setPortPara(module, "PORTPREFIX", "/dev/pts/").value.i, 0);
    Outcome o = getPortPara(module, "PORTPREFIX");
    EXPECT_FALSE(o.thrown);
    EXPECT_EQ(o.text, "/dev/pts/");
    VKDM_CTL_ForceResult("GetPortPara", 3);
    o = getPortPara(module, "PORTPREFIX");
    EXPECT_FALSE(o.thrown);
    EXPECT_TRUE(o.isNull);
}

// ---- protocol log, bus address, frame support, reader type ----------------------

TEST_F(ConnectionJvmTest, LogParametersReachTheReaderLibrary) {
    const Outcome o = setLogPara(handle, "LOGPROT", "1");
    EXPECT_FALSE(o.thrown) << o.thrown->message;
    EXPECT_EQ(o.value.i, 0);
    EXPECT_EQ(readerPara(handle, "LOGPROT"), "1");
}

TEST_F(ConnectionJvmTest, LogParametersOfAnUnconnectedModuleGetTheReaderLibrarysAnswer) {
    // Reader handle 0, which libvkkrn refuses.
    const Outcome o = setLogPara(addModule(false), "LOGPROT", "1");
    ASSERT_TRUE(o.thrown);
    EXPECT_EQ(o.thrown->className, "de.varek.VkReaderDriverException");
    EXPECT_EQ(o.thrown->code, -4021);
}

TEST_F(ConnectionJvmTest, ALogParameterRefusedNamesKeyAndValueAndSpeaksTheChosenLanguage) {
    ASSERT_EQ(setLogPara(handle, "LANGUAGE", "7").value.i, 0);
    const Outcome o = setLogPara(handle, "NOSUCHKEY", "1");
    ASSERT_TRUE(o.thrown);
    EXPECT_EQ(o.thrown->className, "de.varek.VkReaderDriverException");
    EXPECT_EQ(o.thrown->code, -4050);
    EXPECT_THAT(o.thrown->message, HasSubstr("Unbekannter Parameter"));
    EXPECT_THAT(
        o.thrown->message,
        HasSubstr("(in Function: Java_de_varek_VkdmKrnReader_SetLogPara(\"NOSUCHKEY\", \"1\"), Line: "));
    EXPECT_EQ(setLogPara(handle, "LANGUAGE", "9").value.i, 0);
}

TEST_F(ConnectionJvmTest, BusAddressRoundTripsAsASignedByte) {
    for (const int address : {0xFF, 0x00, 0x7F, 0x80, 0x05}) {
        const auto b = static_cast<jbyte>(address);
        EXPECT_FALSE(callReader(env, "SetBusAddress", "(IB)V", {I(handle), B(b)}).thrown);
        EXPECT_EQ(core()->GetBusAddress(), address);
        EXPECT_EQ(callReader(env, "GetBusAddress", "(I)B", {I(handle)}).value.b, b);
    }
}

TEST_F(ConnectionJvmTest, FrameSupportTwoIsAdvancedInTheReaderLibrary) {
    EXPECT_EQ(callReader(env, "SetProtocolFrameSupport", "(II)I", {I(handle), I(2)}).value.i, 0);
    EXPECT_EQ(callReader(env, "GetProtocolFrameSupport", "(I)I", {I(handle)}).value.i, 2);
    EXPECT_EQ(readerPara(handle, "FRAMESUPPORT"), "ADVANCED");
    EXPECT_EQ(callReader(env, "SetProtocolFrameSupport", "(II)I", {I(handle), I(1)}).value.i, 0);
    EXPECT_EQ(readerPara(handle, "FRAMESUPPORT"), "STANDARD");
}

TEST_F(ConnectionJvmTest, FrameSupportRefusedWhileTheSecuredChannelLocksItIsReturned) {
    krnsim::Bytes key;
    for (int i = 0; i < 16; ++i)
        key.push_back(static_cast<std::uint8_t>(i));
    simulator.reader().setAuthenticationKey(key);
    ASSERT_EQ(core()->ReaderAuthentication(0, "000102030405060708090A0B0C0D0E0F"), 0);
    const Outcome o = callReader(env, "SetProtocolFrameSupport", "(II)I", {I(handle), I(1)});
    EXPECT_FALSE(o.thrown);
    EXPECT_EQ(o.value.i, -4056);
    EXPECT_EQ(readerPara(handle, "FRAMESUPPORT"), "ADVANCED");
}

TEST_F(ConnectionJvmTest, FamilyCodeNameAndType) {
    Outcome o = callReader(env, "GetFamilyCode", "(I)Ljava/lang/String;", {I(handle)});
    EXPECT_FALSE(o.thrown);
    EXPECT_EQ(o.text, core()->GetFamilyCode());
    o = callReader(env, "GetReaderName", "(I)Ljava/lang/String;", {I(handle)});
    EXPECT_FALSE(o.thrown);
    EXPECT_EQ(o.text, core()->GetReaderName());
    EXPECT_EQ(callReader(env, "SetReaderType", "(II)I", {I(handle), I(5)}).value.i, 0);
    EXPECT_EQ(callReader(env, "GetReaderType", "(I)I", {I(handle)}).value.i, 5);
    EXPECT_EQ(core()->GetReaderType(), 5);
}

TEST_F(ConnectionJvmTest, UnlistedHandlesThrowAndReturnTheirDefault) {
    constexpr int kUnlisted = 0x10000999;
    struct Row {
        const char* name;
        const char* signature;
        std::vector<jvalue> args;
    };
    const Row rows[] = {
        {"ConnectCOMM", "(II)I", {I(kUnlisted), I(1)}},
        {"ConnectUSB", "(IJ)I", {I(kUnlisted), J(1)}},
        {"DisConnect", "(I)I", {I(kUnlisted)}},
        {"IsConnected", "(I)Z", {I(kUnlisted)}},
        {"GetTcpConnectionState", "(I)I", {I(kUnlisted)}},
        {"SetBusAddress", "(IB)V", {I(kUnlisted), B(1)}},
        {"GetBusAddress", "(I)B", {I(kUnlisted)}},
        {"GetProtocolFrameSupport", "(I)I", {I(kUnlisted)}},
        {"SetProtocolFrameSupport", "(II)I", {I(kUnlisted), I(2)}},
        {"GetFamilyCode", "(I)Ljava/lang/String;", {I(kUnlisted)}},
        {"GetReaderName", "(I)Ljava/lang/String;", {I(kUnlisted)}},
        {"GetReaderType", "(I)I", {I(kUnlisted)}},
        {"SetReaderType", "(II)I", {I(kUnlisted), I(1)}},
        {"ReadCompleteConfiguration", "(IZ)I", {I(kUnlisted), vkbridge::Z(true)}},
        {"WriteCompleteConfiguration", "(IZ)I", {I(kUnlisted), vkbridge::Z(true)}},
        {"ResetCompleteConfiguration", "(IZ)I", {I(kUnlisted), vkbridge::Z(true)}},
        {"ApplyConfiguration", "(IZ)I", {I(kUnlisted), vkbridge::Z(true)}},
        {"GetLastError", "(I)I", {I(kUnlisted)}},
        {"GetLastStatus", "(I)I", {I(kUnlisted)}},
        {"GetErrorText", "(II)Ljava/lang/String;", {I(kUnlisted), I(-100)}},
        {"GetStatusText", "(IB)Ljava/lang/String;", {I(kUnlisted), B(0)}},
    };
    for (const Row& row : rows) {
        const Outcome o = callReader(env, row.name, row.signature, row.args);
        ASSERT_TRUE(o.thrown) << row.name;
        EXPECT_EQ(o.thrown->className, "de.varek.VkdmException") << row.name;
        EXPECT_EQ(o.thrown->code, -141) << row.name;
        EXPECT_THAT(o.thrown->message,
                    HasSubstr(std::string("(in Function: VkdmKrnReader_") + row.name + ", Line: "))
            << row.name;
    }
}

} // namespace

// Serial-line listeners from a real JVM: a module connected to the simulated
// reader on a pseudo-terminal through the test build of the serial library,
// whose simulated UART lets RTS and DTR be set there.
#include "task_fixture.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

namespace {

using nubokrn4j::ListenerKind;
using nubokrn4j::Slot;
using ::testing::StartsWith;
using vkbridge::callReader;
using vkbridge::I;
using vkbridge::L;
using vkbridge::Outcome;

constexpr char kListener[] = "(ILjava/lang/Object;I)I";
constexpr char kTextPair[] = "(ILjava/lang/String;Ljava/lang/String;)I";

class SerialListenerJvmTest : public vkbridge::TaskJvmTest {
  protected:
    void SetUp() override {
        TaskJvmTest::SetUp();
        if (HasFatalFailure()) return;
        const auto pty = simulator.openPty();
        ptyConnection = pty.connection;
        const std::string prefix = "/dev/pts/";
        ASSERT_EQ(pty.slavePath.rfind(prefix, 0), 0u);
        portNumber = std::stoi(pty.slavePath.substr(prefix.size())) + 1;
        serial = addModule(false);
        ASSERT_GT(serial, 0);
        ASSERT_EQ(texts("SetPortPara", serial, "PORTPREFIX", prefix.c_str()).value.i, 0);
        const Outcome o = callReader(env, "ConnectCOMM", "(II)I", {I(serial), I(portNumber)});
        ASSERT_FALSE(o.thrown) << o.thrown->message;
        ASSERT_EQ(o.value.i, 0);
    }
    Outcome texts(const char* native, int h, const char* key, const char* value) {
        jstring k = env->NewStringUTF(key);
        jstring v = env->NewStringUTF(value);
        Outcome o = callReader(env, native, kTextPair, {I(h), L(k), L(v)});
        env->DeleteLocalRef(k);
        env->DeleteLocalRef(v);
        return o;
    }
    Outcome add(jobject l, int event, int h) {
        return callReader(env, "AddCOMMEventListener", kListener, {I(h), L(l), I(event)});
    }
    Outcome remove(jobject l, int event, int h) {
        return callReader(env, "RemoveCOMMEventListener", kListener, {I(h), L(l), I(event)});
    }
    void line(const char* key, const char* value) { texts("SetPortPara", serial, key, value); }

    int serial = 0;
    int portNumber = 0;
    krnsim::ConnectionId ptyConnection = 0;
};

TEST_F(SerialListenerJvmTest, RtsAndDtrReachTheirListenersOnTheCallingThread) {
    jobject l = listener();
    ASSERT_EQ(add(l, 4, serial).value.i, 0);
    line("SetRTS", "ON");
    line("SetRTS", "OFF");
    auto got = calls(l, 2);
    ASSERT_EQ(got.size(), 2u);
    const std::string port = std::to_string(portNumber);
    EXPECT_EQ(got[0], "onVkdmCommEvent(4, " + port + ", 1) on main");
    EXPECT_EQ(got[1], "onVkdmCommEvent(4, " + port + ", 0) on main");
    // DTR has no listener yet: nothing.
    line("SetDTR", "ON");
    EXPECT_EQ(calls(l, 3, 200).size(), 2u);
    ASSERT_EQ(add(l, 5, serial).value.i, 0);
    line("SetDTR", "OFF");
    got = calls(l, 3);
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[2], "onVkdmCommEvent(5, " + port + ", 0) on main");
    EXPECT_EQ(uses(Slot::Reader, serial), 2);
    ASSERT_EQ(remove(l, 4, serial).value.i, 0);
    const Outcome again = remove(l, 4, serial);
    ASSERT_TRUE(again.thrown);
    EXPECT_EQ(again.thrown->code, -138);
    line("SetRTS", "ON");
    EXPECT_EQ(calls(l, 4, 200).size(), 3u);
    EXPECT_EQ(uses(Slot::Reader, serial), 1);
}

TEST_F(SerialListenerJvmTest, ScanDataSentRightAfterTheAddReachesTheReaderListener) {
    jobject l = listener();
    const Outcome o = callReader(env, "AddReaderEventListener", kListener, {I(serial), L(l), I(4)});
    ASSERT_FALSE(o.thrown) << o.thrown->message;
    ASSERT_EQ(o.value.i, 0);
    simulator.send(ptyConnection, krnsim::Bytes{0x02, 0x0A, 0xFF});
    const auto got = calls(l, 1);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_THAT(got[0], StartsWith("onVkKrnEvent(4, [020AFF]) on "));
    EXPECT_THAT(got[0], ::testing::Not(::testing::EndsWith(" on main"))) << "delivered by the scan thread";
    ASSERT_EQ(callReader(env, "RemoveReaderEventListener", kListener, {I(serial), L(l), I(4)}).value.i, 0);
    EXPECT_EQ(uses(Slot::Reader, serial), 0);
}

TEST_F(SerialListenerJvmTest, RefusedEventsAndPorts) {
    jobject l = listener();
    for (const int event : {0, 1, 2, 3, 6}) {
        const Outcome o = add(l, event, serial);
        ASSERT_TRUE(o.thrown) << event;
        EXPECT_EQ(o.thrown->code, -106);
    }
    // A TCP module and an unconnected one have no serial port.
    const int unconnected = addModule(false);
    for (const int h : {handle, unconnected}) {
        const Outcome o = add(l, 4, h);
        ASSERT_TRUE(o.thrown);
        EXPECT_EQ(o.thrown->code, -138);
        EXPECT_EQ(uses(Slot::Reader, h), 0);
    }
    const Outcome o = add(nullptr, 4, serial);
    ASSERT_TRUE(o.thrown);
    EXPECT_EQ(o.thrown->code, -121);
    EXPECT_EQ(uses(Slot::Reader, serial), 0);
}

TEST_F(SerialListenerJvmTest, DisconnectDropsTheListenersAndTheirUses) {
    jobject l = listener();
    ASSERT_EQ(add(l, 4, serial).value.i, 0);
    ASSERT_EQ(add(l, 4, serial).value.i, 0);
    ASSERT_EQ(add(l, 5, serial).value.i, 0);
    EXPECT_EQ(uses(Slot::Reader, serial), 3);
    ASSERT_EQ(callReader(env, "DisConnect", "(I)I", {I(serial)}).value.i, 0);
    EXPECT_EQ(uses(Slot::Reader, serial), 0);
    EXPECT_EQ(module4j(serial)->Listeners().registrations(ListenerKind::Serial, 4), 0);
    const Outcome o = remove(l, 5, serial);
    ASSERT_TRUE(o.thrown);
    EXPECT_EQ(o.thrown->code, -138);
}

} // namespace

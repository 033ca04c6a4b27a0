// The connection natives from a real JVM against the simulated reader: TCP
// (and a pseudo-terminal), disconnecting, refused connects, the global lock.
#include "simulated_module.h"

#include <vkdm/vkdm_control.h>
#include <vktesting/test_jvm.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

using vkbridge::callReader;
using vkbridge::I;
using vkbridge::Outcome;

class ConnectionJvmTest : public vkbridge::SimulatedModuleTest {};

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

} // namespace

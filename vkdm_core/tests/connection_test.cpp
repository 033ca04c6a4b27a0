// Connecting reader modules over TCP, a pseudo-terminal and USB, with the real
// port libraries and libvkkrn against the simulated reader.
#include <vkdm/vkdm_core.h>

#include <krnsim/simulator.h>
#include <vkkrn.h>
#include <vktesting/temp_dir.h>

#include <gtest/gtest.h>

#include <string>

namespace {

// True when libvkkrn lists this reader handle.
bool listed(int reader) {
    for (int h = VKKRN_GetReaderList(0); h > 0; h = VKKRN_GetReaderList(h)) {
        if (h == reader) return true;
    }
    return false;
}

// One 0x65 exchange through the module's reader: the reply's length or a code.
int exchange(VKDM_KRNReaderModule& module) {
    unsigned char request[] = {0x05, 0x01, 0x65};
    unsigned char reply[256];
    return VKKRN_SendTransparent(module.GetReaderHnd(), request, 3, reply, sizeof reply, 1, 0);
}

class ConnectionTest : public vktesting::TempDirTest {
  protected:
    krnsim::Simulator sim;
};

TEST_F(ConnectionTest, TcpConnectAndDisconnect) {
    const auto tcp = sim.listenTcp();
    VKDM_KRNReaderModule module;
    EXPECT_EQ(module.m_PortKind.load(), VKDM_PORT_NONE);
    ASSERT_EQ(module.ConnectTCP("127.0.0.1", tcp.port), 0);
    EXPECT_TRUE(module.IsConnected());
    EXPECT_EQ(module.m_PortKind.load(), VKDM_PORT_TCP);
    const int reader = module.GetReaderHnd();
    EXPECT_TRUE(listed(reader));
    EXPECT_GT(exchange(module), 0);
    EXPECT_EQ(module.GetTcpConnectionState(), 5); // established
    EXPECT_EQ(module.ConnectTCP("127.0.0.1", tcp.port), -111);
    char value[256] = {};
    EXPECT_EQ(module.GetPortPara("TIMEOUT", value), 0);
    EXPECT_STREQ(value, "3000");
    EXPECT_EQ(module.SetProtocolFrameSupport(2), 0);
    EXPECT_EQ(module.GetProtocolFrameSupport(), 2);

    EXPECT_EQ(module.DisConnect(), 0);
    EXPECT_FALSE(module.IsConnected());
    EXPECT_FALSE(listed(reader));
    EXPECT_EQ(module.m_PortKind.load(), VKDM_PORT_NONE);
    EXPECT_EQ(module.GetReaderHnd(), 0);
    EXPECT_EQ(module.DisConnect(), -110);
    EXPECT_EQ(module.GetTcpConnectionState(), -117);
}

TEST_F(ConnectionTest, RefusedPortLeavesNothingOpen) {
    const auto tcp = sim.listenTcp();
    sim.stopListening(tcp.id);
    VKDM_KRNReaderModule module;
    const int rc = module.ConnectTCP("127.0.0.1", tcp.port);
    EXPECT_LE(rc, -1200);
    EXPECT_GE(rc, -1299);
    EXPECT_EQ(module.GetLastError(), rc);
    EXPECT_FALSE(module.IsConnected());
    EXPECT_EQ(module.m_PortKind.load(), VKDM_PORT_NONE);
    EXPECT_EQ(VKKRN_GetReaderList(0), -4001);
    EXPECT_EQ(module.ConnectTCP(nullptr, tcp.port), -121);
}

TEST_F(ConnectionTest, TwoModulesShareOneSocket) {
    const auto tcp = sim.listenTcp();
    VKDM_KRNReaderModule first;
    VKDM_KRNReaderModule second;
    ASSERT_EQ(first.ConnectTCP("127.0.0.1", tcp.port), 0);
    ASSERT_EQ(second.ConnectTCP("127.0.0.1", tcp.port), 0);
    EXPECT_EQ(first.GetPortHnd(), second.GetPortHnd());
    ASSERT_EQ(first.DisConnect(), 0);
    EXPECT_GT(exchange(second), 0); // the socket stays open for the other module
    ASSERT_EQ(second.DisConnect(), 0);
}

TEST_F(ConnectionTest, SerialOverAPseudoTerminal) {
    const auto pty = sim.openPty();
    const std::string prefix = "/dev/pts/";
    ASSERT_EQ(pty.slavePath.rfind(prefix, 0), 0u);
    const int number = std::stoi(pty.slavePath.substr(prefix.size())) + 1;
    VKDM_KRNReaderModule module;
    ASSERT_EQ(module.SetPortPara("PORTPREFIX", prefix.c_str()), 0); // unconnected: library-wide
    char value[256] = {};
    ASSERT_EQ(module.GetPortPara("PORTPREFIX", value), 0);
    EXPECT_EQ(prefix, value);
    ASSERT_EQ(module.ConnectCOMM(number), 0);
    EXPECT_EQ(module.m_PortKind.load(), VKDM_PORT_SERIAL);
    EXPECT_GT(module.GetPortHnd(), 0);
    EXPECT_GT(exchange(module), 0);
    EXPECT_EQ(module.ConnectCOMM(number), -111);
    EXPECT_EQ(module.DisConnect(), 0);
    EXPECT_EQ(module.m_PortKind.load(), VKDM_PORT_NONE);
}

TEST_F(ConnectionTest, UsbWithoutAReaderGivesTheUsbCode) {
    VKDM_KRNReaderModule module;
    const int rc = module.ConnectUSB(5);
    EXPECT_LE(rc, -1100);
    EXPECT_GE(rc, -1199);
    EXPECT_FALSE(module.IsConnected());
    EXPECT_EQ(module.m_PortKind.load(), VKDM_PORT_NONE);
}

TEST_F(ConnectionTest, PortLibrariesAreTheOnesLibvkkrnUses) {
    void* serial = VKDM_Base::LoadViZer();
    ASSERT_NE(serial, nullptr);
    EXPECT_NE(VKDM_Base::GetViZerFunction(1025), nullptr); // VIZER_DoPortCmd
    EXPECT_EQ(VKDM_Base::GetViZerFunction(1100), nullptr);
    EXPECT_EQ(VKDM_Base::GetVkUsbFunction(1025), nullptr);
    EXPECT_NE(VKDM_Base::GetVkUsbFunction(1130), nullptr);
    EXPECT_NE(VKDM_Base::LoadVkUsb(), nullptr);
}

} // namespace

// Connecting: handle numbering, reuse of a connection by host text and port,
// failed connections, the socket list, host parameters and Detect.
#include "loopback.h"
#include "tcp_api.h"

#include <vksim/tcp_peer.h>
#include <vktesting/loopback_listener.h>

#include <sys/socket.h>

#include <chrono>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;
using vksim::RefusingPort;
using vktcp_test::TcpTest;
using vktesting::LoopbackListener;
using vktesting::UniqueFd;

constexpr int kFirstHandle = 0x20000001;

class Connect : public TcpTest {
  protected:
    // Disconnects after the peer side has hung up, so no wait for time-wait
    // stretches the test.
    void disconnectAll(std::vector<UniqueFd>& accepted, std::initializer_list<int> handles) {
        accepted.clear();
        for (int handle : handles)
            EXPECT_EQ(api.DisConnect(handle), 0);
    }
};

TEST_F(Connect, NumbersHandlesAndCountsFailedConnections) {
    LoopbackListener listener;
    RefusingPort refusing;
    EXPECT_EQ(api.Connect("127.0.0.1", refusing.port()), -1211);
    const int first = api.Connect("127.0.0.1", listener.port());
    EXPECT_EQ(first, kFirstHandle + 1) << "the failed connection consumed a number";
    EXPECT_EQ(api.Connect("host..invalid", listener.port()), -1212);
    std::vector<UniqueFd> accepted;
    accepted.push_back(listener.accept(5s));
    const int second = api.Connect("localhost", listener.port());
    EXPECT_EQ(second, kFirstHandle + 3);
    accepted.push_back(listener.accept(5s));
    disconnectAll(accepted, {first, second});
}

TEST_F(Connect, FirstHandleOfAFreshLibrary) {
    LoopbackListener listener;
    const int handle = api.Connect("127.0.0.1", listener.port());
    EXPECT_EQ(handle, kFirstHandle);
    std::vector<UniqueFd> accepted;
    accepted.push_back(listener.accept(5s));
    disconnectAll(accepted, {handle});
}

TEST_F(Connect, ReusesAConnectionToTheSameHostTextAndPort) {
    LoopbackListener listener;
    std::vector<UniqueFd> accepted;
    const int byAddress = api.Connect("127.0.0.1", listener.port());
    ASSERT_GT(byAddress, 0);
    accepted.push_back(listener.accept(5s));
    EXPECT_EQ(api.Connect("127.0.0.1", listener.port()), byAddress);
    EXPECT_FALSE(listener.accept(50ms)) << "a reused connection must not connect again";

    // A host name is matched against host names only: a second connection.
    const int byName = api.Connect("localhost", listener.port());
    ASSERT_GT(byName, 0);
    EXPECT_NE(byName, byAddress);
    EXPECT_EQ(byName, byAddress + 1) << "reuse does not advance the counter";
    accepted.push_back(listener.accept(5s));
    EXPECT_TRUE(accepted.back());
    EXPECT_EQ(api.Connect("localhost", listener.port()), byName);
    EXPECT_FALSE(listener.accept(50ms));

    EXPECT_EQ(api.GetSocketHnd("127.0.0.1", listener.port()), byAddress);
    EXPECT_EQ(api.GetSocketHnd("localhost", listener.port()), byName);
    EXPECT_EQ(api.GetSocketHnd("LOCALHOST", listener.port()), -1223) << "texts match exactly";
    EXPECT_EQ(api.GetSocketHnd("127.0.0.1", listener.port() == 1 ? 2 : 1), -1223);
    EXPECT_EQ(api.GetSocketHnd("", listener.port()), -1223);
    disconnectAll(accepted, {byAddress, byName});
}

TEST_F(Connect, SocketListWalksInConnectionOrder) {
    LoopbackListener a;
    LoopbackListener b;
    LoopbackListener c;
    std::vector<UniqueFd> accepted;
    std::vector<int> handles;
    for (LoopbackListener* listener : {&a, &b, &c}) {
        handles.push_back(api.Connect("127.0.0.1", listener->port()));
        accepted.push_back(listener->accept(5s));
    }
    EXPECT_EQ(api.GetSocketList(0), handles[0]);
    EXPECT_EQ(api.GetSocketList(handles[0]), handles[1]);
    EXPECT_EQ(api.GetSocketList(handles[1]), handles[2]);
    EXPECT_EQ(api.GetSocketList(handles[2]), 0);
    EXPECT_EQ(api.GetSocketList(handles[2] + 1), -1220);

    accepted[1].reset();
    EXPECT_EQ(api.DisConnect(handles[1]), 0);
    EXPECT_EQ(api.GetSocketList(handles[0]), handles[2]);
    EXPECT_EQ(api.GetSocketList(handles[1]), -1220);
    EXPECT_EQ(api.DisConnect(handles[1]), -1223) << "other sockets exist";
    disconnectAll(accepted, {handles[0], handles[2]});
    EXPECT_EQ(api.DisConnect(handles[0]), -1201) << "no socket left";
}

TEST_F(Connect, HostParametersByAddressAndByName) {
    LoopbackListener listener;
    std::vector<UniqueFd> accepted;
    const int byAddress = api.Connect("127.0.0.1", listener.port());
    accepted.push_back(listener.accept(5s));
    const int byName = api.Connect("localhost", listener.port());
    accepted.push_back(listener.accept(5s));
    ASSERT_GT(byAddress, 0);
    ASSERT_GT(byName, 0);
    const std::string port = std::to_string(listener.port());
    EXPECT_EQ(api.para(byAddress, "HOSTADR"), "127.0.0.1");
    EXPECT_EQ(api.para(byAddress, "HOSTNAME"), "");
    EXPECT_EQ(api.para(byAddress, "PORTNR"), port);
    EXPECT_EQ(api.para(byName, "HostAdr"), "127.0.0.1");
    EXPECT_EQ(api.para(byName, "hostname"), "localhost");
    EXPECT_EQ(api.para(byName, "PortNr"), port);
    disconnectAll(accepted, {byAddress, byName});
}

TEST_F(Connect, DetectProbesWithoutKeepingAConnection) {
    LoopbackListener listener;
    RefusingPort refusing;
    EXPECT_EQ(api.Detect("127.0.0.1", listener.port()), 0);
    EXPECT_TRUE(listener.accept(5s)) << "the probe connected";
    EXPECT_EQ(api.Detect("localhost", listener.port()), 0);
    EXPECT_TRUE(listener.accept(5s));
    EXPECT_EQ(api.Detect("127.0.0.1", refusing.port()), -1205);
    EXPECT_EQ(api.Detect("host..invalid", listener.port()), -1212);
    EXPECT_EQ(api.GetSocketList(0), -1201);
}

TEST_F(Connect, TransceiveExchangesOneFrame) {
    LoopbackListener listener;
    const int handle = api.Connect("127.0.0.1", listener.port());
    ASSERT_GT(handle, 0);
    UniqueFd peer = listener.accept(5s);
    ASSERT_TRUE(peer);
    std::vector<std::uint8_t> seen(7);
    std::thread reader([&] {
        std::size_t got = 0;
        while (got < seen.size() && vktcp_test::hasInput(peer.get(), 5000)) {
            const ssize_t n = ::recv(peer.get(), seen.data() + got, seen.size() - got, 0);
            if (n <= 0) break;
            got += static_cast<std::size_t>(n);
        }
        const std::uint8_t reply[] = {8, 0, 0x52, 0, 0x11, 0x22, 0x33, 0x44};
        ::send(peer.get(), reply, sizeof reply, MSG_NOSIGNAL);
    });
    const std::uint8_t request[] = {7, 0, 0x52, 0, 0, 0xAA, 0xBB};
    std::uint8_t reply[32] = {};
    EXPECT_EQ(api.Transceive(handle, request, sizeof request, reply, sizeof reply), 8);
    reader.join();
    EXPECT_EQ(seen, std::vector<std::uint8_t>(request, request + sizeof request));
    EXPECT_EQ(reply[7], 0x44);
    peer.reset();
    EXPECT_EQ(api.DisConnect(handle), 0);
}

} // namespace

// Event handlers, disconnection with its wait for time-wait, connection states,
// and the unload of a process that leaves a socket open.
#include "peer_fixture.h"

#include <vktesting/loopback_listener.h>
#include <vktesting/wait_until.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>

#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

struct Call {
    void* any;
    int handle;
    int event;
    int value;
};

std::atomic<int> gCalls{0};
Call gLast{};

void onEvent(void* any, int handle, int event, int value) {
    gLast = Call{any, handle, event, value};
    ++gCalls;
}

void otherCallback(void*, int, int, int) {}

// Whether a socket of this machine has 127.0.0.1:`port` for its peer, read from
// the kernel's table here rather than through the library.
bool loopbackPeerListed(std::uint16_t port) {
    char wanted[16];
    // The kernel prints the address as the 32-bit word it keeps, in network order.
    std::snprintf(wanted, sizeof wanted, "%08X:%04X", static_cast<unsigned>(htonl(INADDR_LOOPBACK)),
                  static_cast<unsigned>(port));
    std::ifstream table("/proc/net/tcp");
    std::string line;
    std::getline(table, line); // the header
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string slot, local, remote;
        if (fields >> slot >> local >> remote && remote == wanted) return true;
    }
    return false;
}

class Handlers : public vktcp_test::PeerTest {};

TEST_F(Handlers, FlagDuplicatesAndRemoval) {
    open();
    int context = 0;
    int otherContext = 0;
    _VKTCP_EVENT_INIT record{&context, VKTCP_EVENT_DISCONNECT, 0xFFFFFFFF, VKTCP_EVENT_FLAG_CONTEXT, onEvent};
    _VKTCP_EVENT_INIT sameWithOtherAny{&otherContext, VKTCP_EVENT_DISCONNECT, 0, VKTCP_EVENT_FLAG_CONTEXT,
                                       onEvent};
    _VKTCP_EVENT_INIT badFlag{&context, VKTCP_EVENT_DISCONNECT, 0, 2, onEvent};
    _VKTCP_EVENT_INIT other{&context, VKTCP_EVENT_DISCONNECT, 0, VKTCP_EVENT_FLAG_CONTEXT, otherCallback};

    EXPECT_EQ(api.AddEventHandler(handle, &badFlag), -1250);
    EXPECT_EQ(api.DelEventHandler(handle, &badFlag), -1250);
    EXPECT_EQ(api.AddEventHandler(handle, &other), 0);
    EXPECT_EQ(api.DelEventHandler(handle, &other), 0);
    EXPECT_EQ(api.DelEventHandler(handle, &other), -1250) << "deleted already";
    EXPECT_EQ(api.AddEventHandler(handle, &record), 0);
    EXPECT_EQ(api.AddEventHandler(handle, &sameWithOtherAny), 0) << "same id and callback: not added again";
    EXPECT_EQ(lastError(), 0) << "handler results are not stored on the socket";

    EXPECT_EQ(api.DisConnect(handle), 0);
    EXPECT_EQ(gCalls.load(), 1);
    EXPECT_EQ(gLast.any, &context) << "the first registration's context";
    EXPECT_EQ(gLast.handle, handle);
    EXPECT_EQ(gLast.event, VKTCP_EVENT_DISCONNECT);
    EXPECT_EQ(gLast.value, 0);
    handle = 0;
}

class Disconnect : public vktcp_test::PeerTest {};

TEST_F(Disconnect, APeerThatClosesOnEndOfStreamLeavesTimeWait) {
    open();
    const int port = peer->port();
    EXPECT_EQ(api.GetSocketState("127.0.0.1", port), 5);
    EXPECT_EQ(api.GetSocketState("localhost", port), 5);
    const auto start = Clock::now();
    EXPECT_EQ(api.DisConnect(handle), 0);
    EXPECT_LT(Clock::now() - start, 450ms) << "time-wait comes before the wait is over";
    EXPECT_EQ(api.GetSocketState("127.0.0.1", port), 11);
    EXPECT_EQ(api.GetSocketState("localhost", port), 11);
    EXPECT_EQ(api.GetSocketHnd("127.0.0.1", port), -1223);
    handle = 0;
}

TEST_F(Disconnect, APeerThatStaysOpenStretchesTheWait) {
    vksim::TcpPeerOptions options;
    options.onClientClose = vksim::OnClientClose::StayOpen;
    open(std::move(options));
    int context = 0;
    gCalls = 0;
    _VKTCP_EVENT_INIT record{&context, VKTCP_EVENT_DISCONNECT, 0, VKTCP_EVENT_FLAG_CONTEXT, onEvent};
    ASSERT_EQ(api.AddEventHandler(handle, &record), 0);
    const auto start = Clock::now();
    EXPECT_EQ(api.DisConnect(handle), 0);
    EXPECT_GE(Clock::now() - start, 450ms);
    EXPECT_EQ(gCalls.load(), 1);
    EXPECT_EQ(gLast.any, &context);
    EXPECT_EQ(gLast.handle, handle);
    EXPECT_EQ(gLast.event, 2);
    EXPECT_EQ(gLast.value, 0);
    EXPECT_EQ(api.GetSocketState("127.0.0.1", peer->port()), 7) << "FIN-wait-2";
    EXPECT_EQ(api.DisConnect(handle), -1201);
    handle = 0;
}

TEST_F(Disconnect, StatesOfUnknownAndUnresolvableHosts) {
    // A bound port no one listens on and no socket has for its peer. A socket
    // that talked to an earlier owner of the port (another test's listener) may
    // name it for a minute yet, waiting out TIME_WAIT: then another port is
    // taken, the first kept bound so that it is not given again.
    std::vector<std::unique_ptr<vksim::RefusingPort>> taken;
    do {
        taken.push_back(std::make_unique<vksim::RefusingPort>());
    } while (loopbackPeerListed(taken.back()->port()) && taken.size() < 100);
    ASSERT_FALSE(loopbackPeerListed(taken.back()->port()));
    EXPECT_EQ(api.GetSocketState("127.0.0.1", taken.back()->port()), 0);
    EXPECT_EQ(api.GetSocketState("host..invalid", 80), 0);
    EXPECT_EQ(api.GetSocketState("127.0.0.1", -1), 0);
}

TEST_F(Disconnect, ASecondConnectionToThePeerStretchesTheWait) {
    open();
    const int second = api.Connect("localhost", peer->port());
    ASSERT_GT(second, 0);
    ASSERT_TRUE(peer->waitForAccepts(2, 5s));
    const auto start = Clock::now();
    EXPECT_EQ(api.DisConnect(handle), 0);
    EXPECT_GE(Clock::now() - start, 450ms) << "the established second connection is the lowest state";
    handle = second;
}

// The child connects, registers a disconnection handler that writes to a pipe
// and exits with the socket open; unloading the library disconnects it.
TEST_F(Disconnect, UnloadDisconnectsWhatIsLeft) {
    // No thread may run while the process forks (a lock held by it would stay
    // held in the child for ever): the far end is a bare listener, accepted
    // only after the fork.
    vktesting::LoopbackListener listener;
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(pipeFds[0]);
        static int writeEnd = pipeFds[1];
        const int socket = api.Connect("127.0.0.1", listener.port());
        _VKTCP_EVENT_INIT record{&writeEnd, VKTCP_EVENT_DISCONNECT, 0, VKTCP_EVENT_FLAG_CONTEXT,
                                 [](void* any, int, int event, int) {
                                     const char mark = static_cast<char>(event);
                                     [[maybe_unused]] const ssize_t n =
                                         ::write(*static_cast<int*>(any), &mark, 1);
                                 }};
        const int added = socket > 0 ? api.AddEventHandler(socket, &record) : socket;
        std::exit(added == 0 ? 0 : 3);
    }
    ::close(pipeFds[1]);
    vktesting::UniqueFd accepted = listener.accept(10s);
    ASSERT_TRUE(accepted) << "the child connected";
    char mark = 0;
    EXPECT_EQ(::read(pipeFds[0], &mark, 1), 1) << "the handler ran while the library unloaded";
    EXPECT_EQ(mark, 2);
    ::close(pipeFds[0]);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    pollfd entry{accepted.get(), POLLIN, 0};
    ASSERT_EQ(::poll(&entry, 1, 5000), 1);
    char byte = 0;
    EXPECT_EQ(::read(accepted.get(), &byte, 1), 0) << "the far end saw the close";
}

} // namespace

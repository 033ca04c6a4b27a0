// What goes over the wire: the request exactly, whole transmits, no interleaving;
// failed sends; signals during a reply; descriptors above 1023.
#include "peer_fixture.h"

#include <vktesting/wait_until.h>

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

using namespace std::chrono_literals;
using vktcp_test::advancedFrame;
using vktcp_test::Bytes;
using vktcp_test::GuardedBuffer;
using vktcp_test::request;
using vktcp_test::Script;
using vktcp_test::standardFrame;

class Wire : public vktcp_test::PeerTest {};

TEST_F(Wire, ThePeerSeesExactlyTheRequest) {
    open();
    const Bytes requests[] = {request(1), standardFrame(250, 0x44), advancedFrame(4000, 0x55)};
    std::size_t total = 0;
    for (const Bytes& frame : requests) {
        peer->expect(Script::reply(standardFrame(9)));
        GuardedBuffer buffer(64);
        EXPECT_EQ(transceive(frame, buffer), 9);
        total += frame.size();
    }
    ASSERT_TRUE(connection().waitForRequests(3, 5s));
    const std::vector<Bytes> seen = connection().requests();
    for (std::size_t i = 0; i < 3; ++i)
        EXPECT_EQ(seen[i], requests[i]) << i;
    EXPECT_EQ(connection().received().size(), total) << "nothing else was sent";
}

TEST_F(Wire, ABigTransmitArrivesWhole) {
    vksim::TcpPeerOptions options;
    options.framer = vksim::arrivalRequestLength;
    open(std::move(options));
    Bytes big(4 << 20);
    for (std::size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<std::uint8_t>(i * 7 + (i >> 12));
    set("TIMEOUT", "10000");
    EXPECT_EQ(api.Transmit(handle, big.data(), static_cast<int>(big.size())), 0);
    ASSERT_TRUE(connection().waitForReceived(big.size(), 20s));
    EXPECT_EQ(connection().received(), big);
}

struct EventLog {
    std::atomic<int> calls{0};
    std::atomic<int> lastEvent{-1};
    std::atomic<int> lastValue{-1};
    std::atomic<int> lastHandle{0};
    std::atomic<void*> lastAny{nullptr};
    std::atomic<int> transmitInHandler{1};
};

EventLog* gLog = nullptr;
vktcp_test::TcpApi const* gApi = nullptr;

void recordEvent(void* any, int socketHandle, int event, int value) {
    gLog->calls++;
    gLog->lastEvent = event;
    gLog->lastValue = value;
    gLog->lastHandle = socketHandle;
    gLog->lastAny = any;
}

void transmitFromHandler(void* any, int socketHandle, int event, int value) {
    recordEvent(any, socketHandle, event, value);
    const std::uint8_t byte = 0x42;
    gLog->transmitInHandler = gApi->Transmit(socketHandle, &byte, 1);
}

class SendFailure : public vktcp_test::PeerTest {};

TEST_F(SendFailure, TransceiveRaisesEvent101OnceAndTheProcessLives) {
    EventLog log;
    gLog = &log;
    gApi = &api;
    vksim::TcpPeerOptions options;
    options.onAccept = Script().close();
    open(std::move(options));
    _VKTCP_EVENT_INIT record{&log, VKTCP_EVENT_SEND_FAILED, 0, VKTCP_EVENT_FLAG_CONTEXT, transmitFromHandler};
    ASSERT_EQ(api.AddEventHandler(handle, &record), 0);
    ASSERT_TRUE(vktesting::waitUntil([&] { return connection().hungUp(); }));

    GuardedBuffer buffer(64);
    EXPECT_EQ(transceive(request(), buffer), -1232)
        << "the request still went out; the reply is end of stream";
    int result = 0;
    ASSERT_TRUE(vktesting::waitUntil([&] {
        result = transceive(request(), buffer);
        return result == -1237;
    })) << result;
    EXPECT_EQ(log.calls.load(), 1);
    EXPECT_EQ(log.lastEvent.load(), VKTCP_EVENT_SEND_FAILED);
    EXPECT_EQ(log.lastValue.load(), 0);
    EXPECT_EQ(log.lastHandle.load(), handle);
    EXPECT_EQ(log.lastAny.load(), &log);
    EXPECT_EQ(log.transmitInHandler.load(), -1237) << "the handler's own Transmit returned";
    EXPECT_EQ(lastError(), -1237);
    EXPECT_NE(std::stoi(api.para(handle, "LASTSOCKETERROR")), 0);

    struct sigaction current {};
    ::sigaction(SIGPIPE, nullptr, &current);
    EXPECT_EQ(current.sa_handler, SIG_DFL) << "the library leaves signal dispositions alone";

    // A failed Transmit raises nothing.
    const std::uint8_t byte = 1;
    EXPECT_EQ(api.Transmit(handle, &byte, 1), -1237);
    EXPECT_EQ(log.calls.load(), 1);
    EXPECT_EQ(api.DelEventHandler(handle, &record), 0);
}

volatile sig_atomic_t gSignals = 0;
void countSignal(int) {
    gSignals = gSignals + 1;
}

TEST_F(Wire, SignalsDuringAChunkedReplyDoNotEndIt) {
    struct sigaction action {};
    action.sa_handler = countSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0; // no SA_RESTART: waits and reads return EINTR
    struct sigaction previous {};
    ASSERT_EQ(::sigaction(SIGUSR1, &action, &previous), 0);

    open();
    set("TIMEOUT", "3000");
    set("CHARTIMEOUT", "500");
    const Bytes reply = advancedFrame(600, 0x66);
    peer->expect(Script().pause(100ms).sendInChunks(reply, 50, 10ms));
    std::atomic<bool> done{false};
    const pthread_t self = ::pthread_self();
    std::thread signaller([&] {
        while (!done) {
            ::pthread_kill(self, SIGUSR1);
            std::this_thread::sleep_for(2ms);
        }
    });
    GuardedBuffer buffer(1024);
    const int n = transceive(request(), buffer);
    done = true;
    signaller.join();
    ::sigaction(SIGUSR1, &previous, nullptr);
    EXPECT_EQ(n, 600);
    EXPECT_EQ(buffer.first(600), reply);
    EXPECT_GT(gSignals, 0);
}

TEST_F(Wire, WorksOnADescriptorAbove1023) {
    rlimit limit{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &limit), 0);
    const rlimit previous = limit;
    if (limit.rlim_cur < 1200) {
        if (limit.rlim_max < 1200) GTEST_SKIP() << "the hard descriptor limit is below 1200";
        limit.rlim_cur = 1200;
        ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &limit), 0);
    }
    // Fill every number up to 1030, so the library's socket gets a higher one.
    std::vector<int> fillers;
    for (;;) {
        const int fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
        ASSERT_GE(fd, 0);
        fillers.push_back(fd);
        if (fd >= 1030) break;
    }
    open();
    peer->expect(Script::reply(standardFrame(9)));
    GuardedBuffer buffer(64);
    EXPECT_EQ(transceive(request(), buffer), 9);
    peer->expect(Script().pause(30ms).send(standardFrame(12)));
    EXPECT_EQ(transceive(request(), buffer), 12);
    EXPECT_EQ(api.DisConnect(handle), 0);
    handle = 0;
    for (int fd : fillers)
        ::close(fd);
    ::setrlimit(RLIMIT_NOFILE, &previous);
}

} // namespace

#include <vkplatform/kernel_services.h>
#include <vkplatform/socket_services.h>
#include <vkplatform/zlog_sink.h>

#include <gtest/gtest.h>

#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

using namespace std::chrono_literals;

void ignoreSignal(int) {}

TEST(KernelServices, SleepLastsAtLeastItsTimeEvenWhenInterrupted) {
    struct sigaction action {};
    action.sa_handler = ignoreSignal;
    ::sigaction(SIGUSR1, &action, nullptr);
    const pthread_t sleeper = ::pthread_self();
    std::atomic<bool> done{false};
    std::thread interrupter([&] {
        while (!done) {
            ::pthread_kill(sleeper, SIGUSR1);
            std::this_thread::sleep_for(2ms);
        }
    });
    const auto start = std::chrono::steady_clock::now();
    vkplatform::kernel::sleepMilliseconds(40);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    done = true;
    interrupter.join();
    EXPECT_GE(elapsed, 40ms);
}

TEST(SocketServices, StartStopCloseAndTheLastError) {
    namespace sockets = vkplatform::sockets;
    EXPECT_EQ(sockets::start(), 0);
    int pair[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
    EXPECT_EQ(sockets::closeSocket(pair[0]), 0);
    // The peer is gone: a send gives an error, not SIGPIPE.
    EXPECT_EQ(::send(pair[1], "x", 1, sockets::kSendFlags), -1);
    EXPECT_EQ(sockets::lastError(), EPIPE);
    EXPECT_EQ(sockets::closeSocket(pair[1]), 0);
    EXPECT_EQ(sockets::closeSocket(pair[1]), -1);
    EXPECT_EQ(sockets::lastError(), EBADF);
    sockets::stop();
}

TEST(StderrSink, WritesOneLinePerRecord) {
    zlog_install_sink(zlog_stderr_sink, nullptr, ZLOG_LEVEL_DEBUG);
    ::testing::internal::CaptureStderr();
    zlog(zlog_get_category("ZRB_SCPI"), "src/a.cpp", 9, "f", 1, 12, ZLOG_LEVEL_INFO, "hello %d", 5);
    zlog(zlog_get_category("ZRB_SCPI"), "src/a.cpp", 9, "f", 1, 13, ZLOG_LEVEL_TRACE, "hidden");
    const std::string written = ::testing::internal::GetCapturedStderr();
    zlog_remove_sink();
    EXPECT_EQ(written, "40 ZRB_SCPI src/a.cpp:12 hello 5\n");
}

} // namespace

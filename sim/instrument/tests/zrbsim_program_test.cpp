#include "raw_client.h"

#include <zrbsim/simulator.h>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

extern char** environ;

namespace {

using namespace std::chrono_literals;

// The zrbsim program as a child, with its stdout and stderr on pipes.
class Child {
  public:
    explicit Child(std::vector<std::string> arguments) {
        int out[2];
        int err[2];
        if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_adddup2(&actions, err[1], 2);
        arguments.insert(arguments.begin(), ZRBSIM_PROGRAM);
        std::vector<char*> argv;
        for (auto& argument : arguments)
            argv.push_back(argument.data());
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, ZRBSIM_PROGRAM, &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        ::close(err[1]);
        out_ = out[0];
        err_ = err[0];
    }

    ~Child() {
        if (pid_ > 0 && !status_) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        if (out_ >= 0) ::close(out_);
        if (err_ >= 0) ::close(err_);
    }

    // The first stdout line (without LF), or "" when none came before the deadline.
    std::string readyLine(std::chrono::milliseconds timeout = 10s) { return readLine(out_, timeout); }
    std::string stderrLine(std::chrono::milliseconds timeout = 10s) { return readLine(err_, timeout); }

    void signal(int number) { ::kill(pid_, number); }

    // The exit code, or -1 when it did not exit normally in time.
    int exitCode(std::chrono::milliseconds timeout = 10s) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (!status_) {
            int status = 0;
            const pid_t done = ::waitpid(pid_, &status, WNOHANG);
            if (done == pid_) {
                status_ = status;
                break;
            }
            if (std::chrono::steady_clock::now() >= deadline) return -1;
            ::usleep(2000);
        }
        return WIFEXITED(*status_) ? WEXITSTATUS(*status_) : -1;
    }

  private:
    static std::string readLine(int fd, std::chrono::milliseconds timeout) {
        std::string line;
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) return "";
            pollfd entry{fd, POLLIN, 0};
            if (::poll(&entry, 1, static_cast<int>(left.count())) <= 0) continue;
            char c;
            if (::read(fd, &c, 1) != 1) return "";
            if (c == '\n') return line;
            line.push_back(c);
        }
    }

    pid_t pid_ = -1;
    int out_ = -1;
    int err_ = -1;
    std::optional<int> status_;
};

// A loopback address that is free for port 5000 right now.
std::string freeAddress() {
    zrbsim::Simulator probe;
    return probe.address();
}

TEST(ZrbsimProgram, PrintsItsReadyLineServesAndStopsOnSigterm) {
    const std::string address = freeAddress();
    Child child({"--address", address});
    ASSERT_EQ(child.readyLine(), "ZRBSIM tcp " + address + " 5000");
    zrbsim::testing::RawClient client(address, zrbsim::kPort);
    ASSERT_TRUE(client.connected());
    client.send("ZRB:Rf:FieldOn 1\r\n");
    EXPECT_EQ(client.readLine(), "0\r\n");
    // It serves the command set's default replies.
    client.send("ZRB:Rf:GetResponse 0,4\r\n");
    EXPECT_EQ(client.readLine(), "0,A5,31,32,33,34,35\r\n");
    child.signal(SIGTERM);
    EXPECT_EQ(child.exitCode(), 0);
}

TEST(ZrbsimProgram, VerboseEchoesLinesToStderr) {
    const std::string address = freeAddress();
    Child child({"--verbose", "--address", address});
    ASSERT_EQ(child.readyLine(), "ZRBSIM tcp " + address + " 5000");
    zrbsim::testing::RawClient client(address, zrbsim::kPort);
    client.send("ZRB:Reset:ToIdle \r\n");
    EXPECT_EQ(client.readLine(), "0\r\n");
    EXPECT_EQ(child.stderrLine(), "< ZRB:Reset:ToIdle ");
    EXPECT_EQ(child.stderrLine(), "> 0");
    child.signal(SIGINT);
    EXPECT_EQ(child.exitCode(), 0);
}

TEST(ZrbsimProgram, DefaultsToLocalhostAndStopsOnSigint) {
    Child child({});
    const std::string ready = child.readyLine();
    if (ready.empty()) {
        const int code = child.exitCode();
        if (code == 1) GTEST_SKIP() << "127.0.0.1:5000 is held by another program";
        FAIL() << "no ready line, exit code " << code;
    }
    EXPECT_EQ(ready, "ZRBSIM tcp 127.0.0.1 5000");
    child.signal(SIGINT);
    EXPECT_EQ(child.exitCode(), 0);
}

TEST(ZrbsimProgram, UsageErrorsExitWithTwo) {
    const std::vector<std::vector<std::string>> cases = {
        {"--bogus"}, {"--address"}, {"--address", "not-an-address"}, {"extra"}};
    for (const auto& arguments : cases) {
        SCOPED_TRACE(arguments[0]);
        Child child(arguments);
        EXPECT_EQ(child.exitCode(), 2);
    }
}

TEST(ZrbsimProgram, HelpPrintsTheUsageOnStdoutAndExits0) {
    Child child({"--help"});
    EXPECT_EQ(child.readyLine(), "usage: zrbsim [--address A] [--verbose]");
    EXPECT_EQ(child.exitCode(), 0);
}

TEST(ZrbsimProgram, BindFailureExitsWithOne) {
    zrbsim::Simulator holder;
    Child child({"--address", holder.address()});
    EXPECT_EQ(child.exitCode(), 1);
    EXPECT_EQ(child.readyLine(1s), "");
}

} // namespace

// The krnsim program as a child process.
#include "client.h"

#include <krnsim/frame.h>
#include <vktesting/loopback_listener.h>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <sstream>

namespace krnsim {
namespace {

using namespace test;

// A running krnsim with its stdout and stderr on pipes.
class Program {
  public:
    explicit Program(std::vector<std::string> arguments) {
        int out[2];
        int err[2];
        if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(out[1], STDOUT_FILENO);
            ::dup2(err[1], STDERR_FILENO);
            std::vector<char*> argv;
            arguments.insert(arguments.begin(), KRNSIM_PROGRAM);
            for (auto& argument : arguments)
                argv.push_back(argument.data());
            argv.push_back(nullptr);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        ::close(out[1]);
        ::close(err[1]);
        out_.reset(out[0]);
        err_.reset(err[0]);
    }
    ~Program() {
        if (pid_ > 0 && !reaped_) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }

    // The first line on stdout, without its newline ("" when none came in time).
    std::string readyLine() {
        std::string line;
        for (;;) {
            const ReadResult got = readBytes(out_.get(), 1);
            if (got.bytes.empty() || got.bytes[0] == '\n') return line;
            line += static_cast<char>(got.bytes[0]);
        }
    }
    std::string errorText() {
        std::string text;
        for (;;) {
            const ReadResult got = readBytes(err_.get(), 1);
            if (got.bytes.empty()) return text;
            text += static_cast<char>(got.bytes[0]);
        }
    }
    void signal(int number) { ::kill(pid_, number); }
    // The exit code, or -1 when the program did not exit normally within the patience.
    int exitCode() {
        const auto deadline = Clock::now() + kPatience;
        int status = 0;
        while (Clock::now() < deadline) {
            const pid_t done = ::waitpid(pid_, &status, WNOHANG);
            if (done == pid_) {
                reaped_ = true;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            pollfd none{-1, 0, 0};
            ::poll(&none, 0, 5);
        }
        return -1;
    }

  private:
    pid_t pid_ = -1;
    bool reaped_ = false;
    vktesting::UniqueFd out_;
    vktesting::UniqueFd err_;
};

TEST(KrnSimProgram, ServesTcpUntilSigterm) {
    Program program(
        {"--tcp", "--bus-address", "0x05", "--key", "000102030405060708090a0b0c0d0e0f", "--verbose"});
    const std::string line = program.readyLine();
    std::istringstream words(line);
    std::string tag, kind, host;
    int port = 0;
    words >> tag >> kind >> host >> port;
    ASSERT_EQ(tag + " " + kind + " " + host, "KRNSIM tcp 127.0.0.1") << line;
    ASSERT_GT(port, 0);
    auto client = connectTcp(static_cast<std::uint16_t>(port));
    ASSERT_TRUE(client);
    const Bytes reply = exchange(client.get(), request(0xB0, {0x01, 0x00}, 5));
    ASSERT_EQ(reply.size(), 6u + 1 + 2 * 9);
    EXPECT_EQ(reply[1], 5);
    EXPECT_EQ(reply[4], 2) << "two built-in tags";
    // The demo function units: the tuner at unit address 1 and the UMUX.
    const Bytes version = exchange(client.get(), request(0xBF, hex("01 00 58 02 1F 02 C0 FE 01"), 5));
    EXPECT_EQ(Bytes(version.begin() + 3, version.end() - 2), hex("00 02 00 44 41 54 01 02 03 04 00 00"));
    const Bytes reset =
        exchange(client.get(), request(0xBB, hex("01 06 00 0000 0018 0030 0000 E0 0F FE DE 00 00"), 5));
    EXPECT_EQ(Bytes(reset.begin() + 3, reset.end() - 2), hex("00 00 00 00"));
    // With --key the reader answers the authentication's first step.
    const Bytes challenge = exchange(client.get(), request(0xAE, {0x00, 0x00, 0x01}, 5));
    ASSERT_EQ(challenge.size(), 6u + 33);
    EXPECT_EQ(challenge[3], 0x00);
    EXPECT_EQ(challenge[4], 0x01);
    program.signal(SIGTERM);
    EXPECT_EQ(program.exitCode(), 0);
    EXPECT_NE(program.errorText().find("<- 07 05 B0 01 00"), std::string::npos);
}

TEST(KrnSimProgram, ServesAPtyLinkUntilSigint) {
    const std::string link = "/tmp/kp" + std::to_string(::getpid() % 100000) + "A0";
    Program program({"--pty", "--link", link});
    EXPECT_EQ(program.readyLine(), "KRNSIM pty " + link);
    vktesting::UniqueFd client(::open(link.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC));
    ASSERT_TRUE(client);
    EXPECT_EQ(exchange(client.get(), hex("05 01 65 FD 2D")),
              hex("0F 01 65 00 01 02 03 4B 00 10 00 10 00 19 33"));
    program.signal(SIGINT);
    EXPECT_EQ(program.exitCode(), 0);
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(link)));
}

TEST(KrnSimProgram, RefusesBadArgumentsWithExitCode2) {
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"--tcp", "--pty"},
        {"--tcp", "--port"},
        {"--tcp", "--port", "70000"},
        {"--tcp", "--port", "12x"},
        {"--pty", "--port", "1"},
        {"--tcp", "--link", "/tmp/x"},
        {"--tcp", "--bus-address", "254"},
        {"--tcp", "--bus-address", "-1"},
        {"--tcp", "--bus-address", "0x"},
        {"--udp"},
        {"--tcp", "--key"},
        {"--tcp", "--key", "0011"},
        {"--tcp", "--key", "000102030405060708090a0b0c0d0e0g"},
    };
    for (const auto& arguments : cases) {
        Program program(arguments);
        EXPECT_EQ(program.exitCode(), 2) << testing::PrintToString(arguments);
        EXPECT_NE(program.errorText().find("usage: krnsim"), std::string::npos);
    }
}

TEST(KrnSimProgram, HelpPrintsTheUsageOnStdoutAndExits0) {
    Program program({"--help"});
    EXPECT_EQ(program.readyLine().rfind("usage: krnsim --tcp", 0), 0u);
    EXPECT_EQ(program.exitCode(), 0);
    EXPECT_EQ(program.errorText(), "");
}

TEST(KrnSimProgram, ExitsWith1WhenTheEndpointCannotBeOpened) {
    vktesting::UniqueFd busy(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(busy.get(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(busy.get(), 1), 0);
    socklen_t length = sizeof address;
    ::getsockname(busy.get(), reinterpret_cast<sockaddr*>(&address), &length);
    Program program({"--tcp", "--port", std::to_string(ntohs(address.sin_port))});
    EXPECT_EQ(program.exitCode(), 1);
    EXPECT_EQ(program.readyLine(), "");
}

TEST(KrnSimProgram, NotifiesAListenerAndPrintsItsAcknowledgements) {
    vktesting::LoopbackListener host;
    Program program(
        {"--notify", "127.0.0.1:" + std::to_string(host.port()), "--command", "1F", "--every", "20"});
    const vktesting::UniqueFd connection = host.accept(kPatience);
    ASSERT_TRUE(connection);
    EXPECT_EQ(program.readyLine(), "KRNSIM notify 127.0.0.1 " + std::to_string(host.port()));
    const Bytes first = readFrame(connection.get());
    EXPECT_EQ(first, buildReply(Form::Standard, 1, 0x1F, 0, Bytes{0, 0}));
    const Bytes ack = buildReply(Form::Standard, 9, 0x1F, 0, Bytes{0x05});
    ASSERT_EQ(::write(connection.get(), ack.data(), ack.size()), static_cast<ssize_t>(ack.size()));
    std::string expected = "KRNSIM ack";
    for (const std::uint8_t byte : ack) {
        char pair[4];
        std::snprintf(pair, sizeof pair, " %02X", byte);
        expected += pair;
    }
    EXPECT_EQ(program.readyLine(), expected + " (ok)");
    EXPECT_EQ(readFrame(connection.get()), buildReply(Form::Standard, 1, 0x1F, 0, Bytes{0, 1}));
    program.signal(SIGTERM);
    EXPECT_EQ(program.exitCode(), 0);
}

TEST(KrnSimProgram, NotifyArgumentsAreChecked) {
    for (const auto& arguments : std::vector<std::vector<std::string>>{
             {"--notify", "x"},
             {"--notify", "1", "--command", "33"},
             {"--notify", "1", "--key-type", "1"},
             {"--notify", "1", "--key-type", "1", "--key", "000102030405060708090a0b0c0d0e0f"},
             {"--tcp", "--key-type", "0"}}) {
        Program program(arguments);
        EXPECT_EQ(program.exitCode(), 2) << arguments[1];
    }
}

} // namespace
} // namespace krnsim

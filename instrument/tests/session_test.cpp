#include "session_fixture.h"

#include <vkplatform/zlog_capture.h>
#include <vktesting/wait_until.h>
#include <zrbsim/simulator.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <climits>

namespace {

using namespace std::chrono_literals;
using zrb::ReplyField;
using zrb::RequestLine;
using zrb::session;
using zrb::testing::SessionTest;
using zrbsim::ConnectionEvent;
using zrbsim::ReplyPlan;

std::size_t openDescriptors() {
    std::size_t count = 0;
    DIR* dir = ::opendir("/proc/self/fd");
    while (::readdir(dir) != nullptr)
        ++count;
    ::closedir(dir);
    return count;
}

std::vector<std::string> messages(const vkplatform::ZlogCapture& capture, const std::string& category) {
    std::vector<std::string> texts;
    for (const auto& record : capture.records(category))
        texts.push_back(record.message);
    return texts;
}

// Framing -------------------------------------------------------------------

TEST_F(SessionTest, RepliesAreFramedHoweverTheyAreSegmented) {
    struct Case {
        const char* name;
        ReplyPlan plan;
        int value;
    };
    const Case cases[] = {
        {"whole", ReplyPlan::line("0,5"), 5},
        {"byte by byte", ReplyPlan::byteByByte("0,6", 2ms), 6},
        {"CR and LF apart", ReplyPlan::crApartFromLf("0,7"), 7},
        {"lone CR LF first", ReplyPlan::loneCrLfFirst("0,8"), 8},
        {"a 1 MB line", ReplyPlan::line("0," + std::string(1 << 20, '9')), INT_MAX},
    };
    connect();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        simulator().script(c.plan);
        int value = 0;
        EXPECT_EQ(fieldOn({ReplyField::lastInt(&value)}), 0);
        EXPECT_EQ(value, c.value);
    }
}

TEST_F(SessionTest, ALoneCrLfBeforeTheLineStaysWhiteSpaceOfTheCode) {
    connect();
    simulator().script(ReplyPlan::loneCrLfFirst("4,\"m\""));
    EXPECT_EQ(fieldOn(), 4);
    EXPECT_STREQ(ZRB_ErrorMessage(), "m");
}

TEST_F(SessionTest, ANulEndsTheReplyText) {
    connect();
    simulator().script(ReplyPlan::raw(std::string("0,12\0ERR,x\r\n", 12)));
    int value = 0;
    EXPECT_EQ(fieldOn({ReplyField::checkedInt(&value)}), 0);
    EXPECT_EQ(value, 12);
}

// Session -------------------------------------------------------------------

TEST_F(SessionTest, NotConnectedRefusesBeforeAnythingIsSent) {
    ZRB_Errno = 1234;
    EXPECT_EQ(fieldOn(), 8);
    EXPECT_EQ(ZRB_Errno, 1234);
    EXPECT_EQ(ZRB_Disconnect(), 0);
    EXPECT_TRUE(simulator().events().empty());
}

TEST_F(SessionTest, ModeOneWithoutAHostIsRefusedBeforeAnyAttempt) {
    EXPECT_EQ(ZRB_Connect(1, nullptr), 3);
    EXPECT_FALSE(session().connected());
    connect();
    ASSERT_TRUE(simulator().waitForEvents(1));
    EXPECT_EQ(ZRB_Connect(1, nullptr), 3);
    EXPECT_TRUE(session().connected());
    EXPECT_EQ(fieldOn(), 0);
    EXPECT_EQ(simulator().events().size(), 1u);
}

TEST_F(SessionTest, RefusedAndUnresolvableHostsGiveEight) {
    std::string refusing;
    {
        zrbsim::Simulator probe;
        refusing = probe.address();
    }
    vkplatform::ZlogCapture capture;
    EXPECT_EQ(ZRB_Connect(1, refusing.c_str()), 8);
    EXPECT_FALSE(session().connected());
    EXPECT_EQ(messages(capture, "ZRB_SCPI"),
              (std::vector<std::string>{"Connecting with " + refusing + ":5000",
                                        "Unable to connect to server!\n"}));
    capture.clear();
    EXPECT_EQ(ZRB_Connect(0, "nothing.invalid"), 8);
    const auto records = messages(capture, "ZRB_SCPI");
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[1].rfind("Getaddrinfo failed with error: ", 0), 0u);
}

// In a child: lowers the descriptor limit to the descriptors already open and
// fills any gap below it, then connects. Exits with the result, or 100 when the
// failure was not logged.
[[noreturn]] void connectWithoutDescriptors(const char* host) {
    int highest = 0;
    DIR* dir = ::opendir("/proc/self/fd");
    while (dirent* entry = ::readdir(dir)) {
        const int fd = std::atoi(entry->d_name);
        if (fd != ::dirfd(dir)) highest = std::max(highest, fd);
    }
    ::closedir(dir);
    const rlimit limit{static_cast<rlim_t>(highest + 1), static_cast<rlim_t>(highest + 1)};
    ::setrlimit(RLIMIT_NOFILE, &limit);
    while (::open("/dev/null", O_RDONLY) >= 0) {
    }
    vkplatform::ZlogCapture capture;
    const int result = ZRB_Connect(1, host);
    const auto records = capture.records("ZRB_SCPI");
    const bool logged =
        !records.empty() && records.back().message.rfind("Socket failed with error: ", 0) == 0;
    std::_Exit(logged ? result : 100);
}

TEST_F(SessionTest, ASocketThatCannotBeCreatedGivesEight) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(connectWithoutDescriptors(host()), ::testing::ExitedWithCode(8), "");
}

TEST_F(SessionTest, ReconnectingClosesTheOldConnectionFirst) {
    connect();
    ASSERT_TRUE(simulator().waitForEvents(1));
    connect();
    ASSERT_TRUE(simulator().waitForEvents(3));
    const auto events = simulator().events();
    EXPECT_EQ(events[0].kind, ConnectionEvent::Kind::kAccepted);
    EXPECT_EQ(events[1].kind, ConnectionEvent::Kind::kClosed);
    EXPECT_EQ(events[1].connection, 1);
    EXPECT_EQ(events[1].reason, "peer");
    EXPECT_EQ(events[2].kind, ConnectionEvent::Kind::kAccepted);
    EXPECT_EQ(events[2].connection, 2);
    EXPECT_EQ(fieldOn(), 0);
    EXPECT_EQ(simulator().requests().back().connection, 2);
}

TEST_F(SessionTest, ManyReconnectsKeepTheDescriptorCount) {
    // The simulator lives in this process too: count once it has caught up
    // with every accept and close.
    constexpr int kReconnects = 200;
    connect();
    ASSERT_TRUE(simulator().waitForEvents(1));
    const std::size_t before = openDescriptors();
    for (int i = 0; i < kReconnects; ++i)
        ASSERT_EQ(ZRB_Connect(1, host()), 0);
    ASSERT_TRUE(simulator().waitForEvents(1 + 2 * kReconnects));
    ASSERT_TRUE(vktesting::waitUntil([&] { return simulator().openConnections() == 1; }));
    EXPECT_EQ(openDescriptors(), before);
    EXPECT_EQ(fieldOn(), 0);
}

TEST_F(SessionTest, ARequiredNullPointerGivesThreeAfterTheConnectionCheck) {
    const char* text = nullptr;
    auto launch = [&] {
        return session().exchange(
            {text},
            [&] { return RequestLine("Rf", "LaunchSpy").text(text).integer(1).integer(2).integer(3); }, {});
    };
    ZRB_Errno = 77;
    EXPECT_EQ(launch(), 8);
    connect();
    EXPECT_EQ(launch(), 3);
    EXPECT_EQ(ZRB_Errno, 77);
    text = "spy";
    EXPECT_EQ(launch(), 0);
    ASSERT_EQ(simulator().requests().size(), 1u);
    EXPECT_EQ(simulator().requests()[0].raw, "ZRB:Rf:LaunchSpy \"spy\",1,2,3\r\n");
}

TEST_F(SessionTest, ATextWithCrOrLfIsNotSent) {
    connect();
    vkplatform::ZlogCapture capture;
    for (const char* text : {"a\nb", "a\rb"}) {
        EXPECT_EQ(session().exchange(
                      {text}, [&] { return RequestLine("Gpio", "EnableDecoderProbing").text(text); }, {}),
                  10);
        EXPECT_EQ(ZRB_Errno, 10);
    }
    EXPECT_EQ(capture.records("ZRB_CLIENT").size(), 2u);
    EXPECT_EQ(capture.records("ZRB_CLIENT")[0].level, ZLOG_LEVEL_ERROR);
    EXPECT_TRUE(session().connected());
    EXPECT_EQ(fieldOn(), 0);
    ASSERT_EQ(simulator().requests().size(), 1u);
}

TEST_F(SessionTest, ALongRequestGoesOutWhole) {
    connect();
    const std::string text(8 << 20, 'a');
    EXPECT_EQ(session().exchange({text.c_str()},
                                 [&] { return RequestLine("Gpio", "EnableDecoderProbing").text(text); }, {}),
              0);
    ASSERT_EQ(simulator().requests().size(), 1u);
    EXPECT_EQ(simulator().requests()[0].raw.size(),
              text.size() + std::string("ZRB:Gpio:EnableDecoderProbing \"\"\r\n").size());
}

TEST_F(SessionTest, ResultsGoToErrno) {
    connect();
    simulator().scriptLine("0,5x,6");
    int first = 0;
    int second = -1;
    EXPECT_EQ(fieldOn({ReplyField::checkedInt(&first), ReplyField::checkedInt(&second)}), 11);
    EXPECT_EQ(ZRB_Errno, 11);
    EXPECT_EQ(first, 5);
    EXPECT_EQ(second, -1);
    simulator().scriptLine("42,\"no\"");
    EXPECT_EQ(fieldOn(), 42);
    EXPECT_EQ(ZRB_Errno, 42);
    EXPECT_EQ(fieldOn(), 0);
    EXPECT_EQ(ZRB_Errno, 0);
}

// Connection loss --------------------------------------------------------------

TEST_F(SessionTest, FinWhileAReplyIsOwedGivesElevenAndKeepsTheFlag) {
    connect();
    simulator().script(ReplyPlan::fin());
    EXPECT_EQ(fieldOn(), 11);
    EXPECT_EQ(ZRB_Errno, 11);
    EXPECT_TRUE(session().connected());
    EXPECT_EQ(ZRB_Disconnect(), 0);
    EXPECT_FALSE(session().connected());
}

TEST_F(SessionTest, APartialLineThenFinGivesEleven) {
    connect();
    simulator().script(ReplyPlan::finAfter("0,123", 3));
    EXPECT_EQ(fieldOn(), 11);
}

TEST_F(SessionTest, RstWhileOwedThenTheNextSendEndsTheConnection) {
    connect();
    simulator().script(ReplyPlan::rst());
    EXPECT_EQ(fieldOn(), 11);
    EXPECT_TRUE(session().connected());
    vkplatform::ZlogCapture capture;
    EXPECT_EQ(fieldOn(), 10);
    EXPECT_EQ(ZRB_Errno, 10);
    EXPECT_FALSE(session().connected());
    const auto errors = messages(capture, "ZRB_SCPI");
    ASSERT_FALSE(errors.empty());
    EXPECT_EQ(errors.back().rfind("Send failed with error: ", 0), 0u);
    ZRB_Errno = 55;
    EXPECT_EQ(fieldOn(), 8);
    EXPECT_EQ(ZRB_Errno, 55);
}

TEST_F(SessionTest, RstThenDisconnectGivesNineAndClearsTheFlag) {
    connect();
    simulator().script(ReplyPlan::rst());
    EXPECT_EQ(fieldOn(), 11);
    EXPECT_EQ(ZRB_Disconnect(), 9);
    EXPECT_FALSE(session().connected());
    EXPECT_EQ(ZRB_Disconnect(), 0);
}

TEST_F(SessionTest, AnErrReplyGivesElevenAndTheNextExchangeWorks) {
    connect();
    simulator().scriptLine("0,\"ERR\"");
    EXPECT_EQ(fieldOn(), 11);
    EXPECT_EQ(ZRB_Errno, 11);
    EXPECT_EQ(fieldOn(), 0);
}

TEST_F(SessionTest, ASilentInstrumentEndsInElevenThroughTheWatchdog) {
    simulator().setWatchdog(100ms);
    connect();
    simulator().script(ReplyPlan::silence());
    EXPECT_EQ(fieldOn(), 11);
}

// Last message -------------------------------------------------------------------

TEST_F(SessionTest, TheLastMessageFollowsFailingReplies) {
    EXPECT_STREQ(ZRB_ErrorMessage(), "");
    connect();
    simulator().scriptLine("5,\"pin, busy\"");
    EXPECT_EQ(fieldOn(), 5);
    const char* message = ZRB_ErrorMessage();
    EXPECT_STREQ(message, "pin, busy");
    EXPECT_EQ(fieldOn(), 0);
    EXPECT_EQ(ZRB_ErrorMessage(), message);
    EXPECT_STREQ(ZRB_ErrorMessage(), "pin, busy");
    simulator().scriptLine("5");
    EXPECT_EQ(fieldOn(), 11);
    EXPECT_STREQ(ZRB_ErrorMessage(), "ZRB_SCPI_RESP_CMD_FAILED");
}

// Logging -------------------------------------------------------------------------

TEST_F(SessionTest, EachExchangeTracesItsRequestAndReply) {
    connect();
    vkplatform::ZlogCapture capture;
    EXPECT_EQ(session().exchange({}, [] { return RequestLine("Reset", "ToIdle"); }, {}), 0);
    simulator().scriptLine("0,\"ERR\"");
    EXPECT_EQ(fieldOn(), 11);
    EXPECT_EQ(messages(capture, "main_ZRB_SCPI_TX"),
              (std::vector<std::string>{"ZRB:Reset:ToIdle ", "ZRB:Rf:FieldOn 1"}));
    EXPECT_EQ(messages(capture, "main_ZRB_SCPI_RX"), (std::vector<std::string>{"0", "0,\"ERR\""}));
    for (const auto& record : capture.records("main_ZRB_SCPI_TX"))
        EXPECT_EQ(record.level, ZLOG_LEVEL_TRACE);
    for (const auto& record : capture.records("main_ZRB_SCPI_RX"))
        EXPECT_EQ(record.level, ZLOG_LEVEL_TRACE);
    EXPECT_EQ(messages(capture, "ZRB_SCPI"),
              (std::vector<std::string>{"Error code from SCPI server has been received\n"}));
}

TEST_F(SessionTest, ASinkAtInfoSeesNoTraces) {
    vkplatform::ZlogCapture capture(ZLOG_LEVEL_INFO);
    connect();
    simulator().scriptLine("5,\"m\"");
    EXPECT_EQ(fieldOn(), 5);
    EXPECT_EQ(ZRB_Disconnect(), 0);
    for (const auto& record : capture.records())
        EXPECT_GE(record.level, ZLOG_LEVEL_INFO) << record.message;
    EXPECT_EQ(messages(capture, "ZRB_SCPI"),
              (std::vector<std::string>{std::string("Connecting with ") + host() + ":5000",
                                        "Disconnected socket"}));
    // A compiler cache that passes relative paths leaves "../../" in front.
    EXPECT_TRUE(capture.records()[0].file.ends_with("instrument/src/transport.cpp")) << capture.records()[0].file;
    EXPECT_NE(capture.records()[0].file.front(), '/') << capture.records()[0].file;
}

} // namespace

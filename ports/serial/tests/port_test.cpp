// A port through the loaded library: line restoration on close and unload,
// texts and last errors, parameters, transfers and modem lines on a
// pseudo-terminal.
#include "library_fixture.h"

#include <vksim/host_frame.h>

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <thread>

namespace vkcom_test {
namespace {

using namespace std::chrono_literals;
using vksim::Script;

using Port = LibraryTest;

struct SlaveState {
    speed_t speed;
    tcflag_t local;
};

SlaveState slaveState(int slave) {
    termios line{};
    ::tcgetattr(slave, &line);
    return {::cfgetospeed(&line), line.c_lflag & (ICANON | ECHO)};
}

void prepareSlave(int slave) {
    makeSlaveRaw(slave, B38400);
    termios line{};
    ::tcgetattr(slave, &line);
    line.c_lflag |= ICANON | ECHO;
    ::tcsetattr(slave, TCSANOW, &line);
}

TEST_F(Port, CloseRestoresTheLineAsFound) {
    PtyLines lines(api, 1);
    const int slave = lines.line(0).slave();
    prepareSlave(slave);
    const int handle = open(lines.portText(0));
    ASSERT_GT(handle, 0);
    EXPECT_EQ(slaveState(slave).speed, static_cast<speed_t>(B9600));
    EXPECT_EQ(slaveState(slave).local, 0u);
    EXPECT_EQ(close(handle), 0);
    EXPECT_EQ(api.libraryError(), 0);
    EXPECT_EQ(slaveState(slave).speed, static_cast<speed_t>(B38400));
    EXPECT_EQ(slaveState(slave).local, static_cast<tcflag_t>(ICANON | ECHO));
    EXPECT_EQ(close(handle), -1001);
}

TEST_F(Port, UnloadRestoresEveryOpenLine) {
    PtyLines lines(api, 2);
    for (int i = 0; i < 2; ++i) {
        prepareSlave(lines.line(i).slave());
        ASSERT_GT(open(lines.portText(i)), 0);
        EXPECT_EQ(slaveState(lines.line(i).slave()).speed, static_cast<speed_t>(B9600));
    }
    ASSERT_TRUE(unload());
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(slaveState(lines.line(i).slave()).speed, static_cast<speed_t>(B38400));
        EXPECT_EQ(slaveState(lines.line(i).slave()).local, static_cast<tcflag_t>(ICANON | ECHO));
    }
}

TEST_F(Port, ErrorTextsInBothLanguages) {
    struct Row {
        int code;
        const char* english;
        const char* german;
    } const rows[] = {
        {0, "VIZER: OK", "VIZER: OK"},
        {-1000, "VIZER: error while creating new port object",
         "VIZER: Fehler beim Erzeugen eines neuen Port-Objektes"},
        {-1001, "VIZER: empty port list", "VIZER: Leere Portliste"},
        {-1002, "VIZER: pointer is NULL", "VIZER: Zeiger ist NULL"},
        {-1003, "VIZER: no more memory", "VIZER: Nicht genuegend Programmspeicher"},
        {-1004, "VIZER: unsupported hardware", "VIZER: Nicht unterstuetzte Hardware"},
        {-1005, "VIZER: port is not found", "VIZER: Port ist nicht vorhanden"},
        {-1006, "VIZER: Unsupported function or option", "VIZER: Nicht unterstuetzte Funktion oder Option"},
        {-1010, "VIZER: error while open port", "VIZER: Fehler beim Oeffnen des Ports"},
        {-1011, "VIZER: port open timeout", "VIZER: Timeout beim Oeffnen des Ports"},
        {-1012, "VIZER: port number is false", "VIZER: Fehlerhafte Portnummer"},
        {-1013, "VIZER: port is already open", "VIZER: Port ist bereits geoeffnet"},
        {-1020, "VIZER: unknown port handle", "VIZER: Unbekannter Port-Handle"},
        {-1021, "VIZER: port handle is zero", "VIZER: Port-Handle ist null"},
        {-1022, "VIZER: port handle is negativ", "VIZER: Port-Handle ist negativ"},
        {-1023, "VIZER: no port handle found", "VIZER: Kein Port-Handle gefunden"},
        {-1030, "VIZER: receive timeout", "VIZER: Timeout beim Lesen vom Port"},
        {-1031, "VIZER: no transmit protocol", "VIZER: Kein Sendeprotokoll uebergeben"},
        {-1032, "VIZER: error in read process", "VIZER: Fehler im Empfangsprozess"},
        {-1033, "VIZER: communication process not started", "VIZER: Fehler beim Initialisieren des Ports"},
        {-1034, "VIZER: error in delete input buffer", "VIZER: Fehler beim Loeschen des Empfangspuffers"},
        {-1035, "VIZER: error in delete output buffer", "VIZER: Fehler beim Loeschen des Sendepuffers"},
        {-1036, "VIZER: error in change port parameter", "VIZER: Fehler beim Aendern eines Port-Parameters"},
        {-1037, "VIZER: error in transmit process", "VIZER: Fehler im Sendeprozess"},
        {-1038, "VIZER: noise data received (frame and/or parity is false)",
         "VIZER: Verrauschte Daten empfangen (Rahmen und/oder Paritaet sind falsch)"},
        {-1039, "VIZER: error in read port parameter", "VIZER: Fehler beim Lesen der Portparameter"},
        {-1050, "VIZER: unknown parameter", "VIZER: Uebergabeparameter ist nicht bekannt"},
        {-1051, "VIZER: parameter out of range", "VIZER: Uebergabeparameter ist zu gross oder zu klein"},
        {-1052, "VIZER: odd parameterstring",
         "VIZER: Es wird eine Zeichenkette mit gerader Anzahl Zeichen erwartet"},
        {-1053, "VIZER: port number out of range",
         "VIZER: Portnummer ist ausserhalb des gueltigen Bereichs (1..256)"},
        {-1054, "VIZER: unknown error code", "VIZER: Unbekannte Fehlerkonstante"},
        {-1070, "VIZER: receive buffer overflow", "VIZER: Ueberlauf des Empfangspuffers"},
    };
    char text[80];
    for (const char* language : {"9", "7"}) {
        ASSERT_EQ(set(0, "LANGUAGE", language), 0);
        const bool german = language[0] == '7';
        for (const Row& row : rows) {
            api.GetDLLVersion(nullptr); // some failure stored before
            EXPECT_EQ(api.GetErrorText(row.code, text), 0) << row.code;
            EXPECT_STREQ(text, german ? row.german : row.english);
            EXPECT_EQ(api.libraryError(), 0);
        }
        for (const int unknown : {-1040, -1099, 5, -2147483647 - 1}) {
            EXPECT_EQ(api.GetErrorText(unknown, text), -1054);
            const std::string expected =
                std::string(german ? "VIZER: Unbekannte Fehlerkonstante: " : "VIZER: unknown error code: ") +
                std::to_string(unknown);
            EXPECT_EQ(text, expected);
            int code = 0;
            char last[80];
            EXPECT_EQ(api.GetLastError(0, &code, last), 0);
            EXPECT_EQ(code, -1054);
        }
    }
    EXPECT_EQ(api.GetErrorText(0, nullptr), -1002);
    EXPECT_EQ(api.libraryError(), -1002);
}

TEST_F(Port, LastErrorOfLibraryAndPort) {
    PtyLines lines(api, 1);
    int code = 0;
    char text[80];
    EXPECT_EQ(api.GetLastError(0, nullptr, text), -1002);
    EXPECT_EQ(api.GetLastError(0, &code, nullptr), -1002);
    EXPECT_EQ(api.GetLastError(0, &code, text), 0); // gives the -1002 stored above ...
    EXPECT_EQ(code, -1002);
    EXPECT_STREQ(text, "VIZER: pointer is NULL");
    EXPECT_EQ(api.GetLastError(0, &code, text), 0); // ... which the text read cleared
    EXPECT_EQ(code, 0);
    EXPECT_EQ(api.GetLastError(-3, &code, text), -1001); // no -1022 here
    const int handle = openLine(lines, 0, 20);
    ASSERT_GT(handle, 0);
    EXPECT_EQ(api.GetLastError(handle + 9, &code, text), -1023);
    EXPECT_EQ(api.libraryError(), -1023);
    Bytes reply;
    EXPECT_EQ(receive(handle, reply, 16), -1030);
    EXPECT_EQ(api.GetLastError(handle, &code, text), 0);
    EXPECT_EQ(code, -1030);
    EXPECT_STREQ(text, "VIZER: receive timeout");
}

TEST_F(Port, DefaultsAndParameterRanges) {
    PtyLines lines(api, 1);
    const int handle = open(lines.portText(0));
    ASSERT_GT(handle, 0);
    const std::pair<const char*, const char*> defaults[] = {
        {"BAUD", "9600"},       {"FRAME", "8E1"},        {"TIMEOUT", "1000"}, {"TXDELAYTIME", "5"},
        {"TXTIMECONTROL", "1"}, {"CHARTIMEOUTMPY", "1"}, {"USENUBO", "0"},
    };
    for (const auto& [key, value] : defaults)
        EXPECT_EQ(get(handle, key), value) << key;
    EXPECT_EQ(get(handle, "PortNr"), lines.portText(0));

    struct Case {
        const char* key;
        const char* value;
        int result;
        const char* reads; // afterwards
    } const cases[] = {
        {"BAUD", "921600", 0, "921600"},
        {"BAUD", "14400", -1051, "921600"},
        {"BAUD", "99999999999999999999", -1051, "921600"},
        {"TIMEOUT", "0", 0, "0"},
        {"TIMEOUT", "99999", 0, "99999"},
        {"TIMEOUT", "100000", -1051, "99999"},
        {"TIMEOUT", "-5", -1051, "99999"},
        {"TIMEOUT", "99999999999999999999", -1051, "99999"},
        {"TIMEOUT", "abc", 0, "0"},
        {"Timeout", "25ms", 0, "25"},
        {"TXDELAYTIME", "999", 0, "999"},
        {"TXDELAYTIME", "1000", -1051, "999"},
        {"TXTIMECONTROL", "0", 0, "0"},
        {"TXTIMECONTROL", "2", -1051, "0"},
        {"CHARTIMEOUTMPY", "0", -1051, "1"},
        {"CHARTIMEOUTMPY", "100", -1051, "1"},
        {"CHARTIMEOUTMPY", "99", 0, "99"},
        {"USENUBO", "2", -1051, "0"},
        {"UseNUBO", "1", 0, "1"},
        {"PORTNR", "3", -1050, nullptr},
        {"ERRCODE", "0", -1050, nullptr},
        {"NOSUCHKEY", "1", -1050, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.key) + "=" + c.value);
        EXPECT_EQ(set(handle, c.key, c.value), c.result);
        if (c.reads != nullptr) {
            EXPECT_EQ(get(handle, c.key), c.reads);
        }
    }
    int result = 0;
    get(handle, "NOSUCHKEY", &result);
    EXPECT_EQ(result, -1050);
}

TEST_F(Port, ErrorCodeReadsOnceThenZero) {
    PtyLines lines(api, 1);
    const int handle = open(lines.portText(0));
    ASSERT_GT(handle, 0);
    EXPECT_EQ(set(handle, "BAUD", "14400"), -1051);
    EXPECT_EQ(get(handle, "ERRCODE"), "-1051");
    EXPECT_EQ(get(handle, "ERRCODE"), "0");
}

TEST_F(Port, StaleInputIsDroppedBeforeTheRequest) {
    PtyLines lines(api, 1);
    const int handle = openLine(lines, 0);
    ASSERT_GT(handle, 0);
    ASSERT_EQ(set(handle, "USENUBO", "1"), 0);
    lines.peer(0).play(Script::reply({0x09, 0xDE, 0xAD}));
    ASSERT_TRUE(lines.waitSlaveReadable(0));
    const Bytes request{0x06, 0xFF, 0x52, 0x00, 0x12, 0x34};
    const Bytes answer = vksim::standardReply(0xFF, 0x52, 0, {9});
    lines.peer(0).expect(Script::reply(answer));
    Bytes reply;
    EXPECT_EQ(transceive(handle, request, reply, 64), static_cast<int>(answer.size()));
    EXPECT_EQ(reply, answer);
    EXPECT_EQ(lines.peer(0).received(), request);
}

TEST_F(Port, ALateReplyStillOnItsWayIsNotTakenByTheNextTransceive) {
    PtyLines lines(api, 1);
    const int handle = openLine(lines, 0, 200);
    ASSERT_GT(handle, 0);
    ASSERT_EQ(set(handle, "USENUBO", "1"), 0);
    const Bytes first{0x06, 0xFF, 0x52, 0x00, 0x12, 0x34};
    const Bytes second{0x06, 0xFF, 0x52, 0x00, 0x56, 0x78};
    // The late answer to the first request comes after the second is asked for.
    lines.peer(0).expect(
        Script().pause(std::chrono::milliseconds(300)).send(vksim::standardReply(0xFF, 0x52, 0, {1})));
    const Bytes answer = vksim::standardReply(0xFF, 0x52, 0, {2});
    lines.peer(0).expect(Script::reply(answer));
    Bytes reply;
    EXPECT_EQ(transceive(handle, first, reply, 64), -1030);
    EXPECT_EQ(transceive(handle, second, reply, 64), static_cast<int>(answer.size()));
    EXPECT_EQ(reply, answer) << "the answer to the second request";
}

TEST_F(Port, TransferLengthBounds) {
    PtyLines lines(api, 1, vksim::arrivalRequestLength);
    const int handle = openLine(lines, 0, 20);
    ASSERT_GT(handle, 0);
    Bytes big(0x10002, 0x5A);
    EXPECT_EQ(api.Transmit(handle, big.data(), 0x10002), -1051);
    EXPECT_EQ(api.Transmit(handle, big.data(), -1), -1051);
    EXPECT_EQ(api.Transmit(handle, big.data(), 0), -1031);
    EXPECT_EQ(api.Transmit(handle, big.data(), 0x10001), 0);
    EXPECT_TRUE(lines.peer(0).waitForReceived(0x10001, 10s));
    EXPECT_EQ(lines.peer(0).received().size(), 0x10001u);
    std::uint8_t reply[4];
    EXPECT_EQ(api.Transceive(handle, big.data(), 0x10002, reply, 4), -1051);
    EXPECT_EQ(api.Transceive(handle, big.data(), 5, reply, 0), -1051);
    EXPECT_EQ(api.Receive(handle, reply, 0), -1051);
    EXPECT_EQ(api.Receive(handle, reply, -4), -1051);
    int code = 0;
    char text[80];
    api.GetLastError(handle, &code, text);
    EXPECT_EQ(code, -1051);
}

void ignoreSignal(int) {}

// Signals from a host (a JVM sends them) interrupt waits, reads and writes: the
// library resumes each with the time left and reports what the line did.
TEST_F(Port, SignalsChangeNothing) {
    struct sigaction action {};
    action.sa_handler = ignoreSignal; // no SA_RESTART
    struct sigaction previous {};
    ASSERT_EQ(::sigaction(SIGUSR1, &action, &previous), 0);
    const pthread_t caller = ::pthread_self();
    std::atomic<bool> done{false};
    std::thread pester([&] {
        while (!done.load()) {
            ::pthread_kill(caller, SIGUSR1);
            std::this_thread::sleep_for(1ms);
        }
    });

    PtyLines lines(api, 1);
    const int handle = openLine(lines, 0, 2000);
    ASSERT_GT(handle, 0);
    ASSERT_EQ(set(handle, "USENUBO", "1"), 0);
    const Bytes answer = vksim::advancedReply(0xFF, 0x52, 0, Bytes(500, 0x42));
    lines.peer(0).expect(Script().pause(30ms).sendInChunks(answer, 50, 3ms));
    Bytes reply;
    EXPECT_EQ(transceive(handle, {0x05, 0xFF, 0x52, 0x01, 0x02}, reply, 1024),
              static_cast<int>(answer.size()));
    EXPECT_EQ(reply, answer);

    ASSERT_EQ(set(handle, "TIMEOUT", "60"), 0);
    EXPECT_EQ(receive(handle, reply, 1024), -1030);
    ASSERT_EQ(set(handle, "USENUBO", "0"), 0);
    EXPECT_EQ(receive(handle, reply, 1024), -1030);
    Bytes big(0x10001, 0x11);
    EXPECT_EQ(api.Transmit(handle, big.data(), 0x10001), 0);
    EXPECT_TRUE(lines.peer(0).waitForReceived(5 + 0x10001, 10s));

    done = true;
    pester.join();
    ::sigaction(SIGUSR1, &previous, nullptr);
}

// A descriptor number at or above FD_SETSIZE is ordinary in a large host.
TEST_F(Port, DescriptorAbove1024Works) {
    rlimit limit{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &limit), 0);
    const rlimit saved = limit;
    if (limit.rlim_cur < 1200) {
        if (limit.rlim_max < 1200) GTEST_SKIP() << "descriptor limit too low";
        limit.rlim_cur = 1200;
        ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &limit), 0);
    }
    PtyLines lines(api, 1);
    std::vector<int> fillers;
    for (int fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC); fd >= 0 && fd < 1100;
         fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC))
        fillers.push_back(fd);
    const int handle = openLine(lines, 0);
    for (const int fd : fillers)
        ::close(fd);
    ASSERT_GT(handle, 0);
    ASSERT_EQ(set(handle, "USENUBO", "1"), 0);
    const Bytes answer = vksim::standardReply(0xFF, 0x52, 0, {1, 2});
    lines.peer(0).expect(Script().pause(5ms).send(answer));
    Bytes reply;
    EXPECT_EQ(transceive(handle, {0x05, 0xFF, 0x52, 0x01, 0x02}, reply, 64), static_cast<int>(answer.size()));
    ::setrlimit(RLIMIT_NOFILE, &saved);
}

void countCall(int, int) {
    ADD_FAILURE() << "a handler ran for a line that was never set";
}

// A pseudo-terminal has no modem lines: reading them fails, and a set that
// cannot read them calls no handler.
TEST_F(Port, ModemLinesOnAPseudoTerminal) {
    PtyLines lines(api, 1);
    const int handle = open(lines.portText(0));
    ASSERT_GT(handle, 0);
    _VIZER_EVENT_INIT dtr{VIZER_EVENT_DTR, 0, 3, 0, countCall};
    ASSERT_EQ(api.AddEventHandler(handle, &dtr), 0);
    for (const char* name : {"GETDTR", "GETRTS", "GETCTS", "GETDCD", "GETDSR"})
        EXPECT_EQ(command(handle, name), -1040) << name;
    EXPECT_EQ(command(handle, "SETDTR", "ON"), -1040);
    EXPECT_EQ(command(handle, "SETRTS", "OFF"), -1040);
    EXPECT_EQ(command(handle, "FLUSHINQ"), 0);
    EXPECT_EQ(command(handle, "FLUSHOUTQ"), 0);
    EXPECT_EQ(command(handle, "BREAK"), -1050);
    EXPECT_EQ(command(handle, std::string(128, 'F').c_str()), -1051);
    EXPECT_EQ(command(handle, "SETDTR", std::string(128, 'O')), -1051);
}

} // namespace
} // namespace vkcom_test

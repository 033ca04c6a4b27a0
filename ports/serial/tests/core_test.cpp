// The library's core linked statically, with a simulated UART under its line
// operations: frame settings, modem lines, handlers, injected failures and the
// handle counter.
#include "fake_uart.h"
#include "handle_counter.h"
#include "library_fixture.h"
#include "vizer_drv_hnd.h"

#include <vksim/host_frame.h>

#include <sys/ioctl.h>

#include <optional>
#include <set>

extern vkcom::VIZERDrvHnd g_LibVizerDrvHnd;

namespace vkcom_test {
namespace {

using namespace std::chrono_literals;
using Op = FakeUart::Op;
using vksim::Script;

VizerApi linkedApi() {
    VizerApi api;
    api.GetDLLVersion = VIZER_GetDLLVersion;
    api.GetErrorText = VIZER_GetErrorText;
    api.GetLastError = VIZER_GetLastError;
    api.DetectPort = VIZER_DetectPort;
    api.AddEventHandler = VIZER_AddEventHandler;
    api.DelEventHandler = VIZER_DelEventHandler;
    api.OpenPort = VIZER_OpenPort;
    api.ClosePort = VIZER_ClosePort;
    api.GetPortList = VIZER_GetPortList;
    api.GetPortPara = VIZER_GetPortPara;
    api.SetPortPara = VIZER_SetPortPara;
    api.DoPortCmd = VIZER_DoPortCmd;
    api.GetPortHnd = VIZER_GetPortHnd;
    api.Transceive = VIZER_Transceive;
    api.Transmit = VIZER_Transmit;
    api.Receive = VIZER_Receive;
    api.AddEventHandlerEx = VIZER_AddEventHandlerEx;
    api.DelEventHandlerEx = VIZER_DelEventHandlerEx;
    return api;
}

// Calls of the modem-line handlers, recorded by plain functions (the callback
// type carries no context).
struct Call {
    int id;
    int port;
    int state;
    bool operator==(const Call&) const = default;
};
std::vector<Call> handlerCalls;
void onDtr(int port, int state) {
    handlerCalls.push_back({5, port, state});
}
void onRts(int port, int state) {
    handlerCalls.push_back({4, port, state});
}
void onOther(int port, int state) {
    handlerCalls.push_back({0, port, state});
}

class CoreTest : public PortTest {
  protected:
    void bind() override {
        api = linkedApi();
        handlerCalls.clear();
    }
    void SetUp() override {
        PortTest::SetUp();
        lines = std::make_unique<PtyLines>(api, 1);
    }
    int openPort() { return openLine(*lines, 0); }
    vkcom::VKPort& port(int handle) { return *g_LibVizerDrvHnd.find(handle).port; }

    FakeUart uart;
    std::unique_ptr<PtyLines> lines;
};

TEST_F(CoreTest, OpeningSetsARawLine9600Even) {
    const int handle = openPort();
    ASSERT_GT(handle, 0);
    const tcflag_t flags = uart.lastControlFlags();
    EXPECT_EQ(flags & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_TRUE(flags & PARENB);
    EXPECT_FALSE(flags & (PARODD | CSTOPB | CRTSCTS));
    termios slave{};
    ASSERT_EQ(::tcgetattr(lines->line(0).slave(), &slave), 0);
    EXPECT_EQ(::cfgetospeed(&slave), static_cast<speed_t>(B9600));
    EXPECT_FALSE(slave.c_lflag & (ICANON | ECHO | ISIG));
    EXPECT_EQ(slave.c_cc[VMIN], 1);
}

TEST_F(CoreTest, FrameReachesTheUartAndReadsBack) {
    const int handle = openPort();
    ASSERT_GT(handle, 0);
    struct Case {
        const char* value;
        int result;
        const char* reads;
        tcflag_t size, parity, stop;
    } const cases[] = {
        {"7O2", 0, "7O2", CS7, PARENB | PARODD, CSTOPB},
        {"8N1", 0, "8N1", CS8, 0, 0},
        {"7o2", 0, "7O2", CS7, PARENB | PARODD, CSTOPB},
        {"8e1", 0, "8E1", CS8, PARENB, 0},
        {"6N1", -1051, "8E1", CS8, PARENB, 0},
        {"8X1", -1051, "8E1", CS8, PARENB, 0},
        {"8N3", -1051, "8E1", CS8, PARENB, 0},
        {"8N", -1051, "8E1", CS8, PARENB, 0},
        {"", -1051, "8E1", CS8, PARENB, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        EXPECT_EQ(set(handle, "FRAME", c.value), c.result);
        EXPECT_EQ(get(handle, "FRAME"), c.reads);
        const tcflag_t flags = uart.lastControlFlags();
        EXPECT_EQ(flags & CSIZE, c.size);
        EXPECT_EQ(flags & (PARENB | PARODD), c.parity);
        EXPECT_EQ(flags & CSTOPB, c.stop);
    }
}

TEST_F(CoreTest, CharacterTimeOutFollowsRateAndMultiplier) {
    const int handle = openPort();
    ASSERT_GT(handle, 0);
    struct Step {
        const char* key;
        const char* value;
        std::int64_t microseconds;
    } const steps[] = {
        {"CHARTIMEOUTMPY", "2", 208300}, // before any BAUD: 9600
        {"CHARTIMEOUTMPY", "1", 104150},
        {"BAUD", "115200", 8650},
        {"BAUD", "921600", 1050},
        {"BAUD", "14400", 1050},
        {"BAUD", "50", 20000000},
        {"CHARTIMEOUTMPY", "99", 1980000000},
        {"CHARTIMEOUTMPY", "100", 1980000000},
    };
    for (const Step& step : steps) {
        set(handle, step.key, step.value);
        EXPECT_EQ(port(handle).charTimeoutMicroseconds(), step.microseconds) << step.key << " " << step.value;
    }
}

TEST_F(CoreTest, SetDtrOffClearsTheLineAndCallsItsHandlersOnce) {
    const int handle = openPort();
    ASSERT_GT(handle, 0);
    _VIZER_EVENT_INIT dtr{VIZER_EVENT_DTR, 0, 3, 0, onDtr};
    _VIZER_EVENT_INIT rts{VIZER_EVENT_RTS, 0, 3, 0, onRts};
    _VIZER_EVENT_INIT cts{VIZER_EVENT_CTS, 0, 3, 0, onOther};
    for (_VIZER_EVENT_INIT* record : {&dtr, &dtr, &rts, &cts}) // the same twice is stored once
        EXPECT_EQ(api.AddEventHandler(handle, record), 0);
    const int number = lines->portNumber(0);

    EXPECT_EQ(command(handle, "SetDTR", "on"), 0);
    EXPECT_TRUE(uart.outputs() & TIOCM_DTR);
    EXPECT_EQ(command(handle, "setdtr", "off"), 0);
    EXPECT_FALSE(uart.outputs() & TIOCM_DTR);
    EXPECT_EQ(handlerCalls, (std::vector<Call>{{5, number, 1}, {5, number, 0}}));

    handlerCalls.clear();
    EXPECT_EQ(command(handle, "SETRTS", "On"), 0);
    EXPECT_TRUE(uart.outputs() & TIOCM_RTS);
    EXPECT_EQ(handlerCalls, (std::vector<Call>{{4, number, 1}}));

    // The I/O lock is free again: a transfer works.
    lines->peer(0).expect(Script::reply({1, 2, 3}));
    Bytes reply;
    EXPECT_EQ(transceive(handle, {5, 0, 0, 0, 0}, reply, 16), 3);
}

TEST_F(CoreTest, ModemLinesReadAsScripted) {
    const int handle = openPort();
    ASSERT_GT(handle, 0);
    struct Case {
        int inputs;
        const char *cts, *dsr, *dcd;
    } const cases[] = {
        {0, "OFF", "OFF", "OFF"},
        {TIOCM_CTS, "ON", "OFF", "OFF"},
        {TIOCM_DSR | TIOCM_CAR, "OFF", "ON", "ON"},
    };
    const auto read = [&](const char* name) {
        std::string n(name);
        char value[8] = "";
        EXPECT_EQ(api.DoPortCmd(handle, n.data(), value), 0);
        return std::string(value);
    };
    for (const Case& c : cases) {
        uart.setInputs(c.inputs);
        EXPECT_EQ(read("GETCTS"), c.cts);
        EXPECT_EQ(read("GetDSR"), c.dsr);
        EXPECT_EQ(read("getdcd"), c.dcd);
    }
    EXPECT_EQ(read("GETDTR"), "OFF");
    command(handle, "SETDTR", "ON");
    EXPECT_EQ(read("GETDTR"), "ON");
    EXPECT_EQ(read("GETRTS"), "OFF");
}

TEST_F(CoreTest, HandlerRecordsAreChecked) {
    const int handle = openPort();
    ASSERT_GT(handle, 0);
    _VIZER_EVENT_INIT good{VIZER_EVENT_DTR, 0, 3, 0, onDtr};
    _VIZER_EVENT_INIT badFlag{VIZER_EVENT_DTR, 0, 2, 0, onDtr};
    EXPECT_EQ(api.AddEventHandler(handle, nullptr), -1002);
    EXPECT_EQ(api.AddEventHandler(handle, &badFlag), -1050);
    EXPECT_EQ(api.DelEventHandler(handle, &badFlag), -1050);
    EXPECT_EQ(api.AddEventHandler(handle, &good), 0);
    EXPECT_EQ(api.DelEventHandler(handle, &good), 0);
    EXPECT_EQ(api.DelEventHandler(handle, &good), -1050);
    int code = 0;
    char text[128];
    api.GetLastError(handle, &code, text);
    EXPECT_EQ(code, -1050);

    _VIZER_INTERNAL_EVENT_INIT ext{VIZER_EVENT_DTR, 0, 101, 0, onDtr};
    EXPECT_EQ(api.AddEventHandlerEx(handle, &ext), -1006);
    EXPECT_EQ(api.DelEventHandlerEx(handle, &ext), -1006);
    ext.flag = 3;
    EXPECT_EQ(api.AddEventHandlerEx(handle, &ext), -1050);
    EXPECT_EQ(api.DelEventHandlerEx(handle, nullptr), -1002);
    // Nothing was stored by the extended pair.
    command(handle, "SETDTR", "ON");
    EXPECT_TRUE(handlerCalls.empty());
}

TEST_F(CoreTest, OpeningFailsWhenTheLineSettingsFail) {
    for (const Op op : {Op::GetAttr, Op::SetAttr}) {
        uart.fail(op);
        EXPECT_EQ(open(lines->portText(0)), -1000);
        EXPECT_EQ(api.libraryError(), -1000);
        EXPECT_EQ(api.GetPortList(0), -1001);
        uart.fail(op, false);
    }
    EXPECT_GT(openPort(), 0);
}

TEST_F(CoreTest, FailedLineChangeKeepsTheOldSettings) {
    const int handle = openPort();
    ASSERT_GT(handle, 0);
    uart.fail(Op::SetAttr);
    EXPECT_EQ(set(handle, "BAUD", "19200"), -1036);
    EXPECT_EQ(set(handle, "FRAME", "7O2"), -1036);
    EXPECT_EQ(port(handle).charTimeoutMicroseconds(), 104150);
    uart.fail(Op::SetAttr, false);
    EXPECT_EQ(get(handle, "BAUD"), "9600");
    EXPECT_EQ(get(handle, "FRAME"), "8E1");
}

TEST_F(CoreTest, FailedFlushes) {
    const int handle = openPort();
    ASSERT_GT(handle, 0);
    uart.fail(Op::Flush);
    EXPECT_EQ(command(handle, "FLUSHINQ"), -1034);
    EXPECT_EQ(command(handle, "FlushOutQ"), -1035);
    Bytes reply;
    EXPECT_EQ(transceive(handle, {5, 0, 0, 0, 0}, reply, 16), -1034);
    int code = 0;
    char text[128];
    api.GetLastError(handle, &code, text);
    EXPECT_EQ(code, -1034);
    // Nothing was written.
    uart.fail(Op::Flush, false);
    lines->peer(0).expect(Script::reply({7, 7}));
    EXPECT_EQ(transceive(handle, {6, 1, 1, 1, 1, 1}, reply, 16), 2);
    EXPECT_EQ(lines->peer(0).received(), (Bytes{6, 1, 1, 1, 1, 1}));
}

TEST_F(CoreTest, FailedModemAccess) {
    const int handle = openPort();
    ASSERT_GT(handle, 0);
    _VIZER_EVENT_INIT dtr{VIZER_EVENT_DTR, 0, 3, 0, onDtr};
    ASSERT_EQ(api.AddEventHandler(handle, &dtr), 0);
    uart.fail(Op::SetModem);
    EXPECT_EQ(command(handle, "SETDTR", "ON"), -1036);
    uart.fail(Op::GetModem);
    EXPECT_EQ(command(handle, "SETDTR", "ON"), -1040);
    EXPECT_EQ(command(handle, "GETCTS"), -1040);
    EXPECT_TRUE(handlerCalls.empty());
}

TEST(HandleCounter, WrapsToOneAndSkipsHandlesInUse) {
    vkcom::HandleCounter counter(0x0FFFFFFE);
    const auto none = [](int) { return false; };
    EXPECT_EQ(counter.advance(none), 0x0FFFFFFF);
    std::set<int> open{1, 3};
    const auto inUse = [&open](int handle) { return open.count(handle) > 0; };
    EXPECT_EQ(counter.advance(inUse), 2);
    EXPECT_EQ(counter.advance(inUse), 4);
    vkcom::HandleCounter fresh;
    EXPECT_EQ(fresh.advance(none), 1);
}

} // namespace
} // namespace vkcom_test

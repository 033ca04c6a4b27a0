// Asynchronous tasks through the exports: inventory once and per trigger, the
// reply reader behind 0xBC and 0xC0, cancel, the port test and deletion with
// workers running, against the simulated reader on loopback TCP and a
// pseudo-terminal.
#include "loaded_library.h"
#include "sim_link.h"
#include "task_recorder.h"

#include <krnsim/frame.h>
#include <vkkrn.h>
#include <vktesting/loopback_listener.h>
#include <vktesting/temp_dir.h>
#include <vktesting/wait_until.h>

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <ctime>
#include <regex>
#include <string>
#include <thread>
#include <vector>

namespace {

using krnsim::Bytes;
using krnsim::Fault;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// A port's parameter through the port library that serves it.
class PortParameters {
  public:
    explicit PortParameters(LinkKind kind)
        : kind_(kind), library_(kind == LinkKind::Tcp ? "libvktcp.so" : "libvkcom.so") {
        if (kind == LinkKind::Tcp)
            tcpGet_ = library_.symbol<VKTCP_GetSocketPara_Fn>("VKTCP_GetSocketPara");
        else
            comGet_ = library_.symbol<int (*)(int, char*, char*)>("VIZER_GetPortPara");
    }
    std::string get(int port, const char* key) {
        char value[256] = {};
        std::string k = key;
        const int rc =
            kind_ == LinkKind::Tcp ? tcpGet_(port, k.c_str(), value) : comGet_(port, k.data(), value);
        return rc == 0 ? value : "error " + std::to_string(rc);
    }

  private:
    LinkKind kind_;
    LoadedLibrary library_;
    VKTCP_GetSocketPara_Fn tcpGet_ = nullptr;
    int (*comGet_)(int, char*, char*) = nullptr;
};

class TaskTest : public vktesting::TempDirTest {
  protected:
    void open(LinkKind kind) {
        link_ = std::make_unique<SimLink>(kind);
        reader_ = VKKRN_NewReader(link_->handle);
        ASSERT_GT(reader_, 0);
        ports_ = std::make_unique<PortParameters>(kind);
    }
    void TearDown() override {
        VKKRN_DeleteReader(reader_);
        ports_.reset();
        link_.reset();
        vktesting::TempDirTest::TearDown();
    }
    krnsim::Reader& sim() { return link_->sim.reader(); }
    std::vector<krnsim::LogEntry> requests(std::uint8_t command) {
        std::vector<krnsim::LogEntry> out;
        for (const krnsim::LogEntry& e : sim().log().entries())
            if (e.command == command) out.push_back(e);
        return out;
    }
    std::size_t countRequests(std::uint8_t command) { return requests(command).size(); }
    int readerLastError() {
        int code = 0;
        char text[256];
        VKKRN_GetLastError(reader_, &code, text);
        return code;
    }
    // An echo of 0xB2 through the transparent exchange: true when it came back.
    bool echo() {
        const Bytes data{7, 8};
        Bytes frame = krnsim::buildRequest(krnsim::Form::Standard, 1, 0xB2, data);
        unsigned char rx[64];
        return VKKRN_SendTransparent(reader_, frame.data(), static_cast<int>(frame.size()), rx, sizeof rx, 0,
                                     0) > 0;
    }
    void answerEcho() {
        sim().setHandler(0xB2, [](const krnsim::Request& r, krnsim::ConnectionContext&) {
            return krnsim::Reply::frame(0x00, r.data);
        });
    }
    void answerInventory(Bytes data = {0x01, 0xE0, 0x04}) {
        sim().setHandler(0xB0, [data](const krnsim::Request&, krnsim::ConnectionContext&) {
            return krnsim::Reply::frame(0x00, data);
        });
    }

    std::unique_ptr<SimLink> link_;
    std::unique_ptr<PortParameters> ports_;
    int reader_ = 0;
};

// ---- Checks -------------------------------------------------------------------

TEST_F(TaskTest, ExportChecksInOrder) {
    TaskRecorder recorder;
    _VKKRN_TASK_INIT r = recorder.record();
    unsigned char data[2] = {1, 2};
    EXPECT_EQ(VKKRN_StartAsyncTask(5, 1, &r, nullptr), -4001) << "no reader at all";
    EXPECT_EQ(VKKRN_CancelAsyncTask(5), -4001);
    EXPECT_EQ(VKKRN_TriggerAsyncTask(5), -4001);
    reader_ = VKKRN_NewReader(0);
    ASSERT_GT(reader_, 0);
    struct Case {
        int handle;
        bool null;
        int expected;
    };
    const Case cases[] = {
        {-1, true, -4002}, {-1, false, -4022}, {0, false, -4021}, {reader_ + 7, false, -4023}};
    for (const Case& c : cases) {
        _VKKRN_TASK_INIT* record = c.null ? nullptr : &r;
        EXPECT_EQ(VKKRN_StartAsyncTask(c.handle, 1, record, nullptr), c.expected);
        EXPECT_EQ(VKKRN_0xBC_CmdQueue(c.handle, 1, 2, data, 2, record), c.expected);
        EXPECT_EQ(VKKRN_0xC0_SAMCmd(c.handle, 1, data, 2, record), c.expected);
        EXPECT_EQ(VKKRN_0xBC_CmdQueue(c.handle, 1, 2, nullptr, 2, &r), -4002) << "null data first";
        EXPECT_EQ(VKKRN_0xC0_SAMCmd(c.handle, 1, nullptr, 2, &r), -4002);
        if (!c.null) {
            EXPECT_EQ(VKKRN_CancelAsyncTask(c.handle), c.expected);
            EXPECT_EQ(VKKRN_TriggerAsyncTask(c.handle), c.expected);
        }
    }
    int code = 0;
    char text[256];
    EXPECT_EQ(VKKRN_GetLastError(-1, &code, text), -4022);

    struct IdCase {
        int id;
        bool callback;
        int expected;
    };
    const IdCase ids[] = {{0, true, -4050},  {8, true, -4050},  {-1, true, -4050}, {1, false, -4002},
                          {2, false, -4002}, {4, false, -4002}, {3, true, -4081},  {6, true, -4081},
                          {7, true, -4081},  {6, false, -4002}};
    for (const IdCase& c : ids) {
        _VKKRN_TASK_INIT t = recorder.record();
        if (!c.callback) t.callback.form1 = nullptr;
        EXPECT_EQ(VKKRN_StartAsyncTask(reader_, c.id, &t, nullptr), c.expected) << c.id;
        EXPECT_EQ(readerLastError(), c.expected) << c.id;
    }
    EXPECT_EQ(VKKRN_CancelAsyncTask(reader_), -4081);
    EXPECT_EQ(VKKRN_TriggerAsyncTask(reader_), -4081);
    EXPECT_EQ(readerLastError(), -4081);
    EXPECT_EQ(VKKRN_0xC0_SAMCmd(reader_, 1, data, 2, &r), -4004) << "a reader without a port";
    EXPECT_EQ(recorder.count(), 0);
}

TEST_F(TaskTest, TheRecordsTcpPortMustBeFree) {
    open(LinkKind::Tcp);
    TaskRecorder recorder;
    unsigned char data[2] = {1, 2};
    auto refusedWith = [&](unsigned int port) {
        _VKKRN_TASK_INIT r = recorder.record();
        r.uiTcpPort = port;
        return VKKRN_StartAsyncTask(reader_, 0, &r, nullptr); // -4050 once the port passed
    };
    // LISTEN is free.
    auto listener = std::make_unique<vktesting::LoopbackListener>();
    const std::uint16_t port = listener->port();
    EXPECT_EQ(refusedWith(port), -4050);
    EXPECT_EQ(refusedWith(0), -4050);
    EXPECT_EQ(refusedWith(70000), -4050);

    // ESTABLISHED: an accepted connection on the listener's port.
    const int client = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    vktesting::UniqueFd accepted = listener->accept(1s);
    ASSERT_TRUE(accepted);
    EXPECT_EQ(refusedWith(port), -4086);
    _VKKRN_TASK_INIT r = recorder.record();
    r.uiTcpPort = port;
    const std::size_t before = sim().log().size();
    EXPECT_EQ(VKKRN_0xBC_CmdQueue(reader_, 1, 2, data, 2, &r), -4086);
    EXPECT_EQ(VKKRN_0xC0_SAMCmd(reader_, 1, data, 2, &r), -4086);
    EXPECT_EQ(sim().log().size(), before) << "nothing sent";

    // TIME_WAIT: the accepted side closes first.
    listener.reset();
    accepted.reset();
    char byte;
    ASSERT_EQ(::read(client, &byte, 1), 0);
    ::close(client);
    EXPECT_EQ(refusedWith(port), -4086);
    EXPECT_EQ(recorder.count(), 0);
}

// ---- Task 1 -------------------------------------------------------------------

class InventoryOnce : public TaskTest, public ::testing::WithParamInterface<LinkKind> {};

TEST_P(InventoryOnce, OneCallbackWithTheReplyAndThePortTimeoutPutBack) {
    open(GetParam());
    const std::string before = ports_->get(link_->handle, "Timeout");
    for (const unsigned int t : {0u, 5u, 300u}) {
        SCOPED_TRACE(t);
        sim().log().clear();
        sim().queueFault(Fault::delay(150ms).onlyCommand(0xB0));
        answerInventory({0x01, static_cast<std::uint8_t>(t)});
        TaskRecorder recorder;
        _VKKRN_TASK_INIT r = recorder.record(t);
        ASSERT_EQ(VKKRN_StartAsyncTask(reader_, 1, &r, nullptr), 0);
        r.pAny = nullptr; // the caller's record may change at once
        r.callback.form1 = nullptr;
        const std::string waiting = std::to_string(t * 110 + 7000);
        EXPECT_TRUE(
            vktesting::waitUntil([&] { return ports_->get(link_->handle, "Timeout") == waiting; }, 5s));
        ASSERT_TRUE(recorder.waitFor(1));
        const TaskCall call = recorder.last();
        EXPECT_EQ(call.context, &recorder);
        EXPECT_EQ(call.reader, reader_);
        EXPECT_EQ(call.task, 1);
        EXPECT_EQ(call.status, 0);
        EXPECT_EQ(call.command, 0xB0);
        EXPECT_EQ(call.data, (Bytes{0x01, static_cast<std::uint8_t>(t)}));
        EXPECT_EQ(call.length, 2);
        EXPECT_TRUE(vktesting::waitUntil([&] { return VKKRN_CancelAsyncTask(reader_) == -4081; }));
        EXPECT_EQ(VKKRN_TriggerAsyncTask(reader_), -4081);
        EXPECT_EQ(ports_->get(link_->handle, "Timeout"), before);
        const auto sent = requests(0xB0);
        ASSERT_EQ(sent.size(), 1u);
        EXPECT_EQ(sent[0].data, (Bytes{0x01, 0x40, static_cast<std::uint8_t>(t & 0xFF)}));
        EXPECT_EQ(recorder.count(), 1);
    }
}

TEST_P(InventoryOnce, AReaderStatusAndARefusedModeReachTheCallback) {
    open(GetParam());
    sim().setHandler(
        0xB0, [](const krnsim::Request&, krnsim::ConnectionContext&) { return krnsim::Reply::frame(0x01); });
    TaskRecorder recorder;
    _VKKRN_TASK_INIT r = recorder.record();
    ASSERT_EQ(VKKRN_StartAsyncTask(reader_, 1, &r, nullptr), 0);
    ASSERT_TRUE(recorder.waitFor(1));
    EXPECT_EQ(recorder.last().status, 1);
    EXPECT_EQ(recorder.last().length, 0);

    TaskRecorder refused;
    _VKKRN_TASK_INIT m = refused.record();
    m.uiMode = 3;
    EXPECT_EQ(VKKRN_StartAsyncTask(reader_, 1, &m, nullptr), -4081);
    ASSERT_TRUE(refused.waitFor(1));
    EXPECT_EQ(refused.last().status, -4054);
    EXPECT_EQ(refused.last().command, 0xB0);
    EXPECT_EQ(refused.last().length, 0);

    TaskRecorder variant;
    _VKKRN_TASK_INIT v = variant.record();
    v.uiCallbackVariant = 2;
    EXPECT_TRUE(vktesting::waitUntil([&] { return VKKRN_CancelAsyncTask(reader_) == -4081; }));
    EXPECT_EQ(VKKRN_StartAsyncTask(reader_, 1, &v, nullptr), -4081);
    std::this_thread::sleep_for(30ms);
    EXPECT_EQ(variant.count(), 0);
}

INSTANTIATE_TEST_SUITE_P(Links, InventoryOnce, ::testing::Values(LinkKind::Tcp, LinkKind::Pty),
                         [](const auto& info) { return std::string(linkName(info.param)); });

// ---- Task 2 -------------------------------------------------------------------

TEST_F(TaskTest, OneInventoryAtTheStartAndOnePerTrigger) {
    open(LinkKind::Tcp);
    answerInventory();
    TaskRecorder recorder;
    _VKKRN_TASK_INIT r = recorder.record();
    ASSERT_EQ(VKKRN_StartAsyncTask(reader_, 2, &r, nullptr), 0);
    ASSERT_TRUE(recorder.waitFor(1));
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(countRequests(0xB0), 1u) << "none without a trigger";
    for (int k = 2; k <= 4; ++k) {
        ASSERT_EQ(VKKRN_TriggerAsyncTask(reader_), 0);
        ASSERT_TRUE(recorder.waitFor(k));
    }
    // Several triggers during one inventory: one more.
    sim().queueFault(Fault::delay(150ms).onlyCommand(0xB0));
    ASSERT_EQ(VKKRN_TriggerAsyncTask(reader_), 0);
    ASSERT_TRUE(vktesting::waitUntil([&] { return countRequests(0xB0) == 5; }));
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(VKKRN_TriggerAsyncTask(reader_), 0);
    ASSERT_TRUE(recorder.waitFor(6));
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(recorder.count(), 6);
    EXPECT_EQ(countRequests(0xB0), 6u);

    const auto start = Clock::now();
    EXPECT_EQ(VKKRN_CancelAsyncTask(reader_), 0);
    EXPECT_LT(Clock::now() - start, 1s) << "an idle task ends at once";
    EXPECT_EQ(VKKRN_CancelAsyncTask(reader_), -4081);
    EXPECT_EQ(VKKRN_TriggerAsyncTask(reader_), -4081);
}

TEST_F(TaskTest, TriggersFromFourThreads) {
    open(LinkKind::Tcp);
    answerInventory();
    TaskRecorder recorder;
    _VKKRN_TASK_INIT r = recorder.record();
    ASSERT_EQ(VKKRN_StartAsyncTask(reader_, 2, &r, nullptr), 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 20; ++i) {
                EXPECT_EQ(VKKRN_TriggerAsyncTask(reader_), 0);
                std::this_thread::sleep_for(1ms);
            }
        });
    for (auto& t : threads)
        t.join();
    EXPECT_TRUE(recorder.waitFor(2));
    const int cancelled = cancelOutsideTheCallback(reader_);
    EXPECT_TRUE(cancelled == 0 || cancelled == -4081) << cancelled;
    const int calls = recorder.count();
    std::this_thread::sleep_for(30ms);
    EXPECT_EQ(recorder.count(), calls);
    // An inventory under way when the cancel came gets no callback.
    EXPECT_TRUE(vktesting::waitUntil([&] {
        const int requests = static_cast<int>(countRequests(0xB0));
        return requests == calls || requests == calls + 1;
    })) << countRequests(0xB0)
        << " requests, " << calls << " callbacks";
}

// ---- Cancel -------------------------------------------------------------------

TEST_F(TaskTest, CancelWhileTheCallbackRunsIsRefusedAndTheTaskEndsAfterIt) {
    writeFile("vkkrn.ini", "logfile;loglevel=14");
    open(LinkKind::Tcp);
    answerInventory();
    TaskRecorder recorder;
    std::atomic<bool> release{false};
    std::atomic<bool> inside{false};
    recorder.onCall = [&](const TaskCall&) {
        inside = true;
        while (!release.load())
            std::this_thread::sleep_for(1ms);
    };
    _VKKRN_TASK_INIT r = recorder.record();
    ASSERT_EQ(VKKRN_StartAsyncTask(reader_, 2, &r, nullptr), 0);
    ASSERT_TRUE(vktesting::waitUntil([&] { return inside.load(); }));
    EXPECT_EQ(VKKRN_CancelAsyncTask(reader_), -4084);
    EXPECT_EQ(readerLastError(), -4084);
    release = true;
    EXPECT_TRUE(vktesting::waitUntil([&] { return VKKRN_CancelAsyncTask(reader_) == -4081; }));
    EXPECT_EQ(countRequests(0xB0), 1u) << "no further request";
    const std::string log = readFile("vkkrn_log.txt");
    EXPECT_NE(log.find("Cancel of async task failed: VKKRN_ERR_TASK_BUSY"), std::string::npos) << log;
    std::size_t finishes = 0;
    for (std::size_t at = log.find("Finish notification thread"); at != std::string::npos;
         at = log.find("Finish notification thread", at + 1))
        ++finishes;
    EXPECT_EQ(finishes, 1u) << log;

    recorder.onCall = nullptr;
    ASSERT_EQ(VKKRN_StartAsyncTask(reader_, 1, &r, nullptr), 0);
    EXPECT_TRUE(recorder.waitFor(2));
}

TEST_F(TaskTest, CancelOrDeleteFromTheCallbackIsRefused) {
    open(LinkKind::Tcp);
    answerInventory();
    answerEcho();
    TaskRecorder recorder;
    std::atomic<int> cancel{0};
    std::atomic<int> erase{0};
    std::atomic<bool> command{false};
    recorder.onCall = [&](const TaskCall& call) {
        cancel = VKKRN_CancelAsyncTask(call.reader);
        erase = VKKRN_DeleteReader(call.reader);
        command = echo();
    };
    _VKKRN_TASK_INIT r = recorder.record();
    ASSERT_EQ(VKKRN_StartAsyncTask(reader_, 2, &r, nullptr), 0);
    ASSERT_TRUE(recorder.waitFor(1));
    EXPECT_EQ(cancel.load(), -4084);
    EXPECT_EQ(erase.load(), -4084);
    EXPECT_TRUE(command.load()) << "a command from the callback works";
    const int cancelled = cancelOutsideTheCallback(reader_);
    EXPECT_TRUE(cancelled == 0 || cancelled == -4081) << cancelled;
}

TEST_F(TaskTest, TwoCancellersOneWins) {
    open(LinkKind::Tcp);
    answerInventory();
    TaskRecorder recorder;
    _VKKRN_TASK_INIT r = recorder.record();
    for (int round = 0; round < 5; ++round) {
        ASSERT_EQ(VKKRN_StartAsyncTask(reader_, 2, &r, nullptr), 0);
        ASSERT_TRUE(recorder.waitFor(round + 1));
        std::this_thread::sleep_for(20ms); // out of the callback: idle
        std::atomic<int> results[2];
        std::thread a([&] { results[0] = VKKRN_CancelAsyncTask(reader_); });
        std::thread b([&] { results[1] = VKKRN_CancelAsyncTask(reader_); });
        a.join();
        b.join();
        EXPECT_EQ(results[0] + results[1], -4081);
    }
}

TEST_F(TaskTest, CancelInASlowCallbackThenStart) {
    open(LinkKind::Tcp);
    answerInventory();
    TaskRecorder recorder;
    recorder.onCall = [](const TaskCall&) { std::this_thread::sleep_for(50ms); };
    _VKKRN_TASK_INIT r = recorder.record();
    for (int round = 0; round < 3; ++round) {
        ASSERT_EQ(VKKRN_StartAsyncTask(reader_, 2, &r, nullptr), 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(10 + 20 * round));
        const int rc = VKKRN_CancelAsyncTask(reader_);
        EXPECT_TRUE(rc == 0 || rc == -4084) << rc;
        EXPECT_TRUE(vktesting::waitUntil([&] {
            const int again = VKKRN_CancelAsyncTask(reader_);
            return again == -4081 || again == 0;
        }));
    }
}

TEST_F(TaskTest, StopFlagsAndTheLockTest) {
    open(LinkKind::Tcp);
    answerInventory();
    answerEcho();
    EXPECT_EQ(VKKRN_IsLockReady(), 1);
    ASSERT_EQ(VKKRN_SetReaderPara(reader_, "LOGPROT", "1"), 0);
    std::atomic<int> events{0};
    _VKKRN_EVENT_INIT handler{};
    handler.pAny = &events;
    handler.uiUse = 1;
    handler.uiFlag = 6;
    handler.callback.form6 = [](void* any, unsigned char*, int) {
        static_cast<std::atomic<int>*>(any)->fetch_add(1);
    };
    ASSERT_EQ(VKKRN_AddEventHandler(reader_, &handler), 0);
    ASSERT_EQ(VKKRN_SetStopFlag(), 0);
    TaskRecorder recorder;
    _VKKRN_TASK_INIT r = recorder.record();
    ASSERT_EQ(VKKRN_StartAsyncTask(reader_, 2, &r, nullptr), 0);
    ASSERT_TRUE(recorder.waitFor(1));
    EXPECT_EQ(VKKRN_CancelAsyncTask(reader_), 0);
    EXPECT_TRUE(echo());
    EXPECT_EQ(events.load(), 0) << "the application's stop flag survives a cancel";
    ASSERT_EQ(VKKRN_ClearStopFlag(), 0);
    EXPECT_TRUE(echo());
    EXPECT_GT(events.load(), 0);
    EXPECT_EQ(VKKRN_DelEventHandler(reader_, &handler), 0);
}

// ---- 0xBC and 0xC0 ------------------------------------------------------------

class ReplyReader : public TaskTest, public ::testing::WithParamInterface<LinkKind> {};

TEST_P(ReplyReader, ALateReplyComesThroughOneCallback) {
    open(GetParam());
    for (const std::uint8_t cmd : {0xBC, 0xC0}) {
        SCOPED_TRACE(static_cast<int>(cmd));
        sim().setHandler(cmd, [](const krnsim::Request& req, krnsim::ConnectionContext&) {
            return krnsim::Reply::frame(0x00, Bytes(req.data.begin(), req.data.begin() + 2));
        });
        sim().queueFault(Fault::delay(100ms).onlyCommand(cmd));
        TaskRecorder recorder;
        _VKKRN_TASK_INIT r = recorder.record(30);
        unsigned char data[3] = {0xA1, 0xA2, 0xA3};
        const int rc = cmd == 0xBC ? VKKRN_0xBC_CmdQueue(reader_, 0x101, 0x02, data, 3, &r)
                                   : VKKRN_0xC0_SAMCmd(reader_, 2, data, 3, &r);
        ASSERT_EQ(rc, 0);
        ASSERT_TRUE(recorder.waitFor(1));
        const TaskCall call = recorder.last();
        EXPECT_EQ(call.context, &recorder);
        EXPECT_EQ(call.reader, reader_);
        EXPECT_EQ(call.task, cmd == 0xBC ? 5 : 4);
        EXPECT_EQ(call.status, 0);
        EXPECT_EQ(call.command, cmd);
        const Bytes head = cmd == 0xBC ? Bytes{0x01, 0x02} : Bytes{0x02, 0x1E};
        EXPECT_EQ(call.data, head);
        const auto sent = requests(cmd);
        ASSERT_EQ(sent.size(), 1u);
        EXPECT_EQ(sent[0].data, (Bytes{head[0], head[1], 0xA1, 0xA2, 0xA3}));
        EXPECT_TRUE(vktesting::waitUntil([&] { return VKKRN_CancelAsyncTask(reader_) == -4081; }));
        unsigned char last[64];
        EXPECT_EQ(VKKRN_GetLastSendProt(reader_, last, 0), static_cast<int>(sent[0].raw.size()));
    }
}

TEST_P(ReplyReader, SilenceEndsWithATimeoutAfterTheLimit) {
    open(GetParam());
    sim().setHandler(
        0xBC, [](const krnsim::Request&, krnsim::ConnectionContext&) { return krnsim::Reply::nothing(); });
    TaskRecorder recorder;
    _VKKRN_TASK_INIT r = recorder.record(2);
    unsigned char data[1] = {0};
    const auto start = Clock::now();
    ASSERT_EQ(VKKRN_0xBC_CmdQueue(reader_, 1, 2, data, 0, &r), 0);
    ASSERT_TRUE(recorder.waitFor(1));
    EXPECT_GE(Clock::now() - start, 240ms);
    EXPECT_EQ(recorder.last().status, -4082);
    EXPECT_EQ(recorder.last().command, 0xBC);
    EXPECT_EQ(recorder.last().length, 0);
}

TEST_P(ReplyReader, ACommandFromTheCallbackWorks) {
    open(GetParam());
    answerEcho();
    TaskRecorder recorder;
    std::atomic<bool> command{false};
    recorder.onCall = [&](const TaskCall&) { command = echo(); };
    _VKKRN_TASK_INIT r = recorder.record(20);
    unsigned char data[1] = {0};
    ASSERT_EQ(VKKRN_0xBC_CmdQueue(reader_, 1, 2, data, 1, &r), 0);
    ASSERT_TRUE(recorder.waitFor(1));
    EXPECT_TRUE(command.load());
}

INSTANTIATE_TEST_SUITE_P(Links, ReplyReader, ::testing::Values(LinkKind::Tcp, LinkKind::Pty),
                         [](const auto& info) { return std::string(linkName(info.param)); });

TEST_F(TaskTest, RequestsWhoseReplyCannotBeReadSendNothing) {
    open(LinkKind::Tcp);
    answerInventory();
    TaskRecorder recorder;
    unsigned char data[4] = {};
    _VKKRN_TASK_INIT variant = recorder.record();
    variant.uiCallbackVariant = 2;
    EXPECT_EQ(VKKRN_0xBC_CmdQueue(reader_, 1, 2, data, 1, &variant), -4081);
    EXPECT_EQ(VKKRN_0xC0_SAMCmd(reader_, 1, data, 1, &variant), -4081);
    _VKKRN_TASK_INIT none = recorder.record();
    none.callback.form1 = nullptr;
    EXPECT_EQ(VKKRN_0xBC_CmdQueue(reader_, 1, 2, data, 1, &none), -4002);
    _VKKRN_TASK_INIT r = recorder.record();
    EXPECT_EQ(VKKRN_0xBC_CmdQueue(reader_, 1, 2, data, -1, &r), -4051);
    EXPECT_EQ(VKKRN_0xBC_CmdQueue(reader_, 1, 2, data, 65527, &r), -4051);
    EXPECT_EQ(readerLastError(), -4051);

    // A task that does not end: -4080 after three waits, nothing sent.
    ASSERT_EQ(VKKRN_StartAsyncTask(reader_, 2, &r, nullptr), 0);
    ASSERT_TRUE(recorder.waitFor(1));
    const auto start = Clock::now();
    EXPECT_EQ(VKKRN_0xBC_CmdQueue(reader_, 1, 2, data, 1, &r), -4080);
    EXPECT_GE(Clock::now() - start, 300ms);
    EXPECT_EQ(VKKRN_StartAsyncTask(reader_, 1, &r, nullptr), -4080);
    EXPECT_EQ(countRequests(0xBC), 0u);
    EXPECT_EQ(VKKRN_CancelAsyncTask(reader_), 0);

    // A port that is gone: its code, no task.
    ASSERT_EQ(link_->disconnect(), 0);
    const int rc = VKKRN_0xBC_CmdQueue(reader_, 1, 2, data, 1, &r);
    EXPECT_LT(rc, -1199);
    EXPECT_GT(rc, -1300);
    EXPECT_EQ(VKKRN_CancelAsyncTask(reader_), -4081);
}

TEST_F(TaskTest, ADisconnectionDuringTheWaitsEndsTheTask) {
    for (const bool inventory : {true, false}) {
        SCOPED_TRACE(inventory);
        open(LinkKind::Tcp);
        sim().setHandler(0xBC, [](const krnsim::Request&, krnsim::ConnectionContext&) {
            return krnsim::Reply::nothing();
        });
        sim().queueFault(Fault::delay(2000ms).onlyCommand(0xB0));
        answerInventory();
        TaskRecorder recorder;
        _VKKRN_TASK_INIT r = recorder.record(50);
        unsigned char data[1] = {0};
        if (inventory)
            ASSERT_EQ(VKKRN_StartAsyncTask(reader_, 1, &r, nullptr), 0);
        else
            ASSERT_EQ(VKKRN_0xBC_CmdQueue(reader_, 1, 2, data, 1, &r), 0);
        ASSERT_TRUE(vktesting::waitUntil([&] { return countRequests(inventory ? 0xB0 : 0xBC) == 1; }));
        std::this_thread::sleep_for(20ms);
        ASSERT_EQ(link_->disconnect(), 0);
        ASSERT_TRUE(recorder.waitFor(1));
        EXPECT_LT(recorder.last().status, 0);
        EXPECT_EQ(recorder.last().length, 0);
        EXPECT_TRUE(vktesting::waitUntil([&] { return VKKRN_CancelAsyncTask(reader_) == -4081; }));
        VKKRN_DeleteReader(reader_);
        reader_ = 0;
    }
}

// ---- Lifetime -----------------------------------------------------------------

TEST_F(TaskTest, DeletionJoinsTheWorkerInEachState) {
    open(LinkKind::Tcp);
    answerInventory();
    enum class State { Idle, Polling, Waiting, InCallback };
    for (const State state : {State::Idle, State::Polling, State::Waiting, State::InCallback}) {
        SCOPED_TRACE(static_cast<int>(state));
        if (reader_ == 0) reader_ = VKKRN_NewReader(link_->handle);
        ASSERT_GT(reader_, 0);
        TaskRecorder recorder;
        std::atomic<bool> inside{false};
        if (state == State::InCallback)
            recorder.onCall = [&](const TaskCall&) {
                inside = true;
                std::this_thread::sleep_for(100ms);
            };
        _VKKRN_TASK_INIT r = recorder.record(30);
        unsigned char data[1] = {0};
        switch (state) {
        case State::Idle:
            ASSERT_EQ(VKKRN_StartAsyncTask(reader_, 2, &r, nullptr), 0);
            ASSERT_TRUE(recorder.waitFor(1));
            break;
        case State::Polling:
            sim().setHandler(0xBC, [](const krnsim::Request&, krnsim::ConnectionContext&) {
                return krnsim::Reply::nothing();
            });
            ASSERT_EQ(VKKRN_0xBC_CmdQueue(reader_, 1, 2, data, 1, &r), 0);
            std::this_thread::sleep_for(30ms);
            break;
        case State::Waiting:
            sim().queueFault(Fault::delay(200ms).onlyCommand(0xB0));
            ASSERT_EQ(VKKRN_StartAsyncTask(reader_, 1, &r, nullptr), 0);
            ASSERT_TRUE(vktesting::waitUntil([&] { return countRequests(0xB0) > 0; }));
            break;
        case State::InCallback:
            ASSERT_EQ(VKKRN_StartAsyncTask(reader_, 2, &r, nullptr), 0);
            ASSERT_TRUE(vktesting::waitUntil([&] { return inside.load(); }));
            break;
        }
        const int before = recorder.count();
        EXPECT_EQ(VKKRN_DeleteReader(reader_), 0);
        reader_ = 0;
        const int after = recorder.count();
        if (state == State::InCallback) {
            EXPECT_EQ(after, 1) << "the running callback was waited out";
        }
        std::this_thread::sleep_for(250ms);
        EXPECT_EQ(recorder.count(), after) << "no callback after the deletion";
        EXPECT_LE(after - before, state == State::InCallback ? 1 : 0);
        sim().log().clear();
    }
}

TEST_F(TaskTest, ThreeReadersTasksAtOnce) {
    open(LinkKind::Tcp);
    answerInventory();
    int readers[3] = {reader_, VKKRN_NewReader(link_->handle), VKKRN_NewReader(link_->handle)};
    TaskRecorder recorders[3];
    for (int i = 0; i < 3; ++i) {
        _VKKRN_TASK_INIT r = recorders[i].record();
        ASSERT_EQ(VKKRN_StartAsyncTask(readers[i], 2, &r, nullptr), 0);
    }
    for (int round = 0; round < 3; ++round)
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(VKKRN_TriggerAsyncTask(readers[i]), 0);
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(recorders[i].waitFor(2));
        // A third trigger's callback may still be on its way out.
        EXPECT_EQ(cancelOutsideTheCallback(readers[i]), 0);
        for (const TaskCall& c : recorders[i].calls())
            EXPECT_EQ(c.reader, readers[i]);
    }
    VKKRN_DeleteReader(readers[1]);
    VKKRN_DeleteReader(readers[2]);
}

TEST_F(TaskTest, AProgramExitsWithWorkersRunning) {
    open(LinkKind::Tcp);
    answerInventory();
    const std::string port = std::to_string(link_->tcpPort());
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::execl(VKKRN_TASK_EXIT_CHILD, VKKRN_TASK_EXIT_CHILD, port.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(countRequests(0xB0), 1u);
}

// ---- Time ---------------------------------------------------------------------

TEST(TaskTime, DateTimeAndTimestamp) {
    char text[40];
    std::memset(text, 'x', sizeof text);
    ASSERT_EQ(VKGetDateTime(text), text);
    EXPECT_TRUE(std::regex_match(text, std::regex(R"(\d\d/\d\d/\d\d \d\d:\d\d:\d\d\.\d\d\d)"))) << text;
    EXPECT_EQ(text[36], 'x');
    EXPECT_EQ(VKGetDateTime(nullptr), nullptr);
    const unsigned long long now = VKGetUTCTimestamp();
    const unsigned long long seconds = static_cast<unsigned long long>(std::time(nullptr));
    EXPECT_LE(now / 1000000ULL, seconds + 1);
    EXPECT_GE(now / 1000000ULL + 1, seconds);
}

} // namespace

// Task threads on a plug-in reader whose receive results are scripted one by one
// (time-outs, errors, empty receives, frames), the authenticated channel with the
// fake cipher, thread starts that fail, and the kernel-table port test.
#include "fake_cipher.h"
#include "sim_plugin_reader.h"
#include "task_recorder.h"
#include "tasks/tcp_port_test.h"
#include "tasks/worker_start.h"

#include <krnsim/frame.h>

#include <cstdio>
#include <memory>
#include <string>

namespace {

using krnsim::Bytes;
using vkkrn::testing::FakeCipher;
using namespace std::chrono_literals;

Bytes replyFrame(std::uint8_t cmd, std::uint8_t status, const Bytes& data) {
    return krnsim::buildReply(krnsim::Form::Standard, 1, cmd, status, data);
}

class Tasks : public SimPlugInReaderTest {
  protected:
    // The frames sent, once the task has ended.
    std::vector<Bytes> sent() {
        auto lock = reader_->Lock();
        return plugIn_->sent;
    }
    void waitForEnd() {
        EXPECT_TRUE(vktesting::waitUntil([&] { return reader_->RemoveThreadAsyncTask() == -4081; }));
    }
};

TEST_F(Tasks, TimeoutsAndEmptyReceivesArePolledOn) {
    const Bytes reply = replyFrame(0xB0, 0x00, {0x01, 0x02, 0x03});
    script_.receives = {{0, {}}, {-1230, {}}, {-1030, {}}, {-1130, {}}, {0, {}}, {0, reply}};
    for (const int task : {1, 5}) {
        SCOPED_TRACE(task);
        TaskRecorder recorder;
        _VKKRN_TASK_INIT r = recorder.record(50);
        if (task == 5) script_.receives = {{0, {}}, {-1230, {}}, {0, replyFrame(0xBC, 0x03, {0x09})}};
        ASSERT_EQ(reader_->StartThreadAsyncTask(task, &r, nullptr), 0);
        ASSERT_TRUE(recorder.waitFor(1));
        waitForEnd();
        EXPECT_EQ(recorder.count(), 1);
        const TaskCall call = recorder.last();
        EXPECT_EQ(call.task, task);
        if (task == 1) {
            EXPECT_EQ(call.status, 0);
            EXPECT_EQ(call.command, 0xB0);
            EXPECT_EQ(call.data, (Bytes{0x01, 0x02, 0x03}));
        } else {
            EXPECT_EQ(call.status, 3);
            EXPECT_EQ(call.command, 0xBC);
            EXPECT_EQ(call.data, (Bytes{0x09}));
        }
    }
}

TEST_F(Tasks, AReceiveErrorEndsTheTaskWithLengthZero) {
    for (const int task : {1, 4}) {
        SCOPED_TRACE(task);
        TaskRecorder recorder;
        _VKKRN_TASK_INIT r = recorder.record(50);
        script_.receives = {{0, {}}, {-1231, {}}};
        ASSERT_EQ(reader_->StartThreadAsyncTask(task, &r, nullptr), 0);
        ASSERT_TRUE(recorder.waitFor(1));
        waitForEnd();
        EXPECT_EQ(recorder.last().status, -1231);
        EXPECT_EQ(recorder.last().length, 0);
        EXPECT_EQ(recorder.last().command, task == 1 ? 0xB0 : 0xC0);
    }
}

TEST_F(Tasks, BrokenRepliesReachTheCallback) {
    Bytes badCrc = replyFrame(0xB0, 0x00, {0x01});
    badCrc.back() ^= 0xFF;
    struct Case {
        Bytes frame;
        int status;
    };
    const Case cases[] = {{badCrc, -4031}, {{0x03, 0x01, 0xB0}, -4030}, {Bytes(300, 0x41), -4030}};
    for (const Case& c : cases) {
        TaskRecorder recorder;
        _VKKRN_TASK_INIT r = recorder.record(50);
        script_.receives = {{0, c.frame}};
        ASSERT_EQ(reader_->StartThreadAsyncTask(1, &r, nullptr), 0);
        ASSERT_TRUE(recorder.waitFor(1));
        waitForEnd();
        EXPECT_EQ(recorder.last().status, c.status);
        EXPECT_EQ(recorder.last().length, 0);
    }
}

TEST_F(Tasks, AReplyReaderWithoutAReplyGivesATimeoutAfterItsLimit) {
    TaskRecorder recorder;
    _VKKRN_TASK_INIT r = recorder.record(0);
    ASSERT_EQ(reader_->StartThreadAsyncTask(5, &r, nullptr), 0);
    ASSERT_TRUE(recorder.waitFor(1));
    EXPECT_EQ(recorder.last().status, -4082);
    waitForEnd();
}

TEST_F(Tasks, TaskChecksBeforeTheThreadRuns) {
    TaskRecorder recorder;
    _VKKRN_TASK_INIT variant = recorder.record();
    variant.uiCallbackVariant = 2;
    EXPECT_EQ(reader_->StartThreadAsyncTask(1, &variant, nullptr), -4081);
    EXPECT_EQ(reader_->StartThreadAsyncTask(5, &variant, nullptr), -4081);
    waitForEnd();
    EXPECT_EQ(recorder.count(), 0);

    // A reader without a port: the inventory reports -4004.
    auto portless = newReader(0);
    ASSERT_NE(portless, nullptr);
    _VKKRN_TASK_INIT r = recorder.record();
    EXPECT_EQ(portless->StartThreadAsyncTask(1, &r, nullptr), -4081);
    ASSERT_TRUE(recorder.waitFor(1));
    EXPECT_EQ(recorder.last().status, -4004);
    EXPECT_EQ(recorder.last().length, 0);

    // A key of another length leaves the cipher off; the task still starts.
    _VKKRN_TASK_INIT keyed = recorder.record();
    keyed.ucCipher = 1;
    keyed.uiKeyLength = 20;
    script_.receives = {{0, replyFrame(0xB0, 0, {})}};
    EXPECT_EQ(reader_->StartThreadAsyncTask(1, &keyed, nullptr), 0);
    ASSERT_TRUE(recorder.waitFor(2));
    waitForEnd();
}

TEST_F(Tasks, NoThreadMeansNoTask) {
    vkkrn::failWorkerStarts(true);
    TaskRecorder recorder;
    _VKKRN_TASK_INIT r = recorder.record();
    EXPECT_EQ(reader_->StartThreadAsyncTask(1, &r, nullptr), -4081);
    EXPECT_EQ(reader_->GetLastError(), -4081);
    EXPECT_EQ(reader_->RemoveThreadAsyncTask(), -4081);
    unsigned char data[1] = {0};
    EXPECT_EQ(reader_->Exe_0xBC_CmdQueue(1, 2, data, 1, &r), -4081);
    EXPECT_EQ(reader_->StartThreadScanMode(), -4081);
    vkkrn::failWorkerStarts(false);
    EXPECT_EQ(recorder.count(), 0);
}

TEST_F(Tasks, ADeletedReaderStartsNoThread) {
    std::shared_ptr<VKKRNReader> held = reader_;
    ASSERT_EQ(g_LibVkKrnDrvHnd.DeleteReader(handle_), 0);
    TaskRecorder recorder;
    _VKKRN_TASK_INIT r = recorder.record();
    EXPECT_EQ(held->StartThreadAsyncTask(1, &r, nullptr), -4081);
    EXPECT_EQ(held->StartThreadScanMode(), -4081);
    reader_.reset();
}

class SecuredTasks : public Tasks {
  protected:
    void SetUp() override {
        Tasks::SetUp();
        script_.transmitToSim = true;
        reader_->Cipher().store(cipher_);
        sim_.startSecuredChannel();
    }
    std::shared_ptr<FakeCipher> cipher_ = std::make_shared<FakeCipher>();
};

TEST_F(SecuredTasks, RequestsGoWrappedAndRepliesComePlain) {
    sim_.setHandler(0xB0, [](const krnsim::Request&, krnsim::ConnectionContext&) {
        return krnsim::Reply::frame(0x00, {0x01, 0xAB});
    });
    sim_.setHandler(0xBC, [](const krnsim::Request& req, krnsim::ConnectionContext&) {
        return krnsim::Reply::frame(0x00, req.data);
    });
    TaskRecorder recorder;
    _VKKRN_TASK_INIT r = recorder.record(20);
    script_.receives = {{0, {}}, {-1230, {}}}; // empty polls before the reply
    ASSERT_EQ(reader_->StartThreadAsyncTask(1, &r, nullptr), 0);
    ASSERT_TRUE(recorder.waitFor(1));
    waitForEnd();
    EXPECT_EQ(recorder.last().status, 0);
    EXPECT_EQ(recorder.last().data, (Bytes{0x01, 0xAB}));

    unsigned char data[2] = {0x55, 0x66};
    ASSERT_EQ(reader_->Exe_0xBC_CmdQueue(7, 8, data, 2, &r), 0);
    ASSERT_TRUE(recorder.waitFor(2));
    waitForEnd();
    EXPECT_EQ(recorder.last().status, 0);
    EXPECT_EQ(recorder.last().command, 0xBC);
    EXPECT_EQ(recorder.last().data, (Bytes{7, 8, 0x55, 0x66}));
    const std::vector<Bytes> frames = sent();
    ASSERT_EQ(frames.size(), 2u);
    for (const Bytes& frame : frames)
        EXPECT_EQ(frame[2], 0xAF) << "wrapped";
    EXPECT_TRUE(reader_->Cipher().holds());
}

TEST_F(SecuredTasks, AnOuterFrameOfAnotherCommandOrStatus) {
    TaskRecorder recorder;
    _VKKRN_TASK_INIT r = recorder.record(20);
    script_.transmitToSim = false;
    script_.receives = {{0, replyFrame(0xB0, 0x00, {0x01})}};
    ASSERT_EQ(reader_->StartThreadAsyncTask(1, &r, nullptr), 0);
    ASSERT_TRUE(recorder.waitFor(1));
    waitForEnd();
    EXPECT_EQ(recorder.last().status, -4035);

    script_.transmitToSim = true;
    sim_.queueSecuredStatus(0x82);
    ASSERT_EQ(reader_->StartThreadAsyncTask(1, &r, nullptr), 0);
    ASSERT_TRUE(recorder.waitFor(2));
    waitForEnd();
    EXPECT_EQ(recorder.last().status, 0x82);
    EXPECT_EQ(recorder.last().length, 0);
    EXPECT_FALSE(reader_->Cipher().holds()) << "the channel ended";
    sim_.setHandler(0xB0, [](const krnsim::Request&, krnsim::ConnectionContext&) {
        return krnsim::Reply::frame(0x00, {0x01});
    });
    ASSERT_EQ(reader_->StartThreadAsyncTask(1, &r, nullptr), 0);
    ASSERT_TRUE(recorder.waitFor(3));
    waitForEnd();
    EXPECT_EQ(recorder.last().status, 0);
    EXPECT_EQ(sent().back()[2], 0xB0) << "plain again";
}

// ---- The kernel table ---------------------------------------------------------

int inTable(const std::string& lines, unsigned int port) {
    const std::string text =
        "  sl  local_address rem_address   st tx_queue rx_queue tr tm->when retrnsmt   uid  "
        "timeout inode\n" +
        lines;
    std::FILE* table = ::fmemopen(const_cast<char*>(text.data()), text.size(), "r");
    const int inUse = vkkrn::tcpPortInUse(table, port);
    std::fclose(table);
    return inUse;
}

std::string line(unsigned int localPort, unsigned int state) {
    char text[200];
    std::snprintf(
        text, sizeof text,
        "   0: 0100007F:%04X 0100007F:9C40 %02X 00000000:00000000 00:00000000 00000000  1000        0 "
        "12345 1 0000000000000000 20 4 30 10 -1\n",
        localPort, state);
    return text;
}

TEST(TcpPortTable, StatesUpToClosedCount) {
    for (unsigned state = 1; state <= 11; ++state)
        EXPECT_EQ(inTable(line(0x1F90, state), 0x1F90), state <= 7 ? 1 : 0) << state;
    EXPECT_EQ(inTable(line(0x1F91, 1), 0x1F90), 0) << "another port";
    EXPECT_EQ(inTable(line(0x1F90, 1), 0), 0) << "port 0 is free";
    EXPECT_EQ(inTable("   0: 0100007F:1F90 0100007F:9C40 01 00000000:00000000\n", 0x1F90), 0) << "short";
    EXPECT_EQ(inTable(std::string(9000, '7') + "\n" + line(0x1F92, 1), 0x1F90), 0) << "overlong";
    EXPECT_EQ(inTable(std::string(9000, '7') + "\n" + line(0x1F90, 1), 0x1F90), 1)
        << "after an overlong line";
    EXPECT_EQ(
        inTable(
            "   0: 0100007F0100007F0:1F90 0100007F:9C40 01 00000000:00000000 00:00000000 00000000 1 0 1\n",
            0x1F90),
        0)
        << "a wide address";
}

} // namespace

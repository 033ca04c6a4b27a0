// The reply reader on USB readers, against the stand-in libvkusb that records
// its transfers and parameter settings: the port time-out of T x 100 ms, the
// pipe reset after a time-out and a cancel, and the first generation refused.
#include "internal_fixture.h"
#include "loaded_library.h"
#include "task_recorder.h"

#include <krnsim/frame.h>

#include <string>

namespace {

using krnsim::Bytes;
constexpr int kUsbPort = 0x10000001;

class UsbTasks : public InternalTest {
  protected:
    void SetUp() override {
        InternalTest::SetUp();
        setName_ = usb_.symbol<void (*)(const char*)>("FAKE_UsbSetName");
        queue_ = usb_.symbol<void (*)(int, const std::uint8_t*, int)>("FAKE_UsbQueueReply");
        usb_.symbol<void (*)()>("FAKE_UsbReset")();
        settings_ = usb_.symbol<int (*)(char*, int)>("FAKE_UsbSettings");
        count_ = usb_.symbol<int (*)()>("FAKE_UsbTransferCount");
    }
    void start(const char* deviceName) {
        setName_(deviceName);
        reader_ = newReader(kUsbPort, &handle_);
        ASSERT_NE(reader_, nullptr);
    }
    std::string settings() {
        char text[4096] = {};
        settings_(text, sizeof text);
        return text;
    }
    void queue(const Bytes& frame) {
        queue_(static_cast<int>(frame.size()), frame.data(), static_cast<int>(frame.size()));
    }

    LoadedLibrary usb_{"libvkusb.so"};
    void (*setName_)(const char*) = nullptr;
    void (*queue_)(int, const std::uint8_t*, int) = nullptr;
    int (*settings_)(char*, int) = nullptr;
    int (*count_)() = nullptr;
    std::shared_ptr<VKKRNReader> reader_;
    int handle_ = 0;
};

TEST_F(UsbTasks, TheReplyReaderSetsTheTimeoutAndResetsThePipe) {
    start("ID KRN.NEW-U");
    TaskRecorder recorder;
    _VKKRN_TASK_INIT r = recorder.record(1);
    unsigned char data[1] = {0x42};
    ASSERT_EQ(reader_->Exe_0xBC_CmdQueue(1, 2, data, 1, &r), 0);
    ASSERT_TRUE(recorder.waitFor(1));
    EXPECT_EQ(recorder.last().status, -4082);
    EXPECT_TRUE(vktesting::waitUntil([&] { return reader_->RemoveThreadAsyncTask() == -4081; }));
    const std::string log = settings();
    EXPECT_NE(log.find("Timeout=100\n"), std::string::npos) << log;
    EXPECT_NE(log.find("Timeout=3000\n"), std::string::npos) << "put back: " << log;
    EXPECT_NE(log.find("ResetPipe=\n"), std::string::npos) << log;

    // A late reply after an empty poll.
    queue_(0, nullptr, 0);
    queue(krnsim::buildReply(krnsim::Form::Standard, 1, 0xC0, 0x00, Bytes{0x0A}));
    ASSERT_EQ(reader_->Exe_0xC0_SAMCmd(1, data, 1, &r), 0);
    ASSERT_TRUE(recorder.waitFor(2));
    EXPECT_EQ(recorder.last().status, 0);
    EXPECT_EQ(recorder.last().data, Bytes{0x0A});

    // A cancel resets the pipe.
    usb_.symbol<void (*)()>("FAKE_UsbReset")();
    _VKKRN_TASK_INIT slow = recorder.record(200);
    ASSERT_EQ(reader_->Exe_0xBC_CmdQueue(1, 2, data, 1, &slow), 0);
    EXPECT_EQ(reader_->RemoveThreadAsyncTask(), 0);
    EXPECT_NE(settings().find("ResetPipe=\n"), std::string::npos) << settings();
    EXPECT_EQ(recorder.count(), 2);
}

TEST_F(UsbTasks, TheFirstGenerationIsRefused) {
    start("ID KRN.GWT473-U");
    TaskRecorder recorder;
    _VKKRN_TASK_INIT r = recorder.record(1);
    unsigned char data[1] = {0x42};
    EXPECT_EQ(reader_->Exe_0xBC_CmdQueue(1, 2, data, 1, &r), -4006);
    EXPECT_EQ(reader_->Exe_0xC0_SAMCmd(1, data, 1, &r), -4006);
    EXPECT_EQ(reader_->GetLastError(), -4006);
    EXPECT_EQ(count_(), 0) << "nothing sent";
}

} // namespace

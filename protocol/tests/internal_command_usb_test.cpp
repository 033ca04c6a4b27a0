// Reader commands on USB readers through a stand-in libvkusb: the
// first-generation refusal and request records, the second generation's frames.
#include "fake_usb_transfer.h"
#include "internal_fixture.h"

#include <krnsim/frame.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr int kUsbPort = 0x10000001;

class CommandUsb : public InternalTest {
  protected:
    void start(const char* deviceName) {
        usb_.setName(deviceName);
        reader_ = newReader(kUsbPort, &handle_);
        ASSERT_NE(reader_, nullptr);
        reader_->SetNotificationObserver([this](int event, const unsigned char*, int, int value) {
            if (event == 101) errorLines_.push_back(value);
        });
        ASSERT_EQ(reader_->SetReaderPara("LOGPROT", "1"), 0);
    }

    FakeUsbTransfer usb_;
    std::shared_ptr<VKKRNReader> reader_;
    int handle_ = 0;
    std::vector<int> errorLines_;
};

TEST_F(CommandUsb, FirstGenerationRefusesWithoutTransfer) {
    start(FakeUsbTransfer::kFirstGeneration);
    EXPECT_EQ(VKKRN_0x1A_Halt(handle_, 1), -4006);
    EXPECT_EQ(usb_.count(), 0);
    EXPECT_EQ(reader_->GetLastError(), -4006);
    EXPECT_EQ(errorLines_, std::vector<int>{-4006});
    EXPECT_EQ(libraryLastError(), 0);
}

TEST_F(CommandUsb, FirstGenerationRecordHead) {
    start(FakeUsbTransfer::kFirstGeneration);
    usb_.queue(5, {0x05, 0x65, 0x00, 0x07, 0x08});
    unsigned char out[16];
    EXPECT_EQ(VKKRN_0x65_SoftVersion(handle_, 1, out, 1), 0);
    const auto t = usb_.transfers();
    ASSERT_EQ(t.size(), 1u);
    EXPECT_EQ(t[0].interfaceName, "NUBO-RCI");
    EXPECT_EQ(t[0].bytes, (Bytes{0x65, 0, 0, 0, 0, 0x00, 0x0A}));
    EXPECT_STREQ(reinterpret_cast<char*>(out), "0708");
}

TEST_F(CommandUsb, SecondGenerationSendsFrames) {
    start(FakeUsbTransfer::kSecondGeneration);
    const Bytes reply = krnsim::buildReply(krnsim::Form::Standard, 1, 0x1A, 0x00, {});
    usb_.queue(static_cast<int>(reply.size()), reply);
    EXPECT_EQ(VKKRN_0x1A_Halt(handle_, 1), 0);
    const auto t = usb_.transfers();
    ASSERT_EQ(t.size(), 1u);
    EXPECT_EQ(t[0].interfaceName, "NUBO-RCI2");
    EXPECT_EQ(t[0].bytes, krnsim::buildRequest(krnsim::Form::Standard, 1, 0x1A, {}));
}

TEST_F(CommandUsb, RefusalUnderTheLockWaitsForARunningCommand) {
    start(FakeUsbTransfer::kFirstGeneration);
    usb_.holdNext();
    usb_.queue(5, {0x05, 0x65, 0x00, 0x07, 0x08});
    std::thread running([this] {
        unsigned char out[16];
        EXPECT_EQ(VKKRN_0x65_SoftVersion(handle_, 1, out, 0), 0);
    });
    ASSERT_TRUE(usb_.waitHeld());
    std::atomic<int> halted{1};
    std::thread refused([&] { halted = VKKRN_0x1A_Halt(handle_, 1); });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(halted.load(), 1) << "0x1A waits for the lock";
    usb_.release();
    running.join();
    refused.join();
    EXPECT_EQ(halted.load(), -4006);
}

} // namespace

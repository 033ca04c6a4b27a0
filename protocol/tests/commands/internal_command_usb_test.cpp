// Reader commands on USB readers through a stand-in libvkusb: the
// first-generation refusal and request records, the second generation's frames.
#include "command_table.h"
#include "usb_reader.h"

#include <krnsim/frame.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

class CommandUsb : public UsbReaderTest {
  protected:
    void start(const char* deviceName) {
        UsbReaderTest::start(deviceName);
        ASSERT_EQ(reader_->SetReaderPara("LOGPROT", "1"), 0);
    }
};

TEST_F(CommandUsb, FirstGenerationRefusesWithoutTransfer) {
    start(FakeUsbTransfer::kFirstGeneration);
    EXPECT_EQ(VKKRN_0x1A_Halt(handle_, 1), -4006);
    EXPECT_EQ(usb_.count(), 0);
    EXPECT_EQ(reader_->GetLastError(), -4006);
    EXPECT_EQ(values(101), std::vector<int>{-4006});
    EXPECT_EQ(libraryLastError(), 0);
}

TEST_F(CommandUsb, FirstGenerationRefusesTheAuthentication) {
    start(FakeUsbTransfer::kFirstGeneration);
    unsigned char key[16] = {};
    EXPECT_EQ(VKKRN_0xAE_ReaderAuthent(handle_, 1, 0, 0, 16, key, 0), -4006);
    EXPECT_EQ(usb_.count(), 0);
    EXPECT_EQ(reader_->GetLastError(), -4006);
    EXPECT_EQ(values(101), std::vector<int>{-4006});
}

TEST_F(CommandUsb, FirstGenerationRefusesWhatItDoesNotTake) {
    start(FakeUsbTransfer::kFirstGeneration);
    const std::vector<std::string> taken = {"0x1B", "0x1C", "0x52", "0x55", "0x55 Ex", "0x63", "0x65", "0x69",
                                            "0x6A", "0x71", "0x74", "0x80", "0x81",    "0x82", "0x83"};
    for (const vkkrn_test::ExportRow& e : vkkrn_test::exportRows()) {
        if (std::find(taken.begin(), taken.end(), e.name) != taken.end()) continue;
        SCOPED_TRACE(e.name);
        events_.clear();
        EXPECT_EQ(e.call(handle_, false), -4006);
        EXPECT_EQ(values(101), std::vector<int>{-4006});
    }
    EXPECT_EQ(usb_.count(), 0);
    // 0x6E clears its buffer only once the reader was asked; 0x76 presets first.
    unsigned char buffer[4] = {0x5A, 0xEE};
    int n = 7;
    EXPECT_EQ(VKKRN_0x6E_RdDiag(handle_, 1, 0x21, buffer), -4006);
    EXPECT_EQ(buffer[0], 0x5A);
    EXPECT_EQ(VKKRN_0x76_CheckAntennas(handle_, 1, 0, buffer, &n), -4006);
    EXPECT_EQ(buffer[0], 0);
    EXPECT_EQ(n, 0);
    EXPECT_EQ(VKKRN_0x18_Destroy(handle_, 1, 2, buffer, buffer), -4006) << "before the mode test";
    EXPECT_EQ(VKKRN_0x71_SetOutput(handle_, 1, -1, 0, 0, 0), -4051) << "0x71 tests its values first";
    EXPECT_EQ(VKKRN_0x72_SetOutput(handle_, 1, 0, 0, nullptr), -4051) << "0x72 too";
}

TEST_F(CommandUsb, FirstGenerationRecords) {
    start(FakeUsbTransfer::kFirstGeneration);
    unsigned char out[64];
    Bytes block = vkkrn_test::iota(14, 0x40);
    std::string hexBlock = "404142434445464748494A4B4C4D";
    struct Case {
        const char* name;
        std::function<int()> call;
        Bytes head;
        Bytes payload;
    };
    const Case cases[] = {
        {"0x1B", [&] { return VKKRN_0x1B_ResetQuietBit(handle_, 1); }, {0x1B, 0, 0, 0, 0, 0, 3}, {}},
        {"0x1C", [&] { return VKKRN_0x1C_EASRequest(handle_, 1); }, {0x1C, 0, 0, 0, 0, 0, 3}, {}},
        {"0x52 without data", [&] { return VKKRN_0x52_GetBaud(handle_, 1); }, {0x52, 0, 0, 0, 0, 0, 3}, {}},
        {"0x55", [&] { return VKKRN_0x55_StartFlashLoader(handle_); }, {0x55, 0, 0, 0, 0, 0, 3}, {}},
        {"0x55 Ex", [&] { return VKKRN_0x55_StartFlashLoaderEx(handle_, 1); }, {0x55, 0, 0, 0, 0, 0, 3}, {}},
        {"0x63", [&] { return VKKRN_0x63_CPUReset(handle_, 1); }, {0x63, 0, 0, 0, 0, 0, 3}, {}},
        {"0x65", [&] { return VKKRN_0x65_SoftVersion(handle_, 1, out, 0); }, {0x65, 0, 0, 0, 0, 0, 10}, {}},
        {"0x69", [&] { return VKKRN_0x69_RFReset(handle_, 1); }, {0x69, 0, 0, 0, 0, 0, 3}, {}},
        {"0x6A in the head",
         [&] { return VKKRN_0x6A_RFOnOff(handle_, 1, 0x101); },
         {0x6A, 0, 0, 1, 0, 0, 3},
         {}},
        {"0x71 payload",
         [&] { return VKKRN_0x71_SetOutput(handle_, 1, 1, 2, 0x304, 0xFFFF); },
         {0x71, 0, 0, 0, 0, 0, 8},
         {0, 1, 0, 2, 3, 4, 0xFF, 0xFF}},
        {"0x74", [&] { return VKKRN_0x74_ReadInput(handle_, 1, out); }, {0x74, 0, 0, 0, 0, 0, 4}, {}},
        {"0x80",
         [&] { return VKKRN_0x80_ReadConfBlock(handle_, 1, 9, out, 0); },
         {0x80, 0, 0, 9, 0, 0, 17},
         {}},
        {"0x81 payload without the address",
         [&] { return VKKRN_0x81_WriteConfBlock(handle_, 1, 9, block.data(), 0); },
         {0x81, 0, 0, 9, 0, 0, 14},
         block},
        {"0x81 hex",
         [&] { return VKKRN_0x81_WriteConfBlock(handle_, 1, 9, vkkrn_test::bytesOf(hexBlock), 1); },
         {0x81, 0, 0, 9, 0, 0, 14},
         block},
        {"0x82", [&] { return VKKRN_0x82_SaveConfBlock(handle_, 1, 9); }, {0x82, 0, 0, 9, 0, 0, 3}, {}},
        {"0x83", [&] { return VKKRN_0x83_ResetConfBlock(handle_, 1, 9); }, {0x83, 0, 0, 9, 0, 0, 3}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        usb_.reset();
        if (!c.payload.empty()) usb_.queue(0);
        usb_.queue(3, {0x03, c.head[0], 0x00});
        EXPECT_EQ(c.call(), 0);
        const auto t = usb_.transfers();
        ASSERT_EQ(t.size(), c.payload.empty() ? 1u : 2u);
        EXPECT_EQ(Bytes(t[0].bytes.begin(), t[0].bytes.begin() + 7), c.head);
        EXPECT_EQ(Bytes(t[0].bytes.begin() + 7, t[0].bytes.end()), c.payload);
    }
    // The reply split by the first-generation plug-in reaches the outputs.
    usb_.reset();
    usb_.queue(5, {0x05, 0x74, 0x00, 0x3C, 0x99});
    out[0] = 0xEE;
    EXPECT_EQ(VKKRN_0x74_ReadInput(handle_, 1, out), 0);
    EXPECT_EQ(out[0], 0x3C);
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

TEST_F(CommandUsb, RefusalsBeforeTheLockDoNotWait) {
    start(FakeUsbTransfer::kFirstGeneration);
    ASSERT_EQ(reader_->SetReaderPara("LOGFILE", "1"), 0);
    usb_.holdNext();
    usb_.queue(5, {0x05, 0x65, 0x00, 0x07, 0x08});
    std::thread running([this] {
        unsigned char out[16];
        EXPECT_EQ(VKKRN_0x65_SoftVersion(handle_, 1, out, 0), 0);
    });
    ASSERT_TRUE(usb_.waitHeld());
    unsigned char data[8] = {};
    int n = 0;
    char text[] = "x";
    EXPECT_EQ(VKKRN_0x1E_TableDataExchange(handle_, 1, 0, 0, 0, 0, 0, data, 1, data, &n), -4006);
    EXPECT_EQ(VKKRN_0x1F_MAXDataExchange(handle_, 1, 0, 0, 0, data, 1, data, &n, 0), -4006);
    EXPECT_EQ(VKKRN_0x76_CheckAntennas(handle_, 1, 0, data, &n), -4006);
    EXPECT_EQ(VKKRN_0x7A_WriteDisplay(handle_, 1, 0, 0, 0, 0, 0, 1, text), -4006);
    usb_.release();
    running.join();
    EXPECT_EQ(values(101), std::vector<int>(4, -4006));
    const std::string log = readFile("vkkrn_log.txt");
    EXPECT_NE(log.find("-4006"), std::string::npos);
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

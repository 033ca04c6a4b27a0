// The library used from several threads at once.
#include "vkusb_fixture.h"

#include <gtest/gtest.h>
#include <vktesting/wait_until.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace vkusbtest {
namespace {

using namespace std::chrono_literals;
using ThreadsTest = VkUsbTest;

// A close must not delete an object that a running scan has already gathered:
// it waits until the scan is over.
TEST_F(ThreadsTest, CloseDuringABlockedIdentificationCompletesAfterTheScan) {
    plug(0xA);
    const int handle = scanAndOpen(0xA);
    ASSERT_GT(handle, 0);
    const int newcomer = plug(0xB);
    usbsim::blockNext(newcomer, usbsim::Fn::Open);

    std::atomic<int> scanResult{1};
    std::thread scanner([&] { scanResult = api.Scan(VKUSB_SCAN_ALL, nullptr); });
    ASSERT_TRUE(vktesting::waitUntil([] { return usbsim::isBlocked(); }, 10s));

    std::atomic<bool> closed{false};
    std::atomic<int> closeResult{1};
    std::thread closer([&] {
        closeResult = api.CloseDevice(handle);
        closed = true;
    });
    // However long we look, the close cannot finish while the scan is held.
    EXPECT_FALSE(vktesting::waitUntil([&] { return closed.load(); }, 50ms));
    usbsim::release();
    scanner.join();
    closer.join();
    EXPECT_EQ(scanResult, 0);
    EXPECT_EQ(closeResult, 0);
    EXPECT_EQ(api.GetScanListSize(), 2);
    EXPECT_EQ(api.scanListPara(0, "DEVICE-ID"), "A");
    EXPECT_EQ(api.scanListPara(0, "DEVICEHND"), "0") << "closed and handed back to the scan list";
    EXPECT_EQ(api.GetDeviceList(0), 0);
}

// A reader object is deleted only under the list mutex, which every transfer
// holds for its whole run: a close, or a rescan that replaces a reader plugged
// in again, waits for a transfer the bus holds back and completes after it.
TEST_F(ThreadsTest, CloseAndReplacementWaitForATransferHeldOnTheBus) {
    enum class Ender { Close, Replacement };
    for (const Ender ender : {Ender::Close, Ender::Replacement}) {
        SCOPED_TRACE(ender == Ender::Close ? "close" : "replacement by a rescan");
        const int reader = plug(0xC);
        const int handle = scanAndOpen(0xC);
        ASSERT_GT(handle, 0);
        usbsim::setHandler(reader, [](const std::vector<std::uint8_t>& out) { return out; });
        usbsim::blockNext(reader, usbsim::Fn::BulkTransfer);
        std::atomic<int> transferred{1};
        std::thread transfer([&] {
            char iface[] = "NUBO-RCI2";
            std::uint8_t tx[3] = {1, 2, 3};
            std::uint8_t rx[8];
            transferred = api.Transceive(handle, iface, 0, tx, 3, rx, 8);
        });
        ASSERT_TRUE(vktesting::waitUntil([] { return usbsim::isBlocked(); }, 10s));

        std::atomic<bool> ended{false};
        std::atomic<int> endResult{1};
        std::thread ending([&] {
            if (ender == Ender::Close) {
                endResult = api.CloseDevice(handle);
            } else {
                usbsim::replug(reader);
                endResult = api.Scan(VKUSB_SCAN_ALL, nullptr);
            }
            ended = true;
        });
        EXPECT_FALSE(vktesting::waitUntil([&] { return ended.load(); }, 50ms));
        usbsim::release();
        transfer.join();
        ending.join();
        EXPECT_EQ(endResult, 0);
        if (ender == Ender::Close) {
            EXPECT_EQ(transferred, 3);
            EXPECT_EQ(api.GetDeviceList(0), 0);
        } else {
            // The reader left the bus under the transfer, which fails; the handle
            // now names the new object.
            EXPECT_LT(transferred, 0);
            EXPECT_EQ(api.GetDeviceHnd(0xC), handle);
            EXPECT_EQ(api.CloseDevice(handle), 0);
        }
        usbsim::unplug(reader);
        EXPECT_EQ(api.ClearScanList(), 0);
    }
}

TEST_F(ThreadsTest, UnknownCodesFormattedByTwoThreadsStayWhole) {
    auto worker = [this](int code, std::string expected, std::atomic<int>& bad) {
        char text[64];
        for (int i = 0; i < 2000; ++i) {
            api.GetErrorText(code, text);
            if (expected != text) ++bad;
        }
    };
    std::atomic<int> bad{0};
    std::thread a(worker, -1115, "VKUSB: Unknown Error: 0xFFFFFBA5 (-1115)", std::ref(bad));
    std::thread b(worker, 123456789, "VKUSB: Unknown Error: 0x75BCD15 (123456789)", std::ref(bad));
    a.join();
    b.join();
    EXPECT_EQ(bad, 0);
}

TEST_F(ThreadsTest, ExchangesOnTwoReadersRunBesideScansAndParameterCalls) {
    const int readers[2] = {plug(0x10), plug(0x20)};
    for (const int reader : readers)
        usbsim::setHandler(reader, [](const std::vector<std::uint8_t>& out) { return out; });
    ASSERT_EQ(api.ScanAndOpen(VKUSB_SCAN_ALL, nullptr), 0);
    const int handles[2] = {api.GetDeviceHnd(0x10), api.GetDeviceHnd(0x20)};
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 2; ++t) {
        threads.emplace_back([&, t] {
            char iface[] = "NUBO-RCI2";
            for (int i = 0; i < 200; ++i) {
                std::uint8_t tx[3] = {static_cast<std::uint8_t>(t), static_cast<std::uint8_t>(i), 0x5A};
                std::uint8_t rx[8];
                if (api.Transceive(handles[t], iface, 0, tx, 3, rx, 8) != 3 || rx[0] != t ||
                    rx[1] != (i & 0xFF))
                    ++failures;
            }
        });
    }
    threads.emplace_back([&] {
        for (int i = 0; i < 20; ++i) {
            if (api.Scan(VKUSB_SCAN_ALL, nullptr) != 0) ++failures;
            char value[256];
            api.GetDevicePara(0, const_cast<char*>("DEVICE-ID"), value);
            api.GetScanListPara(1, const_cast<char*>("DEVICENAME"), value);
        }
    });
    threads.emplace_back([&] {
        _VKUSB_EVENT_INIT handler{};
        handler.eventId = VKUSB_EVENT_DISCONNECT;
        handler.flag = VKUSB_EVENT_FLAG;
        handler.callback = [](int, std::uint32_t) {};
        for (int i = 0; i < 200; ++i) {
            if (api.AddEventHandler(0, &handler) != 0 || api.DelEventHandler(0, &handler) != 0) ++failures;
        }
    });
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(failures, 0);
    EXPECT_EQ(api.GetDeviceHnd(0x10), handles[0]);
    EXPECT_EQ(api.GetDeviceHnd(0x20), handles[1]);
}

} // namespace
} // namespace vkusbtest

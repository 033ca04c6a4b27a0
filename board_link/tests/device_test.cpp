// CHIDDevice, the enumeration functions and the platform HID service beneath
// them, against the simulated hidapi.
#include "board_fixture.h"
#include "chid_device.h"

#include <vkplatform/hid_services.h>

#include <KXx0EVALOComm.h>

#include <climits>
#include <cstring>

namespace board_link::test {
namespace {

using DeviceTest = BoardTest;

TEST(BoardIds, ModelCarriesTheProductsIds) {
    EXPECT_EQ(boardsim::kVendorId, KESTO_VENDOR_ID);
    EXPECT_EQ(boardsim::kKx10ProductId, KX10_PRODUCT_ID);
    EXPECT_EQ(boardsim::kKx20ProductId, KX20_PRODUCT_ID);
}

TEST(AcceptReportLengths, SixtyFourAndSixtyFiveOnly) {
    struct Case {
        std::uint16_t input, output;
        bool accepted;
    };
    const Case cases[] = {{63, 65, false}, {64, 64, true},  {65, 65, true}, {66, 65, false},
                          {65, 63, false}, {65, 66, false}, {0, 0, false}};
    for (const Case& c : cases)
        EXPECT_EQ(acceptReportLengths(c.input, c.output), c.accepted) << c.input << "/" << c.output;
}

TEST(HidapiTimeout, InfiniteAndClamped) {
    EXPECT_EQ(vkplatform::hid::hidapiTimeout(0xFFFFFFFFu), -1);
    EXPECT_EQ(vkplatform::hid::hidapiTimeout(0xFFFFFFFEu), INT_MAX);
    EXPECT_EQ(vkplatform::hid::hidapiTimeout(0x80000000u), INT_MAX);
    EXPECT_EQ(vkplatform::hid::hidapiTimeout(1000), 1000);
    EXPECT_EQ(vkplatform::hid::hidapiTimeout(0), 0);
}

TEST_F(DeviceTest, GetDevicePathByIndex) {
    plugForeign();
    const int id = plugBoard();
    char path[kDevicePathSize];
    ASSERT_EQ(getDevicePath(1, path), 1);
    EXPECT_EQ(std::string(path), hidsim::path(id));
    EXPECT_EQ(getDevicePath(2, path), 0);
    EXPECT_EQ(getDevicePath(-1, path), 0);
    EXPECT_EQ(hidsim::counters().enumerations, 0);

    hidsim::clearCalls();
    EXPECT_EQ(getDevicePath(64, path), 0);
    EXPECT_TRUE(hidsim::calls(hidsim::Fn::Enumerate).empty());
}

TEST_F(DeviceTest, OverlongPathIsNeitherCopiedNorCounted) {
    hidsim::DeviceProfile profile;
    profile.vendor = boardsim::kVendorId;
    profile.product = boardsim::kKx20ProductId;
    profile.path = "/dev/" + std::string(kDevicePathSize, 'x');
    hidsim::plug(profile, board);
    char path[kDevicePathSize] = "untouched";
    EXPECT_EQ(getDevicePath(0, path), 0);
    EXPECT_STREQ(path, "untouched");
    EXPECT_EQ(countDevices(boardsim::kVendorId, boardsim::kKx20ProductId), 0);
}

TEST_F(DeviceTest, NothingPastTheSixtyFourthInterface) {
    for (int i = 0; i < 64; ++i)
        plugForeign();
    plugBoard();
    EXPECT_EQ(countDevices(boardsim::kVendorId, boardsim::kKx20ProductId), 0);
    CHIDDevice device;
    EXPECT_EQ(device.openByIndex(0, boardsim::kVendorId, boardsim::kKx20ProductId, 0), kHidNoDevice);
    char path[kDevicePathSize];
    EXPECT_EQ(getDevicePath(63, path), 1);
}

TEST_F(DeviceTest, OpenByIndexCountsMatchesOnly) {
    plugForeign();
    plugBoard();
    plugForeign(boardsim::kVendorId, 0x9999);
    auto second = std::make_shared<boardsim::Board>();
    const int secondId = boardsim::plug(second);
    EXPECT_EQ(countDevices(boardsim::kVendorId, boardsim::kKx20ProductId), 2);

    CHIDDevice device;
    ASSERT_EQ(device.openByIndex(1, boardsim::kVendorId, boardsim::kKx20ProductId, 0), kHidOk);
    EXPECT_EQ(hidsim::calls(hidsim::Fn::Open).back().path, hidsim::path(secondId));
    EXPECT_TRUE(device.isOpen());
    EXPECT_EQ(device.inputReportLength(), 65);
    EXPECT_EQ(device.outputReportLength(), 65);
    EXPECT_EQ(device.featureReportLength(), 0);
    EXPECT_EQ(device.inputBufferCount(), 64);
    EXPECT_EQ(device.openByIndex(0, boardsim::kVendorId, boardsim::kKx20ProductId, 0), kHidAlreadyOpen);
    EXPECT_EQ(device.close(), kHidOk);
    EXPECT_EQ(device.close(), kHidNotOpen);
    EXPECT_EQ(device.inputBufferCount(), 0);
    EXPECT_EQ(device.openByIndex(2, boardsim::kVendorId, boardsim::kKx20ProductId, 0), kHidNoDevice);
}

TEST_F(DeviceTest, OpenByPathChecksTheIds) {
    const int id = plugBoard();
    const int foreign = plugForeign();
    CHIDDevice device;
    EXPECT_EQ(
        device.openByPath(hidsim::path(foreign).c_str(), boardsim::kVendorId, boardsim::kKx20ProductId, 0),
        kHidNoDevice);
    EXPECT_EQ(device.openByPath(hidsim::path(id).c_str(), boardsim::kVendorId, boardsim::kKx10ProductId, 0),
              kHidNoDevice);
    EXPECT_EQ(device.openByPath("/dev/none", boardsim::kVendorId, boardsim::kKx20ProductId, 0), kHidNoDevice);
    EXPECT_EQ(hidsim::counters().openAttempts, 0);
    ASSERT_EQ(device.openByPath(hidsim::path(id).c_str(), boardsim::kVendorId, boardsim::kKx20ProductId, 0),
              kHidOk);
    EXPECT_EQ(device.openByPath(hidsim::path(id).c_str(), boardsim::kVendorId, boardsim::kKx20ProductId, 0),
              kHidAlreadyOpen);
}

TEST_F(DeviceTest, APathThisProcessHoldsIsRefused) {
    const int id = plugBoard();
    CHIDDevice first;
    CHIDDevice second;
    ASSERT_EQ(first.openByPath(hidsim::path(id).c_str(), boardsim::kVendorId, boardsim::kKx20ProductId, 0),
              kHidOk);
    EXPECT_EQ(second.openByIndex(0, boardsim::kVendorId, boardsim::kKx20ProductId, 0), kHidNoDevice);
    EXPECT_EQ(hidsim::counters().openAttempts, 1);
    first.close();
    EXPECT_EQ(second.openByIndex(0, boardsim::kVendorId, boardsim::kKx20ProductId, 0), kHidOk);
}

TEST_F(DeviceTest, ReadAndWriteArguments) {
    std::uint8_t buffer[130];
    std::memset(buffer, 0x77, sizeof buffer);
    std::size_t bytes = 99;
    CHIDDevice device;
    EXPECT_EQ(device.readReports(buffer, sizeof buffer, 0, bytes), kHidNotOpen);
    EXPECT_EQ(buffer[0], 0);
    EXPECT_EQ(device.writeReport(buffer, 0), kHidNotOpen);
    EXPECT_EQ(device.writeReport(buffer, 1), kHidBadLength);

    plugBoard();
    ASSERT_EQ(device.openByIndex(0, boardsim::kVendorId, boardsim::kKx20ProductId, 0), kHidOk);
    device.setTimeouts(10, 10);
    hidsim::clearCalls();
    bytes = 99;
    EXPECT_EQ(device.readReports(buffer, 64, 1, bytes), kHidBadLength);
    EXPECT_EQ(bytes, 0u);
    EXPECT_EQ(device.readReports(buffer, 65 * 65, 65, bytes), kHidBadLength);
    EXPECT_EQ(bytes, 0u);
    EXPECT_EQ(device.writeReport(buffer, 66), kHidBadLength);
    EXPECT_TRUE(hidsim::calls().empty());
}

TEST_F(DeviceTest, ReadAddsTheReportIdAndMapsResults) {
    const int id = plugBoard();
    CHIDDevice device;
    ASSERT_EQ(device.openByIndex(0, boardsim::kVendorId, boardsim::kKx20ProductId, 0), kHidOk);
    device.setTimeouts(25, 30);
    std::uint32_t read = 0, write = 0;
    device.getTimeouts(read, write);
    EXPECT_EQ(read, 25u);
    EXPECT_EQ(write, 30u);

    hidsim::queueInput(id, Bytes(64, 0x42));
    std::uint8_t buffer[65];
    std::size_t bytes = 0;
    ASSERT_EQ(device.readReports(buffer, sizeof buffer, 1, bytes), kHidOk);
    EXPECT_EQ(bytes, 65u);
    EXPECT_EQ(buffer[0], 0);
    EXPECT_EQ(buffer[1], 0x42);
    EXPECT_EQ(buffer[64], 0x42);

    EXPECT_EQ(device.readReports(buffer, sizeof buffer, 1, bytes), kHidTimeout);
    EXPECT_EQ(bytes, 0u);
    hidsim::failNth(hidsim::Fn::Read, 1, -1);
    EXPECT_EQ(device.readReports(buffer, sizeof buffer, 1, bytes), kHidIoFailure);
    const auto reads = hidsim::calls(hidsim::Fn::Read);
    ASSERT_EQ(reads.size(), 3u);
    for (const hidsim::Call& call : reads) {
        EXPECT_EQ(call.timeout, 25);
        EXPECT_EQ(call.length, 64u);
    }
}

TEST_F(DeviceTest, WritesWholeReportsWithIdZero) {
    const int id = plugBoard();
    expectBoardClean = false; // the bytes below are no report the board knows
    CHIDDevice device;
    ASSERT_EQ(device.openByIndex(0, boardsim::kVendorId, boardsim::kKx20ProductId, 0), kHidOk);
    const std::uint8_t data[3] = {0, 1, 2};
    EXPECT_EQ(device.writeReport(data, sizeof data), kHidOk);
    const auto reports = written(id);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].size(), 65u);
    EXPECT_EQ(reports[0][0], 0);
    EXPECT_EQ(reports[0][2], 2);
    EXPECT_EQ(reports[0][64], 0);
    hidsim::failNth(hidsim::Fn::Write, 1, 10);
    EXPECT_EQ(device.writeReport(data, sizeof data), kHidIoFailure);
    hidsim::failNth(hidsim::Fn::Write, 1, -1);
    EXPECT_EQ(device.writeReport(data, sizeof data), kHidIoFailure);
}

TEST_F(DeviceTest, UnpluggedDeviceFailsAndCloses) {
    const int id = plugBoard();
    CHIDDevice device;
    ASSERT_EQ(device.openByIndex(0, boardsim::kVendorId, boardsim::kKx20ProductId, 0), kHidOk);
    device.setTimeouts(10, 10);
    hidsim::unplug(id);
    std::uint8_t buffer[65] = {};
    std::size_t bytes = 0;
    EXPECT_EQ(device.readReports(buffer, sizeof buffer, 1, bytes), kHidIoFailure);
    EXPECT_EQ(device.writeReport(buffer, sizeof buffer), kHidIoFailure);
    EXPECT_EQ(device.close(), kHidOk);
}

} // namespace
} // namespace board_link::test

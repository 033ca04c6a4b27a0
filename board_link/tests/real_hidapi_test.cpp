// The core over Debian's hidapi (hidraw): this machine carries no board, so
// nothing is found, opening fails cleanly and nothing is left open.
#include "hid_com_driver.h"

#include <KXx0EVALOComm.h>

#include <gtest/gtest.h>

namespace board_link {
namespace {

TEST(RealHidapi, NoBoardFoundOpenFailsCleanly) {
    if (countDevices(KESTO_VENDOR_ID, KX10_PRODUCT_ID) + countDevices(KESTO_VENDOR_ID, KX20_PRODUCT_ID) != 0)
        GTEST_SKIP() << "an evaluation board is plugged into this machine";
    for (const BoardVariant& variant : {kKx10Board, kKx20Board}) {
        KXx0HidComDriver driver(variant, KESTO_VENDOR_ID);
        EXPECT_FALSE(driver.open());
        EXPECT_FALSE(driver.open("/dev/hidraw-none"));
        EXPECT_FALSE(driver.isOpen());
        EXPECT_FALSE(driver.ping(true));
        EXPECT_EQ(driver.takeError(), kDriverNotOpen);
        std::uint8_t byte = 0;
        EXPECT_EQ(driver.read(&byte, 1), kDriverNotOpen);
    }
    char path[kDevicePathSize];
    EXPECT_EQ(getDevicePath(64, path), 0);
    CHIDDevice device;
    EXPECT_EQ(device.openByIndex(0, KESTO_VENDOR_ID, KX20_PRODUCT_ID, 0), kHidNoDevice);
    EXPECT_EQ(device.close(), kHidNotOpen);
}

} // namespace
} // namespace board_link

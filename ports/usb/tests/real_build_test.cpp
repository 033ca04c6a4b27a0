// The shipped build against Debian's libusb-1.0: it loads by its file name,
// scans the machine's bus (which carries none of the maker's readers) and
// unloads again.
#include "vkusb_api.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <libusb-1.0/libusb.h>

#include <cstring>

namespace vkusbtest {
namespace {

// What a first scan must return on this machine, found with a private libusb
// context: -1112 for a bus without readers, -1109 when libusb cannot start.
// Sets `readers` when a reader of the maker is plugged in.
int expectedScanResult(bool& readers) {
    readers = false;
    libusb_context* context = nullptr;
    if (libusb_init(&context) != 0) return -1109;
    libusb_device** list = nullptr;
    const ssize_t count = libusb_get_device_list(context, &list);
    for (ssize_t i = 0; i < count; ++i) {
        libusb_device_descriptor descriptor{};
        if (libusb_get_device_descriptor(list[i], &descriptor) == 0 &&
            descriptor.idVendor == VKUSB_VENDOR_ID && descriptor.idProduct >= 1 && descriptor.idProduct <= 4)
            readers = true;
    }
    if (count >= 0) libusb_free_device_list(list, 1);
    libusb_exit(context);
    return -1112;
}

TEST(RealBuild, LoadsScansTheMachinesBusAndUnloads) {
    bool readers = false;
    const int expected = expectedScanResult(readers);
    if (readers) GTEST_SKIP() << "a reader is plugged into this machine";

    VkUsbApi api;
    ASSERT_EQ(loadApi("libvkusb.so", api), "");
    char version[32] = {};
    api.GetDLLVersion(version);
    EXPECT_STREQ(version, "05.00.00");
    EXPECT_EQ(api.Scan(VKUSB_SCAN_FIRST, nullptr), expected);
    EXPECT_EQ(api.lastError(), expected);
    EXPECT_EQ(api.GetScanListSize(), 0);
    EXPECT_EQ(api.GetDeviceList(0), 0);
    for (const char* name : {"VKUSB_AddEventHandlerEx", "VKUSB_DelEventHandlerEx", "g_VkUsbMan"})
        EXPECT_EQ(dlsym(api.library, name), nullptr) << name;
    EXPECT_EQ(unloadApi("libvkusb.so", api), "");
}

} // namespace
} // namespace vkusbtest

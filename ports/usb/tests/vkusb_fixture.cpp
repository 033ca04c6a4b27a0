#include "vkusb_fixture.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>

namespace vkusbtest {

usbsim::ReaderProfile readerProfile(std::uint32_t id, const std::string& deviceName,
                                    const std::string& family) {
    usbsim::ReaderProfile profile;
    profile.vendor = VKUSB_VENDOR_ID;
    profile.product = 2;
    profile.strings = {{1, hexText(id)}, {3, family}, {5, deviceName}, {6, "NUBO RCI2"}, {10, "TN-4711"}};
    return profile;
}

std::string hexText(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "%X", value);
    return text;
}

StdoutCapture::StdoutCapture() {
    std::fflush(stdout);
    char path[] = "vkusb-stdout-XXXXXX";
    const int fd = mkstemp(path);
    path_ = path;
    saved_ = dup(1);
    dup2(fd, 1);
    close(fd);
}

StdoutCapture::~StdoutCapture() {
    stop();
}

std::string StdoutCapture::stop() {
    if (saved_ < 0) return {};
    std::fflush(stdout);
    dup2(saved_, 1);
    close(saved_);
    saved_ = -1;
    std::ifstream in(path_, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    std::remove(path_.c_str());
    return content.str();
}

void VkUsbTest::SetUp() {
    vktesting::TempDirTest::SetUp();
    usbsim::reset();
    if (!loadInSetUp_) return;
    load();
    // The watcher's first pass comes an interval after loading; tests that are
    // not about it keep it away from the calls they record.
    api.setPara(-1, "HOTPLUG-SUSPEND", "1");
}

void VkUsbTest::TearDown() {
    unload();
    expectBusReleased();
    usbsim::reset();
    vktesting::TempDirTest::TearDown();
}

void VkUsbTest::load() {
    const std::string error = loadApi(kSimLibrary, api);
    ASSERT_EQ(error, "");
}

void VkUsbTest::unload() {
    EXPECT_EQ(unloadApi(kSimLibrary, api), "");
}

void VkUsbTest::expectBusReleased() const {
    const usbsim::Counters c = usbsim::counters();
    EXPECT_EQ(c.liveHandles, 0);
    EXPECT_EQ(c.claims, 0);
    EXPECT_EQ(c.configDescriptors, 0);
    EXPECT_EQ(c.deviceLists, 0);
    EXPECT_EQ(c.extraReferences, 0);
    EXPECT_EQ(c.exits, c.inits);
    EXPECT_EQ(c.hotplugRegistrations, 0);
}

int VkUsbTest::scanAndOpen(std::uint32_t id) {
    EXPECT_EQ(api.Scan(VKUSB_SCAN_ALL, nullptr), 0);
    return api.OpenDevice(id);
}

} // namespace vkusbtest

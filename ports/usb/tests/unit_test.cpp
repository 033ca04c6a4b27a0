// The handle counter and the configuration-text parser on their own.
#include "config_file.h"
#include "device_handle_counter.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace vkusb {
namespace {

TEST(DeviceHandleCounter, CountsFromOneAndWrapsPast0x0FFFFFFF) {
    DeviceHandleCounter fresh;
    EXPECT_EQ(fresh.draw(), 0x10000001);
    EXPECT_EQ(fresh.draw(), 0x10000002);
    DeviceHandleCounter nearEnd(0x0FFFFFFE);
    EXPECT_EQ(nearEnd.draw(), 0x1FFFFFFF);
    EXPECT_EQ(nearEnd.draw(), 0x10000001);
    EXPECT_EQ(nearEnd.draw(), 0x10000002);
}

struct TextCase {
    const char* name;
    std::string text;
    UsbConfig expected;
};

// Test names carry the case; gtest prints the case by its name too.
void PrintTo(const TextCase& c, std::ostream* os) {
    *os << c.name;
}

class ConfigTextTest : public testing::TestWithParam<TextCase> {};

TEST_P(ConfigTextTest, AppliesTheKeysFound) {
    UsbConfig config;
    applyConfigText(GetParam().text.c_str(), config);
    const UsbConfig& e = GetParam().expected;
    EXPECT_EQ(config.libusbDebugLevel, e.libusbDebugLevel);
    EXPECT_EQ(config.traceLevel, e.traceLevel);
    EXPECT_EQ(config.hotplugMode, e.hotplugMode);
    EXPECT_EQ(config.intervalUs, e.intervalUs);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ConfigTextTest,
    testing::Values(
        TextCase{"Empty", "", {0, 0, 1, 300000}},
        TextCase{"All",
                 "libusb_debuglevel=4 vkusb_debuglevel=3 vkusb_hotplug=2 vkusb_updaterate=20",
                 {4, 3, 2, 20000}},
        TextCase{"SignsAndBlanks", "libusb_debuglevel= -2\nvkusb_debuglevel=+1", {-2, 1, 1, 300000}},
        TextCase{"NoDigits", "libusb_debuglevel=x vkusb_debuglevel=", {0, 0, 1, 300000}},
        TextCase{"Saturated", "vkusb_debuglevel=99999999999999999999", {0, 2147483647, 1, 300000}},
        TextCase{"NegativeRate", "vkusb_updaterate=-100", {0, 0, 1, 10000}},
        TextCase{"HotplugLetter", "vkusb_hotplug=a", {0, 0, 'a' - '0', 300000}},
        TextCase{"NoPnp", "vkusb_hotplug=2 nopnp", {0, 0, 0, 300000}},
        TextCase{"KeysInsideWords", "xvkusb_debuglevel=1y", {0, 1, 1, 300000}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ConfigText, ReadsAtMost1023BytesAndTerminates) {
    std::FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    const std::string content(2000, 'z');
    std::fwrite(content.data(), 1, content.size(), file);
    std::rewind(file);
    char text[kConfigTextSize];
    EXPECT_EQ(readConfigText(file, text), 1023u);
    EXPECT_EQ(text[1022], 'z');
    EXPECT_EQ(text[1023], '\0');
    std::fclose(file);
}

} // namespace
} // namespace vkusb

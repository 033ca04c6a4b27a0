// Loading and unloading the library: the configuration file, libusb's start,
// the trace, and what unloading gives back.
#include "vkusb_fixture.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <libusb-1.0/libusb.h>

#include <ostream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace vkusbtest {
namespace {

using usbsim::Fn;
using LoadTest = VkUsbLoadTest;

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> result;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        result.push_back(line);
    return result;
}

// The message parts of the lines with `tag`.
std::vector<std::string> messages(const std::string& output, const std::string& tag) {
    std::vector<std::string> result;
    const std::string marker = " :: vkusb: [" + tag + "] ";
    for (const std::string& line : lines(output)) {
        const auto at = line.find(marker);
        if (at != std::string::npos) result.push_back(line.substr(at + marker.size()));
    }
    return result;
}

std::vector<int> debugLevels() {
    std::vector<int> levels;
    for (const usbsim::Call& call : usbsim::calls(Fn::SetDebug))
        levels.push_back(call.value);
    return levels;
}

TEST_F(LoadTest, WithoutAFileEverythingHasItsDefault) {
    StdoutCapture capture;
    load();
    EXPECT_EQ(capture.stop(), "") << "trace level 0 prints nothing";
    EXPECT_EQ(api.para(-1, "HOTPLUG-MODE"), "1");
    EXPECT_EQ(api.Level(), 0);
    EXPECT_EQ(debugLevels(), std::vector<int>{0}) << "one set at start, none for an absent file";
    EXPECT_EQ(usbsim::counters().inits, 1);
    EXPECT_EQ(api.lastError(), 0);
    EXPECT_FALSE(*api.androidUnroot);
    EXPECT_EQ(*api.jvm, nullptr);
}

struct ConfigCase {
    const char* name;
    std::string content;
    bool hotplugCapable;
    std::string mode;       // "HOTPLUG-MODE"
    std::string updateRate; // the init trace line, empty when none is printed
};

// Test names carry the case; gtest prints the case by its name too.
void PrintTo(const ConfigCase& c, std::ostream* os) {
    *os << c.name;
}

class ConfigFileTest : public VkUsbLoadTest, public testing::WithParamInterface<ConfigCase> {};

TEST_P(ConfigFileTest, KeysAnywhereInTheFirst1023BytesSetTheMode) {
    const ConfigCase& c = GetParam();
    writeFile("vkusb.conf", "vkusb_debuglevel=1\n" + c.content);
    if (!c.hotplugCapable) usbsim::setCapability(LIBUSB_CAP_HAS_HOTPLUG, 0);
    StdoutCapture capture;
    load();
    const std::string output = capture.stop();
    EXPECT_EQ(api.para(-1, "HOTPLUG-MODE"), c.mode);
    const auto init = messages(output, "init");
    const std::vector<std::string> rates(
        std::find_if(init.begin(), init.end(),
                     [](const std::string& m) { return m.rfind("vkUSB-UpdateRate=", 0) == 0; }),
        init.end());
    if (c.updateRate.empty())
        EXPECT_TRUE(rates.empty());
    else
        EXPECT_EQ(rates, std::vector<std::string>{c.updateRate});
}

const std::string kFiller(1023 - 19, '#'); // with the first line, 1023 bytes before what follows

INSTANTIATE_TEST_SUITE_P(
    Files, ConfigFileTest,
    testing::Values(
        ConfigCase{"Defaults", "", true, "1", "vkUSB-UpdateRate=300msec"},
        ConfigCase{"NoPnpWins", "nopnp\nvkusb_hotplug=1\n", true, "0", ""},
        ConfigCase{"NoPnpInAComment", "# nopnp is not set\n", true, "0", ""},
        ConfigCase{"ModeZero", "vkusb_hotplug=0\n", true, "0", ""},
        ConfigCase{"ModeTwoCapable", "vkusb_hotplug=2\n", true, "2", ""},
        ConfigCase{"ModeTwoIncapable", "vkusb_hotplug=2\n", false, "0", ""},
        ConfigCase{"ModeSeven", "vkusb_hotplug=7\n", true, "7", ""},
        ConfigCase{"FirstOccurrence", "vkusb_hotplug=0\nvkusb_hotplug=1\n", true, "0", ""},
        ConfigCase{"RateBelowMinimum", "vkusb_updaterate=5\n", true, "1", "vkUSB-UpdateRate=10msec"},
        ConfigCase{"Rate250", "vkusb_updaterate=250\n", true, "1", "vkUSB-UpdateRate=250msec"},
        ConfigCase{"RateNotANumber", "vkusb_updaterate=abc\n", true, "1", "vkUSB-UpdateRate=300msec"},
        ConfigCase{"RateHuge", "vkusb_updaterate=99999999999999\n", true, "1",
                   "vkUSB-UpdateRate=2147483647msec"},
        ConfigCase{"KeyPastTheLimit", kFiller + "nopnp", true, "1", "vkUSB-UpdateRate=300msec"},
        ConfigCase{"KeyCutAtTheLimit", kFiller.substr(3) + "nopnp", true, "1", "vkUSB-UpdateRate=300msec"},
        ConfigCase{"KeyJustInside", kFiller.substr(5) + "nopnp", true, "0", ""},
        ConfigCase{"AfterANulByte", std::string("x\0nopnp", 7), true, "1", "vkUSB-UpdateRate=300msec"},
        ConfigCase{"Garbage", std::string("\xff\xfe=\x01vkusb_hotplug\n==", 20), true, "1",
                   "vkUSB-UpdateRate=300msec"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(LoadTest, AModeKeyWithoutAValueIsReportedUnchanged) {
    writeFile("vkusb.conf", "vkusb_hotplug=");
    load();
    EXPECT_EQ(api.para(-1, "HOTPLUG-MODE"), std::to_string(static_cast<unsigned>('\0' - '0')));
}

TEST_F(LoadTest, BothDebugLevelsAreAppliedAgainAfterTheFile) {
    writeFile("vkusb.conf", "libusb_debuglevel=3\nvkusb_debuglevel=2\n");
    StdoutCapture capture;
    load();
    capture.stop();
    EXPECT_EQ(debugLevels(), (std::vector<int>{0, 3}));
    EXPECT_EQ(api.Level(), 2);
    unload();
    usbsim::clearCalls();
    writeFile("vkusb.conf", "nothing here\n");
    load();
    EXPECT_EQ(debugLevels(), (std::vector<int>{0, 0})) << "applied again when the key is absent";
    EXPECT_EQ(api.Level(), 0);
}

TEST_F(LoadTest, TheInitTraceNamesVersionsLevelsAndMode) {
    writeFile("vkusb.conf", "vkusb_debuglevel=1\nlibusb_debuglevel=2\n");
    StdoutCapture capture;
    load();
    const std::string output = capture.stop();
    EXPECT_EQ(messages(output, "init"),
              (std::vector<std::string>{"libUSB-Version=1.0.26.0   API=1000103", "libUSB-DebugLevel=2",
                                        "libUSB-HasHotPlug=1", "vkUSB-Version=05.00.00", "vkUSB-DebugLevel=1",
                                        "vkUSB-UseHotPlug=1", "vkUSB-UpdateRate=300msec"}));
    const std::regex format(R"( ?\d+\.\d{6} :: vkusb: \[[^\]]+\] .*)");
    for (const std::string& line : lines(output))
        EXPECT_TRUE(std::regex_match(line, format)) << line;
}

TEST_F(LoadTest, ACapabilityQueryThatIsDeniedLeavesTheLibraryWorking) {
    usbsim::setCapability(LIBUSB_CAP_HAS_CAPABILITY, 0);
    usbsim::plug(readerProfile(0x77));
    load();
    EXPECT_EQ(api.lastError(), -1109);
    EXPECT_EQ(api.Scan(VKUSB_SCAN_FIRST, nullptr), 0);
    EXPECT_EQ(api.lastError(), 0);
}

TEST_F(LoadTest, WithoutLibusbScansFailAndUnloadSkipsTheExit) {
    usbsim::setInitResult(LIBUSB_ERROR_OTHER);
    usbsim::plug(readerProfile(0x77));
    writeFile("vkusb.conf", "libusb_debuglevel=3\n");
    load();
    EXPECT_EQ(api.lastError(), -1109);
    EXPECT_EQ(api.Scan(VKUSB_SCAN_FIRST, nullptr), -1109);
    EXPECT_EQ(api.lastError(), -1109);
    EXPECT_EQ(api.ScanAndOpen(VKUSB_SCAN_ALL, nullptr), -1109);
    EXPECT_EQ(api.Scan(77, nullptr), -1109);
    *api.androidUnroot = true;
    EXPECT_EQ(api.Scan(VKUSB_SCAN_FIRST, nullptr), 0) << "the host flag is looked at first";
    *api.androidUnroot = false;
    EXPECT_TRUE(usbsim::calls(Fn::GetDeviceList).empty());
    EXPECT_TRUE(usbsim::calls(Fn::SetDebug).empty());
    EXPECT_EQ(api.OpenDevice(0x77), -1140);
    unload();
    EXPECT_EQ(usbsim::counters().exits, 0);
}

TEST_F(LoadTest, UnloadingGivesEverythingBackAndExitsOnce) {
    usbsim::plug(readerProfile(0x1));
    usbsim::plug(readerProfile(0x2));
    usbsim::plug(readerProfile(0x3));
    load();
    ASSERT_EQ(api.Scan(VKUSB_SCAN_ALL, nullptr), 0);
    const int handle = api.OpenDevice(0x2);
    ASSERT_GT(handle, 0);
    std::uint8_t tx[] = {1};
    std::uint8_t rx[4];
    EXPECT_EQ(api.Transceive(handle, const_cast<char*>(kInterface), 0, tx, 1, rx, 4), -1130);
    EXPECT_EQ(usbsim::counters().claims, 1);
    _VKUSB_EVENT_INIT handler{};
    handler.eventId = VKUSB_EVENT_CONNECT;
    handler.flag = VKUSB_EVENT_FLAG;
    handler.callback = [](int, std::uint32_t) {};
    EXPECT_EQ(api.AddEventHandler(0, &handler), 0);
    usbsim::clearCalls();
    unload();
    EXPECT_EQ(usbsim::counters().inits, 1);
    EXPECT_EQ(usbsim::counters().exits, 1);
    const auto released = usbsim::calls(Fn::ReleaseInterface);
    ASSERT_EQ(released.size(), 1u);
    EXPECT_EQ(released[0].value, 0);
    expectBusReleased();
    // Loading again starts from scratch.
    load();
    EXPECT_EQ(api.GetScanListSize(), 0);
    EXPECT_EQ(api.GetDeviceList(0), 0);
    EXPECT_EQ(api.OpenDevice(0x2), -1140);
}

TEST_F(LoadTest, EveryNameBindsAndTheExtendedHandlerNamesDoNot) {
    load();
    for (const char* name :
         {"VKUSB_AddEventHandlerEx", "VKUSB_DelEventHandlerEx", "g_VkUsbMan", "g_EvtInitAry"})
        EXPECT_EQ(dlsym(api.library, name), nullptr) << name;
}

// --- Trace -----------------------------------------------------------------------------

using TraceTest = VkUsbTest;

TEST_F(TraceTest, LevelsDecideWhichLinesAppear) {
    const int reader = plug(0x5A);
    struct Level {
        int level;
        bool scanLines;
        bool deviceLines;
    };
    for (const Level& l : {Level{0, false, false}, Level{1, true, false}, Level{2, true, true}}) {
        SCOPED_TRACE(l.level);
        api.SetLevel(l.level);
        EXPECT_EQ(api.Level(), l.level);
        usbsim::queueReply(reader, {0xAB, 0x01});
        StdoutCapture capture;
        EXPECT_EQ(api.ScanAndOpen(VKUSB_SCAN_ALL, nullptr), 0);
        std::uint8_t tx[] = {0x0F};
        std::uint8_t rx[8];
        const int handle = api.GetDeviceHnd(0x5A);
        EXPECT_EQ(api.Transceive(handle, const_cast<char*>(kInterface), 0, tx, 1, rx, 8), 2);
        EXPECT_EQ(api.CloseDevice(handle), 0);
        const std::string output = capture.stop();
        EXPECT_EQ(!messages(output, "scan").empty(), l.scanLines);
        EXPECT_EQ(!messages(output, "ident").empty(), l.deviceLines);
        if (l.deviceLines) {
            EXPECT_EQ(messages(output, "bulkTransmit"), std::vector<std::string>{"  1 Bytes >> 0F "});
            EXPECT_EQ(messages(output, "bulkReceive "), std::vector<std::string>{"  2 Bytes << AB 01 "});
            EXPECT_EQ(messages(output, "ident")[0], "devIdStr=5A");
        }
        if (l.scanLines) {
            const auto scan = messages(output, "scan");
            EXPECT_NE(
                std::find(scan.begin(), scan.end(), "device: vendor=0xF1E0 prod=2 bus=1 busAddr=1   VAREK"),
                scan.end());
        }
    }
}

TEST_F(TraceTest, AHexDumpEndsOnceTheLineReaches4092Characters) {
    const int reader = plug(0x5A);
    const int handle = scanAndOpen(0x5A);
    usbsim::setHandler(reader, [](const std::vector<std::uint8_t>&) { return std::vector<std::uint8_t>{}; });
    std::vector<std::uint8_t> big(65535, 0xC3);
    api.SetLevel(2);
    StdoutCapture capture;
    EXPECT_EQ(api.Transmit(handle, const_cast<char*>(kInterface), big.data(), 65535), 0);
    const std::string output = capture.stop();
    const auto dump = messages(output, "bulkTransmit");
    ASSERT_EQ(dump.size(), 1u);
    EXPECT_EQ(dump[0].size(), 4092u);
    EXPECT_EQ(dump[0].substr(0, 21), "65535 Bytes >> C3 C3 ");
}

TEST_F(TraceTest, MessagesFollowTheLineFormatOnlyWhenTheLevelIsOn) {
    StdoutCapture off;
    api.Msg("tag", "quiet");
    EXPECT_EQ(off.stop(), "");
    api.SetLevel(1);
    StdoutCapture on;
    api.Msg("tag", "hello world");
    api.Msg(nullptr, nullptr);
    const auto out = lines(on.stop());
    ASSERT_EQ(out.size(), 2u);
    EXPECT_TRUE(std::regex_match(out[0], std::regex(R"( ?\d+\.\d{6} :: vkusb: \[tag\] hello world)")))
        << out[0];
    EXPECT_TRUE(std::regex_match(out[1], std::regex(R"( ?\d+\.\d{6} :: vkusb: \[\] )"))) << out[1];
}

TEST_F(TraceTest, LibraryKeySettingsAreTracedWithTheKeyAsGiven) {
    api.SetLevel(1);
    StdoutCapture capture;
    EXPECT_EQ(api.setPara(-1, "Hotplug-Suspend", "1"), 0);
    EXPECT_EQ(messages(capture.stop(), "set library para"),
              std::vector<std::string>{"Hotplug-Suspend = '1'"});
}

} // namespace
} // namespace vkusbtest

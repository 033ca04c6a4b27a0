// Device and library parameters, handle 0, argument checks, error texts and
// the event-handler list.
#include "vkusb_fixture.h"

#include <gtest/gtest.h>

#include <libusb-1.0/libusb.h>

#include <climits>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace vkusbtest {
namespace {

constexpr std::uint32_t kIdA = 0xA1;
constexpr std::uint32_t kIdB = 0xB2;
using usbsim::Fn;

class ParameterTest : public VkUsbTest {
  protected:
    void SetUp() override {
        VkUsbTest::SetUp();
        readerA_ = plug(kIdA);
        readerB_ = plug(kIdB);
        ASSERT_EQ(api.ScanAndOpen(VKUSB_SCAN_ALL, nullptr), 0);
        handleA_ = api.GetDeviceHnd(kIdA);
        handleB_ = api.GetDeviceHnd(kIdB);
        ASSERT_GT(handleA_, 0);
        ASSERT_GT(handleB_, 0);
        usbsim::clearCalls();
    }

    int readerA_ = 0, readerB_ = 0;
    int handleA_ = 0, handleB_ = 0;
};

struct GetCase {
    std::string key;
    std::string value; // "<handle>" for the device's handle
    int result;
};

TEST_F(ParameterTest, DeviceKeysReadTheirValues) {
    const std::vector<GetCase> cases = {
        {"TIMEOUT", "1000", 0},
        {"TimeOut", "1000", 0},
        {"DEVICEHND", "<handle>", 0},
        {"devicehnd", "<handle>", 0},
        {"DEVICE-ID", "A1", 0},
        {"DeviceName", "ID KRN.SIM200-U", 0},
        {"FAMILYNAME", "KRN-SIM", 0},
        {"Interface", "NUBO-RCI2", 0},
        {"TYPENUMBER", "TN-4711", 0},
        {"PRESENT", "1", 0},
        {"RESETPIPE", "untouched", -1150},
        {"RESETDEVICE", "untouched", -1150},
        {"NOSUCHKEY", "untouched", -1150},
        {"", "untouched", -1150},
        {std::string(127, 'K'), "untouched", -1150},
        {std::string(128, 'K'), "untouched", -1150},
        {"TIMEOUT" + std::string(121, ' '), "untouched", -1150},
        {std::string(5000, 'k'), "untouched", -1150},
    };
    for (const GetCase& c : cases) {
        SCOPED_TRACE(c.key.substr(0, 40));
        int result = 1;
        const std::string value = api.para(handleA_, c.key.c_str(), &result);
        EXPECT_EQ(result, c.result);
        EXPECT_EQ(api.lastError(), c.result);
        EXPECT_EQ(value, c.value == "<handle>" ? std::to_string(handleA_) : c.value);
    }
}

struct SetCase {
    std::string key;
    std::string value;
    int result;
};

TEST_F(ParameterTest, DeviceKeysAreSetOrRefused) {
    const std::vector<SetCase> cases = {
        {"TIMEOUT", "250", 0},
        {"timeout", "0", -1151},
        {"TIMEOUT", "-5", -1151},
        {"TIMEOUT", "abc", -1151},
        {"TIMEOUT", "99999999999", -1151},
        {"DEVICEHND", "5", -1150},
        {"DEVICE-ID", "5", -1150},
        {"DEVICENAME", "x", -1150},
        {"FAMILYNAME", "x", -1150},
        {"INTERFACE", "x", -1150},
        {"TYPENUMBER", "x", -1150},
        {"PRESENT", "1", -1150},
        {"NOSUCHKEY", "1", -1150},
        {std::string(128, 'T'), "1", -1150},
    };
    for (const SetCase& c : cases) {
        SCOPED_TRACE(c.key.substr(0, 40) + "=" + c.value);
        EXPECT_EQ(api.setPara(handleA_, c.key.c_str(), c.value.c_str()), c.result);
        EXPECT_EQ(api.lastError(), c.result);
    }
    EXPECT_EQ(api.para(handleA_, "TIMEOUT"), "250") << "refused values keep the last good one";
    EXPECT_EQ(api.para(handleB_, "TIMEOUT"), "1000");
}

TEST_F(ParameterTest, ResetKeysActOnTheOpenDevice) {
    // Before the first transfer the mode is unknown: a pipe reset clears nothing.
    EXPECT_EQ(api.setPara(handleA_, "ResetPipe", ""), 0);
    EXPECT_TRUE(usbsim::calls(Fn::ClearHalt).empty());
    usbsim::queueReply(readerA_, {1});
    std::uint8_t tx[] = {1};
    std::uint8_t rx[4];
    ASSERT_EQ(api.Transceive(handleA_, const_cast<char*>(kInterface), 0, tx, 1, rx, 4), 1);
    EXPECT_EQ(api.setPara(handleA_, "RESETPIPE", ""), 0);
    const auto halts = usbsim::calls(Fn::ClearHalt);
    ASSERT_EQ(halts.size(), 2u);
    EXPECT_EQ(halts[0].endpoint, 0x02);
    EXPECT_EQ(halts[1].endpoint, 0x81);

    EXPECT_EQ(api.setPara(handleA_, "RESETDEVICE", ""), 0);
    EXPECT_EQ(usbsim::calls(Fn::ResetDevice).size(), 1u);
    usbsim::injectResult(readerA_, Fn::ResetDevice, 1, LIBUSB_ERROR_NOT_FOUND);
    EXPECT_EQ(api.setPara(handleA_, "RESETDEVICE", ""), -1157);
}

TEST_F(ParameterTest, PresenceFollowsTheReader) {
    usbsim::unplug(readerA_);
    int result = 0;
    EXPECT_EQ(api.para(handleA_, "PRESENT", &result), "0");
    EXPECT_EQ(result, -1137);
    EXPECT_EQ(api.IsDevicePresent(handleA_), 0);
    EXPECT_EQ(api.lastError(), 0);
    int code = 0;
    char text[64];
    EXPECT_EQ(api.GetLastError(handleA_, &code, text), 0);
    EXPECT_EQ(code, -1137);
    EXPECT_STREQ(text, "VKUSB: (-1137) device is not present");
    EXPECT_EQ(api.para(handleA_, "TYPENUMBER", &result), "");
    EXPECT_EQ(result, -1168);
    EXPECT_EQ(api.IsDevicePresent(handleB_), 1);
}

TEST_F(ParameterTest, ClosedReadersAnswerFromTheScanList) {
    ASSERT_EQ(api.CloseDevice(handleA_), 0);
    int result = 0;
    EXPECT_EQ(api.scanListPara(0, "PRESENT", &result), "0");
    EXPECT_EQ(result, -1144);
    EXPECT_EQ(api.scanListPara(0, "TYPENUMBER", &result), "untouched");
    EXPECT_EQ(result, -1144);
    EXPECT_EQ(api.scanListPara(0, "DEVICEHND", &result), "0");
    EXPECT_EQ(api.scanListPara(1, "DEVICEHND", &result), std::to_string(handleB_));
    for (const int index : {-1, 2, INT_MAX}) {
        EXPECT_EQ(api.scanListPara(index, "DEVICE-ID", &result), "");
        EXPECT_EQ(result, 1115);
        EXPECT_EQ(api.lastError(), 1115);
    }
    EXPECT_EQ(api.setPara(handleA_, "TIMEOUT", "5"), -1123);
}

TEST_F(ParameterTest, HandleZeroReadsTheFirstAndSetsEveryOpenReader) {
    EXPECT_EQ(api.para(0, "DEVICE-ID"), "A1");
    EXPECT_EQ(api.setPara(0, "TIMEOUT", "300"), 0);
    EXPECT_EQ(api.para(handleA_, "TIMEOUT"), "300");
    EXPECT_EQ(api.para(handleB_, "TIMEOUT"), "300");

    // The walk stops at the first reader that refuses.
    usbsim::injectResult(readerA_, Fn::ResetDevice, 1, LIBUSB_ERROR_IO);
    EXPECT_EQ(api.setPara(0, "RESETDEVICE", ""), -1157);
    EXPECT_EQ(api.lastError(), -1157);
    const auto resets = usbsim::calls(Fn::ResetDevice);
    ASSERT_EQ(resets.size(), 1u);
    EXPECT_EQ(resets[0].reader, readerA_);

    EXPECT_EQ(api.CloseDevice(handleA_), 0);
    EXPECT_EQ(api.CloseDevice(handleB_), 0);
    int result = 0;
    EXPECT_EQ(api.para(0, "DEVICE-ID", &result), "untouched");
    EXPECT_EQ(result, -1100);
    EXPECT_EQ(api.setPara(0, "TIMEOUT", "300"), -1100);
    EXPECT_EQ(api.lastError(), -1100);
}

// --- Argument checks ------------------------------------------------------------

struct CheckCase {
    const char* name;
    std::function<int(const VkUsbApi&)> call;
    int expected;
};

TEST_F(ParameterTest, ArgumentsAreCheckedInOrderBeforeTheBusIsTouched) {
    static char iface[] = "NUBO-RCI2";
    static std::uint8_t buffer[8];
    static char key[] = "TIMEOUT";
    static char value[256];
    const int h = handleA_;
    constexpr int unknown = 0x10000099;
    const std::vector<CheckCase> cases = {
        {"TransceiveNegative",
         [](const VkUsbApi& a) { return a.Transceive(-1, nullptr, 0, nullptr, 0, nullptr, 0); }, -1122},
        {"TransceiveZero",
         [](const VkUsbApi& a) { return a.Transceive(0, nullptr, 0, nullptr, 0, nullptr, 0); }, -1121},
        {"TransceiveNoInterface",
         [h](const VkUsbApi& a) { return a.Transceive(h, nullptr, 0, buffer, 1, buffer, 1); }, -1102},
        {"TransceiveNoTx",
         [h](const VkUsbApi& a) { return a.Transceive(h, iface, 0, nullptr, 0, buffer, 1); }, -1102},
        {"TransceiveNoRx",
         [h](const VkUsbApi& a) { return a.Transceive(h, iface, 0, buffer, 1, nullptr, 1); }, -1102},
        {"TransceiveTxZero",
         [h](const VkUsbApi& a) { return a.Transceive(h, iface, 0, buffer, 0, buffer, 0); }, -1131},
        {"TransceiveTxNegative",
         [h](const VkUsbApi& a) { return a.Transceive(h, iface, 0, buffer, -4, buffer, 1); }, -1131},
        {"TransceiveRxZero",
         [h](const VkUsbApi& a) { return a.Transceive(h, iface, 0, buffer, 1, buffer, 0); }, -1134},
        {"TransceiveUnknown",
         [](const VkUsbApi& a) { return a.Transceive(unknown, iface, 0, buffer, 1, buffer, 1); }, -1123},
        {"TransmitNegative", [](const VkUsbApi& a) { return a.Transmit(INT_MIN, nullptr, nullptr, 0); },
         -1122},
        {"TransmitZero", [](const VkUsbApi& a) { return a.Transmit(0, nullptr, nullptr, 0); }, -1121},
        {"TransmitNoInterface", [h](const VkUsbApi& a) { return a.Transmit(h, nullptr, buffer, 0); }, -1102},
        {"TransmitNoData", [h](const VkUsbApi& a) { return a.Transmit(h, iface, nullptr, 1); }, -1102},
        {"TransmitLength", [h](const VkUsbApi& a) { return a.Transmit(h, iface, buffer, 0); }, -1131},
        {"TransmitUnknown", [](const VkUsbApi& a) { return a.Transmit(unknown, iface, buffer, 1); }, -1123},
        {"ReceiveNegative", [](const VkUsbApi& a) { return a.Receive(-7, nullptr, nullptr, 0); }, -1122},
        {"ReceiveZero", [](const VkUsbApi& a) { return a.Receive(0, nullptr, nullptr, 0); }, -1121},
        {"ReceiveNoInterface", [h](const VkUsbApi& a) { return a.Receive(h, nullptr, buffer, 0); }, -1102},
        {"ReceiveNoBuffer", [h](const VkUsbApi& a) { return a.Receive(h, iface, nullptr, 1); }, -1102},
        {"ReceiveLength", [h](const VkUsbApi& a) { return a.Receive(h, iface, buffer, -1); }, -1134},
        {"ReceiveUnknown", [](const VkUsbApi& a) { return a.Receive(unknown, iface, buffer, 1); }, -1123},
        {"CloseNegative", [](const VkUsbApi& a) { return a.CloseDevice(-1); }, -1122},
        {"CloseZero", [](const VkUsbApi& a) { return a.CloseDevice(0); }, -1121},
        {"CloseUnknown", [](const VkUsbApi& a) { return a.CloseDevice(unknown); }, -1123},
        {"PresentNegative", [](const VkUsbApi& a) { return a.IsDevicePresent(-1); }, -1122},
        {"PresentZero", [](const VkUsbApi& a) { return a.IsDevicePresent(0); }, -1121},
        {"PresentUnknown", [](const VkUsbApi& a) { return a.IsDevicePresent(unknown); }, -1123},
        {"GetParaBelowMinusOne", [](const VkUsbApi& a) { return a.GetDevicePara(-2, nullptr, nullptr); },
         -1122},
        {"GetParaNoKey", [h](const VkUsbApi& a) { return a.GetDevicePara(h, nullptr, value); }, -1102},
        {"GetParaNoValue", [](const VkUsbApi& a) { return a.GetDevicePara(-1, key, nullptr); }, -1102},
        {"GetParaUnknown", [](const VkUsbApi& a) { return a.GetDevicePara(unknown, key, value); }, -1123},
        {"SetParaBelowMinusOne", [](const VkUsbApi& a) { return a.SetDevicePara(-2, key, value); }, -1122},
        {"SetParaNoKey", [](const VkUsbApi& a) { return a.SetDevicePara(0, nullptr, value); }, -1102},
        {"SetParaNoValue", [h](const VkUsbApi& a) { return a.SetDevicePara(h, key, nullptr); }, -1102},
        {"SetParaUnknown", [](const VkUsbApi& a) { return a.SetDevicePara(unknown, key, value); }, -1123},
        {"ScanListParaNoKey", [](const VkUsbApi& a) { return a.GetScanListPara(0, nullptr, value); }, -1102},
        {"ScanListParaNoValue", [](const VkUsbApi& a) { return a.GetScanListPara(0, key, nullptr); }, -1102},
        {"ErrorTextNoText", [](const VkUsbApi& a) { return a.GetErrorText(0, nullptr); }, -1102},
        {"AddHandlerNull", [](const VkUsbApi& a) { return a.AddEventHandler(0, nullptr); }, -1102},
        {"DelHandlerNull", [](const VkUsbApi& a) { return a.DelEventHandler(3, nullptr); }, -1102},
        {"DriverVersion", [](const VkUsbApi& a) { return a.GetDrvVersion(value); }, -1107},
    };
    for (const CheckCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.call(api), c.expected);
        EXPECT_EQ(api.lastError(), c.expected);
    }
    EXPECT_TRUE(usbsim::calls().empty());
}

TEST_F(ParameterTest, LastErrorWithoutACodePointerWritesNothing) {
    EXPECT_EQ(api.CloseDevice(0), -1121);
    char text[64] = "untouched";
    EXPECT_EQ(api.GetLastError(0, nullptr, text), -1102);
    EXPECT_STREQ(text, "untouched");
    EXPECT_EQ(api.lastError(), -1102);
    int code = 1;
    EXPECT_EQ(api.GetLastError(0x10000099, &code, text), 0);
    EXPECT_EQ(code, -1123);
    EXPECT_STREQ(text, "VKUSB: (-1123) no device handle found");
    char version[16] = "untouched";
    api.GetDLLVersion(nullptr);
    EXPECT_EQ(api.lastError(), -1102);
    api.GetDLLVersion(version);
    EXPECT_STREQ(version, "05.00.00");
}

// --- Texts ------------------------------------------------------------------------

struct TextCase {
    int code;
    const char* text;
};

constexpr TextCase kTexts[] = {
    {0, "VKUSB: OK"},
    {-1100, "VKUSB: (-1100) empty device list"},
    {-1101, "VKUSB: (-1101) empty scan list"},
    {-1102, "VKUSB: (-1102) pointer is NULL"},
    {-1103, "VKUSB: (-1103) no more memory"},
    {-1104, "VKUSB: (-1104) The USB configuration could not be set"},
    {-1105, "VKUSB: (-1105) Error in Kernel-Function"},
    {-1106, "VKUSB: (-1106) unsupported option"},
    {-1107, "VKUSB: (-1107) unsupported method"},
    {-1108, "VKUSB: (-1108) device has no configuration"},
    {-1109, "VKUSB: (-1109) libUSB-API not available"},
    {-1110, "VKUSB: (-1110) no varek device"},
    {-1111, "VKUSB: (-1111) search mismatch"},
    {-1112, "VKUSB: (-1112) no device found"},
    {-1113, "VKUSB: (-1113) device is already scanned"},
    {-1114, "VKUSB: (-1114) scanlist overflow"},
    {-1120, "VKUSB: (-1120) unknown device handle"},
    {-1121, "VKUSB: (-1121) device handle is null"},
    {-1122, "VKUSB: (-1122) device handle is negative"},
    {-1123, "VKUSB: (-1123) no device handle found"},
    {-1130, "VKUSB: (-1130) timeout"},
    {-1131, "VKUSB: (-1131) no send data"},
    {-1132, "VKUSB: (-1132) unknown interface"},
    {-1133, "VKUSB: (-1133) unknown direction"},
    {-1134, "VKUSB: (-1134) receive buffer is too small"},
    {-1135, "VKUSB: (-1135) send data length is fault"},
    {-1136, "VKUSB: (-1136) unknown descriptor type"},
    {-1137, "VKUSB: (-1137) device is not present"},
    {-1138, "VKUSB: (-1138) error in transmit process"},
    {-1139, "VKUSB: (-1139) bulk transfer error"},
    {-1140, "VKUSB: (-1140) device not scanned"},
    {-1141, "VKUSB: (-1141) device is not in scanlist"},
    {-1142, "VKUSB: (-1142) device list handle is null"},
    {-1143, "VKUSB: (-1143) device cannot be opened"},
    {-1144, "VKUSB: (-1144) device is not opened"},
    {-1145, "VKUSB: (-1145) interface cannot be claimed"},
    {-1146, "VKUSB: (-1146) wrong device, another device was expected"},
    {-1150, "VKUSB: (-1150) unknown parameter"},
    {-1151, "VKUSB: (-1151) parameter out of range"},
    {-1152, "VKUSB: (-1152) odd parameter string"},
    {-1153, "VKUSB: (-1153) index out of range"},
    {-1154, "VKUSB: (-1154) unknown scan option"},
    {-1155, "VKUSB: (-1155) unknown error code"},
    {-1156, "VKUSB: (-1156) parameter syntax error"},
    {-1157, "VKUSB: (-1157) parameter not available"},
    {-1160, "VKUSB: (-1160) device descriptor length is fault"},
    {-1161, "VKUSB: (-1161) configuration descriptor length is fault"},
    {-1162, "VKUSB: (-1162) interface descriptor length is fault"},
    {-1163, "VKUSB: (-1163) endpoint descriptor length is fault"},
    {-1164, "VKUSB: (-1164) HID descriptor length is fault"},
    {-1165, "VKUSB: (-1165) string descriptor length is fault"},
    {-1166, "VKUSB: (-1166) device descriptor read error"},
    {-1167, "VKUSB: (-1167) configuration descriptor read error"},
    {-1168, "VKUSB: (-1168) string descriptor read error"},
    {-1170, "VKUSB: (-1170) device has to much interfaces"},
    {-1171, "VKUSB: (-1171) device has to much endpoints"},
    {-1172, "VKUSB: (-1172) device has to much strings"},
    {-1180, "VKUSB: (-1180) control transfer error"},
};

using TextTest = VkUsbTest;

TEST_F(TextTest, EveryCodeHasItsText) {
    for (const TextCase& c : kTexts) {
        SCOPED_TRACE(c.code);
        char text[64];
        std::memset(text, 'x', sizeof text);
        api.CloseDevice(0); // leaves a last error that the lookup resets
        EXPECT_EQ(api.GetErrorText(c.code, text), 0);
        EXPECT_STREQ(text, c.text);
        EXPECT_LE(std::strlen(text), 56u);
        EXPECT_EQ(api.lastError(), 0);
    }
}

TEST_F(TextTest, UnknownCodesAreFormattedWithTheCodeTwice) {
    const TextCase cases[] = {
        {-1115, "VKUSB: Unknown Error: 0xFFFFFBA5 (-1115)"},
        {1115, "VKUSB: Unknown Error: 0x45B (1115)"},
        {1, "VKUSB: Unknown Error: 0x1 (1)"},
        {-1099, "VKUSB: Unknown Error: 0xFFFFFBB5 (-1099)"},
        {INT_MIN, "VKUSB: Unknown Error: 0x80000000 (-2147483648)"},
    };
    for (const TextCase& c : cases) {
        SCOPED_TRACE(c.code);
        char text[64];
        EXPECT_EQ(api.GetErrorText(c.code, text), -1155);
        EXPECT_STREQ(text, c.text);
        EXPECT_STREQ(api.errorText, c.text);
        EXPECT_EQ(api.lastError(), -1155);
    }
}

// --- Library keys ---------------------------------------------------------------------

TEST_F(TextTest, LibraryKeysAnswerForHandleMinusOne) {
    int result = 1;
    EXPECT_EQ(api.para(-1, "HOTPLUG-MODE", &result), "1");
    EXPECT_EQ(result, 0);
    EXPECT_EQ(api.para(-1, "hotplug-mode"), "1");
    const std::vector<SetCase> cases = {
        {"HOTPLUG-MODE", "0", -1150},
        {"HOTPLUG-UPDATERATE", "10", 0},
        {"hotplug-updaterate", "250000", 0},
        {"HOTPLUG-UPDATERATE", " 250", 0},
        {"HOTPLUG-UPDATERATE", "9", -1151},
        {"HOTPLUG-UPDATERATE", "0", -1151},
        {"HOTPLUG-UPDATERATE", "abc", -1151},
        {"HOTPLUG-UPDATERATE", "", -1151},
        {"HOTPLUG-UPDATERATE", "+50", -1151},
        {"HOTPLUG-UPDATERATE", "-50", -1151},
        {"HOTPLUG-UPDATERATE", "99999999999999999999999", -1151},
        {"HOTPLUG-SUSPEND", "0", 0},
        {"Hotplug-Suspend", "1", 0},
        {"HOTPLUG-SUSPEND", "2", -1151},
        {"HOTPLUG-SUSPEND", "", -1151},
        {"HOTPLUG-SUSPEND", "01", -1151},
        {"TIMEOUT", "100", -1150},
        {std::string(128, 'H'), "1", -1150},
    };
    for (const SetCase& c : cases) {
        SCOPED_TRACE(c.key.substr(0, 40) + "=" + c.value);
        EXPECT_EQ(api.setPara(-1, c.key.c_str(), c.value.c_str()), c.result);
        EXPECT_EQ(api.lastError(), c.result);
    }
    for (const char* key : {"HOTPLUG-UPDATERATE", "HOTPLUG-SUSPEND", "TIMEOUT", "DEVICE-ID"}) {
        SCOPED_TRACE(key);
        EXPECT_EQ(api.para(-1, key, &result), "untouched");
        EXPECT_EQ(result, -1150);
    }
    EXPECT_EQ(api.para(-1, std::string(200, 'H').c_str(), &result), "untouched");
    EXPECT_EQ(result, -1150);
}

TEST_F(TextTest, HostFlagRefusesTheWatcherKeys) {
    *api.androidUnroot = true;
    EXPECT_EQ(api.setPara(-1, "HOTPLUG-UPDATERATE", "500"), -1156);
    EXPECT_EQ(api.setPara(-1, "HOTPLUG-SUSPEND", "0"), -1156);
    EXPECT_EQ(api.setPara(-1, "HOTPLUG-SUSPEND", "x"), -1156);
    EXPECT_EQ(api.setPara(-1, "HOTPLUG-MODE", "1"), -1150);
    EXPECT_EQ(api.para(-1, "HOTPLUG-MODE"), "1");
    *api.androidUnroot = false;
    EXPECT_EQ(api.setPara(-1, "HOTPLUG-SUSPEND", "0"), 0);
}

// --- Event handlers ---------------------------------------------------------------------

void onConnect(int, std::uint32_t) {}
void onDisconnect(int, std::uint32_t) {}

TEST_F(TextTest, HandlersAreKeptOncePerEventAndCallback) {
    _VKUSB_EVENT_INIT connect{};
    connect.eventId = VKUSB_EVENT_CONNECT;
    connect.flag = VKUSB_EVENT_FLAG;
    connect.callback = onConnect;
    _VKUSB_EVENT_INIT other = connect;
    other.callback = onDisconnect;
    _VKUSB_EVENT_INIT disconnect = connect;
    disconnect.eventId = VKUSB_EVENT_DISCONNECT;

    EXPECT_EQ(api.AddEventHandler(5, &connect), -1106);
    EXPECT_EQ(api.lastError(), -1106);
    EXPECT_EQ(api.AddEventHandler(-1, &connect), -1106);
    _VKUSB_EVENT_INIT wrongFlag = connect;
    wrongFlag.flag = 2;
    EXPECT_EQ(api.AddEventHandler(0, &wrongFlag), -1150);
    EXPECT_EQ(api.lastError(), -1150);

    EXPECT_EQ(api.AddEventHandler(0, &connect), 0);
    EXPECT_EQ(api.AddEventHandler(0, &connect), 0) << "the same handler twice is kept once";
    EXPECT_EQ(api.AddEventHandler(0, &other), 0);
    EXPECT_EQ(api.AddEventHandler(0, &disconnect), 0);

    EXPECT_EQ(api.DelEventHandler(1, &connect), -1106);
    EXPECT_EQ(api.DelEventHandler(0, &wrongFlag), -1150);
    EXPECT_EQ(api.DelEventHandler(0, &connect), 0);
    EXPECT_EQ(api.lastError(), 0);
    EXPECT_EQ(api.DelEventHandler(0, &connect), -1150) << "kept once, so removed once";
    EXPECT_EQ(api.lastError(), -1150);
    EXPECT_EQ(api.DelEventHandler(0, &other), 0);
    // Handlers still registered at unload are freed with the library.
}

} // namespace
} // namespace vkusbtest

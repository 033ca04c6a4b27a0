// The units' behaviour seen through libvkfu, the texts, the last error and last
// unit status, and the pointer tests.
#include "unit_bus_fixture.h"

#include <cstring>
#include <functional>

namespace vkfu_test {
namespace {

TEST_F(UnitBusTest, SetAddressMovesTheUnit) {
    ASSERT_EQ(VKFU_DAT_SetAddress(reader, kBus, kDat, 0x30), 0);
    EXPECT_EQ(VKFU_DAT_Detect(reader, kBus, kDat), -4132);
    EXPECT_EQ(g_iLastError, -4132);
    EXPECT_EQ(VKFU_DAT_Detect(reader, kBus, 0x30), 0);
    EXPECT_EQ(g_iLastError, 0);
}

TEST_F(UnitBusTest, BusyAfterStartTuningThenReady) {
    krnsim::DatUnit unit = fixtureDat();
    unit.busyAfterTuning = 2;
    bus.addDat(kDat, unit);
    ASSERT_EQ(VKFU_DAT_StartTuning(reader, kBus, kDat), 0);
    unsigned char values[6] = {};
    EXPECT_EQ(VKFU_DAT_GetValues(reader, kBus, kDat, values), 15);
    EXPECT_EQ(VKFU_DAT_Detect(reader, kBus, kDat), 15);
    EXPECT_EQ(g_ucLastStatus, 15);
    EXPECT_EQ(g_iLastError, 0);
    char text[40];
    EXPECT_EQ(VKFU_GetLastState(text), 15);
    EXPECT_STREQ(text, "Unit: Busy");
    EXPECT_EQ(VKFU_DAT_GetValues(reader, kBus, kDat, values), 0);
    EXPECT_EQ(toHex(values, 6), "A1 A2 A3 A4 A5 A6");
    EXPECT_EQ(VKFU_GetLastState(text), 0);
    EXPECT_STREQ(text, "OK");
}

TEST_F(UnitBusTest, UnitRefusals) {
    krnsim::DatUnit unit = fixtureDat();
    unit.eepromError = true;
    bus.addDat(kDat, unit);
    EXPECT_EQ(VKFU_DAT_StoreSettings(reader, kBus, kDat), 0x10);
    EXPECT_EQ(g_ucLastStatus, 0x10);
    EXPECT_EQ(VKFU_MUX_SelectChannel(reader, kBus, kMux, 4, 0), 0x11);
    EXPECT_EQ(g_ucLastStatus, 0x11);
    EXPECT_EQ(bus.mux(kMux)->channel1, 0);
    EXPECT_EQ(VKFU_MUX_Detect(reader, kBus, kDat), 0x80); // a tuner knows no multiplexer command
    EXPECT_EQ(g_iLastError, 0);

    bus.setUmux(std::nullopt);
    unsigned char status = 0x77;
    EXPECT_EQ(VKFU_UMUX_CPUReset(reader, kBus, 1, 2, &status), -4132);
    EXPECT_EQ(status, 0x77);
    EXPECT_EQ(g_iLastError, -4132);
}

TEST(VkfuTexts, EveryErrorAndStatusText) {
    const std::pair<int, const char*> errors[] = {
        {-4102, "VKFU: an internal pointer is NULL"},
        {-4103, "VKFU: no more memory"},
        {-4105, "VKFU: unsupported function"},
        {-4130, "VKFU: protocol length error"},
        {-4131, "VKFU: checksum error"},
        {-4132, "VKFU: Timeout"},
        {-4133, "VKFU: unknown status"},
        {-4134, "VKFU: no receive protocol"},
        {-4150, "VKFU: unknown parameter"},
        {-4151, "VKFU: parameter out of range"},
        {-4153, "VKFU: unknown error code"},
    };
    char text[40];
    for (const auto& [code, expected] : errors) {
        g_iLastError = 12345;
        EXPECT_EQ(VKFU_GetErrorText(code, text), 0);
        EXPECT_STREQ(text, expected);
        EXPECT_EQ(g_iLastError, 0);
    }
    const std::pair<int, const char*> statuses[] = {
        {0x00, "OK"},
        {0x0F, "Unit: Busy"},
        {0x10, "Unit: EEPROM Error"},
        {0x11, "Unit: Parameter Range Error"},
        {0x15, "Unit: Read Protection"},
        {0x16, "Unit: Write Protection"},
        {0x80, "Unit: Unknown Command"},
        {0x100, "OK"}, // only the low byte counts
        {0x10F, "Unit: Busy"},
    };
    for (const auto& [status, expected] : statuses) {
        g_iLastError = 12345;
        EXPECT_EQ(VKFU_GetStatusText(status, text), 0);
        EXPECT_STREQ(text, expected);
        EXPECT_EQ(g_iLastError, 0);
    }
}

TEST(VkfuTexts, UnknownCodesAndStatuses) {
    char text[40];
    const std::pair<int, const char*> codes[] = {
        {0, "VKFU: Unknown Errorcode (0)"},
        {-4031, "VKFU: Unknown Errorcode (-4031)"},
        {-4002, "VKFU: Unknown Errorcode (-4002)"},
        {-2147483647 - 1, "VKFU: Unknown Errorcode (-2147483648)"},
    };
    for (const auto& [code, expected] : codes) {
        EXPECT_EQ(VKFU_GetErrorText(code, text), -4153);
        EXPECT_STREQ(text, expected);
        EXPECT_EQ(g_iLastError, -4153);
    }
    const std::pair<int, const char*> statuses[] = {
        {0x12, "VKFU: Unknown Statusbyte (0x12)"},
        {0xFF, "VKFU: Unknown Statusbyte (0xFF)"},
        {0x1AB, "VKFU: Unknown Statusbyte (0xAB)"},
        {-1, "VKFU: Unknown Statusbyte (0xFF)"},
    };
    for (const auto& [status, expected] : statuses) {
        EXPECT_EQ(VKFU_GetStatusText(status, text), -4133);
        EXPECT_STREQ(text, expected);
        EXPECT_EQ(g_iLastError, -4133);
    }
}

TEST(VkfuTexts, LastStateAndLastError) {
    char text[40];
    g_ucLastStatus = 0x12;
    EXPECT_EQ(VKFU_GetLastState(text), -4133);
    EXPECT_STREQ(text, "VKFU: Unknown Statusbyte (0x12)");
    EXPECT_EQ(g_iLastError, -4133);
    g_ucLastStatus = 0x16;
    EXPECT_EQ(VKFU_GetLastState(text), 0x16);
    EXPECT_STREQ(text, "Unit: Write Protection");
    EXPECT_EQ(g_iLastError, 0);

    // Reading the last error replaces it with the text function's outcome.
    g_iLastError = -4102;
    int code = 1;
    EXPECT_EQ(VKFU_GetLastError(&code, text), 0);
    EXPECT_EQ(code, -4102);
    EXPECT_STREQ(text, "VKFU: an internal pointer is NULL");
    EXPECT_EQ(VKFU_GetLastError(&code, text), -4153);
    EXPECT_EQ(code, 0);
    EXPECT_STREQ(text, "VKFU: Unknown Errorcode (0)");
    EXPECT_EQ(VKFU_GetLastError(&code, text), 0);
    EXPECT_EQ(code, -4153);
    EXPECT_STREQ(text, "VKFU: unknown error code");
}

TEST(VkfuTexts, Version) {
    char version[16];
    std::memset(version, 'x', sizeof version);
    g_iLastError = 12345;
    VKFU_GetDLLVersion(version);
    EXPECT_STREQ(version, "02.00.00");
    EXPECT_EQ(g_iLastError, 0);
    VKFU_GetDLLVersion(nullptr);
    EXPECT_EQ(g_iLastError, -4002);
}

// Every output and text pointer: -4102 stored, nothing sent, nothing written.
TEST_F(UnitBusTest, NullPointersAreRefusedBeforeAnythingIsSent) {
    unsigned char status = 0x77;
    unsigned char out[8] = {};
    char text[40] = "unchanged";
    int code = 99;
    const std::pair<const char*, std::function<int()>> calls[] = {
        {"DAT_SoftVersion", [&] { return VKFU_DAT_SoftVersion(reader, kBus, kDat, nullptr); }},
        {"DAT_GetValues", [&] { return VKFU_DAT_GetValues(reader, kBus, kDat, nullptr); }},
        {"MUX_SoftVersion", [&] { return VKFU_MUX_SoftVersion(reader, kBus, kMux, nullptr); }},
        {"UMUX_SoftVersion status", [&] { return VKFU_UMUX_SoftVersion(reader, kBus, 1, 2, nullptr, out); }},
        {"UMUX_SoftVersion version",
         [&] { return VKFU_UMUX_SoftVersion(reader, kBus, 1, 2, &status, nullptr); }},
        {"UMUX_CPUReset", [&] { return VKFU_UMUX_CPUReset(reader, kBus, 1, 2, nullptr); }},
        {"UMUX_SelectChannel", [&] { return VKFU_UMUX_SelectChannel(reader, kBus, 1, 2, 3, nullptr); }},
        {"UMUX_Detect_GetPower status",
         [&] { return VKFU_UMUX_Detect_GetPower(reader, kBus, 1, 2, nullptr, out); }},
        {"UMUX_Detect_GetPower values",
         [&] { return VKFU_UMUX_Detect_GetPower(reader, kBus, 1, 2, &status, nullptr); }},
        {"GetErrorText", [&] { return VKFU_GetErrorText(-4130, nullptr); }},
        {"GetStatusText", [&] { return VKFU_GetStatusText(0, nullptr); }},
        {"GetLastState", [&] { return VKFU_GetLastState(nullptr); }},
        {"GetLastError code", [&] { return VKFU_GetLastError(nullptr, text); }},
        {"GetLastError text", [&] { return VKFU_GetLastError(&code, nullptr); }},
    };
    const std::size_t before = requests();
    for (const auto& [name, call] : calls) {
        SCOPED_TRACE(name);
        markState();
        EXPECT_EQ(call(), -4102);
        EXPECT_EQ(g_iLastError, -4102);
        EXPECT_EQ(g_ucLastStatus, 0x55);
    }
    EXPECT_EQ(requests(), before);
    EXPECT_EQ(status, 0x77);
    EXPECT_EQ(toHex(out, 8), "00 00 00 00 00 00 00 00");
    EXPECT_STREQ(text, "unchanged");
    EXPECT_EQ(code, 99);
}

} // namespace
} // namespace vkfu_test

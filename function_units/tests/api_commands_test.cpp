// Every unit command through libvkfu, the real libvkkrn and libvktcp against the
// simulated reader and its function-unit bus: the request on the wire, the
// result, the copied bytes, the unit afterwards and the last error and status.
#include "unit_bus_fixture.h"

#include <cstring>
#include <functional>

namespace vkfu_test {
namespace {

using Call = std::function<int(int reader, unsigned char* status, unsigned char* out)>;
using UnitCheck = std::function<void(const krnsim::FunctionUnitBus&)>;

struct CommandRow {
    const char* name;
    Call call;
    const char* request; // command byte and data field as the reader received them
    const char* output;  // bytes copied to the output ("" for none)
    int statusOut;       // the caller's status byte afterwards, -1 untouched
    UnitCheck unit;
};

int executed(const krnsim::CommandCounts& counts, std::uint8_t command) {
    const auto found = counts.find(command);
    return found == counts.end() ? 0 : found->second;
}

UnitCheck datRan(std::uint8_t command) {
    return [command](const krnsim::FunctionUnitBus& bus) {
        EXPECT_EQ(executed(bus.dat(kDat)->executed, command), 1);
    };
}
UnitCheck muxRan(std::uint8_t command) {
    return [command](const krnsim::FunctionUnitBus& bus) {
        EXPECT_EQ(executed(bus.mux(kMux)->executed, command), 1);
    };
}
UnitCheck umuxRan(std::uint8_t command, const char* values) {
    return [command, values](const krnsim::FunctionUnitBus& bus) {
        EXPECT_EQ(executed(bus.umux()->executed, command), 1);
        EXPECT_EQ(toHex(bus.umux()->lastValues), values);
    };
}

const CommandRow kCommands[] = {
    {"DAT_SoftVersion",
     [](int r, unsigned char*, unsigned char* out) { return VKFU_DAT_SoftVersion(r, kBus, kDat, out); },
     "BF: 01 00 58 02 1F 02 C0 FE 05", "44 41 54 01 02 03 04", -1, datRan(0xC0)},
    {"DAT_CPUReset", [](int r, unsigned char*, unsigned char*) { return VKFU_DAT_CPUReset(r, kBus, kDat); },
     "BF: 01 00 20 02 1F 02 C1 FE 05", "", -1, datRan(0xC1)},
    {"DAT_SetCapacities",
     [](int r, unsigned char*, unsigned char*) { return VKFU_DAT_SetCapacities(r, kBus, kDat, 0x12, 0xF4); },
     "BF: 01 00 20 02 1F 02 C2 FE 05 12 F4", "", -1,
     [](const krnsim::FunctionUnitBus& bus) {
         EXPECT_EQ(bus.dat(kDat)->capacity1, 0x12);
         EXPECT_EQ(bus.dat(kDat)->capacity2, 0xF4);
     }},
    {"DAT_GetValues",
     [](int r, unsigned char*, unsigned char* out) { return VKFU_DAT_GetValues(r, kBus, kDat, out); },
     "BF: 05 00 50 02 1F 00 04 02 C3 FE 05", "A1 A2 A3 A4 A5 A6", -1, datRan(0xC3)},
    {"DAT_SetOutput",
     [](int r, unsigned char*, unsigned char*) { return VKFU_DAT_SetOutput(r, kBus, kDat, 0x07); },
     "BF: 01 00 20 02 1F 02 C4 FE 05 07", "", -1,
     [](const krnsim::FunctionUnitBus& bus) { EXPECT_EQ(bus.dat(kDat)->output, 0x07); }},
    {"DAT_ReTuning", [](int r, unsigned char*, unsigned char*) { return VKFU_DAT_ReTuning(r, kBus, kDat); },
     "BF: 01 00 20 02 1F 02 C5 FE 05", "", -1, datRan(0xC5)},
    {"DAT_StartTuning",
     [](int r, unsigned char*, unsigned char*) { return VKFU_DAT_StartTuning(r, kBus, kDat); },
     "BF: 01 00 20 02 1F 02 C6 FE 05", "", -1, datRan(0xC6)},
    {"DAT_SwitchAntenna",
     [](int r, unsigned char*, unsigned char*) { return VKFU_DAT_SwitchAntenna(r, kBus, kDat); },
     "BF: 01 00 20 02 1F 02 C7 FE 05", "", -1, datRan(0xC7)},
    {"DAT_StoreSettings",
     [](int r, unsigned char*, unsigned char*) { return VKFU_DAT_StoreSettings(r, kBus, kDat); },
     "BF: 01 00 20 02 1F 02 C8 FE 05", "", -1, datRan(0xC8)},
    {"DAT_Detect", [](int r, unsigned char*, unsigned char*) { return VKFU_DAT_Detect(r, kBus, kDat); },
     "BF: 01 00 20 02 1F 02 C9 FE 05", "", -1, datRan(0xC9)},
    {"DAT_SetAddress",
     [](int r, unsigned char*, unsigned char*) { return VKFU_DAT_SetAddress(r, kBus, kDat, 0x21); },
     "BF: 01 00 20 02 1F 02 CA FE 05 21", "", -1,
     [](const krnsim::FunctionUnitBus& bus) {
         EXPECT_FALSE(bus.dat(kDat));
         EXPECT_TRUE(bus.dat(0x21));
     }},
    {"DAT_SetMode",
     [](int r, unsigned char*, unsigned char*) { return VKFU_DAT_SetMode(r, kBus, kDat, 0x03); },
     "BF: 01 00 20 02 1F 02 CB FE 05 03", "", -1,
     [](const krnsim::FunctionUnitBus& bus) { EXPECT_EQ(bus.dat(kDat)->mode, 0x03); }},
    {"MUX_SoftVersion",
     [](int r, unsigned char*, unsigned char* out) { return VKFU_MUX_SoftVersion(r, kBus, kMux, out); },
     "BF: 01 00 58 02 1F 02 DF FE 06", "4D 55 58 01 02 03 04", -1, muxRan(0xDF)},
    {"MUX_CPUReset", [](int r, unsigned char*, unsigned char*) { return VKFU_MUX_CPUReset(r, kBus, kMux); },
     "BF: 01 00 20 02 1F 02 DE FE 06", "", -1, muxRan(0xDE)},
    {"MUX_SelectChannel",
     [](int r, unsigned char*, unsigned char*) { return VKFU_MUX_SelectChannel(r, kBus, kMux, 0x02, 0x03); },
     "BF: 01 00 20 02 1F 02 DD FE 06 02 03", "", -1,
     [](const krnsim::FunctionUnitBus& bus) {
         EXPECT_EQ(bus.mux(kMux)->channel1, 0x02);
         EXPECT_EQ(bus.mux(kMux)->channel2, 0x03);
     }},
    {"MUX_Detect", [](int r, unsigned char*, unsigned char*) { return VKFU_MUX_Detect(r, kBus, kMux); },
     "BF: 01 00 20 02 1F 02 DC FE 06", "", -1, muxRan(0xDC)},
    {"UMUX_SoftVersion",
     [](int r, unsigned char* st, unsigned char* out) {
         return VKFU_UMUX_SoftVersion(r, kBus, 0x0A, 0x0B, st, out);
     },
     "BB: 01 06 00 00 00 00 48 00 30 00 00 E0 0F FE DF 0A 0B", "55 4D 01 02 03 04", 0,
     umuxRan(0xDF, "0A 0B")},
    {"UMUX_CPUReset",
     [](int r, unsigned char* st, unsigned char*) { return VKFU_UMUX_CPUReset(r, kBus, 0x0A, 0x0B, st); },
     "BB: 01 06 00 00 00 00 18 00 30 00 00 E0 0F FE DE 0A 0B", "", 0, umuxRan(0xDE, "0A 0B")},
    {"UMUX_SelectChannel",
     [](int r, unsigned char* st, unsigned char*) {
         return VKFU_UMUX_SelectChannel(r, kBus, 0x01, 0x02, 0x03, st);
     },
     "BB: 01 06 00 00 00 00 18 00 38 00 00 E0 0F FE DD 01 02 03", "", 0,
     [](const krnsim::FunctionUnitBus& bus) { EXPECT_EQ(toHex(bus.umux()->selected), "01 02 03"); }},
    {"UMUX_Detect_GetPower",
     [](int r, unsigned char* st, unsigned char* out) {
         return VKFU_UMUX_Detect_GetPower(r, kBus, 0x0A, 0x0B, st, out);
     },
     "BB: 01 06 00 00 00 00 48 00 30 00 00 E0 0F FE DC 0A 0B", "00 11 22 33 44 55", 0,
     umuxRan(0xDC, "0A 0B")},
};

constexpr std::size_t kOutputRoom = 8;

TEST_F(UnitBusTest, EveryCommandOnTheWireAndBack) {
    for (const CommandRow& row : kCommands) {
        SCOPED_TRACE(row.name);
        resetUnits();
        markState();
        unsigned char status = 0x77;
        unsigned char out[kOutputRoom];
        std::memset(out, 0xAA, sizeof out);

        EXPECT_EQ(row.call(reader, &status, out), 0);
        EXPECT_EQ(lastRequest(), row.request);
        const std::size_t copied = hex(row.output).size();
        EXPECT_EQ(toHex(out, copied), row.output);
        for (std::size_t i = copied; i < kOutputRoom; ++i)
            EXPECT_EQ(out[i], 0xAA) << "byte " << i;
        EXPECT_EQ(status, row.statusOut < 0 ? 0x77 : row.statusOut);
        EXPECT_EQ(g_iLastError, 0);
        EXPECT_EQ(g_ucLastStatus, 0);
        row.unit(bus);
    }
}

} // namespace
} // namespace vkfu_test

// Two threads, each on a reader of its own, run mixed unit commands at once:
// every result and output right, the shared last error and status free of data
// races (their values overwrite each other).
#include "unit_bus_fixture.h"

#include <thread>

namespace vkfu_test {
namespace {

constexpr int kRounds = 40;

// Runs mixed commands on one fixture; the number of results that were wrong.
int runMixed(UnitBus& fixture) {
    int wrong = 0;
    for (int round = 0; round < kRounds; ++round) {
        unsigned char out[7] = {};
        unsigned char status = 0x77;
        if (VKFU_DAT_SoftVersion(fixture.reader, kBus, kDat, out) != 0 ||
            toHex(out, 7) != "44 41 54 01 02 03 04")
            ++wrong;
        if (VKFU_MUX_SelectChannel(fixture.reader, kBus, kMux, static_cast<unsigned char>(round % 4), 1) != 0)
            ++wrong;
        if (VKFU_MUX_SelectChannel(fixture.reader, kBus, kMux, 9, 1) != 0x11) ++wrong;
        if (VKFU_UMUX_Detect_GetPower(fixture.reader, kBus, 1, 2, &status, out) != 0 || status != 0 ||
            toHex(out, 6) != "00 11 22 33 44 55")
            ++wrong;
        if (VKFU_DAT_Detect(fixture.reader, kBus, 0x40) != -4132) ++wrong; // nobody there
        char text[40];
        int code = 0;
        VKFU_GetLastError(&code, text);
        VKFU_GetLastState(text);
    }
    return wrong;
}

TEST(VkfuThreads, TwoReadersAtOnce) {
    UnitBus first;
    UnitBus second;
    int wrongFirst = -1;
    int wrongSecond = -1;
    std::thread a([&] { wrongFirst = runMixed(first); });
    std::thread b([&] { wrongSecond = runMixed(second); });
    a.join();
    b.join();
    EXPECT_EQ(wrongFirst, 0);
    EXPECT_EQ(wrongSecond, 0);
    EXPECT_EQ(first.bus.mux(kMux)->executed.at(0xDD), kRounds);
    EXPECT_EQ(second.bus.mux(kMux)->executed.at(0xDD), kRounds);
}

} // namespace
} // namespace vkfu_test

// The function-unit bus as the reader serves it: the reader's rules for 0xBF
// and 0xBB requests and the units' answers, frame in, frame out.
#include "hex.h"

#include <krnsim/function_units.h>

#include <gtest/gtest.h>

namespace krnsim {
namespace {

using test::hex;
using test::request;
using test::toHex;

class KrnSimUnits : public ::testing::Test {
  protected:
    KrnSimUnits() {
        addDemoUnits(bus);
        bus.attach(reader);
    }
    // "SS: data" of the reply to a request with these data.
    std::string send(std::uint8_t command, std::string_view data) {
        const Bytes reply = reader.exchange(request(command, hex(data))).bytes();
        if (reply.size() < 6) return "no reply";
        const Bytes payload(reply.begin() + 4, reply.end() - 2);
        return toHex(Bytes{reply[3]}) + ":" + toHex(payload);
    }

    Reader reader;
    FunctionUnitBus bus;
};

TEST_F(KrnSimUnits, ReaderRulesAndUnitAnswers) {
    struct Case {
        std::uint8_t command;
        const char* data;
        const char* reply;
    };
    const Case cases[] = {
        // DAT at 1, MUX at 2: [mode][bits][02 1F 02 cmd FE unit values]
        {0xBF, "01 0058 02 1F 02 C0 FE 01", "00:02 00 44 41 54 01 02 03 04 00 00"},
        {0xBF, "05 0050 02 1F 00 04 02 C3 FE 01", "00:02 00 10 20 30 40 50 60 00 00"},
        {0xBF, "01 0020 02 1F 02 C1 FE 01", "00:02 00 00 00"},
        {0xBF, "01 0058 02 1F 02 DF FE 02", "00:02 00 4D 55 58 01 02 03 04 00 00"},
        {0xBF, "01 0020 02 1F 02 DD FE 02 03 00", "00:02 00 00 00"},
        {0xBF, "01 0020 02 1F 02 DD FE 02 04 00", "00:02 11 00 00"},
        {0xBF, "01 0020 02 1F 02 D0 FE 01", "00:02 80 00 00"},
        {0xBF, "01 0020 02 1F 02 DE FE 01", "00:02 80 00 00"},
        {0xBF, "01 0020 02 1F 02 C1 FE 02", "00:02 80 00 00"},
        {0xBF, "01 0020 02 1F 02 C1 FE 09", "01:"},
        {0xBF, "01 0058 02 1F 02 C1 FE 01", "81:"},
        {0xBF, "05 0020 02 1F 02 C1 FE 01", "81:"},
        {0xBF, "01 0050 02 1F 00 04 02 C3 FE 01", "81:"},
        {0xBF, "01 0020 02 1F 02 C3 FE 01", "81:"},
        {0xBF, "01 0020 02 1F 02 C2 FE 01 05", "81:"},
        {0xBF, "01 0020 02 1F 02 C1 00 01", "81:"},
        {0xBF, "01 0020 01 02 03", "81:"},
        {0xBF, "01 00", "81:"},
        // UMUX: [01 06 00][0000][bits][field 00 00 E0 0F FE cmd values]
        {0xBB, "01 06 00 0000 0048 0030 0000 E0 0F FE DF 01 02", "00:00 55 4D 01 02 03 04 00 00"},
        {0xBB, "01 06 00 0000 0048 0030 0000 E0 0F FE DC 01 02", "00:00 00 11 22 33 44 55 00 00"},
        {0xBB, "01 06 00 0000 0018 0038 0000 E0 0F FE DD 01 02 03", "00:00 00 00"},
        {0xBB, "01 06 00 0000 0018 0030 0000 E0 0F FE D0 01 02", "00:80 00 00"},
        {0xBB, "01 06 00 0000 0018 0038 0000 E0 0F FE DE 01 02", "81:"},
        {0xBB, "01 06 00 0000 0048 0030 0000 E0 0F FE DE 01 02", "81:"},
        {0xBB, "01 06 00 0000 0018 0030 0000 E0 0F FE DD 01 02", "81:"},
        {0xBB, "01 07 00 0000 0018 0030 0000 E0 0F FE DE 01 02", "81:"},
        {0xBB, "01 06 00 0001 0018 0030 0000 E0 0F FE DE 01 02", "81:"},
        {0xBB, "01 06 00 0000 0018 0030 0000 E0 0F FF DE 01 02", "81:"},
        {0xBB, "01 06 00 0000 0018", "81:"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.data);
        EXPECT_EQ(send(c.command, c.data), c.reply);
    }
    EXPECT_EQ(bus.dat(1)->executed.at(0xC1), 1);
    EXPECT_EQ(bus.mux(2)->channel1, 3);
    EXPECT_EQ(bus.umux()->selected, hex("01 02 03"));
}

TEST_F(KrnSimUnits, FaultsForTheNextCommandAndNoUmux) {
    bus.queueFault(1, UnitFault::status(0x10));
    bus.queueFault(1, UnitFault::shortBy(1));
    bus.queueFault(1, UnitFault::longBy(2));
    bus.queueFault(1, UnitFault::silence());
    bus.queueUmuxFault(UnitFault::shortBy(3));
    EXPECT_EQ(send(0xBF, "01 0020 02 1F 02 C1 FE 01"), "00:02 10 00 00");
    EXPECT_EQ(send(0xBF, "01 0020 02 1F 02 C1 FE 01"), "00:02 00 00");
    EXPECT_EQ(send(0xBF, "01 0020 02 1F 02 C1 FE 01"), "00:02 00 00 00 00 00");
    EXPECT_EQ(send(0xBF, "01 0020 02 1F 02 C1 FE 01"), "01:");
    EXPECT_EQ(send(0xBF, "01 0020 02 1F 02 C1 FE 01"), "00:02 00 00 00");
    EXPECT_EQ(bus.dat(1)->executed.at(0xC1), 3); // the status fault and silence carried out nothing
    EXPECT_EQ(send(0xBB, "01 06 00 0000 0018 0030 0000 E0 0F FE DE 01 02"), "00:");
    bus.setUmux(std::nullopt);
    EXPECT_EQ(send(0xBB, "01 06 00 0000 0018 0030 0000 E0 0F FE DE 01 02"), "01:");
}

} // namespace
} // namespace krnsim

// Function units' commands through libvkfu and libvkkrn to the simulated
// function-unit bus behind the reader.
#include <vkdm/vkdm_core.h>

#include <krnsim/function_units.h>
#include <krnsim/simulator.h>
#include <vktesting/temp_dir.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using krnsim::Bytes;

constexpr const char* kAddress = "04 00 00 00 01 00 00";
constexpr const char* kValue1 = "04 01 00 00 01 00 00";
constexpr const char* kValue2 = "04 01 01 00 01 00 00";
constexpr const char* kVersion = "04 02 00 00 07 00 00";
constexpr const char* kValues = "04 03 00 00 06 00 00";
constexpr const char* kStatus = "04 04 00 00 01 00 00";

class UnitCommandsTest : public vktesting::TempDirTest {
  protected:
    void SetUp() override {
        vktesting::TempDirTest::SetUp();
        bus.attach(sim.reader());
        bus.addDat(1);
        bus.addMux(2);
        bus.setUmux(krnsim::UmuxUnit{});
        ASSERT_EQ(module.ConnectTCP("127.0.0.1", sim.listenTcp().port), 0);
        ASSERT_EQ(dat.SetData(kAddress, static_cast<unsigned char>(1)), 0);
        ASSERT_EQ(mux.SetData(kAddress, static_cast<unsigned char>(2)), 0);
    }

    static Bytes field(VKDM_KRNFunctionUnit& unit, const char* id, int count) {
        Bytes out(static_cast<std::size_t>(count));
        EXPECT_EQ(unit.GetData(id, out.data(), count), 0);
        return out;
    }

    krnsim::Simulator sim;
    krnsim::FunctionUnitBus bus;
    VKDM_KRNReaderModule module;
    VKDM_KRNFunctionUnit dat{&module, 10};
    VKDM_KRNFunctionUnit mux{&module, 11};
    VKDM_KRNFunctionUnit umux{&module, 12};
};

TEST_F(UnitCommandsTest, VersionsAndValuesAreWrittenBack) {
    struct Case {
        VKDM_KRNFunctionUnit* unit;
        unsigned char command;
        const char* id;
        Bytes expected;
    };
    const Case cases[] = {
        {&dat, 0xC0, kVersion, krnsim::DatUnit{}.version},
        {&dat, 0xC3, kValues, krnsim::DatUnit{}.values},
        {&mux, 0xDF, kVersion, krnsim::MuxUnit{}.version},
        {&umux, 0xDF, kVersion, krnsim::UmuxUnit{}.version},
        {&umux, 0xDC, kValues, krnsim::UmuxUnit{}.power},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command);
        EXPECT_EQ(c.unit->SendProtocol(c.command), 0);
        EXPECT_EQ(c.unit->GetLastError(), 0);
        Bytes got = field(*c.unit, c.id, static_cast<int>(c.expected.size()));
        EXPECT_EQ(got, c.expected);
        EXPECT_EQ(field(*c.unit, kStatus, 1), Bytes{0x00});
    }
}

TEST_F(UnitCommandsTest, ArgumentsComeFromTheUnitsDataMemory) {
    ASSERT_EQ(dat.SetData(kValue1, static_cast<unsigned char>(5)), 0);
    ASSERT_EQ(dat.SetData(kValue2, static_cast<unsigned char>(6)), 0);
    EXPECT_EQ(dat.SendProtocol(0xC2), 0);
    EXPECT_EQ(bus.dat(1)->capacity1, 5);
    EXPECT_EQ(bus.dat(1)->capacity2, 6);

    ASSERT_EQ(mux.SetData(kValue1, static_cast<unsigned char>(3)), 0);
    EXPECT_EQ(mux.SendProtocol(0xDD), 0);
    EXPECT_EQ(bus.mux(2)->channel1, 3);

    ASSERT_EQ(umux.SetData(kValue1, static_cast<unsigned char>(1)), 0);
    ASSERT_EQ(umux.SetData(kValue2, static_cast<unsigned char>(2)), 0);
    ASSERT_EQ(umux.SetData("04 01 02 00 01 00 00", static_cast<unsigned char>(3)), 0);
    EXPECT_EQ(umux.SendProtocol(0xDD), 0);
    EXPECT_EQ(bus.umux()->selected, (Bytes{1, 2, 3}));
}

TEST_F(UnitCommandsTest, UnitStatusAndFailuresComeBack) {
    bus.queueFault(1, krnsim::UnitFault::status(0x10));
    EXPECT_EQ(dat.SendProtocol(0xC8), 0x10); // the unit status is the result
    EXPECT_EQ(field(dat, kStatus, 1), Bytes{0x10});
    char text[256];
    EXPECT_EQ(dat.GetStatusText(text, 0x10), 0);
    EXPECT_STREQ(text, "Unit: EEPROM Error");

    bus.queueUmuxFault(krnsim::UnitFault::status(0x0F));
    EXPECT_EQ(umux.SendProtocol(0xDE), 0x0F);
    EXPECT_EQ(field(umux, kStatus, 1), Bytes{0x0F});

    bus.queueFault(2, krnsim::UnitFault::silence());
    EXPECT_EQ(mux.SendProtocol(0xDC), -4132); // no unit answered
    EXPECT_EQ(mux.GetLastError(), -4132);
    EXPECT_EQ(mux.GetErrorText(text, -4132), 0);
    EXPECT_NE(std::string(text).find("VKFU"), std::string::npos) << text;

    EXPECT_EQ(dat.SendProtocol(0xDF), -118); // a multiplexer command
    EXPECT_EQ(mux.SendProtocol(0xC0), -118);
    EXPECT_EQ(dat.GetLastError(), -118);
}

TEST(UnitCommandsUnconnected, NeedTheReadersConnection) {
    VKDM_KRNReaderModule module;
    VKDM_KRNFunctionUnit unit(&module, 10);
    EXPECT_EQ(unit.SendProtocol(0xC0), -110);
    EXPECT_EQ(unit.GetLastError(), -110);
}

} // namespace

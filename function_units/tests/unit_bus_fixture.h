// A simulated reader with a function-unit bus, reached through the real
// libvktcp and libvkkrn on loopback: a tuner at address 5, a multiplexer with
// four channels at address 6 and the second multiplexer kind.
#ifndef VKFU_TESTS_UNIT_BUS_FIXTURE_H
#define VKFU_TESTS_UNIT_BUS_FIXTURE_H

#include "hex_text.h"
#include "sim_link.h"

#include <krnsim/function_units.h>
#include <vkfu.h>
#include <vkkrn.h>

#include <gtest/gtest.h>

namespace vkfu_test {

inline constexpr unsigned char kBus = 1; // the simulated reader's bus address
inline constexpr unsigned char kDat = 5;
inline constexpr unsigned char kMux = 6;

// The tuner of the fixture, with get-values bytes of its own.
inline krnsim::DatUnit fixtureDat() {
    krnsim::DatUnit unit;
    unit.values = {0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6};
    return unit;
}

class UnitBus {
  public:
    UnitBus() {
        resetUnits();
        bus.attach(link.sim.reader());
        reader = link.newReader("300");
    }
    ~UnitBus() { VKKRN_DeleteReader(reader); }
    UnitBus(const UnitBus&) = delete;
    UnitBus& operator=(const UnitBus&) = delete;

    void resetUnits() {
        bus.addDat(kDat, fixtureDat());
        bus.addMux(kMux);
        bus.setUmux(krnsim::UmuxUnit{});
    }
    krnsim::Reader& simReader() { return link.sim.reader(); }
    std::size_t requests() { return simReader().log().size(); }
    // Command byte and data of the last request the reader received, "BF: 01 00 20 ...".
    std::string lastRequest() {
        const auto entries = simReader().log().entries();
        if (entries.empty()) return "none";
        return toHex(&entries.back().command, 1) + ": " + toHex(entries.back().data);
    }

    SimLink link{LinkKind::Tcp};
    krnsim::FunctionUnitBus bus;
    int reader = 0;
};

class UnitBusTest : public ::testing::Test, public UnitBus {
  protected:
    // Values no call leaves behind, to see what a call changed.
    void markState() {
        g_iLastError = 12345;
        g_ucLastStatus = 0x55;
    }
};

} // namespace vkfu_test

#endif

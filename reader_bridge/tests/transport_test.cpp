// Opening the dongle, the connection check, and a dongle that is absent, foreign
// or stops answering.
#include "dongle_fixture.h"

#include <cstring>

namespace kestoreader_test {
namespace {

using hidsim::Fn;

TEST_F(DongleTest, NoDongleConnectTriesElevenTimesAndChecksFail) {
    hidsim::unplug(device);
    HidManager m;
    EXPECT_EQ(QM30DLL_USBconnect(&m), 1);
    EXPECT_EQ(hidsim::counters().openAttempts, 11);
    EXPECT_EQ(hidsim::counters().inits, 11);
    EXPECT_EQ(QM30DLL_USBhandlecheck(&m), 5);
    EXPECT_EQ(QM30DLL_getMCUrev(&m, reply.data()), 1);
    EXPECT_EQ(QM30Dll_Echo(&m, reply.data()), 5);
    EXPECT_EQ(reply[0], 'X');
    EXPECT_EQ(MCUrev, kMCUrevInitial);
    EXPECT_TRUE(hidsim::calls(Fn::Write).empty());
}

TEST_F(DongleTest, OpensOnceInBlockingModeAndASecondInitOpensNothing) {
    HidManager m;
    EXPECT_EQ(QM30DLL_USBconnect(&m), 0);
    EXPECT_TRUE(m.Init());
    EXPECT_EQ(QM30DLL_USBconnect(&m), 0);
    EXPECT_EQ(hidsim::counters().openAttempts, 1);
    EXPECT_EQ(hidsim::counters().opens, 1);
    EXPECT_EQ(hidsim::counters().blockingSets, 1);
    EXPECT_EQ(hidsim::counters().nonblockingSets, 0);
    std::vector<hidsim::Call> opens = hidsim::calls(Fn::Open);
    ASSERT_EQ(opens.size(), 1u);
    EXPECT_EQ(opens[0].value, KESTO_VENDOR_ID << 16 | KESTO_PRODUCT_ID2);
    EXPECT_EQ(QM30DLL_USBhandlecheck(&m), 0);
    EXPECT_EQ(hidsim::counters().manufacturerReads, 1);
    EXPECT_EQ(hidsim::counters().exits, 0);
}

TEST_F(DongleTest, TheDestructorClosesTheDevice) {
    {
        HidManager m;
        ASSERT_TRUE(m.Init());
        EXPECT_EQ(hidsim::counters().liveHandles, 1);
    }
    EXPECT_EQ(hidsim::counters().closes, 1);
}

TEST_F(DongleTest, TheSimulatedIdsAreTheProducts) {
    EXPECT_EQ(qm30sim::kVendorId, KESTO_VENDOR_ID);
    EXPECT_EQ(qm30sim::kProductId, KESTO_PRODUCT_ID2);
    EXPECT_STREQ(qm30sim::kManufacturer, KESTO_MANUFACTURER);
}

// Every command that checks the connection, with a valid command text.
int runCommand(int which, HidManager* m, char* reply) {
    switch (which) {
    case 0: return QM30Dll_Echo(m, reply);
    case 1: return QM30Dll_Idn(m, reply);
    case 2: return QM30Dll_FieldOff(m, reply);
    case 3: return QM30Dll_Select(m, "0200", reply);
    case 4: return QM30Dll_SendReceive(m, "26", reply);
    case 5: return QM30Dll_KestoCmd(m, "0155", reply);
    case 6: return QM30Dll_ResetSPI(m, reply);
    case 7: return QM30DLL_getInterfacePinState(m, reply);
    case 8: return QM30Dll_Polling_Reading(m, reply);
    case 9: return QM30Dll_SendNSSPulse(m, reply);
    case 10: return QM30DLL_getHardwareVersion(m, reply);
    default: return QM30DLL_USBhandlecheck(m);
    }
}
constexpr int kCommands = 12;

TEST_F(DongleTest, AForeignManufacturerFailsEveryCommandWithoutWriting) {
    HidManager* m = connect();
    hidsim::setManufacturer(device, L"Kesto ");
    for (int which = 0; which < kCommands; ++which) {
        EXPECT_EQ(runCommand(which, m, reply.data()), 5) << which;
        EXPECT_EQ(hidsim::counters().manufacturerReads, which + 1) << which;
    }
    EXPECT_EQ(reply[0], 'X');
    EXPECT_TRUE(written().empty());
    EXPECT_EQ(QM30DLL_getMCUrev(m, reply.data()), 0); // no connection check there
    EXPECT_EQ(hidsim::counters().manufacturerReads, kCommands);
}

TEST_F(DongleTest, UnpluggedEveryCommandGivesFiveAndNoReport) {
    HidManager* m = connect();
    hidsim::unplug(device);
    for (int which = 0; which < kCommands; ++which)
        EXPECT_EQ(runCommand(which, m, reply.data()), 5) << which;
    EXPECT_EQ(QM30Dll_Select(m, "", reply.data()), 5);
    EXPECT_EQ(QM30DLL_getMCUrev(m, reply.data()), 1);
    EXPECT_EQ(reply[0], 'X');
    EXPECT_TRUE(written().empty());
}

// A failed exchange is a dongle that is not connected: no reply text, 5 (1 for
// getMCUrev), MCUrev unchanged.
struct ExchangeFault {
    const char* name;
    void (*arm)(int device);
};

const ExchangeFault kExchangeFaults[] = {
    {"short write", [](int) { hidsim::failNth(Fn::Write, 1, 63); }},
    {"failed write", [](int) { hidsim::failNth(Fn::Write, 1, -1); }},
    {"silence", [](int device) { hidsim::setSilent(device, true); }},
    {"two bytes read", [](int) { hidsim::shortRead(1, 2); }},
    // Last: the answers of failed reads stay queued in the device.
    {"failed read", [](int) { hidsim::failNth(Fn::Read, 1, -1); }},
};

TEST_F(DongleTest, AFailedExchangeIsNotConnected) {
    HidManager* m = connect();
    model->setRevision({0x01, 0x02, 0x03});
    for (const ExchangeFault& fault : kExchangeFaults) {
        for (int which = 0; which < kCommands - 1; ++which) {
            fault.arm(device);
            EXPECT_EQ(runCommand(which, m, reply.data()), 5) << fault.name << " " << which;
            hidsim::setSilent(device, false);
        }
        fault.arm(device);
        EXPECT_EQ(QM30DLL_getMCUrev(m, reply.data()), 1) << fault.name;
        hidsim::setSilent(device, false);
        EXPECT_EQ(reply[0], 'X') << fault.name;
        EXPECT_EQ(MCUrev, kMCUrevInitial) << fault.name;
    }
    // A silent dongle costs one bounded read each time, never a blocking one.
    for (const hidsim::Call& read : hidsim::calls(Fn::Read))
        EXPECT_EQ(read.timeout, 3000);
    // The manager stays usable.
    EXPECT_EQ(QM30DLL_USBhandlecheck(m), 0);
}

TEST_F(DongleTest, NullArgumentsSendNothing) {
    HidManager* m = connect();
    EXPECT_EQ(QM30Dll_essai(nullptr), 2);
    EXPECT_EQ(QM30Dll_Echo(nullptr, reply.data()), 5);
    EXPECT_EQ(QM30Dll_Echo(m, nullptr), 2);
    EXPECT_EQ(QM30Dll_Select(nullptr, "01", reply.data()), 5);
    EXPECT_EQ(QM30Dll_Select(m, nullptr, reply.data()), 2);
    EXPECT_EQ(QM30Dll_Select(m, "01", nullptr), 2);
    EXPECT_EQ(QM30Dll_SendReceive(nullptr, "26", reply.data()), 5);
    EXPECT_EQ(QM30Dll_SendReceive(m, nullptr, reply.data()), 2);
    EXPECT_EQ(QM30Dll_SendReceive(m, "26", nullptr), 2);
    EXPECT_EQ(QM30Dll_KestoCmd(nullptr, "0155", reply.data()), 5);
    EXPECT_EQ(QM30Dll_KestoCmd(m, nullptr, reply.data()), 2);
    EXPECT_EQ(QM30Dll_KestoCmd(m, "0155", nullptr), 2);
    EXPECT_EQ(QM30DLL_getMCUrev(nullptr, reply.data()), 1);
    EXPECT_EQ(QM30DLL_getMCUrev(m, nullptr), 2);
    EXPECT_EQ(QM30DLL_USBhandlecheck(nullptr), 5);
    EXPECT_EQ(QM30DLL_USBconnect(nullptr), 1);
    EXPECT_EQ(reply[0], 'X');
    EXPECT_TRUE(written().empty());
    EXPECT_EQ(hidsim::counters().manufacturerReads, 0);
}

TEST_F(DongleTest, EssaiWritesItsWord) {
    EXPECT_EQ(QM30Dll_essai(reply.data()), 0);
    EXPECT_STREQ(text(), "essai");
    EXPECT_TRUE(hidsim::calls().empty());
}

} // namespace
} // namespace kestoreader_test

// The commands of one report each: what goes out, what the reply text says.
#include "dongle_fixture.h"

#include <cstring>

namespace kestoreader_test {
namespace {

struct SimpleCase {
    const char* name;
    int (*call)(HidManager*, char*);
    const char* report; // head of the output report, as hex
    const char* reply;  // with the model's settings below
};

const SimpleCase kSimple[] = {
    {"Echo", QM30Dll_Echo, "0155", "5500"},
    {"Idn", QM30Dll_Idn, "010100", "0004514D3330"},
    {"FieldOff", QM30Dll_FieldOff, "0102020000", "0000"},
    {"ResetSPI", QM30Dll_ResetSPI, "02BD", "BD0111"},
    {"pin state", QM30DLL_getInterfacePinState, "02BA", "BA0122"},
    {"polling read", QM30Dll_Polling_Reading, "02B8", "B8023344"},
    {"NSS pulse", QM30Dll_SendNSSPulse, "02B9", "B900"},
    {"hardware version", QM30DLL_getHardwareVersion, "02B2", "B2030A0B0C"},
};

TEST_F(DongleTest, SimpleCommands) {
    model->setIdentification("QM30");
    model->setControllerData(0xBD, {0x11});
    model->setControllerData(0xBA, {0x22});
    model->setControllerData(0xB8, {0x33, 0x44});
    model->setControllerData(0xB9, {});
    model->setControllerData(0xB2, {0x0A, 0x0B, 0x0C});
    HidManager* m = connect();
    for (const SimpleCase& c : kSimple) {
        const int readsBefore = hidsim::counters().manufacturerReads;
        hidsim::clearCalls();
        EXPECT_EQ(c.call(m, reply.data()), 0) << c.name;
        EXPECT_STREQ(text(), c.reply) << c.name;
        std::vector<hidsim::Report> out = written();
        ASSERT_EQ(out.size(), 1u) << c.name;
        EXPECT_EQ(out[0].size(), 64u) << c.name;
        std::string head = c.report;
        EXPECT_EQ(hexHead(out[0], head.size() / 2), head) << c.name;
        EXPECT_EQ(hex({out[0].begin() + static_cast<long>(head.size() / 2), out[0].end()}),
                  std::string(128 - head.size(), '0'))
            << c.name;
        EXPECT_EQ(hidsim::counters().manufacturerReads - readsBefore, 1) << c.name;
    }
}

TEST_F(DongleTest, ALengthBytePastTheReportIsCutToWhatWasRead) {
    HidManager* m = connect();
    model->setIdentification("ABC");
    model->nextLengthByte(0xFF);
    hidsim::shortRead(1, 8); // id, code, length, five data bytes
    EXPECT_EQ(QM30Dll_Idn(m, reply.data()), 0);
    EXPECT_STREQ(text(), "00FF4142430000");
}

struct SelectCase {
    const char* name;
    int code; // the transceiver's answer; -1: accepted
    int result;
    const char* reply;
};

const SelectCase kSelect[] = {
    {"accepted", -1, 0, "0000"},
    {"invalid length", 0x82, 3, "8200 : Invalid command length"},
    {"invalid protocol", 0x83, 3, "8300 : Invalid protocol"},
    {"other code", 0x86, 3, "untouched"},
};

TEST_F(DongleTest, Select) {
    HidManager* m = connect();
    for (const SelectCase& c : kSelect) {
        std::strcpy(reply.data(), "untouched");
        hidsim::clearCalls();
        if (c.code == 0x86)
            model->nextResultCode(0x86);
        else if (c.code >= 0)
            model->failNextSelect(static_cast<std::uint8_t>(c.code));
        EXPECT_EQ(QM30Dll_Select(m, "0201", reply.data()), c.result) << c.name;
        EXPECT_STREQ(text(), c.reply) << c.name;
        ASSERT_EQ(written().size(), 1u);
        EXPECT_EQ(hexHead(written()[0], 6), "010202020100") << c.name;
    }
    EXPECT_EQ(model->selectedProtocol(), (std::vector<std::uint8_t>{0x02, 0x01}));
}

// Command texts refused with 2 before anything is sent (after the connection check).
struct RefusedCase {
    const char* name;
    int (*call)(HidManager*, const char*, char*);
    std::string cmd;
};

TEST_F(DongleTest, BadCommandTextsAreRefused) {
    const RefusedCase cases[] = {
        {"Select empty", QM30Dll_Select, ""},
        {"Select one digit", QM30Dll_Select, "0"},
        {"Select 62 bytes", QM30Dll_Select, frameText(62)},
        {"Select sign", QM30Dll_Select, "02+1"},
        {"Select blank", QM30Dll_Select, " 201"},
        {"Select 0x", QM30Dll_Select, "0x01"},
        {"KestoCmd empty", QM30Dll_KestoCmd, ""},
        {"KestoCmd 65 bytes", QM30Dll_KestoCmd, frameText(65)},
        {"KestoCmd not hex", QM30Dll_KestoCmd, "01G5"},
        {"SendReceive 768 bytes", QM30Dll_SendReceive, frameText(768)},
        {"SendReceive not hex", QM30Dll_SendReceive, "2X"},
    };
    HidManager* m = connect();
    for (const RefusedCase& c : cases) {
        EXPECT_EQ(c.call(m, c.cmd.c_str(), reply.data()), 2) << c.name;
        EXPECT_EQ(reply[0], 'X') << c.name;
    }
    EXPECT_TRUE(written().empty());
    EXPECT_EQ(hidsim::counters().manufacturerReads, static_cast<int>(std::size(cases)));
    MCUrev = kLastSingleReportRev;
    EXPECT_EQ(QM30Dll_SendReceive(m, frameText(62).c_str(), reply.data()), 2);
    EXPECT_TRUE(written().empty());
}

TEST_F(DongleTest, TheLongestCommandsThatFitGoOut) {
    HidManager* m = connect();
    EXPECT_EQ(QM30Dll_Select(m, frameText(61).c_str(), reply.data()), 0);
    ASSERT_EQ(written().size(), 1u);
    EXPECT_EQ(hexHead(written()[0], 64), "01023D" + frameText(61));
    hidsim::clearCalls();
    // An odd digit is dropped; either case reads.
    EXPECT_EQ(QM30Dll_Select(m, "aBc", reply.data()), 0);
    EXPECT_EQ(hexHead(written()[0], 4), "0102"
                                        "01AB");
}

TEST_F(DongleTest, KestoCmdSendsItsTextAsTheWholeReport) {
    HidManager* m = connect();
    EXPECT_EQ(QM30Dll_KestoCmd(m, "02A8", reply.data()), 0);
    EXPECT_STREQ(text(), "0000");
    const std::string full = "0155" + frameText(62); // 64 bytes
    hidsim::clearCalls();
    EXPECT_EQ(QM30Dll_KestoCmd(m, full.c_str(), reply.data()), 0);
    ASSERT_EQ(written().size(), 1u);
    EXPECT_EQ(hex(written()[0]), full);
    EXPECT_STREQ(text(), "5500");
}

struct RevisionCase {
    std::vector<std::uint8_t> bytes;
    int expected;
    const char* reply;
};

TEST_F(DongleTest, GetMCUrevSetsTheRevisionAndTheTransferMode) {
    const RevisionCase cases[] = {
        {{0x03, 0x06, 0x03}, 0x363, "BC03030603"},
        {{0x03, 0x06, 0x04}, 0x364, "BC03030604"},
        {{0x01, 0x0F, 0x0F}, 0x1FF, "BC03010F0F"},
        {{0x01, 0x10, 0x00, 0x09}, 0x200, "BC0401100009"},
    };
    for (const RevisionCase& c : cases) {
        HidManager* m = connect();
        model->setRevision(c.bytes);
        const int readsBefore = hidsim::counters().manufacturerReads;
        EXPECT_EQ(QM30DLL_getMCUrev(m, reply.data()), 0);
        EXPECT_EQ(MCUrev, c.expected);
        EXPECT_STREQ(text(), c.reply);
        EXPECT_EQ(hidsim::counters().manufacturerReads, readsBefore);
        ASSERT_EQ(written().size(), 1u);
        EXPECT_EQ(hexHead(written()[0], 2), "02BC");
        // The next frame goes out in one report up to 0x363, in chunks above.
        hidsim::clearCalls();
        QM30Dll_SendReceive(m, "26", reply.data());
        EXPECT_EQ(hexHead(written()[0], 2), c.expected > 0x363 ? "02A6" : "0104");
    }
}

TEST_F(DongleTest, GetMCUrevWithFewerThanThreeBytesKeepsTheRevision) {
    HidManager m;
    model->setRevision({0x02, 0x00});
    EXPECT_EQ(QM30DLL_getMCUrev(&m, reply.data()), 0); // opens the dongle itself
    EXPECT_EQ(MCUrev, kMCUrevInitial);
    EXPECT_STREQ(text(), "BC020200");
    // A length byte claiming three bytes that were never read changes nothing either.
    model->setRevision({0x01, 0x02, 0x03});
    model->nextLengthByte(3);
    hidsim::shortRead(1, 4);
    EXPECT_EQ(QM30DLL_getMCUrev(&m, reply.data()), 0);
    EXPECT_EQ(MCUrev, kMCUrevInitial);
    EXPECT_STREQ(text(), "BC0301");
}

} // namespace
} // namespace kestoreader_test

// ReadReaderInfo and ReadReaderDiagnostic from Java: the fields each group of
// an injected record fills, the reader-type rules of mode 0x04, counts and
// texts, failures; end to end against the simulated reader's 0x66 and 0x6E.
#include "data_jvm_fixture.h"
#include "simulated_module.h"

#include <cstring>

namespace {

using namespace vkdata;

constexpr char kInfo[] = "(IZ)Lde/varek/VkdmKrnReaderInfo;";
constexpr char kDiagnostic[] = "(I)Lde/varek/VkdmKrnReaderDiagnostic;";

class ReportJvmTest : public DataJvmTest {
  protected:
    // ReadReaderInfo with an injected record; the object (null after a throw).
    Local<jobject> info(const VKDM_ReaderInfo& record, bool read = true) {
        VKDM_CTL_InjectReaderInfo(module, &record);
        return readInfo(read);
    }
    Local<jobject> readInfo(bool read) {
        const Outcome o = call("ReadReaderInfo", kInfo, {I(handle), Z(read)});
        EXPECT_FALSE(o.thrown) << o.thrown->className << o.thrown->message;
        return {env, o.value.l};
    }
    Local<jobject> diagnostic(const VKDM_ReaderDiagnostic& record) {
        VKDM_CTL_InjectReaderDiagnostic(module, &record);
        const Outcome o = call("ReadReaderDiagnostic", kDiagnostic, {I(handle)});
        EXPECT_FALSE(o.thrown) << o.thrown->className << o.thrown->message;
        return {env, o.value.l};
    }
};

// Distinct bytes everywhere, so that a field copied from the wrong place shows.
VKDM_ReaderInfo patterned() {
    VKDM_ReaderInfo record{};
    auto* bytes = reinterpret_cast<unsigned char*>(&record);
    const std::size_t flags = offsetof(VKDM_ReaderInfo, rfcSwVer);
    for (std::size_t k = flags; k < sizeof record; ++k)
        bytes[k] = static_cast<unsigned char>(k * 7 + 1);
    return record;
}

Bytes at(const unsigned char* p, std::size_t n) {
    return Bytes(p, p + n);
}

TEST_F(ReportJvmTest, OnlyModeZeroRead) {
    VKDM_ReaderInfo record = patterned();
    record.mode00 = true;
    auto object = info(record);
    ASSERT_NE(object.get(), nullptr);
    Fields f(env, object);
    EXPECT_TRUE(f.flag("isMode0x00Read"));
    EXPECT_FALSE(f.flag("isMode0x01Read"));
    EXPECT_FALSE(f.flag("isRfcFrequency"));
    EXPECT_EQ(f.bytes("rfcSwVer"), at(record.rfcSwVer, 2));
    EXPECT_EQ(f.byte("rfcDevVer"), record.rfcDevVer);
    EXPECT_EQ(f.byte("rfcHwType"), record.rfcHwType);
    EXPECT_EQ(f.byte("readerType"), record.readerType);
    EXPECT_EQ(f.bytes("rfcTrType"), at(record.rfcTrType, 2));
    EXPECT_EQ(f.bytes("rfcRxBufferSize"), at(record.rfcRxBufferSize, 2));
    EXPECT_EQ(f.bytes("rfcTxBufferSize"), at(record.rfcTxBufferSize, 2));
    EXPECT_EQ(f.bytes("rfcUhfTrType"), at(record.rfcUhfTrType, 2));
    // The other groups keep their constructor values.
    EXPECT_FALSE(f.bytes("accSwVer"));
    EXPECT_EQ(f.byte("accDevVer"), 0);
    EXPECT_FALSE(f.bytes("rfcDevID"));
    EXPECT_EQ(f.byte("rfcFrequency"), 0);
    EXPECT_EQ(f.byte("noOfPeopleCounter"), 0);
    ASSERT_TRUE(f.text("report"));
    EXPECT_THAT(*f.text("report"), ::testing::HasSubstr("0x00"));
}

TEST_F(ReportJvmTest, EachGroupAlone) {
    const VKDM_ReaderInfo base = patterned();
    struct Row {
        bool VKDM_ReaderInfo::*flag;
        const char* readFlag; // its isMode...Read field, or null
        const char* field;    // a byte array the group sets
        std::size_t offset;
        std::size_t size;
    };
#define VK_AT(member) offsetof(VKDM_ReaderInfo, member)
    const Row rows[] = {
        {&VKDM_ReaderInfo::mode01, "isMode0x01Read", "accSwVer", VK_AT(accSwVer), 2},
        {&VKDM_ReaderInfo::mode02, "isMode0x02Read", "usbSwVer", VK_AT(usbSwVer), 2},
        {&VKDM_ReaderInfo::mode03, "isMode0x03Read", "decoderType", VK_AT(decoderType), 5},
        {&VKDM_ReaderInfo::mode05, "isMode0x05Read", "bootSwVer", VK_AT(bootSwVer), 2},
        {&VKDM_ReaderInfo::mode06, "isMode0x06Read", "keybHwVer", VK_AT(keybHwVer), 2},
        {&VKDM_ReaderInfo::mode07, "isMode0x07Read", "dlqioSwVer", VK_AT(dlqioSwVer), 2},
        {&VKDM_ReaderInfo::mode08, "isMode0x08Read", "rfcSupportedTagDriver", VK_AT(rfcSupportedTagDriver),
         14},
        {&VKDM_ReaderInfo::mode10, "isMode0x10Read", "rfcAHw", VK_AT(rfcAHw), 2},
        {&VKDM_ReaderInfo::mode11, "isMode0x11Read", "slotInfo", VK_AT(slotInfo), 4},
        {&VKDM_ReaderInfo::mode12, "isMode0x12Read", "rfcCpuFlashSize", VK_AT(rfcCpuFlashSize), 4},
        {&VKDM_ReaderInfo::mode40, "isMode0x40Read", "cfgReadPermissions", VK_AT(cfgReadPermissions), 16},
        {&VKDM_ReaderInfo::mode41, "isMode0x41Read", "cfgWritePermissions", VK_AT(cfgWritePermissions), 16},
        {&VKDM_ReaderInfo::lanMac, nullptr, "lanMac", VK_AT(lanMacAddr), 6},
        {&VKDM_ReaderInfo::lanIp, nullptr, "lanIpV6", VK_AT(lanIpV6), 16},
        {&VKDM_ReaderInfo::lanNetmask, nullptr, "lanNetmaskV4", VK_AT(lanNetmaskV4), 4},
        {&VKDM_ReaderInfo::lanGateway, nullptr, "lanGatewayV6", VK_AT(lanGatewayV6), 16},
        {&VKDM_ReaderInfo::wlanMac, nullptr, "wlanMac", VK_AT(wlanMacAddr), 6},
        {&VKDM_ReaderInfo::wlanIp, nullptr, "wlanIpV4", VK_AT(wlanIpV4), 4},
        {&VKDM_ReaderInfo::wlanNetmask, nullptr, "wlanNetmaskV6", VK_AT(wlanNetmaskV6), 16},
        {&VKDM_ReaderInfo::wlanGateway, nullptr, "wlanGatewayV4", VK_AT(wlanGatewayV4), 4},
        {&VKDM_ReaderInfo::mode80, "isMode0x80Read", "rfcLicenseUhfFct", VK_AT(rfcLicenseUhfFct), 2},
    };
#undef VK_AT
    for (const Row& row : rows) {
        SCOPED_TRACE(row.field);
        VKDM_ReaderInfo record = base;
        record.*row.flag = true;
        auto object = info(record);
        ASSERT_NE(object.get(), nullptr);
        Fields f(env, object);
        if (row.readFlag != nullptr) {
            EXPECT_TRUE(f.flag(row.readFlag));
        }
        EXPECT_FALSE(f.flag("isMode0x00Read"));
        EXPECT_EQ(f.bytes(row.field),
                  at(reinterpret_cast<const unsigned char*>(&record) + row.offset, row.size));
        EXPECT_FALSE(f.bytes("rfcSwVer")); // mode 0x00 was not read
        EXPECT_TRUE(f.text("report"));
    }
    // Single bytes of some groups, and the derived ones.
    VKDM_ReaderInfo record = base;
    record.mode03 = record.mode07 = record.mode60 = true;
    auto object = info(record);
    Fields f(env, object);
    EXPECT_EQ(f.bytes("fpgaSwVer"), at(record.decoderType, 2));
    EXPECT_EQ(f.byte("fpgaDevVer"), record.decoderType[2]);
    EXPECT_EQ(f.byte("fpgaHwType"), record.decoderType[3]);
    EXPECT_EQ(f.byte("selfTest"), record.selfTest);
    EXPECT_EQ(f.byte("dlqioNoOfSignalers"), record.dlqioNoOfSignalers);
    EXPECT_EQ(f.byte("noOfRelays"), record.noOfRelays);
}

TEST_F(ReportJvmTest, ModeFourFieldsByReaderType) {
    struct Row {
        unsigned char readerType;
        int fields; // 0, 2 or 5 of the mode-0x04 fields
    };
    const Row rows[] = {{80, 2}, {81, 2}, {82, 5}, {88, 2}, {89, 5}, {90, 0}, {100, 5}, {42, 0}};
    for (const Row& row : rows) {
        SCOPED_TRACE(static_cast<int>(row.readerType));
        VKDM_ReaderInfo record = patterned();
        record.mode04 = true; // mode 0x00 not read: its reader type counts all the same
        record.readerType = row.readerType;
        auto object = info(record);
        ASSERT_NE(object.get(), nullptr);
        Fields f(env, object);
        EXPECT_EQ(f.byte("readerType"), 0);
        EXPECT_EQ(f.byte("dlqFctTemplate"), row.fields >= 2 ? record.dlqFctTemplate : 0);
        EXPECT_EQ(f.byte("dlqFctList0"), row.fields >= 2 ? record.dlqFct[0] : 0);
        EXPECT_EQ(f.byte("dlqFctList1"), row.fields == 5 ? record.dlqFct[1] : 0);
        EXPECT_EQ(f.byte("dlqFctList2"), row.fields == 5 ? record.dlqFct[2] : 0);
        if (row.fields == 5) {
            EXPECT_EQ(f.bytes("fwIdentifier"), at(record.dlqFct + 3, 2));
        } else {
            EXPECT_FALSE(f.bytes("fwIdentifier"));
        }
    }
}

TEST_F(ReportJvmTest, PagesFrequencyAndPeopleCounters) {
    struct Row {
        bool mode40, mode41, mode10, frequency;
    };
    const Row rows[] = {{true, false, false, false},
                        {false, true, false, false},
                        {false, false, true, false},
                        {false, false, false, true},
                        {true, true, true, true}};
    for (const Row& row : rows) {
        VKDM_ReaderInfo record = patterned();
        record.mode40 = row.mode40;
        record.mode41 = row.mode41;
        record.mode10 = row.mode10;
        record.isRfcFrequency = row.frequency;
        auto object = info(record);
        Fields f(env, object);
        if (row.mode40 || row.mode41) {
            EXPECT_EQ(f.bytes("noOfCfgPages"), at(record.noOfCfgPages, 2));
        } else {
            EXPECT_FALSE(f.bytes("noOfCfgPages"));
        }
        EXPECT_EQ(f.flag("isRfcFrequency"), row.frequency);
        EXPECT_EQ(f.byte("rfcFrequency"), row.mode10 || row.frequency ? record.rfcFrequency : 0);
        EXPECT_EQ(f.byte("rfcPortTypes"), row.mode10 ? record.rfcPortTypes : 0);
    }
    VKDM_ReaderInfo record = patterned();
    record.mode61 = true;
    const unsigned char entries[6] = {1, 0x10, 0, 0x20, 1, 0x30};
    std::memcpy(record.peopleCounter, entries, 6);
    EXPECT_EQ(Fields(env, info(record)).byte("noOfPeopleCounter"), 2);
    record.peopleCounter[2] = 2; // only a first byte of 1 counts
    EXPECT_EQ(Fields(env, info(record)).byte("noOfPeopleCounter"), 2);
    record.peopleCounter[2] = 1;
    EXPECT_EQ(Fields(env, info(record)).byte("noOfPeopleCounter"), 3);
}

TEST_F(ReportJvmTest, WithoutReadingTheLastRecordIsCopied) {
    // None read yet: every flag false, no group, the report all the same.
    auto none = readInfo(false);
    ASSERT_NE(none.get(), nullptr);
    {
        Fields f(env, none);
        EXPECT_FALSE(f.flag("isMode0x00Read"));
        EXPECT_FALSE(f.bytes("rfcSwVer"));
        EXPECT_TRUE(f.text("report"));
    }
    VKDM_ReaderInfo first = patterned();
    first.mode00 = true;
    info(first);
    VKDM_ReaderInfo second = patterned();
    second.mode80 = true;
    clearLog();
    auto object = info(second, false); // injected, but not read
    EXPECT_TRUE(logOf("ReadReaderInfo").empty());
    Fields f(env, object);
    EXPECT_TRUE(f.flag("isMode0x00Read"));
    EXPECT_FALSE(f.flag("isMode0x80Read"));
}

TEST_F(ReportJvmTest, FailuresOfTheReads) {
    // Not connected and nothing injected: the module's last error.
    Outcome o = call("ReadReaderInfo", kInfo, {I(handle), Z(true)});
    EXPECT_TRUE(o.isNull);
    expectThrown(o, -110, "VkdmKrnReader_ReadReaderInfo");
    o = call("ReadReaderDiagnostic", kDiagnostic, {I(handle)});
    EXPECT_TRUE(o.isNull);
    expectThrown(o, -110, "VkdmKrnReader_ReadReaderDiagnostic");
    VKDM_CTL_ForceResult("ReadReaderInfo", -123);
    expectThrown(call("ReadReaderInfo", kInfo, {I(handle), Z(true)}), -123, "VkdmKrnReader_ReadReaderInfo");
    // An unlisted handle before anything else.
    clearLog();
    expectThrown(call("ReadReaderInfo", kInfo, {I(kUnlisted), Z(true)}), -141,
                 "VkdmKrnReader_ReadReaderInfo");
    expectThrown(call("ReadReaderDiagnostic", kDiagnostic, {I(kUnlisted)}), -141,
                 "VkdmKrnReader_ReadReaderDiagnostic");
    EXPECT_TRUE(log().empty());
}

TEST_F(ReportJvmTest, DiagnosticGroups) {
    VKDM_ReaderDiagnostic record{};
    auto* bytes = reinterpret_cast<unsigned char*>(&record);
    for (std::size_t k = offsetof(VKDM_ReaderDiagnostic, flagsA); k < sizeof record; ++k)
        bytes[k] = static_cast<unsigned char>(k * 5 + 3);
    std::memcpy(record.firmwareStatus, "firmware ok", 12);
    {
        // Nothing read: the flags, the report, nothing else.
        auto object = diagnostic(record);
        Fields f(env, object);
        EXPECT_FALSE(f.flag("isMode0x01Read"));
        EXPECT_EQ(f.byte("flagsA"), 0);
        EXPECT_FALSE(f.text("firmwareStatus"));
        EXPECT_TRUE(f.text("report"));
    }
    record.mode01 = record.mode03 = record.mode04 = record.mode05 = record.mode20 = record.mode21 = true;
    auto object = diagnostic(record);
    Fields f(env, object);
    for (const char* flag : {"isMode0x01Read", "isMode0x03Read", "isMode0x04Read", "isMode0x05Read",
                             "isMode0x20Read", "isMode0x21Read"})
        EXPECT_TRUE(f.flag(flag)) << flag;
    EXPECT_EQ(f.byte("flagsA"), record.flagsA);
    EXPECT_EQ(f.byte("flagsB"), record.flagsB);
    EXPECT_EQ(f.byte("muxStatusCh1"), record.muxStatusCh[0]);
    EXPECT_EQ(f.byte("muxStatusCh8"), record.muxStatusCh[7]);
    EXPECT_EQ(f.byte("intErrorB"), record.intErrorB);
    EXPECT_EQ(f.byte("muxStatus_Out1"), record.muxOut[0][0]);
    EXPECT_EQ(f.byte("muxPhaseError_LT50R_Out2"), record.muxOut[1][1]);
    EXPECT_EQ(f.byte("muxPhaseError_GT50R_Out4"), record.muxOut[3][2]);
    EXPECT_EQ(f.text("firmwareStatus"), "firmware ok");
    EXPECT_EQ(f.byte("configParaChangeStatus"), record.configParaChangeStatus);
}

TEST_F(ReportJvmTest, FirmwareTextAtAndPastItsLimitAndOfAnyBytes) {
    VKDM_ReaderDiagnostic record{};
    record.mode20 = true;
    std::memset(record.firmwareStatus, 'a', 31); // no NUL in the record
    EXPECT_EQ(Fields(env, diagnostic(record)).text("firmwareStatus"), std::string(31, 'a'));
    std::memcpy(record.firmwareStatus, "Fehler \xFC\x80\xFF", 11);
    record.firmwareStatus[11] = '\0';
    // Bytes that are not UTF-8 read as ISO 8859-1.
    EXPECT_EQ(Fields(env, diagnostic(record)).text16("firmwareStatus"), u"Fehler \u00FC\u0080\u00FF");
}

// ---- end to end ----------------------------------------------------------------

class ReportSimulatedTest : public vkbridge::SimulatedModuleTest {};

TEST_F(ReportSimulatedTest, ReaderInfoAsTheReaderAnswersIt) {
    // Reader type 84 in mode 0x00, function template and lists in mode 0x04.
    simulator.reader().setReaderInfo(
        0x00, Bytes{0x01, 0x02, 0x03, 0x4B, 84, 0x00, 0x03, 0x10, 0x00, 0x10, 0x00, 0, 0});
    simulator.reader().setReaderInfo(0x04, Bytes{0x21, 0x31, 0x32, 0x33, 0x41, 0x42, 0, 0, 0, 0, 0});
    simulator.reader().setReaderInfo(0x80, Bytes{0xDE, 0xAD, 0xBE, 0xEF});
    const Outcome o = vkbridge::callReader(env, "ReadReaderInfo", kInfo, {I(handle), Z(true)});
    ASSERT_FALSE(o.thrown) << o.thrown->message;
    Local<jobject> object(env, o.value.l);
    Fields f(env, object);
    EXPECT_TRUE(f.flag("isMode0x00Read"));
    EXPECT_EQ(f.bytes("rfcSwVer"), (Bytes{0x01, 0x02}));
    EXPECT_EQ(f.byte("readerType"), 84);
    EXPECT_EQ(f.bytes("rfcRxBufferSize"), (Bytes{0x10, 0x00}));
    EXPECT_TRUE(f.flag("isMode0x04Read"));
    EXPECT_EQ(f.byte("dlqFctTemplate"), 0x21);
    EXPECT_EQ(f.byte("dlqFctList2"), 0x33);
    EXPECT_EQ(f.bytes("fwIdentifier"), (Bytes{0x41, 0x42}));
    EXPECT_EQ(f.bytes("rfcDevID"), (Bytes{0xDE, 0xAD, 0xBE, 0xEF}));
    ASSERT_TRUE(f.text("report"));
    EXPECT_THAT(*f.text("report"), ::testing::HasSubstr("DE AD BE EF"));
    // Read once: without reading, the same record comes back.
    const Outcome again = vkbridge::callReader(env, "ReadReaderInfo", kInfo, {I(handle), Z(false)});
    ASSERT_FALSE(again.thrown);
    Local<jobject> copy(env, again.value.l);
    EXPECT_EQ(Fields(env, copy).byte("readerType"), 84);
}

TEST_F(ReportSimulatedTest, ReaderDiagnosticAsTheReaderAnswersIt) {
    simulator.reader().setHandler(0x6E, [](const krnsim::Request& request, krnsim::ConnectionContext&) {
        switch (request.data.at(0)) {
        case 0x01: return krnsim::Reply::frame(0, {0x0A, 0x0B});
        case 0x20: {
            Bytes text(40, 'z'); // past the record's 31 bytes
            return krnsim::Reply::frame(0, text);
        }
        case 0x21: return krnsim::Reply::frame(0, {0x07});
        default: return krnsim::Reply::frame(0x83);
        }
    });
    const Outcome o = vkbridge::callReader(env, "ReadReaderDiagnostic", kDiagnostic, {I(handle)});
    ASSERT_FALSE(o.thrown) << o.thrown->message;
    Local<jobject> object(env, o.value.l);
    Fields f(env, object);
    EXPECT_TRUE(f.flag("isMode0x01Read"));
    EXPECT_FALSE(f.flag("isMode0x03Read"));
    EXPECT_EQ(f.byte("flagsA"), 0x0A);
    EXPECT_EQ(f.byte("flagsB"), 0x0B);
    EXPECT_EQ(f.byte("muxStatusCh1"), 0);
    EXPECT_EQ(f.text("firmwareStatus"), std::string(31, 'z'));
    EXPECT_EQ(f.byte("configParaChangeStatus"), 0x07);
    EXPECT_TRUE(f.text("report"));
}

} // namespace

// Texts, versions, function units, the configuration file and the control
// interface.
#include <vkdm/vkdm_control.h>
#include <vkdm/vkdm_core.h>

#include <vktesting/temp_dir.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

TEST(Texts, EveryRangeGivesABoundedText) {
    struct Case {
        int code;
        bool known;
        const char* part;
    };
    const Case cases[] = {
        {0, true, "OK"},
        {-118, true, "not supported"},
        {-141, true, "not registered"},
        {-149, true, "older"},
        {-777, false, "unknown error code (-777)"},
        {-1001, true, ""},                        // the serial library, through libvkkrn
        {-1201, true, ""},                        // the TCP library
        {-4021, true, ""},                        // libvkkrn
        {-4150, true, "VKFU: unknown parameter"}, // libvkfu
        {-4198, false, "VKFU: Unknown Errorcode (-4198)"},
        {-4209, true, "VKTCL: Another APDU"}, // libvktcl
        {-4298, false, "-4298"},
        {-5000, false, "unknown error code (-5000)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        char text[256];
        std::memset(text, 'x', sizeof text);
        const int rc = VKDM_Base::GetErrorText(text, c.code);
        EXPECT_EQ(rc == 0, c.known);
        EXPECT_LE(std::strlen(text), 127u);
        EXPECT_NE(std::string(text).find(c.part), std::string::npos) << text;
    }
    // Every code of every range: NUL within 128 bytes.
    VKDM_KRNReaderModule module;
    for (int code = 1; code >= -4300; --code) {
        char text[256];
        std::memset(text, 'x', sizeof text);
        module.GetErrorText(text, code);
        ASSERT_LE(std::strlen(text), 127u) << code;
    }
    char status[256];
    EXPECT_EQ(module.GetStatusText(status, 0x00), 0);
    EXPECT_LE(std::strlen(status), 127u);
    EXPECT_EQ(VKDM_Base::GetErrorText(nullptr, -118), -121);
}

TEST(Versions, PassTheBridgeCheckAndListLibraries) {
    int major = 0, minor = 0, patch = 0;
    ASSERT_EQ(std::sscanf(VKDM_Base::GetLibVersion().c_str(), "%d.%d.%d", &major, &minor, &patch), 3);
    EXPECT_GE(major * 65536 + minor * 256 + patch, 4 * 65536 + 7 * 256);
    VKDM_KRNReaderModule module;
    std::string text;
    EXPECT_EQ(module.EvalLibDependencies(text), 0) << text;
    const std::string lines = module.GetDependentLibVersions();
    EXPECT_NE(lines.find("VKKRN: V07."), std::string::npos) << lines;
    EXPECT_NE(lines.find("VKFU: V02."), std::string::npos) << lines;
    EXPECT_NE(lines.find("VKTCL: V02."), std::string::npos) << lines;
    EXPECT_NE(text.find("VKTCL: V02.02.02 fits"), std::string::npos) << text;

    ASSERT_EQ(VKDM_CTL_SetVersion("04.06.09"), 0);
    EXPECT_EQ(VKDM_Base::GetLibVersion(), "04.06.09");
    ASSERT_EQ(VKDM_CTL_SetVersion(nullptr), 0);
    ASSERT_EQ(VKDM_CTL_SetDependencyResult(-134, "VKTCL: missing"), 0);
    EXPECT_EQ(module.EvalLibDependencies(text), -134);
    EXPECT_EQ(text, "VKTCL: missing");
    ASSERT_EQ(VKDM_CTL_SetDependencyResult(0, nullptr), 0);
    EXPECT_EQ(module.EvalLibDependencies(text), 0);
}

TEST(Control, ForcedResultAppliesOnceAndCallsAreLogged) {
    VKDM_KRNReaderModule module;
    module.SetModuleHnd(0x10000007);
    EXPECT_EQ(VKDM_CTL_FindModule(0x10000007), &module);
    EXPECT_EQ(VKDM_CTL_FindModule(0x10000008), nullptr);
    const int before = VKDM_CTL_ModuleCount();
    {
        VKDM_KRNReaderModule other;
        EXPECT_EQ(VKDM_CTL_ModuleCount(), before + 1);
    }
    EXPECT_EQ(VKDM_CTL_ModuleCount(), before);

    ASSERT_EQ(VKDM_CTL_ForceResult("SetData", -4051), 0);
    EXPECT_EQ(module.SetData("03 10 00 00 01 00 00", static_cast<unsigned char>(1)), -4051);
    EXPECT_EQ(module.SetData("03 10 00 00 01 00 00", static_cast<unsigned char>(1)), 0);

    ASSERT_EQ(VKDM_CTL_ClearCallLog(), 0);
    ASSERT_EQ(VKDM_CTL_SetCallLog(1), 0);
    module.SetData("03 10 08 00 01 00 00", 513u);
    unsigned char uid[2] = {0xAB, 0x01};
    module.SetData("03 10 06 02 06 00 00", uid, 2);
    VKDM_Base::GetVkUsbFunction(1121);
    VKDM_Base::GetViZerFunction(1100); // out of range: null, and logged all the same
    ASSERT_EQ(VKDM_CTL_SetCallLog(0), 0);
    ASSERT_EQ(VKDM_CTL_CallLogCount(), 4);
    char line[128];
    ASSERT_EQ(VKDM_CTL_CallLogLine(0, line, sizeof line), 0);
    EXPECT_STREQ(line, "SetData(u32) id=03 10 08 00 01 00 00 value=513");
    ASSERT_EQ(VKDM_CTL_CallLogLine(1, line, sizeof line), 0);
    EXPECT_STREQ(line, "SetData(bytes) id=03 10 06 02 06 00 00 len=2 value=AB01");
    ASSERT_EQ(VKDM_CTL_CallLogLine(2, line, sizeof line), 0);
    EXPECT_STREQ(line, "GetVkUsbFunction() id=1121");
    ASSERT_EQ(VKDM_CTL_CallLogLine(3, line, sizeof line), 0);
    EXPECT_STREQ(line, "GetViZerFunction() id=1100");
    EXPECT_EQ(VKDM_CTL_CallLogLine(4, line, sizeof line), -104);
}

TEST(Control, InjectedRecordsAndReports) {
    VKDM_KRNReaderModule module;
    EXPECT_EQ(module.ReadReaderInfo(1), nullptr); // no reader connected
    EXPECT_EQ(module.GetLastError(), -110);

    VKDM_ReaderInfo info{};
    info.mode00 = true;
    info.rfcSwVer[0] = 1;
    info.rfcSwVer[1] = 2;
    info.readerType = 80;
    info.rfcRxBufferSize[0] = 0x10;
    info.rfcTxBufferSize[0] = 0x10;
    ASSERT_EQ(VKDM_CTL_InjectReaderInfo(&module, &info), 0);
    VKDM_ReaderInfo* read = module.ReadReaderInfo(1);
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(read, module.GetReaderInfo());
    EXPECT_TRUE(read->mode00);
    EXPECT_FALSE(read->mode01);
    const std::string report = VkdmKrnReport_ReaderInfo(&module).BuildReport(0xFF);
    EXPECT_NE(report.find("reader type 80"), std::string::npos) << report;
    EXPECT_NE(report.find("receive buffer 4096"), std::string::npos) << report;

    VKDM_ReaderDiagnostic diagnostic{};
    diagnostic.mode20 = true;
    std::memset(diagnostic.firmwareStatus, 'A', sizeof diagnostic.firmwareStatus);
    ASSERT_EQ(VKDM_CTL_InjectReaderDiagnostic(&module, &diagnostic), 0);
    ASSERT_NE(module.ReadReaderDiagnostic(1), nullptr);
    const std::string diag = VkdmKrnReport_ReaderDiagnostic(&module).BuildReport(0xFF);
    EXPECT_NE(diag.find(std::string(31, 'A') + "\n"), std::string::npos) << diag;

    ASSERT_EQ(VKDM_CTL_ForceResult("ReadReaderInfo", -4030), 0);
    EXPECT_EQ(module.ReadReaderInfo(1), nullptr);
    EXPECT_EQ(module.GetLastError(), -4030);
}

TEST(FunctionUnits, TreeRefusesCycles) {
    VKDM_KRNReaderModule module;
    VKDM_KRNFunctionUnit tuner(&module, 10);
    auto* mux = new VKDM_KRNFunctionUnit(&module, 11);
    auto* leaf = new VKDM_KRNFunctionUnit(&module, 12);
    EXPECT_EQ(tuner.GetFUType(), 10);
    EXPECT_EQ(tuner.AddChild(1, mux), 0);
    EXPECT_EQ(mux->AddChild(1, leaf), 0);
    EXPECT_EQ(leaf->AddChild(1, &tuner), -132); // an ancestor
    EXPECT_EQ(leaf->AddChild(1, leaf), -132);
    EXPECT_EQ(tuner.AddChild(3, leaf), -131);
    EXPECT_EQ(tuner.AddChild(1, nullptr), -121);
    EXPECT_EQ(tuner.GetChildCount(), 1);
    EXPECT_EQ(tuner.GetChild(1), mux);
    EXPECT_EQ(tuner.GetChild(2), nullptr);
    EXPECT_EQ(mux->DelChild(2), -133);
    EXPECT_EQ(mux->DelChild(0), -131);
    // Units keep data memories of their own.
    EXPECT_EQ(mux->SetData("04 01 00 00 01 00 00", static_cast<unsigned char>(3)), 0);
    unsigned char value = 0;
    EXPECT_EQ(module.GetData("04 01 00 00 01 00 00", &value), 0);
    EXPECT_EQ(value, 0);
    // Unit commands need the reader's connection; status texts are libvkfu's.
    EXPECT_EQ(mux->SendProtocol(0xDD), -110);
    EXPECT_EQ(mux->GetLastError(), -110);
    char text[256];
    EXPECT_EQ(mux->GetStatusText(text, 0x0F), 0);
    EXPECT_STREQ(text, "Unit: Busy");
    EXPECT_EQ(mux->GetStatusText(text, 0x42), -4133);
    // With child management on (the default), deleting a unit deletes its children.
    tuner.DelChild(1);
    delete mux; // deletes leaf
    EXPECT_EQ(tuner.GetChildCount(), 0);
}

class ConfigFileTest : public vktesting::TempDirTest {
  protected:
    VKDM_KRNReaderModule module;
};

TEST_F(ConfigFileTest, StoreAndLoadRoundTrip) {
    ASSERT_EQ(module.SetConfigPara("IpAddress", 0xC0A80A07u, true), 0);
    ASSERT_EQ(module.SetConfigPara("DeviceName", std::string("gate 1"), true), 0);
    ASSERT_EQ(module.Serialize(true, "cfg.xml"), 0);
    EXPECT_NE(readFile("cfg.xml").find("<Block address=\"40\">C0A80A07"), std::string::npos);

    VKDM_KRNReaderModule other;
    ASSERT_EQ(other.Serialize(false, "cfg.xml"), 0);
    unsigned int ip = 0;
    EXPECT_EQ(other.GetConfigPara("IpAddress", &ip, true), 0);
    EXPECT_EQ(ip, 0xC0A80A07u);
    std::string name;
    EXPECT_EQ(other.GetConfigPara("DeviceName", name, true), 0);
    EXPECT_EQ(name, "gate 1");
    std::string id;
    EXPECT_EQ(other.GetAccessID("TcpPort", id, true), 0);
    EXPECT_EQ(VKDM_GetByteCntOfID(id.c_str()), 2);
    EXPECT_EQ(other.GetAccessID("tcpport", id, true), -112);
    EXPECT_EQ(other.GetConfigPara("NoSuchName", &ip, true), -112);
}

TEST_F(ConfigFileTest, BadFilesLeaveTheImageUnchanged) {
    ASSERT_EQ(module.SetConfigPara("BusAddress", static_cast<unsigned char>(7), true), 0);
    std::string good = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<VkdmConfiguration version=\"1\">\n"
                       "  <Block address=\"2\">0900000000000000000000000000</Block>\n</VkdmConfiguration>\n";
    const std::string bad[] = {
        good.substr(0, good.size() - 10),                           // cut
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Other/>\n",   // other root
        std::string(good).replace(good.find("09000"), 2, "0G"),     // not hex
        std::string(good).replace(good.find("\"2\""), 3, "\"64\""), // outside the image
        std::string(good).insert(good.find("</VkdmConfiguration>"), good.substr(good.find("  <Block"), 57)),
    };
    for (const std::string& text : bad) {
        writeFile("bad.xml", text);
        EXPECT_EQ(module.Serialize(false, "bad.xml"), -116) << text;
    }
    EXPECT_EQ(module.Serialize(false, "missing.xml"), -114);
    EXPECT_EQ(module.Serialize(true, "no/such/dir/cfg.xml"), -113);
    EXPECT_EQ(module.Serialize(true, nullptr), -121);
    unsigned char address = 0;
    EXPECT_EQ(module.GetConfigPara("BusAddress", &address, true), 0);
    EXPECT_EQ(address, 7);
    writeFile("good.xml", good);
    EXPECT_EQ(module.Serialize(false, "good.xml"), 0);
    EXPECT_EQ(module.GetConfigPara("BusAddress", &address, true), 0);
    EXPECT_EQ(address, 9);
    // The transfers need a connected reader.
    EXPECT_EQ(module.TransferReaderCfgToXmlFile("out.xml"), -110);
    EXPECT_EQ(module.ReadCompleteConfiguration(true), -110);
}

} // namespace

namespace {

TEST(Control, RecordValuesAndReportedSizes) {
    VKDM_KRNReaderModule module;
    const unsigned char area[5] = {1, 2, 3, 4, 5};
    // The record must exist.
    EXPECT_EQ(VKDM_CTL_PokeTableRecord(&module, VKDM_TABLE_ISO, 0, "typeSpecific", 0, area, 5), -104);
    ASSERT_EQ(module.SetTableData(0, VKDM_TABLE_ISO, 0x08000001, static_cast<unsigned char>(16)), 0);
    EXPECT_EQ(VKDM_CTL_PokeTableRecord(&module, VKDM_TABLE_ISO, 0, "typeSpecific", 0, area, 5), 0);
    VKDM_ISOTabItem* item = module.GetISOTableItem(0);
    ASSERT_NE(item, nullptr);
    unsigned char out[258] = {};
    EXPECT_EQ(item->GetTypeSpecific(out, sizeof out), 258);
    EXPECT_EQ(std::memcmp(out, area, 5), 0);
    EXPECT_EQ(VKDM_CTL_PokeTableRecord(&module, VKDM_TABLE_ISO, 0, "nothing", 0, area, 1), -106);
    EXPECT_EQ(VKDM_CTL_PokeTableRecord(&module, VKDM_TABLE_ISO, 0, "xpcW1", 0, area, 3), -105);
    EXPECT_EQ(VKDM_CTL_PokeTableRecord(&module, 3, 0, "flags", 0, area, 1), -124);
    // By data id, past SetTableData's checks: a UID length above the UID's room.
    const unsigned char length[4] = {0, 0, 1, 0};
    EXPECT_EQ(VKDM_CTL_PokeTableRecord(&module, VKDM_TABLE_ISO, 0, nullptr, 0x08000003, length, 4), 0);
    unsigned int n = 0;
    EXPECT_EQ(module.GetTableData(0, VKDM_TABLE_ISO, 0x08000003, &n), 0);
    EXPECT_EQ(n, 256u);
    // Reported sizes change what GetTableSizes says, not the data.
    EXPECT_EQ(VKDM_CTL_SetReportedSizes(&module, VKDM_TABLE_ISO, 0, 0, -1, 7, 8), 0);
    int s[4] = {};
    item->GetTableSizes(&s[0], &s[1], &s[2], &s[3]);
    EXPECT_EQ(s[0], 0);
    EXPECT_EQ(s[1], -1);
    EXPECT_EQ(s[3], 8);
    EXPECT_EQ(item->GetRxDataSize(), 256 * 32);
    EXPECT_EQ(VKDM_CTL_SetReportedSizes(&module, VKDM_TABLE_ISO, 1, 1, 1, 1, 1), -104);
}

} // namespace

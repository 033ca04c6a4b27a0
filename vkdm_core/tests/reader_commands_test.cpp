// Reader commands of the core against the simulated reader over TCP: the
// configuration image against the reader's blocks and an XML file, the
// protocols the core sends itself, baud-rate detection, the task trigger, and
// the reader information and diagnostic read mode by mode.
#include <vkdm/vkdm_core.h>

#include <krnsim/authentication.h>
#include <krnsim/demo_field.h>
#include <krnsim/simulator.h>
#include <vkkrn.h>
#include <vktesting/temp_dir.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using krnsim::Bytes;

constexpr int kImageSize = 64 * 14;

class ReaderCommandsTest : public vktesting::TempDirTest {
  protected:
    void SetUp() override {
        vktesting::TempDirTest::SetUp();
        port_ = sim.listenTcp().port;
        ASSERT_EQ(module.ConnectTCP("127.0.0.1", port_), 0);
    }

    std::vector<unsigned char> image(VKDM_KRNReaderModule& m) {
        std::vector<unsigned char> out(kImageSize);
        EXPECT_EQ(m.GetData(1, out.data(), 0, kImageSize), 0);
        return out;
    }

    // Requests of one command in the simulator's log, in order.
    std::vector<krnsim::LogEntry> requests(std::uint8_t command) {
        std::vector<krnsim::LogEntry> out;
        for (const auto& e : sim.reader().log().entries()) {
            if (e.command == command) out.push_back(e);
        }
        return out;
    }

    krnsim::Simulator sim;
    int port_ = 0;
    VKDM_KRNReaderModule module;
};

// ---- Configuration ------------------------------------------------------------

TEST_F(ReaderCommandsTest, WrittenImageReadsBackOnAnotherModule) {
    ASSERT_EQ(module.SetConfigPara("DeviceName", std::string("gate-7"), true), 0);
    ASSERT_EQ(module.SetConfigPara("TcpPort", 10001u, true), 0);
    ASSERT_EQ(module.WriteCompleteConfiguration(true), 0);
    EXPECT_EQ(requests(0x81).size(), 64u);
    EXPECT_EQ(requests(0x82).size(), 64u);

    VKDM_KRNReaderModule other;
    ASSERT_EQ(other.ConnectTCP("127.0.0.1", port_), 0);
    ASSERT_EQ(other.ReadCompleteConfiguration(true), 0);
    EXPECT_EQ(image(other), image(module));
    std::string name;
    ASSERT_EQ(other.GetConfigPara("DeviceName", name, true), 0);
    EXPECT_EQ(name, "gate-7");
}

TEST_F(ReaderCommandsTest, ResetRestoresTheSavedBlocksAndReadsThem) {
    ASSERT_EQ(module.SetConfigPara("AntennaPower", static_cast<unsigned char>(7), true), 0);
    ASSERT_EQ(module.WriteCompleteConfiguration(true), 0); // saved
    const auto saved = image(module);
    ASSERT_EQ(module.SetConfigPara("AntennaPower", static_cast<unsigned char>(9), true), 0);
    ASSERT_EQ(module.WriteCompleteConfiguration(false), 0); // written, not saved
    ASSERT_EQ(module.ResetCompleteConfiguration(true), 0);
    EXPECT_EQ(requests(0x83).size(), 64u);
    EXPECT_EQ(image(module), saved);
    unsigned char power = 0;
    ASSERT_EQ(module.GetConfigPara("AntennaPower", &power, true), 0);
    EXPECT_EQ(power, 7);
}

TEST_F(ReaderCommandsTest, ApplySendsOnlyTheChangedBlocks) {
    ASSERT_EQ(module.ReadCompleteConfiguration(true), 0);
    ASSERT_EQ(module.SetConfigPara("AntennaPower", static_cast<unsigned char>(3), true), 0); // block 4
    ASSERT_EQ(module.SetConfigPara("TcpPort", 4001u, true), 0);                              // block 41
    sim.reader().log().clear();
    ASSERT_EQ(module.ApplyConfiguration(false), 0);
    const auto writes = requests(0x81);
    ASSERT_EQ(writes.size(), 2u);
    EXPECT_EQ(writes[0].data[0], 4);
    EXPECT_EQ(writes[0].data[1], 3);
    EXPECT_EQ(writes[1].data[0], 41);
    EXPECT_TRUE(requests(0x82).empty());
    sim.reader().log().clear();
    ASSERT_EQ(module.ApplyConfiguration(true), 0); // nothing changed since
    EXPECT_TRUE(sim.reader().log().entries().empty());
}

TEST_F(ReaderCommandsTest, AFailedBlockEndsTheWriteAndStaysChanged) {
    sim.reader().setHandler(0x81, [](const krnsim::Request& r, krnsim::ConnectionContext&) {
        return krnsim::Reply::frame(r.data[0] == 5 ? 0x11 : 0x00);
    });
    EXPECT_EQ(module.WriteCompleteConfiguration(false), 0x11);
    EXPECT_EQ(module.GetLastStatus(), 0x11);
    EXPECT_EQ(requests(0x81).size(), 6u); // blocks 0 to 5
    sim.reader().setHandler(0x81, {});
    sim.reader().log().clear();
    ASSERT_EQ(module.ApplyConfiguration(false), 0); // blocks 5 to 63 again
    const auto writes = requests(0x81);
    ASSERT_EQ(writes.size(), 59u);
    EXPECT_EQ(writes.front().data[0], 5);
}

TEST_F(ReaderCommandsTest, TransfersBetweenReaderAndFile) {
    ASSERT_EQ(module.SetConfigPara("DeviceName", std::string("dock"), true), 0);
    ASSERT_EQ(module.WriteCompleteConfiguration(true), 0);
    const std::string file = (workDir() / "reader.xml").string();
    ASSERT_EQ(module.TransferReaderCfgToXmlFile(file.c_str()), 0);

    // The file goes to a fresh reader through another module.
    krnsim::Simulator second;
    VKDM_KRNReaderModule other;
    ASSERT_EQ(other.ConnectTCP("127.0.0.1", second.listenTcp().port), 0);
    ASSERT_EQ(other.TransferXmlFileToReaderCfg(file.c_str()), 0);
    VKDM_KRNReaderModule check;
    ASSERT_EQ(check.ConnectTCP("127.0.0.1", second.listenTcp().port), 0);
    ASSERT_EQ(check.ResetCompleteConfiguration(true), 0); // the saved blocks
    EXPECT_EQ(image(check), image(module));

    sim.reader().log().clear();
    const std::string missing = (workDir() / "none.xml").string();
    EXPECT_EQ(module.TransferXmlFileToReaderCfg(missing.c_str()), -114);
    EXPECT_TRUE(sim.reader().log().entries().empty());
}

TEST(ReaderCommandsUnconnected, ReaderOperationsNeedAConnection) {
    VKDM_KRNReaderModule module;
    EXPECT_EQ(module.ReadCompleteConfiguration(true), -110);
    EXPECT_EQ(module.WriteCompleteConfiguration(true), -110);
    EXPECT_EQ(module.ResetCompleteConfiguration(true), -110);
    EXPECT_EQ(module.ApplyConfiguration(true), -110);
    EXPECT_EQ(module.SendProtocol(0x65), -110);
    EXPECT_EQ(module.FindBaudRate(nullptr, 300, 3, nullptr, nullptr), -110);
    EXPECT_EQ(module.TriggerAsyncTask(), -110);
    EXPECT_EQ(module.ReaderAuthentication(0, "000102030405060708090A0B0C0D0E0F"), -110);
    EXPECT_EQ(module.ReadReaderInfo(1), nullptr);
    EXPECT_EQ(module.GetLastError(), -110);
    EXPECT_EQ(module.ReadReaderDiagnostic(1), nullptr);
}

// ---- Protocols ------------------------------------------------------------------

TEST_F(ReaderCommandsTest, VersionNamesTheReader) {
    ASSERT_EQ(module.SendProtocol(0x65), 0);
    EXPECT_STREQ(module.GetReaderName(), "KRN reader V01.02.03, hardware 4B");
    sim.reader().setCannedReply(0x65, krnsim::Reply::frame(0x84));
    EXPECT_EQ(module.SendProtocol(0x65), 0x84); // a status comes back as it is
    EXPECT_EQ(module.GetLastStatus(), 0x84);
    EXPECT_STREQ(module.GetReaderName(), "KRN reader V01.02.03, hardware 4B");
    EXPECT_EQ(module.SendProtocol(0x6A), -118);
    EXPECT_EQ(module.GetLastError(), -118);
}

TEST_F(ReaderCommandsTest, InformationModeOfTheDataMemory) {
    sim.reader().setReaderInfo(0x10, {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x4E, 0x07, 0x08});
    ASSERT_EQ(module.SetData("03 10 66 00 01 00 00", static_cast<unsigned char>(0x10)), 0);
    ASSERT_EQ(module.SendProtocol(0x66), 0);
    const VKDM_ReaderInfo* info = module.GetReaderInfo();
    EXPECT_TRUE(info->mode10);
    EXPECT_TRUE(info->isRfcFrequency);
    EXPECT_EQ(info->rfcAHw[1], 0x06);
    EXPECT_EQ(info->rfcFrequency, 0x4E);
    EXPECT_EQ(info->rfcInfo, 0x08);
    EXPECT_EQ(requests(0x66).back().data, Bytes{0x10});

    ASSERT_EQ(module.SetData("03 10 66 00 01 00 00", static_cast<unsigned char>(0x13)), 0);
    sim.reader().log().clear();
    EXPECT_EQ(module.SendProtocol(0x66), -106); // not a mode of the record: nothing sent
    EXPECT_TRUE(sim.reader().log().entries().empty());
}

TEST_F(ReaderCommandsTest, InventoryFillsTheIsoTable) {
    krnsim::addDemoTags(sim.reader());
    ASSERT_EQ(module.SetData("03 10 08 01 01 00 00", static_cast<unsigned char>(0x00)), 0);
    ASSERT_EQ(module.SendProtocol(0xB0), 0);
    EXPECT_EQ(requests(0xB0).back().data, (Bytes{0x01, 0x00}));
    ASSERT_EQ(module.GetTableLength(VKDM_TABLE_ISO), 2);
    std::string uid;
    ASSERT_EQ(module.GetTableData(1, VKDM_TABLE_ISO, 0x08000002u, uid), 0);
    EXPECT_EQ(uid, "E00401009ABCDEF0");
    EXPECT_EQ(module.FindTableIndex(0, VKDM_TABLE_ISO, 0x08000002u, std::string("e004010012345678")), 0);

    sim.reader().clearTags();
    EXPECT_EQ(module.SendProtocol(0xB0), 0x01); // no transponder: the table empties
    EXPECT_EQ(module.GetTableLength(VKDM_TABLE_ISO), 0);
}

struct BaudAttempt {
    std::vector<int> results;
    std::vector<std::string> timeouts;
    VKDM_KRNReaderModule* module = nullptr;
};

void noteAttempt(void* context, int attempt, int result) {
    auto* note = static_cast<BaudAttempt*>(context);
    EXPECT_EQ(attempt, static_cast<int>(note->results.size()) + 1);
    note->results.push_back(result);
    char value[256] = {};
    note->module->GetPortPara("TIMEOUT", value);
    note->timeouts.emplace_back(value);
}

TEST_F(ReaderCommandsTest, FindBaudRateOnAnswerAndSilence) {
    BaudAttempt answered;
    answered.module = &module;
    EXPECT_EQ(module.FindBaudRate(nullptr, 300, 3, noteAttempt, &answered), 0);
    EXPECT_EQ(answered.results, std::vector<int>{0});
    EXPECT_EQ(answered.timeouts, std::vector<std::string>{"300"});
    EXPECT_EQ(requests(0x52).back().data, Bytes{0x00});

    sim.reader().setPersistentFault(krnsim::Fault::silence());
    BaudAttempt silent;
    silent.module = &module;
    const int rc = module.FindBaudRate(nullptr, 30, 3, noteAttempt, &silent);
    EXPECT_LT(rc, 0);
    EXPECT_EQ(module.GetLastError(), rc);
    ASSERT_EQ(silent.results.size(), 3u);
    EXPECT_EQ(silent.results.back(), rc);
    EXPECT_EQ(silent.timeouts[0], "30");
    char value[256] = {};
    ASSERT_EQ(module.GetPortPara("TIMEOUT", value), 0);
    EXPECT_STREQ(value, "3000"); // restored

    sim.reader().log().clear();
    const std::atomic<bool> stop{true};
    EXPECT_EQ(module.FindBaudRate(&stop, 30, 3, nullptr, nullptr), -122);
    EXPECT_TRUE(sim.reader().log().entries().empty());
    EXPECT_EQ(module.FindBaudRate(nullptr, 30, 0, nullptr, nullptr), -104);
}

struct Inventories {
    std::mutex lock;
    std::condition_variable changed;
    int count = 0;
};

void countInventory(void* any, int, int, int, unsigned char, unsigned char*, int) {
    auto* seen = static_cast<Inventories*>(any);
    std::lock_guard<std::mutex> guard(seen->lock);
    ++seen->count;
    seen->changed.notify_all();
}

bool waitForInventories(Inventories& seen, int count) {
    std::unique_lock<std::mutex> guard(seen.lock);
    return seen.changed.wait_for(guard, std::chrono::seconds(5), [&] { return seen.count >= count; });
}

TEST_F(ReaderCommandsTest, TriggerAsksTheRunningTaskForAnotherInventory) {
    EXPECT_EQ(module.TriggerAsyncTask(), -4081); // no task
    Inventories seen;
    _VKKRN_TASK_INIT record{};
    record.pAny = &seen;
    record.ucBusAdr = 0xFF;
    record.uiMode = 1;
    record.uiTimeout = 1;
    record.uiCallbackVariant = 1;
    record.callback.form1 = countInventory;
    ASSERT_EQ(VKKRN_StartAsyncTask(module.GetReaderHnd(), 2, &record, nullptr), 0);
    ASSERT_TRUE(waitForInventories(seen, 1));
    EXPECT_EQ(module.TriggerAsyncTask(), 0);
    EXPECT_TRUE(waitForInventories(seen, 2));
    // The second callback may still be running: the cancel then answers -4084 and the task ends
    // after the callback, so a later cancel finds no task.
    int cancelled = VKKRN_CancelAsyncTask(module.GetReaderHnd());
    for (int tries = 0; cancelled == -4084 && tries < 500; ++tries) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        cancelled = VKKRN_CancelAsyncTask(module.GetReaderHnd());
    }
    EXPECT_TRUE(cancelled == 0 || cancelled == -4081) << cancelled;
    EXPECT_EQ(requests(0xB0).size(), 2u);
}

TEST_F(ReaderCommandsTest, AuthenticationOpensTheSecuredChannel) {
    const std::string key = "000102030405060708090A0B0C0D0E0F";
    Bytes keyBytes;
    for (int i = 0; i < 16; ++i)
        keyBytes.push_back(static_cast<std::uint8_t>(i));
    sim.reader().setAuthenticationKey(keyBytes);

    const int wrong = module.ReaderAuthentication(0, "FF0102030405060708090A0B0C0D0E0F");
    EXPECT_EQ(wrong, krnsim::kAuthRefused); // the reader's refusal comes back as its status
    EXPECT_EQ(module.GetLastStatus(), krnsim::kAuthRefused);
    EXPECT_EQ(module.GetProtocolFrameSupport(), 1);
    EXPECT_EQ(module.ReaderAuthentication(3, key.c_str()), -4051); // no such key type
    EXPECT_EQ(module.ReaderAuthentication(0, "0102"), -4051);      // too short for the key type
    EXPECT_EQ(module.ReaderAuthentication(0, nullptr), -121);

    ASSERT_EQ(module.ReaderAuthentication(0, key.c_str()), 0);
    EXPECT_EQ(module.GetProtocolFrameSupport(), 2);
    const auto steps = requests(0xAE);
    ASSERT_GE(steps.size(), 2u);
    EXPECT_EQ(steps.back().data[0], 0x00); // the first request byte
    EXPECT_EQ(steps.back().data[1], 0x00); // key type
    sim.reader().log().clear();
    ASSERT_EQ(module.SendProtocol(0x65), 0); // now travels enciphered
    const auto entries = sim.reader().log().entries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_TRUE(entries[0].secured);
    EXPECT_EQ(entries[0].command, 0x65);
}

// ---- Information and diagnostic -------------------------------------------------

// Answers 0x66 and 0x6E per mode from a table: (status, data); other modes no data.
krnsim::Handler perMode(std::map<int, std::pair<std::uint8_t, Bytes>> answers) {
    return [answers](const krnsim::Request& r, krnsim::ConnectionContext&) {
        const auto it = answers.find(r.data.empty() ? -1 : r.data[0]);
        if (it == answers.end()) return krnsim::Reply::frame(0x00);
        return krnsim::Reply::frame(it->second.first, it->second.second);
    };
}

TEST_F(ReaderCommandsTest, ReaderInformationModeByMode) {
    Bytes mac = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55};
    Bytes pages(18, 0);
    pages[1] = 64;
    pages[2] = 0xF0; // first write-permission byte
    sim.reader().setHandler(0x66, perMode({
                                      {0x00, {0x00, {1, 2, 3, 0x4B, 82, 0, 3, 0x10, 0, 0x08, 0, 0, 0}}},
                                      {0x04, {0x00, {0x01, 0xA0, 0xA1, 0xA2}}},
                                      {0x05, {0x83, {}}},
                                      {0x41, {0x00, pages}},
                                      {0x50, {0x00, mac}},
                                      {0x61, {0x00, {1, 0, 0, 0, 1, 0}}},
                                  }));
    VKDM_ReaderInfo* info = module.ReadReaderInfo(1);
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info, module.GetReaderInfo()); // the record is kept
    EXPECT_EQ(module.GetLastError(), 0);
    EXPECT_TRUE(info->mode00);
    EXPECT_EQ(info->readerType, 82);
    EXPECT_EQ(module.GetReaderType(), 82);
    EXPECT_EQ(info->rfcRxBufferSize[0], 0x10);
    EXPECT_EQ(info->rfcTxBufferSize[0], 0x08);
    EXPECT_TRUE(info->mode04);
    EXPECT_EQ(info->dlqFctTemplate, 0x01);
    EXPECT_EQ(info->dlqFct[2], 0xA2);
    EXPECT_FALSE(info->mode05); // status above 0
    EXPECT_TRUE(info->mode41);
    EXPECT_EQ(info->noOfCfgPages[1], 64);
    EXPECT_EQ(info->cfgWritePermissions[0], 0xF0);
    EXPECT_TRUE(info->lanMac);
    EXPECT_EQ(0, std::memcmp(info->lanMacAddr, mac.data(), 6));
    EXPECT_TRUE(info->mode61);
    EXPECT_EQ(info->peopleCounter[4], 1);
    EXPECT_TRUE(info->mode10); // no data: read, all zeros
    EXPECT_FALSE(info->isRfcFrequency);
    EXPECT_EQ(requests(0x66).size(), 25u); // 17 modes and 8 network parts

    VkdmKrnReport_ReaderInfo report(&module);
    const std::string text = report.BuildReport(0xFF);
    EXPECT_NE(text.find("0x00"), std::string::npos);
    EXPECT_NE(text.find("LAN MAC 00 11 22 33 44 55"), std::string::npos);
    EXPECT_EQ(text.find("0x05"), std::string::npos);
    EXPECT_EQ(module.ReadReaderInfo(0), nullptr);
    EXPECT_EQ(module.GetLastError(), -106);
}

TEST_F(ReaderCommandsTest, SilentModeZeroGivesNoRecord) {
    ASSERT_EQ(module.SetPortPara("TIMEOUT", "30"), 0);
    sim.reader().setPersistentFault(krnsim::Fault::silence());
    EXPECT_EQ(module.ReadReaderInfo(1), nullptr);
    const int rc = module.GetLastError();
    EXPECT_LT(rc, 0);
    EXPECT_EQ(requests(0x66).size(), 1u);
    EXPECT_EQ(module.ReadReaderDiagnostic(1), nullptr);
    EXPECT_LT(module.GetLastError(), 0);
}

TEST_F(ReaderCommandsTest, ReaderDiagnosticModeByMode) {
    const std::string firmware = "firmware running since boot, no faults"; // longer than 31
    sim.reader().setHandler(0x6E, perMode({
                                      {0x01, {0x00, {0x12, 0x34}}},
                                      {0x04, {0x84, {}}},
                                      {0x05, {0x00, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}}},
                                      {0x20, {0x00, Bytes(firmware.begin(), firmware.end())}},
                                      {0x21, {0x00, {0x01}}},
                                  }));
    VKDM_ReaderDiagnostic* d = module.ReadReaderDiagnostic(1);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d, module.GetReaderDiagnostic());
    EXPECT_TRUE(d->mode01);
    EXPECT_EQ(d->flagsA, 0x12);
    EXPECT_EQ(d->flagsB, 0x34);
    EXPECT_TRUE(d->mode03);
    EXPECT_FALSE(d->mode04);
    EXPECT_TRUE(d->mode05);
    EXPECT_EQ(d->muxOut[3][2], 12);
    EXPECT_TRUE(d->mode20);
    EXPECT_EQ(std::string(d->firmwareStatus, 31), firmware.substr(0, 31));
    EXPECT_TRUE(d->mode21);
    EXPECT_EQ(d->configParaChangeStatus, 0x01);
    const auto asked = requests(0x6E);
    ASSERT_EQ(asked.size(), 6u);
    EXPECT_EQ(asked.back().data, (Bytes{0x21, 0x00}));

    VkdmKrnReport_ReaderDiagnostic report(&module);
    EXPECT_NE(report.BuildReport(0xFF).find("status flags 12 34"), std::string::npos);
}

} // namespace

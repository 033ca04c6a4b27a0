// The BRM and ISO tables: values by data id, searches, sizes, records, and the
// inventory and notification parsers.
#include <vkdm/vkdm_core.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr unsigned kBrm = VKDM_TABLE_BRM;
constexpr unsigned kIso = VKDM_TABLE_ISO;

class TablesTest : public ::testing::Test {
  protected:
    VKDM_KRNReaderModule module;
};

TEST_F(TablesTest, ScalarDataIdsRoundTrip) {
    struct Case {
        unsigned table;
        unsigned id;
    };
    const Case bytes[] = {{kIso, 0x08000001}, {kIso, 0x0800000A}, {kIso, 0x0800000C}, {kIso, 0x08000011},
                          {kIso, 0x08000015}, {kIso, 0x0800000E}, {kIso, 0x04000004}, {kIso, 0x04000008},
                          {kBrm, 0x08000001}, {kBrm, 0x01000002}, {kBrm, 0x01000004}, {kBrm, 0x01000007}};
    for (const Case& c : bytes) {
        SCOPED_TRACE(c.id);
        ASSERT_EQ(module.SetTableData(3, c.table, c.id, static_cast<unsigned char>(0xA5)), 0);
        unsigned char b = 0;
        EXPECT_EQ(module.GetTableData(3, c.table, c.id, &b), 0);
        EXPECT_EQ(b, 0xA5);
    }
    const Case flags[] = {{kIso, 0x80000001}, {kIso, 0x80000002}, {kIso, 0x80000003},
                          {kIso, 0x8000000F}, {kBrm, 0x80000009}, {kBrm, 0x80000010}};
    for (const Case& c : flags) {
        SCOPED_TRACE(c.id);
        ASSERT_EQ(module.SetTableData(0, c.table, c.id, true), 0);
        bool f = false;
        EXPECT_EQ(module.GetTableData(0, c.table, c.id, &f), 0);
        EXPECT_TRUE(f);
    }
    ASSERT_EQ(module.SetTableData(1, kBrm, 0x01000003, 70000u), 0);
    unsigned int n = 0;
    EXPECT_EQ(module.GetTableData(1, kBrm, 0x01000003, &n), 0);
    EXPECT_EQ(n, 70000u);
    // Ids outside the tables' vocabulary, and unknown tables.
    unsigned char b = 0;
    EXPECT_EQ(module.SetTableData(0, kIso, 0x12345678, static_cast<unsigned char>(1)), -125);
    EXPECT_EQ(module.GetTableData(0, 3, 0x08000001, &b), -124);
    EXPECT_EQ(module.GetTableData(0, kIso, 0xF0000001, &b), -125); // a role, not a data id
}

TEST_F(TablesTest, MemSizeIsTwoBytesBigEndian) {
    ASSERT_EQ(module.SetTableData(0, kIso, 0x0800000D, 256u), 0);
    unsigned char two[2] = {};
    EXPECT_EQ(module.GetTableData(0, kIso, 0x0800000D, two, 2), 0);
    EXPECT_EQ(two[0], 0x01);
    EXPECT_EQ(two[1], 0x00);
    unsigned int value = 0;
    EXPECT_EQ(module.GetTableData(0, kIso, 0x0800000D, &value), 0);
    EXPECT_EQ(value, 256u);
}

TEST_F(TablesTest, UidTextAndSearches) {
    ASSERT_EQ(module.SetTableData(0, kIso, 0x08000002, std::string("E004010012345678")), 0);
    ASSERT_EQ(module.SetTableData(1, kIso, 0x08000002, std::string("e0040100abcdef01")), 0);
    ASSERT_EQ(module.SetTableData(1, kIso, 0x08000001, static_cast<unsigned char>(3)), 0);
    ASSERT_EQ(module.SetTableData(1, kIso, 0x80000002, true), 0);
    unsigned int length = 0;
    EXPECT_EQ(module.GetTableData(1, kIso, 0x08000003, &length), 0);
    EXPECT_EQ(length, 8u);
    std::string uid;
    EXPECT_EQ(module.GetTableData(1, kIso, 0x08000002, uid), 0);
    EXPECT_EQ(uid, "E0040100ABCDEF01");

    EXPECT_EQ(module.FindTableIndex(0, kIso, 0x08000002, std::string("E0040100ABCDEF01")), 1);
    EXPECT_EQ(module.FindTableIndex(0, kIso, 0x08000002, std::string("e004010012345678")), 0);
    EXPECT_EQ(module.FindTableIndex(1, kIso, 0x08000002, std::string("")), 1); // empty matches any
    EXPECT_EQ(module.FindTableIndex(0, kIso, 0x08000002, std::string("00")), -115);
    EXPECT_EQ(module.FindTableIndex(0, kIso, 0x80000002, true), 1);
    EXPECT_EQ(module.FindTableIndex(0, kIso, 0x08000001, static_cast<unsigned char>(3)), 1);
    EXPECT_EQ(module.FindTableIndex(0, kIso, 0x08000003, 8u), 0);
    EXPECT_EQ(module.FindTableIndex(2, kIso, 0x08000003, 8u), -115);
    EXPECT_EQ(module.FindTableIndex(0, kIso, 0x08000002, std::string("XYZ")), -115);
}

TEST_F(TablesTest, VerifySizesAndLength) {
    EXPECT_EQ(module.GetTableLength(kIso), 0);
    EXPECT_EQ(module.GetTableSize(kIso), 256);
    ASSERT_EQ(module.SetTableLength(kIso, 3), 0);
    ASSERT_EQ(module.SetTableData(1, kIso, 0x08000001, static_cast<unsigned char>(1)), 0);
    EXPECT_EQ(module.VerifyTableData(1, kIso, 0, 0), 0);
    EXPECT_EQ(module.VerifyTableData(0, kIso, 0, 0), -128);
    EXPECT_EQ(module.VerifyTableData(10, kIso, 0, 0), -128);
    EXPECT_EQ(module.VerifyTableData(-1, kIso, 0, 0), -104);
    EXPECT_EQ(module.VerifyTableData(0, 7, 0, 0), -124);

    ASSERT_EQ(module.SetTableSize(kIso, 4), 0);
    EXPECT_EQ(module.SetTableData(4, kIso, 0x08000001, static_cast<unsigned char>(1)), -104);
    EXPECT_EQ(module.SetTableLength(kIso, 5), -104);
    EXPECT_EQ(module.SetTableSize(kIso, 0), -105);
    unsigned char b = 0;
    EXPECT_EQ(module.GetTableData(3, kIso, 0x08000001, &b), -115); // beyond the length
    EXPECT_EQ(module.ResetTable(kIso, 0), 0);
    EXPECT_EQ(module.GetTableLength(kIso), 0);
    EXPECT_EQ(module.GetISOTableItem(0), nullptr);
}

TEST_F(TablesTest, PublicDataFollowTheSizes) {
    ASSERT_EQ(module.SetTableSize(kIso, 8, 4, 4, 2, 8), 0);
    std::vector<unsigned char> big(8192);
    for (std::size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<unsigned char>(i);
    // A fixed-count write into a small record is kept; reads give the sizes' count.
    ASSERT_EQ(module.SetTableData(0, kIso, 0x04000001, big.data(), 8192), 0);
    ASSERT_EQ(module.SetTableData(0, kIso, 0x04000002, big.data(), 8192), 0);
    std::vector<unsigned char> back(16, 0xEE);
    back.resize(20, 0xEE);
    EXPECT_EQ(module.GetTableData(0, kIso, 0x04000001, back.data(), 20), 0);
    EXPECT_EQ(back[15], 15);
    EXPECT_EQ(back[16], 0); // past size1 x size2
    EXPECT_EQ(module.SetTableData(0, kIso, 0x04000001, big.data(), 8193), -105);

    VKDM_ISOTabItem* item = module.GetISOTableItem(0);
    ASSERT_NE(item, nullptr);
    int s[4] = {};
    item->GetTableSizes(&s[0], &s[1], &s[2], &s[3]);
    EXPECT_EQ(s[0] * s[1], 16);
    EXPECT_EQ(item->GetRxDataSize(), 16);
    EXPECT_EQ(item->GetTxDataSize(), 16);
    unsigned char six[6] = {};
    EXPECT_EQ(item->ReadRxData(10, six, 6), 0);
    EXPECT_EQ(six[0], 10);
    EXPECT_EQ(item->ReadRxData(11, six, 6), -104);
    EXPECT_EQ(item->ReadRxData(-1, six, 1), -104);
    EXPECT_EQ(item->ReadRxData(0, six, 0), 0);
    const unsigned char in[2] = {0xAB, 0xCD};
    EXPECT_EQ(item->WriteTxData(14, in, 2), 0);
    EXPECT_EQ(item->WriteTxData(15, in, 2), -104);
    // Blocks of the transmit data: block 7 of 2 bytes is bytes 14 and 15.
    unsigned char block[2] = {};
    EXPECT_EQ(module.GetTableData(0, kIso, 0x04000002, 7, block, 2), 0);
    EXPECT_EQ(block[0], 0xAB);
    EXPECT_EQ(module.GetTableData(0, kIso, 0x04000002, 8, block, 2), -104);
    // Configuration blocks 0 to 3 of 4 bytes.
    unsigned char cfg[4] = {1, 2, 3, 4};
    EXPECT_EQ(module.SetTableData(0, kIso, 0x02000001, 3, cfg, 4), 0);
    EXPECT_EQ(module.SetTableData(0, kIso, 0x02000001, 4, cfg, 4), -104);
    unsigned char cfgBack[4] = {};
    EXPECT_EQ(module.GetTableData(0, kIso, 0x02000001, 3, cfgBack, 4), 0);
    EXPECT_EQ(std::memcmp(cfg, cfgBack, 4), 0);
    // The item keeps its address while the table changes.
    ASSERT_EQ(module.SetTableSize(kIso, 8, 256, 32, 256, 32), 0);
    EXPECT_EQ(module.GetISOTableItem(0), item);
    EXPECT_EQ(item->GetRxDataSize(), 8192);
    EXPECT_EQ(module.SetTableSize(kIso, 8, 257, 32, 1, 1), -105);
    item->SetSelected(true);
    bool selected = false;
    EXPECT_EQ(module.GetTableData(0, kIso, 0x80000002, &selected), 0);
    EXPECT_TRUE(selected);
}

TEST_F(TablesTest, InventoryParser) {
    const std::vector<unsigned char> two = {2,    0x03, 0xE0, 0x04, 0x01, 0x00, 0x12, 0x34, 0x56, 0x78,
                                            0x03, 0xE0, 0x04, 0x01, 0x00, 0x9A, 0xBC, 0xDE, 0xF0};
    std::vector<unsigned char> data = two;
    EXPECT_EQ(module.Set_0xB0_IsoTableData(data.data(), static_cast<int>(data.size()), 0), 2);
    EXPECT_EQ(module.GetTableLength(kIso), 2);
    EXPECT_EQ(module.FindTableIndex(0, kIso, 0x08000002, std::string("E00401009ABCDEF0")), 1);
    unsigned char type = 0;
    EXPECT_EQ(module.GetTableData(1, kIso, 0x08000001, &type), 0);
    EXPECT_EQ(type, 0x03);

    // No tag: an empty table; status 0x94 appends.
    unsigned char none[1] = {0};
    EXPECT_EQ(module.Set_0xB0_IsoTableData(none, 1, 0x01), 0);
    EXPECT_EQ(module.GetTableLength(kIso), 0);
    EXPECT_EQ(module.Set_0xB0_IsoTableData(data.data(), static_cast<int>(data.size()), 0), 2);
    EXPECT_EQ(module.Set_0xB0_IsoTableData(data.data(), 10, 0x94), -129); // count 2, one record
    EXPECT_EQ(module.GetTableLength(kIso), 3);                            // whole records kept

    // Truncated and over capacity.
    EXPECT_EQ(module.Set_0xB0_IsoTableData(data.data(), 18, 0), -129);
    EXPECT_EQ(module.GetTableLength(kIso), 1);
    ASSERT_EQ(module.SetTableSize(kIso, 1), 0);
    EXPECT_EQ(module.Set_0xB0_IsoTableData(data.data(), static_cast<int>(data.size()), 0), -130);
    EXPECT_EQ(module.GetTableLength(kIso), 1);
    EXPECT_EQ(module.Set_0xB0_IsoTableData(nullptr, 5, 0), -121);
    EXPECT_EQ(module.Set_0xB0_IsoTableData(data.data(), -1, 0), -105);
}

TEST_F(TablesTest, NotificationParser) {
    // TR-DATA 1: UID, antenna, time, date and TR-DATA 2 (input and RSSI).
    ASSERT_EQ(module.SetData("03 10 18 02 01 00 00", static_cast<unsigned char>(0xF1)), 0);
    ASSERT_EQ(module.SetData("03 10 18 03 01 00 00", static_cast<unsigned char>(0x11)), 0);
    ASSERT_EQ(module.SetData("03 10 18 05 02 00 00", 2u), 0);
    const std::vector<unsigned char> record = {
        0x03, 4,  0xDE, 0xAD, 0xBE, 0xEF, // type, UID length, UID
        0x02,                             // antenna
        12,   34, 0x01, 0xF4,             // time
        20,   24, 2,    29,   1,          // date
        5,    1,                          // input, state
        2,    1,  0x40, 2,    0x41,       // RSSI: two antennas
    };
    std::vector<unsigned char> data = record;
    data.insert(data.end(), record.begin(), record.end());
    EXPECT_EQ(module.SetBrmTableData(0x22, data.data(), static_cast<int>(data.size())), 2);
    EXPECT_EQ(module.m_BrmRecordCount.load(), 2);
    std::string uid;
    EXPECT_EQ(module.GetTableData(1, kBrm, 0x08000002, uid), 0);
    EXPECT_EQ(uid, "DEADBEEF");
    unsigned char time[4] = {};
    EXPECT_EQ(module.GetTableData(0, kBrm, 0x01000001, time, 4), 0);
    EXPECT_EQ(time[3], 0xF4);
    VKDM_BRMTabItem* item = module.GetBRMTableItem(1);
    ASSERT_NE(item, nullptr);
    unsigned char rssi[32] = {};
    item->GetAntennaRSSI(rssi);
    EXPECT_EQ(rssi[1], 0x41);
    bool flag = false;
    EXPECT_EQ(module.GetTableData(0, kBrm, 0x8000000E, &flag), 0);
    EXPECT_TRUE(flag);

    // Truncated: the whole first record is kept, the second ends with a code.
    EXPECT_EQ(module.SetBrmTableData(0x22, data.data(), static_cast<int>(data.size()) - 1), -129);
    EXPECT_EQ(module.m_BrmRecordCount.load(), 1);
    // An input event: TR-DATA 0x80 / 0x01, one record [input][state].
    ASSERT_EQ(module.SetData("03 10 18 02 01 00 00", static_cast<unsigned char>(0x80)), 0);
    ASSERT_EQ(module.SetData("03 10 18 03 01 00 00", static_cast<unsigned char>(0x01)), 0);
    ASSERT_EQ(module.SetData("03 10 18 05 02 00 00", 1u), 0);
    unsigned char input[2] = {3, 1};
    EXPECT_EQ(module.SetBrmTableData(0x74, input, 2), 1);
    unsigned char in = 0;
    EXPECT_EQ(module.GetTableData(0, kBrm, 0x01000006, &in), 0);
    EXPECT_EQ(in, 3);
    // Over capacity, other commands.
    ASSERT_EQ(module.SetData("03 10 18 05 02 00 00", 2u), 0);
    ASSERT_EQ(module.SetTableSize(kBrm, 1), 0);
    unsigned char inputs[4] = {3, 1, 4, 0};
    EXPECT_EQ(module.SetBrmTableData(0x74, inputs, 4), -130);
    EXPECT_EQ(module.SetBrmTableData(0x23, inputs, 4), -118);
}

} // namespace

// The rules behind the report and table natives, without a JVM: which groups
// of the information and diagnostic records are filled, the conditions of the
// item rows, time and size arithmetic, and the addressed range test.
#include "report_rules.h"
#include "table_item_rows.h"
#include "table_rules.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <set>
#include <string>

namespace {

using namespace nubokrn4j;

TEST(ReportRules, FunctionFieldsOfModeFourFollowTheReaderType) {
    struct Row {
        int readerType;
        bool templateAndList0;
        bool list1To2AndFirmware;
    };
    const Row rows[] = {{79, false, false}, {80, true, false},  {81, true, false},   {82, true, true},
                        {87, true, true},   {88, true, false},  {89, true, true},    {90, false, false},
                        {99, false, false}, {100, true, true},  {101, false, false}, {42, false, false},
                        {0, false, false},  {255, false, false}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.readerType);
        VKDM_ReaderInfo info{};
        info.readerType = static_cast<unsigned char>(row.readerType);
        // Without mode 0x04 read, no reader type gets them.
        EXPECT_FALSE(groupSet(info, InfoGroup::Mode04Template));
        EXPECT_FALSE(groupSet(info, InfoGroup::Mode04List));
        info.mode04 = true;
        // The reader type counts whether or not mode 0x00 was read.
        EXPECT_EQ(groupSet(info, InfoGroup::Mode04Template), row.templateAndList0);
        EXPECT_EQ(groupSet(info, InfoGroup::Mode04List), row.list1To2AndFirmware);
    }
}

TEST(ReportRules, EachFlagSelectsItsGroupAlone) {
    struct Row {
        bool VKDM_ReaderInfo::*flag;
        InfoGroup group;
    };
    const Row rows[] = {
        {&VKDM_ReaderInfo::mode00, InfoGroup::Mode00},
        {&VKDM_ReaderInfo::mode01, InfoGroup::Mode01},
        {&VKDM_ReaderInfo::mode02, InfoGroup::Mode02},
        {&VKDM_ReaderInfo::mode03, InfoGroup::Mode03},
        {&VKDM_ReaderInfo::mode05, InfoGroup::Mode05},
        {&VKDM_ReaderInfo::mode06, InfoGroup::Mode06},
        {&VKDM_ReaderInfo::mode07, InfoGroup::Mode07},
        {&VKDM_ReaderInfo::mode08, InfoGroup::Mode08},
        {&VKDM_ReaderInfo::mode10, InfoGroup::Mode10},
        {&VKDM_ReaderInfo::mode11, InfoGroup::Mode11},
        {&VKDM_ReaderInfo::mode12, InfoGroup::Mode12},
        {&VKDM_ReaderInfo::mode40, InfoGroup::Mode40},
        {&VKDM_ReaderInfo::mode41, InfoGroup::Mode41},
        {&VKDM_ReaderInfo::lanMac, InfoGroup::LanMac},
        {&VKDM_ReaderInfo::lanIp, InfoGroup::LanIp},
        {&VKDM_ReaderInfo::lanNetmask, InfoGroup::LanNetmask},
        {&VKDM_ReaderInfo::lanGateway, InfoGroup::LanGateway},
        {&VKDM_ReaderInfo::wlanMac, InfoGroup::WlanMac},
        {&VKDM_ReaderInfo::wlanIp, InfoGroup::WlanIp},
        {&VKDM_ReaderInfo::wlanNetmask, InfoGroup::WlanNetmask},
        {&VKDM_ReaderInfo::wlanGateway, InfoGroup::WlanGateway},
        {&VKDM_ReaderInfo::mode60, InfoGroup::Mode60},
        {&VKDM_ReaderInfo::mode61, InfoGroup::Mode61},
        {&VKDM_ReaderInfo::mode80, InfoGroup::Mode80},
        {&VKDM_ReaderInfo::isRfcFrequency, InfoGroup::Frequency},
    };
    std::set<InfoGroup> groups;
    for (const Row& row : rows)
        groups.insert(row.group);
    for (const Row& row : rows) {
        VKDM_ReaderInfo info{};
        info.*row.flag = true;
        for (InfoGroup other : groups)
            EXPECT_EQ(groupSet(info, other), other == row.group) << static_cast<int>(row.group);
        EXPECT_TRUE(groupSet(info, InfoGroup::Always));
    }
}

TEST(ReportRules, FrequencyAndConfigurationPagesComeFromEitherGroup) {
    // rfcFrequency is a row of mode 0x10 and of the frequency flag, noOfCfgPages
    // of modes 0x40 and 0x41: both rows take the same bytes.
    std::set<InfoGroup> frequency, pages;
    std::set<std::size_t> frequencyAt, pagesAt;
    for (const InfoRow& row : infoRows()) {
        if (std::string(row.field) == "rfcFrequency") {
            frequency.insert(row.group);
            frequencyAt.insert(row.offset);
        }
        if (std::string(row.field) == "noOfCfgPages") {
            pages.insert(row.group);
            pagesAt.insert(row.offset);
        }
    }
    EXPECT_EQ(frequency, (std::set<InfoGroup>{InfoGroup::Mode10, InfoGroup::Frequency}));
    EXPECT_EQ(pages, (std::set<InfoGroup>{InfoGroup::Mode40, InfoGroup::Mode41}));
    EXPECT_EQ(frequencyAt.size(), 1u);
    EXPECT_EQ(pagesAt.size(), 1u);
    // The eighteen flags come first.
    for (std::size_t k = 0; k < 18; ++k)
        EXPECT_EQ(infoRows()[k].value, RowValue::Flag) << k;
}

TEST(ReportRules, PeopleCountersWhoseFirstByteIsOne) {
    struct Row {
        std::uint8_t entries[6];
        int count;
    };
    const Row rows[] = {{{1, 9, 0, 9, 1, 9}, 2},
                        {{2, 0, 1, 0, 0, 1}, 1},
                        {{1, 1, 1, 1, 1, 1}, 3},
                        {{0, 1, 0, 1, 0, 1}, 0},
                        {{0xFF, 0, 0x81, 0, 1, 0}, 1}};
    for (const Row& row : rows)
        EXPECT_EQ(peopleCounterCount(std::span<const std::uint8_t, 6>(row.entries, 6)), row.count);
}

TEST(ReportRules, FirmwareTextEndsAtItsNulOrAfterThirtyOneBytes) {
    VKDM_ReaderDiagnostic d{};
    const auto* at = reinterpret_cast<const std::uint8_t*>(d.firmwareStatus);
    EXPECT_EQ(boundedText(at, sizeof d.firmwareStatus), "");
    std::memcpy(d.firmwareStatus, "ok", 3);
    EXPECT_EQ(boundedText(at, sizeof d.firmwareStatus), "ok");
    std::memset(d.firmwareStatus, 'x', sizeof d.firmwareStatus);
    EXPECT_EQ(boundedText(at, sizeof d.firmwareStatus), std::string(31, 'x'));
}

TEST(TableRules, RowConditionsByUnsignedTransponderType) {
    struct Row {
        When when;
        std::set<int> types; // the types for which the row applies
    };
    const Row rows[] = {
        {When::Type3, {3}}, {When::Type10or11, {10, 11}}, {When::Type9or132, {9, 132}}, {When::Type4, {4}},
        {When::Type5, {5}}, {When::Type17, {17}},         {When::Type16, {16}},         {When::Always, {}}};
    for (const Row& row : rows) {
        for (int type = 0; type < 256; ++type) {
            ItemFacts facts;
            facts.transponderType = static_cast<std::uint8_t>(type);
            const bool expected = row.when == When::Always || row.types.count(type) != 0;
            EXPECT_EQ(rowApplies(row.when, facts), expected) << static_cast<int>(row.when) << " " << type;
        }
    }
}

TEST(TableRules, AtrUidAndRssiConditions) {
    ItemFacts facts;
    facts.transponderType = 16;
    EXPECT_FALSE(rowApplies(When::Type16WithAtr, facts));
    facts.atrCount = 1;
    EXPECT_TRUE(rowApplies(When::Type16WithAtr, facts));
    facts.transponderType = 17;
    EXPECT_FALSE(rowApplies(When::Type16WithAtr, facts));
    EXPECT_FALSE(rowApplies(When::UidPresent, facts));
    facts.uidLength = 1;
    EXPECT_TRUE(rowApplies(When::UidPresent, facts));
    EXPECT_FALSE(rowApplies(When::Rssi, facts));
    facts.rssi = true;
    EXPECT_TRUE(rowApplies(When::Rssi, facts));
}

TEST(TableRules, ReaderTimeAndMemorySize) {
    const std::uint8_t time[4] = {12, 34, 0x01, 0xF4};
    const std::uint8_t date[5] = {20, 24, 2, 29, 1};
    const ReaderTime t = readerTime(time, date);
    EXPECT_EQ(t.hour, 12);
    EXPECT_EQ(t.minute, 34);
    EXPECT_EQ(t.mSecond, 500);
    EXPECT_EQ(t.year, 2024);
    EXPECT_EQ(t.month, 2);
    EXPECT_EQ(t.day, 29);
    EXPECT_EQ(t.timezone, 1);
    const std::uint8_t high[4] = {0xFF, 0xFF, 0xFF, 0xFF};
    const std::uint8_t highDate[5] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    const ReaderTime u = readerTime(high, highDate); // bytes are unsigned
    EXPECT_EQ(u.mSecond, 65535);
    EXPECT_EQ(u.year, 25755);
    EXPECT_EQ(u.timezone, 255);
    const std::uint8_t memory[2] = {0x01, 0x00};
    EXPECT_EQ(bigEndian16(memory), 256);
    const std::uint8_t full[2] = {0xFF, 0xFE};
    EXPECT_EQ(bigEndian16(full), 65534);
}

TEST(TableRules, RecordSizesAboveZeroWithProductsInsideAnInt) {
    struct Row {
        std::vector<int> sizes;
        bool taken;
        int rx, tx;
    };
    const Row rows[] = {
        {{256, 32}, true, 8192, 0},
        {{256, 32, 16, 2}, true, 8192, 32},
        {{1, 1, 1, 1}, true, 1, 1},
        {{0, 32}, false, 0, 0},
        {{256, 0}, false, 0, 0},
        {{256, 32, 1, 0}, false, 0, 0},
        {{-1, -1}, false, 0, 0}, // a negative pair multiplies to a positive count
        {{256, 32, -4, 8}, false, 0, 0},
        {{65536, 32768}, false, 0, 0}, // 2^31
        {{65536, 32767}, true, 2147418112, 0},
        {{2, 2, INT_MAX, 2}, false, 0, 0},
    };
    for (const Row& row : rows) {
        const auto bytes = recordBytes(row.sizes);
        ASSERT_EQ(bytes.has_value(), row.taken) << ::testing::PrintToString(row.sizes);
        if (!bytes) continue;
        EXPECT_EQ(bytes->rx, row.rx);
        EXPECT_EQ(bytes->tx, row.tx);
    }
}

TEST(TableRules, AddressedRangeInSixtyFourBits) {
    struct Row {
        std::int32_t address, length;
        std::int64_t size;
        bool inside;
    };
    const Row rows[] = {
        {10, 6, 16, true},
        {11, 6, 16, false},
        {0, 16, 16, true},
        {16, 0, 16, true},
        {17, 0, 16, false},
        {-1, 6, 16, false},
        {0, 0, 0, true},
        {INT_MAX, 1, 16, false},
        {INT_MAX - 2, 8, INT_MAX, false},
        {INT_MAX, 0, INT_MAX, true},
        {INT_MIN, 4, 16, false},
    };
    for (const Row& row : rows)
        EXPECT_EQ(rangeInside(row.address, row.length, row.size), row.inside)
            << row.address << "+" << row.length << " of " << row.size;
}

TEST(TableItemRows, TheReadRowsKeepTheirConditionsAndOrder) {
    // The ISO item reads transponderType first and isRSSI before the rows it gates.
    const auto iso = isoItemRows();
    ASSERT_FALSE(iso.empty());
    EXPECT_STREQ(iso[0].field, "transponderType");
    std::size_t rssiAt = 0;
    for (std::size_t k = 0; k < iso.size(); ++k) {
        if (iso[k].dataId == kIdRssiFlag) rssiAt = k;
        if (iso[k].when == When::Rssi) {
            EXPECT_GT(k, rssiAt) << iso[k].field;
        }
    }
    EXPECT_EQ(iso.size(), 53u);
    EXPECT_EQ(brmItemRows().size(), 31u);
    EXPECT_EQ(isoWriteRows().size(), 24u);
}

} // namespace

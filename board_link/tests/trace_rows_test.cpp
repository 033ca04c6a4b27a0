// Trace rows of telegrams and register operations.
#include "kesto_trace_rows.h"

#include <gtest/gtest.h>

#include <string>

namespace board_link::test {
namespace {

QStringList row(const KestoComObject& telegram, TraceDirection direction = TraceDirection::Write,
                bool success = true) {
    KestoTraceStandardDataProcessor processor;
    QStringList out;
    EXPECT_TRUE(processor.telegramRow(direction, success, &telegram, out));
    return out;
}

TEST(TraceRows, KindsDirectionsAndSuccess) {
    EXPECT_EQ(row(I2cRegisterObject(0x21, 0x12, 0x5A)),
              (QStringList{"Write", "Register", "0x21", "0x12=0x5A", "OK"}));
    EXPECT_EQ(row(I2cRegisterObject(0x21, 0x12, 0x5A), TraceDirection::Read, false),
              (QStringList{"Read", "Register", "0x21", "0x12=0x5A", "NOK"}));
    EXPECT_EQ(row(I2cBlockObject(0x22, {})).at(3), QStringLiteral("{}"));
    EXPECT_EQ(row(I2cBlockObject(0x22, {0x01, 0xAB, 0xFF})).at(3), QStringLiteral("{0x01,0xAB,0xFF,}"));
    GetFirmwareInfoObject empty;
    EXPECT_EQ(row(empty, TraceDirection::Read), (QStringList{"Read", "Version", "0x66", "", "OK"}));
    GetFirmwareInfoObject full;
    const std::string text(70, 'v');
    QString xmlText;
    QXmlStreamWriter xml(&xmlText);
    full.parseResponse(reinterpret_cast<const std::uint8_t*>(text.data()), 70, xml);
    EXPECT_EQ(row(full).at(3), QString(63, QLatin1Char('v')));
}

TEST(TraceRows, ConfigSpeedsAndResetBits) {
    const std::pair<int, const char*> speeds[] = {{1, "100KHz"}, {2, "400KHz"},         {3, "1MHz"},
                                                  {4, "3.4MHz"}, {255, "custom speed"}, {9, "unknown"}};
    for (const auto& [speed, name] : speeds)
        EXPECT_EQ(row(I2cConfigObject(0x23, 1, static_cast<std::uint8_t>(speed))).at(3),
                  QStringLiteral("Module=1, Frequency=") + QLatin1String(name));
    const std::pair<int, const char*> resets[] = {{0, "0x00"},
                                                  {1, "MCU 0x00"},
                                                  {2, "Peripheral 0x00"},
                                                  {3, "Peripheral MCU 0x00"},
                                                  {0x13, "Peripheral MCU 0x10"}};
    for (const auto& [bits, data] : resets) {
        const QStringList r = row(ResetObject(0x24, static_cast<std::uint8_t>(bits)));
        EXPECT_EQ(r.at(1), QStringLiteral("Reset"));
        EXPECT_EQ(r.at(3), QLatin1String(data));
    }
}

TEST(TraceRows, OtherKindsGiveNoRow) {
    KestoTraceStandardDataProcessor processor;
    QStringList out{"kept"};
    KXx0CommandObject command(0x10, 0);
    EXPECT_FALSE(processor.telegramRow(TraceDirection::Write, true, &command, out));
    EXPECT_FALSE(processor.telegramRow(TraceDirection::Write, true, nullptr, out));
    EXPECT_EQ(out, QStringList{"kept"});
}

TEST(TraceRows, RegisterOperations) {
    KestoTraceStandardDataProcessor processor;
    QStringList out;
    ASSERT_TRUE(processor.registerRow(RegisterAccess::Read, 0x12, 0, 0x5A, "OK", out));
    EXPECT_EQ(out, (QStringList{"Read Register 0x12", "0x12", "255", "0x5A", "OK"}));
    ASSERT_TRUE(processor.registerRow(RegisterAccess::Write, 0x0A, 0, 0xFF, "Write Error", out));
    EXPECT_EQ(out, (QStringList{"Write Register 0x0A", "0x0A", "255", "0xFF", "Write Error"}));
    ASSERT_TRUE(processor.registerRow(RegisterAccess::Modify, 0x12, 0x0F, 0xA5, "Verify Error", out));
    EXPECT_EQ(out, (QStringList{"Modify Register 0x12, mask 0x0F", "0x12", "0x0F", "0xA5", "Verify Error"}));
}

} // namespace
} // namespace board_link::test

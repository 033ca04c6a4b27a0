// Range choice, message layout, text sources and version numbers.
#include "messages.h"
#include "registry.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

using nubokrn4j::ExceptionClass;

TEST(RangeChoice, StandardTableAtEveryBoundary) {
    struct Row {
        int code;
        std::optional<ExceptionClass> cls;
    };
    const Row rows[] = {
        {5, std::nullopt},
        {0, std::nullopt},
        {-1, ExceptionClass::Vkdm},
        {-99, ExceptionClass::Vkdm},
        {-100, ExceptionClass::Vkdm},
        {-999, ExceptionClass::Vkdm},
        {-1000, ExceptionClass::PortDriver},
        {-1099, ExceptionClass::PortDriver},
        {-1100, ExceptionClass::PortDriver},
        {-1199, ExceptionClass::PortDriver},
        {-1200, ExceptionClass::PortDriver},
        {-1299, ExceptionClass::PortDriver},
        {-1300, ExceptionClass::Vkdm},
        {-4000, ExceptionClass::Vkdm},
        {-4001, ExceptionClass::ReaderDriver},
        {-4099, ExceptionClass::ReaderDriver},
        {-4100, ExceptionClass::Vkdm},
        {-4150, ExceptionClass::Vkdm},
        {INT_MIN, ExceptionClass::Vkdm},
    };
    for (const Row& row : rows)
        EXPECT_EQ(nubokrn4j::chooseException(row.code, nubokrn4j::kStandardRanges), row.cls) << row.code;
    EXPECT_EQ(nubokrn4j::chooseException(-1250, nubokrn4j::kVkdmOnly), ExceptionClass::Vkdm);
    EXPECT_EQ(nubokrn4j::chooseException(0, nubokrn4j::kVkdmOnly), std::nullopt);
    EXPECT_STREQ(nubokrn4j::exceptionClassName(ExceptionClass::ReaderDriver),
                 "de/varek/VkReaderDriverException");
}

TEST(Message, ErrorAndStatusLayout) {
    EXPECT_EQ(
        nubokrn4j::composeMessage(-118, false, "text", "VkdmKrnReader_Init", 42),
        "\nError -118 - text\n(in Function: VkdmKrnReader_Init, Line: 42)\nnative Library Version: 04.07.0");
    EXPECT_EQ(nubokrn4j::composeMessage(0x1F3, true, "s", "f", 7),
              "\nStatus 0x1F3 - s\n(in Function: f, Line: 7)\nnative Library Version: 04.07.0");
    EXPECT_EQ(nubokrn4j::composeMessage(1, true, "s", "f", 7).substr(0, 15), "\nStatus 0x01 - ");
}

TEST(Message, TextSourceByHandleKind) {
    VKDM_ReaderManager modules;
    VKDM_FunctionUnitManager units;
    const int module = modules.CreateReaderModule(3);
    const int unit = units.CreateModule(modules.SearchReaderModule(module), 10);
    auto staticText = [](int code) {
        char text[256] = {};
        VKDM_Base::GetErrorText(text, code);
        return std::string(text);
    };
    auto objectText = [](auto* object, int code) {
        char text[256] = {};
        object->GetErrorText(text, code);
        return std::string(text);
    };
    // A handle of no kind takes -106's text whatever the code.
    EXPECT_EQ(nubokrn4j::codeText(0, -118, false, modules, units), staticText(-106));
    EXPECT_EQ(nubokrn4j::codeText(0, 3, true, modules, units), staticText(-106));
    EXPECT_EQ(nubokrn4j::codeText(module, -4001, false, modules, units),
              objectText(modules.SearchReaderModule(module), -4001));
    EXPECT_EQ(nubokrn4j::codeText(unit, -131, false, modules, units),
              objectText(units.SearchModule(unit), -131));
    EXPECT_EQ(nubokrn4j::codeText(module + 5, -141, false, modules, units), staticText(-141));
    EXPECT_EQ(nubokrn4j::codeText(unit + 5, -139, false, modules, units), staticText(-139));
    char status[256] = {};
    modules.SearchReaderModule(module)->GetStatusText(status, 0x83);
    EXPECT_EQ(nubokrn4j::codeText(module, 0x183, true, modules, units), status);
}

TEST(Version, PackedFormAndFields) {
    struct Row {
        const char* text;
        std::uint32_t packed;
        std::array<int, 3> fields;
    };
    const Row rows[] = {
        {"04.07.00", 0x040700, {4, 7, 0}},
        {"04.07.0", 0x040700, {4, 7, 0}},
        {"4.6.9", 0x040609, {4, 6, 9}},
        {"5.0.0", 0x050000, {5, 0, 0}},
        {"4", 0x040000, {4, 0, 0}},
        {"", 0, {0, 0, 0}},
        {"4.x.1", 0x040000, {4, 0, 1}},
        {"4.7.0.9", 0x040700, {4, 7, 0}},
        // Saturating: no overflow of the reading, the packed form wraps as unsigned.
        {"99999999999.1.1", static_cast<std::uint32_t>(INT_MAX) * 65536u + 257u, {INT_MAX, 1, 1}},
        {"1.-99999999999.1", 65536u + static_cast<std::uint32_t>(INT_MIN) * 256u + 1u, {1, INT_MIN, 1}},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(nubokrn4j::packedVersion(row.text), row.packed) << row.text;
        EXPECT_EQ(nubokrn4j::versionFields(row.text), row.fields) << row.text;
    }
}

} // namespace

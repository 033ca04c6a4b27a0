// The element text and the print text through the library's exports.
#include "waveform_test_support.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <locale>
#include <string>
#include <vector>

namespace {

using zrbtest::Element;
using zrbtest::elementsOf;
using zrbtest::elementText;
using zrbtest::makeWaveform;
using zrbtest::WaveformPtr;

WaveformPtr read(const char* text) {
    return WaveformPtr(ZRB_WaveformNewFromStr("read", text));
}

std::string printed(const Waveform* waveform, unsigned limit) {
    char* text = ZRB_WaveformDumpString(waveform, limit);
    if (text == nullptr) return "<null>";
    std::string copy(text);
    std::free(text);
    return copy;
}

TEST(ElementText, WritesUnsignedAmplitudesAndRoundedDurations) {
    struct Case {
        std::vector<std::pair<int, double>> steps;
        const char* text;
    };
    const Case cases[] = {
        {{{3, 40}, {0, 25}, {-2, 10}}, "3;40;0;25;4294967294;10"},
        {{{1, 100}, {0, 20}}, "1;100;0;20"},
        {{}, ""},
        {{{-1, 0.5}, {std::numeric_limits<int>::min(), 1.5}, {7, 2.5}}, "4294967295;0;2147483648;2;7;2"},
        {{{1, -0.4}, {2, -3}}, "1;-0;2;-3"},
        {{{1, 1e20}}, "1;100000000000000000000"},
        {{{1, std::numeric_limits<double>::infinity()}}, "1;inf"},
    };
    for (const auto& c : cases) {
        const WaveformPtr waveform = makeWaveform(c.steps);
        EXPECT_EQ(elementText(waveform.get()), c.text);
    }
}

TEST(ElementText, ReadsFieldsAsALineReaderGivesThem) {
    struct Case {
        const char* text;
        std::vector<Element> expected;
    };
    const double inf = std::numeric_limits<double>::infinity();
    const Case cases[] = {
        {"2;30;2;20;5;10", {{0, 50, 2}, {50, 10, 5}}},
        {"1;100;1;50;0;20", {{0, 150, 1}, {150, 20, 0}}},
        {"2;30;5", {{0, 30, 2}}},
        {"1;100;0", {{0, 100, 1}}},
        {"", {}},
        {";", {}},
        {"2;30;", {{0, 30, 2}}},
        {"2;;5;10", {{0, 0, 2}, {0, 10, 5}}},
        {";;", {{0, 0, 0}}},
        {" 7;1e1", {{0, 10, 7}}},
        {"+7x;  2.5abc", {{0, 2.5, 7}}},
        {"abc;def", {{0, 0, 0}}},
        {"4294967294;10", {{0, 10, -2}}},
        {"4294967296;10", {{0, 10, 0}}},
        {"-1;10", {{0, 10, -1}}},
        {"99999999999999999999;1", {{0, 1, -1}}},
        {"-99999999999999999999;1", {{0, 1, 0}}},
        {"3;0x10", {{0, 16, 3}}},
        {"3;inf;4;1", {{0, inf, 3}, {inf, 1, 4}}},
        {"3;-5;4;1", {{0, -5, 3}, {-5, 1, 4}}},
        {"1;2\n;3;4", {{0, 2, 1}, {2, 4, 3}}},
    };
    for (const auto& c : cases) {
        const WaveformPtr waveform = read(c.text);
        ASSERT_NE(waveform, nullptr) << c.text;
        EXPECT_EQ(elementsOf(waveform.get()), c.expected) << '"' << c.text << '"';
    }
    EXPECT_EQ(ZRB_WaveformNewFromStr("read", nullptr), nullptr);
    EXPECT_EQ(ZRB_WaveformNewFromStr(nullptr, "1;2"), nullptr);
}

TEST(ElementText, WrittenTextsReadBackToTheSameWaveform) {
    const std::vector<std::vector<std::pair<int, double>>> sources = {
        {{3, 40}, {0, 25}, {-2, 10}},
        {{std::numeric_limits<int>::max(), 1}, {std::numeric_limits<int>::min(), 9007199254740993.0}},
        {{1, -0.0}, {2, std::numeric_limits<double>::quiet_NaN()}},
    };
    for (const auto& steps : sources) {
        const WaveformPtr waveform = makeWaveform(steps);
        const std::string text = elementText(waveform.get());
        const WaveformPtr back = read(text.c_str());
        ASSERT_NE(back, nullptr) << text;
        EXPECT_EQ(elementText(back.get()), text);
        const auto original = elementsOf(waveform.get());
        const auto reread = elementsOf(back.get());
        ASSERT_EQ(reread.size(), original.size()) << text;
        for (std::size_t i = 0; i < original.size(); ++i) {
            EXPECT_EQ(reread[i].amplitude, original[i].amplitude) << text;
            if (!std::isnan(original[i].duration)) {
                EXPECT_EQ(reread[i].duration, original[i].duration) << text;
            }
        }
    }
}

TEST(ElementText, DumpElementsRefusesANullOut) {
    const WaveformPtr waveform = makeWaveform({{1, 1}});
    EXPECT_EQ(ZRB_WaveformDumpElements(waveform.get(), nullptr), 14);
    char* untouched = reinterpret_cast<char*>(0x1);
    EXPECT_EQ(ZRB_WaveformDumpElements(nullptr, &untouched), 14);
    EXPECT_EQ(untouched, reinterpret_cast<char*>(0x1));
}

// A C locale with a decimal comma changes neither form, when one is installed.
TEST(ElementText, ADecimalCommaLocaleChangesNothing) {
    const char* const candidates[] = {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "de_DE", "fr_FR"};
    const std::string previous = std::setlocale(LC_ALL, nullptr);
    const char* installed = nullptr;
    for (const char* name : candidates)
        if (std::setlocale(LC_ALL, name) != nullptr) {
            installed = name;
            break;
        }
    if (installed == nullptr) GTEST_SKIP() << "no decimal-comma locale is installed";
    const WaveformPtr waveform = read("1;2.5;2;1000000.75");
    const std::string text = elementText(waveform.get());
    const std::string print = printed(waveform.get(), 0);
    std::setlocale(LC_ALL, previous.c_str());
    EXPECT_EQ(elementsOf(waveform.get()), (std::vector<Element>{{0, 2.5, 1}, {2.5, 1000000.75, 2}}));
    EXPECT_EQ(text, "1;2;2;1000001");
    EXPECT_EQ(print, "[amp: 1; dur: 2; abs: 0] [amp: 2; dur: 1000001; abs: 2] ");
}

TEST(PrintText, ShowsElementsUpToTheLimit) {
    const WaveformPtr two = makeWaveform({{1, 100}, {0, 20}});
    const std::string both = "[amp: 1; dur: 100; abs: 0] [amp: 0; dur: 20; abs: 100] ";
    const WaveformPtr three = makeWaveform({{-1, 1.5}, {2, 2.5}, {3, 3}});
    const std::string threeItems =
        "[amp: -1; dur: 2; abs: 0] [amp: 2; dur: 2; abs: 2] [amp: 3; dur: 3; abs: 4] ";
    const WaveformPtr empty = makeWaveform({});
    struct Case {
        const Waveform* waveform;
        unsigned limit;
        std::string text;
    };
    const Case cases[] = {
        {two.get(), 0, both},
        {two.get(), 5, both},
        {two.get(), 2, both},
        {two.get(), 1, "[amp: 1; dur: 100; abs: 0] ...{1 more}"},
        {three.get(), 2, "[amp: -1; dur: 2; abs: 0] [amp: 2; dur: 2; abs: 2] ...{1 more}"},
        {three.get(), 0, threeItems},
        {empty.get(), 0, ""},
        {empty.get(), 3, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(printed(c.waveform, c.limit), c.text) << c.limit;
    EXPECT_EQ(ZRB_WaveformDumpString(nullptr, 0), nullptr);
}

// Digit grouping in the global C++ locale stays out of the print text.
struct Grouping : std::numpunct<char> {
    char do_thousands_sep() const override { return '.'; }
    char do_decimal_point() const override { return ','; }
    std::string do_grouping() const override { return "\3"; }
};

TEST(PrintText, AGlobalLocaleWithGroupingChangesNothing) {
    const WaveformPtr waveform = makeWaveform({{123456, 1234567}, {-7654321, 2000000.5}});
    const std::string expected = printed(waveform.get(), 0);
    ASSERT_EQ(expected, "[amp: 123456; dur: 1234567; abs: 0] [amp: -7654321; dur: 2000000; abs: 1234567] ");
    const std::locale previous = std::locale::global(std::locale(std::locale::classic(), new Grouping));
    const std::string underGrouping = printed(waveform.get(), 0);
    const std::string text = elementText(waveform.get());
    std::locale::global(previous);
    EXPECT_EQ(underGrouping, expected);
    EXPECT_EQ(text, "123456;1234567;4287312975;2000000");
}

std::string readAll(FILE* stream) {
    std::rewind(stream);
    std::string text;
    char buffer[256];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, stream)) > 0)
        text.append(buffer, n);
    return text;
}

TEST(PrintText, PrintWritesTheTextAndALineFeed) {
    const WaveformPtr waveform = makeWaveform({{1, 100}, {0, 20}});
    FILE* stream = std::tmpfile();
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(ZRB_WaveformPrint(waveform.get(), stream, 1), 0);
    EXPECT_EQ(readAll(stream), "[amp: 1; dur: 100; abs: 0] ...{1 more}\n");
    std::fclose(stream);

    EXPECT_EQ(ZRB_WaveformPrint(waveform.get(), nullptr, 0), 14);
    EXPECT_EQ(ZRB_WaveformPrint(nullptr, stdout, 0), 14);
}

TEST(PrintText, PrintReportsAFailedWrite) {
    const WaveformPtr waveform = makeWaveform({{1, 100}});
    FILE* full = std::fopen("/dev/full", "w");
    ASSERT_NE(full, nullptr);
    std::setvbuf(full, nullptr, _IONBF, 0);
    EXPECT_EQ(ZRB_WaveformPrint(waveform.get(), full, 0), 14);
    std::fclose(full);

    FILE* readOnly = std::fopen("/dev/null", "r");
    ASSERT_NE(readOnly, nullptr);
    EXPECT_EQ(ZRB_WaveformPrint(waveform.get(), readOnly, 0), 14);
    std::fclose(readOnly);
}

} // namespace

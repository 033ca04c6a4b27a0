// The waveform model through the library's exports: appending with merging and
// units, look-ups, extracts, filtering, removal, apply and times.
#include "waveform_test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <limits>
#include <string>
#include <utility>
#include <vector>

namespace {

using zrbtest::Element;
using zrbtest::elementsOf;
using zrbtest::makeWaveform;
using zrbtest::WaveformPtr;

struct AppendCase {
    const char* what;
    std::vector<std::pair<int, double>> steps;
    std::vector<Element> expected;
};

TEST(WaveformAppend, MergesEqualNeighboursAndKeepsEveryDuration) {
    const AppendCase cases[] = {
        {"equal amplitudes merge", {{2, 30}, {2, 20}, {5, 10}}, {{0, 50, 2}, {50, 10, 5}}},
        {"merge then change", {{1, 100}, {1, 50}, {0, 20}}, {{0, 150, 1}, {150, 20, 0}}},
        {"zero and negative durations", {{1, 0}, {2, -5}, {3, 10}}, {{0, 0, 1}, {0, -5, 2}, {-5, 10, 3}}},
        {"alternating", {{0, 1}, {1, 2}, {0, 3}}, {{0, 1, 0}, {1, 2, 1}, {3, 3, 0}}},
        {"nothing", {}, {}},
    };
    for (const auto& c : cases) {
        const WaveformPtr waveform = makeWaveform(c.steps);
        ASSERT_NE(waveform, nullptr) << c.what;
        EXPECT_EQ(elementsOf(waveform.get()), c.expected) << c.what;
    }
}

TEST(WaveformAppend, AfterClearStartsAgainAtTheStartTime) {
    const WaveformPtr fresh = makeWaveform({{1, 10}, {2, 10}});
    EXPECT_EQ(ZRB_WaveformClear(fresh.get()), 0);
    EXPECT_EQ(ZRB_WaveformElements(fresh.get()), 0);
    ASSERT_EQ(ZRB_WaveformAppend(fresh.get(), 7, 5, 0), 0);
    EXPECT_EQ(elementsOf(fresh.get()), (std::vector<Element>{{0, 5, 7}}));

    // An extract starts where its first element starts, and keeps that start.
    const WaveformPtr source = makeWaveform({{1, 60}, {0, 40}});
    Waveform* raw = nullptr;
    ASSERT_EQ(ZRB_WaveformExtract(source.get(), &raw, 70, 90, 0), 0);
    const WaveformPtr extract(raw);
    ASSERT_EQ(ZRB_WaveformClear(extract.get()), 0);
    ASSERT_EQ(ZRB_WaveformAppend(extract.get(), 3, 5, 0), 0);
    EXPECT_EQ(elementsOf(extract.get()), (std::vector<Element>{{60, 5, 3}}));
}

TEST(WaveformUnits, ConvertAppendedDurationsToNanoseconds) {
    const WaveformPtr waveform = makeWaveform({});
    ASSERT_EQ(ZRB_WaveformDefineUnit(waveform.get(), 3, 250, 0), 0);
    ASSERT_EQ(ZRB_WaveformAppend(waveform.get(), 1, 4, 3), 0);
    EXPECT_EQ(elementsOf(waveform.get()).back(), (Element{0, 1000, 1}));

    // Unit 4 is two of unit 3; redefining unit 3 afterwards leaves unit 4 alone.
    ASSERT_EQ(ZRB_WaveformDefineUnit(waveform.get(), 4, 2, 3), 0);
    ASSERT_EQ(ZRB_WaveformAppend(waveform.get(), 2, 1, 4), 0);
    EXPECT_EQ(elementsOf(waveform.get()).back(), (Element{1000, 500, 2}));
    ASSERT_EQ(ZRB_WaveformDefineUnit(waveform.get(), 3, 100, 0), 0);
    ASSERT_EQ(ZRB_WaveformAppend(waveform.get(), 3, 1, 4), 0);
    EXPECT_EQ(elementsOf(waveform.get()).back(), (Element{1500, 500, 3}));
    ASSERT_EQ(ZRB_WaveformAppend(waveform.get(), 4, 1, 3), 0);
    EXPECT_EQ(elementsOf(waveform.get()).back(), (Element{2000, 100, 4}));

    ASSERT_EQ(ZRB_WaveformDefineUnit(waveform.get(), 1, 1000.0, 0), 0);
    ASSERT_EQ(ZRB_WaveformAppend(waveform.get(), 5, 2, 1), 0);
    EXPECT_EQ(elementsOf(waveform.get()).back(), (Element{2100, 2000, 5}));
}

// Unit 0 is the nanosecond every result and every element text is given in:
// redefining it fails and leaves the table as it was.
TEST(WaveformUnits, TheNanosecondCannotBeRedefined) {
    const WaveformPtr waveform = makeWaveform({});
    ASSERT_EQ(ZRB_WaveformDefineUnit(waveform.get(), 1, 1000.0, 0), 0);
    const std::pair<double, int> definitions[] = {{1.0, 0}, {2.0, 1}, {1000.0, 0}};
    for (const auto& [value, reference] : definitions)
        EXPECT_EQ(ZRB_WaveformDefineUnit(waveform.get(), 0, value, reference), 14) << value;
    ASSERT_EQ(ZRB_WaveformAppend(waveform.get(), 1, 2, 1), 0);
    ASSERT_EQ(ZRB_WaveformAppend(waveform.get(), 2, 500, 0), 0);
    EXPECT_EQ(elementsOf(waveform.get()), (std::vector<Element>{{0, 2000, 1}, {2000, 500, 2}}));
    char* text = nullptr;
    ASSERT_EQ(ZRB_WaveformDumpElements(waveform.get(), &text), 0);
    EXPECT_STREQ(text, "1;2000;2;500");
    std::free(text);
}

TEST(WaveformUnits, UndefinedUnitsFailAndChangeNothing) {
    const WaveformPtr waveform = makeWaveform({{1, 10}});
    const auto before = elementsOf(waveform.get());
    EXPECT_EQ(ZRB_WaveformAppend(waveform.get(), 2, 5, 7), 14);
    EXPECT_EQ(ZRB_WaveformDefineUnit(waveform.get(), 8, 2, 7), 14);
    EXPECT_EQ(ZRB_WaveformAppend(waveform.get(), 2, 5, 8), 14) << "a failed definition defines nothing";
    EXPECT_EQ(elementsOf(waveform.get()), before);
}

TEST(WaveformLookup, GetElementRefusesIndicesOutsideTheElements) {
    const WaveformPtr waveform = makeWaveform({{1, 10}, {2, 20}});
    for (const int index : {-1, 2, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()}) {
        int amplitude = 99;
        EXPECT_EQ(ZRB_WaveformGetElement(waveform.get(), index, &amplitude, nullptr, nullptr), 14) << index;
        EXPECT_EQ(amplitude, 99);
    }
    EXPECT_EQ(ZRB_WaveformGetElement(waveform.get(), 1, nullptr, nullptr, nullptr), 0);
}

TEST(WaveformLookup, GetAtTimeFindsTheFirstElementHoldingTheTime) {
    // (0, 100, 1), (100, 0, 2), (100, 50, 3): the zero-length element holds no time.
    const WaveformPtr waveform = makeWaveform({{1, 100}, {2, 0}, {3, 50}});
    struct Case {
        double time;
        int result;
        Element element;
        int index;
    };
    const Case cases[] = {
        {0, 0, {0, 100, 1}, 0},
        {50, 0, {0, 100, 1}, 0},
        {99.5, 0, {0, 100, 1}, 0},
        {100, 0, {100, 50, 3}, 2},
        {149.9, 0, {100, 50, 3}, 2},
        {150, 14, {}, -1},
        {-0.1, 14, {}, -1},
        {1e300, 14, {}, -1},
        {std::numeric_limits<double>::quiet_NaN(), 14, {}, -1},
    };
    for (const auto& c : cases) {
        Element found{-1, -1, -1};
        int index = -1;
        EXPECT_EQ(ZRB_WaveformGetAtTime(waveform.get(), c.time, &found.amplitude, &found.duration,
                                        &found.absTime, &index),
                  c.result)
            << c.time;
        if (c.result == 0) {
            EXPECT_EQ(found, c.element) << c.time;
            EXPECT_EQ(index, c.index) << c.time;
        } else {
            EXPECT_EQ(found, (Element{-1, -1, -1})) << c.time;
        }
    }
    EXPECT_EQ(ZRB_WaveformGetAtTime(waveform.get(), 120, nullptr, nullptr, nullptr, nullptr), 0);
}

struct ExtractCase {
    const char* what;
    double begin;
    double end;
    unsigned char clip;
    std::vector<Element> expected;
};

TEST(WaveformExtract, TakesTheOverlappingElementsAndClipsThem) {
    const ExtractCase cases[] = {
        {"no clip", 80, 120, 0, {{60, 40, 0}, {100, 50, 2}}},
        {"clip", 80, 120, 1, {{80, 20, 0}, {100, 20, 2}}},
        {"whole element", 60, 100, 0, {{60, 40, 0}}},
        {"whole element clipped", 60, 100, 1, {{60, 40, 0}}},
        {"begin equals end", 30, 30, 1, {{30, 0, 1}}},
        {"past the end", 200, 300, 1, {}},
        {"before the start", -50, 0, 1, {}},
        {"everything", -1e9, 1e9, 1, {{0, 60, 1}, {60, 40, 0}, {100, 50, 2}}},
    };
    const WaveformPtr source = makeWaveform({{1, 60}, {0, 40}, {2, 50}});
    for (const auto& c : cases) {
        Waveform* raw = nullptr;
        ASSERT_EQ(ZRB_WaveformExtract(source.get(), &raw, c.begin, c.end, c.clip), 0) << c.what;
        const WaveformPtr extract(raw);
        EXPECT_EQ(elementsOf(extract.get()), c.expected) << c.what;
    }
    EXPECT_EQ(ZRB_WaveformElements(source.get()), 3) << "the source stays";
}

TEST(WaveformExtract, ReproducesTheDocumentedExample) {
    const WaveformPtr source = makeWaveform({{1, 100}, {0, 50}, {1, 30}});
    Waveform* raw = nullptr;
    ASSERT_EQ(ZRB_WaveformExtract(source.get(), &raw, 120, 160, 0), 0);
    WaveformPtr extract(raw);
    EXPECT_EQ(elementsOf(extract.get()), (std::vector<Element>{{100, 50, 0}, {150, 30, 1}}));
    ASSERT_EQ(ZRB_WaveformExtract(source.get(), &raw, 120, 160, 1), 0);
    extract.reset(raw);
    EXPECT_EQ(elementsOf(extract.get()), (std::vector<Element>{{120, 30, 0}, {150, 10, 1}}));
}

TEST(WaveformExtract, MergesEqualNeighboursAcrossAGap) {
    const WaveformPtr source = makeWaveform({{1, 10}, {2, 10}, {1, 10}});
    ASSERT_EQ(ZRB_WaveformRemove(source.get(), 1), 0);
    Waveform* raw = nullptr;
    ASSERT_EQ(ZRB_WaveformExtract(source.get(), &raw, 0, 100, 0), 0);
    const WaveformPtr extract(raw);
    EXPECT_EQ(elementsOf(extract.get()), (std::vector<Element>{{0, 20, 1}}));
}

TEST(WaveformExtract, BeginAfterEndFailsAndLeavesOutUntouched) {
    const WaveformPtr source = makeWaveform({{1, 10}});
    Waveform* const sentinel = reinterpret_cast<Waveform*>(0x1);
    Waveform* out = sentinel;
    EXPECT_EQ(ZRB_WaveformExtract(source.get(), &out, 5, 4.999, 0), 14);
    EXPECT_EQ(out, sentinel);
}

TEST(WaveformLowPassFilter, RemovesShortElementsAndKeepsTimes) {
    struct Case {
        const char* what;
        unsigned frequency;
        std::vector<std::pair<int, double>> steps;
        std::vector<Element> expected;
    };
    const Case cases[] = {
        {"25 MHz: 40 ns minimum, strict",
         25'000'000,
         {{1, 39.9}, {2, 40}, {3, 41}},
         {{39.9, 40, 2}, {79.9, 41, 3}}},
        {"10 MHz", 10'000'000, {{1, 100}, {0, 99}, {1, 150}}, {{0, 100, 1}, {199, 150, 1}}},
        {"no merge after removal", 25'000'000, {{1, 50}, {2, 10}, {1, 50}}, {{0, 50, 1}, {60, 50, 1}}},
        {"0 Hz removes everything", 0, {{1, 1e300}, {2, std::numeric_limits<double>::infinity()}}, {}},
        {"1 Hz", 1, {{1, 999'999'999}, {2, 1e9}}, {{999'999'999, 1e9, 2}}},
    };
    for (const auto& c : cases) {
        const WaveformPtr waveform = makeWaveform(c.steps);
        ASSERT_EQ(ZRB_WaveformLowPassFilter(waveform.get(), c.frequency), 0) << c.what;
        EXPECT_EQ(elementsOf(waveform.get()), c.expected) << c.what;
    }
}

TEST(WaveformRemove, OpensAGapAndRefusesBadIndices) {
    const WaveformPtr waveform = makeWaveform({{1, 10}, {2, 20}, {3, 30}});
    EXPECT_EQ(ZRB_WaveformRemove(waveform.get(), 3), 14);
    EXPECT_EQ(ZRB_WaveformRemove(waveform.get(), -1), 14);
    EXPECT_EQ(ZRB_WaveformElements(waveform.get()), 3);
    EXPECT_EQ(ZRB_WaveformRemove(waveform.get(), 1), 0);
    EXPECT_EQ(elementsOf(waveform.get()), (std::vector<Element>{{0, 10, 1}, {30, 30, 3}}));
    EXPECT_EQ(ZRB_WaveformGetAtTime(waveform.get(), 15, nullptr, nullptr, nullptr, nullptr), 14);
}

int doubled(int amplitude) {
    return amplitude * 2;
}

TEST(WaveformApply, ChangesAmplitudesWithoutMerging) {
    const WaveformPtr waveform = makeWaveform({{1, 10}, {2, 20}, {-3, 30}});
    ASSERT_EQ(ZRB_WaveformApply(waveform.get(), [](int* amplitude) { *amplitude = doubled(*amplitude); }), 0);
    EXPECT_EQ(elementsOf(waveform.get()), (std::vector<Element>{{0, 10, 2}, {10, 20, 4}, {30, 30, -6}}));
    ASSERT_EQ(ZRB_WaveformApply(waveform.get(), [](int* amplitude) { *amplitude = 0; }), 0);
    EXPECT_EQ(ZRB_WaveformElements(waveform.get()), 3);
}

TEST(WaveformTimes, DurationAndEndTime) {
    double duration = -1;
    const WaveformPtr empty = makeWaveform({});
    EXPECT_EQ(ZRB_WaveformDuration(empty.get(), &duration), 0);
    EXPECT_EQ(duration, 0.0);
    EXPECT_EQ(ZRB_WaveformGetEndTime(empty.get()), 0.0);

    const WaveformPtr waveform = makeWaveform({{1, 60}, {0, 40}, {2, 50}});
    EXPECT_EQ(ZRB_WaveformDuration(waveform.get(), &duration), 0);
    EXPECT_EQ(duration, 150.0);
    EXPECT_EQ(ZRB_WaveformGetEndTime(waveform.get()), 150.0);

    Waveform* raw = nullptr;
    ASSERT_EQ(ZRB_WaveformExtract(waveform.get(), &raw, 70, 200, 0), 0);
    const WaveformPtr extract(raw);
    EXPECT_EQ(ZRB_WaveformDuration(extract.get(), &duration), 0);
    EXPECT_EQ(duration, 90.0);
    EXPECT_EQ(ZRB_WaveformGetEndTime(extract.get()), 150.0);
    ASSERT_EQ(ZRB_WaveformClear(extract.get()), 0);
    EXPECT_EQ(ZRB_WaveformDuration(extract.get(), &duration), 0);
    EXPECT_EQ(duration, 0.0);
    EXPECT_EQ(ZRB_WaveformGetEndTime(extract.get()), 60.0) << "the start time of the empty extract";
}

TEST(WaveformExports, NullArgumentsGiveTheFailureResults) {
    EXPECT_EQ(ZRB_WaveformNew(nullptr), nullptr);
    ZRB_WaveformDelete(nullptr);
    EXPECT_EQ(ZRB_WaveformElements(nullptr), -1);
    EXPECT_EQ(ZRB_WaveformGetElement(nullptr, 0, nullptr, nullptr, nullptr), 14);
    EXPECT_EQ(ZRB_WaveformGetAtTime(nullptr, 0, nullptr, nullptr, nullptr, nullptr), 14);
    EXPECT_EQ(ZRB_WaveformAppend(nullptr, 1, 1, 0), 14);
    EXPECT_EQ(ZRB_WaveformRemove(nullptr, 0), 14);
    EXPECT_EQ(ZRB_WaveformClear(nullptr), 14);
    EXPECT_EQ(ZRB_WaveformDefineUnit(nullptr, 1, 1, 0), 14);
    Waveform* out = nullptr;
    EXPECT_EQ(ZRB_WaveformExtract(nullptr, &out, 0, 1, 0), 14);
    double duration = 5;
    EXPECT_EQ(ZRB_WaveformDuration(nullptr, &duration), 1);
    EXPECT_EQ(duration, 5);
    EXPECT_EQ(ZRB_WaveformGetEndTime(nullptr), -1.0);
    EXPECT_EQ(ZRB_WaveformApply(nullptr, [](int*) {}), 14);
    EXPECT_EQ(ZRB_WaveformLowPassFilter(nullptr, 1), 14);

    const WaveformPtr waveform = makeWaveform({{1, 10}});
    EXPECT_EQ(ZRB_WaveformExtract(waveform.get(), nullptr, 0, 1, 0), 14);
    EXPECT_EQ(ZRB_WaveformDuration(waveform.get(), nullptr), 1);
    EXPECT_EQ(ZRB_WaveformApply(waveform.get(), nullptr), 14);
}

TEST(WaveformExports, GetNbElementsClearsTheResultVariable) {
    const WaveformPtr waveform = makeWaveform({{1, 10}, {2, 10}});
    ZRB_Errno = 7;
    EXPECT_EQ(ZRB_WaveformGetNbElements(nullptr), -1);
    EXPECT_EQ(ZRB_Errno, 7);
    EXPECT_EQ(ZRB_WaveformElements(waveform.get()), 2);
    EXPECT_EQ(ZRB_Errno, 7) << "only GetNbElements writes it";
    EXPECT_EQ(ZRB_WaveformGetNbElements(waveform.get()), 2);
    EXPECT_EQ(ZRB_Errno, 0);
}

} // namespace

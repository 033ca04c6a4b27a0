// The internal forms later parts of the library build on: the unit table, the
// look-up for ascending times, the byte sinks and the number formatter.
#include "byte_sink.h"
#include "number_format.h"
#include "waveform_internal.h"

#include <boost/format.hpp>
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <locale>
#include <random>
#include <stdexcept>
#include <string>

namespace {

TEST(Units, ConversionsFollowTheDefinitions) {
    UnitSystem::Units units;
    EXPECT_EQ(units.ConvertUnit(9, 9), 1.0) << "equal ids convert without a look-up";
    EXPECT_THROW(units.BaseUnit(), std::range_error);
    EXPECT_THROW(units.Unit(), std::range_error);
    EXPECT_THROW(units.ConvertUnit(1, 2), std::range_error);

    units.DefineUnit(1000.0, 1, 0); // an empty table makes the reference the base
    EXPECT_EQ(units.BaseUnit().id, 0);
    EXPECT_EQ(units.Unit().factor, 1.0);
    EXPECT_EQ(units.ConvertUnit(1, 0), 1000.0);
    EXPECT_EQ(units.ConvertUnit(0, 1), 0.001);
    ASSERT_NE(units.GetUnitPtr(1), nullptr);
    EXPECT_EQ(units.GetUnitPtr(2), nullptr);
    EXPECT_THROW(units.ConvertUnit(0, 2), std::range_error);
    EXPECT_THROW(units.DefineUnit(1.0, 3, 2), std::range_error);
    EXPECT_EQ(units.GetUnitPtr(3), nullptr);
}

TEST(Units, TheBaseUnitKeepsItsFactor) {
    UnitSystem::Units units;
    EXPECT_THROW(units.DefineUnit(5.0, 3, 3), std::range_error);
    EXPECT_THROW(units.BaseUnit(), std::range_error) << "nothing defined";
    units.DefineUnit(1000.0, 1, 0);
    EXPECT_THROW(units.DefineUnit(2.0, 0, 1), std::range_error);
    EXPECT_EQ(units.Unit().factor, 1.0);
    EXPECT_EQ(units.ConvertUnit(1, 0), 1000.0);
}

TEST(Units, ResultsOfAWaveformWithAnotherBaseAreInNanoseconds) {
    // Only a unit table built by hand has a base other than unit 0.
    Waveform waveform("us");
    waveform.Units().DefineUnit(5);
    waveform.Units().DefineUnit(0.001, 0, 5);
    EXPECT_EQ(waveform.ToNanoseconds(), 1000.0);
    waveform.Append(1, 2000, 0);
    EXPECT_EQ(waveform.Elements().front().duration, 2.0);
    EXPECT_EQ(zrb::writeElementText(waveform), "1;2000");
}

TEST(WaveformGetAtTimes, CopiesTheElementOfEachAscendingTime) {
    auto waveform = zrb::readElementText("w", "1;100;2;0;3;50;4;10");
    const double times[] = {0, 50, 100, 120, 155};
    Waveform::Element out[5] = {};
    ASSERT_EQ(WaveformGetAtTimes(waveform.get(), times, 5, out), 0);
    const int amplitudes[] = {1, 1, 3, 3, 4};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(out[i].amplitude, amplitudes[i]) << i;
        EXPECT_EQ(out[i].absTime, waveform->Elements()[amplitudes[i] - 1].absTime) << i;
        EXPECT_EQ(out[i].duration, waveform->Elements()[amplitudes[i] - 1].duration) << i;
    }

    EXPECT_EQ(WaveformGetAtTimes(waveform.get(), nullptr, 0, nullptr), 0) << "no times";
    EXPECT_EQ(WaveformGetAtTimes(nullptr, times, 1, out), 14);
    EXPECT_EQ(WaveformGetAtTimes(waveform.get(), nullptr, 1, out), 14);

    const double pastTheEnd[] = {10, 160, 170};
    Waveform::Element partial[3] = {{-1, -1, -1}, {-1, -1, -1}, {-1, -1, -1}};
    EXPECT_EQ(WaveformGetAtTimes(waveform.get(), pastTheEnd, 3, partial), 14);
    EXPECT_EQ(partial[0].amplitude, 1) << "slots filled before the failure stay";
    EXPECT_EQ(partial[1].amplitude, -1);

    const double descending[] = {120, 50};
    EXPECT_EQ(WaveformGetAtTimes(waveform.get(), descending, 2, out), 14) << "an earlier time is never found";
}

TEST(ByteSink, LongInputsPassThroughTheBoundedBuffer) {
    zrb::StringSink sink;
    const std::string big(zrb::ByteSink::kCapacity * 2 + 3, 'x');
    sink.put("ab");
    sink.put(big);
    for (std::size_t i = 0; i < zrb::ByteSink::kCapacity + 10; ++i)
        sink.put(static_cast<char>('0' + i % 10));
    sink.put(std::string_view(big).substr(0, zrb::ByteSink::kCapacity - 1));
    const std::string& text = sink.text();
    ASSERT_EQ(text.size(), 2 + big.size() + zrb::ByteSink::kCapacity + 10 + zrb::ByteSink::kCapacity - 1);
    EXPECT_EQ(text.substr(0, 3), "abx");
    EXPECT_EQ(text.substr(2 + big.size(), 12), "012345678901");
}

std::string rounded(double value) {
    char text[zrb::kRoundedTextSize];
    return std::string(text, zrb::formatRounded(value, text));
}

std::string printfRounded(double value) {
    char text[400];
    std::snprintf(text, sizeof text, "%.0f", value);
    return text;
}

std::string boostRounded(double value) {
    return (boost::format("%.0f", std::locale::classic()) % value).str();
}

TEST(NumberFormat, WritesTheBytesOfPrintfAndBoostFormat) {
    constexpr double inf = std::numeric_limits<double>::infinity();
    constexpr double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        double value;
        const char* text;
    };
    const Case cases[] = {
        {0.0, "0"},
        {-0.0, "-0"},
        {-0.4, "-0"},
        {0.5, "0"},
        {1.5, "2"},
        {2.5, "2"},
        {-2.5, "-2"},
        {0.49999999999999994, "0"},
        {4503599627370495.5, "4503599627370496"},
        {9007199254740991.0, "9007199254740991"},
        {9007199254740994.0, "9007199254740994"},
        {1e20, "100000000000000000000"},
        {-1e22, "-10000000000000000000000"},
        {std::numeric_limits<double>::max(), nullptr},
        {std::numeric_limits<double>::denorm_min(), "0"},
        {inf, "inf"},
        {-inf, "-inf"},
        {nan, "nan"},
        {-nan, "-nan"},
    };
    for (const auto& c : cases) {
        if (c.text != nullptr) {
            EXPECT_EQ(rounded(c.value), c.text) << c.value;
        }
        EXPECT_EQ(rounded(c.value), printfRounded(c.value)) << c.value;
        EXPECT_EQ(rounded(c.value), boostRounded(c.value)) << c.value;
    }
}

TEST(NumberFormat, RandomDoublesMatchPrintf) {
    std::mt19937_64 random(20240611);
    std::uniform_real_distribution<double> small(-1e6, 1e6);
    for (int i = 0; i < 20000; ++i) {
        const double bits = std::bit_cast<double>(random());
        const double halves = std::round(small(random)) + 0.5;
        for (const double value : {bits, small(random), halves}) {
            ASSERT_EQ(rounded(value), printfRounded(value)) << value;
        }
    }
    for (int i = 0; i < 500; ++i) {
        const double value = small(random);
        ASSERT_EQ(rounded(value), boostRounded(value)) << value;
    }
}

} // namespace

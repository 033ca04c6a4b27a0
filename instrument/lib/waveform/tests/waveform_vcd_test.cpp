// The two VCD forms through the library's exports. Every file written here is
// read back with the form reader and compared with the model's value changes.
#include "vcd_reader.h"
#include "waveform_test_support.h"

#include <vkplatform/zlog_capture.h>
#include <vktesting/temp_dir.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace {

using zrbtest::Element;
using zrbtest::elementsOf;
using zrbtest::makeWaveform;
using zrbtest::readVcd;
using zrbtest::VcdChange;
using zrbtest::WaveformPtr;

// The changes a single-waveform file must hold: each value at the running sum
// of the durations before it, then "bx" at the total.
std::vector<VcdChange> singleChanges(const Waveform* waveform, const std::string& waveformName) {
    std::vector<VcdChange> changes;
    double time = 0;
    for (const Element& element : elementsOf(waveform)) {
        changes.push_back({time, waveformName, static_cast<unsigned>(element.amplitude) & 0xFFU, '!'});
        time += element.duration;
    }
    changes.push_back({time, waveformName, std::nullopt, '!'});
    return changes;
}

// The changes a pair file must hold: every element at its absolute time and
// "bx" at each end, in time order, the later waveform first at equal times.
std::vector<VcdChange> pairChanges(const std::vector<std::pair<const Waveform*, std::string>>& waveforms) {
    struct Keyed {
        VcdChange change;
        std::size_t waveform;
    };
    std::vector<Keyed> all;
    for (std::size_t i = 0; i < waveforms.size(); ++i) {
        const auto elements = elementsOf(waveforms[i].first);
        const char identifier = static_cast<char>(35 + i);
        for (const Element& element : elements)
            all.push_back({{element.absTime, waveforms[i].second,
                            static_cast<unsigned>(element.amplitude) & 0xFFU, identifier},
                           i});
        if (!elements.empty())
            all.push_back({{elements.back().absTime + elements.back().duration, waveforms[i].second,
                            std::nullopt, identifier},
                           i});
    }
    std::stable_sort(all.begin(), all.end(), [](const Keyed& a, const Keyed& b) {
        if (a.change.time != b.change.time) return a.change.time < b.change.time;
        return a.waveform > b.waveform;
    });
    std::vector<VcdChange> changes;
    for (const auto& keyed : all)
        changes.push_back(keyed.change);
    return changes;
}

// The pair dump exactly as first designed: the bound carried over from the end
// of the change just written, and the dump ending when nothing falls within it.
std::string pairDumpWithCarriedBound(const std::vector<std::pair<const Waveform*, std::string>>& waveforms) {
    std::string out = "$timescale\n1ns\n$end\n";
    struct Cursor {
        std::vector<Element> elements;
        std::size_t current = 0;
        bool ended = false;
        double endTime = 0;
    };
    std::vector<Cursor> cursors;
    double t = 0;
    for (std::size_t i = 0; i < waveforms.size(); ++i) {
        cursors.push_back({elementsOf(waveforms[i].first)});
        if (!cursors.back().elements.empty()) t = cursors.back().elements.front().absTime;
        out +=
            "$var reg 8 " + std::string(1, static_cast<char>(35 + i)) + " " + waveforms[i].second + " $end\n";
    }
    out += "$enddefinitions $end\n";
    if (!waveforms.empty()) out += "$dumpvars\n";
    for (;;) {
        int chosen = -1;
        std::string value;
        for (std::size_t i = 0; i < cursors.size(); ++i) {
            Cursor& c = cursors[i];
            if (c.current < c.elements.size() && c.elements[c.current].absTime <= t) {
                chosen = static_cast<int>(i);
                t = c.elements[c.current].absTime;
                value = "b";
                for (int bit = 7; bit >= 0; --bit)
                    value += (c.elements[c.current].amplitude >> bit) & 1 ? '1' : '0';
            } else if (c.current == c.elements.size() && c.ended && c.endTime <= t) {
                chosen = static_cast<int>(i);
                t = c.endTime;
                value = "bx";
            }
        }
        if (chosen < 0) break;
        char stamp[400];
        std::snprintf(stamp, sizeof stamp, "#%.0f ", t);
        out += stamp + value + " " + static_cast<char>(35 + chosen) + "\n";
        Cursor& c = cursors[static_cast<std::size_t>(chosen)];
        if (c.current < c.elements.size()) {
            t = c.elements[c.current].absTime + c.elements[c.current].duration;
            if (++c.current == c.elements.size()) {
                c.ended = true;
                c.endTime = t;
            }
        } else {
            c.ended = false;
            t = std::numeric_limits<double>::max();
        }
    }
    return out;
}

class WaveformVcd : public vktesting::TempDirTest {
  protected:
    // Dumps one waveform, checks the file against the model and returns it.
    std::string dumpSingle(const Waveform* waveform, const std::string& waveformName) {
        EXPECT_EQ(ZRB_WaveformDumpVcd(waveform, "single.vcd"), 0);
        const std::string text = readFile("single.vcd");
        const zrbtest::VcdFile file = readVcd(text);
        EXPECT_EQ(file.timescale, "1ns");
        EXPECT_EQ(file.variables, (std::vector<std::pair<char, std::string>>{{'!', waveformName}}));
        EXPECT_EQ(file.changes, singleChanges(waveform, waveformName));
        return text;
    }
    std::string dumpPair(const Waveform* first, const std::string& firstName, const Waveform* second,
                         const std::string& secondName) {
        EXPECT_EQ(ZRB_WaveformsDumpVcd2(first, second, "pair.vcd"), 0);
        const std::string text = readFile("pair.vcd");
        const zrbtest::VcdFile file = readVcd(text);
        EXPECT_EQ(file.variables,
                  (std::vector<std::pair<char, std::string>>{{'#', firstName}, {'$', secondName}}));
        EXPECT_EQ(file.changes, pairChanges({{first, firstName}, {second, secondName}}));
        return text;
    }
};

TEST_F(WaveformVcd, SingleFormIsByteExact) {
    const WaveformPtr waveform = makeWaveform({{1, 100}, {0, 20}}, "line");
    EXPECT_EQ(dumpSingle(waveform.get(), "line"), "$timescale\n1ns\n$end\n"
                                                  "$var reg 8 ! line $end\n"
                                                  "$enddefinitions $end\n"
                                                  "$dumpvars\n"
                                                  "b00000001 !\n#100\n"
                                                  "b00000000 !\n#120\n"
                                                  "bx !\n");
    const WaveformPtr empty = makeWaveform({}, "none");
    EXPECT_EQ(dumpSingle(empty.get(), "none"),
              "$timescale\n1ns\n$end\n$var reg 8 ! none $end\n$enddefinitions $end\n$dumpvars\nbx !\n");
}

TEST_F(WaveformVcd, SingleFormWritesTheLowEightBits) {
    const WaveformPtr waveform = makeWaveform({{300, 1}, {513, 2}, {-1, 3}, {255, 4}, {256, 5}}, "bits");
    const std::string text = dumpSingle(waveform.get(), "bits");
    EXPECT_NE(
        text.find("b00101100 !\n#1\nb00000001 !\n#3\nb11111111 !\n#6\nb11111111 !\n#10\nb00000000 !\n#15\n"),
        std::string::npos)
        << text;
}

TEST_F(WaveformVcd, SingleFormCountsTimeFromZeroThroughGaps) {
    WaveformPtr waveform = makeWaveform({{1, 10}, {2, 20}, {3, 5}}, "cut");
    ASSERT_EQ(ZRB_WaveformRemove(waveform.get(), 1), 0);
    EXPECT_NE(dumpSingle(waveform.get(), "cut").find("b00000001 !\n#10\nb00000011 !\n#15\nbx !\n"),
              std::string::npos);

    Waveform* raw = nullptr;
    const WaveformPtr source = makeWaveform({{1, 100}, {2, 50}});
    ASSERT_EQ(ZRB_WaveformExtract(source.get(), &raw, 120, 200, 1), 0);
    waveform.reset(raw);
    EXPECT_NE(dumpSingle(waveform.get(), "w (extract)").find("b00000010 !\n#30\nbx !\n"), std::string::npos);
}

TEST_F(WaveformVcd, SingleFormOfALongWaveformAndALongName) {
    const std::string longName(100000, 'n');
    std::vector<std::pair<int, double>> steps;
    for (int i = 0; i < 20000; ++i)
        steps.emplace_back(i % 7, 1 + i % 13);
    const WaveformPtr waveform = makeWaveform(steps, "long");
    dumpSingle(waveform.get(), "long");
    const WaveformPtr named = makeWaveform({{1, 2}}, longName.c_str());
    dumpSingle(named.get(), longName);
}

TEST_F(WaveformVcd, PairFormIsByteExact) {
    const WaveformPtr first = makeWaveform({{1, 100}, {0, 100}}, "scl");
    const WaveformPtr second = makeWaveform({{0, 50}, {1, 250}}, "sda");
    EXPECT_EQ(dumpPair(first.get(), "scl", second.get(), "sda"), "$timescale\n1ns\n$end\n"
                                                                 "$var reg 8 # scl $end\n"
                                                                 "$var reg 8 $ sda $end\n"
                                                                 "$enddefinitions $end\n"
                                                                 "$dumpvars\n"
                                                                 "#0 b00000000 $\n"
                                                                 "#0 b00000001 #\n"
                                                                 "#50 b00000001 $\n"
                                                                 "#100 b00000000 #\n"
                                                                 "#200 bx #\n"
                                                                 "#300 bx $\n");
    const WaveformPtr empty = makeWaveform({}, "e");
    EXPECT_EQ(
        dumpPair(empty.get(), "e", empty.get(), "e"),
        "$timescale\n1ns\n$end\n$var reg 8 # e $end\n$var reg 8 $ e $end\n$enddefinitions $end\n$dumpvars\n");
}

TEST_F(WaveformVcd, PairFormCases) {
    const WaveformPtr a = makeWaveform({{1, 30}, {2, 30}, {3, 40}}, "a");
    const WaveformPtr b = makeWaveform({{4, 50}, {5, 50}}, "b");
    const WaveformPtr empty = makeWaveform({}, "e");
    const WaveformPtr zero = makeWaveform({{6, 0}, {7, 0}, {8, 10}}, "z");
    Waveform* raw = nullptr;
    ASSERT_EQ(ZRB_WaveformExtract(a.get(), &raw, 40, 100, 1), 0);
    const WaveformPtr late(raw);
    struct Case {
        const char* what;
        const Waveform* first;
        std::string firstName;
        const Waveform* second;
        std::string secondName;
    };
    const Case cases[] = {
        {"equal starts", a.get(), "a", b.get(), "b"},
        {"first empty", empty.get(), "e", b.get(), "b"},
        {"second empty", a.get(), "a", empty.get(), "e"},
        {"one waveform twice", a.get(), "a", a.get(), "a"},
        {"zero-length elements", zero.get(), "z", a.get(), "a"},
        {"second starts later", a.get(), "a", late.get(), "a (extract)"},
        {"first starts later", late.get(), "a (extract)", b.get(), "b"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string text = dumpPair(c.first, c.firstName, c.second, c.secondName);
        EXPECT_EQ(text, pairDumpWithCarriedBound({{c.first, c.firstName}, {c.second, c.secondName}}));
    }
}

TEST_F(WaveformVcd, PairFormMatchesTheCarriedBoundOnGaplessWaveforms) {
    std::mt19937 random(7);
    for (int round = 0; round < 200; ++round) {
        WaveformPtr pair[2];
        std::string names[2];
        for (int i = 0; i < 2; ++i) {
            WaveformPtr& waveform = pair[i];
            names[i] = "w";
            std::vector<std::pair<int, double>> steps(random() % 8);
            for (auto& step : steps)
                step = {static_cast<int>(random() % 4), static_cast<double>(random() % 5 * 10)};
            waveform = makeWaveform(steps);
            if (random() % 3 == 0) {
                Waveform* raw = nullptr;
                ASSERT_EQ(ZRB_WaveformExtract(waveform.get(), &raw, random() % 30, 1000, 1), 0);
                waveform.reset(raw);
                names[i] = "w (extract)";
            }
        }
        SCOPED_TRACE(round);
        const std::string text = dumpPair(pair[0].get(), names[0], pair[1].get(), names[1]);
        EXPECT_EQ(text, pairDumpWithCarriedBound({{pair[0].get(), names[0]}, {pair[1].get(), names[1]}}));
    }
}

TEST_F(WaveformVcd, PairFormGoesOnAfterAGap) {
    // The carried bound would end the dump at the gap and lose the rest of both.
    const WaveformPtr gapped = makeWaveform({{1, 10}, {2, 40}, {3, 10}}, "g");
    ASSERT_EQ(ZRB_WaveformRemove(gapped.get(), 1), 0);
    const WaveformPtr other = makeWaveform({{5, 20}, {6, 80}}, "o");
    const std::string text = dumpPair(gapped.get(), "g", other.get(), "o");
    EXPECT_EQ(text.substr(text.find("$dumpvars\n")), "$dumpvars\n"
                                                     "#0 b00000101 $\n"
                                                     "#0 b00000001 #\n"
                                                     "#20 b00000110 $\n"
                                                     "#50 b00000011 #\n"
                                                     "#60 bx #\n"
                                                     "#100 bx $\n");
    EXPECT_NE(text, pairDumpWithCarriedBound({{gapped.get(), "g"}, {other.get(), "o"}}));

    // The same waveforms without the gap give the same lines from the gap on.
    const WaveformPtr filled = makeWaveform({{1, 10}, {1, 40}, {3, 10}}, "g");
    const std::string gapless = dumpPair(filled.get(), "g", other.get(), "o");
    EXPECT_EQ(gapless, pairDumpWithCarriedBound({{filled.get(), "g"}, {other.get(), "o"}}));
    EXPECT_EQ(gapless.substr(gapless.find("#50")), text.substr(text.find("#50")));

    // A filter opens gaps in both.
    const WaveformPtr fast = makeWaveform({{1, 10}, {0, 100}, {1, 5}, {0, 100}}, "f");
    const WaveformPtr slow = makeWaveform({{1, 50}, {0, 3}, {1, 50}}, "s");
    ASSERT_EQ(ZRB_WaveformLowPassFilter(fast.get(), 50'000'000), 0);
    ASSERT_EQ(ZRB_WaveformLowPassFilter(slow.get(), 50'000'000), 0);
    dumpPair(fast.get(), "f", slow.get(), "s");
}

TEST_F(WaveformVcd, FilesThatCannotBeWrittenGive14) {
    const WaveformPtr waveform = makeWaveform({{1, 10}});
    for (const char* fileName : {"missing/dir/x.vcd", "/dev/full"}) {
        EXPECT_EQ(ZRB_WaveformDumpVcd(waveform.get(), fileName), 14) << fileName;
        EXPECT_EQ(ZRB_WaveformsDumpVcd2(waveform.get(), waveform.get(), fileName), 14) << fileName;
    }
    EXPECT_EQ(ZRB_WaveformDumpVcd(waveform.get(), nullptr), 14);
    EXPECT_EQ(ZRB_WaveformsDumpVcd2(waveform.get(), waveform.get(), nullptr), 14);
    EXPECT_EQ(ZRB_WaveformDumpVcd(nullptr, "x.vcd"), 14);
    EXPECT_EQ(ZRB_WaveformsDumpVcd2(nullptr, waveform.get(), "x.vcd"), 14);
    EXPECT_EQ(ZRB_WaveformsDumpVcd2(waveform.get(), nullptr, "x.vcd"), 14);
    EXPECT_FALSE(std::filesystem::exists(workDir() / "x.vcd")) << "nothing is touched for a NULL argument";
}

TEST_F(WaveformVcd, EachDumpWritesItsRecord) {
    const WaveformPtr waveform = makeWaveform({{1, 10}, {2, 5}}, "logged");
    vkplatform::ZlogCapture capture(ZLOG_LEVEL_INFO);
    ASSERT_EQ(ZRB_WaveformDumpVcd(waveform.get(), "one.vcd"), 0);
    ASSERT_EQ(ZRB_WaveformsDumpVcd2(waveform.get(), waveform.get(), "two.vcd"), 0);
    const auto single = capture.records("Waveform");
    ASSERT_EQ(single.size(), 1u);
    EXPECT_EQ(single[0].level, ZLOG_LEVEL_INFO);
    EXPECT_EQ(single[0].message.substr(0, 19), "Dumped 2 waveform 0");
    EXPECT_NE(single[0].message.find(" data \"logged\" in VCD file \"one.vcd\""), std::string::npos);
    const auto pair = capture.records("Waveforms");
    ASSERT_EQ(pair.size(), 1u);
    EXPECT_EQ(pair[0].level, ZLOG_LEVEL_INFO);
    EXPECT_EQ(pair[0].message, "Dumped waveforms in VCD file \"two.vcd\"");
}

} // namespace

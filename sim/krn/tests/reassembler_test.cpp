#include "hex.h"

#include <krnsim/reassembler.h>

#include <gtest/gtest.h>

#include <string>

namespace krnsim {
namespace {

using test::hex;
using test::toHex;

constexpr Millis kGap{100};

// Feeds chunks at the given times and lists the units as "verdict:CMD" or "verdict:raw".
std::vector<std::string> run(const std::vector<std::pair<int, std::string>>& chunks, int expireAt = -1) {
    Reassembler reassembler(kGap);
    const TimePoint start{};
    std::vector<Unit> units;
    for (const auto& [ms, text] : chunks)
        reassembler.feed(hex(text), start + Millis(ms), units);
    if (expireAt >= 0) reassembler.expire(start + Millis(expireAt), units);
    std::vector<std::string> seen;
    for (const Unit& unit : units) {
        std::string text = verdictName(unit.verdict);
        if (unit.verdict == Verdict::Ok)
            text += (unit.form == Form::Advanced ? ":adv:" : ":std:") + toHex(Bytes{unit.command}) + ":" +
                    toHex(unit.data);
        else
            text += ":" + toHex(unit.raw);
        seen.push_back(text);
    }
    return seen;
}

using Units = std::vector<std::string>;

TEST(KrnSimReassembler, CutsTheStreamIntoUnits) {
    struct Case {
        const char* name;
        std::vector<std::pair<int, std::string>> chunks;
        int expireAt;
        Units expected;
    };
    const Case cases[] = {
        {"whole", {{0, "05 01 65 FD 2D"}}, -1, {"ok:std:65:"}},
        {"byte by byte", {{0, "05"}, {1, "01"}, {2, "65"}, {3, "FD"}, {4, "2D"}}, -1, {"ok:std:65:"}},
        {"two in one write", {{0, "05 01 65 FD 2D 06 01 80 00 AB 9E"}}, -1, {"ok:std:65:", "ok:std:80:00"}},
        {"advanced length split", {{0, "02"}, {1, "00"}, {2, "07 01"}, {3, "65 76 87"}}, -1, {"ok:adv:65:"}},
        {"noise then a frame",
         {{0, "00 01 03 04 05 01 65 FD 2D"}},
         -1,
         {"noise:00", "noise:01", "noise:03", "noise:04", "ok:std:65:"}},
        {"bad CRC then a frame",
         {{0, "05 01 65 FD 2E 05 01 65 FD 2D"}},
         -1,
         {"bad CRC:05 01 65 FD 2E", "ok:std:65:"}},
        {"advanced length below 7 waits for quiet", {{0, "02 00 06 01 65 AA"}}, 50, {}},
        {"advanced length below 7 skipped until quiet",
         {{0, "02 00 06 01 65"}, {50, "AA"}},
         150,
         {"bad length field:02 00 06 01 65 AA"}},
        {"partial then gap", {{0, "05 01"}}, 100, {"incomplete:05 01"}},
        {"partial kept within the gap", {{0, "05 01"}, {99, "65 FD 2D"}}, -1, {"ok:std:65:"}},
        {"partial then late bytes",
         {{0, "05 01 65"}, {150, "05 01 65 FD 2D"}},
         -1,
         {"incomplete:05 01 65", "ok:std:65:"}},
        {"skip ends at quiet",
         {{0, "02 00 01"}, {200, "05 01 65 FD 2D"}},
         -1,
         {"bad length field:02 00 01", "ok:std:65:"}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(run(c.chunks, c.expireAt), c.expected) << c.name;
}

TEST(KrnSimReassembler, NeverHoldsMoreThanOneFrame) {
    Reassembler reassembler(kGap);
    std::vector<Unit> units;
    Bytes big(70000, 0x55);
    big[0] = 0x02;
    big[1] = 0xFF;
    big[2] = 0xFF;
    reassembler.feed(big, TimePoint{}, units);
    ASSERT_GE(units.size(), 1u); // one 65,535-byte frame (bad CRC); the rest starts further frames
    EXPECT_EQ(units[0].verdict, Verdict::BadCrc);
    EXPECT_EQ(units[0].raw.size(), kMaxFrameLength);
    EXPECT_LE(reassembler.buffered(), kMaxFrameLength);

    Reassembler skipping(kGap);
    units.clear();
    Bytes junk(200000, 0x77);
    junk[0] = 0x02;
    junk[1] = 0x00;
    junk[2] = 0x03;
    skipping.feed(junk, TimePoint{}, units);
    EXPECT_LE(skipping.buffered(), kMaxFrameLength);
    skipping.expire(TimePoint{} + kGap, units);
    ASSERT_EQ(units.size(), 1u);
    EXPECT_EQ(units[0].verdict, Verdict::BadLength);
    EXPECT_EQ(skipping.buffered(), 0u);
}

TEST(KrnSimReassembler, ReportsTheDeadlineOfAPartialFrame) {
    Reassembler reassembler(kGap);
    std::vector<Unit> units;
    EXPECT_FALSE(reassembler.deadline());
    reassembler.feed(hex("05 01"), TimePoint{} + Millis(10), units);
    ASSERT_TRUE(reassembler.deadline());
    EXPECT_EQ(*reassembler.deadline(), TimePoint{} + Millis(110));
    reassembler.expire(TimePoint{} + Millis(109), units);
    EXPECT_TRUE(units.empty());
}

} // namespace
} // namespace krnsim

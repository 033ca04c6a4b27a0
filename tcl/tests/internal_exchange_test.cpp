// The exchange of one request block, answer by answer, per route; and the walk
// over the frames of one read.
#include "exchange.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

using vktcl::AnswerFrame;
using vktcl::BlockExchange;
using vktcl::Route;
using vktcl::VKResponse;

using Bytes = std::vector<std::uint8_t>;

struct Fed {
    int status;
    Bytes data;
};

Bytes block(int pstat, int id, const Bytes& payload = {}) {
    Bytes d(3 + payload.size());
    d[0] = static_cast<std::uint8_t>(pstat);
    d[1] = static_cast<std::uint8_t>(id >> 8);
    d[2] = static_cast<std::uint8_t>(id);
    std::copy(payload.begin(), payload.end(), d.begin() + 3);
    return d;
}

Bytes wtx(int id, std::uint8_t wtxm, std::uint8_t fwi) {
    return block(1, id, {wtxm, fwi});
}

struct Outcome {
    bool ended = false;
    int result = 0;
    bool complete = false;
    int length = 0;
    int raises = 0;
    std::size_t fedBeforeEnd = 0;
};

// Feeds the answers in order; for the direct routes every answer is a read of
// its own (endOfRead after each).
Outcome run(Route route, const std::vector<Fed>& answers, int raiseResult = 0, int requestIndex = 0) {
    VKResponse response;
    Outcome out;
    BlockExchange exchange(route, requestIndex, response, [&](std::uint8_t, std::uint8_t) {
        ++out.raises;
        return raiseResult;
    });
    for (const Fed& a : answers) {
        if (exchange.ended()) break;
        ++out.fedBeforeEnd;
        exchange.feed(AnswerFrame{a.status, a.data.data(), static_cast<int>(a.data.size())});
        if (route != Route::Library) exchange.endOfRead();
    }
    out.ended = exchange.ended();
    out.result = exchange.result();
    out.complete = response.isComplete();
    out.length = response.getResponseLength();
    return out;
}

struct Row {
    const char* name;
    std::vector<Fed> answers;
    int raiseResult;
    Outcome expected; // ended, result, complete, length, raises, fed
};

void check(Route route, const std::vector<Row>& rows) {
    for (const Row& row : rows) {
        const Outcome got = run(route, row.answers, row.raiseResult);
        const std::string name =
            std::string(row.name) + (route == Route::Library ? " (library)" : " (direct)");
        EXPECT_EQ(got.ended, row.expected.ended) << name;
        EXPECT_EQ(got.result, row.expected.result) << name;
        EXPECT_EQ(got.complete, row.expected.complete) << name;
        EXPECT_EQ(got.length, row.expected.length) << name;
        EXPECT_EQ(got.raises, row.expected.raises) << name;
        EXPECT_EQ(got.fedBeforeEnd, row.expected.fedBeforeEnd) << name;
    }
}

TEST(TclBlockExchange, DirectRoutes) {
    check(Route::Serial,
          {
              {"one block", {{0, block(2, 0, {1, 2, 3})}}, 0, {true, 0, true, 3, 0, 1}},
              {"three blocks",
               {{0x94, block(2, 0, {1})}, {0x94, block(2, 1, {2})}, {0, block(2, 2, {3})}},
               0,
               {true, 0, true, 3, 0, 3}},
              {"permuted",
               {{0, block(2, 2, {3})}, {0x94, block(2, 0, {1})}, {0x94, block(2, 1, {2})}},
               0,
               {true, 0, true, 3, 0, 3}},
              {"first id above 0", {{0, block(2, 1, {3})}}, 0, {false, 0, false, 1, 0, 1}},
              {"duplicate",
               {{0x94, block(2, 0, {1})}, {0x94, block(2, 0, {1})}, {0, block(2, 1, {2})}},
               0,
               {false, 0, false, 3, 0, 3}},
              {"waiting time then data",
               {{0x94, wtx(0, 1, 10)}, {0, block(2, 1, {9})}},
               0,
               {true, 0, true, 1, 1, 2}},
              {"raise fails",
               {{0x94, wtx(0, 1, 10)}, {0, block(2, 1, {9})}},
               -1030,
               {true, -1030, false, 0, 1, 1}},
              {"none block", {{0x94, block(0xFF, 0)}, {0, block(2, 1, {9})}}, 0, {true, 0, true, 1, 0, 2}},
              {"0x96 takes the last id",
               {{0x94, block(2, 0, {1})}, {0x96, {0x6A}}},
               0,
               {true, 0x96, true, 1, 0, 2}},
              {"0x96 alone", {{0x96, {0x6A}}}, 0, {true, 0x96, true, 1, 0, 1}},
              {"0x96 without data", {{0x96, {}}}, 0, {true, -4273, false, 0, 0, 1}},
              {"short", {{0, {2, 0}}}, 0, {true, -4273, false, 0, 0, 1}},
              {"short waiting time", {{0x94, {1, 0, 0, 5}}}, 0, {true, -4273, false, 0, 0, 1}},
              {"status 0 PSTAT 1", {{0, wtx(0, 1, 1)}}, 0, {true, 0, false, 0, 0, 1}},
              {"0x94 PSTAT 3", {{0x94, block(3, 0)}}, 0, {true, 0x94, false, 0, 0, 1}},
              {"status 1", {{0x01, {}}}, 0, {true, 1, false, 0, 0, 1}},
              {"split failure", {{-4031, {}}}, 0, {true, -4031, false, 0, 0, 1}},
          });
}

TEST(TclBlockExchange, LibraryRoute) {
    check(Route::Library,
          {
              {"one block", {{0, block(2, 7, {1, 2, 3})}}, 0, {true, 0, true, 3, 0, 1}},
              {"follow-ups",
               {{0x94, block(2, 0, {1})}, {0x94, block(2, 1, {2})}, {0, block(2, 2, {3})}},
               0,
               {true, 0, true, 3, 0, 3}},
              {"first id ignored",
               {{0x94, block(2, 5, {1})}, {0, block(2, 1, {2})}},
               0,
               {true, 0, true, 2, 0, 2}},
              {"second waiting time ignored",
               {{0x94, wtx(0, 1, 10)}, {0x94, wtx(1, 1, 12)}, {0, block(2, 2, {9})}},
               0,
               {true, 0, true, 1, 1, 3}},
              {"raise failure ignored",
               {{0x94, wtx(0, 1, 10)}, {0, block(2, 1, {9})}},
               -1,
               {true, 0, true, 1, 1, 2}},
              {"0x96 first", {{0x96, {0x6A}}}, 0, {true, 0x96, true, 1, 0, 1}},
              {"0x96 follow-up", {{0x94, block(2, 0, {1})}, {0x96, {0x6A}}}, 0, {true, 0, true, 1, 0, 2}},
              {"0x96 without data", {{0x94, block(2, 0, {1})}, {0x96, {}}}, 0, {true, -4273, false, 1, 0, 2}},
              {"short first", {{0x94, {2, 0}}}, 0, {true, -4273, false, 0, 0, 1}},
              {"short follow-up", {{0x94, block(2, 0)}, {0, {2, 0}}}, 0, {true, -4273, false, 0, 0, 2}},
              {"short waiting time", {{0x94, {1, 0, 0, 1}}}, 0, {true, -4273, false, 0, 0, 1}},
              {"status 0 PSTAT FF", {{0, block(0xFF, 0)}}, 0, {true, 0, false, 0, 0, 1}},
              {"status 2", {{0x02, {}}}, 0, {true, 2, false, 0, 0, 1}},
              {"library code", {{-4030, {}}}, 0, {true, -4030, false, 0, 0, 1}},
              {"follow-up status", {{0x94, block(2, 0)}, {0x83, {}}}, 0, {true, 0x83, false, 0, 0, 2}},
          });
}

TEST(TclBlockExchange, LibraryIncompleteLast) {
    VKResponse response;
    BlockExchange exchange(Route::Library, 0, response, [](std::uint8_t, std::uint8_t) { return 0; });
    const Bytes first = block(2, 0, {1});
    const Bytes last = block(2, 2, {3});
    exchange.feed(AnswerFrame{0x94, first.data(), 4});
    exchange.feed(AnswerFrame{0, last.data(), 4});
    EXPECT_FALSE(exchange.ended());
    exchange.readFailed(-4238);
    EXPECT_EQ(exchange.result(), -4274);
    // Without the last block the time-out stands.
    VKResponse other;
    BlockExchange waiting(Route::Library, 0, other, [](std::uint8_t, std::uint8_t) { return 0; });
    waiting.feed(AnswerFrame{0x94, first.data(), 4});
    waiting.readFailed(-4238);
    EXPECT_EQ(waiting.result(), -4238);
}

// A reply frame: standard when the data fit, else advanced (the CRC is not
// checked by the walk: the split does that).
Bytes frame(int status, const Bytes& data, bool advanced = false) {
    Bytes f;
    const std::size_t n = data.size() + (advanced ? 8 : 6);
    if (advanced)
        f = {2, static_cast<std::uint8_t>(n >> 8), static_cast<std::uint8_t>(n)};
    else
        f = {static_cast<std::uint8_t>(n)};
    f.push_back(1);
    f.push_back(0xB2);
    f.push_back(static_cast<std::uint8_t>(status));
    f.insert(f.end(), data.begin(), data.end());
    f.push_back(0);
    f.push_back(0);
    return f;
}

struct Walked {
    int result;
    bool ended;
    int frames;
};

Walked walk(const Bytes& read) {
    VKResponse response;
    BlockExchange exchange(Route::Tcp, 0, response, [](std::uint8_t, std::uint8_t) { return 0; });
    int frames = 0;
    vktcl::walkRead(
        read.data(), static_cast<int>(read.size()),
        [&frames](const std::uint8_t* f, int length) {
            ++frames;
            const bool advanced = f[0] == 2;
            const int head = advanced ? 3 : 1;
            return AnswerFrame{f[head + 2], f + head + 3, length - head - 5};
        },
        exchange);
    return {exchange.result(), exchange.ended(), frames};
}

Bytes join(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

TEST(TclFrameWalk, Reads) {
    const Bytes b0 = frame(0x94, block(2, 0, {1, 2}));
    const Bytes b1 = frame(0, block(2, 1, {3}), true);
    const struct {
        const char* name;
        Bytes read;
        Walked expected;
    } rows[] = {
        {"back to back", join({b0, b1}), {0, true, 2}},
        {"one of two", b0, {0, false, 1}},
        {"cut", join({b0, Bytes(b1.begin(), b1.end() - 1)}), {-4030, true, 1}},
        {"cut advanced head", join({b0, Bytes{2, 0}}), {-4030, true, 1}},
        {"first byte 0", Bytes{0, 1, 2, 3, 4, 5}, {-4276, true, 0}},
        {"first byte 1", Bytes{1, 1, 2, 3, 4, 5}, {-4276, true, 0}},
        {"first byte 3", join({b0, Bytes{3, 1, 2}}), {-4276, true, 1}},
        {"first byte 4", Bytes{4, 1, 2, 3}, {-4276, true, 0}},
        {"first byte 5", Bytes{5, 1, 2, 3, 4}, {-4276, true, 0}},
        {"advanced length 0", Bytes{2, 0, 0, 1, 0xB2, 0, 0, 0}, {-4276, true, 0}},
        {"advanced length 7", Bytes{2, 0, 7, 1, 0xB2, 0, 0, 0}, {-4276, true, 0}},
        {"status 1 ends", join({frame(1, {}), b1}), {1, true, 1}},
    };
    for (const auto& row : rows) {
        const Walked got = walk(row.read);
        EXPECT_EQ(got.result, row.expected.result) << row.name;
        EXPECT_EQ(got.ended, row.expected.ended) << row.name;
        EXPECT_EQ(got.frames, row.expected.frames) << row.name;
    }
}

TEST(TclRoutes, ByPortHandle) {
    EXPECT_EQ(vktcl::routeOf(0x00000001), Route::Serial);
    EXPECT_EQ(vktcl::routeOf(0x20000001), Route::Tcp);
    EXPECT_EQ(vktcl::routeOf(0x10000001), Route::Library);
    EXPECT_EQ(vktcl::routeOf(0x30000001), Route::Library);
    EXPECT_EQ(vktcl::routeOf(0x70000001), Route::Library);
    EXPECT_EQ(vktcl::routeOf(-1), Route::Library);
}

// A reader that keeps answering one request block is cut off: by the number of
// frames, by the size of the response, and by the time since the block went out.
TEST(TclBlockExchange, BoundsEndABlockThatNeverEnds) {
    using Clock = BlockExchange::Clock;
    for (const Route route : {Route::Serial, Route::Library}) {
        const std::string name = route == Route::Library ? " (library)" : " (direct)";
        {
            VKResponse response;
            BlockExchange exchange(route, 0, response, [](std::uint8_t, std::uint8_t) { return 0; });
            int fed = 0;
            for (int id = 0; !exchange.ended() && id < 2 * vktcl::kMaxAnswerFrames; ++id, ++fed) {
                const Bytes w = wtx(id, 0, 0);
                exchange.feed(AnswerFrame{0x94, w.data(), static_cast<int>(w.size())});
            }
            EXPECT_EQ(exchange.result(), -4271) << "waiting-time frames" << name;
            EXPECT_EQ(fed, vktcl::kMaxAnswerFrames + 1) << name;
        }
        {
            VKResponse response;
            BlockExchange exchange(route, 0, response, [](std::uint8_t, std::uint8_t) { return 0; });
            const Bytes payload(1000, 0x5A);
            int id = 0;
            for (; !exchange.ended() && id < 200; ++id) {
                const Bytes b = block(2, id, payload);
                exchange.feed(AnswerFrame{0x94, b.data(), static_cast<int>(b.size())});
            }
            EXPECT_EQ(exchange.result(), -4271) << "more-data frames" << name;
            EXPECT_EQ(id, vktcl::kMaxResponseBytes / 1000 + 1) << name;
        }
        {
            VKResponse response;
            const Clock::time_point sent = Clock::now();
            BlockExchange exchange(
                route, 0, response, [](std::uint8_t, std::uint8_t) { return 0; }, sent);
            EXPECT_FALSE(exchange.overdue(sent + vktcl::kMaxBlockTime)) << name;
            EXPECT_TRUE(exchange.overdue(sent + vktcl::kMaxBlockTime + std::chrono::milliseconds(1))) << name;
            EXPECT_EQ(exchange.result(), -4232) << name;
        }
    }
}

} // namespace

// The handle counter skips handles still listed once it has wrapped.
#include "handle_counter.h"

#include <gtest/gtest.h>

#include <set>

namespace {

TEST(HandleCounter, CountsUpWrapsAndSkipsListedHandles) {
    struct Case {
        const char* what;
        int count;
        std::set<int> listed; // counts in use
        int expected;
    };
    const Case cases[] = {
        {"fresh", 0, {}, 1},
        {"plain step", 41, {}, 42},
        {"top", 0x0FFFFFFE, {}, 0x0FFFFFFF},
        {"wrap", 0x0FFFFFFF, {}, 1},
        {"wrap over listed", 0x0FFFFFFF, {1, 2, 4}, 3},
        {"skip run", 5, {6, 7, 8}, 9},
        {"skip across the top", 0x0FFFFFFD, {0x0FFFFFFE, 0x0FFFFFFF, 1}, 2},
    };
    for (const Case& c : cases) {
        const int next = vktcp::nextSocketCount(
            c.count, [&](int handle) { return c.listed.count(vk::portCount(handle)) != 0; });
        EXPECT_EQ(next, c.expected) << c.what;
    }
}

TEST(HandleCounter, HandlesCarryPortTypeTwo) {
    EXPECT_EQ(vktcp::socketHandle(1), 0x20000001);
    EXPECT_EQ(vktcp::socketHandle(0x0FFFFFFF), 0x2FFFFFFF);
}

} // namespace

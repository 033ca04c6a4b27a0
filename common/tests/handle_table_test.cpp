#include <vkcommon/handle_table.h>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

using Table = vk::HandleTable<std::unique_ptr<int>>;

std::vector<int> handlesOf(const Table& table) {
    std::vector<int> handles;
    for (const auto& entry : table)
        handles.push_back(entry.handle);
    return handles;
}

// The enumeration a list function gives: first, then next until 0.
std::vector<int> enumerated(const Table& table) {
    std::vector<int> handles;
    for (std::optional<int> h = table.first(); h && *h != 0; h = table.next(*h))
        handles.push_back(*h);
    return handles;
}

Table tableOf(std::initializer_list<int> handles) {
    Table table;
    for (int h : handles)
        table.add(h, std::make_unique<int>(h % 1000 * 10));
    return table;
}

TEST(HandleTable, FindsEachHandleAndKeepsTheOrderOfAdding) {
    const Table table = tableOf({7, 3, 0x20000001, 5});
    EXPECT_EQ(handlesOf(table), (std::vector<int>{7, 3, 0x20000001, 5}));
    EXPECT_EQ(enumerated(table), handlesOf(table));
    for (int h : {7, 3, 0x20000001, 5}) {
        ASSERT_NE(table.find(h), nullptr) << h;
        EXPECT_EQ(**table.find(h), h % 1000 * 10);
    }
    EXPECT_EQ(table.find(4), nullptr);
    EXPECT_FALSE(table.next(4).has_value());
    EXPECT_EQ(table.next(5), 0);
}

TEST(HandleTable, TakingAnEntryClosesTheGapInTheOrder) {
    struct Case {
        int taken;
        std::vector<int> left;
    };
    const Case cases[] = {{1, {2, 3, 4}}, {2, {1, 3, 4}}, {4, {1, 2, 3}}};
    for (const Case& c : cases) {
        Table table = tableOf({1, 2, 3, 4});
        const std::optional<std::unique_ptr<int>> taken = table.take(c.taken);
        ASSERT_TRUE(taken.has_value());
        EXPECT_EQ(**taken, c.taken * 10);
        EXPECT_EQ(enumerated(table), c.left) << c.taken;
        EXPECT_EQ(table.find(c.taken), nullptr);
        EXPECT_FALSE(table.next(c.taken).has_value());
        EXPECT_FALSE(table.take(c.taken).has_value());
        EXPECT_EQ(table.size(), 3u);
    }
}

TEST(HandleTable, RefusesAHandleAlreadyListedAndKeepsWhatWasOffered) {
    Table table = tableOf({1, 2});
    auto offered = std::make_unique<int>(99);
    EXPECT_FALSE(table.add(2, std::move(offered)));
    ASSERT_NE(offered, nullptr); // still the caller's
    EXPECT_EQ(**table.find(2), 20);
    EXPECT_EQ(enumerated(table), (std::vector<int>{1, 2}));
    // Once unlisted, the handle can be given again; it then comes last.
    table.take(1);
    EXPECT_TRUE(table.add(1, std::move(offered)));
    EXPECT_EQ(enumerated(table), (std::vector<int>{2, 1}));
    EXPECT_EQ(**table.find(1), 99);
}

TEST(HandleTable, ReplacingKeepsHandleAndPlace) {
    Table table = tableOf({1, 2, 3});
    const std::optional<std::unique_ptr<int>> old = table.replace(2, std::make_unique<int>(7));
    ASSERT_TRUE(old.has_value());
    EXPECT_EQ(**old, 20);
    EXPECT_EQ(**table.find(2), 7);
    EXPECT_EQ(enumerated(table), (std::vector<int>{1, 2, 3}));
    EXPECT_FALSE(table.replace(9, std::make_unique<int>(1)).has_value());
}

TEST(HandleTable, ReleaseHandsEverythingOutInOrderAndEmptiesTheTable) {
    Table table = tableOf({4, 1, 3});
    const Table::List all = table.release();
    std::vector<int> values;
    for (const auto& entry : all)
        values.push_back(*entry.ref);
    EXPECT_EQ(values, (std::vector<int>{40, 10, 30}));
    EXPECT_TRUE(table.empty());
    EXPECT_FALSE(table.first().has_value());
    EXPECT_EQ(table.find(4), nullptr);
    EXPECT_TRUE(table.add(4, std::make_unique<int>(1)));
}

} // namespace

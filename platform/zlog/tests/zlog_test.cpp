#include <vkplatform/zlog_capture.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace {

using vkplatform::ZlogCapture;

void logAt(zlog_category_t* category, int level, const char* text) {
    zlog(category, "file.cpp", 8, "fn", 2, 7, level, "%s", text);
}

TEST(Zlog, WithoutSinkNothingIsEnabledOrDelivered) {
    EXPECT_EQ(log_enabled(), 0);
    logAt(zlog_get_category("A"), ZLOG_LEVEL_ERROR, "dropped");
    ZlogCapture capture;
    EXPECT_NE(log_enabled(), 0);
    EXPECT_TRUE(capture.records().empty());
}

TEST(Zlog, CategoriesAreInternedAndCached) {
    zlog_category_t* a = zlog_get_category("ZRB_SCPI");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(zlog_get_category("ZRB_SCPI"), a);
    EXPECT_NE(zlog_get_category("ZRB_CLIENT"), a);
    EXPECT_EQ(zlog_get_category(nullptr), nullptr);

    zlog_category_t* cache = nullptr;
    EXPECT_EQ(check_zlog_cat("ZRB_SCPI", &cache), 0);
    EXPECT_EQ(cache, a);
    zlog_category_t* empty = nullptr;
    EXPECT_EQ(check_zlog_cat(nullptr, &empty), -1);
    EXPECT_EQ(check_zlog_cat("x", nullptr), -1);
}

TEST(Zlog, SinkSeesRecordsFromItsLowestLevelUp) {
    ZlogCapture capture(ZLOG_LEVEL_INFO);
    zlog_category_t* category = zlog_get_category("levels");
    for (int level : {ZLOG_LEVEL_TRACE, ZLOG_LEVEL_DEBUG, ZLOG_LEVEL_INFO, ZLOG_LEVEL_ERROR}) {
        logAt(category, level, std::to_string(level).c_str());
    }
    zlog(nullptr, "f", 1, "g", 1, 1, ZLOG_LEVEL_ERROR, "no category");
    const auto records = capture.records();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].message, "40");
    EXPECT_EQ(records[1].message, "100");
    EXPECT_EQ(records[1].category, "levels");
    EXPECT_EQ(records[1].file, "file.cpp");
    EXPECT_EQ(records[1].function, "fn");
    EXPECT_EQ(records[1].line, 7);
}

TEST(Zlog, LongMessagesAreKeptWhole) {
    ZlogCapture capture;
    const std::string text(100000, 'x');
    logAt(zlog_get_category("long"), ZLOG_LEVEL_DEBUG, text.c_str());
    ASSERT_EQ(capture.records().size(), 1u);
    EXPECT_EQ(capture.records()[0].message, text);
}

TEST(Zlog, RemovedSinkDisablesLogging) {
    {
        ZlogCapture capture;
        EXPECT_NE(log_enabled(), 0);
    }
    EXPECT_EQ(log_enabled(), 0);
}

TEST(Zlog, ThreadsLogConcurrently) {
    ZlogCapture capture;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t] {
            zlog_category_t* category = nullptr;
            check_zlog_cat(("thread" + std::to_string(t)).c_str(), &category);
            for (int i = 0; i < 100; ++i)
                logAt(category, ZLOG_LEVEL_INFO, "tick");
        });
    }
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(capture.records().size(), 400u);
    EXPECT_EQ(capture.records("thread2").size(), 100u);
}

} // namespace

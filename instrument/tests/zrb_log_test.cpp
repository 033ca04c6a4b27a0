#include "zrb_log.h"

#include <vkplatform/zlog_capture.h>

#include <gtest/gtest.h>

namespace {

ZRB_LOG_CATEGORY(kTestLog, "ZRB_TEST");

int evaluated = 0;
int countEvaluation() {
    return ++evaluated;
}

TEST(ZrbLog, WithoutSinkArgumentsAreNeverEvaluated) {
    evaluated = 0;
    ZRB_LOG(kTestLog, ZLOG_LEVEL_ERROR, "%d", countEvaluation());
    ZRB_LOG_UNCACHED("ZRB_TEST_TRACE", ZLOG_LEVEL_TRACE, "%d", countEvaluation());
    EXPECT_EQ(evaluated, 0);
    EXPECT_EQ(kTestLog.handle, nullptr);
}

TEST(ZrbLog, RecordsCarryCategoryLevelAndProjectRelativeFile) {
    vkplatform::ZlogCapture capture;
    ZRB_LOG(kTestLog, ZLOG_LEVEL_DEBUG, "value %d", 7);
    ZRB_LOG_UNCACHED("ZRB_TEST_TRACE", ZLOG_LEVEL_TRACE, "%s", "%s%n");
    EXPECT_EQ(kTestLog.handle, zlog_get_category("ZRB_TEST"));
    const auto records = capture.records();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].category, "ZRB_TEST");
    EXPECT_EQ(records[0].level, ZLOG_LEVEL_DEBUG);
    EXPECT_EQ(records[0].message, "value 7");
    // The build maps the source directory away; a compiler cache that passes
    // relative paths leaves "../../" in front instead.
    EXPECT_TRUE(records[0].file.ends_with("instrument/tests/zrb_log_test.cpp")) << records[0].file;
    EXPECT_NE(records[0].file.front(), '/') << records[0].file;
    EXPECT_EQ(records[0].function, "TestBody");
    EXPECT_EQ(records[1].category, "ZRB_TEST_TRACE");
    EXPECT_EQ(records[1].message, "%s%n");
}

} // namespace

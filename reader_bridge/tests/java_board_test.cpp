// The Java reader class on the first evaluation board: the class loads the
// simulated bridge by name from a directory without board libraries, and the
// bridge finds the stand-in KX10 board library first on the library path. The
// program links the stand-ins' core (the same one the stand-in library uses)
// and places the tags.
#include "java_values.h"

#include <kxx0_standin.h>
#include <rfsim/iso14443a_tag.h>
#include <rfsim/qb_tag.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace kestoreader_test {
namespace {

TEST(JavaBoard, ConnectsTheFirstBoardAndListsTheTagsOfTheField) {
    kxx0standin::Core& core = kxx0standin::Core::instance();
    core.reset();
    std::vector<JavaBytes> placed;
    for (std::uint8_t i = 0; i < 20; ++i) {
        rfsim::Iso14443aTag::Config config;
        config.uid = {0x11, i, 0x33, static_cast<std::uint8_t>(0x40 + i)};
        placed.push_back(config.uid);
        core.field().add(std::make_unique<rfsim::Iso14443aTag>(config));
    }

    JNIEnv* env = vktesting::testJniEnv();
    ASSERT_EQ(env->PushLocalFrame(64), 0);
    {
        JavaReader reader(env, "com/kesto/vemlapc/model/readers/kesto/KestoReader");
        ASSERT_TRUE(reader.ready());
        ASSERT_TRUE(reader.flag("connect"));
        EXPECT_EQ(reader.text("getName"), "KX10B-EVALO");
        EXPECT_EQ(reader.text("checkVersion"), "");
        EXPECT_EQ(reader.integer("getMaxReceiveLengthInBytes", "()I"), 260);
        EXPECT_EQ(reader.selectReaderMode(javaBytes(env, {2, 0, 0, 1})), 0);
        auto found = reader.antiCollision(nullptr);
        ASSERT_TRUE(found.has_value());
        std::sort(found->begin(), found->end());
        std::sort(placed.begin(), placed.end());
        EXPECT_EQ(*found, placed);
        reader.action("disconnect", "()V");
    }
    env->PopLocalFrame(nullptr);
    EXPECT_EQ(core.calls().back().name, "_ReleaseKX10@4");
}

TEST(JavaBoard, ListsTheTypeBChipsOfTheFieldLastSlotFirst) {
    kxx0standin::Core& core = kxx0standin::Core::instance();
    core.reset();
    for (const int slot : {2, 11}) {
        const rfsim::QbTag::Config chip{static_cast<std::uint8_t>(0x90 + slot), slot,
                                        0x0102030405060700 | static_cast<std::uint64_t>(slot)};
        core.field().add(std::make_unique<rfsim::QbTag>(chip));
    }

    JNIEnv* env = vktesting::testJniEnv();
    ASSERT_EQ(env->PushLocalFrame(64), 0);
    {
        JavaReader reader(env, "com/kesto/vemlapc/model/readers/kesto/KestoReader");
        ASSERT_TRUE(reader.ready());
        ASSERT_TRUE(reader.flag("connect"));
        EXPECT_EQ(reader.selectReaderMode(javaBytes(env, {3, 0, 0, 1})), 0);
        EXPECT_EQ(reader.antiCollision(nullptr),
                  (std::vector<JavaBytes>{{1, 2, 3, 4, 5, 6, 7, 11}, {1, 2, 3, 4, 5, 6, 7, 2}}));
        reader.action("disconnect", "()V");
    }
    env->PopLocalFrame(nullptr);
}

} // namespace
} // namespace kestoreader_test

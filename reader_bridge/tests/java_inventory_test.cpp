// The Java reader class's antiCollision over ISO 15693 tags (software and
// firmware inventory) and short-range type B chips in the simulated dongle's
// field, the simulated build loaded by name as in java_class_test.cpp.
#include "java_values.h"

#include <hidsim/hidsim.h>
#include <qm30sim/qm30_model.h>
#include <rfsim/iso15693_tag.h>
#include <rfsim/qb_tag.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace kestoreader_test {
namespace {

// A UID most significant byte first.
JavaBytes msbFirst(std::uint64_t uid) {
    JavaBytes out;
    for (int i = 7; i >= 0; --i)
        out.push_back(static_cast<std::uint8_t>(uid >> (8 * i)));
    return out;
}

class JavaInventoryTest : public ::testing::Test {
  protected:
    void SetUp() override {
        hidsim::reset();
        env = vktesting::testJniEnv();
        ASSERT_EQ(env->PushLocalFrame(64), 0);
        reader = std::make_unique<JavaReader>(env, "com/kesto/vemlapc/model/readers/kesto/KestoReader");
        ASSERT_TRUE(reader->ready());
        model = std::make_shared<qm30sim::Qm30Model>();
        qm30sim::plugQm30(model);
        ASSERT_TRUE(reader->flag("connect"));
    }
    void TearDown() override {
        if (reader && reader->ready()) reader->action("disconnect", "()V");
        reader.reset();
        env->PopLocalFrame(nullptr);
        EXPECT_EQ(hidsim::counters().liveHandles, 0);
        EXPECT_TRUE(model->violations().empty());
    }

    void mode(std::uint8_t protocol) {
        ASSERT_EQ(reader->selectReaderMode(javaBytes(env, {protocol, 0, 0, 1})), 1);
    }
    // n tags, pairs of which share their low nibble.
    std::vector<JavaBytes> placeVicinity(int n) {
        std::vector<JavaBytes> uids;
        for (int i = 0; i < n; ++i) {
            const std::uint64_t uid = 0xE007000000000000 | static_cast<std::uint64_t>(i) << 24 |
                                      static_cast<std::uint64_t>(i % 8) | (i < 8 ? 0x10u : 0x20u);
            model->field().add(std::make_unique<rfsim::Iso15693Tag>(rfsim::Iso15693Tag::Config{uid, 0, 0}));
            uids.push_back(msbFirst(uid));
        }
        std::sort(uids.begin(), uids.end());
        return uids;
    }
    std::vector<JavaBytes> found() {
        auto uids = reader->antiCollision(nullptr);
        EXPECT_TRUE(uids);
        if (!uids) return {};
        std::sort(uids->begin(), uids->end());
        return *uids;
    }

    JNIEnv* env = nullptr;
    std::unique_ptr<JavaReader> reader;
    std::shared_ptr<qm30sim::Qm30Model> model;
};

TEST_F(JavaInventoryTest, Iso15693ByFirmwareAndBySoftware) {
    mode(1);
    const auto uids = placeVicinity(4);
    reader->action("setAnticollisionAlgo", "([B)V", javaBytes(env, {1, 0x22}));
    EXPECT_EQ(found(), uids);
    EXPECT_EQ(model->inventoryParameters(), std::vector<std::uint8_t>{0x22});

    reader->action("setAnticollisionAlgo", "([B)V", javaBytes(env, {0}));
    EXPECT_EQ(found(), uids);
    EXPECT_EQ(found(), std::vector<JavaBytes>{}); // every tag stays quiet
}

TEST_F(JavaInventoryTest, SeventeenTagsEachOnce) {
    mode(1);
    const auto uids = placeVicinity(17);
    EXPECT_EQ(found(), uids);
}

TEST_F(JavaInventoryTest, TypeBChipsLastSlotFirst) {
    mode(3);
    for (const int slot : {3, 9}) {
        const rfsim::QbTag::Config chip{static_cast<std::uint8_t>(0x80 + slot), slot,
                                        0x1122334455667700 | static_cast<std::uint64_t>(slot)};
        model->field().add(std::make_unique<rfsim::QbTag>(chip));
    }
    EXPECT_EQ(reader->antiCollision(nullptr),
              (std::vector<JavaBytes>{msbFirst(0x1122334455667709), msbFirst(0x1122334455667703)}));
}

} // namespace
} // namespace kestoreader_test

// The Java reader class over the shipped build (the real hidapi), loaded from
// the build's library directory in a process without any simulator: no dongle
// here, so nothing connects and every native answers its default.
#include "java_values.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kestoreader_test {
namespace {

TEST(JavaClassRealBuild, NothingConnectsAndTheDefaultsHold) {
    JNIEnv* env = vktesting::testJniEnv();
    ASSERT_EQ(env->PushLocalFrame(64), 0);
    {
        JavaReader reader(env, "com/kesto/vemlapc/model/readers/kesto/KestoReader");
        ASSERT_TRUE(reader.ready());
        EXPECT_FALSE(reader.flag("connect"));
        EXPECT_FALSE(reader.flag("isConnected"));
        EXPECT_EQ(reader.text("getName"), "");
        EXPECT_EQ(reader.text("checkVersion"), "Cannot get version");
        EXPECT_EQ(reader.text("getFirmwareVersion"), "");
        EXPECT_EQ(reader.selectReaderMode(javaBytes(env, {2, 0, 0, 0})), 3);
        EXPECT_EQ(reader.bytes("sendReceive", "([B)[B", javaBytes(env, {0x26})), JavaBytes{3});
        EXPECT_EQ(reader.bytes("sendRats", "()[B"), JavaBytes{3});
        EXPECT_EQ(reader.antiCollision(nullptr), std::vector<JavaBytes>{});
        EXPECT_EQ(reader.integer("getMaxReceiveLengthInBytes", "()I"), 0);
        EXPECT_EQ(reader.integer("selectTag14443A", "([B)I", javaBytes(env, {1, 2, 3, 4})), 255);
        reader.action("disconnect", "()V");
    }
    env->PopLocalFrame(nullptr);
}

} // namespace
} // namespace kestoreader_test

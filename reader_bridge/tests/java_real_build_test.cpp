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
        expectNoReaderDefaults(env, reader);
        reader.action("disconnect", "()V");
    }
    env->PopLocalFrame(nullptr);
}

} // namespace
} // namespace kestoreader_test

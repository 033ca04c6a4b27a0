// The Java reader class over the shipped build (the real hidapi), loaded from
// the build's library directory in a process without any simulator: no dongle
// and no board here, so nothing connects and every native answers its default.
// The board libraries beside it are loaded on connect and open their session
// trace in a configuration directory of the test's own.
#include "java_values.h"

#include <vktesting/temp_dir.h>

#include <gtest/gtest.h>

#include <cstdlib>

#include <string>
#include <vector>

namespace kestoreader_test {
namespace {

TEST(JavaClassRealBuild, NothingConnectsAndTheDefaultsHold) {
    vktesting::TempDir config;
    ::setenv("XDG_CONFIG_HOME", config.path().c_str(), 1);
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

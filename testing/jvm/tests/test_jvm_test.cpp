#include <vktesting/test_jvm.h>

#include <gtest/gtest.h>

#include <thread>

namespace {

TEST(TestJvm, CallsAJavaMethodCompiledForTheTest) {
    JNIEnv* env = vktesting::testJniEnv();
    ASSERT_NE(env, nullptr);
    jclass echo = env->FindClass("vktesting/Echo");
    ASSERT_NE(echo, nullptr);
    jmethodID onText = env->GetStaticMethodID(echo, "onText", "(ILjava/lang/String;)V");
    ASSERT_NE(onText, nullptr);
    jstring text = env->NewStringUTF("Gr\xc3\xbc\xc3\x9f"
                                     "e");
    env->CallStaticVoidMethod(echo, onText, 7, text);
    vktesting::expectNoJavaException(env);
    jfieldID lastCode = env->GetStaticFieldID(echo, "lastCode", "I");
    EXPECT_EQ(env->GetStaticIntField(echo, lastCode), 7);
    env->DeleteLocalRef(text);
    env->DeleteLocalRef(echo);
}

TEST(TestJvm, AttachesAnotherThread) {
    vktesting::testJvm();
    std::thread worker([] {
        JNIEnv* env = vktesting::testJniEnv();
        EXPECT_NE(env, nullptr);
        vktesting::testJvm()->DetachCurrentThread();
    });
    worker.join();
}

} // namespace

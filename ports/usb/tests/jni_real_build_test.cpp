// The natives of the shipped build (the real libusb) from a real JVM: the class
// loads it, it answers, and the process ends promptly although the library's
// watch thread runs (its destructor joins the thread at exit).
#include <vktesting/test_jvm.h>

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(VkUsbJniRealBuild, LoadsAndAnswers) {
    JNIEnv* env = vktesting::testJniEnv();
    ASSERT_EQ(env->PushLocalFrame(16), 0);
    jclass type = env->FindClass("de/varek/VkUsb");
    vktesting::expectNoJavaException(env);
    ASSERT_NE(type, nullptr);
    jmethodID version = env->GetStaticMethodID(type, "GetDLLVersion", "()Ljava/lang/String;");
    vktesting::expectNoJavaException(env);
    auto text = static_cast<jstring>(env->CallStaticObjectMethod(type, version));
    vktesting::expectNoJavaException(env);
    ASSERT_NE(text, nullptr);
    const char* chars = env->GetStringUTFChars(text, nullptr);
    vktesting::expectNoJavaException(env);
    EXPECT_EQ(std::string(chars), "05.00.00");
    env->ReleaseStringUTFChars(text, chars);
    jmethodID clear = env->GetStaticMethodID(type, "ClearScanList", "()I");
    vktesting::expectNoJavaException(env);
    EXPECT_EQ(env->CallStaticIntMethod(type, clear), 0);
    vktesting::expectNoJavaException(env);
    env->PopLocalFrame(nullptr);
}

} // namespace

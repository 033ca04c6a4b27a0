#include <vktesting/test_jvm.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <mutex>
#include <stdexcept>
#include <string>

namespace vktesting {

namespace {

JavaVM* createJvm() {
    const char* classpath = std::getenv("VK_TEST_CLASSPATH");
    std::string classpathOption = std::string("-Djava.class.path=") + (classpath ? classpath : "");
    JavaVMOption options[] = {
        {const_cast<char*>("-Xcheck:jni"), nullptr},
        {classpathOption.data(), nullptr},
        // Keep the VM small: tests start one per process.
        {const_cast<char*>("-Xms16m"), nullptr},
        {const_cast<char*>("-XX:+UseSerialGC"), nullptr},
        {const_cast<char*>("-Xss1m"), nullptr},
    };
    JavaVMInitArgs args{};
    args.version = JNI_VERSION_10;
    args.nOptions = static_cast<jint>(sizeof options / sizeof options[0]);
    args.options = options;
    args.ignoreUnrecognized = JNI_FALSE;
    JavaVM* vm = nullptr;
    JNIEnv* env = nullptr;
    if (JNI_CreateJavaVM(&vm, reinterpret_cast<void**>(&env), &args) != JNI_OK)
        throw std::runtime_error("JNI_CreateJavaVM failed");
    return vm;
}

} // namespace

JavaVM* testJvm() {
    static JavaVM* vm = createJvm();
    return vm;
}

JNIEnv* testJniEnv() {
    JavaVM* vm = testJvm();
    JNIEnv* env = nullptr;
    if (vm->GetEnv(reinterpret_cast<void**>(&env), JNI_VERSION_10) == JNI_EDETACHED)
        vm->AttachCurrentThread(reinterpret_cast<void**>(&env), nullptr);
    return env;
}

void expectNoJavaException(JNIEnv* env) {
    if (env->ExceptionCheck()) {
        env->ExceptionDescribe();
        env->ExceptionClear();
        ADD_FAILURE() << "a Java exception is pending";
    }
}

} // namespace vktesting

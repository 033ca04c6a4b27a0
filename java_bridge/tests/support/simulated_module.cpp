#include "simulated_module.h"

#include <vkdm/vkdm_control.h>
#include <vktesting/test_jvm.h>

namespace vkbridge {

void SimulatedModuleTest::SetUp() {
    env = vktesting::testJniEnv();
    ASSERT_NE(env, nullptr);
    endpoint = simulator.listenTcp();
    handle = addModule(true);
    ASSERT_GT(handle, 0);
}

void SimulatedModuleTest::TearDown() {
    if (env == nullptr) return;
    for (int module : modules_)
        callReader(env, "Destroy", "(I)I", {I(module)});
    modules_.clear();
}

int SimulatedModuleTest::addModule(bool connect) {
    const Outcome made = callReader(env, "Init", "()I");
    EXPECT_FALSE(made.thrown) << made.thrown->message;
    if (made.thrown || made.value.i <= 0) return 0;
    modules_.push_back(made.value.i);
    if (connect) {
        const Outcome connected = connectTcp(made.value.i);
        EXPECT_FALSE(connected.thrown) << connected.thrown->message;
        EXPECT_EQ(connected.value.i, 0);
        if (connected.thrown || connected.value.i != 0) return 0;
    }
    return made.value.i;
}

Outcome SimulatedModuleTest::connectTcp(int moduleHandle, int port) {
    jstring host = env->NewStringUTF("127.0.0.1");
    Outcome o = callReader(env, "ConnectTCP", "(ILjava/lang/String;I)I",
                           {I(moduleHandle), L(host), I(port != 0 ? port : endpoint.port)});
    env->DeleteLocalRef(host);
    return o;
}

VKDM_KRNReaderModule* SimulatedModuleTest::coreModule(int moduleHandle) {
    return VKDM_CTL_FindModule(moduleHandle);
}

} // namespace vkbridge

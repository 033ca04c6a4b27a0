// A process that ends while modules still hold serial-line and USB listeners:
// the registry deletes them at exit, after this program's cases have passed.
// The check is the process's own end, run as a case of its own: it exits 0 and
// no sanitizer reports an access to what exit has already destroyed.
#include "task_fixture.h"

#include <usbsim/usbsim.h>

#include <gtest/gtest.h>

#include <string>

namespace {

using vkbridge::callReader;
using vkbridge::I;
using vkbridge::L;
using vkbridge::Outcome;

constexpr char kListener[] = "(ILjava/lang/Object;I)I";

class ListenersAtExitJvmTest : public vkbridge::TaskJvmTest {
  protected:
    // A module Java made and never destroys (the fixture does not list it).
    int keptModule() {
        const Outcome made = callReader(env, "Init", "()I");
        EXPECT_FALSE(made.thrown);
        return made.thrown ? 0 : made.value.i;
    }
    Outcome texts(const char* native, int h, const char* key, const char* value) {
        jstring k = env->NewStringUTF(key);
        jstring v = env->NewStringUTF(value);
        Outcome o = callReader(env, native, "(ILjava/lang/String;Ljava/lang/String;)I", {I(h), L(k), L(v)});
        env->DeleteLocalRef(k);
        env->DeleteLocalRef(v);
        return o;
    }
};

TEST_F(ListenersAtExitJvmTest, ModulesStillListeningWhenTheProcessEnds) {
    usbsim::reset();
    jobject l = listener();
    const int usb = keptModule();
    ASSERT_GT(usb, 0);
    for (const int event : {1, 2})
        ASSERT_EQ(callReader(env, "AddUSBEventListener", kListener, {I(usb), L(l), I(event)}).value.i, 0);

    // Connected through the serial library over its simulated UART to the
    // simulated reader on a pseudo-terminal.
    const auto pty = simulator.openPty();
    const std::string prefix = "/dev/pts/";
    ASSERT_EQ(pty.slavePath.rfind(prefix, 0), 0u);
    const int serial = keptModule();
    ASSERT_GT(serial, 0);
    ASSERT_EQ(texts("SetPortPara", serial, "PORTPREFIX", prefix.c_str()).value.i, 0);
    const int portNumber = std::stoi(pty.slavePath.substr(prefix.size())) + 1;
    const Outcome connected = callReader(env, "ConnectCOMM", "(II)I", {I(serial), I(portNumber)});
    ASSERT_FALSE(connected.thrown) << connected.thrown->message;
    ASSERT_EQ(connected.value.i, 0);
    for (const int event : {4, 5})
        ASSERT_EQ(callReader(env, "AddCOMMEventListener", kListener, {I(serial), L(l), I(event)}).value.i, 0);
}

} // namespace

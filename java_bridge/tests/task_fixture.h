// A JVM test fixture for the task and listener natives: the connected module
// of SimulatedModuleTest with two tags in the simulated field, listener
// objects, calls of the natives, and a look at the module's slots and flag.
#ifndef VKBRIDGE_TASK_FIXTURE_H
#define VKBRIDGE_TASK_FIXTURE_H

#include "module_4j.h"
#include "simulated_module.h"

#include <krnsim/fault.h>
#include <vktesting/wait_until.h>

#include <chrono>
#include <string>
#include <vector>

namespace vkbridge {

using namespace std::chrono_literals;
using nubokrn4j::Slot;

constexpr char kStart[] = "(IIIIIIBZLjava/lang/String;ZIIILjava/lang/Object;)I";

struct StartArgs {
    int kind = 1;
    int port = 0;
    int acknowledge = 0;
    jbyte timeout = 10;
    bool cipher = false;
    const char* key = nullptr;
    bool keepAlive = false;
    int keepAlive1 = 0;
    int keepAlive3 = 0;
};

class TaskJvmTest : public SimulatedModuleTest {
  protected:
    void SetUp() override {
        SimulatedModuleTest::SetUp();
        if (HasFatalFailure()) return;
        for (std::uint8_t n = 1; n <= 2; ++n) {
            krnsim::Tag tag;
            tag.uid = {0xE0, 0x04, 0x01, 0x00, 0x00, 0x00, 0x00, n};
            simulator.reader().addTag(tag);
        }
    }
    void TearDown() override {
        for (jobject l : locals_)
            env->DeleteLocalRef(l);
        locals_.clear();
        SimulatedModuleTest::TearDown();
    }

    jobject local(jobject object) {
        locals_.push_back(object);
        return object;
    }
    jobject listener() { return local(vkbridge::newObject(env, "vkbridge/TaskListener")); }
    jobject queueListener() { return local(vkbridge::newObject(env, "vkbridge/RecordingQueue")); }
    void setInt(jobject object, const char* field, int value) {
        jclass type = env->GetObjectClass(object);
        env->SetIntField(object, env->GetFieldID(type, field, "I"), value);
        env->DeleteLocalRef(type);
    }

    Outcome start(int moduleHandle, jobject listener, const StartArgs& a = {}) {
        jstring key = a.key != nullptr ? env->NewStringUTF(a.key) : nullptr;
        Outcome o = callReader(env, "StartAsyncTask", kStart,
                               {I(moduleHandle), I(a.kind), I(0), I(0), I(a.port), I(a.acknowledge),
                                B(a.timeout), Z(a.cipher), L(key), Z(a.keepAlive), I(a.keepAlive1), I(0),
                                I(a.keepAlive3), L(listener)});
        if (key != nullptr) env->DeleteLocalRef(key);
        return o;
    }
    Outcome cancel(int moduleHandle) { return callReader(env, "CancelAsyncTask", "(I)I", {I(moduleHandle)}); }
    // Cancels once no callback runs: a cancel refused during a callback ends
    // the task after it (the reader library then has none: -4081).
    // A cancel that meets a running callback answers -4084 and the task ends after that
    // callback, so a later cancel finds no task (-4081): either way the task is ended, 0.
    int cancelOutsideCallbacks(int moduleHandle) {
        int r = -4084;
        bool metCallback = false;
        vktesting::waitUntil([&] {
            r = cancel(moduleHandle).value.i;
            metCallback = metCallback || r == -4084;
            return r != -4084;
        });
        return metCallback && r == -4081 ? 0 : r;
    }
    Outcome sam(jobject listener, std::vector<jbyte> bytes, int moduleHandle = 0) {
        jbyteArray data = env->NewByteArray(static_cast<jsize>(bytes.size()));
        env->SetByteArrayRegion(data, 0, static_cast<jsize>(bytes.size()), bytes.data());
        Outcome o =
            callReader(env, "SendSAMCommand", "(II[BILjava/lang/Object;)I",
                       {I(moduleHandle != 0 ? moduleHandle : handle), I(2), L(data), I(10), L(listener)});
        env->DeleteLocalRef(data);
        return o;
    }
    Outcome queue(jobject listener, std::vector<jbyte> bytes, int length) {
        jbyteArray data = env->NewByteArray(static_cast<jsize>(bytes.size()));
        env->SetByteArrayRegion(data, 0, static_cast<jsize>(bytes.size()), bytes.data());
        Outcome o = callReader(env, "SendCommandQueue", "(III[BIILjava/lang/Object;)I",
                               {I(handle), I(1), I(2), L(data), I(length), I(10), L(listener)});
        env->DeleteLocalRef(data);
        return o;
    }

    void setLogProt(bool on) {
        jstring key = env->NewStringUTF("LOGPROT");
        jstring value = env->NewStringUTF(on ? "1" : "0");
        const Outcome o = callReader(env, "SetLogPara", "(ILjava/lang/String;Ljava/lang/String;)I",
                                     {I(handle), L(key), L(value)});
        EXPECT_FALSE(o.thrown);
        env->DeleteLocalRef(key);
        env->DeleteLocalRef(value);
    }
    VKDM_KRNReaderModule_4J* module4j(int h = 0) {
        return static_cast<VKDM_KRNReaderModule_4J*>(coreModule(h != 0 ? h : handle));
    }
    int uses(Slot slot, int h = 0) { return module4j(h)->Listeners().slot(slot).uses; }
    int flag(int h = 0) { return module4j(h)->m_TaskActive.load(); }
    std::vector<std::string> calls(jobject l, int count, int ms = 10000) {
        return vkbridge::recordedCalls(env, l, count, ms);
    }
    void answerSlowly(std::uint8_t command, std::uint8_t status, krnsim::Bytes data) {
        simulator.reader().setHandler(command,
                                      [status, data](const krnsim::Request&, krnsim::ConnectionContext&) {
                                          return krnsim::Reply::frame(status, data);
                                      });
        simulator.reader().queueFault(krnsim::Fault::delay(100ms).onlyCommand(command));
    }

  private:
    std::vector<jobject> locals_;
};

} // namespace vkbridge

#endif

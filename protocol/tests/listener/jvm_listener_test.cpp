// The notification listener with a Java text handler from a real virtual
// machine: the listener thread delivers the protocol lines of each notification
// and each acknowledgement to Java, and detaches when the task ends.
#include "internal_fixture.h"
#include "java_event_recorder.h"
#include "listener_fixture.h"

#include <vkkrn_jni.h>
#include <vktesting/test_jvm.h>

#include <jni.h>

namespace {

using namespace std::chrono_literals;
using krnsim::Bytes;

class JavaListener : public InternalTest {
  protected:
    void SetUp() override {
        InternalTest::SetUp();
        env_ = vktesting::testJniEnv();
        ASSERT_NE(env_, nullptr);
        recorderClass_ = env_->FindClass("vkkrntest/EventRecorder");
        ASSERT_NE(recorderClass_, nullptr);
        const jobject local =
            env_->NewObject(recorderClass_, env_->GetMethodID(recorderClass_, "<init>", "()V"));
        recorder_ = env_->NewGlobalRef(local);
        env_->DeleteLocalRef(local);
        handle_ = VKKRN_NewReader(0);
        ASSERT_GT(handle_, 0);
        ASSERT_EQ(VKKRN_SetReaderPara(handle_, "LOGPROT", "1"), 0);
        _VKKRN_INTERNAL_EVENT_INIT r{};
        r.uiUse = 1; // protocol lines
        r.uiFlag = 101;
        r.jvm = vktesting::testJvm();
        r.object = recorder_;
        r.method = env_->GetMethodID(recorderClass_, "onText", "(ILjava/lang/String;)V");
        ASSERT_EQ(VKKRN_AddEventHandlerEx(handle_, &r), 0);
    }
    void TearDown() override {
        g_LibVkKrnDrvHnd.DeleteAllReaders();
        if (recorder_ != nullptr) env_->DeleteGlobalRef(recorder_);
        if (recorderClass_ != nullptr) env_->DeleteLocalRef(recorderClass_);
        vktesting::expectNoJavaException(env_);
        InternalTest::TearDown();
    }
    vkkrn_test::JavaEventRecorder java() { return {env_, recorderClass_, recorder_}; }
    int count() { return java().count(); }
    std::string entry(int i) {
        const std::u16string text = java().entry(i);
        return std::string(text.begin(), text.end());
    }
    bool lastThreadAlive() { return java().lastThreadAlive(); }

    JNIEnv* env_ = nullptr;
    jclass recorderClass_ = nullptr;
    jobject recorder_ = nullptr;
    int handle_ = 0;
    vkkrn_test::ListenerRecorder calls_;
};

TEST_F(JavaListener, ALinePerNotificationAndAcknowledgement) {
    const std::uint16_t port = vkkrn_test::freeLoopbackPort();
    _VKKRN_TASK_INIT r = vkkrn_test::listenerRecord(calls_, port, 1);
    r.uiAcknowledge = 1;
    ASSERT_EQ(VKKRN_StartAsyncTask(handle_, 3, &r, nullptr), 0);
    std::unique_ptr<krnsim::Notifier> reader;
    ASSERT_TRUE(vktesting::waitUntil([&] {
        try {
            reader = std::make_unique<krnsim::Notifier>(port);
            return true;
        } catch (const std::runtime_error&) {
            return false;
        }
    }));
    for (std::uint8_t i = 0; i < 2; ++i) {
        reader->notify(0x22, Bytes{0xA0, i});
        ASSERT_TRUE(reader->waitFrame(5s));
    }
    ASSERT_TRUE(calls_.waitFor(2));
    ASSERT_TRUE(vktesting::waitUntil([&] { return count() >= 4; }));
    ASSERT_EQ(count(), 4);
    EXPECT_NE(entry(0).find("<<  08 01 22 00 A0 00"), std::string::npos) << entry(0);
    EXPECT_NE(entry(1).find(">>  05 09 32"), std::string::npos) << entry(1);
    EXPECT_NE(entry(2).find("<<  08 01 22 00 A0 01"), std::string::npos) << entry(2);
    EXPECT_NE(entry(3).find(">>  05 09 32"), std::string::npos) << entry(3);
    EXPECT_TRUE(lastThreadAlive());
    reader.reset();
    EXPECT_EQ(cancelOutsideTheCallback(handle_), 0);
    EXPECT_FALSE(lastThreadAlive()) << "the listener's thread detached as it ended";
}

} // namespace

// Java event handlers from a real virtual machine: the reader calls the methods
// of a Java recorder object on the thread that raises the event.
#include "internal_fixture.h"
#include "java_event_recorder.h"
#include "sim_plugin.h"

#include <vkkrn_jni.h>
#include <vktesting/test_jvm.h>

#include <jni.h>

#include <string>
#include <thread>

namespace {

using krnsim::Bytes;

class JavaEvents : public InternalTest {
  protected:
    void SetUp() override {
        InternalTest::SetUp();
        env_ = vktesting::testJniEnv();
        ASSERT_NE(env_, nullptr);
        recorderClass_ = env_->FindClass("vkkrntest/EventRecorder");
        ASSERT_NE(recorderClass_, nullptr);
        onText_ = env_->GetMethodID(recorderClass_, "onText", "(ILjava/lang/String;)V");
        onBytes_ = env_->GetMethodID(recorderClass_, "onBytes", "(I[B)V");
        const jobject local =
            env_->NewObject(recorderClass_, env_->GetMethodID(recorderClass_, "<init>", "()V"));
        recorder_ = env_->NewGlobalRef(local);
        env_->DeleteLocalRef(local);
        reader_ = newReader(VKKRN_PLUGIN, &handle_);
        ASSERT_NE(reader_, nullptr);
        ASSERT_EQ(reader_->PlugIn_Install(new SimPlugIn(sim_, script_)), 0);
        ASSERT_EQ(reader_->SetReaderPara("LOGPROT", "1"), 0);
    }
    void TearDown() override {
        g_LibVkKrnDrvHnd.DeleteAllReaders();
        if (recorder_ != nullptr) env_->DeleteGlobalRef(recorder_);
        if (recorderClass_ != nullptr) env_->DeleteLocalRef(recorderClass_);
        vktesting::expectNoJavaException(env_);
        InternalTest::TearDown();
    }

    int addJava(unsigned int use, jobject object = nullptr) {
        _VKKRN_INTERNAL_EVENT_INIT r{};
        r.uiUse = use;
        r.uiFlag = 101;
        r.jvm = vktesting::testJvm();
        r.object = object != nullptr ? object : recorder_;
        r.method = (use == 4 || use == 5 || use == 6) ? onBytes_ : onText_;
        return VKKRN_AddEventHandlerEx(handle_, &r);
    }
    int exchange() {
        Bytes frame = krnsim::buildRequest(krnsim::Form::Standard, 1, 0x65, {});
        unsigned char rx[64];
        return VKKRN_SendTransparent(handle_, frame.data(), static_cast<int>(frame.size()), rx, sizeof rx, 0,
                                     0);
    }
    vkkrn_test::JavaEventRecorder java() { return {env_, recorderClass_, recorder_}; }
    int count() { return java().count(); }
    std::u16string entry(int i) { return java().entry(i); }
    std::string ascii(const std::u16string& s) { return std::string(s.begin(), s.end()); }
    bool lastThreadAlive() { return java().lastThreadAlive(); }

    JNIEnv* env_ = nullptr;
    jclass recorderClass_ = nullptr;
    jmethodID onText_ = nullptr;
    jmethodID onBytes_ = nullptr;
    jobject recorder_ = nullptr;
    krnsim::Reader sim_;
    PlugInScript script_;
    std::shared_ptr<VKKRNReader> reader_;
    int handle_ = 0;
};

struct NativeCalls {
    int count = 0;
};

void countCall(void* any, unsigned char*, int, int) {
    ++static_cast<NativeCalls*>(any)->count;
}

_VKKRN_EVENT_INIT nativeRecord(unsigned int use, NativeCalls* calls) {
    _VKKRN_EVENT_INIT r{};
    r.pAny = calls;
    r.uiUse = use;
    r.uiFlag = 7;
    r.callback.form7 = &countCall;
    return r;
}

TEST_F(JavaEvents, BytesAndTextsWithUmlauts) {
    ASSERT_EQ(addJava(5), 0);
    ASSERT_EQ(addJava(101), 0);
    ASSERT_EQ(addJava(5), 0) << "the same use, object and method: kept once";
    ASSERT_GT(exchange(), 0);
    ASSERT_EQ(count(), 1);
    EXPECT_EQ(ascii(entry(0)), "bytes 5 050165FD2D");

    g_LibVkKrnDrvHnd.SetLanguage(7);
    Bytes frame(1, 5);
    unsigned char rx[8];
    EXPECT_EQ(VKKRN_SendTransparent(handle_, frame.data(), 0, rx, sizeof rx, 0, 0), -4051);
    ASSERT_EQ(count(), 2);
    const std::u16string text = entry(1);
    EXPECT_EQ(ascii(text.substr(0, 9)), "text 101 ");
    EXPECT_NE(text.find(u"-4051"), std::u16string::npos);
    EXPECT_NE(text.find(u'\u00DF'), std::u16string::npos) << "the German text's sharp s came through";
}

TEST_F(JavaEvents, ThreadsAttachedForByteEventsAreDetachedAtOnce) {
    ASSERT_EQ(addJava(5), 0);
    ASSERT_GT(exchange(), 0);
    JNIEnv* env = nullptr;
    EXPECT_EQ(vktesting::testJvm()->GetEnv(reinterpret_cast<void**>(&env), JNI_VERSION_1_6), JNI_OK)
        << "the main thread stays attached";
    jint after = JNI_OK;
    std::thread worker([&] {
        exchange();
        JNIEnv* workerEnv = nullptr;
        after = vktesting::testJvm()->GetEnv(reinterpret_cast<void**>(&workerEnv), JNI_VERSION_1_6);
    });
    worker.join();
    EXPECT_EQ(after, JNI_EDETACHED);
    EXPECT_EQ(count(), 2);
}

TEST_F(JavaEvents, ThreadsAttachedForTextEventsDetachWhenTheyEnd) {
    ASSERT_EQ(addJava(2), 0);
    jint during = JNI_EDETACHED;
    std::thread worker([&] {
        exchange();
        JNIEnv* workerEnv = nullptr;
        during = vktesting::testJvm()->GetEnv(reinterpret_cast<void**>(&workerEnv), JNI_VERSION_1_6);
    });
    worker.join();
    EXPECT_EQ(during, JNI_OK) << "kept attached after a text event";
    ASSERT_EQ(count(), 1);
    EXPECT_FALSE(lastThreadAlive()) << "detached as the thread ended";
}

TEST_F(JavaEvents, AThrowingMethodIsClearedAndEndsThatDispatchOnly) {
    NativeCalls after;
    ASSERT_EQ(addJava(2), 0);
    auto record = nativeRecord(2, &after);
    ASSERT_EQ(VKKRN_AddEventHandler(handle_, &record), 0);
    env_->CallVoidMethod(recorder_, env_->GetMethodID(recorderClass_, "throwOnNextText", "()V"));
    ASSERT_GT(exchange(), 0);
    EXPECT_FALSE(env_->ExceptionCheck());
    EXPECT_EQ(after.count, 0) << "the dispatch ended at the throwing method";
    ASSERT_GT(exchange(), 0);
    EXPECT_EQ(count(), 2);
    EXPECT_EQ(after.count, 1);
}

TEST_F(JavaEvents, AnEmptyTextStopsAtTheFirstJavaHandler) {
    NativeCalls before;
    NativeCalls after;
    auto first = nativeRecord(101, &before);
    auto last = nativeRecord(101, &after);
    ASSERT_EQ(VKKRN_AddEventHandler(handle_, &first), 0);
    ASSERT_EQ(addJava(101), 0);
    ASSERT_EQ(VKKRN_AddEventHandler(handle_, &last), 0);
    reader_->ExecNotification(101, reinterpret_cast<const unsigned char*>(""), 0, -4000);
    EXPECT_EQ(before.count, 1);
    EXPECT_EQ(after.count, 0);
    EXPECT_EQ(count(), 0);
}

TEST_F(JavaEvents, ACollectedWeakReferenceIsSkipped) {
    NativeCalls after;
    const jobject local = env_->NewObject(recorderClass_, env_->GetMethodID(recorderClass_, "<init>", "()V"));
    const jweak weak = env_->NewWeakGlobalRef(local);
    env_->DeleteLocalRef(local);
    ASSERT_EQ(addJava(2, weak), 0);
    auto record = nativeRecord(2, &after);
    ASSERT_EQ(VKKRN_AddEventHandler(handle_, &record), 0);
    const jclass system = env_->FindClass("java/lang/System");
    const jmethodID gc = env_->GetStaticMethodID(system, "gc", "()V");
    for (int i = 0; i < 50 && !env_->IsSameObject(weak, nullptr); ++i) {
        env_->CallStaticVoidMethod(system, gc);
        vktesting::expectNoJavaException(env_);
    }
    env_->DeleteLocalRef(system);
    if (!env_->IsSameObject(weak, nullptr)) GTEST_SKIP() << "the virtual machine kept the object";
    ASSERT_GT(exchange(), 0);
    EXPECT_EQ(after.count, 1) << "the walk went on past the collected handler";
    _VKKRN_INTERNAL_EVENT_INIT r{};
    r.uiUse = 2;
    r.uiFlag = 101;
    r.object = weak;
    r.method = onText_;
    EXPECT_EQ(VKKRN_DelEventHandlerEx(handle_, &r), 0);
    env_->DeleteWeakGlobalRef(weak);
}

} // namespace

// The natives as the VM calls them (-Xcheck:jni), over a scripted reader or the
// simulated dongle. The program links the library's objects, so there is one
// current reader, and registers their natives on a test class that declares
// the reader class's methods; libkestoreader.so itself is never loaded.
#include "java_values.h"
#include "reader_fixture.h"
#include "scripted_reader.h"

#include <com_kesto_vemlapc_model_readers_kesto_KestoReader.h>

#include <gtest/gtest.h>

#include <cstdarg>
#include <string>
#include <vector>

#define NATIVE(name) reinterpret_cast<void*>(&Java_com_kesto_vemlapc_model_readers_kesto_KestoReader_##name)

namespace kestoreader_test {
namespace {

const JNINativeMethod kNatives[] = {
    {const_cast<char*>("connect"), const_cast<char*>("()Z"), NATIVE(connect)},
    {const_cast<char*>("disconnect"), const_cast<char*>("()V"), NATIVE(disconnect)},
    {const_cast<char*>("isConnected"), const_cast<char*>("()Z"), NATIVE(isConnected)},
    {const_cast<char*>("getName"), const_cast<char*>("()Ljava/lang/String;"), NATIVE(getName)},
    {const_cast<char*>("checkVersion"), const_cast<char*>("()Ljava/lang/String;"), NATIVE(checkVersion)},
    {const_cast<char*>("getFirmwareVersion"), const_cast<char*>("()Ljava/lang/String;"),
     NATIVE(getFirmwareVersion)},
    {const_cast<char*>("selectReaderMode"), const_cast<char*>("([B)B"), NATIVE(selectReaderMode)},
    {const_cast<char*>("sendReceive"), const_cast<char*>("([B)[B"), NATIVE(sendReceive)},
    {const_cast<char*>("sendReceive14443a"), const_cast<char*>("(B[B)[B"), NATIVE(sendReceive14443a)},
    {const_cast<char*>("sendReqA"), const_cast<char*>("()[B"), NATIVE(sendReqA)},
    {const_cast<char*>("sendWupA"), const_cast<char*>("()[B"), NATIVE(sendWupA)},
    {const_cast<char*>("sendHltA"), const_cast<char*>("()[B"), NATIVE(sendHltA)},
    {const_cast<char*>("sendRats"), const_cast<char*>("()[B"), NATIVE(sendRats)},
    {const_cast<char*>("sendPps"), const_cast<char*>("()[B"), NATIVE(sendPps)},
    {const_cast<char*>("antiCollision"), const_cast<char*>("([B)[[B"), NATIVE(antiCollision)},
    {const_cast<char*>("setAnticollisionAlgo"), const_cast<char*>("([B)V"), NATIVE(setAnticollisionAlgo)},
    {const_cast<char*>("getMaxTransmitLengthInBytes"), const_cast<char*>("()I"),
     NATIVE(getMaxTransmitLengthInBytes)},
    {const_cast<char*>("getMaxReceiveLengthInBytes"), const_cast<char*>("()I"),
     NATIVE(getMaxReceiveLengthInBytes)},
    {const_cast<char*>("selectTag14443A"), const_cast<char*>("([B)I"), NATIVE(selectTag14443A)},
    {const_cast<char*>("deselectTag14443A"), const_cast<char*>("([B)I"), NATIVE(deselectTag14443A)},
};

class NativesTest : public ReaderTest {
  protected:
    void SetUp() override {
        ReaderTest::SetUp();
        env = vktesting::testJniEnv();
        ASSERT_EQ(env->PushLocalFrame(64), 0);
        type = env->FindClass("kestoreadertest/Natives");
        vktesting::expectNoJavaException(env);
        ASSERT_NE(type, nullptr);
        ASSERT_EQ(env->RegisterNatives(type, kNatives, static_cast<jint>(std::size(kNatives))), 0);
        self = env->AllocObject(type);
        vktesting::expectNoJavaException(env);
    }
    void TearDown() override {
        vktesting::expectNoJavaException(env);
        env->PopLocalFrame(nullptr);
        vemlasdknative::handle = nullptr;
        ReaderTest::TearDown();
    }

    jmethodID method(const char* name, const char* signature) {
        jmethodID id = env->GetMethodID(type, name, signature);
        vktesting::expectNoJavaException(env);
        return id;
    }
    std::optional<JavaBytes> bytes(const char* name, const char* signature, ...) {
        va_list args;
        va_start(args, signature);
        auto result = static_cast<jbyteArray>(env->CallObjectMethodV(self, method(name, signature), args));
        va_end(args);
        vktesting::expectNoJavaException(env);
        return bytesOf(env, result);
    }
    std::optional<std::vector<JavaBytes>> arrays(jbyteArray ignored) {
        auto result = static_cast<jobjectArray>(
            env->CallObjectMethod(self, method("antiCollision", "([B)[[B"), ignored));
        vktesting::expectNoJavaException(env);
        return arraysOf(env, result);
    }
    std::optional<std::string> text(const char* name) {
        auto result = static_cast<jstring>(env->CallObjectMethod(self, method(name, "()Ljava/lang/String;")));
        vktesting::expectNoJavaException(env);
        return textOf(env, result);
    }
    jint integer(const char* name, const char* signature, ...) {
        va_list args;
        va_start(args, signature);
        jint result = env->CallIntMethodV(self, method(name, signature), args);
        va_end(args);
        vktesting::expectNoJavaException(env);
        return result;
    }
    jbyte mode(jbyteArray array) {
        jbyte result = env->CallByteMethod(self, method("selectReaderMode", "([B)B"), array);
        vktesting::expectNoJavaException(env);
        return result;
    }
    bool flag(const char* name) {
        jboolean result = env->CallBooleanMethod(self, method(name, "()Z"));
        vktesting::expectNoJavaException(env);
        return result == JNI_TRUE;
    }
    void action(const char* name, const char* signature, ...) {
        va_list args;
        va_start(args, signature);
        env->CallVoidMethodV(self, method(name, signature), args);
        va_end(args);
        vktesting::expectNoJavaException(env);
    }

    JNIEnv* env = nullptr;
    jclass type = nullptr;
    jobject self = nullptr;
    ScriptedReader reader;
};

TEST_F(NativesTest, NullArraysGiveTheDefaultsAndReachNoReader) {
    vemlasdknative::handle = &reader;
    EXPECT_EQ(mode(nullptr), 3);
    EXPECT_EQ(bytes("sendReceive", "([B)[B", nullptr), JavaBytes{3});
    EXPECT_EQ(bytes("sendReceive14443a", "(B[B)[B", jbyte{0}, nullptr), JavaBytes{3});
    action("setAnticollisionAlgo", "([B)V", nullptr);
    EXPECT_EQ(integer("selectTag14443A", "([B)I", nullptr), 255);
    EXPECT_EQ(integer("deselectTag14443A", "([B)I", nullptr), 255);
    EXPECT_TRUE(reader.calls.empty());
    // antiCollision does not read its argument.
    EXPECT_EQ(arrays(nullptr), std::vector<JavaBytes>{});
    EXPECT_EQ(reader.calls, std::vector<std::string>{"Inventory"});
}

TEST_F(NativesTest, TransfersOverAScriptedReader) {
    vemlasdknative::handle = &reader;
    reader.received = {0x11, 0x22};
    reader.reportedLength = 2;
    jbyteArray tx = javaBytes(env, {0x30, 0x04});
    EXPECT_EQ(bytes("sendReceive", "([B)[B", tx), (JavaBytes{0, 0x11, 0x22}));
    EXPECT_EQ(reader.lastTx, (JavaBytes{0x30, 0x04}));
    EXPECT_EQ(bytesOf(env, tx), (JavaBytes{0x30, 0x04})); // released without copying back

    reader.status = RfReaderBase::ACK;
    EXPECT_EQ(bytes("sendReceive", "([B)[B", javaBytes(env, {0x30})), JavaBytes{3});
    EXPECT_EQ(bytes("sendReceive14443a", "(B[B)[B", jbyte{1}, javaBytes(env, {0x30})),
              (JavaBytes{0, 0x11, 0x22}));
    EXPECT_EQ(reader.lastFrameMode, 1);
    reader.status = RfReaderBase::COLLISION_DETECTED;
    EXPECT_EQ(bytes("sendReqA", "()[B"), JavaBytes{3});

    reader.status = RfReaderBase::TRANSFER_OK;
    for (int length : {501, -1}) {
        reader.reportedLength = length;
        EXPECT_EQ(bytes("sendWupA", "()[B"), JavaBytes{3}) << length;
    }
    reader.reportedLength = -2; // the whole receive buffer
    EXPECT_EQ(bytes("sendHltA", "()[B")->size(), 501u);

    reader.reportedLength = 0;
    for (int maximum : {500, 260}) {
        reader.maxReceive = maximum;
        EXPECT_EQ(bytes("sendRats", "()[B"), JavaBytes{0});
        EXPECT_EQ(reader.lastTx, (JavaBytes{0xE0, 0x90})) << maximum;
        EXPECT_EQ(bytes("sendPps", "()[B"), JavaBytes{0});
        EXPECT_EQ(reader.lastTx, (JavaBytes{0xD0, 0x11, 0x00}));
    }
    EXPECT_EQ(integer("getMaxReceiveLengthInBytes", "()I"), 260);
    EXPECT_EQ(integer("getMaxTransmitLengthInBytes", "()I"), 500);
}

TEST_F(NativesTest, ShortAndLongArrays) {
    vemlasdknative::handle = &reader;
    reader.modeResult = 6;
    const std::pair<JavaBytes, JavaBytes> modes[] = {
        {{}, {0, 0, 0, 0}}, {{2}, {2, 0, 0, 0}}, {{1, 2, 3, 4, 5, 6, 7, 8, 9}, {1, 2, 3, 4}}};
    for (const auto& [bytesIn, passed] : modes) {
        EXPECT_EQ(mode(javaBytes(env, bytesIn)), 6);
        EXPECT_EQ(reader.lastMode, passed);
    }
    const std::pair<JavaBytes, JavaBytes> algos[] = {
        {{}, {0, 0}}, {{1}, {1, 0}}, {{1, 2, 3, 4, 5, 6, 7, 8, 9}, {1, 2}}};
    for (const auto& [algo, passed] : algos) {
        action("setAnticollisionAlgo", "([B)V", javaBytes(env, algo));
        EXPECT_EQ(reader.lastAlgo, passed);
    }
    reader.selectResult = 7;
    EXPECT_EQ(integer("selectTag14443A", "([B)I", javaBytes(env, {1, 2, 3, 4, 5, 6, 7})), 7);
    EXPECT_EQ(reader.lastUidLength, 7);
    EXPECT_EQ(integer("deselectTag14443A", "([B)I", javaBytes(env, {})), 7);
}

TEST_F(NativesTest, AntiCollisionGivesByteArraysOfTheUidLengths) {
    vemlasdknative::handle = &reader;
    EXPECT_EQ(arrays(nullptr), std::vector<JavaBytes>{});
    // More than the 32 local references -Xcheck:jni lets a native hold.
    for (int i = 0; i < 40; ++i) {
        JavaBytes uid(static_cast<std::size_t>(i % 3 == 0 ? 4 : i % 3 == 1 ? 7 : 10));
        for (std::size_t k = 0; k < uid.size(); ++k)
            uid[k] = static_cast<std::uint8_t>(i * 16 + static_cast<int>(k));
        reader.tags.push_back(uid);
    }
    auto found = static_cast<jobjectArray>(
        env->CallObjectMethod(self, method("antiCollision", "([B)[[B"), javaBytes(env, {1, 2})));
    vktesting::expectNoJavaException(env);
    ASSERT_NE(found, nullptr);
    jclass outerType = env->FindClass("[[B");
    EXPECT_TRUE(env->IsInstanceOf(found, outerType));
    EXPECT_EQ(arraysOf(env, found), reader.tags);
}

TEST_F(NativesTest, ReaderLifeOverTheSimulatedDongle) {
    EXPECT_EQ(text("checkVersion"), "Cannot get version");
    EXPECT_EQ(text("getName"), "");
    EXPECT_FALSE(flag("connect"));
    plugDongle();
    ASSERT_TRUE(flag("connect"));
    EXPECT_TRUE(flag("isConnected"));
    EXPECT_EQ(text("getName"), "Qm30");
    EXPECT_EQ(text("checkVersion"), "Qm30 firmware version mismatch: current=030605, expected>=030606");
    dongle->firmware.setRevision({0x03, 0x06, 0x06});
    EXPECT_EQ(text("checkVersion"), "");
    EXPECT_EQ(text("getFirmwareVersion"), "030606");
    EXPECT_EQ(mode(javaBytes(env, {2, 1, 1, 0})), 1);
    EXPECT_EQ(dongle->firmware.selectedProtocol(), (std::vector<std::uint8_t>{0x02, 0x50, 0x02, 0x80}));
    EXPECT_EQ(bytes("sendReqA", "()[B"), JavaBytes{3});
    action("disconnect", "()V");
    EXPECT_FALSE(flag("isConnected"));
    EXPECT_EQ(hidsim::counters().liveHandles, 0);
    EXPECT_EQ(integer("getMaxReceiveLengthInBytes", "()I"), 0);
}

} // namespace
} // namespace kestoreader_test

// The natives as the VM calls them (-Xcheck:jni), over a scripted reader or the
// simulated dongle. The program links the library's objects, so there is one
// current reader, and registers their natives on a test class that declares
// the reader class's methods; libkestoreader.so itself is never loaded.
#include "java_values.h"
#include "reader_fixture.h"
#include "scripted_reader.h"

#include <com_kesto_vemlapc_model_readers_kesto_KestoReader.h>

#include <gtest/gtest.h>

#include <memory>
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
        java = std::make_unique<JavaReader>(env, "kestoreadertest/Natives");
        ASSERT_TRUE(java->ready());
        ASSERT_EQ(env->RegisterNatives(java->type(), kNatives, static_cast<jint>(std::size(kNatives))), 0);
    }
    void TearDown() override {
        vktesting::expectNoJavaException(env);
        java.reset();
        env->PopLocalFrame(nullptr);
        vemlasdknative::handle = nullptr;
        ReaderTest::TearDown();
    }

    JNIEnv* env = nullptr;
    std::unique_ptr<JavaReader> java;
    ScriptedReader reader;
};

TEST_F(NativesTest, NullArraysGiveTheDefaultsAndReachNoReader) {
    vemlasdknative::handle = &reader;
    EXPECT_EQ(java->selectReaderMode(nullptr), 3);
    EXPECT_EQ(java->bytes("sendReceive", "([B)[B", nullptr), JavaBytes{3});
    EXPECT_EQ(java->bytes("sendReceive14443a", "(B[B)[B", jbyte{0}, nullptr), JavaBytes{3});
    java->action("setAnticollisionAlgo", "([B)V", nullptr);
    EXPECT_EQ(java->integer("selectTag14443A", "([B)I", nullptr), 255);
    EXPECT_EQ(java->integer("deselectTag14443A", "([B)I", nullptr), 255);
    EXPECT_TRUE(reader.calls.empty());
    // antiCollision does not read its argument.
    EXPECT_EQ(java->antiCollision(nullptr), std::vector<JavaBytes>{});
    EXPECT_EQ(reader.calls, std::vector<std::string>{"Inventory"});
}

TEST_F(NativesTest, TransfersOverAScriptedReader) {
    vemlasdknative::handle = &reader;
    reader.received = {0x11, 0x22};
    reader.reportedLength = 2;
    jbyteArray tx = javaBytes(env, {0x30, 0x04});
    EXPECT_EQ(java->bytes("sendReceive", "([B)[B", tx), (JavaBytes{0, 0x11, 0x22}));
    EXPECT_EQ(reader.lastTx, (JavaBytes{0x30, 0x04}));
    EXPECT_EQ(bytesOf(env, tx), (JavaBytes{0x30, 0x04})); // released without copying back

    reader.status = RfReaderBase::ACK;
    EXPECT_EQ(java->bytes("sendReceive", "([B)[B", javaBytes(env, {0x30})), JavaBytes{3});
    EXPECT_EQ(java->bytes("sendReceive14443a", "(B[B)[B", jbyte{1}, javaBytes(env, {0x30})),
              (JavaBytes{0, 0x11, 0x22}));
    EXPECT_EQ(reader.lastFrameMode, 1);
    reader.status = RfReaderBase::COLLISION_DETECTED;
    EXPECT_EQ(java->bytes("sendReqA", "()[B"), JavaBytes{3});

    reader.status = RfReaderBase::TRANSFER_OK;
    for (int length : {501, -1}) {
        reader.reportedLength = length;
        EXPECT_EQ(java->bytes("sendWupA", "()[B"), JavaBytes{3}) << length;
    }
    reader.reportedLength = -2; // the whole receive buffer
    EXPECT_EQ(java->bytes("sendHltA", "()[B")->size(), 501u);

    reader.reportedLength = 0;
    for (int maximum : {500, 260}) {
        reader.maxReceive = maximum;
        EXPECT_EQ(java->bytes("sendRats", "()[B"), JavaBytes{0});
        EXPECT_EQ(reader.lastTx, (JavaBytes{0xE0, 0x90})) << maximum;
        EXPECT_EQ(java->bytes("sendPps", "()[B"), JavaBytes{0});
        EXPECT_EQ(reader.lastTx, (JavaBytes{0xD0, 0x11, 0x00}));
    }
    EXPECT_EQ(java->integer("getMaxReceiveLengthInBytes", "()I"), 260);
    EXPECT_EQ(java->integer("getMaxTransmitLengthInBytes", "()I"), 500);
}

TEST_F(NativesTest, ShortAndLongArrays) {
    vemlasdknative::handle = &reader;
    reader.modeResult = 6;
    const std::pair<JavaBytes, JavaBytes> modes[] = {
        {{}, {0, 0, 0, 0}}, {{2}, {2, 0, 0, 0}}, {{1, 2, 3, 4, 5, 6, 7, 8, 9}, {1, 2, 3, 4}}};
    for (const auto& [bytesIn, passed] : modes) {
        EXPECT_EQ(java->selectReaderMode(javaBytes(env, bytesIn)), 6);
        EXPECT_EQ(reader.lastMode, passed);
    }
    const std::pair<JavaBytes, JavaBytes> algos[] = {
        {{}, {0, 0}}, {{1}, {1, 0}}, {{1, 2, 3, 4, 5, 6, 7, 8, 9}, {1, 2}}};
    for (const auto& [algo, passed] : algos) {
        java->action("setAnticollisionAlgo", "([B)V", javaBytes(env, algo));
        EXPECT_EQ(reader.lastAlgo, passed);
    }
    reader.selectResult = 7;
    EXPECT_EQ(java->integer("selectTag14443A", "([B)I", javaBytes(env, {1, 2, 3, 4, 5, 6, 7})), 7);
    EXPECT_EQ(reader.lastUidLength, 7);
    EXPECT_EQ(java->integer("deselectTag14443A", "([B)I", javaBytes(env, {})), 7);
}

TEST_F(NativesTest, AntiCollisionGivesByteArraysOfTheUidLengths) {
    vemlasdknative::handle = &reader;
    EXPECT_EQ(java->antiCollision(nullptr), std::vector<JavaBytes>{});
    // More than the 32 local references -Xcheck:jni lets a native hold.
    for (int i = 0; i < 40; ++i) {
        JavaBytes uid(static_cast<std::size_t>(i % 3 == 0 ? 4 : i % 3 == 1 ? 7 : 10));
        for (std::size_t k = 0; k < uid.size(); ++k)
            uid[k] = static_cast<std::uint8_t>(i * 16 + static_cast<int>(k));
        reader.tags.push_back(uid);
    }
    EXPECT_EQ(java->antiCollision(javaBytes(env, {1, 2})), reader.tags);
}

TEST_F(NativesTest, ReaderLifeOverTheSimulatedDongle) {
    EXPECT_EQ(java->text("checkVersion"), "Cannot get version");
    EXPECT_EQ(java->text("getName"), "");
    EXPECT_FALSE(java->flag("connect"));
    plugDongle();
    ASSERT_TRUE(java->flag("connect"));
    EXPECT_TRUE(java->flag("isConnected"));
    EXPECT_EQ(java->text("getName"), "Qm30");
    EXPECT_EQ(java->text("checkVersion"), "Qm30 firmware version mismatch: current=030605, expected>=030606");
    dongle->firmware.setRevision({0x03, 0x06, 0x06});
    EXPECT_EQ(java->text("checkVersion"), "");
    EXPECT_EQ(java->text("getFirmwareVersion"), "030606");
    EXPECT_EQ(java->selectReaderMode(javaBytes(env, {2, 1, 1, 0})), 1);
    EXPECT_EQ(dongle->firmware.selectedProtocol(), (std::vector<std::uint8_t>{0x02, 0x50, 0x02, 0x80}));
    EXPECT_EQ(java->bytes("sendReqA", "()[B"), JavaBytes{3});
    java->action("disconnect", "()V");
    EXPECT_FALSE(java->flag("isConnected"));
    EXPECT_EQ(hidsim::counters().liveHandles, 0);
    EXPECT_EQ(java->integer("getMaxReceiveLengthInBytes", "()I"), 0);
}

} // namespace
} // namespace kestoreader_test

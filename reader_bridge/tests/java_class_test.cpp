// The Java reader class end to end: the class loads the simulated build by name
// (first on the library path, beside the libhidsim.so this program links, so
// the process holds one simulator), and the test plugs the dongle in.
#include "java_values.h"

#include <hidsim/hidsim.h>
#include <qm30sim/qm30_model.h>
#include <vktesting/temp_dir.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace kestoreader_test {
namespace {

class JavaClassTest : public vktesting::TempDirTest {
  protected:
    void SetUp() override {
        TempDirTest::SetUp();
        hidsim::reset();
        env = vktesting::testJniEnv();
        ASSERT_EQ(env->PushLocalFrame(64), 0);
        reader = std::make_unique<JavaReader>(env, "com/kesto/vemlapc/model/readers/kesto/KestoReader");
        ASSERT_TRUE(reader->ready());
    }
    void TearDown() override {
        if (reader && reader->ready()) reader->action("disconnect", "()V");
        reader.reset();
        env->PopLocalFrame(nullptr);
        EXPECT_EQ(hidsim::counters().liveHandles, 0);
        std::vector<std::string> violations = hidsim::violations();
        EXPECT_TRUE(violations.empty()) << violations.front();
        EXPECT_TRUE(std::filesystem::is_empty(workDir()));
        TempDirTest::TearDown();
    }

    void plug() {
        model = std::make_shared<qm30sim::Qm30Model>();
        device = qm30sim::plugQm30(model);
    }

    JNIEnv* env = nullptr;
    std::unique_ptr<JavaReader> reader;
    std::shared_ptr<qm30sim::Qm30Model> model;
    int device = 0;
};

TEST_F(JavaClassTest, WithoutDongleNothingConnectsAndTheDefaultsHold) {
    expectNoReaderDefaults(env, *reader);
    EXPECT_TRUE(hidsim::calls().empty());
    EXPECT_FALSE(reader->flag("connect"));
    EXPECT_EQ(hidsim::counters().openAttempts, 11);
    expectNoReaderDefaults(env, *reader);
}

TEST_F(JavaClassTest, DongleFromConnectToDisconnect) {
    plug();
    ASSERT_TRUE(reader->flag("connect"));
    EXPECT_TRUE(reader->flag("isConnected"));
    EXPECT_EQ(reader->text("getName"), "Qm30");
    EXPECT_EQ(reader->text("checkVersion"),
              "Qm30 firmware version mismatch: current=030605, expected>=030606");
    model->setRevision({0x03, 0x06, 0x06});
    EXPECT_EQ(reader->text("checkVersion"), "");
    EXPECT_EQ(reader->text("getFirmwareVersion"), "030606");
    EXPECT_EQ(reader->integer("getMaxTransmitLengthInBytes", "()I"), 500);
    EXPECT_EQ(reader->integer("getMaxReceiveLengthInBytes", "()I"), 500);

    // Modes, also from short and null arrays.
    const std::pair<JavaBytes, std::vector<std::uint8_t>> modes[] = {
        {{2, 1, 1, 0}, {0x02, 0x50, 0x02, 0x80}},
        {{1, 1, 0, 1}, {0x01, 0x1D}},
        {{2}, {0x02, 0x00, 0x02, 0x80}},
        {{}, {0x00, 0x00}},
    };
    for (const auto& [mode, selected] : modes) {
        EXPECT_EQ(reader->selectReaderMode(javaBytes(env, mode)), 1);
        EXPECT_EQ(model->selectedProtocol(), selected);
    }
    hidsim::clearCalls();
    EXPECT_EQ(reader->selectReaderMode(nullptr), 3);
    EXPECT_EQ(reader->bytes("sendReceive", "([B)[B", nullptr), JavaBytes{3});
    EXPECT_EQ(reader->bytes("sendReceive14443a", "(B[B)[B", jbyte{0}, nullptr), JavaBytes{3});
    EXPECT_EQ(reader->integer("selectTag14443A", "([B)I", nullptr), 255);
    EXPECT_EQ(reader->integer("deselectTag14443A", "([B)I", nullptr), 255);
    reader->action("setAnticollisionAlgo", "([B)V", nullptr);
    EXPECT_TRUE(hidsim::traffic(device).empty());
    for (const JavaBytes& algo : std::vector<JavaBytes>{{1, 5}, {1}, {}, {0, 0, 0}})
        reader->action("setAnticollisionAlgo", "([B)V", javaBytes(env, algo));

    // The dongle gone: the reader stays current, its commands fail.
    hidsim::unplug(device);
    EXPECT_EQ(reader->selectReaderMode(javaBytes(env, {2, 0, 0, 0})), 0);
    EXPECT_TRUE(reader->flag("connect"));
    EXPECT_TRUE(reader->flag("isConnected"));
    reader->action("disconnect", "()V");
    EXPECT_EQ(hidsim::counters().liveHandles, 0);
    expectNoReaderDefaults(env, *reader);

    plug();
    EXPECT_TRUE(reader->flag("connect"));
    EXPECT_EQ(reader->text("getName"), "Qm30");
}

} // namespace
} // namespace kestoreader_test

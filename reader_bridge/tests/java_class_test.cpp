// The Java reader class end to end: the class loads the simulated build by name
// (first on the library path, beside the libhidsim.so this program links, so
// the process holds one simulator), and the test plugs the dongle in.
#include "java_values.h"

#include <hidsim/hidsim.h>
#include <qm30sim/qm30_model.h>
#include <rfsim/iso14443a_tag.h>
#include <vktesting/temp_dir.h>

#include <gtest/gtest.h>

#include <algorithm>
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

    rfsim::Iso14443aTag& place(JavaBytes uid) {
        rfsim::Iso14443aTag::Config config;
        config.uid = std::move(uid);
        config.sak = 0x20;
        return model->field().add(std::make_unique<rfsim::Iso14443aTag>(config));
    }

    // Whether any frame went out in chunks through the controller.
    bool chunked() const {
        const std::vector<hidsim::Traffic> traffic = hidsim::traffic(device);
        return std::any_of(traffic.begin(), traffic.end(), [](const hidsim::Traffic& t) {
            return t.out && t.bytes.size() > 1 && t.bytes[0] == 2 && t.bytes[1] == 0xA6;
        });
    }

    // The ISO 14443-A flows from Java over tags in the dongle's field.
    void fieldFlows();

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

void JavaClassTest::fieldFlows() {
    const JavaBytes single{0x11, 0x22, 0x33, 0x44};
    const JavaBytes dbl{0x04, 0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC};
    const JavaBytes dblTwin{0x04, 0x12, 0x34, 0x57, 0x78, 0x9A, 0xBC};
    ASSERT_EQ(reader->selectReaderMode(javaBytes(env, {2, 0, 0, 0})), 1);
    const rfsim::Iso14443aTag& first = place(single);
    place(dbl);
    const rfsim::Iso14443aTag& twin = place(dblTwin);

    std::optional<std::vector<JavaBytes>> uids = reader->antiCollision(nullptr);
    ASSERT_TRUE(uids);
    std::sort(uids->begin(), uids->end());
    EXPECT_EQ(*uids, (std::vector<JavaBytes>{dbl, dblTwin, single}));
    EXPECT_EQ(first.state(), rfsim::Iso14443aTag::State::Halt);
    EXPECT_EQ(reader->antiCollision(nullptr), std::vector<JavaBytes>{});
    EXPECT_EQ(reader->bytes("sendReqA", "()[B"), JavaBytes{3}); // all halted

    // Alone in the field (WUPA must not collide), a known tag is selected,
    // talked to in ISO 14443-4 and released.
    model->field().remove(first);
    model->field().remove(twin);
    EXPECT_EQ(reader->integer("selectTag14443A", "([B)I", javaBytes(env, dbl)), 0);
    EXPECT_EQ(reader->bytes("sendPps", "()[B"), (JavaBytes{0, 0xD0}));
    EXPECT_EQ(reader->integer("deselectTag14443A", "([B)I", javaBytes(env, dbl)), 0);
    EXPECT_EQ(reader->bytes("sendReqA", "()[B"), JavaBytes{3});
    // WUPA in frame mode 1, with its own flag, wakes it.
    EXPECT_EQ(reader->bytes("sendReceive14443a", "(B[B)[B", jbyte{1}, javaBytes(env, {0x52, 0x07})),
              (JavaBytes{0, 0x44, 0x00}));
    EXPECT_EQ(reader->integer("selectTag14443A", "([B)I", javaBytes(env, {9, 9, 9, 9})), 97);

    // Scripted answers: data, an acknowledge, failures.
    model->queueAnswer({0x80, {1, 2, 3, 0xC1, 0xC2, 0, 0, 0}});
    EXPECT_EQ(reader->bytes("sendReceive", "([B)[B", javaBytes(env, {0x30, 0x04})), (JavaBytes{0, 1, 2, 3}));
    model->queueAnswer({0x90, {0x0A}, 4});
    EXPECT_EQ(reader->bytes("sendReceive14443a", "(B[B)[B", jbyte{2}, javaBytes(env, {0xA2})),
              (JavaBytes{0, 0x0A}));
    model->queueAnswer({0x80, {1, 0xC1, 0xC2, 0x80, 0, 3}});
    EXPECT_EQ(reader->bytes("sendReceive", "([B)[B", javaBytes(env, {0x30, 0x04})), JavaBytes{3});
    model->queueAnswer({0x87, {}});
    EXPECT_EQ(reader->bytes("sendRats", "()[B"), JavaBytes{3});
    EXPECT_EQ(reader->bytes("sendReceive", "([B)[B", javaBytes(env, JavaBytes(501, 0))), JavaBytes{3});
    EXPECT_TRUE(model->violations().empty());
}

TEST_F(JavaClassTest, FieldFlowsInChunks) {
    plug();
    ASSERT_TRUE(reader->flag("connect"));
    fieldFlows();
    EXPECT_TRUE(chunked());
}

TEST_F(JavaClassTest, FieldFlowsInOneReportEach) {
    plug();
    model->setRevision({0x03, 0x06, 0x03});
    ASSERT_TRUE(reader->flag("connect"));
    EXPECT_EQ(reader->text("checkVersion"),
              "Qm30 firmware version mismatch: current=030603, expected>=030606");
    fieldFlows();
    EXPECT_FALSE(chunked());
}

} // namespace
} // namespace kestoreader_test

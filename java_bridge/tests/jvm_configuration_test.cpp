// The configuration and text natives from a real JVM against the simulated
// reader: blocks written and saved through one module, read through another;
// a configuration carried by XML file from one reader to another; the last
// error and status and their texts.
#include "core_calls.h"
#include "simulated_module.h"

#include <vktesting/test_jvm.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using vkbridge::B;
using vkbridge::callReader;
using vkbridge::I;
using vkbridge::JavaString;
using vkbridge::L;
using vkbridge::Outcome;
using vkbridge::Z;

constexpr int kImageSize = 64 * 14;

class ConfigurationJvmTest : public vkbridge::SimulatedModuleTest {
  protected:
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove(file_, ignored);
        SimulatedModuleTest::TearDown();
    }

    Outcome flagNative(const char* name, int module, bool flag) {
        return callReader(env, name, "(IZ)I", {I(module), Z(flag)});
    }
    Outcome fileNative(const char* name, int module, const std::string& file) {
        JavaString text(env, file.c_str());
        return callReader(env, name, "(ILjava/lang/String;)I", {I(module), L(text)});
    }
    static std::vector<unsigned char> image(int module) {
        std::vector<unsigned char> bytes(kImageSize);
        EXPECT_EQ(coreModule(module)->GetData(1, bytes.data(), 0, kImageSize), 0);
        return bytes;
    }
    static std::string deviceName(int module) {
        std::string name;
        EXPECT_EQ(coreModule(module)->GetConfigPara("DeviceName", name, true), 0);
        return name;
    }

    const std::string file_ =
        (std::filesystem::temp_directory_path() / ("nubokrn4j_cfg_" + std::to_string(::getpid()) + ".xml"))
            .string();
};

TEST_F(ConfigurationJvmTest, BlocksSavedThroughOneModuleAreReadThroughAnother) {
    ASSERT_EQ(core()->SetConfigPara("DeviceName", std::string("Gate 7"), true), 0);
    Outcome o = flagNative("WriteCompleteConfiguration", handle, true);
    EXPECT_FALSE(o.thrown);
    ASSERT_EQ(o.value.i, 0);
    const int second = addModule(true);
    ASSERT_GT(second, 0);
    // Reset restores the saved blocks and reads them into the module.
    o = flagNative("ResetCompleteConfiguration", second, true);
    EXPECT_FALSE(o.thrown);
    ASSERT_EQ(o.value.i, 0);
    EXPECT_EQ(deviceName(second), "Gate 7");
    EXPECT_EQ(callReader(env, "GetLastError", "(I)I", {I(second)}).value.i, 0);
    EXPECT_EQ(callReader(env, "GetLastStatus", "(I)I", {I(second)}).value.i, 0);
}

TEST_F(ConfigurationJvmTest, XmlFileCarriesTheConfigurationToAnotherReader) {
    ASSERT_EQ(core()->SetConfigPara("DeviceName", std::string("Dock 3"), true), 0);
    ASSERT_EQ(core()->SetConfigPara("TcpPort", 10001u, true), 0);
    ASSERT_EQ(flagNative("ApplyConfiguration", handle, false).value.i, 0);
    Outcome o = fileNative("TransferReaderCfgToXmlFile", handle, file_);
    EXPECT_FALSE(o.thrown);
    ASSERT_EQ(o.value.i, 0);

    krnsim::Simulator other;
    const krnsim::TcpEndpoint otherEndpoint = other.listenTcp();
    const int module = addModule(false);
    ASSERT_EQ(connectTcp(module, otherEndpoint.port).value.i, 0);
    o = fileNative("TransferXmlFileToReaderCfg", module, file_);
    EXPECT_FALSE(o.thrown);
    ASSERT_EQ(o.value.i, 0);
    // What the other reader now holds, read back from it.
    ASSERT_EQ(flagNative("ReadCompleteConfiguration", module, true).value.i, 0);
    EXPECT_EQ(image(module), image(handle));
    EXPECT_EQ(deviceName(module), "Dock 3");
    callReader(env, "Destroy", "(I)I", {I(module)}); // before its simulator goes
}

TEST_F(ConfigurationJvmTest, SerializeStoresAndLoadsTheModulesImage) {
    ASSERT_EQ(core()->SetConfigPara("DeviceName", std::string("Before"), true), 0);
    JavaString text(env, file_.c_str());
    ASSERT_EQ(callReader(env, "Serialize", "(IZLjava/lang/String;)I", {I(handle), Z(true), L(text)}).value.i,
              0);
    ASSERT_EQ(core()->SetConfigPara("DeviceName", std::string("After"), true), 0);
    ASSERT_EQ(callReader(env, "Serialize", "(IZLjava/lang/String;)I", {I(handle), Z(false), L(text)}).value.i,
              0);
    EXPECT_EQ(deviceName(handle), "Before");
    // A file that is not there: the core's code, thrown.
    JavaString missing(env, (file_ + ".none").c_str());
    const Outcome o =
        callReader(env, "Serialize", "(IZLjava/lang/String;)I", {I(handle), Z(false), L(missing)});
    ASSERT_TRUE(o.thrown);
    EXPECT_EQ(o.thrown->className, "de.varek.VkdmException");
    EXPECT_EQ(o.thrown->code, -114);
}

TEST_F(ConfigurationJvmTest, FailuresOfTheFourTransfersAreReturnedAndKeptAsLastError) {
    const int unconnected = addModule(false);
    for (const char* name : {"ReadCompleteConfiguration", "WriteCompleteConfiguration",
                             "ResetCompleteConfiguration", "ApplyConfiguration"}) {
        const Outcome o = flagNative(name, unconnected, true);
        EXPECT_FALSE(o.thrown) << name;
        EXPECT_EQ(o.value.i, -110) << name;
        EXPECT_EQ(callReader(env, "GetLastError", "(I)I", {I(unconnected)}).value.i, -110) << name;
    }
}

TEST_F(ConfigurationJvmTest, TextsOfKnownCodesAndNullForUnknownOnes) {
    Outcome o = callReader(env, "GetErrorText", "(II)Ljava/lang/String;", {I(handle), I(-110)});
    EXPECT_FALSE(o.thrown);
    char text[256] = {};
    ASSERT_EQ(core()->GetErrorText(text, -110), 0);
    EXPECT_EQ(o.text, text);
    o = callReader(env, "GetErrorText", "(II)Ljava/lang/String;", {I(handle), I(-555)});
    EXPECT_FALSE(o.thrown);
    EXPECT_TRUE(o.isNull);

    o = callReader(env, "GetStatusText", "(IB)Ljava/lang/String;", {I(handle), B(0)});
    EXPECT_FALSE(o.thrown);
    EXPECT_FALSE(o.isNull);
    EXPECT_FALSE(o.text.empty());
    ASSERT_NE(core()->GetStatusText(text, 0xFE), 0);
    o = callReader(env, "GetStatusText", "(IB)Ljava/lang/String;", {I(handle), B(static_cast<jbyte>(0xFE))});
    EXPECT_FALSE(o.thrown);
    EXPECT_TRUE(o.isNull);
}

} // namespace

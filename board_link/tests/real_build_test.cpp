// The shipped board libraries, loaded by name in a process without any
// simulator: no board here.
#include <KXx0EVALOComm.h>
#include <vkplatform/kernel_services.h>
#include <vktesting/temp_dir.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

using vkplatform::kernel::GetProcAddress;
using vkplatform::kernel::HMODULE;
using vkplatform::kernel::LoadLibraryA;

class RealBuildTest : public ::testing::TestWithParam<const char*> {};
INSTANTIATE_TEST_SUITE_P(Libraries, RealBuildTest, ::testing::Values("KX10EVALOComm", "KX20EVALOComm"),
                         [](const auto& info) { return std::string(info.param); });

TEST_P(RealBuildTest, LoadsAnswersAndUnloads) {
    // The host keeps hidapi loaded, so its process-wide state (which nothing
    // ever releases) stays reachable after the board library has gone.
    void* hidapi = ::dlopen("libhidapi-hidraw.so.0", RTLD_NOW | RTLD_GLOBAL);
    ASSERT_NE(hidapi, nullptr) << ::dlerror();
    vktesting::TempDir config;
    ::setenv("XDG_CONFIG_HOME", config.path().c_str(), 1);
    const std::string name = GetParam();
    HMODULE module = LoadLibraryA((name + ".dll").c_str());
    ASSERT_NE(module, nullptr) << ::dlerror();
    auto getBoard = reinterpret_cast<decltype(&GetKX10)>(GetProcAddress(module, "_GetKX10@0"));
    auto decode = reinterpret_cast<decltype(&decodeFWError)>(GetProcAddress(module, "_decodeFWError@8"));
    auto version = reinterpret_cast<decltype(&getVersion)>(GetProcAddress(module, "_getVersion@8"));
    ASSERT_NE(getBoard, nullptr);
    ASSERT_NE(decode, nullptr);
    ASSERT_NE(version, nullptr);
    EXPECT_EQ(getBoard(), nullptr);
    EXPECT_STREQ(decode(nullptr, CRCerror), "CrcError");
    char product[50];
    char productVersion[10];
    EXPECT_EQ(version(product, productVersion), NoError);
    EXPECT_EQ(std::string(product), name);
    ASSERT_EQ(::dlclose(module), 0);
    EXPECT_EQ(::dlopen(("lib" + name + ".so").c_str(), RTLD_NOW | RTLD_NOLOAD), nullptr);
}

} // namespace

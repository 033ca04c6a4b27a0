// The module loader: Windows module and procedure names over dlopen and dlsym,
// against two tiny modules, one exporting a bare name and linking the other.
#include <vkplatform/kernel_services.h>

#include <gtest/gtest.h>

#include <string>

namespace {

using vkplatform::kernel::FARPROC;
using vkplatform::kernel::GetProcAddress;
using vkplatform::kernel::HMODULE;
using vkplatform::kernel::LoadLibraryA;

const std::string kDir = LOADER_TEST_DIR;

TEST(Loader, LoadsAModuleByItsWindowsNameOnce) {
    HMODULE module = LoadLibraryA((kDir + "/LoaderTop.dll").c_str());
    ASSERT_NE(module, nullptr);
    // Any case of ".dll"; any other name as given; every load the same module.
    EXPECT_EQ(LoadLibraryA((kDir + "/LoaderTop.DLL").c_str()), module);
    EXPECT_EQ(LoadLibraryA((kDir + "/libLoaderTop.so").c_str()), module);
    EXPECT_EQ(LoadLibraryA((kDir + "/LoaderTop").c_str()), nullptr);
    EXPECT_EQ(LoadLibraryA((kDir + "/NoSuchModule.dll").c_str()), nullptr);
    EXPECT_EQ(LoadLibraryA(nullptr), nullptr);
}

TEST(Loader, FindsOnlyNamesTheModuleItselfDefines) {
    HMODULE module = LoadLibraryA((kDir + "/LoaderTop.dll").c_str());
    ASSERT_NE(module, nullptr);
    auto bare = reinterpret_cast<int (*)(int)>(GetProcAddress(module, "_bareName@4"));
    ASSERT_NE(bare, nullptr);
    EXPECT_EQ(bare(2), 3);
    EXPECT_EQ(GetProcAddress(module, "bareName"), reinterpret_cast<FARPROC>(bare));
    EXPECT_EQ(GetProcAddress(module, "_bareName@0"), reinterpret_cast<FARPROC>(bare)); // "@N" is only a key
    for (const char* name : {"bareName@4", "_bareName@", "_bareName@x", "_bareName", "__bareName@4"})
        EXPECT_EQ(GetProcAddress(module, name), nullptr) << name;

    // The dependency's name: dlsym on the handle finds it, the loader does not.
    EXPECT_NE(::dlsym(module, "loaderBaseOnly"), nullptr);
    EXPECT_EQ(GetProcAddress(module, "loaderBaseOnly"), nullptr);
    EXPECT_EQ(GetProcAddress(module, "_loaderBaseOnly@0"), nullptr);
    EXPECT_EQ(GetProcAddress(module, nullptr), nullptr);
    EXPECT_EQ(GetProcAddress(nullptr, "_bareName@4"), nullptr);
}

} // namespace

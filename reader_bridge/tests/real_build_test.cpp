// The shipped build against Debian's hidapi, in a program that links no
// simulator: it loads by its file name, binds by the mangled names and answers
// without a dongle.
#include "library_api.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

namespace kestoreader_test {
namespace {

TEST(RealBuild, LoadsBindsAndAnswersWithoutADongle) {
    LoadedLibrary library("libkestoreader.so");
    ASSERT_TRUE(library.loaded());
    loadCheckedApi(library);
    // It brought the real hidapi (hidraw backend) with it.
    void* hidapi = dlopen("libhidapi-hidraw.so.0", RTLD_NOW | RTLD_NOLOAD);
    EXPECT_NE(hidapi, nullptr);
    if (hidapi != nullptr) dlclose(hidapi);
}

} // namespace
} // namespace kestoreader_test

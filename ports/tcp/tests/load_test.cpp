// The library loads by its unversioned name, binds every export and writes its
// version without touching the byte after it.
#include "tcp_api.h"

#include <vkcommon/port_function_id.h>

#include <dlfcn.h>

#include <cstring>

namespace {

using vktcp_test::tcp;

TEST(Load, EveryIdNamesAnExport) {
    void* library = ::dlopen(std::string(vk::kTcpLibraryFile).c_str(), RTLD_NOW | RTLD_GLOBAL);
    ASSERT_NE(library, nullptr) << ::dlerror();
    for (const vk::PortFunctionRow& row : vk::kTcpPortFunctions)
        EXPECT_NE(::dlsym(library, std::string(row.name).c_str()), nullptr) << row.name;
    EXPECT_NE(::dlsym(library, "VKTCP_GetSocketState"), nullptr);
    EXPECT_NE(::dlsym(library, "g_LibVkTcpDrvHnd"), nullptr);
    EXPECT_NE(::dlsym(library, "g_cVktcpErrorText"), nullptr);
    ::dlclose(library);
}

TEST(Load, VersionTextLeavesTheNextByteIntact) {
    char buffer[12];
    std::memset(buffer, 0x5A, sizeof buffer);
    tcp().GetDLLVersion(buffer);
    EXPECT_STREQ(buffer, "03.00.00");
    EXPECT_EQ(buffer[9], 0x5A);
    tcp().GetDLLVersion(nullptr); // refused, no crash
}

} // namespace

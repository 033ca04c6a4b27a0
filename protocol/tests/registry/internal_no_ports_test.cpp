// Without any port library on the library path.
#include "internal_fixture.h"

#include <dlfcn.h>

namespace {

using NoPorts = InternalTest;

TEST_F(NoPorts, ReadersAreMadeOnEveryPortType) {
    for (int portHandle : {0, 1, 0x10000001, 0x20000001, 0x30000001, VKKRN_PLUGIN}) {
        int handle = 0;
        auto reader = newReader(portHandle, &handle);
        ASSERT_TRUE(reader) << portHandle;
        EXPECT_EQ(libraryLastError(), 0);
    }
    EXPECT_EQ(::dlopen("libvktcp.so", RTLD_NOW | RTLD_NOLOAD), nullptr);
}

TEST_F(NoPorts, PortCodesGetAnEmptyText) {
    for (int code : {-1000, -1030, -1099, -1100, -1199, -1200, -1299}) {
        char text[256];
        std::memset(text, 'x', sizeof text);
        EXPECT_EQ(VKKRN_GetErrorText(code, text), 0) << code;
        EXPECT_STREQ(text, "") << code;
    }
}

TEST_F(NoPorts, PortParametersCannotBeBound) {
    for (int portHandle : {1, 0x10000001, 0x20000001}) {
        int handle = 0;
        auto reader = newReader(portHandle, &handle);
        char key[] = "Timeout";
        char value[128] = {};
        EXPECT_EQ(VKKRN_PI_GetPortPara(handle, key, value), -4002) << portHandle;
        EXPECT_EQ(VKKRN_PI_SetPortPara(handle, key, value), -4002) << portHandle;
        // Slots the built-in plug-ins do not offer.
        EXPECT_EQ(VKKRN_PI_OpenPort(handle, value), -4005);
        EXPECT_EQ(VKKRN_PI_ClosePort(handle), -4005);
        EXPECT_EQ(VKKRN_PI_GetErrorText(handle, -1, value), -4005);
        EXPECT_EQ(VKKRN_PI_GetDLLVersion(handle, value), 0);
        EXPECT_EQ(reader->GetLastError(), 0);
    }
}

} // namespace

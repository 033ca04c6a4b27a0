// Texts of the port libraries' codes when no port library can be loaded.
#include <vktcl.h>

#include <dlfcn.h>

#include <gtest/gtest.h>

#include <cstring>

namespace {

TEST(TclNoPorts, PortCodesGiveAnEmptyText) {
    ASSERT_EQ(::dlopen("libvkcom.so", RTLD_NOW), nullptr);
    for (const int code : {-1030, -1101, -1230}) {
        char text[VKTCL_TEXT_SIZE];
        std::memset(text, 'x', sizeof text);
        EXPECT_EQ(VKTCL_GetErrorText(code, text), 0) << code;
        EXPECT_STREQ(text, "") << code;
    }
    // Own and reader codes are unaffected.
    char text[VKTCL_TEXT_SIZE];
    EXPECT_EQ(VKTCL_GetErrorText(-4273, text), 0);
    EXPECT_STREQ(text, "VKTCL: Invalid Acknowledgement length.");
}

} // namespace

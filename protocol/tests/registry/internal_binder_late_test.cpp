// A port library that is missing at first is bound once it appears on the
// library path (which names one empty directory).
#include "registry/drv_hnd.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

TEST(BinderLate, ALibraryCopiedOntoThePathIsBound) {
    const std::filesystem::path target = std::filesystem::path(VKKRN_LATE_PORTS_DIR) / "libvkcom.so";
    std::filesystem::remove(target);
    EXPECT_EQ(g_LibVkKrnDrvHnd.GetFunctionPtr(1000), nullptr);
    EXPECT_EQ(g_LibVkKrnDrvHnd.GetFunctionPtr(1000), nullptr);
    std::filesystem::copy_file(VKKRN_FAKE_COM_FILE, target);
    EXPECT_NE(g_LibVkKrnDrvHnd.GetFunctionPtr(1000), nullptr);
    std::filesystem::remove(target);
}

} // namespace

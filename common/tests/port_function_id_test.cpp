#include <vkcommon/port_function_id.h>

#include <gtest/gtest.h>

namespace {

TEST(PortFunctionId, RowsLieInTheirLibrarysRangeAndPrefix) {
    for (const auto& row : vk::kSerialPortFunctions) {
        EXPECT_EQ(vk::portLibraryOf(row.id), vk::PortLibrary::Serial);
        EXPECT_TRUE(row.name.starts_with("VIZER_"));
    }
    for (const auto& row : vk::kUsbPortFunctions) {
        EXPECT_EQ(vk::portLibraryOf(row.id), vk::PortLibrary::Usb);
        EXPECT_TRUE(row.name.starts_with("VKUSB_"));
    }
    for (const auto& row : vk::kTcpPortFunctions) {
        EXPECT_EQ(vk::portLibraryOf(row.id), vk::PortLibrary::Tcp);
        EXPECT_TRUE(row.name.starts_with("VKTCP_"));
    }
}

TEST(PortFunctionId, LooksUpNamesAndLeavesGapsEmpty) {
    EXPECT_EQ(vk::portFunctionName(1030), "VIZER_Transceive");
    EXPECT_EQ(vk::portFunctionName(1134), "VKUSB_GetDevicePara");
    EXPECT_EQ(vk::portFunctionName(1226), "VKTCP_GetSocketHnd");
    EXPECT_TRUE(vk::portFunctionName(1004).empty());
    EXPECT_TRUE(vk::portFunctionName(1101).empty());
    EXPECT_TRUE(vk::portFunctionName(999).empty());
    EXPECT_TRUE(vk::portFunctionName(1300).empty());
    EXPECT_EQ(vk::portLibraryFile(vk::portLibraryOf(1210)), "libvktcp.so");
}

} // namespace

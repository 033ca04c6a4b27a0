#include <vkcommon/error_code_range.h>
#include <vkcommon/language_id.h>
#include <vkcommon/port_handle.h>

#include <gtest/gtest.h>

namespace {

TEST(PortHandle, TypeBitsNameThePortType) {
    EXPECT_TRUE(vk::isPortType(1, vk::PortType::Serial));
    EXPECT_TRUE(vk::isPortType(0x10000001, vk::PortType::Usb));
    EXPECT_TRUE(vk::isPortType(0x20000005, vk::PortType::Tcp));
    EXPECT_TRUE(vk::isPortType(vk::kPlugInPortHandle, vk::PortType::PlugIn));
    EXPECT_EQ(vk::makePortHandle(vk::PortType::Tcp, 3), 0x20000003);
    EXPECT_EQ(vk::portCount(0x2000ABCD), 0xABCD);
}

TEST(PortHandle, CountWrapsToOnePastTheTop) {
    EXPECT_EQ(vk::nextPortCount(0), 1);
    EXPECT_EQ(vk::nextPortCount(41), 42);
    EXPECT_EQ(vk::nextPortCount(0x0FFFFFFE), 0x0FFFFFFF);
    EXPECT_EQ(vk::nextPortCount(0x0FFFFFFF), 1);
}

TEST(ErrorCodeRange, EachRangeNamesItsLibrary) {
    struct Case {
        int code;
        vk::ErrorOwner owner;
    };
    const Case cases[] = {
        {0, vk::ErrorOwner::None},
        {-99, vk::ErrorOwner::None},
        {-100, vk::ErrorOwner::DataManager},
        {-999, vk::ErrorOwner::DataManager},
        {-1000, vk::ErrorOwner::Serial},
        {-1099, vk::ErrorOwner::Serial},
        {-1100, vk::ErrorOwner::Usb},
        {-1299, vk::ErrorOwner::Tcp},
        {-1300, vk::ErrorOwner::None},
        {-4000, vk::ErrorOwner::Reader},
        {-4150, vk::ErrorOwner::FunctionUnit},
        {-4299, vk::ErrorOwner::Transponder},
        {-4300, vk::ErrorOwner::None},
    };
    for (const auto& c : cases)
        EXPECT_EQ(vk::errorOwner(c.code), c.owner) << c.code;
}

TEST(LanguageId, OnlyGermanAndEnglish) {
    EXPECT_TRUE(vk::isLanguageId(7));
    EXPECT_TRUE(vk::isLanguageId(9));
    EXPECT_FALSE(vk::isLanguageId(8));
}

} // namespace

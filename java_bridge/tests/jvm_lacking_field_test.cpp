// ReadReaderInfo with a VkdmKrnReaderInfo class that lacks rfcDevVer: the
// native returns null with the JVM's NoSuchFieldError, and only when a group
// that has the field is filled.
#include "data_jvm_fixture.h"

namespace {

using namespace vkdata;

constexpr char kInfo[] = "(IZ)Lde/varek/VkdmKrnReaderInfo;";

TEST_F(DataJvmTest, AFieldTheClassLacksEndsTheNativeWithTheJvmsError) {
    VKDM_ReaderInfo record{};
    record.mode80 = true;
    record.rfcDevID[0] = 0x42;
    VKDM_CTL_InjectReaderInfo(module, &record);
    const Outcome other = call("ReadReaderInfo", kInfo, {I(handle), Z(true)});
    ASSERT_FALSE(other.thrown) << other.thrown->className;
    Local<jobject> object(env, other.value.l);
    EXPECT_EQ(Fields(env, object).bytes("rfcDevID")->at(0), 0x42);

    record.mode00 = true; // rfcDevVer is a field of mode 0x00
    VKDM_CTL_InjectReaderInfo(module, &record);
    const Outcome o = call("ReadReaderInfo", kInfo, {I(handle), Z(true)});
    EXPECT_TRUE(o.isNull);
    ASSERT_TRUE(o.thrown);
    EXPECT_EQ(o.thrown->className, "java.lang.NoSuchFieldError");
    EXPECT_THAT(o.thrown->message, ::testing::HasSubstr("rfcDevVer"));
}

} // namespace

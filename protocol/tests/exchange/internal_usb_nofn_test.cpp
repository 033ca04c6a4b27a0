// USB readers with a USB library that lacks the device parameter query.
#include "exchange/builtin_plugins.h"
#include "internal_fixture.h"
#include "loaded_library.h"

namespace {

using UsbWithoutQuery = InternalTest;

TEST_F(UsbWithoutQuery, FirstGenerationAndTheHandleKept) {
    LoadedLibrary usb("libvkusb.so");
    auto queries = usb.symbol<int (*)()>("FAKE_UsbQueries");
    auto reader = newReader(0x10000003);
    ASSERT_TRUE(reader);
    EXPECT_EQ(reader->GetUsbGeneration(), 0);
    EXPECT_EQ(reader->GetPortHnd(), 0x10000003); // kept for the plug-in
    EXPECT_EQ(reader->GetCommMode(), 1);
    EXPECT_EQ(queries(), 0);
    auto lock = reader->Lock();
    auto* plugIn = dynamic_cast<VKKRN_PlugIn_Usb*>(reader->PlugInLocked());
    ASSERT_NE(plugIn, nullptr);
    EXPECT_EQ(plugIn->portHandle, 0x10000003);
}

} // namespace

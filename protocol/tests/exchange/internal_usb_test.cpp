// USB readers with a stand-in USB library whose "DeviceName" is scripted.
#include "exchange/builtin_plugins.h"
#include "internal_fixture.h"
#include "loaded_library.h"

#include <string>

namespace {

using ScriptFn = void (*)(const char*, int);
using CountFn = int (*)();

class UsbReaders : public InternalTest {
  protected:
    LoadedLibrary usb{"libvkusb.so"};
    ScriptFn script = usb.symbol<ScriptFn>("FAKE_UsbScript");
    CountFn queries = usb.symbol<CountFn>("FAKE_UsbQueries");
};

struct GenerationCase {
    const char* name;
    std::string deviceName;
    int failure;
    int generation;
};

const GenerationCase kGenerations[] = {
    {"first model GWT473", "ID KRN.GWT473-U", 0, 0}, {"first model BZ578", "ID KRN.BZ578-U", 0, 0},
    {"other model", "ID KRN.MAX-U", 0, 1},           {"first model with a blank", "ID KRN.BZ578-U ", 0, 1},
    {"first model prefix", "ID KRN.BZ578", 0, 1},    {"empty name", "", 0, 1},
    {"long name", std::string(300, 'N'), 0, 1},      {"failed query", "ID KRN.MAX-U", -1123, 0},
};

TEST_F(UsbReaders, GenerationFollowsTheDeviceName) {
    for (const GenerationCase& c : kGenerations) {
        SCOPED_TRACE(c.name);
        script(c.deviceName.c_str(), c.failure);
        const int queriesBefore = queries();
        const int portHandle = 0x10000005;
        auto reader = newReader(portHandle);
        ASSERT_TRUE(reader);
        EXPECT_EQ(queries(), queriesBefore + 1);
        EXPECT_EQ(reader->GetUsbGeneration(), c.generation);
        EXPECT_EQ(reader->GetCommMode(), 1);
        EXPECT_EQ(reader->GetPortHnd(), portHandle);
        auto lock = reader->Lock();
        VKKRN_PlugIn* plugIn = reader->PlugInLocked();
        ASSERT_NE(plugIn, nullptr);
        EXPECT_EQ(plugIn->portHandle, portHandle);
        if (c.generation == 0) {
            auto* first = dynamic_cast<VKKRN_PlugIn_Usb*>(plugIn);
            ASSERT_NE(first, nullptr);
            EXPECT_EQ(first->reader, reader.get());
        } else {
            auto* second = dynamic_cast<VKKRN_PlugIn_Usb2*>(plugIn);
            ASSERT_NE(second, nullptr);
            EXPECT_EQ(second->reader, reader.get());
        }
    }
}

TEST_F(UsbReaders, PortParametersReachTheUsbLibrary) {
    int handle = 0;
    newReader(0x10000002, &handle);
    char key[] = "Timeout";
    char value[128] = "1234";
    EXPECT_EQ(VKKRN_PI_SetPortPara(handle, key, value), 0);
    std::strcpy(value, "");
    EXPECT_EQ(VKKRN_PI_GetPortPara(handle, key, value), 0);
    EXPECT_STREQ(value, "1234");
    EXPECT_EQ(VKKRN_PI_OpenPort(handle, value), -4005);
    EXPECT_EQ(VKKRN_PI_ClosePort(handle), -4005);
    EXPECT_EQ(VKKRN_PI_Install(handle, nullptr), -4002);
    VKKRN_PlugIn plugIn;
    EXPECT_EQ(VKKRN_PI_Install(handle, &plugIn), -4054);
}

TEST_F(UsbReaders, UsbCodesGetTheUsbLibrarysText) {
    char text[256];
    EXPECT_EQ(VKKRN_GetErrorText(-1123, text), 0);
    EXPECT_STREQ(text, "FAKEUSB: (-1123)");
}

} // namespace

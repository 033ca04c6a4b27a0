// Plug-in libraries loaded by path, installed, driven and removed through the
// exports.
#include "plugin_library.h"

#include <vkkrn.h>
#include <vkkrn_plugin.h>
#include <vktesting/temp_dir.h>

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <string>

namespace {

bool isLoaded(const std::string& path) {
    void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (handle != nullptr) ::dlclose(handle);
    return handle != nullptr;
}

class PlugInLibrary : public vktesting::TempDirTest {
  protected:
    void TearDown() override {
        for (int h = VKKRN_GetReaderList(0); h > 0; h = VKKRN_GetReaderList(0))
            VKKRN_DeleteReader(h);
        vktesting::TempDirTest::TearDown();
    }

    // A plug-in reader with the scriptable plug-in installed.
    int installed(const std::string& variant, VKKRN_PlugIn** plugIn) {
        const int reader = VKKRN_NewReader(VKKRN_PLUGIN);
        EXPECT_GT(reader, 0);
        EXPECT_EQ(VKKRN_PI_Get(testPlugInPath(variant).c_str(), plugIn), 0);
        EXPECT_EQ(VKKRN_PI_Install(reader, *plugIn), 0);
        return reader;
    }
};

// Slot index of a virtual member in the Itanium ABI: a pointer to a virtual member
// holds 1 + its byte offset in the vtable.
template <typename Member> std::ptrdiff_t slotOf(Member member) {
    std::ptrdiff_t raw = 0;
    std::memcpy(&raw, &member, sizeof raw);
    return (raw - 1) / static_cast<std::ptrdiff_t>(sizeof(void*));
}

// Plug-in libraries built elsewhere rely on this order: the destructor pair in
// slots 0 and 1, then the operations.
TEST(PlugInClass, SlotOrderAndFieldOrder) {
    EXPECT_EQ(slotOf(&VKKRN_PlugIn::get_lib_version), 2);
    EXPECT_EQ(slotOf(&VKKRN_PlugIn::get_error_text), 3);
    EXPECT_EQ(slotOf(&VKKRN_PlugIn::open_port), 4);
    EXPECT_EQ(slotOf(&VKKRN_PlugIn::close_port), 5);
    EXPECT_EQ(slotOf(&VKKRN_PlugIn::get_port_para), 6);
    EXPECT_EQ(slotOf(&VKKRN_PlugIn::set_port_para), 7);
    EXPECT_EQ(slotOf(&VKKRN_PlugIn::build_datastream), 8);
    EXPECT_EQ(slotOf(&VKKRN_PlugIn::build_protocol), 9);
    EXPECT_EQ(slotOf(&VKKRN_PlugIn::transceive_protocol), 10);
    EXPECT_EQ(slotOf(&VKKRN_PlugIn::transmit_protocol), 11);
    EXPECT_EQ(slotOf(&VKKRN_PlugIn::receive_protocol), 12);
    EXPECT_EQ(slotOf(&VKKRN_PlugIn::split_protocol), 13);
    EXPECT_EQ(slotOf(&VKKRN_PlugIn::split_datastream), 14);
    EXPECT_EQ(slotOf(&VKKRN_PlugIn::init), 15);
    EXPECT_EQ(slotOf(&VKKRN_PlugIn::cleanup), 16);

    VKKRN_PlugIn p;
    const auto at = [&p](const void* field) {
        return static_cast<const char*>(field) - reinterpret_cast<char*>(&p);
    };
    EXPECT_EQ(at(&p.subPlugInMap), static_cast<std::ptrdiff_t>(sizeof(void*))); // after the vtable pointer
    EXPECT_LT(at(&p.subPlugInMap), at(&p.plugInNumber));
    EXPECT_LT(at(&p.plugInNumber), at(&p.portHandle));
    EXPECT_LT(at(&p.portHandle), at(&p.releaseValue));
    EXPECT_LT(at(&p.releaseValue), at(&p.plugInOrigin));
    EXPECT_LT(at(&p.plugInOrigin), at(&p.libraryFileName));
    EXPECT_LT(at(&p.libraryFileName), at(&p.libraryHandle));
    EXPECT_EQ(static_cast<std::size_t>(at(&p.libraryHandle)) + sizeof(void*), sizeof(VKKRN_PlugIn));
    EXPECT_EQ(p.plugInNumber, 0u);
    EXPECT_EQ(p.portHandle, 0);
    EXPECT_EQ(p.releaseValue, 0u);
    EXPECT_EQ(p.plugInOrigin, 0u);
    EXPECT_EQ(p.libraryFileName[0], '\0');
    EXPECT_EQ(p.libraryHandle, nullptr);
    // Records are zeroed by their constructors.
    _VKKRN_PLUGIN_0xBB_DATA bb;
    EXPECT_EQ(bb.a4 + bb.reserved1 + bb.a5 + bb.a7 + bb.reserved3, 0u);
    EXPECT_EQ(bb.a6, nullptr);
    _VKKRN_PLUGIN_USB_DATA usb;
    EXPECT_EQ(usb.header1 + usb.header4 + usb.kind + usb.length, 0u);
}

struct GetFailure {
    const char* name;
    std::string path;
    bool nullOut;
    int expected;
};

TEST_F(PlugInLibrary, GetFailuresLeaveNothingLoaded) {
    const GetFailure failures[] = {
        {"null out", testPlugInPath(), true, -4002},
        {"path of 256 characters", std::string(256, 'a'), false, -4051},
        {"empty path", "", false, -4068},
        {"no such file", "/nonexistent/libnothing.so", false, -4068},
        {"no CreatePlugIn", testPlugInPath("without_create"), false, -4067},
        {"CreatePlugIn fails", testPlugInPath("create_fails"), false, -4067},
        {"no object", testPlugInPath("no_object"), false, -4067},
    };
    for (const GetFailure& f : failures) {
        VKKRN_PlugIn* plugIn = nullptr;
        SCOPED_TRACE(f.name);
        EXPECT_EQ(VKKRN_PI_Get(f.path.c_str(), f.nullOut ? nullptr : &plugIn), f.expected);
        EXPECT_EQ(plugIn, nullptr) << f.name;
        if (!f.path.empty()) {
            EXPECT_FALSE(isLoaded(f.path)) << f.name;
        }
    }
    VKKRN_PlugIn* plugIn = nullptr;
    EXPECT_EQ(VKKRN_PI_Get(nullptr, &plugIn), -4002);
}

TEST_F(PlugInLibrary, GetCreatesThePlugInAndKeepsTheLibrary) {
    VKKRN_PlugIn* plugIn = nullptr;
    const std::string path = testPlugInPath();
    ASSERT_EQ(VKKRN_PI_Get(path.c_str(), &plugIn), 0);
    ASSERT_NE(plugIn, nullptr);
    EXPECT_STREQ(plugIn->libraryFileName, path.c_str());
    EXPECT_EQ(plugIn->plugInOrigin, VKKRN_PLUGIN_ORIGIN_LIBRARY);
    EXPECT_EQ(plugIn->libraryHandle, nullptr); // the plug-in opens its own in init
    EXPECT_TRUE(isLoaded(path));
    TestPlugInControls controls;
    EXPECT_EQ(controls.live(), 1);
    EXPECT_EQ(controls.log(), "");
    delete plugIn; // it belongs to the caller until installed
}

TEST_F(PlugInLibrary, EveryExportReachesItsSlot) {
    VKKRN_PlugIn* plugIn = nullptr;
    const int reader = installed("", &plugIn);
    TestPlugInControls controls;
    char key[] = "Timeout";
    char value[64] = "77";
    char text[64] = {};
    controls.setResult(kSlotOpenPort, 0x1234);
    controls.setResult(kSlotClosePort, -17);
    controls.setResult(kSlotGetPortPara, 5);
    controls.setResult(kSlotSetPortPara, 6);
    controls.setResult(kSlotGetErrorText, 8);
    controls.setResult(kSlotGetLibVersion, -99);
    EXPECT_EQ(VKKRN_PI_OpenPort(reader, value), 0x1234);
    EXPECT_EQ(controls.lastPointer(kSlotOpenPort), value);
    EXPECT_EQ(plugIn->portHandle, 0x1234);
    EXPECT_EQ(VKKRN_PI_ClosePort(reader), -17);
    EXPECT_EQ(VKKRN_PI_GetPortPara(reader, key, value), 5);
    EXPECT_EQ(controls.lastPointer(kSlotGetPortPara), key);
    EXPECT_EQ(VKKRN_PI_SetPortPara(reader, key, value), 6);
    EXPECT_EQ(VKKRN_PI_GetErrorText(reader, -4711, text), 8);
    EXPECT_EQ(controls.lastInt(kSlotGetErrorText), -4711);
    EXPECT_EQ(controls.lastPointer(kSlotGetErrorText), text);
    EXPECT_EQ(VKKRN_PI_GetDLLVersion(reader, text), 0);
    EXPECT_STREQ(text, "TP 1.0");
    // Null pointers are handed on as given.
    EXPECT_EQ(VKKRN_PI_GetPortPara(reader, nullptr, nullptr), 5);
    EXPECT_EQ(controls.lastPointer(kSlotGetPortPara), nullptr);
    for (int slot : {kSlotOpenPort, kSlotClosePort, kSlotSetPortPara, kSlotGetErrorText, kSlotGetLibVersion})
        EXPECT_EQ(controls.calls(slot), 1) << slot;
    EXPECT_EQ(controls.calls(kSlotGetPortPara), 2);
    int code = 0;
    EXPECT_EQ(VKKRN_GetLastError(reader, &code, text), -4053); // 0 has no text of its own
    EXPECT_EQ(code, 0); // the forwarders leave the reader's last error alone
}

TEST_F(PlugInLibrary, InstallRunsInitAndRemoveReleases) {
    VKKRN_PlugIn* plugIn = nullptr;
    const int reader = installed("", &plugIn);
    TestPlugInControls controls;
    EXPECT_NE(plugIn->libraryHandle, nullptr); // kept by init through LoadLib
    const unsigned int releaseValue = plugIn->releaseValue;
    controls.reset();
    EXPECT_EQ(VKKRN_PI_Remove(reader), 0);
    EXPECT_EQ(controls.log(), "cleanup;release:" + std::to_string(releaseValue) + ";");
    EXPECT_EQ(controls.live(), 0);
    EXPECT_EQ(VKKRN_PI_Remove(reader), -4060);
    int code = 0;
    char text[256];
    EXPECT_EQ(VKKRN_GetLastError(reader, &code, text), 0);
    EXPECT_EQ(code, -4060);
}

TEST_F(PlugInLibrary, InitResultOfALibraryPlugIn) {
    const int reader = VKKRN_NewReader(VKKRN_PLUGIN);
    VKKRN_PlugIn* plugIn = nullptr;
    ASSERT_EQ(VKKRN_PI_Get(testPlugInPath().c_str(), &plugIn), 0);
    TestPlugInControls controls;
    controls.setResult(kSlotInit, -33);
    EXPECT_EQ(VKKRN_PI_Install(reader, plugIn), -33);
    EXPECT_EQ(VKKRN_PI_Remove(reader), -4060);
    controls.setResult(kSlotInit, 9);
    EXPECT_EQ(VKKRN_PI_Install(reader, plugIn), 9);
    int code = 0;
    char text[256];
    EXPECT_EQ(VKKRN_GetLastError(reader, &code, text), -4053);
    EXPECT_EQ(code, 0);
    const int other = VKKRN_NewReader(0);
    EXPECT_EQ(VKKRN_PI_Install(other, plugIn), -4061);
}

TEST_F(PlugInLibrary, RemoveWithoutReleasePlugInKeepsItInstalled) {
    for (const char* variant : {"without_release", "without_loadlib"}) {
        SCOPED_TRACE(variant);
        VKKRN_PlugIn* plugIn = nullptr;
        const int reader = installed(variant, &plugIn);
        TestPlugInControls controls(variant);
        controls.reset();
        int code = 0;
        char text[256];
        EXPECT_EQ(VKKRN_PI_OpenPort(reader, nullptr), 0);
        EXPECT_EQ(VKKRN_PI_Remove(reader), -4069);
        EXPECT_EQ(controls.log(), "open_port;cleanup;");
        EXPECT_EQ(VKKRN_GetLastError(reader, &code, text), -4053);
        EXPECT_EQ(code, 0);                                 // the reader's last error is left alone
        EXPECT_EQ(VKKRN_PI_Install(reader, plugIn), -4061); // still installed
        EXPECT_EQ(VKKRN_PI_ClosePort(reader), 0);
        EXPECT_EQ(controls.live(), 1);
        // Deleting the reader abandons what it cannot release.
        EXPECT_EQ(VKKRN_DeleteReader(reader), 0);
        EXPECT_EQ(controls.live(), 1);
        delete plugIn; // abandoned: the test frees it
    }
}

TEST_F(PlugInLibrary, AFailedReleaseIsReportedAndTheSlotFreed) {
    VKKRN_PlugIn* plugIn = nullptr;
    const int reader = installed("", &plugIn);
    TestPlugInControls controls;
    controls.setReleaseResult(-5);
    EXPECT_EQ(VKKRN_PI_Remove(reader), -5);
    int code = 0;
    char text[256];
    EXPECT_EQ(VKKRN_GetLastError(reader, &code, text), -4053); // -5 has no text
    EXPECT_EQ(code, -5);
    EXPECT_EQ(VKKRN_PI_Remove(reader), -4060);
}

TEST_F(PlugInLibrary, DeleteReaderReleasesThePlugIn) {
    VKKRN_PlugIn* plugIn = nullptr;
    const int reader = installed("", &plugIn);
    TestPlugInControls controls;
    const unsigned int releaseValue = plugIn->releaseValue;
    controls.reset();
    EXPECT_EQ(VKKRN_DeleteReader(reader), 0);
    EXPECT_EQ(controls.log(), "cleanup;release:" + std::to_string(releaseValue) + ";");
    EXPECT_EQ(controls.live(), 0);
}

} // namespace

// The library's exports as a caller reaches them: dlsym of the mangled names.
#ifndef KESTOREADER_TESTS_LIBRARY_API_H
#define KESTOREADER_TESTS_LIBRARY_API_H

#include <kestoreader/qm30_dll.h>
#include <vktesting/loaded_library.h>

namespace kestoreader_test {

using vemlasdknative::HidManager;

struct LibraryApi {
    int (*essai)(char*);
    int (*Echo)(HidManager*, char*);
    int (*Idn)(HidManager*, char*);
    int (*FieldOff)(HidManager*, char*);
    int (*Select)(HidManager*, const char*, char*);
    int (*SendReceive)(HidManager*, const char*, char*);
    int (*KestoCmd)(HidManager*, const char*, char*);
    int (*ResetSPI)(HidManager*, char*);
    int (*getInterfacePinState)(HidManager*, char*);
    int (*Polling_Reading)(HidManager*, char*);
    int (*SendNSSPulse)(HidManager*, char*);
    int (*getHardwareVersion)(HidManager*, char*);
    int (*getMCUrev)(HidManager*, char*);
    int (*USBhandlecheck)(HidManager*);
    int (*USBconnect)(HidManager*);
};

inline LibraryApi bindApi(LoadedLibrary& library) {
    using Reply = int (*)(HidManager*, char*);
    using Command = int (*)(HidManager*, const char*, char*);
    using Check = int (*)(HidManager*);
    LibraryApi api{};
    api.essai = library.symbol<int (*)(char*)>("_ZN14vemlasdknative13QM30Dll_essaiEPc");
    api.Echo = library.symbol<Reply>("_ZN14vemlasdknative12QM30Dll_EchoEPNS_10HidManagerEPc");
    api.Idn = library.symbol<Reply>("_ZN14vemlasdknative11QM30Dll_IdnEPNS_10HidManagerEPc");
    api.FieldOff = library.symbol<Reply>("_ZN14vemlasdknative16QM30Dll_FieldOffEPNS_10HidManagerEPc");
    api.Select = library.symbol<Command>("_ZN14vemlasdknative14QM30Dll_SelectEPNS_10HidManagerEPKcPc");
    api.SendReceive =
        library.symbol<Command>("_ZN14vemlasdknative19QM30Dll_SendReceiveEPNS_10HidManagerEPKcPc");
    api.KestoCmd = library.symbol<Command>("_ZN14vemlasdknative16QM30Dll_KestoCmdEPNS_10HidManagerEPKcPc");
    api.ResetSPI = library.symbol<Reply>("_ZN14vemlasdknative16QM30Dll_ResetSPIEPNS_10HidManagerEPc");
    api.getInterfacePinState =
        library.symbol<Reply>("_ZN14vemlasdknative28QM30DLL_getInterfacePinStateEPNS_10HidManagerEPc");
    api.Polling_Reading =
        library.symbol<Reply>("_ZN14vemlasdknative23QM30Dll_Polling_ReadingEPNS_10HidManagerEPc");
    api.SendNSSPulse = library.symbol<Reply>("_ZN14vemlasdknative20QM30Dll_SendNSSPulseEPNS_10HidManagerEPc");
    api.getHardwareVersion =
        library.symbol<Reply>("_ZN14vemlasdknative26QM30DLL_getHardwareVersionEPNS_10HidManagerEPc");
    api.getMCUrev = library.symbol<Reply>("_ZN14vemlasdknative17QM30DLL_getMCUrevEPNS_10HidManagerEPc");
    api.USBhandlecheck =
        library.symbol<Check>("_ZN14vemlasdknative22QM30DLL_USBhandlecheckEPNS_10HidManagerE");
    api.USBconnect = library.symbol<Check>("_ZN14vemlasdknative18QM30DLL_USBconnectEPNS_10HidManagerE");
    return api;
}

// Names that stay inside the library.
inline constexpr const char* kHiddenNames[] = {
    "_ZN14vemlasdknative10HidManager4InitEv",
    "_ZN14vemlasdknative10HidManager11IsConnectedEv",
    "_ZN14vemlasdknative6MCUrevE",
    "_ZN14vemlasdknative16Darvik_connectedEPNS_10HidManagerE",
    "Hex2Asc",
    "Asc2Hex",
    "ComputeXor",
};

// A manager has no public way to be made, and the null manager gets the
// results of a dongle that is not there.
inline void expectNullManagerResults(const LibraryApi& api);

// "libkestoreader.so" loaded by name: the listed names bind, no other name
// leaves it, and it answers without a manager.
inline LibraryApi loadCheckedApi(LoadedLibrary& library) {
    EXPECT_TRUE(library.loaded());
    if (!library.loaded()) return {};
    LibraryApi api = bindApi(library);
    for (const char* name : kHiddenNames)
        EXPECT_EQ(library.symbol<void*>(name, false), nullptr) << name;
    expectNullManagerResults(api);
    return api;
}

inline void expectNullManagerResults(const LibraryApi& api) {
    char reply[8] = "X";
    for (auto call : {api.Echo, api.Idn, api.FieldOff, api.ResetSPI, api.getInterfacePinState,
                      api.Polling_Reading, api.SendNSSPulse, api.getHardwareVersion})
        EXPECT_EQ(call(nullptr, reply), 5);
    for (auto call : {api.Select, api.SendReceive, api.KestoCmd})
        EXPECT_EQ(call(nullptr, "0102", reply), 5);
    EXPECT_EQ(api.getMCUrev(nullptr, reply), 1);
    EXPECT_EQ(api.USBhandlecheck(nullptr), 5);
    EXPECT_EQ(api.USBconnect(nullptr), 1);
    EXPECT_STREQ(reply, "X");
    EXPECT_EQ(api.essai(reply), 0);
    EXPECT_STREQ(reply, "essai");
}

} // namespace kestoreader_test

#endif

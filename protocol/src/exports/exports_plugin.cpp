// Exports that load, install, remove and drive a reader's port plug-in.
#include "exchange/plugin_library.h"
#include "exports/export_frame.h"

#include <vkkrn.h>

using namespace vkkrn;

extern "C" {

VKKRN_API int VKKRN_PI_Get(const char* libName, VKKRN_PlugIn** plugIn) {
    return guarded(kErrNoMemory, [&] { return loadPlugInLibrary(libName, plugIn, g_LibVkKrnDrvHnd); });
}

VKKRN_API int VKKRN_PI_Install(int readerHnd, VKKRN_PlugIn* plugIn) {
    return withReader(readerHnd, plugIn == nullptr,
                      [&](VKKRNReader& reader) { return reader.PlugIn_Install(plugIn); });
}

VKKRN_API int VKKRN_PI_Remove(int readerHnd) {
    return withReader(readerHnd, false, [](VKKRNReader& reader) { return reader.PlugIn_Remove(); });
}

VKKRN_API int VKKRN_PI_OpenPort(int readerHnd, char* para) {
    return withReader(readerHnd, false, [&](VKKRNReader& reader) { return reader.PlugIn_OpenPort(para); });
}

VKKRN_API int VKKRN_PI_ClosePort(int readerHnd) {
    return withReader(readerHnd, false, [](VKKRNReader& reader) { return reader.PlugIn_ClosePort(); });
}

VKKRN_API int VKKRN_PI_GetPortPara(int readerHnd, char* key, char* value) {
    return withReader(readerHnd, false,
                      [&](VKKRNReader& reader) { return reader.PlugIn_GetPortPara(key, value); });
}

VKKRN_API int VKKRN_PI_SetPortPara(int readerHnd, char* key, char* value) {
    return withReader(readerHnd, false,
                      [&](VKKRNReader& reader) { return reader.PlugIn_SetPortPara(key, value); });
}

VKKRN_API int VKKRN_PI_GetDLLVersion(int readerHnd, char* version) {
    return withReader(readerHnd, false,
                      [&](VKKRNReader& reader) { return reader.PlugIn_GetDLLVersion(version); });
}

VKKRN_API int VKKRN_PI_GetErrorText(int readerHnd, int code, char* text) {
    return withReader(readerHnd, false,
                      [&](VKKRNReader& reader) { return reader.PlugIn_GetErrorText(code, text); });
}

} // extern "C"

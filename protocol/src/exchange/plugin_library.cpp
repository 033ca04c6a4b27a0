#include "exchange/plugin_library.h"

#include "texts/error_codes.h"

#include <vkkrn_plugin.h>

#include <dlfcn.h>

#include <cstring>

namespace vkkrn {

int loadPlugInLibrary(const char* path, VKKRN_PlugIn** plugIn, LibraryServices& services) {
    if (path == nullptr || plugIn == nullptr) {
        services.SetLastError(kErrNullPointer);
        return kErrNullPointer;
    }
    constexpr std::size_t kNameSize = sizeof(VKKRN_PlugIn::libraryFileName);
    const std::size_t length = strnlen(path, kNameSize);
    if (length >= kNameSize) {
        services.SetLastError(kErrOutOfRange);
        return kErrOutOfRange;
    }
    // An empty path would open the main program, whose scope holds every library
    // loaded globally.
    if (length == 0) return kErrLoadPlugIn;
    void* library = ::dlopen(path, RTLD_NOW | RTLD_GLOBAL);
    if (library == nullptr) return kErrLoadPlugIn;
    auto create = reinterpret_cast<VKKRN_CreatePlugInFn>(::dlsym(library, "CreatePlugIn"));
    VKKRN_PlugIn* created = nullptr;
    const int result = create == nullptr ? kErrGetPlugIn : create(&created);
    if (result != 0 || created == nullptr) {
        // Nothing of the library is in use: an object made despite a failure is
        // not handed out.
        ::dlclose(library);
        return kErrGetPlugIn;
    }
    std::memcpy(created->libraryFileName, path, length);
    created->libraryFileName[length] = '\0';
    *plugIn = created;
    return 0;
}

} // namespace vkkrn

// Installing, removing and driving a reader's port plug-in.
#include "reader/reader.h"
#include "texts/error_codes.h"

#include <vkkrn_plugin.h>

#include <dlfcn.h>

namespace {

bool isPortLibraryType(int type) {
    return type == 0 || type == 1 || type == 2;
}

} // namespace

int VKKRNReader::removeLibraryPlugInLocked() {
    VKKRN_PlugIn* plugIn = plugIn_;
    void* library = plugIn->libraryHandle;
    auto release = library == nullptr
                       ? nullptr
                       : reinterpret_cast<VKKRN_ReleasePlugInFn>(::dlsym(library, "ReleasePlugIn"));
    plugIn->cleanup();
    if (release == nullptr) return vkkrn::kErrReleasePlugIn; // stays installed
    const unsigned int value = plugIn->releaseValue;
    plugIn_ = nullptr;
    library_.ReleasePlugInClaim(plugIn);
    const int result = release(value);
    ::dlclose(library);
    return result;
}

void VKKRNReader::releasePlugInLocked() {
    VKKRN_PlugIn* plugIn = plugIn_;
    if (plugIn == nullptr) return;
    const unsigned int origin = plugIn->plugInOrigin;
    if (origin == VKKRN_PLUGIN_ORIGIN_LIBRARY) {
        removeLibraryPlugInLocked();
        if (plugIn_ == nullptr) return; // released, whatever "ReleasePlugIn" answered
    }
    // A library plug-in without "ReleasePlugIn", or one of an unknown origin, is an
    // object the library cannot free: it is abandoned.
    plugIn_ = nullptr;
    library_.ReleasePlugInClaim(plugIn);
    if (origin == VKKRN_PLUGIN_ORIGIN_BUILT_IN) {
        plugIn->cleanup();
        delete plugIn;
    }
}

int VKKRNReader::PlugIn_Install(void* plugInAddress) {
    auto* plugIn = static_cast<VKKRN_PlugIn*>(plugInAddress);
    auto lock = Lock();
    int result = 0;
    if (isPortLibraryType(portType_.load())) {
        result = vkkrn::kErrUnsupportedOption;
    } else if (plugIn_ != nullptr || !library_.ClaimPlugIn(plugIn)) {
        result = vkkrn::kErrPlugInInstalled;
    } else if (plugIn->plugInOrigin > VKKRN_PLUGIN_ORIGIN_LIBRARY) {
        library_.ReleasePlugInClaim(plugIn);
        result = vkkrn::kErrPlugInOrigin;
    } else {
        result = plugIn->init();
        if (result < 0)
            library_.ReleasePlugInClaim(plugIn);
        else
            plugIn_ = plugIn;
    }
    lastError_.store(result < 0 ? result : 0);
    return result;
}

int VKKRNReader::PlugIn_Remove() {
    auto lock = Lock();
    int result = 0;
    if (isPortLibraryType(portType_.load())) {
        result = vkkrn::kErrUnsupportedOption;
    } else if (plugIn_ == nullptr) {
        result = vkkrn::kErrNoPlugIn;
    } else if (plugIn_->plugInOrigin == VKKRN_PLUGIN_ORIGIN_BUILT_IN) {
        VKKRN_PlugIn* plugIn = plugIn_;
        result = plugIn->cleanup();
        plugIn_ = nullptr;
        library_.ReleasePlugInClaim(plugIn);
        delete plugIn;
    } else if (plugIn_->plugInOrigin == VKKRN_PLUGIN_ORIGIN_LIBRARY) {
        result = removeLibraryPlugInLocked();
        // The plug-in stays installed and the last error is left alone.
        if (result == vkkrn::kErrReleasePlugIn && plugIn_ != nullptr) return result;
    } else {
        result = vkkrn::kErrPlugInOrigin;
    }
    lastError_.store(result < 0 ? result : 0);
    return result;
}

namespace {

// Runs `slot` on the reader's plug-in under its command lock; -4060 (also the
// reader's last error) without one.
template <typename Slot> int forwardToPlugIn(VKKRNReader& reader, Slot&& slot) {
    auto lock = reader.Lock();
    VKKRN_PlugIn* plugIn = reader.PlugInLocked();
    if (plugIn == nullptr) {
        reader.SetLastError(vkkrn::kErrNoPlugIn);
        return vkkrn::kErrNoPlugIn;
    }
    return slot(*plugIn);
}

} // namespace

int VKKRNReader::PlugIn_OpenPort(char* para) {
    return forwardToPlugIn(*this, [para](VKKRN_PlugIn& plugIn) {
        const int result = plugIn.open_port(para);
        if (result > 0) plugIn.portHandle = result;
        return result;
    });
}

int VKKRNReader::PlugIn_ClosePort() {
    return forwardToPlugIn(*this, [](VKKRN_PlugIn& plugIn) { return plugIn.close_port(); });
}

int VKKRNReader::PlugIn_GetPortPara(char* key, char* value) {
    return forwardToPlugIn(*this,
                           [key, value](VKKRN_PlugIn& plugIn) { return plugIn.get_port_para(key, value); });
}

int VKKRNReader::PlugIn_SetPortPara(char* key, char* value) {
    return forwardToPlugIn(*this,
                           [key, value](VKKRN_PlugIn& plugIn) { return plugIn.set_port_para(key, value); });
}

int VKKRNReader::PlugIn_GetDLLVersion(char* version) {
    const int result = forwardToPlugIn(*this, [version](VKKRN_PlugIn& plugIn) {
        plugIn.get_lib_version(version);
        return 0;
    });
    return result == vkkrn::kErrNoPlugIn ? result : 0;
}

int VKKRNReader::PlugIn_GetErrorText(int code, char* text) {
    return forwardToPlugIn(*this,
                           [code, text](VKKRN_PlugIn& plugIn) { return plugIn.get_error_text(code, text); });
}

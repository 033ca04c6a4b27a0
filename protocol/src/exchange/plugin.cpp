#include "texts/error_codes.h"

#include <vkkrn_plugin.h>

#include <dlfcn.h>

#include <vector>

VKKRN_PlugIn::VKKRN_PlugIn()
    : plugInNumber(0), portHandle(0), releaseValue(0),
      plugInOrigin(VKKRN_PLUGIN_ORIGIN_BUILT_IN), libraryFileName{}, libraryHandle(nullptr) {}

VKKRN_PlugIn::~VKKRN_PlugIn() {
    // One plug-in may serve several commands: release each once, in ascending
    // order of the first command it serves.
    std::vector<VKKRN_PlugIn*> distinct;
    for (const auto& [cmd, plugIn] : subPlugInMap) {
        (void)cmd;
        if (plugIn == nullptr) continue;
        bool seen = false;
        for (VKKRN_PlugIn* known : distinct)
            seen = seen || known == plugIn;
        if (!seen) distinct.push_back(plugIn);
    }
    for (VKKRN_PlugIn* plugIn : distinct) {
        plugIn->cleanup();
        delete plugIn;
    }
    subPlugInMap.clear();
}

int VKKRN_PlugIn::get_lib_version(char*) {
    return vkkrn::kErrUnsupported;
}
int VKKRN_PlugIn::get_error_text(int, char*) {
    return vkkrn::kErrUnsupported;
}
int VKKRN_PlugIn::open_port(char*) {
    return vkkrn::kErrUnsupported;
}
int VKKRN_PlugIn::close_port() {
    return vkkrn::kErrUnsupported;
}
int VKKRN_PlugIn::get_port_para(char*, char*) {
    return vkkrn::kErrUnsupported;
}
int VKKRN_PlugIn::set_port_para(char*, char*) {
    return vkkrn::kErrUnsupported;
}
int VKKRN_PlugIn::build_datastream(char, void*, int, char*, int) {
    return 0;
}
int VKKRN_PlugIn::build_protocol(char, char, char*, int, char*, int) {
    return 0;
}
int VKKRN_PlugIn::transceive_protocol(char*, int, char*, int) {
    return 0;
}
int VKKRN_PlugIn::transmit_protocol(char*, int) {
    return 0;
}
int VKKRN_PlugIn::receive_protocol(char*, int) {
    return 0;
}
int VKKRN_PlugIn::split_protocol(char, char, char*, int, char*, int, int*) {
    return 0;
}
int VKKRN_PlugIn::split_datastream(char, char*, int, void*, int) {
    return 0;
}
int VKKRN_PlugIn::init() {
    return 0;
}
int VKKRN_PlugIn::cleanup() {
    return 0;
}

void* VKKRN_PlugIn::LoadLib(const char* fileName) {
    // An empty name would open the main program.
    if (fileName == nullptr || fileName[0] == '\0') return nullptr;
    void* handle = ::dlopen(fileName, RTLD_NOW | RTLD_GLOBAL);
    if (handle != nullptr) libraryHandle = handle;
    return handle;
}

void VKKRN_PlugIn::CloseLib(void* handle) {
    if (handle != nullptr) ::dlclose(handle);
}

void* VKKRN_PlugIn::GetFunctionPtr(void* handle, const char* name) {
    return handle == nullptr || name == nullptr ? nullptr : ::dlsym(handle, name);
}

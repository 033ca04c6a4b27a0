#include "security/crypto_plugin.h"

#include <dlfcn.h>

void* VKKRN_CryptoPlugIn::LoadLib(const char* fileName) {
    return ::dlopen(fileName, RTLD_NOW | RTLD_GLOBAL);
}

void VKKRN_CryptoPlugIn::CloseLib(void* handle) {
    if (handle != nullptr) ::dlclose(handle);
}

void* VKKRN_CryptoPlugIn::GetFunctionPtr(void* handle, const char* name) {
    return ::dlsym(handle, name);
}

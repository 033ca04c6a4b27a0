// A stand-in "libvkcom.so" that lacks every function the reader library binds:
// it has only its version function.
#include <cstring>

extern "C" __attribute__((visibility("default"))) void VIZER_GetDLLVersion(char* version) {
    std::strcpy(version, "00.00.00");
}

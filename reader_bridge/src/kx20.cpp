#include "kx20.h"

namespace vemlasdknative {

namespace {

// The ISO 15693 layer's set-up values (the board sends the low byte of the first).
constexpr int kIso15693Setting = 256;

} // namespace

kx20::kx20() {
    Load_DLLKXx0(&kx20_dllHandle, "KX20EVALOComm.dll");
}

bool kx20::CheckVersion(char* text) {
    if (text != nullptr) text[0] = '\0';
    return true;
}

int kx20::prepare15693(int /*initialised*/) {
    return call(kxx0Entries.iso15693Initialise, kIso15693Setting, true);
}

} // namespace vemlasdknative

#include "kxx0_dll.h"

namespace vemlasdknative {

KXx0Entries kxx0Entries;

namespace {

#define KXX0_NAME(name, bytes) "_" #name "@" #bytes,
constexpr const char* kNames[] = {KXX0_COMMON_OPERATIONS(KXX0_NAME)};
#undef KXX0_NAME

// Looks `name` up in `module` into `entry`; whether it was found.
template <typename F> bool bind(HMODULE module, const char* name, F& entry) {
    entry = reinterpret_cast<F>(vkplatform::kernel::GetProcAddress(module, name));
    return entry != nullptr;
}

} // namespace

std::span<const char* const> kxx0EntryNames() {
    return kNames;
}

int Load_DLLKXx0(HMODULE* module, const char* fileName) {
    HMODULE loaded = vkplatform::kernel::LoadLibraryA(fileName);
    if (module != nullptr) *module = loaded;
    if (loaded == nullptr) return -1;
    int missing = 0;
#define KXX0_BIND(name, bytes) missing += bind(loaded, "_" #name "@" #bytes, kxx0Entries.name) ? 0 : 1;
    KXX0_COMMON_OPERATIONS(KXX0_BIND)
#undef KXX0_BIND
    return missing;
}

} // namespace vemlasdknative

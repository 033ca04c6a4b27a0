// Kernel services a library expects from its platform.
#ifndef VKPLATFORM_KERNEL_SERVICES_H
#define VKPLATFORM_KERNEL_SERVICES_H

#include <dlfcn.h>
#include <link.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <string>

namespace vkplatform::kernel {

// Sleeps at least `milliseconds`, resuming after a signal interrupts it.
inline void sleepMilliseconds(unsigned milliseconds) {
    timespec remaining{static_cast<time_t>(milliseconds / 1000),
                       static_cast<long>(milliseconds % 1000) * 1000000L};
    while (::nanosleep(&remaining, &remaining) == -1 && errno == EINTR) {
    }
}

// A loaded module and a function found in it.
using HMODULE = void*;
using FARPROC = void (*)();

// The file a module name stands for: "dir/Name.dll" (any case of ".dll") is
// "dir/libName.so"; any other name is taken as given.
inline std::string moduleFileName(const char* name) {
    const std::string text(name);
    const std::size_t n = text.size();
    if (n < 4 || text[n - 4] != '.' || std::tolower(static_cast<unsigned char>(text[n - 3])) != 'd' ||
        std::tolower(static_cast<unsigned char>(text[n - 2])) != 'l' ||
        std::tolower(static_cast<unsigned char>(text[n - 1])) != 'l')
        return text;
    const std::size_t slash = text.rfind('/');
    const std::size_t stem = slash == std::string::npos ? 0 : slash + 1;
    return text.substr(0, stem) + "lib" + text.substr(stem, n - 4 - stem) + ".so";
}

// The symbol a procedure name stands for: "_name@N" (an identifier between the
// underscore and "@", N decimal digits) is "name"; anything else as given.
inline std::string procedureSymbol(const char* name) {
    const std::string text(name);
    const std::size_t at = text.rfind('@');
    if (text.size() < 4 || text[0] != '_' || at == std::string::npos || at < 2 || at + 1 == text.size())
        return text;
    for (std::size_t i = at + 1; i < text.size(); ++i)
        if (!std::isdigit(static_cast<unsigned char>(text[i]))) return text;
    const auto identifier = [](unsigned char c, bool first) {
        return c == '_' || std::isalpha(c) || (!first && std::isdigit(c));
    };
    for (std::size_t i = 1; i < at; ++i)
        if (!identifier(static_cast<unsigned char>(text[i]), i == 1)) return text;
    return text.substr(1, at - 1);
}

// Loads a module by its file name (see moduleFileName), resolving every symbol
// now and binding none process-wide; null when it cannot be loaded.
inline HMODULE LoadLibraryA(const char* name) {
    if (name == nullptr) return nullptr;
    return ::dlopen(moduleFileName(name).c_str(), RTLD_NOW | RTLD_LOCAL);
}

// A function the module itself defines (see procedureSymbol); null for a
// missing name and for one only a module it depends on defines.
inline FARPROC GetProcAddress(HMODULE module, const char* name) {
    if (module == nullptr || name == nullptr) return nullptr;
    void* symbol = ::dlsym(module, procedureSymbol(name).c_str());
    if (symbol == nullptr) return nullptr;
    link_map* own = nullptr;
    link_map* definer = nullptr;
    Dl_info info;
    if (::dlinfo(module, RTLD_DI_LINKMAP, &own) != 0 ||
        ::dladdr1(symbol, &info, reinterpret_cast<void**>(&definer), RTLD_DL_LINKMAP) == 0 || definer != own)
        return nullptr;
    return reinterpret_cast<FARPROC>(symbol);
}

} // namespace vkplatform::kernel

#endif

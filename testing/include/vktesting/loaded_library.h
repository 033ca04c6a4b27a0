// A shared library opened by file name or path with RTLD_NOW | RTLD_GLOBAL (as
// the reader library binds its port libraries), closed again with the object.
// dlopen hands out the copy already loaded, so a test reaches the very instance
// the code under test uses.
#ifndef VKTESTING_LOADED_LIBRARY_H
#define VKTESTING_LOADED_LIBRARY_H

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <string>

class LoadedLibrary {
  public:
    explicit LoadedLibrary(const std::string& file)
        : handle_(::dlopen(file.c_str(), RTLD_NOW | RTLD_GLOBAL)) {
        EXPECT_NE(handle_, nullptr) << ::dlerror();
    }
    ~LoadedLibrary() {
        if (handle_ != nullptr) ::dlclose(handle_);
    }
    LoadedLibrary(const LoadedLibrary&) = delete;
    LoadedLibrary& operator=(const LoadedLibrary&) = delete;

    bool loaded() const { return handle_ != nullptr; }

    // The function `name` of the library; a missing one fails the test unless
    // it is not `required` (to check that a name stays inside the library).
    template <typename Fn> Fn symbol(const char* name, bool required = true) {
        Fn fn = handle_ == nullptr ? nullptr : reinterpret_cast<Fn>(::dlsym(handle_, name));
        if (required) {
            EXPECT_NE(fn, nullptr) << name;
        }
        return fn;
    }

  private:
    void* handle_;
};

#endif

// A shared library opened by file name or path the way the binder opens port
// libraries (RTLD_NOW | RTLD_GLOBAL), closed again with the object. dlopen hands
// out the copy already loaded, so a test reaches the very instance libvkkrn uses.
#ifndef VKKRN_TESTS_LOADED_LIBRARY_H
#define VKKRN_TESTS_LOADED_LIBRARY_H

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

    // The function `name` of the library; a missing one fails the test.
    template <typename Fn> Fn symbol(const char* name) {
        Fn fn = handle_ == nullptr ? nullptr : reinterpret_cast<Fn>(::dlsym(handle_, name));
        EXPECT_NE(fn, nullptr) << name;
        return fn;
    }

  private:
    void* handle_;
};

#endif

// Controls of a stand-in port library on the library path.
#ifndef VKKRN_TESTS_FAKE_PORT_LIBRARY_H
#define VKKRN_TESTS_FAKE_PORT_LIBRARY_H

#include <dlfcn.h>
#include <gtest/gtest.h>

// Opens `file` as the binder does and looks controls up in it.
class FakePortLibrary {
  public:
    explicit FakePortLibrary(const char* file) : handle_(::dlopen(file, RTLD_NOW | RTLD_GLOBAL)) {
        EXPECT_NE(handle_, nullptr) << ::dlerror();
    }
    ~FakePortLibrary() {
        if (handle_ != nullptr) ::dlclose(handle_);
    }
    FakePortLibrary(const FakePortLibrary&) = delete;
    FakePortLibrary& operator=(const FakePortLibrary&) = delete;

    template <typename Fn> Fn control(const char* name) {
        Fn fn = handle_ == nullptr ? nullptr : reinterpret_cast<Fn>(::dlsym(handle_, name));
        EXPECT_NE(fn, nullptr) << name;
        return fn;
    }

  private:
    void* handle_;
};

#endif

// Access to the test plug-in libraries from tests that use the deliverable.
#ifndef VKKRN_TESTS_PLUGIN_LIBRARY_H
#define VKKRN_TESTS_PLUGIN_LIBRARY_H

#include "test_plugin.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <string>

// Path of a test plug-in library: "" is the scriptable one, else its variant
// ("without_create", "without_release", "create_fails", "no_object",
// "without_loadlib").
inline std::string testPlugInPath(const std::string& variant = "") {
    return std::string(VKKRN_TEST_PLUGIN_DIR) + "/libvkkrn_testpi" + (variant.empty() ? "" : "_" + variant) +
           ".so";
}

// The controls of a loaded test plug-in library (the loader hands out the
// instance already loaded by VKKRN_PI_Get).
class TestPlugInControls {
  public:
    explicit TestPlugInControls(const std::string& variant = "") {
        handle_ = ::dlopen(testPlugInPath(variant).c_str(), RTLD_NOW | RTLD_GLOBAL);
        EXPECT_NE(handle_, nullptr) << ::dlerror();
        reset = get<TESTPI_Reset_Fn>("TESTPI_Reset");
        setResult = get<TESTPI_SetResult_Fn>("TESTPI_SetResult");
        setReleaseResult = get<TESTPI_SetReleaseResult_Fn>("TESTPI_SetReleaseResult");
        calls = get<TESTPI_Calls_Fn>("TESTPI_Calls");
        lastPointer = get<TESTPI_LastPointer_Fn>("TESTPI_LastPointer");
        lastInt = get<TESTPI_LastInt_Fn>("TESTPI_LastInt");
        block = get<TESTPI_Block_Fn>("TESTPI_Block");
        unblock = get<TESTPI_Unblock_Fn>("TESTPI_Unblock");
        waiting = get<TESTPI_Waiting_Fn>("TESTPI_Waiting");
        live = get<TESTPI_Live_Fn>("TESTPI_Live");
        logFn_ = get<TESTPI_Log_Fn>("TESTPI_Log");
        if (reset != nullptr) reset();
    }
    ~TestPlugInControls() {
        if (handle_ != nullptr) ::dlclose(handle_);
    }
    TestPlugInControls(const TestPlugInControls&) = delete;
    TestPlugInControls& operator=(const TestPlugInControls&) = delete;

    std::string log() const {
        char text[4096] = {};
        logFn_(text, sizeof text);
        return text;
    }

    TESTPI_Reset_Fn reset = nullptr;
    TESTPI_SetResult_Fn setResult = nullptr;
    TESTPI_SetReleaseResult_Fn setReleaseResult = nullptr;
    TESTPI_Calls_Fn calls = nullptr;
    TESTPI_LastPointer_Fn lastPointer = nullptr;
    TESTPI_LastInt_Fn lastInt = nullptr;
    TESTPI_Block_Fn block = nullptr;
    TESTPI_Unblock_Fn unblock = nullptr;
    TESTPI_Waiting_Fn waiting = nullptr;
    TESTPI_Live_Fn live = nullptr;

  private:
    template <typename Fn> Fn get(const char* name) {
        Fn fn = handle_ == nullptr ? nullptr : reinterpret_cast<Fn>(::dlsym(handle_, name));
        EXPECT_NE(fn, nullptr) << name;
        return fn;
    }

    void* handle_ = nullptr;
    TESTPI_Log_Fn logFn_ = nullptr;
};

#endif

// Access to the test plug-in libraries from tests that use the deliverable.
#ifndef VKKRN_TESTS_PLUGIN_LIBRARY_H
#define VKKRN_TESTS_PLUGIN_LIBRARY_H

#include "test_plugin.h"

#include "loaded_library.h"

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
    explicit TestPlugInControls(const std::string& variant = "") : library_(testPlugInPath(variant)) {
        reset = library_.symbol<TESTPI_Reset_Fn>("TESTPI_Reset");
        setResult = library_.symbol<TESTPI_SetResult_Fn>("TESTPI_SetResult");
        setReleaseResult = library_.symbol<TESTPI_SetReleaseResult_Fn>("TESTPI_SetReleaseResult");
        calls = library_.symbol<TESTPI_Calls_Fn>("TESTPI_Calls");
        lastPointer = library_.symbol<TESTPI_LastPointer_Fn>("TESTPI_LastPointer");
        lastInt = library_.symbol<TESTPI_LastInt_Fn>("TESTPI_LastInt");
        block = library_.symbol<TESTPI_Block_Fn>("TESTPI_Block");
        unblock = library_.symbol<TESTPI_Unblock_Fn>("TESTPI_Unblock");
        waiting = library_.symbol<TESTPI_Waiting_Fn>("TESTPI_Waiting");
        live = library_.symbol<TESTPI_Live_Fn>("TESTPI_Live");
        logFn_ = library_.symbol<TESTPI_Log_Fn>("TESTPI_Log");
        if (reset != nullptr) reset();
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
    LoadedLibrary library_;
    TESTPI_Log_Fn logFn_ = nullptr;
};

#endif

// The library as its callers see it: "libvktcp.so" opened by file name with
// dlopen, every function bound by its exported name.
#ifndef VKTCP_TESTS_TCP_API_H
#define VKTCP_TESTS_TCP_API_H

#include <vktcp.h>

#include <gtest/gtest.h>

#include <string>

namespace vktcp_test {

struct TcpApi {
    void* library = nullptr;
    VKTCP_GetDLLVersion_Fn GetDLLVersion = nullptr;
    VKTCP_GetErrorText_Fn GetErrorText = nullptr;
    VKTCP_GetLastError_Fn GetLastError = nullptr;
    VKTCP_AddEventHandler_Fn AddEventHandler = nullptr;
    VKTCP_DelEventHandler_Fn DelEventHandler = nullptr;
    VKTCP_Detect_Fn Detect = nullptr;
    VKTCP_Connect_Fn Connect = nullptr;
    VKTCP_DisConnect_Fn DisConnect = nullptr;
    VKTCP_GetSocketList_Fn GetSocketList = nullptr;
    VKTCP_GetSocketPara_Fn GetSocketPara = nullptr;
    VKTCP_SetSocketPara_Fn SetSocketPara = nullptr;
    VKTCP_GetSocketHnd_Fn GetSocketHnd = nullptr;
    VKTCP_Transceive_Fn Transceive = nullptr;
    VKTCP_Transmit_Fn Transmit = nullptr;
    VKTCP_Receive_Fn Receive = nullptr;
    VKTCP_GetSocketState_Fn GetSocketState = nullptr;
    char* errorText = nullptr; // g_cVktcpErrorText

    // A socket parameter as text ("" and a failed expectation on error).
    std::string para(int handle, const char* key) const;
    // The library's text for `code` in the current language.
    std::string text(int code) const;
};

// The library, opened once per process (RTLD_NOW | RTLD_GLOBAL) and kept open.
const TcpApi& tcp();

// Fixture for tests that need an empty registry before and after.
class TcpTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;
    const TcpApi& api = tcp();
};

} // namespace vktcp_test

#endif

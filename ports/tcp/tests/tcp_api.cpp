#include "tcp_api.h"

#include <dlfcn.h>

#include <stdexcept>

namespace vktcp_test {

namespace {

template <typename Fn> void bind(void* library, Fn& target, const char* name) {
    target = reinterpret_cast<Fn>(::dlsym(library, name));
    if (target == nullptr) throw std::runtime_error(std::string("libvktcp.so lacks ") + name);
}

TcpApi load() {
    TcpApi api;
    api.library = ::dlopen("libvktcp.so", RTLD_NOW | RTLD_GLOBAL);
    if (api.library == nullptr) throw std::runtime_error(::dlerror());
    bind(api.library, api.GetDLLVersion, "VKTCP_GetDLLVersion");
    bind(api.library, api.GetErrorText, "VKTCP_GetErrorText");
    bind(api.library, api.GetLastError, "VKTCP_GetLastError");
    bind(api.library, api.AddEventHandler, "VKTCP_AddEventHandler");
    bind(api.library, api.DelEventHandler, "VKTCP_DelEventHandler");
    bind(api.library, api.Detect, "VKTCP_Detect");
    bind(api.library, api.Connect, "VKTCP_Connect");
    bind(api.library, api.DisConnect, "VKTCP_DisConnect");
    bind(api.library, api.GetSocketList, "VKTCP_GetSocketList");
    bind(api.library, api.GetSocketPara, "VKTCP_GetSocketPara");
    bind(api.library, api.SetSocketPara, "VKTCP_SetSocketPara");
    bind(api.library, api.GetSocketHnd, "VKTCP_GetSocketHnd");
    bind(api.library, api.Transceive, "VKTCP_Transceive");
    bind(api.library, api.Transmit, "VKTCP_Transmit");
    bind(api.library, api.Receive, "VKTCP_Receive");
    bind(api.library, api.GetSocketState, "VKTCP_GetSocketState");
    bind(api.library, api.errorText, "g_cVktcpErrorText");
    if (::dlsym(api.library, "g_LibVkTcpDrvHnd") == nullptr) throw std::runtime_error("no registry symbol");
    return api;
}

} // namespace

const TcpApi& tcp() {
    static const TcpApi api = load();
    return api;
}

std::string TcpApi::para(int handle, const char* key) const {
    char value[128] = {};
    const int rc = GetSocketPara(handle, key, value);
    EXPECT_EQ(rc, 0) << key;
    return rc == 0 ? value : "";
}

std::string TcpApi::text(int code) const {
    char buffer[256] = {};
    GetErrorText(code, buffer);
    return buffer;
}

void TcpTest::SetUp() {
    ASSERT_EQ(api.GetSocketList(0), -1201) << "the registry must be empty when a test starts";
}

void TcpTest::TearDown() {
    EXPECT_EQ(api.GetSocketList(0), -1201) << "a test left a socket connected";
}

} // namespace vktcp_test

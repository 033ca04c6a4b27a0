// A connection of the real libvktcp to a bare accepting socket on loopback, for
// tests that need an open TCP handle.
#ifndef VKKRN_TESTS_TCP_CONNECTION_H
#define VKKRN_TESTS_TCP_CONNECTION_H

#include <vktcp.h>
#include <vktesting/loopback_listener.h>

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <string>

class TcpLibrary {
  public:
    TcpLibrary() : library_(::dlopen("libvktcp.so", RTLD_NOW | RTLD_GLOBAL)) {
        EXPECT_NE(library_, nullptr) << ::dlerror();
        connect = get<VKTCP_Connect_Fn>("VKTCP_Connect");
        disconnect = get<VKTCP_DisConnect_Fn>("VKTCP_DisConnect");
        getPara = get<VKTCP_GetSocketPara_Fn>("VKTCP_GetSocketPara");
        setPara = get<VKTCP_SetSocketPara_Fn>("VKTCP_SetSocketPara");
        errorText = get<VKTCP_GetErrorText_Fn>("VKTCP_GetErrorText");
    }
    ~TcpLibrary() {
        if (library_ != nullptr) ::dlclose(library_);
    }
    TcpLibrary(const TcpLibrary&) = delete;
    TcpLibrary& operator=(const TcpLibrary&) = delete;

    std::string get(int handle, const char* key) {
        char value[128] = {};
        EXPECT_EQ(getPara(handle, key, value), 0) << key;
        return value;
    }

    VKTCP_Connect_Fn connect = nullptr;
    VKTCP_DisConnect_Fn disconnect = nullptr;
    VKTCP_GetSocketPara_Fn getPara = nullptr;
    VKTCP_SetSocketPara_Fn setPara = nullptr;
    VKTCP_GetErrorText_Fn errorText = nullptr;

  private:
    template <typename Fn> Fn get(const char* name) {
        Fn fn = library_ == nullptr ? nullptr : reinterpret_cast<Fn>(::dlsym(library_, name));
        EXPECT_NE(fn, nullptr) << name;
        return fn;
    }

    void* library_;
};

#endif

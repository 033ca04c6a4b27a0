// A connection of the real libvktcp to a bare accepting socket on loopback, for
// tests that need an open TCP handle.
#ifndef VKKRN_TESTS_TCP_CONNECTION_H
#define VKKRN_TESTS_TCP_CONNECTION_H

#include <vktcp.h>
#include <vktesting/loopback_listener.h>

#include "loaded_library.h"

#include <gtest/gtest.h>

#include <string>

class TcpLibrary {
  public:
    TcpLibrary() : library_("libvktcp.so") {
        connect = library_.symbol<VKTCP_Connect_Fn>("VKTCP_Connect");
        disconnect = library_.symbol<VKTCP_DisConnect_Fn>("VKTCP_DisConnect");
        getPara = library_.symbol<VKTCP_GetSocketPara_Fn>("VKTCP_GetSocketPara");
        setPara = library_.symbol<VKTCP_SetSocketPara_Fn>("VKTCP_SetSocketPara");
        errorText = library_.symbol<VKTCP_GetErrorText_Fn>("VKTCP_GetErrorText");
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
    LoadedLibrary library_;
};

#endif

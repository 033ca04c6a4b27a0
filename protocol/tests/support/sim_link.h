// A simulated KRN reader and a port of the real port library on it: TCP on
// loopback through libvktcp, or a pseudo-terminal through libvkcom. The port
// libraries are the ones libvkkrn binds: dlopen by file name finds the same copy.
#ifndef VKKRN_TESTS_SIM_LINK_H
#define VKKRN_TESTS_SIM_LINK_H

#include "loaded_library.h"

#include <krnsim/simulator.h>
#include <vkkrn.h>
#include <vktcp.h>

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <memory>
#include <optional>
#include <string>

enum class LinkKind { Tcp, Pty };

inline const char* linkName(LinkKind kind) {
    return kind == LinkKind::Tcp ? "Tcp" : "Pty";
}

class SimLink {
  public:
    explicit SimLink(LinkKind kind) : kind_(kind) {
        if (kind == LinkKind::Tcp) {
            LoadedLibrary& tcp = library_.emplace("libvktcp.so");
            port_ = sim.listenTcp().port;
            auto connect = tcp.symbol<VKTCP_Connect_Fn>("VKTCP_Connect");
            disconnect_ = tcp.symbol<VKTCP_DisConnect_Fn>("VKTCP_DisConnect");
            handle = connect("127.0.0.1", port_);
        } else {
            LoadedLibrary& com = library_.emplace("libvkcom.so");
            // The serial library opens its prefix and the port number minus 1, at
            // most 15 characters: a short link to the pty's slave keeps within that.
            char dir[] = "/tmp/vkXXXXXX"; // with "/0": the 15 characters allowed
            EXPECT_NE(::mkdtemp(dir), nullptr);
            linkDir_ = dir;
            sim.openPty(linkDir_ + "/0");
            using ParaFn = int (*)(int, char*, char*);
            using OpenFn = int (*)(char*);
            auto setPara = com.symbol<ParaFn>("VIZER_SetPortPara");
            auto open = com.symbol<OpenFn>("VIZER_OpenPort");
            closePort_ = com.symbol<int (*)(int)>("VIZER_ClosePort");
            char key[] = "PORTPREFIX";
            std::string prefix = linkDir_ + "/";
            EXPECT_EQ(setPara(0, key, prefix.data()), 0);
            char number[] = "1";
            handle = open(number);
        }
        EXPECT_GT(handle, 0);
    }
    ~SimLink() {
        if (kind_ == LinkKind::Tcp) {
            if (handle > 0 && disconnect_ != nullptr) disconnect_(handle);
        } else {
            if (handle > 0 && closePort_ != nullptr) closePort_(handle);
        }
        library_.reset();
        sim_.reset();
        if (!linkDir_.empty()) ::rmdir(linkDir_.c_str());
    }
    SimLink(const SimLink&) = delete;
    SimLink& operator=(const SimLink&) = delete;

    LinkKind kind() const { return kind_; }
    // A new reader of libvkkrn on this link's port with the port parameter
    // "Timeout" set to `timeoutMs`: its handle (a failure fails the test).
    int newReader(const char* timeoutMs = "3000") const {
        const int reader = VKKRN_NewReader(handle);
        EXPECT_GT(reader, 0);
        std::string key = "Timeout";
        std::string value = timeoutMs;
        EXPECT_EQ(VKKRN_PI_SetPortPara(reader, key.data(), value.data()), 0);
        return reader;
    }
    std::uint16_t tcpPort() const { return port_; }
    // The port library's receive time-out code.
    int timeoutCode() const { return kind_ == LinkKind::Tcp ? -1230 : -1030; }
    int disconnect() {
        const int rc = disconnect_(handle);
        handle = 0;
        return rc;
    }

  private:
    LinkKind kind_;
    std::unique_ptr<krnsim::Simulator> sim_ = std::make_unique<krnsim::Simulator>();
    std::optional<LoadedLibrary> library_; // libvktcp or libvkcom, by the link's kind
    VKTCP_DisConnect_Fn disconnect_ = nullptr;
    int (*closePort_)(int) = nullptr;
    std::uint16_t port_ = 0;
    std::string linkDir_;

  public:
    krnsim::Simulator& sim = *sim_;
    int handle = 0;
};

#endif

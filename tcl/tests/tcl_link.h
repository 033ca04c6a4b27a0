// One simulated reader with a T=CL card, reached over one of three links: a
// pseudo-terminal through libvkcom, TCP on loopback through libvktcp, or an
// installed port plug-in on a socket pair (the reader library's route).
#ifndef VKTCL_TESTS_TCL_LINK_H
#define VKTCL_TESTS_TCL_LINK_H

#include "sim_link.h"
#include "sim_port_plugin.h"

#include <krnsim/tcl_card.h>
#include <vkkrn.h>
#include <vktcl.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

enum class TclLink { Serial, Tcp, PlugIn };

inline std::string tclLinkName(const ::testing::TestParamInfo<TclLink>& info) {
    switch (info.param) {
    case TclLink::Serial: return "Serial";
    case TclLink::Tcp: return "Tcp";
    case TclLink::PlugIn: return "PlugIn";
    }
    return "?";
}

using Bytes = std::vector<std::uint8_t>;

class TclLinkTest : public ::testing::TestWithParam<TclLink> {
  protected:
    static constexpr int kTimeoutMs = 150;

    void SetUp() override { open(GetParam()); }

    void open(TclLink kind) {
        kind_ = kind;
        if (kind == TclLink::PlugIn) {
            ownSim_ = std::make_unique<krnsim::Simulator>();
            sim_ = ownSim_.get();
            reader_ = VKKRN_NewReader(VKKRN_PLUGIN);
            ASSERT_GT(reader_, 0);
            plugIn_ = new SimPortPlugIn(*sim_);
            plugIn_->timeoutMs = kTimeoutMs;
            ASSERT_EQ(VKKRN_PI_Install(reader_, plugIn_), 0);
        } else {
            link_ = std::make_unique<SimLink>(kind == TclLink::Tcp ? LinkKind::Tcp : LinkKind::Pty);
            sim_ = &link_->sim;
            reader_ = link_->newReader(std::to_string(kTimeoutMs).c_str());
            if (kind == TclLink::Tcp) setPortPara("CHARTIMEOUT", "30");
        }
        card_ = std::make_unique<krnsim::TclCard>(sim_->reader());
        card_->install();
        setBuffers(256, 256);
    }

    void TearDown() override {
        for (int h = VKTCL_GetTransponderList(0); h > 0; h = VKTCL_GetTransponderList(0))
            VKTCL_DeleteTransponder(h);
        if (card_ != nullptr) {
            EXPECT_EQ(card_->oversizeCount(), 0u);
        }
        if (reader_ > 0) VKKRN_DeleteReader(reader_);
        // The simulator's thread may be inside the card's handler until it stops.
        link_.reset();
        ownSim_.reset();
        card_.reset();
    }

    void setBuffers(int receive, int transmit) {
        Bytes info = krnsim::ReaderModel::defaultReaderInfo();
        info[7] = static_cast<std::uint8_t>(receive >> 8);
        info[8] = static_cast<std::uint8_t>(receive);
        info[9] = static_cast<std::uint8_t>(transmit >> 8);
        info[10] = static_cast<std::uint8_t>(transmit);
        sim_->reader().setReaderInfo(0, info);
    }

    int setPortPara(const char* key, const char* value) {
        std::string k = key;
        std::string v = value;
        return VKKRN_PI_SetPortPara(reader_, k.data(), v.data());
    }
    int portTimeout() {
        char key[] = "Timeout";
        char value[128] = {};
        if (VKKRN_PI_GetPortPara(reader_, key, value) < 0) return -1;
        return std::atoi(value);
    }

    int newTransponder(bool useCid = false, bool useNad = false, unsigned char cid = 0) {
        card_->setCid(cid);
        const int h =
            VKTCL_NewTransponder(reader_, krnsim::Reader::kDefaultBusAddress, cid, 0x21, useCid, useNad);
        EXPECT_GT(h, 0);
        return h;
    }

    static Bytes apduOf(std::size_t n, std::uint8_t first = 0) {
        Bytes a(n);
        for (std::size_t i = 0; i < n; ++i)
            a[i] = static_cast<std::uint8_t>(first + i);
        return a;
    }
    static Bytes echoed(Bytes apdu) {
        apdu.push_back(0x90);
        apdu.push_back(0x00);
        return apdu;
    }

    int apdu(int h, Bytes a) { return VKTCL_Apdu(h, a.data(), static_cast<int>(a.size()), nullptr); }

    // The response, or the code of VKTCL_GetResponseData as its only element
    // when it fails (negative).
    Bytes response(int h, int* rc = nullptr) {
        Bytes out(70000);
        const int n = VKTCL_GetResponseData(h, out.data(), static_cast<int>(out.size()));
        if (rc != nullptr) *rc = n;
        out.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
        return out;
    }

    // The port library's time-out code, or the plug-in's.
    int timeoutCode() const {
        switch (kind_) {
        case TclLink::Serial: return -1030;
        case TclLink::Tcp: return -1230;
        case TclLink::PlugIn: return SimPortPlugIn::kReceiveTimeout;
        }
        return 0;
    }

    // Request frames of command 0xB2 the reader received.
    std::vector<krnsim::LogEntry> isoRequests() {
        std::vector<krnsim::LogEntry> out;
        for (auto& e : sim_->reader().log().entries())
            if (e.command == 0xB2) out.push_back(std::move(e));
        return out;
    }

    TclLink kind_ = TclLink::Serial;
    std::unique_ptr<SimLink> link_;
    std::unique_ptr<krnsim::Simulator> ownSim_;
    krnsim::Simulator* sim_ = nullptr;
    SimPortPlugIn* plugIn_ = nullptr; // owned by the reader once installed
    std::unique_ptr<krnsim::TclCard> card_;
    int reader_ = 0;
};

#endif

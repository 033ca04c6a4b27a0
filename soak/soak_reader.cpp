#include "soak_reader.h"

#include <vkcom/vizer.h>
#include <vkkrn.h>
#include <vktcp.h>

namespace vksoak {

SoakReader::SoakReader(Link link, int index, const std::string& ptyDir, std::chrono::milliseconds timeout)
    : link_(link), index_(index), ptyDir_(ptyDir), timeout_(timeout) {
    // Echo the request data: the sequence number comes back in the reply.
    sim().setHandler(0xB2, [](const krnsim::Request& r, krnsim::ConnectionContext&) {
        return krnsim::Reply::frame(0x00, r.data);
    });
    sim().log().setObserver([this](const krnsim::LogEntry&) { received_.fetch_add(1); });
    if (link_ == Link::Tcp) tcpPort_ = sim_->listenTcp().port;
    open();
}

SoakReader::~SoakReader() {
    close();
    sim_.reset();
}

int SoakReader::open() {
    if (link_ == Link::Tcp) {
        port_ = VKTCP_Connect("127.0.0.1", tcpPort_);
    } else {
        sim_->openPty(ptyDir_ + "/" + std::to_string(index_));
        std::string number = std::to_string(index_ + 1);
        port_ = VIZER_OpenPort(number.data());
    }
    if (port_ <= 0) {
        const int code = port_;
        port_ = 0;
        return code < 0 ? code : -1;
    }
    reader_ = VKKRN_NewReader(port_);
    if (reader_ <= 0) {
        const int code = reader_;
        reader_ = 0;
        close();
        return code;
    }
    char timeoutKey[] = "Timeout";
    std::string timeout = std::to_string(timeout_.count());
    char checkKey[] = "CHKRECBUSADR";
    char on[] = "1";
    if (const int rc = VKKRN_PI_SetPortPara(reader_, timeoutKey, timeout.data()); rc != 0) return rc;
    return VKKRN_SetReaderPara(reader_, checkKey, on);
}

void SoakReader::close() {
    if (reader_ > 0) VKKRN_DeleteReader(reader_);
    reader_ = 0;
    if (port_ > 0) {
        if (link_ == Link::Tcp)
            VKTCP_DisConnect(port_);
        else
            VIZER_ClosePort(port_);
    }
    port_ = 0;
}

int SoakReader::reconnect() {
    close();
    return open();
}

} // namespace vksoak

#include "sim_parts.h"

#include <krnsim/fault.h>
#include <krnsim/frame.h>
#include <vkcom/vizer.h>
#include <vktcp.h>

#include <stdlib.h>
#include <unistd.h>

#include <stdexcept>

namespace vkstress {

void installEcho(krnsim::Reader& reader) {
    reader.setHandler(kEchoCommand, [](const krnsim::Request& r, krnsim::ConnectionContext&) {
        return krnsim::Reply::frame(0x00, r.data);
    });
}

krnsim::Bytes echoRequest(Worker& worker) {
    krnsim::Bytes data(static_cast<std::size_t>(worker.uniform(1, 32)));
    for (auto& b : data)
        b = static_cast<std::uint8_t>(worker.uniform(0, 255));
    return krnsim::buildRequest(krnsim::Form::Standard, kBusAddress, kEchoCommand, data);
}

void queueTrouble(Worker& worker, krnsim::Reader& reader, Millis timeout) {
    const int t = static_cast<int>(timeout.count());
    switch (worker.uniform(0, 4)) {
    case 0: reader.queueFault(krnsim::Fault::close()); break;
    case 1: reader.queueFault(krnsim::Fault::reset()); break;
    case 2: reader.queueFault(krnsim::Fault::delay(Millis(worker.uniform(t / 2, 2 * t)))); break;
    case 3: reader.queueFault(krnsim::Fault::silence()); break;
    default:
        reader.queueFault(krnsim::Fault::closeAfter(static_cast<std::size_t>(worker.uniform(1, 4))));
        break;
    }
    if (worker.chance(0.05)) reader.log().clear();
}

void queueDrop(Worker& worker, krnsim::Reader& reader) {
    reader.queueFault(worker.chance(0.5) ? krnsim::Fault::close() : krnsim::Fault::reset());
    if (worker.chance(0.05)) reader.log().clear();
}

LinkDir::LinkDir() {
    char dir[] = "/tmp/vsXXXXXX";
    if (::mkdtemp(dir) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = dir;
}

LinkDir::~LinkDir() {
    for (int number = 1; number <= 10; ++number)
        ::unlink(link(number).c_str());
    ::rmdir(path_.c_str());
}

bool serving(krnsim::Simulator& sim, krnsim::ConnectionId connection) {
    for (const krnsim::ConnectionInfo& info : sim.connections()) {
        if (info.id == connection) return true;
    }
    return false;
}

int openPort(Worker& w, bool tcp, int tcpPort, int comNumber, Millis timeout, Millis limit) {
    const std::string value = std::to_string(timeout.count());
    if (tcp) {
        const int port =
            w.call("VKTCP_Connect", 0, limit, [&] { return VKTCP_Connect("127.0.0.1", tcpPort); });
        if (port <= 0) return port;
        w.call("VKTCP_SetSocketPara", port, limit,
               [&] { return VKTCP_SetSocketPara(port, "TIMEOUT", value.c_str()); });
        w.call("VKTCP_SetSocketPara", port, limit,
               [&] { return VKTCP_SetSocketPara(port, "CHARTIMEOUT", "30"); });
        return port;
    }
    std::string number = std::to_string(comNumber);
    const int port = w.call("VIZER_OpenPort", 0, limit, [&] { return VIZER_OpenPort(number.data()); });
    if (port <= 0) return port;
    std::string key = "BAUD";
    std::string text = "115200";
    w.call("VIZER_SetPortPara", port, limit,
           [&] { return VIZER_SetPortPara(port, key.data(), text.data()); });
    key = "TIMEOUT";
    text = value;
    w.call("VIZER_SetPortPara", port, limit,
           [&] { return VIZER_SetPortPara(port, key.data(), text.data()); });
    return port;
}

void closePort(Worker& w, bool tcp, int port, Millis limit) {
    if (port <= 0) return;
    if (tcp)
        w.call("VKTCP_DisConnect", port, limit, [&] { return VKTCP_DisConnect(port); });
    else
        w.call("VIZER_ClosePort", port, limit, [&] { return VIZER_ClosePort(port); });
}

} // namespace vkstress

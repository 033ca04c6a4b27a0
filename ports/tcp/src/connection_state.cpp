#include "connection_state.h"

#include <vkcommon/tcp_table.h>

#include <arpa/inet.h>
#include <netinet/in.h>

#include <array>
#include <cstring>

namespace vktcp {

namespace {

// Reported state by kernel state 0..11.
constexpr std::array<int, 12> kReportedByKernel{
    kStateNone,        // 0
    kStateEstablished, // 1 established
    kStateSynSent,     // 2 SYN sent
    kStateSynReceived, // 3 SYN received
    kStateFinWait1,    // 4 FIN wait 1
    kStateFinWait2,    // 5 FIN wait 2
    kStateTimeWait,    // 6 time-wait
    kStateClosed,      // 7 closed
    kStateCloseWait,   // 8 close-wait
    kStateLastAck,     // 9 last ACK
    kStateListen,      // 10 listen
    kStateClosing,     // 11 closing
};

} // namespace

int reportedState(unsigned kernelState) {
    return kernelState < kReportedByKernel.size() ? kReportedByKernel[kernelState] : kStateNone;
}

int connectionStateIn(std::FILE* table, const char* addressText, int port) {
    char line[vk::kTcpTableLineSize];
    bool overlong = false;
    if (!vk::readTcpTableLine(table, line, overlong)) return kStateNone; // header
    int kept = kStateNone;
    bool found = false;
    while (vk::readTcpTableLine(table, line, overlong)) {
        if (overlong) continue;
        const std::optional<vk::TcpTableLine> entry = vk::parseTcpTableLine(line);
        if (!entry || port < 0 || entry->remotePort != static_cast<unsigned>(port)) continue;
        in_addr address{};
        address.s_addr = entry->remoteAddress;
        char text[INET_ADDRSTRLEN] = {};
        if (inet_ntop(AF_INET, &address, text, sizeof text) == nullptr) continue;
        if (std::strcmp(text, addressText) != 0) continue;
        const int state = reportedState(entry->kernelState);
        if (!found || kept == kStateNone || state < kept) kept = state;
        found = true;
    }
    return kept;
}

int testConnectionStatus(const char* addressText, int port) {
    std::FILE* table = std::fopen(vk::kTcpTablePath, "re");
    if (table == nullptr) {
        std::perror(vk::kTcpTablePath);
        return kStateNone;
    }
    const int state = connectionStateIn(table, addressText, port);
    std::fclose(table);
    return state;
}

} // namespace vktcp

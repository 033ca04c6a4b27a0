#include "tasks/tcp_port_test.h"

#include <vkcommon/tcp_table.h>

namespace vkkrn {

namespace {
constexpr unsigned kLastStateInUse = 7;
}

int tcpPortInUse(std::FILE* table, unsigned int port) {
    if (port == 0) return 0;
    char line[vk::kTcpTableLineSize];
    bool overlong = false;
    if (!vk::readTcpTableLine(table, line, overlong)) return 0; // header
    while (vk::readTcpTableLine(table, line, overlong)) {
        if (overlong) continue;
        const auto entry = vk::parseTcpTableLine(line);
        if (entry && entry->localPort == port && entry->kernelState >= 1 &&
            entry->kernelState <= kLastStateInUse)
            return 1;
    }
    return 0;
}

int VkkrnTestTcpPortStatus(unsigned int port) {
    if (port == 0) return 0;
    std::FILE* table = std::fopen(vk::kTcpTablePath, "re");
    if (table == nullptr) {
        std::perror(vk::kTcpTablePath);
        return 0;
    }
    const int inUse = tcpPortInUse(table, port);
    std::fclose(table);
    return inUse;
}

} // namespace vkkrn

#include "connection_state.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <array>
#include <cstring>

namespace vktcp {

namespace {

constexpr const char* kTablePath = "/proc/net/tcp";
constexpr std::size_t kLineSize = 8192;
constexpr std::size_t kMaxAddressDigits = 8;

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

// Reads one line into `line`; false at the end of the table. Sets `overlong`
// when the line did not fit (its rest is consumed).
bool readLine(std::FILE* table, char (&line)[kLineSize], bool& overlong) {
    overlong = false;
    if (std::fgets(line, sizeof line, table) == nullptr) return false;
    const std::size_t length = std::strlen(line);
    if (length == sizeof line - 1 && line[length - 1] != '\n') {
        overlong = true;
        int c;
        while ((c = std::fgetc(table)) != EOF && c != '\n') {
        }
    }
    return true;
}

} // namespace

int reportedState(unsigned kernelState) {
    return kernelState < kReportedByKernel.size() ? kReportedByKernel[kernelState] : kStateNone;
}

std::optional<ConnectionLine> parseConnectionLine(const char* line) {
    int slot = 0;
    char local[65] = {};
    unsigned localPort = 0;
    char remote[65] = {};
    unsigned remotePort = 0;
    unsigned state = 0;
    unsigned long txQueue = 0, rxQueue = 0;
    unsigned timer = 0;
    unsigned long expiry = 0, retransmits = 0;
    int uid = 0, timeout = 0;
    long inode = 0;
    char rest[513] = {};
    const int fields =
        std::sscanf(line, "%d: %64[0-9A-Fa-f]:%X %64[0-9A-Fa-f]:%X %X %lX:%lX %X:%lX %lX %d %d %ld %512s\n",
                    &slot, local, &localPort, remote, &remotePort, &state, &txQueue, &rxQueue, &timer,
                    &expiry, &retransmits, &uid, &timeout, &inode, rest);
    if (fields <= 10) return std::nullopt;
    if (std::strlen(local) > kMaxAddressDigits || std::strlen(remote) > kMaxAddressDigits)
        return std::nullopt;
    unsigned remoteAddress = 0;
    if (std::sscanf(remote, "%X", &remoteAddress) != 1) return std::nullopt;
    return ConnectionLine{remoteAddress, remotePort, state};
}

int connectionStateIn(std::FILE* table, const char* addressText, int port) {
    char line[kLineSize];
    bool overlong = false;
    if (!readLine(table, line, overlong)) return kStateNone; // header
    int kept = kStateNone;
    bool found = false;
    while (readLine(table, line, overlong)) {
        if (overlong) continue;
        const std::optional<ConnectionLine> entry = parseConnectionLine(line);
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
    std::FILE* table = std::fopen(kTablePath, "re");
    if (table == nullptr) {
        std::perror(kTablePath);
        return kStateNone;
    }
    const int state = connectionStateIn(table, addressText, port);
    std::fclose(table);
    return state;
}

} // namespace vktcp

// Lines of the kernel's table of IPv4 TCP sockets ("/proc/net/tcp"): one parser
// for the libraries that look a socket up there.
#ifndef VKCOMMON_TCP_TABLE_H
#define VKCOMMON_TCP_TABLE_H

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <optional>

namespace vk {

inline constexpr const char* kTcpTablePath = "/proc/net/tcp";
// Lines this long or longer are skipped whole.
inline constexpr std::size_t kTcpTableLineSize = 8192;

struct TcpTableLine {
    unsigned localPort;
    unsigned remoteAddress; // network byte order, as the kernel prints it
    unsigned remotePort;
    unsigned kernelState; // 1 established ... 10 listen, 11 closing
};

// One line of the table (without the header), or nothing for a line with 10
// fields or fewer or with an address wider than 8 hex digits.
inline std::optional<TcpTableLine> parseTcpTableLine(const char* line) {
    constexpr std::size_t kMaxAddressDigits = 8;
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
    return TcpTableLine{localPort, remoteAddress, remotePort, state};
}

// Reads one line of the table into `line`; false at its end. Sets `overlong`
// when the line did not fit (its rest is consumed).
inline bool readTcpTableLine(std::FILE* table, char (&line)[kTcpTableLineSize], bool& overlong) {
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

} // namespace vk

#endif

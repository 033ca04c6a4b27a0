#include "host_address.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>

#include <cstring>

namespace vktcp {

bool isDottedAddress(const char* host) {
    in_addr address{};
    return ::inet_pton(AF_INET, host, &address) == 1;
}

std::optional<in_addr> resolveHost(const char* host) {
    in_addr address{};
    if (::inet_pton(AF_INET, host, &address) == 1) return address;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host, nullptr, &hints, &found) != 0 || found == nullptr) return std::nullopt;
    std::optional<in_addr> first;
    if (found->ai_family == AF_INET && found->ai_addr != nullptr)
        first = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr;
    ::freeaddrinfo(found);
    return first;
}

bool dottedText(in_addr address, char* out, std::size_t size) {
    if (::inet_ntop(AF_INET, &address, out, static_cast<socklen_t>(size)) != nullptr) return true;
    if (size > 0) out[0] = '\0';
    return false;
}

} // namespace vktcp

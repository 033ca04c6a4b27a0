// Turning a host text into an IPv4 peer address.
#ifndef VKTCP_HOST_ADDRESS_H
#define VKTCP_HOST_ADDRESS_H

#include <netinet/in.h>

#include <optional>

namespace vktcp {

// True when `host` is a dotted IPv4 address (strict: four decimal parts).
bool isDottedAddress(const char* host);

// The address of a dotted text, or else the first IPv4 address the resolver gives
// for the name; nothing when the name does not resolve.
std::optional<in_addr> resolveHost(const char* host);

// Writes the dotted text of `address` into `out` (at least 16 bytes); false
// (and an empty text) when it cannot be formed.
bool dottedText(in_addr address, char* out, std::size_t size);

} // namespace vktcp

#endif

// How a peer cuts the bytes it receives into requests. A framer looks at the
// bytes not yet taken and returns the length of the complete request at their
// front, or 0 while it is incomplete.
#ifndef VKSIM_REQUEST_FRAMING_H
#define VKSIM_REQUEST_FRAMING_H

#include <vksim/peer_script.h>

#include <cstddef>
#include <functional>

namespace vksim {

using RequestFramer = std::function<std::size_t(const Bytes& pending)>;

// Host-protocol requests, told apart by their first three bytes: 0x02 starts an
// advanced frame whose length is bytes 1 and 2 (big-endian); a first byte of 5
// or more is the length of a standard frame. Anything else cannot be framed and
// is taken whole as one request.
std::size_t hostRequestLength(const Bytes& pending);

// Every arrival of bytes is one request (echo peers, raw byte tests).
std::size_t arrivalRequestLength(const Bytes& pending);

} // namespace vksim

#endif

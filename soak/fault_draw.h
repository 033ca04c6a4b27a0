// The faults the soak injects: one drawn at random per faulted exchange, with
// random parameters, and the results each kind may end in.
#ifndef VKSOAK_FAULT_DRAW_H
#define VKSOAK_FAULT_DRAW_H

#include <krnsim/fault.h>
#include <krnsim/simulator.h>

#include <array>
#include <chrono>
#include <optional>
#include <random>
#include <string_view>
#include <vector>

namespace vksoak {

// The simulator's own kinds of link; the soak uses TCP and pseudo-terminals.
using Link = krnsim::LinkKind;

inline constexpr std::size_t kFaultKinds = 14;

// The error codes of one port library that an exchange can meet.
struct PortCodes {
    int receiveTimeout;
    int read;
    int transmit;
};

PortCodes portCodes(Link link);

struct Draw {
    krnsim::Fault fault;
    // The reply still arrives whole and in time: the exchange must succeed.
    bool answered;
    // The connection is gone afterwards: the reader is reconnected.
    bool endsConnection;
    // A reply of the exchange's own may still be taken: a late one when the
    // caller's thread looks after the deadline (a loaded machine), or a frame
    // cut short by a smaller length field whose CRC happens to check (one in
    // 65,536: the protocol's CRC-16 cannot tell).
    bool mayAnswer = false;
};

// Index 0 to 13 in the order of krnsim::FaultKind.
std::string_view kindName(std::size_t kind);

// Draws a fault of a kind chosen uniformly, with parameters that suit a reply
// frame of `frameLength` bytes whose command byte is `replyCommand` and the
// reply time-out `timeout`.
Draw drawFault(std::mt19937_64& random, std::size_t frameLength, std::uint8_t replyCommand,
               std::chrono::milliseconds timeout);

// Whether `code` is a result the fault kind may end in on `link`: the codes
// the libraries give for what the fault does to the reply.
bool allowedCode(krnsim::FaultKind kind, Link link, int code);

// Whether `code` is a result an exchange may end in on an authenticated channel
// whose two ends are out of step after a fault: the reader cannot decipher the
// request (and answers without data) or the host cannot decipher the reply,
// so the inner frame fails its length or CRC check, or deciphering fails.
bool outOfStepCode(int code);

} // namespace vksoak

#endif

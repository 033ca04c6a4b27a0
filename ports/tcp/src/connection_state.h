// Connection states from the kernel's table of TCP connections (/proc/net/tcp).
#ifndef VKTCP_CONNECTION_STATE_H
#define VKTCP_CONNECTION_STATE_H

#include <cstdio>
#include <optional>

namespace vktcp {

// Reported states (0: none or a kernel state without a row).
enum ConnectionState : int {
    kStateNone = 0,
    kStateClosed = 1,
    kStateListen = 2,
    kStateSynSent = 3,
    kStateSynReceived = 4,
    kStateEstablished = 5,
    kStateFinWait1 = 6,
    kStateFinWait2 = 7,
    kStateCloseWait = 8,
    kStateClosing = 9,
    kStateLastAck = 10,
    kStateTimeWait = 11,
};

// The reported number of a kernel state number.
int reportedState(unsigned kernelState);

// The state of the connections to `addressText`:`port` listed in `table` (its
// header line first): the first matching line's, replaced by a later one's when
// the kept state is 0 or the later one is lower; 0 when no line matches. Lines
// of 8192 characters or more are skipped whole.
int connectionStateIn(std::FILE* table, const char* addressText, int port);

// The same for the system's table; 0 (and a message on standard error) when it
// cannot be opened.
int testConnectionStatus(const char* addressText, int port);

} // namespace vktcp

#endif

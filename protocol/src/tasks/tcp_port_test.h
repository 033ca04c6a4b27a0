// Whether a local TCP port is taken on this host, by the kernel's table.
#ifndef VKKRN_TCP_PORT_TEST_H
#define VKKRN_TCP_PORT_TEST_H

#include <cstdio>

namespace vkkrn {

// 1 when a line of `table` (its header first) has `port` as its local port in a
// kernel state from 1 (established) to 7 (closed), else 0. Port 0 is free.
int tcpPortInUse(std::FILE* table, unsigned int port);

// The same for the system's table; 0 (and a message on standard error) when it
// cannot be opened.
int VkkrnTestTcpPortStatus(unsigned int port);

} // namespace vkkrn

#endif

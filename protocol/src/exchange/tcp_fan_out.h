// The TCP disconnection fan-out: readers that share one socket of the TCP port
// library share one registration of its disconnection handler, and each
// disconnection reaches every reader on the socket. The port library keeps one
// handler per socket, event and callback, so a registration per reader would
// leave all but the first untold.
#ifndef VKKRN_TCP_FAN_OUT_H
#define VKKRN_TCP_FAN_OUT_H

#include "reader/library_services.h"

class VKKRNReader;

namespace vkkrn {

// Adds the reader to the socket's readers; the first one registers the
// socket's handler with the port library, bound through `library`.
void joinTcpFanOut(int socketHandle, VKKRNReader* reader, LibraryServices& library);
// Removes the reader: no disconnection reaches it after this returns. The last
// one unregisters the socket's handler.
void leaveTcpFanOut(int socketHandle, VKKRNReader* reader, LibraryServices& library);

} // namespace vkkrn

#endif

// Socket services a library expects from its platform: starting and stopping
// the socket layer, the error of the last failed call, closing a socket, and
// the flag that keeps a send to a closed peer from raising SIGPIPE. On this
// system sockets need no start-up, so start and stop succeed without work.
#ifndef VKPLATFORM_SOCKET_SERVICES_H
#define VKPLATFORM_SOCKET_SERVICES_H

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace vkplatform::sockets {

inline constexpr int kInvalidSocket = -1;

// Flags for every send: a peer that has gone away gives an error, not a signal.
inline constexpr int kSendFlags = MSG_NOSIGNAL;

// Starts the socket layer: 0, or an error code.
inline int start() {
    return 0;
}

// Releases what start() took.
inline void stop() {}

// The error of the last failed socket call on this thread.
inline int lastError() {
    return errno;
}

// Closes a socket; 0 or -1.
inline int closeSocket(int socket) {
    return ::close(socket);
}

} // namespace vkplatform::sockets

#endif

// The sockets of the notification listener: the listening socket with its
// options, and a send that neither blocks past a deadline nor raises SIGPIPE.
#ifndef VKKRN_LISTENER_SOCKET_H
#define VKKRN_LISTENER_SOCKET_H

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>

struct _VKKRN_TASK_INIT;

namespace vkkrn::listener {

// A listener line: text, and a number printed after it when given.
using LineSink = std::function<void(const char* text, std::optional<int> value)>;

// A stream socket bound to the record's address text (empty: every interface)
// and port, listening with a backlog of 1, close-on-exec and non-blocking; with
// the record's keep-alive flag, SO_KEEPALIVE and the three TCP keep-alive values
// (idle and interval in milliseconds rounded up to seconds), each refusal logged
// and passed over. The descriptor, or -1 (nothing left open).
int openListeningSocket(const _VKKRN_TASK_INIT& record, const LineSink& line);

// Sends every byte on the non-blocking socket `fd` before `limit` has passed,
// waiting for room in steps of 10 ms and giving up once `stop` is set: 0, or the
// error number (ETIMEDOUT when the limit passed, ECANCELED on a stop).
int sendWithin(int fd, std::span<const std::uint8_t> bytes, std::chrono::milliseconds limit,
               const std::atomic<unsigned char>& stop);

// The peer's IPv4 address as "%u.%u.%u.%u" (16 bytes at `out`).
void formatPeer(std::uint32_t networkOrderAddress, char* out);

} // namespace vkkrn::listener

#endif

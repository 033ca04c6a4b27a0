// Waiting, sending and reading on a connected stream socket, and the two ways a
// reply is completed. No state of its own: the socket object keeps the time-outs
// and the errors.
#ifndef VKTCP_SOCKET_IO_H
#define VKTCP_SOCKET_IO_H

#include <netinet/in.h>

#include <cstddef>
#include <cstdint>

namespace vktcp {

// Outcome of a transfer: the result (a count or a negative code) and, when a
// system call failed, its error number (0 otherwise).
struct IoResult {
    int result;
    int systemError;
    // Time-out framing that ended quietly after some bytes clears the socket's
    // last error.
    bool clearsLastError = false;
};

// A blocking connect; a signal that interrupts it does not end it.
bool connectBlocking(int fd, const sockaddr_in& peer);

enum class WaitOutcome { Ready, Expired, Failed };

// Waits until `fd` has input (or an error or end of stream to report), at most
// `timeoutUs` microseconds; an interrupted wait goes on with the time that
// remains. On Failed, `systemError` holds the error number.
WaitOutcome waitReadable(int fd, std::int64_t timeoutUs, int& systemError);

// Sends all `length` bytes; signals never raise SIGPIPE and interruptions resume
// with the rest. A peer that takes nothing for `timeoutUs` ends the send.
// Returns kOk or kErrTransmit with the error number.
IoResult sendAll(int fd, const std::uint8_t* data, std::size_t length, std::int64_t timeoutUs);

// Reads and drops what is already waiting, without waiting, at most `limit` bytes.
void discardPendingInput(int fd, std::size_t limit);

// Drops a reply that may still arrive after its request timed out: waits at
// most `windowUs` for input, then reads and drops until the line is quiet for
// `charTimeoutUs`, at most `limit` bytes, never past the window's end.
void dropLateReply(int fd, std::int64_t windowUs, std::int64_t charTimeoutUs, std::size_t limit);

// Length-field framing: the first byte gives the length of a standard frame
// (5 or more), 0x02 and a 16-bit big-endian length an advanced one (7 or more).
// Reads exactly the frame, so a frame that follows stays queued. A frame longer
// than `size` is read to its end (each read at most `charTimeoutUs`, stopping at
// end of stream or an error), the buffer zeroed and kErrBufferTooSmall returned.
// Bytes that have already arrived are read without a wait; `afterRequest` (a
// request has just been sent, so its reply cannot be there yet) waits before
// the first read instead of trying it.
IoResult readLengthFramed(int fd, std::uint8_t* buffer, int size, std::int64_t timeoutUs,
                          std::int64_t charTimeoutUs, bool afterRequest);

// Time-out framing: one wait and one single-byte read per byte; the reply ends
// when the line stays quiet for `charTimeoutUs` or the buffer is full.
IoResult readUntilQuiet(int fd, std::uint8_t* buffer, int size, std::int64_t timeoutUs,
                        std::int64_t charTimeoutUs);

} // namespace vktcp

#endif

// Both reply framings over random bytes: the input (after three bytes that pick
// the framing and the buffer size) is written into a socket pair whose sending
// side is then shut, and replies are read until the stream ends. The buffer sits
// between guard bytes; a read must never touch them.
#include "error_codes.h"
#include "socket_io.h"

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr std::size_t kGuard = 16;
constexpr std::uint8_t kGuardByte = 0xA5;
constexpr int kMaxReads = 4096;

void check(bool condition) {
    if (!condition) std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3) return 0;
    const bool lengthField = (data[0] & 1) != 0;
    const int bufferSize = 1 + (data[1] << 8 | data[2]) % 65540;
    data += 3;
    size -= 3;

    int pair[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) return 0;
    std::size_t written = 0;
    while (written < size) {
        const ssize_t n = ::send(pair[1], data + written, size - written, MSG_DONTWAIT | MSG_NOSIGNAL);
        if (n <= 0) break; // the pair is full: the rest is cut off
        written += static_cast<std::size_t>(n);
    }
    ::shutdown(pair[1], SHUT_WR);

    std::vector<std::uint8_t> memory(bufferSize + 2 * kGuard, kGuardByte);
    std::uint8_t* buffer = memory.data() + kGuard;
    for (int reads = 0; reads < kMaxReads; ++reads) {
        std::fill(buffer, buffer + bufferSize, 0x3C);
        const vktcp::IoResult r =
            lengthField ? vktcp::readLengthFramed(pair[0], buffer, bufferSize, 0, 0, reads % 2 == 0)
                        : vktcp::readUntilQuiet(pair[0], buffer, bufferSize, 0, 0);
        for (std::size_t i = 0; i < kGuard; ++i)
            check(memory[i] == kGuardByte && memory[kGuard + bufferSize + i] == kGuardByte);
        check(r.result <= bufferSize);
        if (r.result == vktcp::kErrBufferTooSmall)
            check(std::all_of(buffer, buffer + bufferSize, [](std::uint8_t b) { return b == 0; }));
        if (lengthField && r.result > 0) {
            const int length = buffer[0] == 0x02 ? buffer[1] * 256 + buffer[2] : buffer[0];
            check(length == r.result);
        }
        if (r.result == vktcp::kErrRead || r.result == vktcp::kErrReceiveTimeout) break;
    }
    ::close(pair[0]);
    ::close(pair[1]);
    return 0;
}

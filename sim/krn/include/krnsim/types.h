// Small types every part of the reader simulator uses.
#ifndef KRNSIM_TYPES_H
#define KRNSIM_TYPES_H

#include <chrono>
#include <cstdint>
#include <span>
#include <vector>

namespace krnsim {

using Bytes = std::vector<std::uint8_t>;
using ByteView = std::span<const std::uint8_t>;
using Clock = std::chrono::steady_clock;
using TimePoint = Clock::time_point;
using Millis = std::chrono::milliseconds;

// Names one connection of a simulator: a TCP connection, a pty, a local socket
// pair or the in-process exchange link (id 0).
using ConnectionId = std::uint64_t;
inline constexpr ConnectionId kExchangeConnection = 0;

} // namespace krnsim

#endif

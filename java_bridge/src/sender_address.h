// The sender of a notification as the listener hands it over: an IPv4 address
// text, read as "%u.%u.%u.%u" would read it, bounded and without undefined
// behaviour on long numbers.
#ifndef NUBOKRN4J_SENDER_ADDRESS_H
#define NUBOKRN4J_SENDER_ADDRESS_H

#include <array>
#include <cstddef>
#include <cstdint>

namespace nubokrn4j {

// At most this many characters of the text are read.
inline constexpr std::size_t kSenderTextLimit = 64;

// Four numbers separated by dots, each after optional white space and an
// optional sign; a number that is missing (or everything after the first
// mismatch) is 0; a number above 2^32 - 1 saturates; each gives its low byte.
// A null text gives 0.0.0.0.
std::array<std::uint8_t, 4> parseSenderAddress(const char* text);

} // namespace nubokrn4j

#endif

// Small loopback helpers for tests that need no scripted peer.
#ifndef VKTCP_TESTS_LOOPBACK_H
#define VKTCP_TESTS_LOOPBACK_H

namespace vktcp_test {

// True when `fd` has input waiting (bytes or end of stream) within `ms`.
bool hasInput(int fd, int ms);

} // namespace vktcp_test

#endif

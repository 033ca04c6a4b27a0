// The simulated UART under a whole library, from its load to its unload: the
// test-only libvkcom whose modem-line commands work on a pseudo-terminal.
#include "fake_uart.h"

namespace {

vkcom_test::FakeUart g_uart;

} // namespace

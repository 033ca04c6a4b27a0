// The notification listener in the example: task 3 on a free loopback port gets
// one notification from the built-in simulated reader, which connects on its own.
#ifndef VKEXAMPLE_LISTENER_DEMO_H
#define VKEXAMPLE_LISTENER_DEMO_H

namespace vkexample {

// Prints the listener's callback and the acknowledgement the reader got: 0, or 1
// when the listener could not start or nothing arrived.
int demoNotification(int reader);

} // namespace vkexample

#endif

// Kernel services a library expects from its platform.
#ifndef VKPLATFORM_KERNEL_SERVICES_H
#define VKPLATFORM_KERNEL_SERVICES_H

#include <cerrno>
#include <ctime>

namespace vkplatform::kernel {

// Sleeps at least `milliseconds`, resuming after a signal interrupts it.
inline void sleepMilliseconds(unsigned milliseconds) {
    timespec remaining{static_cast<time_t>(milliseconds / 1000),
                       static_cast<long>(milliseconds % 1000) * 1000000L};
    while (::nanosleep(&remaining, &remaining) == -1 && errno == EINTR) {
    }
}

} // namespace vkplatform::kernel

#endif

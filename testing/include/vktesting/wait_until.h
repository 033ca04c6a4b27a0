// Waiting for a condition with a deadline, never a bare sleep.
#ifndef VKTESTING_WAIT_UNTIL_H
#define VKTESTING_WAIT_UNTIL_H

#include <chrono>
#include <thread>

namespace vktesting {

// Polls `condition` until it holds or `timeout` has passed; returns its last value.
template <typename Condition>
bool waitUntil(Condition&& condition, std::chrono::milliseconds timeout = std::chrono::seconds(5),
               std::chrono::microseconds step = std::chrono::microseconds(500)) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) return condition();
        std::this_thread::sleep_for(step);
    }
    return true;
}

} // namespace vktesting

#endif

// The boundary of an exported function: no exception leaves a library.
#ifndef VKCOMMON_GUARDED_H
#define VKCOMMON_GUARDED_H

namespace vk {

// Runs `body` and turns anything it throws into `onThrow`.
template <typename Body> int guarded(int onThrow, Body&& body) noexcept {
    try {
        return body();
    } catch (...) {
        return onThrow;
    }
}

} // namespace vk

#endif

// The one place where exceptions stop on their way out of the library: every
// export runs its body through guarded().
#ifndef ZRB_WAVEFORM_EXPORT_GUARD_H
#define ZRB_WAVEFORM_EXPORT_GUARD_H

#include <utility>

namespace zrb {

// The result of `body`, or `failure` if it throws anything.
template <class Result, class Body> Result guarded(Result failure, Body&& body) noexcept {
    try {
        return std::forward<Body>(body)();
    } catch (...) {
        return failure;
    }
}

} // namespace zrb

#endif

// After a request's reply timed out, the reply may still come. The next
// exchange on that line must not take it as its own answer, so the port
// keeps the window in which the late reply can arrive: until one more reply
// time-out has passed since the time-out. The next Transceive first waits out
// what is left of the window, dropping whatever arrives, then sends. A reply
// later than twice the time-out cannot be told from the next one's: the
// protocol carries no sequence number.
//
// Used under the port's I/O lock; not synchronised itself.
#ifndef VKCOMMON_LATE_REPLY_WINDOW_H
#define VKCOMMON_LATE_REPLY_WINDOW_H

#include <chrono>
#include <cstdint>

namespace vk {

class LateReplyWindow {
  public:
    using Clock = std::chrono::steady_clock;

    // A reply timed out now after waiting `timeoutUs`.
    void open(std::int64_t timeoutUs) {
        until_ = Clock::now() + std::chrono::microseconds(timeoutUs);
        open_ = true;
    }
    // Microseconds left of the window (0 when it is closed or over); closes it.
    std::int64_t take() {
        if (!open_) return 0;
        open_ = false;
        const auto left =
            std::chrono::duration_cast<std::chrono::microseconds>(until_ - Clock::now()).count();
        return left > 0 ? left : 0;
    }

  private:
    Clock::time_point until_{};
    bool open_ = false;
};

} // namespace vk

#endif

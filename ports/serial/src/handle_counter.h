// The running count behind this library's port handles: 1 up to 0x0FFFFFFF,
// then 1 again, skipping any value still in use.
#ifndef VKCOM_HANDLE_COUNTER_H
#define VKCOM_HANDLE_COUNTER_H

#include <vkcommon/port_handle.h>

namespace vkcom {

class HandleCounter {
  public:
    explicit HandleCounter(int start = 0) : value_(start) {}

    // Advances to the next value for which `inUse` is false and returns it.
    template <typename InUse> int advance(InUse&& inUse) {
        do
            value_ = vk::nextPortCount(value_);
        while (inUse(value_));
        return value_;
    }

    int value() const { return value_; }

  private:
    int value_;
};

} // namespace vkcom

#endif

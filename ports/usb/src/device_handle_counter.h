// Draws the handles of new device objects: 0x10000000 plus a running count that
// starts again at 1 past 0x0FFFFFFF.
#ifndef VKUSB_DEVICE_HANDLE_COUNTER_H
#define VKUSB_DEVICE_HANDLE_COUNTER_H

#include <vkcommon/port_handle.h>

#include <atomic>

namespace vkusb {

class DeviceHandleCounter {
  public:
    explicit DeviceHandleCounter(int count = 0) : count_(count) {}

    int draw() {
        int current = count_.load();
        int next = vk::nextPortCount(current);
        while (!count_.compare_exchange_weak(current, next))
            next = vk::nextPortCount(current);
        return vk::makePortHandle(vk::PortType::Usb, next);
    }

  private:
    std::atomic<int> count_;
};

} // namespace vkusb

#endif

#include "line_ops.h"

#include <sys/ioctl.h>

#include <atomic>

namespace vkcom {

namespace {

class PosixLineOps final : public LineOps {
  public:
    int getAttr(int fd, termios& settings) override { return ::tcgetattr(fd, &settings); }
    int setAttr(int fd, const termios& settings) override { return ::tcsetattr(fd, TCSANOW, &settings); }
    int flush(int fd, int queue) override { return ::tcflush(fd, queue); }
    int getModem(int fd, int& bits) override { return ::ioctl(fd, TIOCMGET, &bits); }
    int setModem(int fd, int bits) override { return ::ioctl(fd, TIOCMSET, &bits); }
};

PosixLineOps posixOps;
std::atomic<LineOps*> installed{nullptr};

} // namespace

LineOps& lineOps() {
    LineOps* ops = installed.load(std::memory_order_acquire);
    return ops != nullptr ? *ops : posixOps;
}

void installLineOps(LineOps* ops) {
    installed.store(ops, std::memory_order_release);
}

} // namespace vkcom

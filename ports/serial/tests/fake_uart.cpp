#include "fake_uart.h"

#include <sys/ioctl.h>

#include <cstring>

namespace vkcom_test {

namespace {

std::size_t index(FakeUart::Op op) {
    return static_cast<std::size_t>(op);
}

bool sameKeptSettings(const termios& a, const termios& b) {
    return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag &&
           a.c_lflag == b.c_lflag && std::memcmp(a.c_cc, b.c_cc, sizeof a.c_cc) == 0 &&
           ::cfgetispeed(&a) == ::cfgetispeed(&b) && ::cfgetospeed(&a) == ::cfgetospeed(&b);
}

} // namespace

FakeUart::FakeUart() {
    vkcom::installLineOps(this);
}

FakeUart::~FakeUart() {
    vkcom::installLineOps(nullptr);
}

void FakeUart::fail(Op op, bool failing) {
    std::lock_guard lock(mutex_);
    failing_[index(op)] = failing;
}

int FakeUart::calls(Op op) const {
    std::lock_guard lock(mutex_);
    return calls_[index(op)];
}

void FakeUart::setInputs(int bits) {
    std::lock_guard lock(mutex_);
    inputs_ = bits & (TIOCM_CTS | TIOCM_DSR | TIOCM_CAR);
}

int FakeUart::outputs() const {
    std::lock_guard lock(mutex_);
    return outputs_;
}

tcflag_t FakeUart::lastControlFlags() const {
    std::lock_guard lock(mutex_);
    return lastFlags_;
}

bool FakeUart::enter(Op op) {
    std::lock_guard lock(mutex_);
    ++calls_[index(op)];
    return !failing_[index(op)];
}

int FakeUart::getAttr(int fd, termios& settings) {
    if (!enter(Op::GetAttr)) return -1;
    if (::tcgetattr(fd, &settings) != 0) return -1;
    std::lock_guard lock(mutex_);
    const auto frame = frames_.find(fd);
    if (frame != frames_.end()) settings.c_cflag = (settings.c_cflag & ~kShadowed) | frame->second;
    return 0;
}

int FakeUart::setAttr(int fd, const termios& settings) {
    if (!enter(Op::SetAttr)) return -1;
    termios current{};
    if (::tcgetattr(fd, &current) != 0) return -1;
    // Pass on only what the pseudo-terminal keeps; a request that changes
    // nothing it keeps is not passed on (some kernels refuse it).
    termios kept = settings;
    kept.c_cflag = (settings.c_cflag & ~kShadowed) | (current.c_cflag & kShadowed);
    if (!sameKeptSettings(kept, current) && ::tcsetattr(fd, TCSANOW, &kept) != 0) return -1;
    std::lock_guard lock(mutex_);
    frames_[fd] = settings.c_cflag & kShadowed;
    lastFlags_ = settings.c_cflag;
    return 0;
}

int FakeUart::flush(int fd, int queue) {
    if (!enter(Op::Flush)) return -1;
    return ::tcflush(fd, queue);
}

int FakeUart::getModem(int, int& bits) {
    if (!enter(Op::GetModem)) return -1;
    std::lock_guard lock(mutex_);
    bits = outputs_ | inputs_;
    return 0;
}

int FakeUart::setModem(int, int bits) {
    if (!enter(Op::SetModem)) return -1;
    std::lock_guard lock(mutex_);
    outputs_ = bits & (TIOCM_DTR | TIOCM_RTS);
    return 0;
}

} // namespace vkcom_test

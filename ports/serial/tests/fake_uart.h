// A simulated UART under the library's line operations. Data and line speed go
// to the pseudo-terminal underneath; what a pseudo-terminal does not keep is
// kept here: data bits, parity and odd parity, and the modem lines (DTR and RTS
// as the library sets them, CTS, DSR and DCD as the test scripts them). Any
// operation can be made to fail on demand. Installed for the whole library
// while the object lives.
#ifndef VKCOM_TESTS_FAKE_UART_H
#define VKCOM_TESTS_FAKE_UART_H

#include "line_ops.h"

#include <array>
#include <map>
#include <mutex>

namespace vkcom_test {

class FakeUart final : public vkcom::LineOps {
  public:
    enum class Op { GetAttr, SetAttr, Flush, GetModem, SetModem };

    FakeUart();
    ~FakeUart() override;
    FakeUart(const FakeUart&) = delete;
    FakeUart& operator=(const FakeUart&) = delete;

    // Makes every further call of `op` fail (or succeed again).
    void fail(Op op, bool failing = true);
    int calls(Op op) const;
    // Scripts the modem inputs (TIOCM_CTS, TIOCM_DSR, TIOCM_CAR bits).
    void setInputs(int bits);
    // The modem outputs the library set (TIOCM_DTR, TIOCM_RTS bits).
    int outputs() const;
    // The control flags of the last settings applied (shadowed bits included).
    tcflag_t lastControlFlags() const;

    int getAttr(int fd, termios& settings) override;
    int setAttr(int fd, const termios& settings) override;
    int flush(int fd, int queue) override;
    int getModem(int fd, int& bits) override;
    int setModem(int fd, int bits) override;

  private:
    bool enter(Op op); // counts the call; false when it is to fail

    static constexpr tcflag_t kShadowed = CSIZE | PARENB | PARODD;

    mutable std::mutex mutex_;
    std::array<bool, 5> failing_{};
    std::array<int, 5> calls_{};
    std::map<int, tcflag_t> frames_; // shadowed bits applied, per descriptor
    tcflag_t lastFlags_ = 0;
    int inputs_ = 0;
    int outputs_ = 0;
};

} // namespace vkcom_test

#endif

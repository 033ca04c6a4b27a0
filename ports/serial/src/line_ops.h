// The operations on a serial line that are not plain reads and writes: terminal
// settings, queue flushes and modem lines. Production uses the POSIX calls; a
// test can install another implementation (a simulated UART) for the whole
// library through the one pointer below.
#ifndef VKCOM_LINE_OPS_H
#define VKCOM_LINE_OPS_H

#include <termios.h>

namespace vkcom {

class LineOps {
  public:
    virtual ~LineOps() = default;
    // Each returns 0 on success, -1 on failure, like the POSIX call it stands for.
    virtual int getAttr(int fd, termios& settings) = 0;       // tcgetattr
    virtual int setAttr(int fd, const termios& settings) = 0; // tcsetattr, at once
    virtual int flush(int fd, int queue) = 0;                 // tcflush
    virtual int getModem(int fd, int& bits) = 0;              // TIOCMGET
    virtual int setModem(int fd, int bits) = 0;               // TIOCMSET
};

// The operations in use: the POSIX ones unless a test installed others.
LineOps& lineOps();
// Installs `ops` (nullptr: back to POSIX). The caller keeps `ops` alive while
// installed.
void installLineOps(LineOps* ops);

} // namespace vkcom

#endif

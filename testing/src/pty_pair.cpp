#include <vktesting/pty_pair.h>

#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>

namespace vktesting {

PtyPair::PtyPair() {
    int master = -1;
    int slave = -1;
    char name[128] = {};
    termios raw{};
    ::cfmakeraw(&raw);
    if (::openpty(&master, &slave, name, &raw, nullptr) != 0) throw std::runtime_error("openpty failed");
    master_.reset(master);
    slave_.reset(slave);
    slavePath_ = name;
    ::fcntl(master, F_SETFD, FD_CLOEXEC);
    ::fcntl(slave, F_SETFD, FD_CLOEXEC);
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
}

int PtyPair::slaveNumber() const {
    static constexpr char kPrefix[] = "/dev/pts/";
    if (slavePath_.rfind(kPrefix, 0) != 0) return -1;
    return std::atoi(slavePath_.c_str() + sizeof(kPrefix) - 1);
}

} // namespace vktesting

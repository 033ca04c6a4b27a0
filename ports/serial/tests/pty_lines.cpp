#include "pty_lines.h"

#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>

namespace vkcom_test {

void makeSlaveRaw(int slave, speed_t speed) {
    termios line{};
    ::tcgetattr(slave, &line);
    ::cfmakeraw(&line);
    ::cfsetispeed(&line, speed);
    ::cfsetospeed(&line, speed);
    ::tcsetattr(slave, TCSANOW, &line);
}

PtyLines::PtyLines(const VizerApi& api, int count, vksim::RequestFramer framer) {
    bool direct = true;
    for (int i = 0; i < count; ++i) {
        lines_.push_back(std::make_unique<vksim::PtyPeer>(framer));
        makeSlaveRaw(lines_.back()->slave(), B38400);
        const int n = lines_.back()->slaveNumber();
        if (n < 0 || n > 255) direct = false;
    }
    if (direct) {
        prefix_ = "/dev/pts/";
        for (const auto& line : lines_)
            numbers_.push_back(line->slaveNumber() + 1);
    } else {
        char dir[] = "/tmp/vXXXXXX"; // + "/NN": 15 characters
        if (::mkdtemp(dir) == nullptr) throw std::runtime_error("mkdtemp failed");
        linkDir_ = dir;
        prefix_ = linkDir_ + "/";
        for (int i = 0; i < count; ++i) {
            const std::string link = prefix_ + std::to_string(i);
            if (::symlink(lines_[static_cast<std::size_t>(i)]->slavePath().c_str(), link.c_str()) != 0)
                throw std::runtime_error("symlink failed");
            numbers_.push_back(i + 1);
        }
    }
    api.setText(0, "PORTPREFIX", prefix_.c_str());
}

bool PtyLines::waitSlaveReadable(int index) {
    pollfd entry{line(index).slave(), POLLIN, 0};
    return ::poll(&entry, 1, 5000) == 1;
}

PtyLines::~PtyLines() {
    if (linkDir_.empty()) return;
    for (std::size_t i = 0; i < numbers_.size(); ++i)
        ::unlink((prefix_ + std::to_string(i)).c_str());
    ::rmdir(linkDir_.c_str());
}

} // namespace vkcom_test

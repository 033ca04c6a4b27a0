// A serial port of the real libvkcom on a pseudo-terminal, for tests that need
// an open serial handle.
#ifndef VKKRN_TESTS_SERIAL_LINE_H
#define VKKRN_TESTS_SERIAL_LINE_H

#include "loaded_library.h"

#include <vktesting/pty_pair.h>

#include <gtest/gtest.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

class SerialLine {
  public:
    using ParaFn = int (*)(int, char*, char*);
    using OpenFn = int (*)(char*);
    using CloseFn = int (*)(int);
    using TextFn = int (*)(int, char*);

    SerialLine() : library_("libvkcom.so") {
        if (!library_.loaded()) return;
        getPara = library_.symbol<ParaFn>("VIZER_GetPortPara");
        setPara = library_.symbol<ParaFn>("VIZER_SetPortPara");
        errorText = library_.symbol<TextFn>("VIZER_GetErrorText");
        auto open = library_.symbol<OpenFn>("VIZER_OpenPort");
        close_ = library_.symbol<CloseFn>("VIZER_ClosePort");
        // A raw slave at another speed than the library sets, so that its own
        // settings change something (a pseudo-terminal refuses a request that
        // changes nothing it keeps).
        termios line{};
        ::tcgetattr(pty_.slave(), &line);
        ::cfmakeraw(&line);
        ::cfsetispeed(&line, B1200);
        ::cfsetospeed(&line, B1200);
        ::tcsetattr(pty_.slave(), TCSANOW, &line);
        std::string prefix = "/dev/pts/";
        int number = pty_.slaveNumber() + 1;
        if (pty_.slaveNumber() < 0 || pty_.slaveNumber() > 255) {
            char dir[] = "/tmp/vXXXXXX";
            EXPECT_NE(::mkdtemp(dir), nullptr);
            linkDir_ = dir;
            prefix = linkDir_ + "/";
            EXPECT_EQ(::symlink(pty_.slavePath().c_str(), (prefix + "0").c_str()), 0);
            number = 1;
        }
        set(0, "PORTPREFIX", prefix);
        std::string text = std::to_string(number);
        handle = open(text.data());
        EXPECT_GT(handle, 0);
    }
    ~SerialLine() {
        if (handle > 0) close_(handle);
        if (!linkDir_.empty()) {
            ::unlink((linkDir_ + "/0").c_str());
            ::rmdir(linkDir_.c_str());
        }
    }
    SerialLine(const SerialLine&) = delete;
    SerialLine& operator=(const SerialLine&) = delete;

    std::string get(int port, const std::string& key) {
        std::string k = key;
        char value[256] = {};
        EXPECT_EQ(getPara(port, k.data(), value), 0) << key;
        return value;
    }
    int set(int port, const std::string& key, const std::string& value) {
        std::string k = key;
        std::string v = value;
        return setPara(port, k.data(), v.data());
    }

    int handle = 0;
    ParaFn getPara = nullptr;
    ParaFn setPara = nullptr;
    TextFn errorText = nullptr;

  private:
    LoadedLibrary library_;
    CloseFn close_ = nullptr;
    vktesting::PtyPair pty_;
    std::string linkDir_;
};

#endif

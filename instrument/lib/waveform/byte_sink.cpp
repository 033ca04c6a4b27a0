#include "byte_sink.h"

#include <cerrno>
#include <fcntl.h>
#include <system_error>
#include <unistd.h>

namespace zrb {

void ByteSink::flush() {
    if (used_ == 0) return;
    const std::size_t size = used_;
    used_ = 0;
    drain(buffer_.data(), size);
}

void ByteSink::spill(std::string_view bytes) {
    flush();
    if (bytes.size() >= kCapacity) {
        drain(bytes.data(), bytes.size());
        return;
    }
    std::memcpy(buffer_.data(), bytes.data(), bytes.size());
    used_ = bytes.size();
}

const std::string& StringSink::text() {
    flush();
    return text_;
}

void StringSink::drain(const char* data, std::size_t size) {
    text_.append(data, size);
}

FileSink::FileSink(const std::string& fileName)
    : fd_(::open(fileName.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666)) {
    if (fd_ < 0) throw std::system_error(errno, std::generic_category(), "cannot open " + fileName);
}

FileSink::~FileSink() {
    if (fd_ >= 0) ::close(fd_);
}

void FileSink::drain(const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(fd_, data, size);
        if (written < 0) {
            if (errno == EINTR) continue;
            throw std::system_error(errno, std::generic_category(), "cannot write");
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
}

void FileSink::close() {
    flush();
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0 && errno != EINTR)
        throw std::system_error(errno, std::generic_category(), "cannot close");
}

} // namespace zrb

// Bounded output buffers: formatters append bytes, and a full buffer drains to
// its destination, so a long dump never sits whole in memory.
#ifndef ZRB_WAVEFORM_BYTE_SINK_H
#define ZRB_WAVEFORM_BYTE_SINK_H

#include <array>
#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>

namespace zrb {

class ByteSink {
  public:
    static constexpr std::size_t kCapacity = 64 * 1024;

    ByteSink() = default;
    ByteSink(const ByteSink&) = delete;
    ByteSink& operator=(const ByteSink&) = delete;

    void put(std::string_view bytes) {
        if (bytes.size() > kCapacity - used_) {
            spill(bytes);
            return;
        }
        std::memcpy(buffer_.data() + used_, bytes.data(), bytes.size());
        used_ += bytes.size();
    }
    void put(char byte) {
        if (used_ == kCapacity) flush();
        buffer_[used_++] = byte;
    }
    // Room for `size` bytes (at most kCapacity) to be written in place and
    // then committed; flushes first when the buffer lacks the room.
    char* reserve(std::size_t size) {
        if (kCapacity - used_ < size) flush();
        return buffer_.data() + used_;
    }
    void commit(std::size_t size) { used_ += size; }
    // Hands everything buffered to the destination.
    void flush();

  protected:
    ~ByteSink() = default;
    // Takes `size` bytes; throws when the destination refuses them.
    virtual void drain(const char* data, std::size_t size) = 0;

  private:
    void spill(std::string_view bytes);

    std::array<char, kCapacity> buffer_;
    std::size_t used_ = 0;
};

// Collects the bytes in a string.
class StringSink final : public ByteSink {
  public:
    // The bytes put so far, flushed first.
    const std::string& text();

  private:
    void drain(const char* data, std::size_t size) override;
    std::string text_;
};

// Creates or truncates a file and writes to it. Every failure throws
// std::system_error; a write failing midway may leave a partial file.
class FileSink final : public ByteSink {
  public:
    explicit FileSink(const std::string& fileName);
    ~FileSink();
    // Flushes and closes; throws when either fails.
    void close();

  private:
    void drain(const char* data, std::size_t size) override;
    int fd_;
};

} // namespace zrb

#endif
